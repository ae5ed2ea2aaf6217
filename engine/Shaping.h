#pragma once

#include <cstddef>
#include <span>

#include "common/Enums.h"

namespace tavox {

// Optionally removes the mean (sum in index order, divided by N), then
// multiplies by the window: Hanning 1 - cos(i 2pi / N) (mean 1, no factor 1/2);
// flat top 1 - 1.93 cos x + 1.29 cos 2x - 0.388 cos 3x + 0.028 cos 4x with
// x = i 2pi / N. Any other window value leaves the samples as they are.
void ShapeExposure(std::span<double> re, bool center, fftWindowEnum window) noexcept;

// The same with the weights precomputed (Parameters::WindowWeights): gives
// identical samples without evaluating cosines; empty weights weight nothing.
// Returns false and touches nothing when weights are given for another size.
bool ShapeExposure(std::span<double> re, bool center, std::span<const double> weights) noexcept;

// Subtracts the mean, summed in long double so that it is the mean rounded
// once (as numpy and SciPy nearly always find it).
void RemoveMean(std::span<double> re) noexcept;

// Subtracts the least-squares line through (i, re[i]), its sums taken in
// long double (SciPy's detrend type 'linear').
void RemoveLine(std::span<double> re) noexcept;

// Weight of sample i of an exposure of n samples under `window`; 1 for the
// rectangle and any value outside the enumeration.
double WindowWeight(fftWindowEnum window, std::size_t i, std::size_t n) noexcept;

}  // namespace tavox
