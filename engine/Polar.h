#pragma once

#include <span>

namespace tavox {

// For k < N/2: re[k] = Magnitude(re[k], im[k]); with `phase` also
// im[k] = PhaseDegrees of the same pair, otherwise im[k] is kept.
void ToPolar(std::span<double> re, std::span<double> im, bool phase) noexcept;

// re[k] = Magnitude(re[k], im[k]) for k < N/2 when no component reaches
// 1e150 (as for spectra of 16-bit samples), in vector code.
void BoundedMagnitudes(std::span<double> re, std::span<const double> im) noexcept;

// sqrt(re^2 + im^2); 2147483647 when the computation overflows.
double Magnitude(double re, double im) noexcept;

// Phase in degrees in (-180, 180]; a zero pair gives 90.
double PhaseDegrees(double re, double im) noexcept;

}  // namespace tavox
