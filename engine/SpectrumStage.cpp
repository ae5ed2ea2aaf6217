#include "engine/SpectrumStage.h"

#include <algorithm>
#include <bit>
#include <cfenv>
#include <cmath>

#include "common/AutomationError.h"
#include "common/OutputOptions.h"
#include "engine/Parameters.h"
#include "engine/Polar.h"
#include "engine/Shaping.h"
#include "engine/TransformTables.h"
#include "engine/Trap.h"
#include "engine/fft/FftPlan.h"
#include "engine/fft/RealTransform.h"
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

// The median of power values reads their mean once divided by the bias.
void CorrectMedianBias(std::size_t row, std::span<double> values, std::int32_t exposures, const SpectrumContext&,
                       Measures&) noexcept {
    if (row != 0) return;
    const double bias = MedianBias(exposures);
    for (double& x : values) x = x / bias;
}

// Counts to volts, or to decibels re a full-scale sine (AES17: a sine
// peaking at 32767 reads 0 dBFS as amplitude and as power) or re 1 V.
void ToUnit(std::size_t row, std::span<double> values, std::int32_t, const SpectrumContext& context,
            Measures&) noexcept {
    if (row != 0) return;
    const bool amplitude = context.quantity.scale == SpectrumScale::Amplitude;
    const double volts = context.fullScale.value_or(FullScaleCounts) / FullScaleCounts;
    switch (context.quantity.unit) {
        case SpectrumUnit::Linear:
            return;
        case SpectrumUnit::Volts: {
            const double factor = amplitude ? volts : volts * volts;
            for (double& x : values) x = x * factor;
            return;
        }
        case SpectrumUnit::Dbfs:
            if (amplitude) {
                for (double& x : values) x = 20 * std::log10(x / FullScaleCounts);
            } else {
                const double sinePower = FullScaleCounts * FullScaleCounts / 2;
                for (double& x : values) x = 10 * std::log10(x / sinePower);
            }
            return;
        case SpectrumUnit::Dbv:
            if (amplitude) {
                for (double& x : values) x = 20 * std::log10(x * volts);
            } else {
                const double squared = volts * volts;
                for (double& x : values) x = 10 * std::log10(x * squared);
            }
            return;
    }
}

std::size_t PointsOf(const Parameters& parameters, const SpectrumOptions& options) noexcept {
    const auto width = static_cast<std::size_t>(parameters.Width());
    if (!options.pad || !ValidPad(*options.pad)) return width;
    return std::max(width, static_cast<std::size_t>(*options.pad));
}

