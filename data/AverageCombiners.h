#pragma once

#include <cstdint>
#include <span>

#include "common/OutputOptions.h"

namespace tavox {

// How one average mode combines the spectra of a block, bin by bin. A mode
// either combines as the spectra come (Add, then Finish) or keeps them all
// (see ExposureRows) and combines each bin's column at the end.
struct AverageCombiner {
    AverageMode mode;
    // Adds `block`, the `count`-th spectrum (2 or more), into `held`, which
    // holds the first spectrum or what Add made of the earlier ones. Null for
    // a mode that keeps its spectra.
    void (*add)(std::span<double> held, std::span<const double> block, std::int32_t count) noexcept;
    // Turns `held` into the combination of its `count` spectra. Null for a
    // mode that keeps its spectra.
    void (*finish)(std::span<double> held, std::int32_t count) noexcept;
    // The combination of one bin's values, in exposure order (it may reorder
    // them): what Add and Finish amount to, and how a mode that keeps its
    // spectra combines each column.
    double (*column)(std::span<double> values) noexcept;

    bool KeepsRows() const noexcept { return add == nullptr; }
};

// The row of `mode`; the mean's for a value outside the enumeration.
const AverageCombiner& CombinerOf(AverageMode mode) noexcept;
// Every row, in the order of AverageMode.
std::span<const AverageCombiner> AverageCombiners() noexcept;

}  // namespace tavox
