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
    void FFTExecute();

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
    bool blnBreak = false;
    bool running_ = false;
    std::vector<std::shared_ptr<ApplicationEvents>> sinks_;
};

}  // namespace tavox
