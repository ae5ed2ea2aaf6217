#include "engine/File.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <new>
#include <span>

#include "common/AutomationError.h"
#include "common/Numeric.h"
#include "common/OrderedPipeline.h"
#include "data/AverageCombiners.h"
#include "data/Data.h"
#include "data/SpectrumFormats.h"
#include "engine/ParallelPlan.h"
#include "engine/Parameters.h"
#include "engine/SpectrumStage.h"
#include "engine/Trap.h"
#include "engine/WindowAndMethodNames.h"

namespace tavox {

// What one exposure of an Average or Multi gave, wherever it was computed.
struct ExposureOutcome {
    std::int32_t load = fftResultAllRight;       // what loading its samples gave
    std::int32_t transform = fftResultAllRight;  // the last error of its steps
    std::span<const double> magnitudes;
    // Multi on worker threads: its output was written there, and is either
    // waiting for its name or failed with `write`.
    bool written = false;
    std::int32_t write = fftResultAllRight;
    std::unique_ptr<OutputFile> output;
};

// Where the exposures of one transform come from, one after the other:
// Load gives exposure k (from 1) with its samples loaded, Compute then runs
// it through the stage (when that was not done ahead), Release gives its
// room back once its outcome is applied.
class ExposureSource {
public:
    virtual ~ExposureSource() = default;
    virtual ExposureOutcome& Load(std::int32_t k) = 0;
    virtual void Compute(ExposureOutcome& exposure) = 0;
    virtual void Release(std::int32_t) {}
    // Ends the work ahead, once the last exposure is applied.
    virtual void Stop() noexcept {}
};

namespace {

thread_local File::AllocationProbe allocationProbe = nullptr;
// A multi's outputs are numbered 001 to 999.
constexpr std::int64_t MaxMultiOutputs = 999;

// The samples of an exposure within arrays of the points transformed.
std::span<double> ExposureSamples(std::span<double> re, const SpectrumStage& stage) noexcept {
    return re.first(std::min(re.size(), stage.Width()));
}

// Where the spectra of a transform's exposures go: combined into one output
// (Average), each into an output of its own (Multi), or each as a row of
// one output (Multi with the matrix layout).
enum class ExposureOutputs { Combined, Files, Rows };

// The exposures loaded and computed on this thread, in the File's arrays.
class SerialExposures final : public ExposureSource {
public:
    SerialExposures(Data& data, const SpectrumStage& stage, std::span<double> re, std::span<double> im,
                    std::int32_t first, std::int32_t step, ExposureOutputs outputs) noexcept
        : data_(data),
          stage_(stage),
          re_(re),
          im_(im),
          first_(first),
          step_(step),
          multi_(outputs != ExposureOutputs::Combined) {}

    ExposureOutcome& Load(std::int32_t k) override {
        exposure_ = ExposureOutcome{};
        const std::int64_t position = std::int64_t{first_} + std::int64_t{step_} * (k - 1);
        if (position > std::numeric_limits<std::int32_t>::max()) {
            exposure_.load = ErrOverflow;
        } else {
            data_.LoadSequence(ExposureSamples(re_, stage_), static_cast<std::int32_t>(position), exposure_.load);
        }
        return exposure_;
    }
    void Compute(ExposureOutcome& exposure) override {
        stage_.Exposure(re_, im_, false, exposure.transform);
        const std::span<double> magnitudes = re_.first(re_.size() / 2);
        if (multi_) stage_.FinishSingle(magnitudes, {});
        exposure.magnitudes = magnitudes;
    }

private:
    Data& data_;
    const SpectrumStage& stage_;
    std::span<double> re_;
    std::span<double> im_;
    std::int32_t first_;
    std::int32_t step_;
    bool multi_;
    ExposureOutcome exposure_;
};

// The exposures loaded and computed ahead of their turn on worker threads
// (see OrderedPipeline), this thread being the last of them. A multi's
// outputs are written there too and only named in their turn.
class ThreadedExposures final : public ExposureSource {
public:
    ThreadedExposures(const Data& data, const SpectrumStage& stage, std::size_t n, std::int32_t first,
                      std::int32_t step, std::int32_t repeat, ExposureOutputs outputs,
                      const ParallelPlan& plan) noexcept
        : data_(data),
          stage_(stage),
          n_(n),
          first_(first),
          step_(step),
          repeat_(repeat),
          finish_(outputs != ExposureOutputs::Combined),
          write_(outputs == ExposureOutputs::Files),
          plan_(plan) {}

