#include "app/Jobs.h"

#include <sched.h>

#include <cstdlib>

namespace tavox {

std::int32_t AvailableCpus() noexcept {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
    const int count = CPU_COUNT(&set);
    return count < 1 ? 1 : count;
}

std::optional<std::int32_t> ReadJobs(std::string_view text) noexcept {
    if (text.empty() || text.size() > 3) return std::nullopt;
    std::int32_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (!ValidJobs(value)) return std::nullopt;
    return value;
}

std::int32_t DefaultJobs() noexcept {
    if (const char* text = std::getenv("TAVOX_JOBS")) {
        const auto jobs = ReadJobs(text);
        if (jobs && *jobs > 0) return *jobs;
    }
    return AvailableCpus();
}

}  // namespace tavox
