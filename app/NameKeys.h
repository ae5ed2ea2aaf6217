#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavox {

// The key of a name without regard to letter case, written into `key`
// (replaced): ASCII and the UTF-8 letters of Latin-1, Latin Extended-A
// (Czech included), Greek and basic Cyrillic fold to lower case; other bytes
// stay as they are.
void FoldName(std::string_view name, std::string& key);

// Positions in a caller's list of names, found by the hash of their keys: an
// open hash table of 8 bytes a slot, at most half of them used.
class NameKeyIndex {
public:
    // Forgets every position and keeps the table's size.
    void Clear() noexcept;
    // Adds `position`, whose key is `key`.
    void Insert(std::string_view key, std::uint32_t position);
    // Calls visit(position) for every position added under a key of the same
    // hash as `key`, in no particular order; the caller compares the keys.
    template <class Visit>
    void Candidates(std::string_view key, Visit&& visit) const {
        if (slots_.empty()) return;
        const std::uint32_t hash = HashOf(key);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask; slots_[i].position != 0; i = (i + 1) & mask) {
            if (slots_[i].hash == hash) visit(slots_[i].position - 1);
        }
    }

private:
    struct Slot {
        std::uint32_t position = 0;  // the position + 1; 0 for a free slot
        std::uint32_t hash = 0;
    };
    static std::uint32_t HashOf(std::string_view key) noexcept;
    void Place(Slot slot) noexcept;

    std::vector<Slot> slots_;  // a power of 2 of them, or none
    std::size_t used_ = 0;
};

}  // namespace tavox
