#include "engine/SpectrumStage.h"

#include <algorithm>
#include <cfenv>
#include <cmath>

#include "common/AutomationError.h"
#include "common/OutputOptions.h"
#include "engine/Parameters.h"
#include "engine/Polar.h"
#include "engine/Shaping.h"
#include "engine/Trap.h"
#include "engine/fft/FftPlan.h"
#include "engine/fft/ReferenceKernel.h"

namespace tavox {
namespace {

constexpr int FloatingPointFaults = FE_OVERFLOW | FE_INVALID | FE_DIVBYZERO;

// Raises the overflow error when the operation since the last clear left a
// floating-point fault behind.
void CheckFloatingPoint() {
    if (std::fetestexcept(FloatingPointFaults) != 0) {
        std::feclearexcept(FloatingPointFaults);
        throw AutomationError::Platform(ErrOverflow, SourceFile);
    }
}

// Largest sample magnitude for which no stage of the kernel can overflow:
// a stage at most doubles a value and the scaling doubles it once more, so
// every intermediate stays below 2^17 * 1e300.
constexpr double FastKernelBound = 1e300;

// True when every sample is finite and within FastKernelBound, so that the
// kernel raises no floating-point fault and the fast path may stand in for
// the reference with the same result code.
bool WithinFastKernelBound(std::span<const double> samples) noexcept {
    std::size_t outside = 0;
    for (const double x : samples) outside += std::fabs(x) <= FastKernelBound ? 0 : 1;
    return outside == 0;
}

}  // namespace

SpectrumStage::SpectrumStage(const Parameters& parameters, const OutputOptions& options, bool bounded,
                             Measures& measures) noexcept
    : parameters_(parameters),
      bounded_(bounded),
      phase_(parameters.Phase()),
      output_(PolarRows,
              SpectrumContext{static_cast<std::size_t>(parameters.Width()), parameters.WindowSum(),
                              parameters.WindowSquares(), options.rate},
              &measures) {
    Add(Shape);
    Add(Transform);
    Add(Polar);
}

void SpectrumStage::Add(Step step) noexcept {
    if (stepCount_ < MaxSteps) steps_[stepCount_++] = step;
}

void SpectrumStage::Exposure(std::span<double> re, std::span<double> im, bool conjugateOutput,
                             std::int32_t& code) const noexcept {
    for (std::size_t k = 0; k < stepCount_; ++k) {
        Trap(code, [&] { steps_[k](*this, re, im, conjugateOutput); });
    }
}

void SpectrumStage::FinishSingle(std::span<double> magnitudes, std::span<double> phases) const noexcept {
    output_.Finish(0, magnitudes, 1);
    if (!phases.empty()) output_.Finish(1, phases, 1);
}

void SpectrumStage::Shape(const SpectrumStage& stage, std::span<double> re, std::span<double>, bool) {
    const Parameters& parameters = stage.parameters_;
    const bool center = parameters.Center();
    std::feclearexcept(FloatingPointFaults);
    if (!ShapeExposure(re, center, parameters.WindowWeights())) ShapeExposure(re, center, parameters.Window());
    CheckFloatingPoint();
}

void SpectrumStage::Transform(const SpectrumStage& stage, std::span<double> re, std::span<double> im,
                              bool conjugateOutput) {
    const Parameters& parameters = stage.parameters_;
    const int stages = parameters.WidthExponent();
    const auto twiddleReal = parameters.TwiddleRealTable();
    const auto twiddleImag = parameters.TwiddleImagTable();
    const std::size_t n = re.size();
    if (stages < 1 || n != (std::size_t{1} << stages) || im.size() != n || twiddleReal.size() < n / 2 ||
        twiddleImag.size() < n / 2) {
        throw AutomationError::Platform(ErrSubscriptOutOfRange, SourceFile);
    }
    const FftPlan& plan = parameters.Plan();
    if (plan.Stages() == stages && (stage.bounded_ || WithinFastKernelBound(re))) {
        std::feclearexcept(FloatingPointFaults);
        if (plan.Transform(re, im, conjugateOutput)) {
            CheckFloatingPoint();
            return;
        }
    }
    std::fill(im.begin(), im.end(), 0.0);
    std::feclearexcept(FloatingPointFaults);
    FftReference(re, im, twiddleReal, twiddleImag, stages, conjugateOutput);
    CheckFloatingPoint();
}

void SpectrumStage::Polar(const SpectrumStage& stage, std::span<double> re, std::span<double> im, bool) {
    if (!stage.phase_ && stage.bounded_) {
        BoundedMagnitudes(re, im);
        return;
    }
    ToPolar(re, im, stage.phase_);
}

}  // namespace tavox
