#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "data/BlockCache.h"

namespace tavox {

// The result blocks of one output: where the current block lies in the
// output (1-based positions First..Last), how many spectra were summed into
// it, and, for an output written at the end, the values held so far.
class ResultStore {
public:
    std::int32_t First() const noexcept { return first_; }
    std::int32_t Last() const noexcept { return last_; }
    // Spectra summed into the current block; 0 before the first block.
    std::int32_t Sums() const noexcept { return sums_; }

    // Starts the next block of `size` positions, holding one spectrum; false,
    // changing nothing, when its positions would leave the 32-bit range.
    bool Next(std::size_t size) noexcept;
    void CountSum() noexcept { ++sums_; }
    void ResetSums() noexcept { sums_ = 1; }

    // Next, then keeps the block's values. False when the positions run out
    // or memory does; what fits of the block is kept all the same.
    bool Hold(std::span<const double> block);
    // Counts a spectrum and adds it to the held block (what of it is held).
    void AddHeld(std::span<const double> block) noexcept;
    // Divides the held block by its count of spectra, which becomes 1.
    void AverageHeld() noexcept;
    // The held values up to Last.
    std::span<const double> Held() const noexcept;

    // Forgets every block; keeps the memory for the next output.
    void Reset() noexcept;
    // Reset, and gives the memory back.
    void Release() noexcept;

private:
    std::int32_t first_ = 0;
    std::int32_t last_ = 0;
    std::int32_t sums_ = 0;
    std::vector<double, CachedAllocator<double>> values_;
};

}  // namespace tavox
