#include "app/Application.h"

#include <algorithm>
#include <utility>

#include "app/ApplicationEvents.h"
#include "app/CommandLine.h"
#include "app/Files.h"
#include "app/FilesAhead.h"
#include "app/Jobs.h"
#include "app/MainModule.h"
#include "common/AutomationError.h"
#include "data/FileSystem.h"
#include "engine/File.h"
#include "engine/Parameters.h"

namespace tavox {

namespace {

// A run of the collection for the lifetime of the guard (Files::BeginRun).
class RunScope {
public:
    explicit RunScope(Files& files) noexcept : files_(files) { files_.BeginRun(); }
    ~RunScope() { files_.EndRun(); }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

private:
    Files& files_;
};

// The file system holds the folders it opens for the lifetime of the guard.
class FolderHold {
public:
    explicit FolderHold(FileSystem& fileSystem) : fileSystem_(fileSystem) { fileSystem_.HoldFolders(); }
    ~FolderHold() { fileSystem_.ReleaseFolders(); }
    FolderHold(const FolderHold&) = delete;
    FolderHold& operator=(const FolderHold&) = delete;

private:
    FileSystem& fileSystem_;
};

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
    fileSystem_ = fileSystem;
    objParameters = std::make_shared<Parameters>();
    objFiles = std::make_shared<Files>(std::move(fileSystem));
    objFiles->SetParameters(objParameters);
}

void Application::SetJobs(std::int32_t value) {
    if (!ValidJobs(value)) throw AutomationError::Platform(ErrInvalidCall, SourceApplication);
    jobs_ = value;
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

    // Events go to the sinks subscribed when each is raised; the copy keeps
    // its storage from file to file.
    std::vector<std::shared_ptr<ApplicationEvents>> sinks(sinks_);
    std::int16_t Cancel = 0;
    for (const auto& sink : sinks) sink->WillExecute(Cancel);
    blnBreak = (Cancel == -1);

    Files& files = *objFiles;
    RunScope run(files);
    const FolderHold folders(*fileSystem_);
    const std::size_t count = files.RunCount();
    const std::size_t threads =
        blnBreak || count == 0 ? 1 : static_cast<std::size_t>(jobs_ > 0 ? jobs_ : DefaultJobs());
    FilesAhead ahead(files, *objParameters, fileSystem_, threads, hooks.stopRequested);
    // The File of every file that has none; a handler that keeps it makes it that file's own.
    std::shared_ptr<File> spare;
    for (std::size_t i = 0; i < count; ++i) {
        if (hooks.pumpEvents) hooks.pumpEvents();
        if (blnBreak) break;
        std::shared_ptr<File> file = files.ForRun(i, spare);
        const std::int32_t Result =
            ahead.Active() ? ahead.Transform(i, *file) : file->Transform(hooks.stopRequested, threads);
        sinks.assign(sinks_.begin(), sinks_.end());
        for (const auto& sink : sinks) {
            std::shared_ptr<File> fileArgument = file;
            std::int32_t resultArgument = Result;
            sink->FileComplete(fileArgument, resultArgument);
        }
        if (file == spare) {
            file.reset();
            if (spare.use_count() > 1) files.Hold(i, std::move(spare));
        }
    }
    ahead.Stop();

    sinks.assign(sinks_.begin(), sinks_.end());
    for (const auto& sink : sinks) sink->ExecuteComplete();
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
