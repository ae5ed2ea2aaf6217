#include "ui/terminal/TerminalRun.h"

#include <algorithm>
#include <csignal>
#include <exception>
#include <memory>
#include <ostream>

#include "app/Application.h"
#include "app/MainModule.h"
#include "data/Files.h"
#include "data/Path.h"
#include "ui/cli/BatchReport.h"
#include "ui/cli/CommandOptions.h"
#include "ui/terminal/ReplacedSources.h"
#include "ui/terminal/TerminalProgress.h"

namespace tavox {

namespace {

constexpr int StopSignals[] = {SIGINT, SIGTERM};

volatile std::sig_atomic_t interruptRequested = 0;
// Whether the handler is installed for SIGINT and SIGTERM.
volatile std::sig_atomic_t handlerInstalled[2] = {0, 0};

// The first interrupt or termination request becomes a break; both signals
// then get their default action back, so that a second one ends the process
// at once. Only async-signal-safe calls here.
extern "C" void OnStopSignal(int) {
    interruptRequested = 1;
    for (std::size_t i = 0; i < 2; ++i) {
        if (handlerInstalled[i] == 0) continue;
        struct sigaction action {};
        action.sa_handler = SIG_DFL;
        sigemptyset(&action.sa_mask);
        sigaction(StopSignals[i], &action, nullptr);
        handlerInstalled[i] = 0;
    }
}

// Turns the first SIGINT or SIGTERM of a run into a break request: the file
// in progress completes and no further file starts.
class InterruptAsBreak {
public:
    InterruptAsBreak() {
        interruptRequested = 0;
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

    bool Requested() const noexcept { return interruptRequested != 0; }

private:
    struct sigaction previous_[2]{};
    bool saved_[2] = {false, false};
};

// Removes the hooks that refer to this run's locals, also on an error.
class HooksScope {
public:
    explicit HooksScope(HostHooks hooks) { InstallHostHooks(std::move(hooks)); }
    ~HooksScope() { InstallHostHooks({}); }
    HooksScope(const HooksScope&) = delete;
    HooksScope& operator=(const HooksScope&) = delete;
};

std::string ResolvedSource(const std::string& source) {
    return IsAbsolutePath(source) ? source : JoinPath(ProgramFolder(), source);
}

}  // namespace

void WriteHelp(std::ostream& stream) {
    stream << CommandLineHelpTitle << "\n\n" << CommandLineHelpText("\n") << '\n' << std::flush;
}

int RunCommandLine(const std::vector<std::string>& fields, const CommandOptions& options, std::ostream& out,
                   std::ostream& err, bool liveProgress) {
    InterruptAsBreak interrupt;
    const bool reportOnOut = options.report && *options.report == "-";
    const ResultLines lines = reportOnOut     ? ResultLines::None
                              : options.quiet ? ResultLines::TitleOnly
                                              : ResultLines::All;
    std::shared_ptr<TerminalProgress> progress;
    std::shared_ptr<BatchReport> report;
    std::shared_ptr<Application> app;
    try {
        app = Application::Create();
        app->FFTFiles()->SetOutputOptions(options.output);
        app->FFTFiles()->SetShare(options.shard);
        if (options.report) {
            report = std::make_shared<BatchReport>(*options.report, options.output, !(reportOnOut && options.quiet));
            report->Attach(app);
        }
        std::weak_ptr<Application> weakApp = app;
        HooksScope hooks(HostHooks{
            [&interrupt, weakApp] {
                if (!interrupt.Requested()) return;
                if (const auto running = weakApp.lock()) running->BreakFFT();
            },
            [&](const std::shared_ptr<Application>& running) {
                progress = std::make_shared<TerminalProgress>(out, err, liveProgress, lines);
                progress->Attach(running);
                std::make_shared<ReplacedSources>(err)->Attach(running);
            },
        });
        app->FFTCommandFields(fields);
    } catch (const std::exception&) {
        progress.reset();
        // An error that stopped a run under way still closes its report.
        if (report) report->Finish(ExitRefused);
        WriteHelp(err);
        return ExitStatus(BatchTally{.refused = true});
    }

    if (report && !report->Opened()) {
        err << "tavox: " << report->Error() << '\n';
        return ExitRefused;
    }
    const BatchTally tally = progress ? progress->Tally() : BatchTally{};
    int status = ExitStatus(tally);
    if (app->FFTFiles()->Count() == 0) {
        const std::string input = ResolvedSource(fields.at(3));
        // A share left empty by more shares than inputs has nothing to do.
        const std::size_t matched = options.Given("shard") ? MatchingInputs(input) : 0;
        if (matched > 0) {
            err << "tavox: share " << ShareText(options.shard) << " holds none of the " << matched
                << " input files that match \"" << input << "\"\n";
            if (tally.completed) status = ExitAllRight;
        } else {
            err << "tavox: no input file matches \"" << input << "\"\n";
        }
    } else if (tally.Interrupted()) {
        err << "tavox: interrupted after " << tally.done << " of " << tally.total << " files\n";
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
