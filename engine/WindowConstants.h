#pragma once

#include <cstddef>
#include <span>

#include "common/Enums.h"

namespace tavox {

// The constants of a window of N weights w (Heinzel, Ruediger, Schilling,
// "Spectrum and spectral density estimation by the DFT", 2002, section 9):
// S1 = sum w, S2 = sum w^2 in index order, the coherent gain S1 / N, the
// normalised equivalent noise bandwidth N S2 / S1^2 in bins, and the
// scalloping loss, the gain of a sine half a bin off over that of one on a
// bin, |sum w_j e^(-i pi j / N)| / S1 (1 or less).
struct WindowConstants {
    std::size_t width = 0;
    double weightSum = 0;
    double weightSquares = 0;
    double coherentGain = 0;
    double nenbw = 0;
    double scallopingLoss = 0;

    // The equivalent noise bandwidth in Hz at `rate` samples per second.
    double Enbw(double rate) const noexcept;
    // The scalloping loss in dB, 20 log10 of it (0 or less).
    double ScallopingLossDb() const noexcept;
};

// Of the given weights; empty weights stand for a rectangle of `width`.
WindowConstants ConstantsOfWeights(std::span<const double> weights, std::size_t width) noexcept;
// Of the engine's `window` of `width` samples (see WindowWeight).
WindowConstants ConstantsOfWindow(fftWindowEnum window, std::size_t width);

}  // namespace tavox
