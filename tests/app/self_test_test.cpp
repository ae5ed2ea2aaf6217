#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "app/SelfTest.h"

namespace tavox {
namespace {

const SelfTestCheck* Find(const SelfTestResult& result, const std::string& prefix) {
    const auto at = std::find_if(result.checks.begin(), result.checks.end(),
                                 [&](const SelfTestCheck& c) { return c.name.rfind(prefix, 0) == 0; });
    return at == result.checks.end() ? nullptr : &*at;
}

TEST(self_test_test, passes_on_this_machine_covering_every_window_placement_and_instruction_set) {
    const SelfTestResult result = RunSelfTest();
    for (const auto& check : result.checks) EXPECT_EQ(check.failed, 0) << check.name << ": " << check.firstFailure;
    EXPECT_TRUE(result.Passed());
    EXPECT_LT(result.seconds, 10.0);
    for (const char* window : {"rectangle", "Hanning", "flat-top"}) {
        const SelfTestCheck* tones = Find(result, std::string("tones on an exact bin, ") + window);
        ASSERT_NE(tones, nullptr) << window;
        EXPECT_EQ(tones->cases, 20);  // ten widths, with and without centring
    }
    ASSERT_NE(Find(result, "exposure placement, average"), nullptr);
    EXPECT_EQ(Find(result, "exposure placement, average")->cases, 5);
    ASSERT_NE(Find(result, "exposure placement, multi"), nullptr);
    for (const FftIsa isa : {FftIsa::Portable, FftIsa::Avx2, FftIsa::Avx512}) {
        const SelfTestCheck* kernel = Find(result, std::string("fast kernel = reference, ") + FftIsaName(isa));
        ASSERT_NE(kernel, nullptr) << FftIsaName(isa);
        EXPECT_EQ(kernel->skipped, !FftIsaSupported(isa));
        EXPECT_EQ(kernel->cases, FftIsaSupported(isa) ? 20 : 0);
    }
}

// A kernel off by one bit in one bin, for one instruction set only, fails
// that line and no other.
TEST(self_test_test, fails_the_line_of_a_broken_kernel) {
    const FastKernel broken = [](const FftPlan& plan, std::span<double> re, std::span<double> im, bool conjugate,
                                 FftIsa isa) {
        if (!plan.Transform(re, im, conjugate, isa)) return false;
        if (isa == FftIsa::Portable && re.size() == 4096) re[37] = std::nextafter(re[37], 1e300);
        return true;
    };
    const SelfTestResult result = RunSelfTest(broken);
    EXPECT_FALSE(result.Passed());
    for (const auto& check : result.checks) {
        const bool portable = check.name == "fast kernel = reference, portable";
        EXPECT_EQ(check.failed, portable ? 2 : 0) << check.name;
        if (portable) {
            EXPECT_EQ(check.firstFailure, "width 4096: bin 37 differs");
        }
    }

    const FastKernel refusing = [](const FftPlan&, std::span<double>, std::span<double>, bool, FftIsa) {
        return false;
    };
    EXPECT_EQ(Find(RunSelfTest(refusing), "fast kernel = reference, portable")->failed, 20);
}

}  // namespace
}  // namespace tavox
