#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tavox::fuzz {

// Entry points of the fuzzers, one per parser of untrusted text or bytes.
// Each returns 0 and aborts (after a message on stderr) when a checked
// property does not hold.
using Entry = int (*)(const std::uint8_t* data, std::size_t size);

int CommandLine(const std::uint8_t* data, std::size_t size);
int RangeValue(const std::uint8_t* data, std::size_t size);
int LeadingNumberText(const std::uint8_t* data, std::size_t size);
int TargetMask(const std::uint8_t* data, std::size_t size);
int Wildcard(const std::uint8_t* data, std::size_t size);
int PrivateProfileText(const std::uint8_t* data, std::size_t size);
int Transform(const std::uint8_t* data, std::size_t size);
int CommandOptionsText(const std::uint8_t* data, std::size_t size);
// Sound files through the memory file system: a byte of input options, then the file.
int SoundFile(const std::uint8_t* data, std::size_t size);
// SigMF metadata: a byte of input options, the samples up to a NUL, then the JSON.
int SigmfMetaText(const std::uint8_t* data, std::size_t size);

struct Target {
    const char* name;  // also the folder of its corpus
    Entry entry;
};
// Every fuzzer entry point with its name.
std::span<const Target> AllTargets();

}  // namespace tavox::fuzz

// Aborts with the failed condition when `condition` is false.
#define FUZZ_CHECK(condition) ((condition) ? (void)0 : ::tavox::fuzz::CheckFailed(#condition, __FILE__, __LINE__))

namespace tavox::fuzz {
[[noreturn]] void CheckFailed(const char* condition, const char* file, int line);
}  // namespace tavox::fuzz
