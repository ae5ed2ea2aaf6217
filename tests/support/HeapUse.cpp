#include "support/HeapUse.h"

#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TAVOX_HEAP_UNCOUNTED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define TAVOX_HEAP_UNCOUNTED 1
#endif
#endif

namespace tavox::test {

#ifdef TAVOX_HEAP_UNCOUNTED

bool HeapCounted() noexcept {
    return false;
}

HeapUse CurrentHeapUse() noexcept {
    return {};
}

#else

namespace {

std::atomic<std::uint64_t> allocations{0};
std::atomic<std::int64_t> bytes{0};

void* Counted(void* block) noexcept {
    if (block != nullptr) {
        allocations.fetch_add(1, std::memory_order_relaxed);
        bytes.fetch_add(static_cast<std::int64_t>(malloc_usable_size(block)), std::memory_order_relaxed);
    }
    return block;
}

void Uncounted(void* block) noexcept {
    if (block != nullptr) {
        bytes.fetch_sub(static_cast<std::int64_t>(malloc_usable_size(block)), std::memory_order_relaxed);
    }
}

}  // namespace

bool HeapCounted() noexcept {
    return true;
}

HeapUse CurrentHeapUse() noexcept {
    return HeapUse{allocations.load(), bytes.load()};
}

#endif

}  // namespace tavox::test

#ifndef TAVOX_HEAP_UNCOUNTED

// glibc's allocator under its own names; the definitions below take the
// public ones for the whole process.
extern "C" {
void* __libc_malloc(std::size_t size);
void __libc_free(void* block);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);

void* malloc(std::size_t size) {
    return tavox::test::Counted(__libc_malloc(size));
}

void free(void* block) {
    tavox::test::Uncounted(block);
    __libc_free(block);
}

void* calloc(std::size_t count, std::size_t size) {
    return tavox::test::Counted(__libc_calloc(count, size));
}

void* realloc(void* block, std::size_t size) {
    tavox::test::Uncounted(block);
    void* moved = __libc_realloc(block, size);
    // A failed realloc leaves the block as it was; a size of 0 frees it.
    if (moved == nullptr && size != 0 && block != nullptr) {
        tavox::test::bytes.fetch_add(static_cast<std::int64_t>(malloc_usable_size(block)));
        return nullptr;
    }
    return tavox::test::Counted(moved);
}

void* memalign(std::size_t alignment, std::size_t size) {
    return tavox::test::Counted(__libc_memalign(alignment, size));
}

void* aligned_alloc(std::size_t alignment, std::size_t size) {
    return tavox::test::Counted(__libc_memalign(alignment, size));
}

int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
    void* block = tavox::test::Counted(__libc_memalign(alignment, size));
    if (block == nullptr) return ENOMEM;
    *out = block;
    return 0;
}
}

#endif
