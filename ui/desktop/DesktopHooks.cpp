#include "ui/desktop/DesktopHooks.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QString>

#include "app/MainModule.h"
#include "ui/desktop/frmProcess.h"

namespace tavox {

frmProcess* OpenProgressWindow(const std::shared_ptr<Application>& app) {
    auto* window = new frmProcess;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    window->SetApplication(app);
    return window;
}

HostHooks DesktopHooks() {
    HostHooks hooks;
    hooks.pumpEvents = [] { QCoreApplication::processEvents(); };
    hooks.openProgressWindow = [](const std::shared_ptr<Application>& app) { OpenProgressWindow(app); };
    return hooks;
}

void ShowCommandLineHelp() {
    QMessageBox box(QMessageBox::Information, QString::fromUtf8(CommandLineHelpTitle),
                    QString::fromStdString(CommandLineHelpText()), QMessageBox::Ok);
    box.setObjectName(QStringLiteral("CommandLineHelp"));
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

}  // namespace tavox
