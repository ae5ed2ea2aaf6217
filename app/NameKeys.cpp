#include "app/NameKeys.h"

#include <algorithm>
#include <functional>

namespace tavox {

namespace {

// Lower-case partner of a code point in Latin-1, Latin Extended-A, Greek and
// basic Cyrillic (the letters of Czech and its neighbours included); other
// code points are their own.
char32_t FoldCodePoint(char32_t c) noexcept {
    if (c >= U'A' && c <= U'Z') return c + 0x20;
    if (c < 0xC0) return c;
    if (c <= 0xDE) return c == 0xD7 ? c : c + 0x20;
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x130) return U'i';
        if (c == 0x178) return 0xFF;
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        if (oddUpper) return (c % 2 == 1) ? c + 1 : c;
        return (c % 2 == 0) ? c + 1 : c;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    return c;
}

}  // namespace

// Bytes that are not a two-byte UTF-8 sequence are kept as they are. A
// folded letter takes at most the bytes it had, so the key is no longer
// than the name.
void FoldName(std::string_view name, std::string& key) {
    key.resize(name.size());
    char* const out = key.data();
    std::size_t o = 0;
    for (std::size_t i = 0; i < name.size();) {
        const auto lead = static_cast<unsigned char>(name[i]);
        if (lead < 0x80) {
            out[o++] = static_cast<char>(lead >= 'A' && lead <= 'Z' ? lead + 0x20 : lead);
            ++i;
            continue;
        }
        if ((lead & 0xE0) == 0xC0 && i + 1 < name.size()) {
            const auto next = static_cast<unsigned char>(name[i + 1]);
            if ((next & 0xC0) == 0x80) {
                const char32_t c = (char32_t{lead & 0x1Fu} << 6) | (next & 0x3Fu);
                if (c >= 0x80) {
                    const char32_t folded = FoldCodePoint(c);
                    if (folded < 0x80) {
                        out[o++] = static_cast<char>(folded);
                    } else {
                        out[o++] = static_cast<char>(0xC0 | (folded >> 6));
                        out[o++] = static_cast<char>(0x80 | (folded & 0x3F));
                    }
                    i += 2;
                    continue;
                }
            }
        }
        out[o++] = name[i];
        ++i;
    }
    key.resize(o);
}

void NameKeyIndex::Clear() noexcept {
    std::fill(slots_.begin(), slots_.end(), Slot{});
    used_ = 0;
}

std::uint32_t NameKeyIndex::HashOf(std::string_view key) noexcept {
    const std::size_t hash = std::hash<std::string_view>{}(key);
    return static_cast<std::uint32_t>(hash ^ (hash >> 32));
}

void NameKeyIndex::Insert(std::string_view key, std::uint32_t position) {
    if (2 * (used_ + 1) > slots_.size()) {
        std::vector<Slot> old(std::max<std::size_t>(16, 2 * slots_.size()));
        old.swap(slots_);
        for (const Slot& slot : old) {
            if (slot.position != 0) Place(slot);
        }
    }
    Place(Slot{position + 1, HashOf(key)});
    ++used_;
}

void NameKeyIndex::Place(Slot slot) noexcept {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = slot.hash & mask;
    while (slots_[i].position != 0) i = (i + 1) & mask;
    slots_[i] = slot;
}

}  // namespace tavox
