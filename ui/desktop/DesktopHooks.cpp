#include "ui/desktop/DesktopHooks.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QSpacerItem>
#include <QString>
#include <QStyle>

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
    // The help is laid out in columns: the box is made wide enough for its
    // longest line, so that no line wraps.
    auto* layout = qobject_cast<QGridLayout*>(box.layout());
    const auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (layout != nullptr && label != nullptr) {
        const int textWidth = QFontMetrics(label->font()).boundingRect(QRect(), Qt::TextExpandTabs, box.text()).width();
        const int iconWidth =
            box.iconPixmap().width() + 3 * box.style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing);
        layout->addItem(
            new QSpacerItem(textWidth * 11 / 10 + iconWidth, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
            layout->rowCount(), 0, 1, layout->columnCount());
    }
    box.exec();
}

}  // namespace tavox