    // Allocates the slots and the threads' arrays and starts the threads;
    // false, having started none, when memory or the system refuses.
    bool Start() {
        try {
            slots_.resize(plan_.window);
            for (Slot& slot : slots_) {
                if (!write_) slot.block.resize(n_ / 2);
                slot.exposure.magnitudes = slot.block;
            }
            workers_.resize(plan_.threads);
            for (Worker& worker : workers_) {
                worker.re.resize(n_);
                worker.im.resize(n_);
                worker.bytes.resize(2 * n_);
                if (write_) ReserveSpectrumBuffer(worker.write);
            }
        } catch (const std::bad_alloc&) {
            return false;
        }
        pipeline_ = std::make_unique<OrderedPipeline>(static_cast<std::size_t>(repeat_), plan_.window, plan_.chunk,
                                                      [this](std::size_t item, std::size_t w) { Compute(item, w); });
        return pipeline_->Start(plan_.threads - 1) > 0;
    }

    ExposureOutcome& Load(std::int32_t k) override {
        const auto item = static_cast<std::size_t>(k - 1);
        pipeline_->Wait(item);
        return slots_[item % plan_.window].exposure;
    }
    void Compute(ExposureOutcome&) override {}
    void Release(std::int32_t k) override { pipeline_->Release(static_cast<std::size_t>(k - 1)); }
    void Stop() noexcept override { pipeline_->Stop(); }

private:
    struct Slot {
        ExposureOutcome exposure;
        std::vector<double, CachedAllocator<double>> block;  // the magnitudes, unless written here
    };
    struct Worker {
        std::vector<double, CachedAllocator<double>> re;
        std::vector<double, CachedAllocator<double>> im;
        ByteBuffer bytes;
        ByteBuffer write;
    };

    void Compute(std::size_t item, std::size_t w) {
        if (pipeline_->Stopping()) return;
        Worker& worker = workers_[w];
        Slot& slot = slots_[item % plan_.window];
        ExposureOutcome& exposure = slot.exposure;
        exposure.load = fftResultAllRight;
        data_.LoadShared(ExposureSamples(worker.re, stage_), first_ + step_ * static_cast<std::int32_t>(item),
                         exposure.load, worker.bytes);
        exposure.transform = fftResultAllRight;
        stage_.Exposure(worker.re, worker.im, false, exposure.transform);
        const std::span<double> magnitudes(worker.re.data(), n_ / 2);
        if (finish_) stage_.FinishSingle(magnitudes, {});
        if (!write_) {
            std::copy(magnitudes.begin(), magnitudes.end(), slot.block.begin());
            return;
        }
        exposure.written = true;
        exposure.write = fftResultAllRight;
        exposure.output.reset();
        if (exposure.load == fftResultAllRight && exposure.transform == fftResultAllRight) {
            exposure.output =
                data_.WriteBlock(magnitudes, static_cast<std::int16_t>(item + 1), worker.write, exposure.write);
        }
    }

