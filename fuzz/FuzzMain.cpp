#include <cstddef>
#include <cstdint>

#include "fuzz/Targets.h"

// One libFuzzer program per entry point, chosen by TAVOX_FUZZ_ENTRY.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return tavox::fuzz::TAVOX_FUZZ_ENTRY(data, size);
}
