#pragma once

#include <cstdint>

namespace tavox::test {

// What the heap of the process holds and how often it was asked for memory,
// counted by replacements of malloc and its kin, which every allocation
// (operator new included) goes through. Only a test program that is linked
// with HeapUse.cpp has them.
struct HeapUse {
    std::uint64_t allocations = 0;  // calls that returned memory, since the start
    std::int64_t bytes = 0;         // usable bytes of the blocks alive
};

// False where the replacements are left out: a sanitizer brings an allocator
// of its own.
bool HeapCounted() noexcept;
HeapUse CurrentHeapUse() noexcept;

}  // namespace tavox::test
