#include "ui/cli/SelfTestTable.h"

#include <algorithm>
#include <iomanip>
#include <ostream>
#include <string>

#include "app/ExitStatus.h"

namespace tavox {

int WriteSelfTest(std::ostream& out, const SelfTestResult& result) {
    std::string sets;
    for (const FftIsa isa : {FftIsa::Avx512, FftIsa::Avx2, FftIsa::Portable}) {
        if (FftIsaSupported(isa)) sets += (sets.empty() ? "" : ", ") + std::string(FftIsaName(isa));
    }
    std::size_t width = 5;
    for (const auto& check : result.checks) width = std::max(width, check.name.size());

    out << "TAVOX " << TAVOX_VERSION << " self-test on this processor (instruction sets: " << sets << ")\n";
    out << std::left << std::setw(static_cast<int>(width)) << "check" << std::right << std::setw(7) << "cases"
        << "  result\n";
    int failedChecks = 0;
    for (const auto& check : result.checks) {
        out << std::left << std::setw(static_cast<int>(width)) << check.name << std::right << std::setw(7);
        if (check.skipped) {
            out << "-"
                << "  skipped (not on this processor)\n";
            continue;
        }
        out << check.cases << "  ";
        if (check.failed == 0) {
            out << "ok\n";
            continue;
        }
        ++failedChecks;
        out << "FAILED " << check.failed << " of " << check.cases << ": " << check.firstFailure << '\n';
    }
    out << std::fixed << std::setprecision(2);
    if (result.Passed()) {
        out << "all checks passed in " << result.seconds << " s\n";
    } else {
        out << failedChecks << " of " << result.checks.size() << " checks failed (" << result.seconds << " s)\n";
    }
    out << std::defaultfloat << std::flush;
    return result.Passed() ? ExitAllRight : ExitFileFailed;
}

}  // namespace tavox
