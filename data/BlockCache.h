#pragma once

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace tavox {

// Keeps the last few freed blocks of this thread for the next request of the
// same size, so that a batch that allocates the same working arrays for
// every file neither asks the allocator for memory nor faults fresh pages in
// each time. Holds at most MaxBlocks blocks of MinBytes and more and as many
// smaller ones, so what it keeps depends on the sizes in use (the width), not
// on the number of files. Blocks are aligned to 64 bytes.
class BlockCache {
public:
    static constexpr std::size_t MaxBlocks = 8;
    // Smaller blocks are kept apart from the larger ones.
    static constexpr std::size_t MinBytes = 4096;

    // Throws std::bad_alloc when memory runs out.
    static void* Take(std::size_t bytes);
    static void Give(void* block, std::size_t bytes) noexcept;
    // Frees every kept block of this thread.
    static void Clear() noexcept;
};

// Allocator for std::vector that draws from the BlockCache. Elements that a
// resize adds without a value are left uninitialised (default-initialised),
// for buffers that are always written before they are read.
template <class T>
struct CachedAllocator {
    using value_type = T;
    CachedAllocator() noexcept = default;
    template <class U>
    CachedAllocator(const CachedAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        return static_cast<T*>(BlockCache::Take(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { BlockCache::Give(p, n * sizeof(T)); }

    template <class U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }

    template <class U>
    bool operator==(const CachedAllocator<U>&) const noexcept {
        return true;
    }
};

// A byte buffer drawn from the BlockCache.
using ByteBuffer = std::vector<std::byte, CachedAllocator<std::byte>>;

}  // namespace tavox
