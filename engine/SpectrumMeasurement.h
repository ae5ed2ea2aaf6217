#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "common/Enums.h"
#include "common/MeasureOptions.h"

namespace tavox {

// What a measurement knows of a one-sided power spectrum P_m (m < M/2; a
// sine of amplitude A on a bin reads A^2/2): the window of `samples` points
// (N) and their weight sums S1 and S2, the points transformed (M, at least
// N), the sample rate (1 when none is known) and what is asked.
struct MeasureSetup {
    fftWindowEnum window = fftWindowRectangle;
    std::size_t samples = 0;
    std::size_t points = 0;
    double weightSum = 0;
    double weightSquares = 0;
    double rate = 1;
    MeasureOptions options;
};

// Tone and noise figures of one spectrum, powers in counts^2 (the spectrum's
// own unit squared). A harmonic not counted (outside the band, or on the
// fundamental's lobe or DC) is NaN. `problem` names why nothing was
// measured; the figures are then NaN.
struct SpectrumMeasurement {
    std::string_view problem;
    std::size_t peakBin = 0;
    double peakHz = 0;
    double peakPower = 0;  // the strongest bin corrected for its offset from the tone
    std::size_t fundamentalBin = 0;
    double fundamentalHz = 0;
    double fundamentalPower = 0;                           // summed over its main lobe, over NENBW
    std::array<double, MaxHarmonics + 1> harmonicPower{};  // index h = 2..harmonics
    std::int32_t harmonics = 0;
    double harmonicSum = 0;
    double noisePower = 0;     // over the band, the excluded bins filled with the mean
    double spurPower = 0;      // the strongest harmonic or noise bin
    double noiseFloorPsd = 0;  // median power spectral density of the noise bins, counts^2/Hz

    double SnrDb() const noexcept;
    double ThdDb() const noexcept;  // harmonics over the fundamental, dBc
    double ThdPercent() const noexcept;
    double ThdNDb() const noexcept;  // harmonics and noise over the fundamental, dB
    double ThdNPercent() const noexcept;
    double SinadDb() const noexcept;
    // (SINAD - 1.7609 + 20 log10(full scale / A)) / 6.0206, A the fundamental's amplitude.
    double EnobBits() const noexcept;
    double SfdrDbc() const noexcept;
    double SfdrDbfs() const noexcept;  // below a full-scale sine (32767)
    double HarmonicDbc(std::int32_t h) const noexcept;
};

// The bins either side of a tone's centre bin that hold its main lobe: the
// window's first zero plus 1 (rectangle 1, Hann 3, flat top 6) in N-point
// bins, scaled to M-point bins.
std::size_t LobeHalfWidth(fftWindowEnum window, std::size_t samples, std::size_t points) noexcept;
// The bins 0..FirstZero that belong to DC: the window's first zero (1, 2, 5), scaled.
std::size_t DcBins(fftWindowEnum window, std::size_t samples, std::size_t points) noexcept;

// The offset in bins (-0.5..0.5 about `bin`) of the tone whose strongest bin
// is `bin`: Grandke's exact ratio for Hann, Jain's for the rectangle, 0 for
// the flat top; a Gaussian fit of the three log powers when padded.
double InterpolatedOffset(std::span<const double> power, std::size_t bin, const MeasureSetup& setup) noexcept;

// Measures `power` (M/2 bins). `scratch` holds at least power.size()
// values; its contents are overwritten.
SpectrumMeasurement MeasureSpectrum(std::span<const double> power, const MeasureSetup& setup,
                                    std::span<double> scratch) noexcept;

// The frequency harmonic h of f0 is seen at after folding about multiples
// of the rate: |((h f0 + fs/2) mod fs) - fs/2|.
double FoldedHarmonic(double f0, std::int32_t h, double rate) noexcept;

}  // namespace tavox
