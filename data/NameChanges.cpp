#include "data/NameChanges.h"

#include <array>
#include <atomic>
#include <mutex>

namespace tavox::NameChanges {
namespace {

// The latest notes, enough for the work a batch keeps in flight; a mark
// older than the oldest note kept counts as changed.
constexpr std::size_t Kept = 4096;

struct Entry {
    FileIdentity replaced;
    bool anything = false;  // a file was replaced, or it is not known whether one was
    bool known = true;
};

struct Log {
    std::mutex mutex;                     // guards the entries; count is changed under it
    std::atomic<std::uint64_t> count{0};  // notes so far; note n (from 1) is at (n - 1) % Kept
    std::array<Entry, Kept> entries{};
};

Log& TheLog() {
    static Log log;
    return log;
}

}  // namespace

std::uint64_t Mark() noexcept {
    return TheLog().count.load(std::memory_order_acquire);
}

void Note(const std::optional<FileIdentity>& replaced, bool known) noexcept {
    Log& log = TheLog();
    std::lock_guard lock(log.mutex);
    const std::uint64_t count = log.count.load(std::memory_order_relaxed);
    Entry& entry = log.entries[count % Kept];
    entry.replaced = replaced.value_or(FileIdentity{});
    entry.anything = replaced.has_value() || !known;
    entry.known = known;
    log.count.store(count + 1, std::memory_order_release);
}

bool ChangedSince(std::uint64_t mark, const std::optional<FileIdentity>& source) noexcept {
    Log& log = TheLog();
    std::lock_guard lock(log.mutex);
    const std::uint64_t count = log.count.load(std::memory_order_relaxed);
    if (mark >= count) return false;
    if (!source || count - mark > Kept) return true;
    for (std::uint64_t n = mark; n < count; ++n) {
        const Entry& entry = log.entries[n % Kept];
        if (!entry.known || (entry.anything && entry.replaced == *source)) return true;
    }
    return false;
}

}  // namespace tavox::NameChanges
