#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/OutputOptions.h"
#include "data/BlockCache.h"
#include "data/ExposureRows.h"
#include "data/OutputStage.h"

namespace tavox {

// The result blocks of one output: where the current block lies in the
// output (1-based positions First..Last), how many spectra were summed into
// it, and, for an output written at the end, the values held so far.
// Spectra added to a held block are combined by the average mode's combiner
// (see AverageCombiners), which applies from the second spectrum of a block
// on; the output stage then finishes the combined block.
class ResultStore {
public:
    // `rowMemory` bounds the memory a mode that keeps its spectra (the
    // median) keeps them in before it moves them to a temporary file.
    explicit ResultStore(std::size_t rowMemory = ExposureRows::DefaultMemoryLimit) noexcept : rows_(rowMemory) {}

    AverageMode Average() const noexcept { return mode_; }
    // Takes effect with the next block.
    void SetAverage(AverageMode mode) noexcept { mode_ = mode; }
    // What AverageHeld finishes a combined block with and what names the
    // rows of Shape; kept until set again.
    const OutputStage& Stage() const noexcept { return stage_; }
    void SetStage(const OutputStage& stage) noexcept { stage_ = stage; }

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
    // False when a mode that keeps its spectra cannot keep it (memory or
    // temporary file).
    bool AddHeld(std::span<const double> block) noexcept;
    // Turns the held block into the combination of its spectra (also of
    // one), whose count becomes 1, and runs the output stage on it. False when kept spectra
    // cannot be read back.
    bool AverageHeld() noexcept;
    // The held values up to Last.
    std::span<const double> Held() const noexcept;
    // The layout of the held values: whole blocks of the length of the first
    // (magnitudes and phases), or else one block; rows named by the stage.
    SpectrumShape Shape() const noexcept;

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
    std::size_t firstBlock_ = 0;  // the length of the output's first block
    std::vector<double, CachedAllocator<double>> values_;
    ExposureRows rows_;  // the kept spectra of the current block
    OutputStage stage_;
};

}  // namespace tavox
