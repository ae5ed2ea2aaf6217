#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace tavox {

// How far a peak must stand out: its prominence at least this many dB above
// the local noise floor.
inline constexpr double PeakProminenceDb = 20.0;
// The bins either side of a peak whose median is its local noise floor.
inline constexpr std::size_t NoiseFloorReach = 32;
// Bins this far below the strongest bin of a spectrum are noise: never a
// peak, and their phases are not drawn.
inline constexpr double NoiseRangeDb = 60.0;

// The peaks among magnitudes[first, last) that stand out of their
// surroundings, at most `count`, the strongest first (the lower bin first
// among equals). A peak is a local maximum as scipy.signal.find_peaks finds
// it in the magnitudes with a zero added at each end (the middle of a flat
// top counts); its prominence, as scipy.signal.peak_prominences measures it
// there, is at least PeakProminenceDb above the median of the magnitudes
// within NoiseFloorReach bins of it, and it lies within NoiseRangeDb of the
// strongest magnitude of the whole spectrum. Peaks are judged on the whole
// spectrum, so a bin at the edge of [first, last) beside a stronger one
// outside is none.
std::vector<std::size_t> SpectrumPeaks(std::span<const double> magnitudes, std::size_t first, std::size_t last,
                                       std::size_t count = 3);

// The smallest magnitude whose bin is no noise: the strongest of
// `magnitudes` NoiseRangeDb down (0 for an empty or silent spectrum).
double NoiseLimit(std::span<const double> magnitudes) noexcept;

}  // namespace tavox
