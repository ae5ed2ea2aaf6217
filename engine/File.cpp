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
#include "common/OrderedPipeline.h"
#include "data/Data.h"
#include "data/SpectrumFormats.h"
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

void ShapeSamples(const Parameters& parameters, std::span<double> re) {
    const bool center = parameters.Center();
    std::feclearexcept(FloatingPointFaults);
    if (!tavox::ShapeExposure(re, center, parameters.WindowWeights())) {
        tavox::ShapeExposure(re, center, parameters.Window());
    }
    CheckFloatingPoint();
}

void FftSamples(const Parameters& parameters, std::span<double> re, std::span<double> im, bool conjugateOutput,
                bool bounded) {
    const int stages = parameters.WidthExponent();
    const auto twiddleReal = parameters.TwiddleRealTable();
    const auto twiddleImag = parameters.TwiddleImagTable();
    const std::size_t n = re.size();
    if (stages < 1 || n != (std::size_t{1} << stages) || im.size() != n || twiddleReal.size() < n / 2 ||
        twiddleImag.size() < n / 2) {
        throw AutomationError::Platform(ErrSubscriptOutOfRange, SourceFile);
    }
    const FftPlan& plan = parameters.Plan();
    if (plan.Stages() == stages && (bounded || WithinFastKernelBound(re))) {
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

void PolarSamples(const Parameters& parameters, std::span<double> re, std::span<double> im, bool bounded) {
    const bool phase = parameters.Phase();
    if (!phase && bounded) {
        BoundedMagnitudes(re, im);
        return;
    }
    tavox::ToPolar(re, im, phase);
}

// Shapes a loaded exposure, transforms it and converts it to polar form; each
// step runs even after an earlier one raised, and the last error raised
// becomes `code`. `bounded`: see File::BoundedSamples.
void ComputeExposure(const Parameters& parameters, std::span<double> re, std::span<double> im, bool conjugateOutput,
                     bool bounded, std::int32_t& code) noexcept {
    Trap(code, [&] { ShapeSamples(parameters, re); });
    Trap(code, [&] { FftSamples(parameters, re, im, conjugateOutput, bounded); });
    Trap(code, [&] { PolarSamples(parameters, re, im, bounded); });
}

// Exposures on worker threads: below this many samples in all, starting
// the threads costs more than it saves.
constexpr std::uint64_t MinParallelSamples = std::uint64_t{1} << 17;
// What the working arrays of the threads and the exposures computed ahead
// may take in all, so that memory stays small however many threads are asked for.
constexpr std::size_t ParallelMemory = std::size_t{24} << 20;

// The outcome of one exposure computed ahead of its turn.
struct ExposureSlot {
    std::int32_t load = fftResultAllRight;               // what loading its samples gave
    std::int32_t transform = fftResultAllRight;          // the last error of its transform
    std::int32_t write = fftResultAllRight;              // Multi: what writing its output gave
    std::vector<double, CachedAllocator<double>> block;  // Average: its magnitudes
    std::unique_ptr<OutputFile> output;                  // Multi: its output, written and not yet named
};

// Working arrays of one worker thread.
struct ExposureWorker {
    std::vector<double, CachedAllocator<double>> re;
    std::vector<double, CachedAllocator<double>> im;
    ByteBuffer bytes;
    ByteBuffer write;
};

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
    return Transform({}, 1);
}

fftResultEnum File::Transform(const std::function<bool()>& stopRequested) {
    return Transform(stopRequested, 1);
}

fftResultEnum File::Transform(const std::function<bool()>& stopRequested, std::size_t threads) {
    if (!parameters_) throw AutomationError::Platform(ErrObjectNotSet, SourceFile);
    const auto started = std::chrono::steady_clock::now();
    struct StopScope {
        File* file;
        ~StopScope() {
            file->stopRequested_ = nullptr;
            file->threads_ = 1;
        }
    } stopScope{this};
    stopRequested_ = stopRequested ? &stopRequested : nullptr;
    threads_ = threads;
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

File::StandInResult File::TakeStandInResult() {
    return StandInResult{ResultCode, exposuresDone_, transformSeconds_, data_->TakeDeferred()};
}

fftResultEnum File::AdoptStandIn(StandInResult&& done) {
    StandInResult taken = std::move(done);
    ResultCode = taken.result;
    exposuresDone_ = taken.exposures;
    transformSeconds_ = taken.seconds;
    // Only the outputs of a Multi carry exposure numbers; its exposures end
    // with the one whose output failed, as when it names them itself.
    const std::int32_t failed = data_->CommitDeferred(std::move(taken.outputs), ResultCode);
    if (failed > 0 && failed < exposuresDone_) exposuresDone_ = failed;
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
    if (ExposuresInParallel(position, step, repeat, false)) return;

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
    if (ExposuresInParallel(position, step, repeat, true)) return;

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
    ComputeExposure(*parameters_, RealPart, ImagPart, conjugateOutput, BoundedSamples(), ResultCode);
}

// The loops of TransformAverage and TransformMulti step by step, with the
// loading and transforming of each exposure done ahead on worker threads and
// their outcomes applied here in exposure order, as those loops apply them.
bool File::ExposuresInParallel(std::int32_t position, std::int32_t step, std::int16_t repeat, bool multi) {
    const std::size_t n = RealPart.size();
    // A multi writes its outputs from the threads, which only files can take.
    const bool shared = multi ? data_->SharedAccess() : data_->SharedLoads();
    if (threads_ < 2 || repeat < 2 || !shared || n != static_cast<std::size_t>(parameters_->Width()) ||
        ImagPart.size() != n || static_cast<std::uint64_t>(repeat) * n < MinParallelSamples) {
        return false;
    }
    // An observer is told of each output with its values, on this thread.
    if (multi && data_->GetOutputOptions().observer) return false;
    // Every position must fit, as the serial loop's Advance would find.
    if (std::int64_t{position} + std::int64_t{step} * (repeat - 1) > std::numeric_limits<std::int32_t>::max()) {
        return false;
    }
    // The median keeps its spectra itself, up to twice its own limit.
    const bool median = !multi && data_->GetOutputOptions().average == AverageMode::Median;
    const std::size_t memory = median ? ParallelMemory / 3 : ParallelMemory;
    const std::size_t perThread = 18 * n + (std::size_t{64} << 10);  // re, im, bytes, write
    const std::size_t threads = std::clamp<std::size_t>(memory / 2 / perThread, 2, threads_);
    const std::size_t chunk = std::clamp<std::size_t>(32768 / n, 1, 16);
    const std::size_t perSlot = multi ? 512 : 4 * n;
    const std::size_t window = std::clamp<std::size_t>(memory / 2 / perSlot, chunk * threads, chunk * threads * 4);
    std::vector<ExposureSlot> slots;
    std::vector<ExposureWorker> workers;
    try {
        slots.resize(window);
        if (!multi) {
            for (ExposureSlot& slot : slots) slot.block.resize(n / 2);
        }
        workers.resize(threads);
        for (ExposureWorker& worker : workers) {
            worker.re.resize(n);
            worker.im.resize(n);
            worker.bytes.resize(2 * n);
            if (multi) ReserveSpectrumBuffer(worker.write);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }

    const Parameters& parameters = *parameters_;
    const Data& data = *data_;
    const bool bounded = BoundedSamples();
    OrderedPipeline pipeline(static_cast<std::size_t>(repeat), window, chunk, [&](std::size_t item, std::size_t w) {
        if (pipeline.Stopping()) return;
        ExposureWorker& worker = workers[w];
        ExposureSlot& slot = slots[item % window];
        slot.load = fftResultAllRight;
        data.LoadShared(worker.re, position + step * static_cast<std::int32_t>(item), slot.load, worker.bytes);
        slot.transform = fftResultAllRight;
        ComputeExposure(parameters, worker.re, worker.im, false, bounded, slot.transform);
        const std::span<const double> block(worker.re.data(), n / 2);
        if (!multi) {
            std::copy(block.begin(), block.end(), slot.block.begin());
            return;
        }
        slot.write = fftResultAllRight;
        slot.output.reset();
        if (slot.load == fftResultAllRight && slot.transform == fftResultAllRight) {
            slot.output = data.WriteBlock(block, static_cast<std::int16_t>(item + 1), worker.write, slot.write);
        }
    });
    // This thread is the last of them.
    if (pipeline.Start(threads - 1) == 0) return false;

    bool stored = false;
    for (std::int16_t k = 1; k <= repeat; ++k) {
        // An average of fewer exposures than asked for is not written.
        if (StopBefore(k)) return true;
        const auto item = static_cast<std::size_t>(k - 1);
        pipeline.Wait(item);
        ExposureSlot& slot = slots[item % window];
        if (slot.load != fftResultAllRight) ResultCode = slot.load;
        if (ResultCode != fftResultAllRight) {
            if (multi) return true;
            break;
        }
        ++exposuresDone_;
        if (slot.transform != fftResultAllRight) ResultCode = slot.transform;
        if (multi) {
            if (ResultCode != fftResultAllRight) return true;
            if (slot.output) {
                data_->CommitOutput(*slot.output, k, ResultCode);
            } else {
                ResultCode = slot.write;
            }
            slot.output.reset();
        } else if (k == 1) {
            data_->SaveBlock(SaveStore, slot.block, 0, ResultCode);
            if (ResultCode != fftResultAllRight) return true;
            stored = true;
        } else {
            data_->SaveBlock(SaveAdd, slot.block, 0, ResultCode);
        }
        pipeline.Release(item);
    }
    pipeline.Stop();
    if (multi || !stored) return true;
    Trap(ResultCode, [&] { data_->SaveSequence(SaveAverage, {}, 0, ResultCode); });
    Trap(ResultCode, [&] { data_->SaveSequence(SaveWrite, {}, 0, ResultCode); });
    return true;
}

// 16-bit samples, centred and weighted (weights below 5), stay below 2^18,
// so no stage of the kernel and no square of a magnitude can overflow.
bool File::BoundedSamples() const noexcept {
    return data_->BoundedSamples();
}

}  // namespace tavox
