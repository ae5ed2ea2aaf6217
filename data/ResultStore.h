#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/OutputOptions.h"
#include "data/BlockCache.h"
#include "data/ExposureRows.h"

namespace tavox {

// The result blocks of one output: where the current block lies in the
// output (1-based positions First..Last), how many spectra were summed into
// it, and, for an output written at the end, the values held so far.
// Spectra added to a held block are combined by the average mode: the mean
// (sum, then divide), the root mean square, the bin-wise maximum or the
// bin-wise median; the mode applies from the second spectrum of a block on.
class ResultStore {
public:
    // `medianMemory` bounds the memory the median keeps its spectra in
    // before it moves them to a temporary file.
    explicit ResultStore(std::size_t medianMemory = ExposureRows::DefaultMemoryLimit) noexcept : rows_(medianMemory) {}

    AverageMode Average() const noexcept { return mode_; }
    // Takes effect with the next block.
    void SetAverage(AverageMode mode) noexcept { mode_ = mode; }

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
    // False when the median cannot keep it (memory or temporary file).
    bool AddHeld(std::span<const double> block) noexcept;
    // Turns the held block into the average of its spectra, whose count
    // becomes 1. False when the median's spectra cannot be read back.
    bool AverageHeld() noexcept;
    // The held values up to Last.
    std::span<const double> Held() const noexcept;

    // Forgets every block; keeps the memory for the next output.
    void Reset() noexcept;
    // Reset, and gives the memory back.
    void Release() noexcept;

private:
    std::int32_t first_ = 0;
    AverageMode mode_ = AverageMode::Mean;
    AverageMode blockMode_ = AverageMode::Mean;  // the mode of the current block
    std::int32_t last_ = 0;
    std::int32_t sums_ = 0;
    std::vector<double, CachedAllocator<double>> values_;
    ExposureRows rows_;  // the median's spectra of the current block
};

}  // namespace tavox
