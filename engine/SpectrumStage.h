#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "common/SpectrumOptions.h"
#include "data/OutputStage.h"

namespace tavox {

class Parameters;
struct OutputOptions;
struct TransformTables;
class RealTransform;

// SciPy's bias of the median of n exponentially distributed values
// (scipy.signal.welch, average='median'): 1 + the sum over i = 1..(n-1)/2
// of 1/(2i+1) - 1/(2i). The median of n power spectra divided by it reads
// their mean.
double MedianBias(std::int32_t n) noexcept;

// The spectrum stage of one transform: the steps the samples of an exposure
// go through to become the spectrum that is combined and written (shape:
// detrend and window; transform; polar form; the scale), and the
// OutputStage a combined spectrum then goes through (the median's bias on
// power scales, the unit). Built once per transform; read-only after, so
// that several threads may run exposures through it at once. The
// parameters must outlive it.
//
// Scales, from the kernel's c_k = 2 X_k / M of M points (M = N, or the
// padded width) and the window's S1 and S2 of its N points: amplitude
// |c_k| M / N; power |c_k|^2 M^2 / (2 S1^2); PSD |c_k|^2 M^2 / (2 fs S2);
// bin 0 of power and PSD half that (one-sided, DC not doubled).
class SpectrumStage {
public:
    // `bounded`: every sample is a 16-bit integer (see File::BoundedSamples),
    // so that the fast paths may skip their range checks. `measures`
    // receives what measuring output steps find; it must outlive the stage.
    SpectrumStage(const Parameters& parameters, const OutputOptions& options, bool bounded,
                  Measures& measures) noexcept;
    SpectrumStage(const SpectrumStage&) = delete;
    SpectrumStage& operator=(const SpectrumStage&) = delete;

    // Samples of an exposure (the width N) and points transformed (M).
    std::size_t Width() const noexcept { return width_; }
    std::size_t Points() const noexcept { return points_; }

    // Runs the exposure steps on `re`, whose first Width() values are the
    // samples of one exposure, with `im` of the same size as scratch; both
    // must hold Points() values. Then re[k] holds the value of bin k
    // (k < M/2) on the scale and, with phases, im[k] its phase in degrees.
    // `conjugateOutput` gives the transform the sign of the simple method.
    // Each step runs even after an earlier one raised; the last error raised
    // becomes `code`.
    void Exposure(std::span<double> re, std::span<double> im, bool conjugateOutput, std::int32_t& code) const noexcept;
    // The output steps of an output made of one exposure: on its values
    // and its phases (empty for an output without them).
    void FinishSingle(std::span<double> magnitudes, std::span<double> phases) const noexcept;
    const OutputStage& Output() const noexcept { return output_; }

private:
    using Step = void (*)(const SpectrumStage& stage, std::span<double> re, std::span<double> im, bool conjugateOutput);
    static constexpr std::size_t MaxSteps = 6;

    void Add(Step step) noexcept;
    void AddScale(const OutputOptions& options) noexcept;
    static void Shape(const SpectrumStage& stage, std::span<double> re, std::span<double> im, bool conjugateOutput);
    static void Transform(const SpectrumStage& stage, std::span<double> re, std::span<double> im, bool conjugateOutput);
    static void Polar(const SpectrumStage& stage, std::span<double> re, std::span<double> im, bool conjugateOutput);
    static void Scale(const SpectrumStage& stage, std::span<double> re, std::span<double> im, bool conjugateOutput);

    const Parameters& parameters_;
    const bool bounded_;
    const bool phase_;
    const bool exact_;  // exact twiddles and detrending (SpectrumOptions::Calibrated)
    const Detrend detrend_;
    std::size_t width_ = 0;
    std::size_t points_ = 0;
    std::shared_ptr<const TransformTables> tables_;  // null when they could not be built
    const bool fast_;                                // FftMode::Fast: the real-input transform
    std::shared_ptr<const RealTransform> real_;      // null when it could not be planned
    bool squared_ = false;                           // the scale step squares (power, PSD)
    double factor_ = 1;                              // and multiplies bins 1.. by this
    double dcFactor_ = 1;                            // bin 0 by this
    std::array<Step, MaxSteps> steps_{};
    std::size_t stepCount_ = 0;
    OutputStage output_;
};

}  // namespace tavox
