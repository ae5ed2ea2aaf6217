#include "app/Application.h"

#include <algorithm>
#include <utility>

#include "app/ApplicationEvents.h"
#include "app/CommandLine.h"
#include "app/MainModule.h"
#include "common/AutomationError.h"
#include "data/FileSystem.h"
#include "data/Files.h"
#include "engine/File.h"
#include "engine/Parameters.h"

namespace tavox {

namespace {

// Marks the object as running for the lifetime of the guard.
class RunningGuard {
public:
    explicit RunningGuard(bool& flag) noexcept : flag_(flag) { flag_ = true; }
    ~RunningGuard() { flag_ = false; }
    RunningGuard(const RunningGuard&) = delete;
    RunningGuard& operator=(const RunningGuard&) = delete;

private:
    bool& flag_;
};

}  // namespace

std::shared_ptr<Application> Application::Create(std::shared_ptr<FileSystem> fileSystem) {
    // The constructor is private; a local subclass lets make_shared reach it.
    struct Constructible : Application {
        explicit Constructible(std::shared_ptr<FileSystem> fs) : Application(std::move(fs)) {}
    };
    return std::make_shared<Constructible>(std::move(fileSystem));
}

Application::Application(std::shared_ptr<FileSystem> fileSystem) {
    if (!fileSystem) fileSystem = DefaultFileSystem();
    objParameters = std::make_shared<Parameters>();
    objFiles = std::make_shared<Files>(std::move(fileSystem));
    objFiles->SetParameters(objParameters);
}

Application::~Application() {
    objFiles.reset();
    objParameters.reset();
}

void Application::Subscribe(std::shared_ptr<ApplicationEvents> sink) {
    if (!sink || std::find(sinks_.begin(), sinks_.end(), sink) != sinks_.end()) return;
    sinks_.push_back(std::move(sink));
}

void Application::Unsubscribe(const std::shared_ptr<ApplicationEvents>& sink) {
    sinks_.erase(std::remove(sinks_.begin(), sinks_.end(), sink), sinks_.end());
}

void Application::ThrowIfRunning() const {
    if (running_) throw AutomationError::Platform(ErrInvalidCall, SourceApplication);
}

void Application::FFTExecute() {
    ThrowIfRunning();
    RunningGuard guard(running_);
    const HostHooks hooks = CurrentHostHooks();

    if (IsStandalone() && hooks.openProgressWindow) hooks.openProgressWindow(shared_from_this());

    std::int16_t Cancel = 0;
    for (const auto& sink : std::vector(sinks_)) sink->WillExecute(Cancel);
    blnBreak = (Cancel == -1);

    for (const std::shared_ptr<File>& file : objFiles->Items()) {
        if (hooks.pumpEvents) hooks.pumpEvents();
        if (blnBreak) break;
        const std::int32_t Result = file->Transform(hooks.stopRequested);
        for (const auto& sink : std::vector(sinks_)) {
            std::shared_ptr<File> fileArgument = file;
            std::int32_t resultArgument = Result;
            sink->FileComplete(fileArgument, resultArgument);
        }
    }

    for (const auto& sink : std::vector(sinks_)) sink->ExecuteComplete();
}

void Application::FFTCommand(const std::string& CommandLine) {
    FFTCommandFields(SplitCommandLine(CommandLine));
}

void Application::FFTCommandFields(const std::vector<std::string>& fields) {
    ThrowIfRunning();
    ApplyCommandLineFields(fields, *objParameters, *objFiles);
    FFTExecute();
}

}  // namespace tavox
