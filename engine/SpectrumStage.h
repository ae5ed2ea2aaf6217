#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "data/OutputStage.h"

namespace tavox {

class Parameters;
struct OutputOptions;

// The spectrum stage of one transform: the steps the samples of an exposure
// go through to become the spectrum that is combined and written (shape:
// centre and window; transform; polar form), and the OutputStage a combined
// spectrum then goes through. Built once per transform; read-only after, so
// that several threads may run exposures through it at once. The parameters
// must outlive it.
class SpectrumStage {
public:
    // `bounded`: every sample is a 16-bit integer (see File::BoundedSamples),
    // so that the fast paths may skip their range checks. `measures`
    // receives what measuring output steps find; it must outlive the stage.
    SpectrumStage(const Parameters& parameters, const OutputOptions& options, bool bounded,
                  Measures& measures) noexcept;
    SpectrumStage(const SpectrumStage&) = delete;
    SpectrumStage& operator=(const SpectrumStage&) = delete;

    // Runs the exposure steps on `re`, the samples of one exposure, with `im`
    // of the same size as scratch: then re[k] holds the magnitude of bin k
    // (k < N/2) and, with phases, im[k] its phase in degrees.
    // `conjugateOutput` gives the transform the sign of the simple method.
    // Each step runs even after an earlier one raised; the last error raised
    // becomes `code`.
    void Exposure(std::span<double> re, std::span<double> im, bool conjugateOutput, std::int32_t& code) const noexcept;
    // The output steps of an output made of one exposure: on its magnitudes
    // and its phases (empty for an output without them).
    void FinishSingle(std::span<double> magnitudes, std::span<double> phases) const noexcept;
    const OutputStage& Output() const noexcept { return output_; }

private:
    using Step = void (*)(const SpectrumStage& stage, std::span<double> re, std::span<double> im, bool conjugateOutput);
    static constexpr std::size_t MaxSteps = 6;

    void Add(Step step) noexcept;
    static void Shape(const SpectrumStage& stage, std::span<double> re, std::span<double> im, bool conjugateOutput);
    static void Transform(const SpectrumStage& stage, std::span<double> re, std::span<double> im, bool conjugateOutput);
    static void Polar(const SpectrumStage& stage, std::span<double> re, std::span<double> im, bool conjugateOutput);

    const Parameters& parameters_;
    const bool bounded_;
    const bool phase_;
    std::array<Step, MaxSteps> steps_{};
    std::size_t stepCount_ = 0;
    OutputStage output_;
};

}  // namespace tavox
