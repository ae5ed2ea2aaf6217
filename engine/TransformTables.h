#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "engine/fft/FftPlan.h"

namespace tavox {

// The twiddle table of the FFT kernel for N = 2^exponent points (N/2 entries
// of cos and -sin of 2 pi p / N) and the fast kernel's plan made from it.
// Read-only once built, so any number of threads and copies may share it.
struct TransformTables {
    int exponent = 0;
    std::vector<double> twiddleReal;
    std::vector<double> twiddleImag;
    FftPlan plan;

    std::size_t Width() const noexcept { return std::size_t{1} << exponent; }

    // The kernel's own table: the angle 2 pi / N with the 15-digit pi, its
    // cosine and the sine from it, then each entry by the rotation recurrence.
    // Exponents 7..16; throws std::bad_alloc.
    static std::shared_ptr<const TransformTables> Recurrent(int exponent);
    // Each entry the cosine and sine of 2 pi p / N rounded once from long
    // double, for spectra that must match other libraries closely. Built
    // once per exponent for the whole process and shared; throws std::bad_alloc.
    static std::shared_ptr<const TransformTables> Exact(int exponent);
};

}  // namespace tavox
