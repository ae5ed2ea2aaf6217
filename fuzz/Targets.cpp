#include "fuzz/Targets.h"

#include <cstdio>
#include <cstdlib>

namespace tavox::fuzz {

void CheckFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, condition);
    std::abort();
}

std::span<const Target> AllTargets() {
    static constexpr Target targets[] = {
        {"command_line", CommandLine}, {"range_value", RangeValue},     {"leading_number", LeadingNumberText},
        {"target_mask", TargetMask},   {"wildcard", Wildcard},          {"private_profile", PrivateProfileText},
        {"transform", Transform},      {"options", CommandOptionsText}, {"sound_file", SoundFile},
        {"sigmf_meta", SigmfMetaText},
    };
    return targets;
}

}  // namespace tavox::fuzz
