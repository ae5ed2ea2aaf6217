#include <cmath>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "fuzz/Targets.h"
#include "ui/cli/CommandOptions.h"

namespace tavox::fuzz {
namespace {

bool OneLine(const std::string& text) {
    return text.find('\n') == std::string::npos && text.find('\r') == std::string::npos;
}

bool SameOutcome(const ParsedCommandLine& a, const ParsedCommandLine& b) {
    return a.error == b.error && a.arguments == b.arguments && a.options.given == b.options.given &&
           a.options.report == b.options.report && a.options.quiet == b.options.quiet &&
           a.options.help == b.options.help && a.options.version == b.options.version &&
           a.options.selfTest == b.options.selfTest && a.options.output.format == b.options.output.format &&
           a.options.output.average == b.options.output.average &&
           a.options.output.rate.has_value() == b.options.output.rate.has_value();
}

}  // namespace

// Program arguments cut at NUL bytes, read as options and fields.
int CommandOptionsText(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    std::vector<std::string> arguments;
    while (input.Remaining() > 0 && arguments.size() < 16) arguments.push_back(input.TakeText(64));

    const ParsedCommandLine parsed = ParseCommandLine(arguments);
    // The parser keeps no state from one call to the next.
    FUZZ_CHECK(SameOutcome(parsed, ParseCommandLine(arguments)));
    FUZZ_CHECK(OneLine(parsed.error));
    if (!parsed.error.empty()) return 0;

    // What follows the options is the tail of the arguments, unchanged.
    FUZZ_CHECK(parsed.arguments.size() <= arguments.size());
    FUZZ_CHECK(std::equal(parsed.arguments.rbegin(), parsed.arguments.rend(), arguments.rbegin()));
    if (const auto& rate = parsed.options.output.rate) FUZZ_CHECK(std::isfinite(*rate) && *rate > 0.0);
    if (const auto& plot = parsed.options.plot) FUZZ_CHECK(plot->width > 0 && plot->height > 0);
    if (const auto& view = parsed.options.view) {
        if (view->width) FUZZ_CHECK(*view->width > 0);
    }
    FUZZ_CHECK(OneLine(CheckOptionsAgainstFields(parsed.options, parsed.arguments)));
    return 0;
}

}  // namespace tavox::fuzz
