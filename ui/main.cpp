#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <locale>
#include <string>
#include <system_error>
#include <vector>

#include "app/CommandLine.h"
#include "app/MainModule.h"
#include "app/SelfTest.h"
#include "data/formats/InputFormats.h"
#include "ui/ModuleLoader.h"
#include "ui/cli/CommandOptions.h"
#include "ui/cli/OptionTable.h"
#include "ui/cli/SelfTestTable.h"
#include "ui/plot/PlotApi.h"
#include "ui/terminal/StandardOutput.h"
#include "ui/terminal/TerminalRun.h"
#include "zip/ZipArchive.h"

namespace {

bool HasValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

[[maybe_unused]] bool DisplayAvailable() {
    return HasValue("DISPLAY") || HasValue("WAYLAND_DISPLAY") || HasValue("QT_QPA_PLATFORM");
}

// Numbers on the command line are read with the decimal separator of the
// user's locale; output streams keep the classic formatting.
void UseEnvironmentLocale() {
    try {
        std::locale::global(std::locale(""));
    } catch (const std::exception&) {
        std::locale::global(std::locale::classic());
    }
    std::cout.imbue(std::locale::classic());
    std::cerr.imbue(std::locale::classic());
}

int Refuse(const std::string& error) {
    std::cerr << "tavox: " << error << '\n';
    return tavox::ExitRefused;
}

// The spectrum viewer: a window, so it needs a display.
int View(int argc, char** argv, const tavox::CommandOptions& options) {
    if (!DisplayAvailable()) {
        std::cerr << "tavox: --view opens a window, but no display is available (DISPLAY, WAYLAND_DISPLAY and\n"
                     "QT_QPA_PLATFORM are not set). To look at spectra without one, write pictures with --plot.\n";
        return tavox::ExitRefused;
    }
    tavox::ViewOptions view = *options.view;
    if (options.Given("format")) view.format = options.output.format;
    std::string error;
    if (const auto status = tavox::RunViewerModule(argc, argv, view, options.output.rate, error)) return *status;
    std::cerr << "tavox: the spectrum viewer could not be loaded (" << error << ")\n";
    return tavox::ExitRefused;
}

// The peaks of a spectrum file, as the pictures mark them; no display needed.
int Peaks(const tavox::CommandOptions& options) {
    tavox::ViewOptions view = *options.view;
    if (options.Given("format")) view.format = options.output.format;
    std::string error;
    if (const auto status = tavox::WritePeaksModule(view, options.output.rate, std::cout, std::cerr, error))
        return *status;
    std::cerr << "tavox: --peaks needs the plot module, which could not be loaded (" << error << ")\n";
    return tavox::ExitRefused;
}

}  // namespace

static int RunProgram(int argc, char** argv) {
    tavox::SetStartMode(tavox::StartMode::Standalone);
    tavox::RegisterInputFormats();

    tavox::ParsedCommandLine parsed = tavox::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) return Refuse(parsed.error);
    tavox::CommandOptions& options = parsed.options;
    if (options.help) {
        tavox::WriteHelp(std::cout);
        std::cout << '\n' << tavox::OptionsHelpText() << std::flush;
        return tavox::ExitAllRight;
    }
    if (options.version) {
        std::cout << TAVOX_VERSION << '\n';
        return tavox::ExitAllRight;
    }

    UseEnvironmentLocale();
    std::vector<std::string> fields = tavox::FieldsFromArguments(parsed.arguments);
    if (const std::string error = tavox::CheckOptionsAgainstFields(options, fields); !error.empty()) {
        return Refuse(error);
    }
    if (options.selfTest) return tavox::WriteSelfTest(std::cout, tavox::RunSelfTest());
    if (!fields.empty()) {
        std::string error;
        options.jobs = tavox::ResolveJobs(options, std::getenv("TAVOX_JOBS"), error);
        if (!error.empty()) return Refuse(error);
    }
    if (options.peaks) return Peaks(options);
    if (options.view) return View(argc, argv, options);

    // A relative input is where the user stands, not where the program lives.
    if (fields.size() >= 4 && !fields[3].empty() && fields[3].front() != '/') {
        std::error_code error;
        const std::filesystem::path folder = std::filesystem::current_path(error);
        if (error) return Refuse("the current folder cannot be determined (" + error.message() + ")");
        tavox::MakeInputAbsolute(fields, folder.string());
    }

#ifdef TAVOX_WITH_QT
    constexpr bool desktopBuilt = true;
    if (DisplayAvailable()) {
        std::string error;
        if (const auto status = tavox::RunDesktopModule(argc, argv, fields, options, error)) return *status;
        std::cerr << "tavox: the desktop front end could not be loaded (" << error << "); running in the terminal\n";
    }
#else
    constexpr bool desktopBuilt = false;
#endif

    if (fields.empty()) return tavox::ReportNoDesktop(std::cerr, desktopBuilt);

    std::shared_ptr<tavox::PlotWriter> plots;
    if (options.plot) {
        std::string error;
        plots = tavox::LoadPlotWriter(*options.plot, options.output.rate, error);
        if (!plots) return Refuse("--plot needs the plot module, which could not be loaded (" + error + ")");
    }
    tavox::SetCommandLineMode(true);
    return tavox::RunCommandLine(fields, options, std::cout, std::cerr, isatty(STDERR_FILENO) == 1,
                                 isatty(STDOUT_FILENO) == 1, plots);
}

int main(int argc, char** argv) {
    // A file-size limit then fails the write, which the batch reports as a
    // full target, instead of killing the process in the middle of an output.
    std::signal(SIGXFSZ, SIG_IGN);
    tavox::InstallZipArchive();
    tavox::StandardOutputBuffer output(STDOUT_FILENO);
    std::streambuf* const previous = std::cout.rdbuf(&output);
    int status = RunProgram(argc, argv);
    std::cout.flush();
    std::cout.rdbuf(previous);
    // As other tools do, a lost line of output fails the run.
    if (output.Error() != 0) {
        std::cerr << "tavox: write error: " << std::system_category().message(output.Error()) << '\n';
        if (status == tavox::ExitAllRight) status = tavox::ExitFileFailed;
    }
    return status;
}
