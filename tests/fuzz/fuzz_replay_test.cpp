#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/Targets.h"

namespace tavox::test {
namespace {

namespace fs = std::filesystem;

// Inputs of one fuzzer: its seed corpus and the inputs that once failed.
std::vector<fs::path> InputsOf(const std::string& name) {
    std::vector<fs::path> inputs;
    for (const char* kind : {"corpus", "regressions"}) {
        const fs::path folder = fs::path(TAVOX_FUZZ_DIR) / kind / name;
        if (!fs::is_directory(folder)) continue;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.is_regular_file()) inputs.push_back(entry.path());
        }
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

// Names the input being replayed when a check aborts the process.
char currentInput[4096];
extern "C" void ReportInput(int signal) {
    std::fprintf(stderr, "while replaying %s\n", currentInput);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

class fuzz_replay_test : public ::testing::TestWithParam<fuzz::Target> {};

TEST_P(fuzz_replay_test, every_committed_input_passes) {
    const fuzz::Target target = GetParam();
    const auto inputs = InputsOf(target.name);
    ASSERT_FALSE(inputs.empty()) << "no seed inputs for " << target.name;
    const auto previous = std::signal(SIGABRT, ReportInput);
    for (const fs::path& path : inputs) {
        std::snprintf(currentInput, sizeof currentInput, "%s", path.c_str());
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(target.entry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0) << path;
    }
    std::signal(SIGABRT, previous);
}

TEST(fuzz_replay_test, empty_input_passes_every_target) {
    for (const fuzz::Target& target : fuzz::AllTargets()) {
        EXPECT_EQ(target.entry(nullptr, 0), 0) << target.name;
    }
}

INSTANTIATE_TEST_SUITE_P(targets, fuzz_replay_test,
                         ::testing::ValuesIn(fuzz::AllTargets().begin(), fuzz::AllTargets().end()),
                         [](const ::testing::TestParamInfo<fuzz::Target>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace tavox::test