std::shared_ptr<const TransformTables> TablesFor(const Parameters& parameters, std::size_t points,
                                                 bool exact) noexcept {
    if (!exact) return parameters.Tables();
    try {
        return TransformTables::Exact(std::countr_zero(points));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::shared_ptr<const RealTransform> RealTransformFor(std::size_t points, bool fast) noexcept {
    if (!fast) return nullptr;
    try {
        return RealTransform::For(points);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

double MedianBias(std::int32_t n) noexcept {
    double sum = 0;
    for (std::int32_t i = 1; i <= (n - 1) / 2; ++i) {
        const double twice = 2.0 * i;
        sum += 1 / (twice + 1) - 1 / twice;
    }
    return 1 + sum;
}

SpectrumStage::SpectrumStage(const Parameters& parameters, const OutputOptions& options, bool bounded,
                             Measures& measures) noexcept
    : parameters_(parameters),
      bounded_(bounded),
      phase_(parameters.Phase()),
      exact_(options.spectrum.Calibrated()),
      detrend_(options.spectrum.detrend),
      width_(static_cast<std::size_t>(parameters.Width())),
      points_(PointsOf(parameters, options.spectrum)),
      tables_(TablesFor(parameters, points_, exact_)),
      fast_(options.spectrum.fft == FftMode::Fast),
      real_(RealTransformFor(points_, fast_)),
      output_(RowNames{NamesOf(options.spectrum.Quantity()).column, PolarRows[1]},
              SpectrumContext{points_, parameters.WindowSum(), parameters.WindowSquares(), options.rate, width_,
                              options.spectrum.Quantity(), options.spectrum.fullScale},
              &measures) {
    Add(Shape);
    Add(Transform);
    Add(Polar);
    AddScale(options);
    const SpectrumOptions& spectrum = options.spectrum;
    if (spectrum.scale != SpectrumScale::Amplitude && options.average == AverageMode::Median &&
        parameters.Method() == fftMethodAverage) {
        output_.Add(CorrectMedianBias);
    }
    if (spectrum.unit != SpectrumUnit::Linear) output_.Add(ToUnit);
}

void SpectrumStage::AddScale(const OutputOptions& options) noexcept {
    const auto m = static_cast<double>(points_);
    const double s1 = parameters_.WindowSum();
    switch (options.spectrum.scale) {
        case SpectrumScale::Amplitude:
            if (points_ == width_) return;
            factor_ = m / static_cast<double>(width_);
            dcFactor_ = factor_;
            break;
        case SpectrumScale::Power:
            squared_ = true;
            factor_ = m * m / (2 * s1 * s1);
            dcFactor_ = factor_ / 2;
            break;
        case SpectrumScale::Psd:
            squared_ = true;
            factor_ = m * m / (2 * options.rate.value_or(1.0) * parameters_.WindowSquares());
            dcFactor_ = factor_ / 2;
            break;
    }
    Add(Scale);
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

// Only the exposure's samples are shaped; the points past them (padding) become zeros.
void SpectrumStage::Shape(const SpectrumStage& stage, std::span<double> re, std::span<double>, bool) {
    const Parameters& parameters = stage.parameters_;
    const std::span<double> samples = re.first(std::min(re.size(), stage.width_));
    bool center = parameters.Center() || stage.detrend_ == Detrend::Mean;
    std::feclearexcept(FloatingPointFaults);
    if (stage.exact_) {
        if (stage.detrend_ == Detrend::Linear) {
            RemoveLine(samples);
        } else if (center) {
            RemoveMean(samples);
        }
        center = false;
    }
    if (!ShapeExposure(samples, center, parameters.WindowWeights())) {
        ShapeExposure(samples, center, parameters.Window());
    }
    std::fill(re.begin() + static_cast<std::ptrdiff_t>(samples.size()), re.end(), 0.0);
    CheckFloatingPoint();
}

void SpectrumStage::Transform(const SpectrumStage& stage, std::span<double> re, std::span<double> im,
                              bool conjugateOutput) {
    if (stage.fast_) {
        if (!stage.real_) throw AutomationError::Platform(ErrOutOfMemory, SourceFile);
        std::feclearexcept(FloatingPointFaults);
        if (!stage.real_->Transform(re, im, conjugateOutput)) {
            throw AutomationError::Platform(ErrSubscriptOutOfRange, SourceFile);
        }
        CheckFloatingPoint();
        return;
    }
    if (!stage.tables_) throw AutomationError::Platform(ErrOutOfMemory, SourceFile);
    const TransformTables& tables = *stage.tables_;
    const int stages = tables.exponent;
    const std::span<const double> twiddleReal = tables.twiddleReal;
    const std::span<const double> twiddleImag = tables.twiddleImag;
    const std::size_t n = re.size();
    if (stages < 1 || n != (std::size_t{1} << stages) || im.size() != n || twiddleReal.size() < n / 2 ||
        twiddleImag.size() < n / 2) {
        throw AutomationError::Platform(ErrSubscriptOutOfRange, SourceFile);
    }
    const FftPlan& plan = tables.plan;
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

void SpectrumStage::Scale(const SpectrumStage& stage, std::span<double> re, std::span<double>, bool) {
    const std::span<double> bins = re.first(re.size() / 2);
    if (bins.empty()) return;
    std::feclearexcept(FloatingPointFaults);
    if (stage.squared_) {
        bins[0] = bins[0] * bins[0] * stage.dcFactor_;
        for (double& x : bins.subspan(1)) x = x * x * stage.factor_;
    } else {
        for (double& x : bins) x = x * stage.factor_;
    }
    CheckFloatingPoint();
}

}  // namespace tavox
