#include "ui/desktop/RunDesktop.h"

#include <QApplication>
#include <QWidget>
#include <exception>
#include <memory>

#include "app/Application.h"
#include "app/ApplicationEvents.h"
#include "app/MainModule.h"
#include "common/Enums.h"
#include "data/Files.h"
#include "ui/desktop/DesktopHooks.h"
#include "ui/desktop/frmMain.h"
#include "ui/terminal/TerminalRun.h"

namespace tavox {

namespace {

// Counts what a run did, for the exit status.
class RunOutcome : public ApplicationEvents {
public:
    explicit RunOutcome(std::weak_ptr<Application> app) : app_(std::move(app)) {}

    void WillExecute(std::int16_t& /*Cancel*/) override {
        if (const auto app = app_.lock()) total_ = app->FFTFiles()->Count();
    }
    void FileComplete(std::shared_ptr<File>& /*File*/, std::int32_t& Result) override {
        ++done_;
        if (Result != fftResultAllRight) ++failed_;
    }
    void ExecuteComplete() override { completed_ = true; }

    int Status() const {
        const bool allRight = completed_ && total_ > 0 && done_ == total_ && failed_ == 0;
        return allRight ? ExitAllRight : ExitFileFailed;
    }

private:
    std::weak_ptr<Application> app_;
    std::int32_t total_ = 0;
    std::int32_t done_ = 0;
    std::int32_t failed_ = 0;
    bool completed_ = false;
};

bool AnyWindowVisible() {
    const auto windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [](const QWidget* window) { return window->isVisible(); });
}

int RunCommandLineMode(const std::vector<std::string>& fields) {
    SetCommandLineMode(true);
    int status = ExitRefused;
    try {
        const std::shared_ptr<Application> app = Application::Create();
        const auto outcome = std::make_shared<RunOutcome>(app);
        app->Subscribe(outcome);
        app->FFTCommandFields(fields);
        app->Unsubscribe(outcome);
        status = outcome->Status();
    } catch (const std::exception&) {
        status = ExitRefused;
        try {
            ShowCommandLineHelp();
        } catch (const std::exception&) {
        }
    }
    // A progress window left open by an error keeps the process alive.
    if (AnyWindowVisible()) QApplication::exec();
    return status;
}

}  // namespace

int RunDesktopSession(const std::vector<std::string>& fields) {
    InstallHostHooks(DesktopHooks());
    int status = ExitAllRight;
    if (fields.empty()) {
        try {
            frmMain::Open();
        } catch (const std::exception&) {
        }
        if (AnyWindowVisible()) QApplication::exec();
    } else {
        status = RunCommandLineMode(fields);
    }
    InstallHostHooks({});
    return status;
}

int RunDesktop(int argc, char** argv, const std::vector<std::string>& fields) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavox"));
    QApplication::setApplicationVersion(QStringLiteral(TAVOX_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("tavox"));
    return RunDesktopSession(fields);
}

}  // namespace tavox
