#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/ParallelPlan.h"

namespace tavox {

class File;
class Files;
class FileSystem;
class OrderedPipeline;
class Parameters;

// Transforms the disk files of a batch ahead of their turn on worker
// threads, while the batch's own thread takes the files in order. A worker
// transforms a stand-in for the file (see File::StandInResult) with a copy of
// the parameters, so that it shares nothing with the batch's thread, and
// leaves the outputs under their hidden names; the batch's thread names them
// when the file's turn comes (File::AdoptStandIn). A result that may no
// longer hold by then (the parameters, the file's settings, or, through an
// output named since, its source changed) is dropped and the file
// transformed again in its turn. Other files (spreadsheet ranges) are
// transformed in their turn only. At most a window of files is in flight.
class FilesAhead {
public:
    // Prepares a batch over the files of a run of `files` (Files::BeginRun)
    // on `threads` threads, this one included; starts the others when the
    // batch is worth it (Active). `stopRequested`, when set, is asked between
    // exposures on any of them.
    FilesAhead(Files& files, const Parameters& parameters, const std::shared_ptr<FileSystem>& fileSystem,
               std::size_t threads, std::function<bool()> stopRequested);
    // Stop.
    ~FilesAhead();
    FilesAhead(const FilesAhead&) = delete;
    FilesAhead& operator=(const FilesAhead&) = delete;

    // True while workers run for this batch.
    bool Active() const noexcept { return pipeline_ != nullptr; }
    // The transform of file `index`, which `file` stands for (Files::ForRun),
    // in its turn: the files are asked for in order, each once, without gaps.
    std::int32_t Transform(std::size_t index, File& file);
    // Ends the workers and removes the outputs of files transformed ahead
    // and not asked for.
    void Stop() noexcept;
    // Files the worker threads (not the batch's thread) have transformed, in
    // all batches of this process so far; lets a test see work done ahead.
    static std::uint64_t TransformedOnWorkers() noexcept;

private:
    struct Slot;
    struct Worker;

    // The files transformed ahead, for PlanParallel.
    static ParallelWork Work(const Files& files, const Parameters& parameters);
    void Prepare(std::size_t index);
    void Compute(std::size_t index, std::size_t worker);
    bool StillHolds(const Slot& slot, File& file) const;

    Files& files_;
    const Parameters& parameters_;
    std::function<bool()> stopRequested_;
    std::function<bool()> workerStop_;
    std::shared_ptr<Parameters> copy_;  // what the prepared slots use
    std::vector<Slot> slots_;
    std::vector<Worker> workers_;
    std::size_t window_ = 0;
    std::string path_;  // reused for the sources of files without a File
    std::unique_ptr<OrderedPipeline> pipeline_;
};

}  // namespace tavox
