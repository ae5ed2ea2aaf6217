#include "data/BlockCache.h"

#include <array>

namespace tavox {
namespace {

constexpr std::align_val_t BlockAlignment{64};

struct Kept {
    void* block = nullptr;
    std::size_t bytes = 0;
};

// Set when this thread's blocks are destroyed at its exit; blocks given back
// later (by objects destroyed after them) go straight to the allocator.
thread_local bool blocksGone = false;

// Blocks of one size class, most recently given last.
struct Shelf {
    std::array<Kept, BlockCache::MaxBlocks> kept{};
    std::size_t count = 0;

    void* Take(std::size_t bytes) noexcept {
        for (std::size_t i = count; i-- > 0;) {
            if (kept[i].bytes != bytes) continue;
            void* block = kept[i].block;
            for (std::size_t j = i + 1; j < count; ++j) kept[j - 1] = kept[j];
            --count;
            return block;
        }
        return nullptr;
    }

    void Give(void* block, std::size_t bytes) noexcept {
        if (count == kept.size()) {
            ::operator delete(kept[0].block, BlockAlignment);
            for (std::size_t j = 1; j < count; ++j) kept[j - 1] = kept[j];
            --count;
        }
        kept[count++] = Kept{block, bytes};
    }

    void Clear() noexcept {
        for (std::size_t i = 0; i < count; ++i) ::operator delete(kept[i].block, BlockAlignment);
        count = 0;
    }
};

// Small blocks are kept apart, so that they never push a large one out.
struct ThreadBlocks {
    Shelf large;
    Shelf small;

    ~ThreadBlocks() {
        Clear();
        blocksGone = true;
    }

    Shelf& For(std::size_t bytes) noexcept { return bytes >= BlockCache::MinBytes ? large : small; }
    void Clear() noexcept {
        large.Clear();
        small.Clear();
    }
};

ThreadBlocks& Blocks() noexcept {
    thread_local ThreadBlocks blocks;
    return blocks;
}

}  // namespace

void* BlockCache::Take(std::size_t bytes) {
    if (!blocksGone) {
        if (void* block = Blocks().For(bytes).Take(bytes)) return block;
    }
    return ::operator new(bytes == 0 ? 1 : bytes, BlockAlignment);
}

void BlockCache::Give(void* block, std::size_t bytes) noexcept {
    if (block == nullptr) return;
    if (blocksGone) {
        ::operator delete(block, BlockAlignment);
        return;
    }
    Blocks().For(bytes).Give(block, bytes);
}

void BlockCache::Clear() noexcept {
    if (!blocksGone) Blocks().Clear();
}

}  // namespace tavox