    const Data& data_;
    const SpectrumStage& stage_;
    const std::size_t n_;
    const std::int32_t first_;
    const std::int32_t step_;
    const std::int32_t repeat_;
    const bool finish_;  // each exposure is an output of its own
    const bool write_;   // and written here
    const ParallelPlan plan_;
    std::vector<Slot> slots_;
    std::vector<Worker> workers_;
    std::unique_ptr<OrderedPipeline> pipeline_;  // last, so that it stops before the slots go
};

// How the exposures of a transform may use threads.
ParallelPlan PlanExposureThreads(const Data& data, const OutputStage& output, std::size_t threads, std::size_t n,
                                 std::int32_t position, std::int32_t step, std::int32_t repeat,
                                 ExposureOutputs outputs) {
    const bool files = outputs == ExposureOutputs::Files;
    // A multi writes its outputs from the threads, which only files can take.
    const bool shared = files ? data.SharedAccess() : data.SharedLoads();
    if (!shared) return {};
    // Every position must fit, as the loop on this thread would find.
    if (std::int64_t{position} + std::int64_t{step} * (repeat - 1) > std::numeric_limits<std::int32_t>::max()) {
        return {};
    }
    const OutputOptions& options = data.GetOutputOptions();
    ParallelWork work;
    work.items = static_cast<std::uint64_t>(std::max<std::int32_t>(repeat, 0));
    work.itemSamples = n;
    work.threadBytes = 18 * n + (std::size_t{64} << 10);  // re, im, bytes, write
    work.itemBytes = files ? 512 : 4 * n;                 // an output waiting for its name, or the magnitudes
    // An observer is told of each output with its values (the rows of a
    // matrix are told where they are written, here), and measures are kept
    // of each, on this thread.
    work.observed =
        (files && options.observer != nullptr) || (outputs != ExposureOutputs::Combined && output.Measuring());
    work.rows = outputs == ExposureOutputs::Combined && CombinerOf(options.average).KeepsRows() ? RowKeeping::ByConsumer
                                                                                                : RowKeeping::None;
    return PlanParallel(threads, work);
}

}  // namespace

File::File(std::shared_ptr<FileSystem> fileSystem) : data_(std::make_unique<Data>(std::move(fileSystem))) {}

File::~File() = default;

fftDataEnum File::DataFormat() const {
    return static_cast<fftDataEnum>(data_->Format());
}

const Variant& File::Source() const noexcept {
    return data_->GetSource();
}

const Variant& File::Target() const noexcept {
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
    exposureHop_ = 0;
    measures_ = Measures{};
    data_->Initialize(ResultCode);
    if (ResultCode == fftResultAllRight) {
        struct BufferGuard {
            File* file;
            ~BufferGuard() { file->ReleaseBuffers(); }
        } guard{this};
        // A PSD divides by the rate: that of the batch, else the one the source states.
        OutputOptions options = data_->GetOutputOptions();
        if (!options.rate) options.rate = data_->SourceRate();
        const SpectrumStage stage(*parameters_, options, BoundedSamples(), measures_);
        PrepareBuffers(stage.Points());
        data_->SetOutputStage(stage.Output());
        switch (parameters_->Method()) {
            case fftMethodSimple:
                TransformSimple(stage);
                break;
            case fftMethodAverage:
                TransformExposures(stage, false);
                break;
            case fftMethodMulti:
                TransformExposures(stage, true);
                break;
        }
    }
    data_->Terminate();
    transformSeconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return static_cast<fftResultEnum>(ResultCode);
}

void File::TakeStandInResult(StandInResult& into) {
    into.result = ResultCode;
    into.exposures = exposuresDone_;
    into.hop = exposureHop_;
    into.seconds = transformSeconds_;
    into.measures = measures_;
    data_->TakeDeferred(into.outputs);
}

fftResultEnum File::AdoptStandIn(StandInResult& done) {
    ResultCode = done.result;
    exposuresDone_ = done.exposures;
    exposureHop_ = done.hop;
    transformSeconds_ = done.seconds;
    measures_ = done.measures;
    // Only the outputs of a Multi carry exposure numbers; its exposures end
    // with the one whose output failed, as when it names them itself.
    const std::int32_t failed = data_->CommitDeferred(done.outputs, ResultCode);
    if (failed > 0 && failed < exposuresDone_) exposuresDone_ = failed;
    return static_cast<fftResultEnum>(ResultCode);
}

void File::PrepareBuffers(std::size_t points) {
    std::size_t width = points;
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
void File::LoadExposure(std::int32_t position, const SpectrumStage& stage) {
    data_->LoadSequence(ExposureSamples(RealPart, stage), position, ResultCode);
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

void File::TransformSimple(const SpectrumStage& stage) {
    std::int32_t position = 0;
    if (Trap(ResultCode, [&] { position = parameters_->StartPosition(data_->Length()); })) {
        Trap(ResultCode, [&] { LoadExposure(position, stage); });
    }
    if (ResultCode != fftResultAllRight) return;

    ++exposuresDone_;
    stage.Exposure(RealPart, ImagPart, true, ResultCode);
    const bool phase = parameters_->Phase();
    const std::span<double> phases =
        phase ? std::span<double>(ImagPart).first(ImagPart.size() / 2) : std::span<double>();
    stage.FinishSingle(std::span<double>(RealPart).first(RealPart.size() / 2), phases);
    Trap(ResultCode, [&] { data_->SaveSequence(SaveStore, RealPart, 0, ResultCode); });
    if (ResultCode != fftResultAllRight) return;

    if (phase) Trap(ResultCode, [&] { data_->SaveSequence(SaveStore, ImagPart, 0, ResultCode); });
    if (ResultCode == fftResultAllRight) Trap(ResultCode, [&] { data_->SaveSequence(SaveWrite, {}, 0, ResultCode); });
}

// Step between exposures, first position and their number; false, with the
// result code set, when they cannot be had or the exposures would not advance
// (a step of 0 gives fftResultShortFile).
bool File::PlanExposures(std::int32_t& step, std::int32_t& position, std::int32_t& repeat, bool multi) {
    const std::optional<double>& overlap = data_->GetOutputOptions().spectrum.overlap;
    if (overlap) return PlanOverlapped(*overlap, step, position, repeat, multi);
    if (!Trap(ResultCode, [&] { step = ExposureStep(); })) return false;
    if (step == 0) {
        ResultCode = fftResultShortFile;
        return false;
    }
    return Trap(ResultCode, [&] {
        position = parameters_->StartPosition(data_->Length());
        repeat = parameters_->Repeat();
    });
}

// Welch's placement: from the start of the range, a hop of
// round(N (1 - overlap/100)) apart, as many as fit up to its finish; the
// repeat count caps them when asked, and a multi names at most 999.
bool File::PlanOverlapped(double overlap, std::int32_t& step, std::int32_t& position, std::int32_t& repeat,
                          bool multi) {
    std::int64_t start = 0;
    std::int64_t finish = 0;
    if (!Trap(ResultCode, [&] {
            const std::int32_t length = data_->Length();
            start = parameters_->StartPosition(length);
            finish = parameters_->FinishPosition(length);
        })) {
        return false;
    }
    const std::int64_t width = parameters_->Width();
    const double hop = RoundHalfEven(static_cast<double>(width) * (1 - overlap / 100));
    step = static_cast<std::int32_t>(std::clamp<double>(hop, 1, static_cast<double>(width)));
    const std::int64_t span = finish - start + 1;
    std::int64_t count = span < width ? 0 : (span - width) / step + 1;
    if (data_->GetOutputOptions().spectrum.repeatCaps) count = std::min<std::int64_t>(count, parameters_->Repeat());
    if (multi) count = std::min<std::int64_t>(count, MaxMultiOutputs);
    if (count < 1) {
        ResultCode = fftResultShortFile;
        return false;
    }
    position = static_cast<std::int32_t>(start);
    repeat = static_cast<std::int32_t>(std::min<std::int64_t>(count, std::numeric_limits<std::int32_t>::max()));
    return true;
}

bool File::StopBefore(std::int32_t k) {
    if (k <= 1 || stopRequested_ == nullptr) return false;
    bool stop = false;
    Trap(ResultCode, [&] { stop = (*stopRequested_)(); });
    if (stop) ResultCode = fftResultRepeatFail;
    return stop;
}

void File::TransformExposures(const SpectrumStage& stage, bool multi) {
    std::int32_t step = 0;
    std::int32_t position = 0;
    std::int32_t repeat = 0;
    if (!PlanExposures(step, position, repeat, multi)) return;
    exposureHop_ = step;
    const ExposureOutputs outputs = !multi                  ? ExposureOutputs::Combined
                                    : data_->WritesMatrix() ? ExposureOutputs::Rows
                                                            : ExposureOutputs::Files;
    if (multi) {
        const ExposureSeries series{
            position, step, repeat, parameters_->Width(), NamesOf(parameters_->Window()).name, parameters_->Center()};
        data_->BeginSeries(series, ResultCode);
        if (ResultCode != fftResultAllRight) return;
    }
    const auto run = [&] {
        const std::size_t n = RealPart.size();
        // Arrays that an allocation failure cut short keep the exposures on this thread.
        if (n == stage.Points() && ImagPart.size() == n) {
            const ParallelPlan plan =
                PlanExposureThreads(*data_, stage.Output(), threads_, n, position, step, repeat, outputs);
            if (plan.Parallel()) {
                ThreadedExposures threaded(*data_, stage, n, position, step, repeat, outputs, plan);
                if (threaded.Start()) {
                    RunExposures(threaded, repeat, multi);
                    return;
                }
            }
        }
        SerialExposures serial(*data_, stage, RealPart, ImagPart, position, step, outputs);
        RunExposures(serial, repeat, multi);
    };
    run();
    if (multi) data_->EndSeries(ResultCode == fftResultAllRight && exposuresDone_ == repeat, ResultCode);
}

void File::RunExposures(ExposureSource& exposures, std::int32_t repeat, bool multi) {
    bool stored = false;
    for (std::int32_t k = 1; k <= repeat; ++k) {
        // An average of fewer exposures than asked for is not written.
        if (StopBefore(k)) return;
        ExposureOutcome& exposure = exposures.Load(k);
        if (exposure.load != fftResultAllRight) ResultCode = exposure.load;
        if (ResultCode != fftResultAllRight) {
            if (multi) return;
            break;
        }
        ++exposuresDone_;
        exposures.Compute(exposure);
        if (exposure.transform != fftResultAllRight) ResultCode = exposure.transform;
        if (multi) {
            if (ResultCode != fftResultAllRight) return;
            const auto number = static_cast<std::int16_t>(k);  // a multi has at most 999
            if (!exposure.written) {
                data_->SaveBlock(SaveStore, exposure.magnitudes, number, ResultCode);
                if (ResultCode != fftResultAllRight) return;
                Trap(ResultCode, [&] { data_->SaveSequence(SaveWrite, {}, number, ResultCode); });
            } else if (exposure.output) {
                data_->CommitOutput(*exposure.output, number, ResultCode);
                exposure.output.reset();
            } else {
                ResultCode = exposure.write;
            }
        } else if (k == 1) {
            data_->SaveBlock(SaveStore, exposure.magnitudes, 0, ResultCode);
            if (ResultCode != fftResultAllRight) return;
            stored = true;
        } else {
            data_->SaveBlock(SaveAdd, exposure.magnitudes, 0, ResultCode);
        }
        exposures.Release(k);
    }
    exposures.Stop();
    // Writing with nothing stored would replace an existing output with an
    // empty file while the transform reports a failure anyway.
    if (multi || !stored) return;
    Trap(ResultCode, [&] { data_->SaveSequence(SaveAverage, {}, 0, ResultCode); });
    Trap(ResultCode, [&] { data_->SaveSequence(SaveWrite, {}, 0, ResultCode); });
}

// 16-bit samples, centred and weighted (weights below 5), stay below 2^18,
// so no stage of the kernel and no square of a magnitude can overflow. The
// channel asks its source whether its samples are such.
bool File::BoundedSamples() const noexcept {
    return data_->BoundedSamples();
}

}  // namespace tavox
