#include "ui/desktop/RunDesktop.h"

#include <QApplication>
#include <QWidget>
#include <algorithm>
#include <iostream>

#include "app/CommandRun.h"
#include "app/ExitStatus.h"
#include "app/MainModule.h"
#include "common/IgnoringErrors.h"
#include "ui/cli/BatchReport.h"
#include "ui/desktop/DesktopHooks.h"
#include "ui/desktop/frmMain.h"
#include "ui/plot/PlotApi.h"

namespace tavox {

namespace {

bool AnyWindowVisible() {
    const auto windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [](const QWidget* window) { return window->isVisible(); });
}

int RunCommandLineMode(const std::vector<std::string>& fields, const BatchSettings& settings) {
    SetCommandLineMode(true);
    CommandRunParts parts;
    parts.report = ReportFor(settings);
    if (settings.plot) parts.plots = MakePlotWriter(*settings.plot, settings.output.rate);
    parts.showHelp = [] { IgnoringErrors([] { ShowCommandLineHelp(); }); };
    // The progress window shows what the terminal's lines would.
    const int status = RunCommand(fields, settings, parts, std::cerr);
    // A progress window left open by an error keeps the process alive.
    if (AnyWindowVisible()) QApplication::exec();
    return status;
}

}  // namespace

int RunDesktopSession(const std::vector<std::string>& fields, const BatchSettings& settings) {
    InstallHostHooks(DesktopHooks());
    int status = ExitAllRight;
    if (fields.empty()) {
        try {
            frmMain::Open();
        } catch (const std::exception&) {
        }
        if (AnyWindowVisible()) QApplication::exec();
    } else {
        status = RunCommandLineMode(fields, settings);
    }
    InstallHostHooks({});
    return status;
}

int RunDesktop(int argc, char** argv, const std::vector<std::string>& fields, const BatchSettings& settings) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavox"));
    QApplication::setApplicationVersion(QStringLiteral(TAVOX_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("tavox"));
    return RunDesktopSession(fields, settings);
}

}  // namespace tavox
