#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/Enums.h"
#include "common/Object.h"
#include "common/Variant.h"
#include "data/BlockCache.h"
#include "data/DeferredOutputs.h"
#include "data/OutputStage.h"

namespace tavox {

class Data;
class ExposureSource;
class FileSystem;
class Parameters;
class SpectrumStage;

// One source and one target (a disk file pair or a pair of spreadsheet
// ranges) with the data channel that reads and writes them. Created by Files.
class File : public Object {
public:
    explicit File(std::shared_ptr<FileSystem> fileSystem);
    ~File() override;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Public members.
    fftDataEnum DataFormat() const;
    const std::string& Name() const noexcept { return name_; }
    const Variant& Source() const noexcept;
    const Variant& Target() const noexcept;
    // Runs the method chosen in Parameters over the source and returns the
    // result code. Per-file failures come back as codes: an error raised inside
    // a method leaves its number (6 for a floating-point fault, 7 for out of
    // memory, ErrInternal for an error without a number). Only errors outside
    // the methods are raised.
    fftResultEnum Transform();
    // The same; an Average or Multi transform also asks `stopRequested` (when
    // set) before each exposure after the first, and once it answers true
    // ends with fftResultRepeatFail: an Average then writes nothing, a Multi
    // keeps the outputs of the exposures it completed.
    fftResultEnum Transform(const std::function<bool()>& stopRequested);
    // The same; with `threads` above 1, the exposures of a long Average (of a
    // disk source or samples in memory) or Multi (of a disk source) are
    // computed on that many worker threads (the
    // sums still taken in exposure order, the outputs still named in it), with
    // the same outputs and result. `stopRequested` is asked on this thread.
    fftResultEnum Transform(const std::function<bool()>& stopRequested, std::size_t threads);

    // What a transform of a stand-in gave: a File outside any collection over
    // the same source and target, with a copy of the parameters and with
    // deferred outputs (Data::SetDeferredOutputs), run on another thread.
    struct StandInResult {
        std::int32_t result = fftResultAllRight;
        std::int32_t exposures = 0;
        std::int32_t hop = 0;
        double seconds = 0.0;
        Measures measures;
        DeferredOutputs outputs;
    };
    // Called on the stand-in after its Transform; the list of outputs of
    // `into`, emptied, lends its room to the stand-in's next outputs.
    void TakeStandInResult(StandInResult& into);
    // Ends this File as if it had run that transform itself: gives the
    // outputs their names in order (the first that fails sets the result and,
    // for a Multi, ends the exposures counted there) and takes the result,
    // the exposures and the time; the list of outputs of `done` is left
    // empty. Returns the result.
    fftResultEnum AdoptStandIn(StandInResult& done);
    // What the last Transform did: the exposures it transformed and the
    // wall-clock seconds it took.
    std::int32_t ExposuresDone() const noexcept { return exposuresDone_; }
    // The samples from the start of one exposure of an Average or Multi to
    // the next (0 for the Simple method or when none was placed).
    std::int32_t ExposureHop() const noexcept { return exposureHop_; }
    double TransformSeconds() const noexcept { return transformSeconds_; }
    // What the spectrum stage measured of the last output the last Transform
    // wrote (none unless a measurement was asked for).
    const Measures& LastMeasures() const noexcept { return measures_; }

    // Friend operations of Files.
    Data& GetData() noexcept { return *data_; }
    void SetFormat(std::int32_t kind);
    void SetParameters(std::shared_ptr<const Parameters> parameters) { parameters_ = std::move(parameters); }
    // The settings the transforms read; shared by every File of one Files.
    const std::shared_ptr<const Parameters>& GetParameters() const noexcept { return parameters_; }
    void SetName(std::string_view name) { name_.assign(name); }

    // Allocation seam for tests: called before each working-array allocation
    // with the element count; returning false makes that allocation fail as
    // out of memory.
    using AllocationProbe = bool (*)(std::size_t elements);
    static void SetAllocationProbe(AllocationProbe probe) noexcept;

private:
    // Working arrays of `points` values each.
    void PrepareBuffers(std::size_t points);
    void ReleaseBuffers() noexcept;
    void LoadExposure(std::int32_t position, const SpectrumStage& stage);
    std::int32_t ExposureStep();
    bool PlanExposures(std::int32_t& step, std::int32_t& position, std::int32_t& repeat, bool multi);
    bool PlanOverlapped(double overlap, std::int32_t& step, std::int32_t& position, std::int32_t& repeat, bool multi);
    // True, with the result code set, when the transform is to stop before exposure k.
    bool StopBefore(std::int32_t k);
    void TransformSimple(const SpectrumStage& stage);
    // The exposures of an Average or Multi, on this thread or, when the plan
    // allows it, computed ahead on worker threads; either way their outcomes
    // are applied here in exposure order.
    void TransformExposures(const SpectrumStage& stage, bool multi);
    void RunExposures(ExposureSource& exposures, std::int32_t repeat, bool multi);
    bool BoundedSamples() const noexcept;

    std::unique_ptr<Data> data_;
    std::shared_ptr<const Parameters> parameters_;
    // Drawn from the BlockCache: a batch reuses the same memory for every file.
    std::vector<double, CachedAllocator<double>> RealPart;
    std::vector<double, CachedAllocator<double>> ImagPart;
    std::int32_t ResultCode = fftResultAllRight;
    std::int32_t exposuresDone_ = 0;
    std::int32_t exposureHop_ = 0;
    double transformSeconds_ = 0.0;
    Measures measures_;
    std::string name_;
    const std::function<bool()>* stopRequested_ = nullptr;  // during a Transform only
    std::size_t threads_ = 1;                               // during a Transform only
};

}  // namespace tavox
