#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/Enums.h"
#include "common/Object.h"

namespace tavox {

class ApplicationEvents;
class FileSystem;
class Files;
class Parameters;

// Root of the object model: owns one Parameters and one Files collection,
// runs the batch over the collection and reports it through events.
// Create it with Application::Create (events and the progress window need a
// shared reference to it).
class Application : public Object, public std::enable_shared_from_this<Application> {
public:
    static std::shared_ptr<Application> Create(std::shared_ptr<FileSystem> fileSystem = nullptr);
    ~Application() override;

    std::shared_ptr<Files> FFTFiles() const noexcept { return objFiles; }
    std::shared_ptr<Parameters> FFTParameters() const noexcept { return objParameters; }
    // Requests a stop before the next file of the current run.
    void BreakFFT() noexcept { blnBreak = true; }
    // Parses a command line, sets Parameters, adds one disk entry and runs
    // FFTExecute. Raises 1001/1002 (source "TAVOX.Application"), conversion
    // errors, and the errors of Files.Add and FFTExecute. Never clears Files.
    void FFTCommand(const std::string& CommandLine);
    // Same, with the fields already cut (the executable's arguments).
    void FFTCommandFields(const std::vector<std::string>& fields);
    // Runs the batch: WillExecute, then per file the event pump, the break
    // test, Transform (which the host's stopRequested may cut short, see
    // File::Transform) and FileComplete; then ExecuteComplete. An error (of a
    // transform or a handler) ends the run without ExecuteComplete.
    // FFTExecute and FFTCommand called while a run is in progress (from the
    // pump or a handler) raise ErrInvalidCall and change nothing.
    // With more than one job, disk files (or the exposures of a lone file)
    // are transformed on worker threads ahead of their turn, and the outputs
    // of each file are named in its turn: events, results and outputs are
    // those of a run on one thread, and a break leaves outputs of exactly
    // the files reported. Handlers, the pump and spreadsheet ranges stay on
    // the calling thread; the host's stopRequested may be asked on any
    // thread. A source that a handler changes on disk may already have been
    // read.
    void FFTExecute();

    // Threads a batch may use: 1 runs it on the calling thread alone; 0 (the
    // default) stands for DefaultJobs() (TAVOX_JOBS, else the CPUs this
    // process may use). Raises ErrInvalidCall outside 0..MaxJobs.
    std::int32_t Jobs() const noexcept { return jobs_; }
    void SetJobs(std::int32_t value);

    // Event subscription; a sink may subscribe once. Events go to the sinks
    // subscribed when the event is raised, in order of subscription; a handler
    // may subscribe or unsubscribe.
    void Subscribe(std::shared_ptr<ApplicationEvents> sink);
    void Unsubscribe(const std::shared_ptr<ApplicationEvents>& sink);

    bool BreakRequested() const noexcept { return blnBreak; }
    bool IsRunning() const noexcept { return running_; }

private:
    explicit Application(std::shared_ptr<FileSystem> fileSystem);
    void ThrowIfRunning() const;

    std::shared_ptr<Parameters> objParameters;
    std::shared_ptr<Files> objFiles;
    std::shared_ptr<FileSystem> fileSystem_;
    std::int32_t jobs_ = 0;
    bool blnBreak = false;
    bool running_ = false;
    std::vector<std::shared_ptr<ApplicationEvents>> sinks_;
};

}  // namespace tavox
