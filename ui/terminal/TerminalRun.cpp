#include "ui/terminal/TerminalRun.h"

#include <csignal>
#include <exception>
#include <memory>
#include <ostream>

#include "app/Application.h"
#include "app/MainModule.h"
#include "data/Files.h"
#include "data/Path.h"
#include "ui/terminal/TerminalProgress.h"

namespace tavox {

namespace {

volatile std::sig_atomic_t interruptRequested = 0;

extern "C" void OnInterrupt(int) {
    interruptRequested = 1;
}

// Turns the first SIGINT into a break request; a second one ends the process
// as usual (the handler resets itself).
class InterruptAsBreak {
public:
    InterruptAsBreak() {
        interruptRequested = 0;
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        installed_ = sigaction(SIGINT, &action, &previous_) == 0;
        // A program started with interrupts ignored (a background job) keeps ignoring them.
        if (installed_ && previous_.sa_handler == SIG_IGN) {
            sigaction(SIGINT, &previous_, nullptr);
            installed_ = false;
        }
    }
    ~InterruptAsBreak() {
        if (installed_) sigaction(SIGINT, &previous_, nullptr);
    }
    InterruptAsBreak(const InterruptAsBreak&) = delete;
    InterruptAsBreak& operator=(const InterruptAsBreak&) = delete;

    bool Requested() const noexcept { return interruptRequested != 0; }

private:
    struct sigaction previous_ {};
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

std::string ResolvedSource(const std::string& source) {
    return IsAbsolutePath(source) ? source : JoinPath(ProgramFolder(), source);
}

}  // namespace

void WriteHelp(std::ostream& stream) {
    stream << CommandLineHelpTitle << "\n\n" << CommandLineHelpText("\n") << '\n' << std::flush;
}

int RunCommandLine(const std::vector<std::string>& fields, std::ostream& out, std::ostream& err, bool liveProgress) {
    InterruptAsBreak interrupt;
    std::shared_ptr<TerminalProgress> progress;
    std::shared_ptr<Application> app;
    try {
        app = Application::Create();
        std::weak_ptr<Application> weakApp = app;
        HooksScope hooks(HostHooks{
            [&interrupt, weakApp] {
                if (!interrupt.Requested()) return;
                if (const auto running = weakApp.lock()) running->BreakFFT();
            },
            [&](const std::shared_ptr<Application>& running) {
                progress = std::make_shared<TerminalProgress>(out, err, liveProgress);
                progress->Attach(running);
            },
        });
        app->FFTCommandFields(fields);
    } catch (const std::exception&) {
        progress.reset();
        WriteHelp(err);
        return ExitRefused;
    }

    if (app->FFTFiles()->Count() == 0) {
        err << "tavox: no input file matches \"" << ResolvedSource(fields.at(3)) << "\"\n";
        return ExitFileFailed;
    }
    if (!progress) return ExitFileFailed;
    if (progress->Done() < progress->Total()) {
        err << "tavox: interrupted after " << progress->Done() << " of " << progress->Total() << " files\n";
        return ExitFileFailed;
    }
    return progress->Failed() == 0 ? ExitAllRight : ExitFileFailed;
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
