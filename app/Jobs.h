#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tavox {

// Most threads a batch may be given.
inline constexpr std::int32_t MaxJobs = 256;

// Whether a batch takes `jobs` threads: 0 (every CPU) to MaxJobs.
constexpr bool ValidJobs(std::int64_t jobs) noexcept {
    return jobs >= 0 && jobs <= MaxJobs;
}

// CPUs this process may run on (its affinity mask); at least 1.
std::int32_t AvailableCpus() noexcept;

// A thread count as a user writes it: decimal digits for 0 to MaxJobs, 0
// standing for the default. Nothing for any other text.
std::optional<std::int32_t> ReadJobs(std::string_view text) noexcept;

// TAVOX_JOBS when it holds a count above 0 (ReadJobs), else AvailableCpus().
std::int32_t DefaultJobs() noexcept;

}  // namespace tavox
