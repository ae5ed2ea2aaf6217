#include "ui/terminal/TerminalRun.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <ostream>
#include <string>

#include "app/Application.h"
#include "app/DisplayText.h"
#include "app/Files.h"
#include "app/InputProblem.h"
#include "app/MainModule.h"
#include "common/AutomationError.h"
#include "data/BatchShare.h"
#include "data/FileSystem.h"
#include "ui/cli/BatchReport.h"
#include "ui/cli/CommandOptions.h"
#include "ui/plot/PlotApi.h"
#include "ui/terminal/OversizedSources.h"
#include "ui/terminal/ReplacedSources.h"
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

// What stopped a run that is no fault of its command line, for the message
// that takes the place of the help.
std::optional<std::string> RunStopper(const std::exception& error) {
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) return "out of memory";
    const auto* automation = dynamic_cast<const AutomationError*>(&error);
    if (automation != nullptr && automation->Number() == ErrOutOfMemory) return "out of memory";
    return std::nullopt;
}

}  // namespace

void WriteHelp(std::ostream& stream) {
    stream << CommandLineHelpTitle << "\n\n" << CommandLineHelpText("\n") << '\n' << std::flush;
}

int RunCommandLine(const std::vector<std::string>& fields, const CommandOptions& options, std::ostream& out,
                   std::ostream& err, bool liveProgress, bool flushEachLine, const std::shared_ptr<PlotWriter>& plots) {
    InterruptAsBreak interrupt;
    const bool reportOnOut = options.report && *options.report == "-";
    const ResultLines lines = reportOnOut     ? ResultLines::None
                              : options.quiet ? ResultLines::TitleOnly
                                              : ResultLines::All;
    std::shared_ptr<TerminalProgress> progress;
    std::shared_ptr<BatchReport> report;
    std::shared_ptr<Application> app;
    std::atomic<bool> cutShort{false};  // a stop signal ended a file's exposures early
    try {
        app = Application::Create();
        app->SetJobs(options.jobs.value_or(0));
        OutputOptions output = options.output;
        if (plots) {
            plots->SetParameters(app->FFTParameters());
            output.observer = plots;
        }
        app->FFTFiles()->SetOutputOptions(output);
        app->FFTFiles()->SetShare(options.shard);
        if (options.report) {
            report = std::make_shared<BatchReport>(*options.report, options.output, !(reportOnOut && options.quiet));
            report->Attach(app);
        }
        std::weak_ptr<Application> weakApp = app;
        // Asked on worker threads too.
        const auto stopRequested = [&interrupt, &cutShort] {
            if (!interrupt.Requested()) return false;
            cutShort.store(true);
            return true;
        };
        HooksScope hooks(HostHooks{
            [&interrupt, &progress, weakApp] {
                if (!interrupt.Requested()) return;
                if (progress) progress->Flush();
                if (const auto running = weakApp.lock()) running->BreakFFT();
            },
            [&](const std::shared_ptr<Application>& running) {
                interrupt.Install();
                progress = std::make_shared<TerminalProgress>(out, err, liveProgress, lines, flushEachLine);
                progress->Attach(running);
                std::make_shared<ReplacedSources>(err, stopRequested)->Attach(running);
                std::make_shared<OversizedSources>(err)->Attach(running);
            },
            stopRequested,
        });
        app->FFTCommandFields(fields);
    } catch (const std::exception& error) {
        progress.reset();
        if (plots) plots->Finish();
        // An error that stopped a run under way still closes its report.
        if (report) report->Finish(ExitRefused);
        if (const auto reason = RunStopper(error)) {
            err << "tavox: " << *reason << '\n';
            return ExitStatus(BatchTally{.refused = true});
        }
        WriteHelp(err);
        return ExitStatus(BatchTally{.refused = true});
    }

    if (report && !report->Opened()) {
        err << "tavox: " << report->Error() << '\n';
        return ExitRefused;
    }
    const BatchTally tally = progress ? progress->Tally() : BatchTally{};
    int status = ExitStatus(tally);
    if (tally.Interrupted() || (cutShort.load() && tally.total > 0)) {
        err << "tavox: interrupted after " << tally.done << " of " << tally.total << " files\n" << std::flush;
        // The process ends next: freeing a batch of many files object by object
        // would hold the exit back by a tenth of a second and more.
        // Volatile keeps the pointer in memory, where leak checkers find it.
        static const auto* volatile kept = new std::shared_ptr<Application>(std::move(app));
        static_cast<void>(kept);
    } else if (app->FFTFiles()->Count() == 0) {
        const std::string& input = fields.at(3);
        // A share left empty by more shares than inputs has nothing to do.
        const std::size_t matched = options.Given("shard") ? MatchingInputs(input) : 0;
        if (matched > 0) {
            err << "tavox: share " << ShareText(options.shard) << " holds none of the " << matched
                << " input files that match \"" << DisplayText(input) << "\"\n";
            if (tally.completed) status = ExitAllRight;
        } else {
            err << NoInputMessage(*DefaultFileSystem(), input) << '\n';
        }
    }
    if (plots) {
        for (const std::string& failure : plots->Finish()) {
            err << "tavox: the picture " << failure << '\n';
            status = std::max(status, ExitFileFailed);
        }
    }
    if (report) {
        if (!report->Error().empty()) status = std::max(status, ExitFileFailed);
        report->Finish(status);
        if (!report->Error().empty()) {
            err << "tavox: " << report->Error() << '\n';
            status = std::max(status, ExitFileFailed);
        }
    }
    return status;
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
