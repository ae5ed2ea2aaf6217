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

// Most recently given blocks last.
struct ThreadBlocks {
    std::array<Kept, BlockCache::MaxBlocks> kept{};
    std::size_t count = 0;

    ~ThreadBlocks() {
        Clear();
        blocksGone = true;
    }

    void Clear() noexcept {
        for (std::size_t i = 0; i < count; ++i) ::operator delete(kept[i].block, BlockAlignment);
        count = 0;
    }
};

ThreadBlocks& Blocks() noexcept {
    thread_local ThreadBlocks blocks;
    return blocks;
}

}  // namespace

void* BlockCache::Take(std::size_t bytes) {
    if (bytes >= MinBytes && !blocksGone) {
        ThreadBlocks& blocks = Blocks();
        for (std::size_t i = blocks.count; i-- > 0;) {
            if (blocks.kept[i].bytes != bytes) continue;
            void* block = blocks.kept[i].block;
            for (std::size_t j = i + 1; j < blocks.count; ++j) blocks.kept[j - 1] = blocks.kept[j];
            --blocks.count;
            return block;
        }
    }
    return ::operator new(bytes == 0 ? 1 : bytes, BlockAlignment);
}

void BlockCache::Give(void* block, std::size_t bytes) noexcept {
    if (block == nullptr) return;
    if (bytes < MinBytes || blocksGone) {
        ::operator delete(block, BlockAlignment);
        return;
    }
    ThreadBlocks& blocks = Blocks();
    if (blocks.count == MaxBlocks) {
        ::operator delete(blocks.kept[0].block, BlockAlignment);
        for (std::size_t j = 1; j < blocks.count; ++j) blocks.kept[j - 1] = blocks.kept[j];
        --blocks.count;
    }
    blocks.kept[blocks.count++] = Kept{block, bytes};
}

void BlockCache::Clear() noexcept {
    if (!blocksGone) Blocks().Clear();
}

}  // namespace tavox
