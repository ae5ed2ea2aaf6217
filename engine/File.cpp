#include "engine/File.h"

#include <algorithm>
#include <cfenv>
#include <chrono>
#include <cmath>
#include <exception>
#include <limits>
#include <new>
#include <span>

#include "common/AutomationError.h"
#include "data/Data.h"
#include "engine/Parameters.h"
#include "engine/Polar.h"
#include "engine/Shaping.h"
#include "engine/fft/FftPlan.h"
#include "engine/fft/ReferenceKernel.h"

namespace tavox {

namespace {

thread_local File::AllocationProbe allocationProbe = nullptr;

constexpr int FloatingPointFaults = FE_OVERFLOW | FE_INVALID | FE_DIVBYZERO;

// Raises the overflow error when the operation since the last clear left a
// floating-point fault behind.
void CheckFloatingPoint() {
    if (std::fetestexcept(FloatingPointFaults) != 0) {
        std::feclearexcept(FloatingPointFaults);
        throw AutomationError::Platform(ErrOverflow, SourceFile);
    }
}

// Runs one step of a transform method; an error it raises becomes the result
// code and the method goes on. Returns false when the step raised.
template <class Step>
bool Trap(std::int32_t& resultCode, Step&& step) noexcept {
    try {
        step();
        return true;
    } catch (const AutomationError& error) {
        resultCode = error.Number();
    } catch (const std::bad_alloc&) {
        resultCode = ErrOutOfMemory;
    } catch (...) {
        resultCode = ErrInternal;
    }
    return false;
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

// Next exposure position; the overflow error when it leaves the 32-bit range.
std::int32_t Advance(std::int32_t position, std::int32_t step) {
    const std::int64_t next = std::int64_t{position} + step;
    if (next > std::numeric_limits<std::int32_t>::max()) throw AutomationError::Platform(ErrOverflow, SourceFile);
    return static_cast<std::int32_t>(next);
}

}  // namespace

File::File(std::shared_ptr<FileSystem> fileSystem) : data_(std::make_unique<Data>(std::move(fileSystem))) {}

File::~File() = default;

fftDataEnum File::DataFormat() const {
    return static_cast<fftDataEnum>(data_->Format());
}

Variant File::Source() const {
    return data_->GetSource();
}

Variant File::Target() const {
    return data_->GetTarget();
}

void File::SetFormat(std::int32_t kind) {
    data_->SetFormat(kind);
}

void File::SetAllocationProbe(AllocationProbe probe) noexcept {
    allocationProbe = probe;
}

fftResultEnum File::Transform() {
    return Transform({});
}

fftResultEnum File::Transform(const std::function<bool()>& stopRequested) {
    if (!parameters_) throw AutomationError::Platform(ErrObjectNotSet, SourceFile);
    const auto started = std::chrono::steady_clock::now();
    struct StopScope {
        File* file;
        ~StopScope() { file->stopRequested_ = nullptr; }
    } stopScope{this};
    stopRequested_ = stopRequested ? &stopRequested : nullptr;
    ResultCode = fftResultAllRight;
    exposuresDone_ = 0;
    data_->Initialize(ResultCode);
    if (ResultCode == fftResultAllRight) {
        struct BufferGuard {
            File* file;
            ~BufferGuard() { file->ReleaseBuffers(); }
        } guard{this};
        PrepareBuffers();
        switch (parameters_->Method()) {
            case fftMethodSimple:
                TransformSimple();
                break;
            case fftMethodAverage:
                TransformAverage();
                break;
            case fftMethodMulti:
                TransformMulti();
                break;
        }
    }
    data_->Terminate();
    transformSeconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return static_cast<fftResultEnum>(ResultCode);
}

void File::PrepareBuffers() {
    std::size_t width = static_cast<std::size_t>(parameters_->Width());
    // A failed allocation halves the width for itself and any later array;
    // an array already allocated keeps its size.
    auto allocate = [&](std::vector<double, CachedAllocator<double>>& buffer) {
        for (;;) {
            try {
                if (width > 0 && allocationProbe != nullptr && !allocationProbe(width)) throw std::bad_alloc();
                // Not cleared: every load fills the whole of RealPart, and
                // ImagPart is cleared where a kernel reads it.
                buffer.resize(width);
                return;
            } catch (const std::bad_alloc&) {
                width /= 2;
                ResultCode = fftResultOutOfMemory;
            }
        }
    };
    allocate(RealPart);
    allocate(ImagPart);
}

void File::ReleaseBuffers() noexcept {
    decltype(RealPart)().swap(RealPart);
    decltype(ImagPart)().swap(ImagPart);
}

// ImagPart is cleared where a kernel needs it: the fast kernel never reads it.
void File::LoadExposure(std::int32_t position) {
    data_->LoadSequence(RealPart, position, ResultCode);
}

std::int32_t File::ExposureStep() {
    const std::int64_t repeat = parameters_->Repeat();
    if (repeat <= 1) return 0;
    const std::int32_t length = data_->Length();
    const std::int64_t finish = parameters_->FinishPosition(length);
    const std::int64_t start = parameters_->StartPosition(length);
    const std::int64_t span = finish - start + 1;
    const std::int64_t step = (span - parameters_->Width()) / (repeat - 1);
    // Positions lie in 0..2^31-1, so a positive step always fits.
    return step < 0 ? 0 : static_cast<std::int32_t>(step);
}

void File::TransformSimple() {
    std::int32_t position = 0;
    if (Trap(ResultCode, [&] { position = parameters_->StartPosition(data_->Length()); })) {
        Trap(ResultCode, [&] { LoadExposure(position); });
    }
    if (ResultCode != fftResultAllRight) return;

    TransformExposure(true);
    Trap(ResultCode, [&] { data_->SaveSequence(SaveStore, RealPart, 0, ResultCode); });
    if (ResultCode != fftResultAllRight) return;

    bool phase = false;
    Trap(ResultCode, [&] { phase = parameters_->Phase(); });
    if (phase) Trap(ResultCode, [&] { data_->SaveSequence(SaveStore, ImagPart, 0, ResultCode); });
    if (ResultCode == fftResultAllRight) Trap(ResultCode, [&] { data_->SaveSequence(SaveWrite, {}, 0, ResultCode); });
}

// Step between exposures, first position and their number; false, with the
// result code set, when they cannot be had or the exposures would not advance
// (a step of 0 gives fftResultShortFile).
bool File::PlanExposures(std::int32_t& step, std::int32_t& position, std::int16_t& repeat) {
    if (!Trap(ResultCode, [&] { step = ExposureStep(); })) return false;
    if (step == 0) {
        ResultCode = fftResultShortFile;
        return false;
    }
    return Trap(ResultCode, [&] {
        position = parameters_->StartPosition(data_->Length());
        repeat = static_cast<std::int16_t>(parameters_->Repeat());
    });
}

bool File::StopBefore(std::int16_t k) {
    if (k <= 1 || stopRequested_ == nullptr) return false;
    bool stop = false;
    Trap(ResultCode, [&] { stop = (*stopRequested_)(); });
    if (stop) ResultCode = fftResultRepeatFail;
    return stop;
}

void File::TransformAverage() {
    std::int32_t step = 0;
    std::int32_t position = 0;
    std::int16_t repeat = 0;
    if (!PlanExposures(step, position, repeat)) return;

    bool stored = false;
    for (std::int16_t k = 1; k <= repeat; ++k) {
        // An average of fewer exposures than asked for is not written.
        if (StopBefore(k)) return;
        Trap(ResultCode, [&] { LoadExposure(position); });
        if (ResultCode != fftResultAllRight) break;
        TransformExposure(false);
        if (k == 1) {
            Trap(ResultCode, [&] { data_->SaveSequence(SaveStore, RealPart, 0, ResultCode); });
            if (ResultCode != fftResultAllRight) return;
            stored = true;
        } else {
            Trap(ResultCode, [&] { data_->SaveSequence(SaveAdd, RealPart, 0, ResultCode); });
        }
        if (k < repeat) Trap(ResultCode, [&] { position = Advance(position, step); });
    }
    // Writing with nothing stored would replace an existing output with an
    // empty file while the transform reports a failure anyway.
    if (!stored) return;
    Trap(ResultCode, [&] { data_->SaveSequence(SaveAverage, {}, 0, ResultCode); });
    Trap(ResultCode, [&] { data_->SaveSequence(SaveWrite, {}, 0, ResultCode); });
}

void File::TransformMulti() {
    std::int32_t step = 0;
    std::int32_t position = 0;
    std::int16_t repeat = 0;
    if (!PlanExposures(step, position, repeat)) return;

    for (std::int16_t k = 1; k <= repeat; ++k) {
        if (StopBefore(k)) return;
        Trap(ResultCode, [&] { LoadExposure(position); });
        if (ResultCode != fftResultAllRight) return;
        TransformExposure(false);
        Trap(ResultCode, [&] { data_->SaveSequence(SaveStore, RealPart, k, ResultCode); });
        if (ResultCode != fftResultAllRight) return;
        Trap(ResultCode, [&] { data_->SaveSequence(SaveWrite, {}, k, ResultCode); });
        if (k < repeat) Trap(ResultCode, [&] { position = Advance(position, step); });
    }
}

void File::TransformExposure(bool conjugateOutput) {
    ++exposuresDone_;
    Trap(ResultCode, [&] { ShapeExposure(); });
    Trap(ResultCode, [&] { Fft(conjugateOutput); });
    Trap(ResultCode, [&] { ToPolar(); });
}

void File::ShapeExposure() {
    const bool center = parameters_->Center();
    std::feclearexcept(FloatingPointFaults);
    if (!tavox::ShapeExposure(RealPart, center, parameters_->WindowWeights())) {
        tavox::ShapeExposure(RealPart, center, parameters_->Window());
    }
    CheckFloatingPoint();
}

void File::Fft(bool conjugateOutput) {
    const int stages = parameters_->WidthExponent();
    const auto twiddleReal = parameters_->TwiddleRealTable();
    const auto twiddleImag = parameters_->TwiddleImagTable();
    const std::size_t n = RealPart.size();
    if (stages < 1 || n != (std::size_t{1} << stages) || ImagPart.size() != n || twiddleReal.size() < n / 2 ||
        twiddleImag.size() < n / 2) {
        throw AutomationError::Platform(ErrSubscriptOutOfRange, SourceFile);
    }
    const FftPlan& plan = parameters_->Plan();
    if (plan.Stages() == stages && (BoundedSamples() || WithinFastKernelBound(RealPart))) {
        std::feclearexcept(FloatingPointFaults);
        if (plan.Transform(RealPart, ImagPart, conjugateOutput)) {
            CheckFloatingPoint();
            return;
        }
    }
    std::fill(ImagPart.begin(), ImagPart.end(), 0.0);
    std::feclearexcept(FloatingPointFaults);
    FftReference(RealPart, ImagPart, twiddleReal, twiddleImag, stages, conjugateOutput);
    CheckFloatingPoint();
}

void File::ToPolar() {
    const bool phase = parameters_->Phase();
    if (!phase && BoundedSamples()) {
        BoundedMagnitudes(RealPart, ImagPart);
        return;
    }
    tavox::ToPolar(RealPart, ImagPart, phase);
}

// Samples of a sequence file are 16-bit; centred and weighted (weights below
// 5) they stay below 2^18, so no stage of the kernel and no square of a
// magnitude can overflow.
bool File::BoundedSamples() const noexcept {
    return data_->Format() == fftDataDiskFile;
}

}  // namespace tavox
