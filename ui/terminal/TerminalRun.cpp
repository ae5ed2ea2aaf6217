#include "ui/terminal/TerminalRun.h"

#include <atomic>
#include <csignal>
#include <memory>
#include <ostream>
#include <string>

#include "app/Application.h"
#include "app/BatchSettings.h"
#include "app/CommandRun.h"
#include "app/MainModule.h"
#include "ui/cli/BatchReport.h"
#include "ui/terminal/ReplacedSources.h"
#include "ui/terminal/SourceProblems.h"
#include "ui/terminal/StandardOutput.h"
#include "ui/terminal/TerminalProgress.h"

namespace tavox {

namespace {

constexpr int StopSignals[] = {SIGINT, SIGTERM};

// Read by worker threads too (between the exposures of a file).
std::atomic<int> interruptRequested{0};
static_assert(std::atomic<int>::is_always_lock_free);
// Whether the handler is installed for SIGINT and SIGTERM.
volatile std::sig_atomic_t handlerInstalled[2] = {0, 0};

// The first interrupt or termination request becomes a break; both signals
// then get their default action back, so that a second one ends the process
// at once, and the result lines buffered so far are written out before that
// can happen. Only async-signal-safe calls here.
extern "C" void OnStopSignal(int) {
    interruptRequested.store(1);
    for (std::size_t i = 0; i < 2; ++i) {
        if (handlerInstalled[i] == 0) continue;
        struct sigaction action {};
        action.sa_handler = SIG_DFL;
        sigemptyset(&action.sa_mask);
        sigaction(StopSignals[i], &action, nullptr);
        handlerInstalled[i] = 0;
    }
    StandardOutputBuffer::WriteOutFromSignal();
}

// Turns the first SIGINT or SIGTERM of a run into a break request once the
// batch starts: the file in progress completes and no further file starts.
// Before that (while the inputs are listed, maybe a great many) nothing is
// written yet, and the signals keep their default action, which ends the
// process at once.
class InterruptAsBreak {
public:
    InterruptAsBreak() = default;
    void Install() {
        if (installed_) return;
        installed_ = true;
        interruptRequested.store(0);
        for (std::size_t i = 0; i < 2; ++i) {
            struct sigaction action {};
            action.sa_handler = OnStopSignal;
            sigemptyset(&action.sa_mask);
            for (int other : StopSignals) sigaddset(&action.sa_mask, other);
            // Reads and writes in progress resume after the handler.
            action.sa_flags = SA_RESTART;
            if (sigaction(StopSignals[i], &action, &previous_[i]) != 0) continue;
            // A program started with the signal ignored (a background job) keeps ignoring it.
            if (previous_[i].sa_handler == SIG_IGN) {
                sigaction(StopSignals[i], &previous_[i], nullptr);
                continue;
            }
            saved_[i] = true;
            handlerInstalled[i] = 1;
        }
    }
    ~InterruptAsBreak() {
        for (std::size_t i = 0; i < 2; ++i) {
            handlerInstalled[i] = 0;
            if (saved_[i]) sigaction(StopSignals[i], &previous_[i], nullptr);
        }
    }
    InterruptAsBreak(const InterruptAsBreak&) = delete;
    InterruptAsBreak& operator=(const InterruptAsBreak&) = delete;

    bool Requested() const noexcept { return installed_ && interruptRequested.load() != 0; }

private:
    struct sigaction previous_[2]{};
    bool saved_[2] = {false, false};
    bool installed_ = false;
};

// Removes the hooks that refer to this run's locals, also on an error.
class HooksScope {
public:
    explicit HooksScope(HostHooks hooks) { InstallHostHooks(std::move(hooks)); }
    ~HooksScope() { InstallHostHooks({}); }
    HooksScope(const HooksScope&) = delete;
    HooksScope& operator=(const HooksScope&) = delete;
};

}  // namespace

void WriteHelp(std::ostream& stream) {
    stream << CommandLineHelpTitle << "\n\n" << CommandLineHelpText("\n") << '\n' << std::flush;
}

int RunCommandLine(const std::vector<std::string>& fields, const BatchSettings& settings, std::ostream& out,
                   std::ostream& err, bool liveProgress, bool flushEachLine, const std::shared_ptr<PlotWriter>& plots) {
    InterruptAsBreak interrupt;
    const bool reportOut = settings.report && *settings.report == "-";
    const ResultLines lines = reportOut || settings.quiet ? ResultLines::None : ResultLines::All;
    liveProgress = liveProgress && !settings.quiet;
    std::shared_ptr<TerminalProgress> progress;
    std::weak_ptr<Application> running;
    std::atomic<bool> cutShort{false};  // a stop signal ended a file's exposures early
    // Asked on worker threads too.
    const auto stopRequested = [&interrupt, &cutShort] {
        if (!interrupt.Requested()) return false;
        cutShort.store(true);
        return true;
    };
    HooksScope hooks(HostHooks{
        [&interrupt, &progress, &running] {
            if (!interrupt.Requested()) return;
            if (progress) progress->Flush();
            if (const auto app = running.lock()) app->BreakFFT();
        },
        [&](const std::shared_ptr<Application>& app) {
            running = app;
            interrupt.Install();
            progress = std::make_shared<TerminalProgress>(out, err, liveProgress, lines, flushEachLine);
            progress->Attach(app);
            std::make_shared<ReplacedSources>(err, stopRequested)->Attach(app);
            std::make_shared<SourceProblems>(err)->Attach(app);
        },
        stopRequested,
    });
    CommandRunParts parts;
    parts.report = ReportFor(settings);
    parts.plots = plots;
    parts.showHelp = [&err] { WriteHelp(err); };
    parts.failed = [&progress] { progress.reset(); };
    parts.cutShort = [&cutShort] { return cutShort.load(); };
    return RunCommand(fields, settings, parts, err);
}

int ReportNoDesktop(std::ostream& err, bool desktopBuilt) {
    if (desktopBuilt) {
        err << "tavox: no display is available (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are not set),\n"
               "so the main window cannot open. Give the batch on the command line instead.\n\n";
    } else {
        err << "tavox: this build has no desktop front end, so the main window cannot open.\n"
               "Give the batch on the command line instead.\n\n";
    }
    WriteHelp(err);
    return ExitRefused;
}

}  // namespace tavox
