#pragma once

#include <span>

namespace tavox {

// Radix-2 decimation-in-time FFT, in place on split arrays, forward sign
// X(k) = sum x(n) e^(-2 pi i k n / N), every bin scaled by 2/N.
//
// On entry `re` holds N = 2^stages real samples and `im` holds zeros (the bit
// reversal moves `re` only). `twiddleRe`/`twiddleIm` hold N/2 entries
// (cos, -sin of 2 pi p / N) as built by Parameters. With `conjugateOutput`
// the imaginary parts are negated, giving (2/N) sum x(n) e^(+2 pi i k n / N).
// On exit both arrays hold all N bins. Allocates nothing.
// Returns false and touches nothing when the sizes do not fit together
// (im not of size N, N not 2^stages, fewer than N/2 twiddle entries).
bool FftReference(std::span<double> re, std::span<double> im, std::span<const double> twiddleRe,
                  std::span<const double> twiddleIm, int stages, bool conjugateOutput) noexcept;

// Moves re[n] to re[bitreverse(n)] for N = re.size(), a power of two.
void BitReverse(std::span<double> re) noexcept;

}  // namespace tavox
