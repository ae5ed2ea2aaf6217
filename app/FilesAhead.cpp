#include "app/FilesAhead.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <optional>

#include "app/Files.h"
#include "common/Enums.h"
#include "common/InputOptions.h"
#include "common/OrderedPipeline.h"
#include "common/OutputOptions.h"
#include "common/Variant.h"
#include "data/AverageCombiners.h"
#include "data/Data.h"
#include "data/FileSystem.h"
#include "data/NameChanges.h"
#include "engine/File.h"
#include "engine/Parameters.h"

namespace tavox {
namespace {

std::atomic<std::uint64_t> transformedOnWorkers{0};

std::uint64_t SamplesPerFile(const Parameters& parameters) {
    const std::uint64_t exposures = parameters.Method() == fftMethodSimple ? 1 : parameters.Repeat();
    return exposures * static_cast<std::uint64_t>(parameters.Width());
}

}  // namespace

// Written by the batch's thread before a worker may take the file (Prepare),
// then by that worker, then read by the batch's thread in the file's turn.
struct FilesAhead::Slot {
    bool ahead = false;  // a disk file, prepared for a worker
    Variant source;
    Variant target;
    OutputOptions options;
    InputOptions input;
    std::shared_ptr<Parameters> parameters;
    bool done = false;       // the worker's transform ran
    std::uint64_t mark = 0;  // NameChanges before the source was opened
    File::StandInResult result;
};

struct FilesAhead::Worker {
    std::shared_ptr<File> standIn;
};

FilesAhead::FilesAhead(Files& files, const Parameters& parameters, const std::shared_ptr<FileSystem>& fileSystem,
                       std::size_t threads, std::function<bool()> stopRequested)
    : files_(files), parameters_(parameters), stopRequested_(std::move(stopRequested)) {
    if (!fileSystem || !fileSystem->ConcurrentUse()) return;
    const ParallelPlan plan = PlanParallel(threads, Work(files, parameters));
    if (!plan.Parallel()) return;
    try {
        window_ = plan.window;
        slots_.resize(window_);
        workers_.resize(plan.threads);
        for (Worker& worker : workers_) {
            worker.standIn = std::make_shared<File>(fileSystem);
            worker.standIn->GetData().SetDeferredOutputs(true);
        }
        copy_ = std::make_shared<Parameters>(parameters);
        for (std::size_t i = 0; i < std::min(window_, files.RunCount()); ++i) Prepare(i);
        workerStop_ = [this] { return pipeline_->Stopping() || (stopRequested_ && stopRequested_()); };
        pipeline_ = std::make_unique<OrderedPipeline>(files.RunCount(), window_, plan.chunk,
                                                      [this](std::size_t item, std::size_t w) { Compute(item, w); });
    } catch (const std::bad_alloc&) {
        pipeline_.reset();
        return;
    }
    // This thread is the last of them.
    if (pipeline_->Start(plan.threads - 1) == 0) pipeline_.reset();
}

FilesAhead::~FilesAhead() {
    Stop();
}

ParallelWork FilesAhead::Work(const Files& files, const Parameters& parameters) {
    ParallelWork work;
    work.itemSamples = SamplesPerFile(parameters);
    // A stand-in File: its two arrays, its read and write buffers and the values it holds.
    work.threadBytes = 22 * static_cast<std::size_t>(parameters.Width()) + (std::size_t{64} << 10);
    work.itemBytes = sizeof(Slot);
    work.fixedCost = true;
    for (std::size_t i = 0; i < files.RunCount(); ++i) {
        const std::shared_ptr<File>& file = files.HeldAt(i);
        if (file ? file->DataFormat() != fftDataDiskFile : !files.IsDiskAt(i)) continue;
        const OutputOptions& options = file ? file->GetData().GetOutputOptions() : files.GetOutputOptions();
        // An observer is told of each output with its values, on this
        // thread, as the output is written.
        if (options.observer) work.observed = true;
        // A combiner that keeps every spectrum of an average: one per thread
        // would multiply the memory it may take.
        if (parameters.Method() == fftMethodAverage && CombinerOf(options.average).KeepsRows()) {
            work.rows = RowKeeping::ByEachItem;
        }
        ++work.items;
    }
    return work;
}

void FilesAhead::Prepare(std::size_t index) {
    Slot& slot = slots_[index % window_];
    slot.ahead = false;
    slot.done = false;
    slot.result.outputs.outputs.clear();
    const std::shared_ptr<File>& file = files_.HeldAt(index);
    if (file ? file->DataFormat() != fftDataDiskFile : !files_.IsDiskAt(index)) return;
    try {
        if (copy_->Version() != parameters_.Version()) copy_ = std::make_shared<Parameters>(parameters_);
        if (file) {
            slot.source = file->Source();
            slot.target = file->Target();
            slot.options = file->GetData().GetOutputOptions();
            slot.input = file->GetData().GetInputOptions();
        } else {
            files_.SourcePathAt(index, path_);
            slot.source.AssignText(path_);
            slot.target = files_.MaskAt(index);
            slot.options = files_.GetOutputOptions();
            slot.input = files_.InputAt(index);
        }
        slot.parameters = copy_;
        slot.ahead = true;
    } catch (const std::bad_alloc&) {
    }
}

void FilesAhead::Compute(std::size_t index, std::size_t worker) {
    Slot& slot = slots_[index % window_];
    if (!slot.ahead || pipeline_->Stopping()) return;
    File& standIn = *workers_[worker].standIn;
    standIn.SetParameters(slot.parameters);
    Data& data = standIn.GetData();
    data.SetOutputOptions(slot.options);
    data.SetInputOptions(slot.input);
    data.SetSource(slot.source);
    data.SetTarget(slot.target);
    slot.mark = NameChanges::Mark();
    standIn.Transform(workerStop_);
    standIn.TakeStandInResult(slot.result);
    slot.done = true;
    // The batch's thread computes as the last worker.
    if (worker + 1 < workers_.size()) transformedOnWorkers.fetch_add(1, std::memory_order_relaxed);
}

bool FilesAhead::StillHolds(const Slot& slot, File& file) const {
    const DeferredOutputs& outputs = slot.result.outputs;
    return file.DataFormat() == fftDataDiskFile && slot.parameters->Version() == parameters_.Version() &&
           file.Source() == slot.source && file.Target() == slot.target &&
           file.GetData().GetOutputOptions() == slot.options && file.GetData().GetInputOptions() == slot.input &&
           !NameChanges::ChangedSince(slot.mark, outputs.opened ? outputs.source : std::nullopt);
}

std::int32_t FilesAhead::Transform(std::size_t index, File& file) {
    if (!pipeline_) return file.Transform(stopRequested_);
    pipeline_->Wait(index);
    Slot& slot = slots_[index % window_];
    std::int32_t result = 0;
    if (slot.ahead && slot.done && StillHolds(slot, file)) {
        result = file.AdoptStandIn(slot.result);
    } else {
        slot.result.outputs.outputs.clear();
        result = file.Transform(stopRequested_);
    }
    if (index + window_ < files_.RunCount()) Prepare(index + window_);
    pipeline_->Release(index);
    return result;
}

std::uint64_t FilesAhead::TransformedOnWorkers() noexcept {
    return transformedOnWorkers.load(std::memory_order_relaxed);
}

void FilesAhead::Stop() noexcept {
    if (!pipeline_) return;
    pipeline_->Stop();
    // Outputs written ahead and never named are removed.
    for (Slot& slot : slots_) slot.result = {};
    pipeline_.reset();
}

}  // namespace tavox
