#include "ui/desktop/RunDesktop.h"

#include <QApplication>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>

#include "app/Application.h"
#include "app/ApplicationEvents.h"
#include "app/ExitStatus.h"
#include "app/Files.h"
#include "app/InputProblem.h"
#include "app/MainModule.h"
#include "data/FileSystem.h"
#include "ui/cli/BatchReport.h"
#include "ui/desktop/DesktopHooks.h"
#include "ui/desktop/frmMain.h"
#include "ui/plot/PlotApi.h"

namespace tavox {

namespace {

// Counts what a run did, for the exit status.
class RunOutcome : public ApplicationEvents {
public:
    explicit RunOutcome(std::weak_ptr<Application> app) : app_(std::move(app)) {}

    void WillExecute(std::int16_t& /*Cancel*/) override {
        if (const auto app = app_.lock()) tally_.Begin(app->FFTFiles()->Count());
    }
    void FileComplete(std::shared_ptr<File>& /*File*/, std::int32_t& Result) override { tally_.FileDone(Result); }
    void ExecuteComplete() override { tally_.Complete(); }

    const BatchTally& Tally() const noexcept { return tally_; }

private:
    std::weak_ptr<Application> app_;
    BatchTally tally_;
};

bool AnyWindowVisible() {
    const auto windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [](const QWidget* window) { return window->isVisible(); });
}

int RunCommandLineMode(const std::vector<std::string>& fields, const CommandOptions& options) {
    SetCommandLineMode(true);
    int status;
    std::shared_ptr<BatchReport> report;
    std::shared_ptr<PlotWriter> plots;
    try {
        const std::shared_ptr<Application> app = Application::Create();
        app->SetJobs(options.jobs.value_or(0));
        OutputOptions output = options.output;
        if (options.plot) {
            plots = MakePlotWriter(*options.plot, options.output.rate);
            plots->SetParameters(app->FFTParameters());
            output.observer = plots;
        }
        app->FFTFiles()->SetOutputOptions(output);
        app->FFTFiles()->SetShare(options.shard);
        if (options.report) {
            report = std::make_shared<BatchReport>(*options.report, options.output, true);
            report->Attach(app);
        }
        const auto outcome = std::make_shared<RunOutcome>(app);
        app->Subscribe(outcome);
        app->FFTCommandFields(fields);
        app->Unsubscribe(outcome);
        status = ExitStatus(outcome->Tally());
        // A share left empty by more shares than inputs has nothing to do.
        const bool emptyShare = app->FFTFiles()->Count() == 0 && options.Given("shard") && fields.size() > 3 &&
                                MatchingInputs(fields[3]) > 0;
        if (emptyShare && outcome->Tally().completed) status = ExitAllRight;
        if (report && !report->Opened()) status = ExitRefused;
        if (report && !report->Error().empty()) status = std::max(status, ExitFileFailed);
        // The progress window came and went with nothing in it: say why.
        if (app->FFTFiles()->Count() == 0 && !emptyShare) {
            std::cerr << NoInputMessage(*DefaultFileSystem(), fields.at(3)) << std::endl;
        }
    } catch (const std::exception&) {
        status = ExitStatus(BatchTally{.refused = true});
        try {
            ShowCommandLineHelp();
        } catch (const std::exception&) {
        }
    }
    if (plots) {
        for (const std::string& failure : plots->Finish()) {
            std::fprintf(stderr, "tavox: the picture %s\n", failure.c_str());
            status = std::max(status, static_cast<int>(ExitFileFailed));
        }
    }
    if (report) {
        report->Finish(status);
        if (!report->Error().empty()) std::fprintf(stderr, "tavox: %s\n", report->Error().c_str());
    }
    // A progress window left open by an error keeps the process alive.
    if (AnyWindowVisible()) QApplication::exec();
    return status;
}

}  // namespace

int RunDesktopSession(const std::vector<std::string>& fields, const CommandOptions& options) {
    InstallHostHooks(DesktopHooks());
    int status = ExitAllRight;
    if (fields.empty()) {
        try {
            frmMain::Open();
        } catch (const std::exception&) {
        }
        if (AnyWindowVisible()) QApplication::exec();
    } else {
        status = RunCommandLineMode(fields, options);
    }
    InstallHostHooks({});
    return status;
}

int RunDesktop(int argc, char** argv, const std::vector<std::string>& fields, const CommandOptions& options) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavox"));
    QApplication::setApplicationVersion(QStringLiteral(TAVOX_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("tavox"));
    return RunDesktopSession(fields, options);
}

}  // namespace tavox
