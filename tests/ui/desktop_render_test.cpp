#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStyleOptionSpinBox>

#include "UiTest.h"
#include "app/Application.h"
#include "app/Files.h"
#include "app/MainModule.h"
#include "common/Variant.h"
#include "ui/desktop/DesktopHooks.h"
#include "ui/desktop/frmAbout.h"
#include "ui/desktop/frmMain.h"
#include "ui/desktop/frmOptions.h"
#include "ui/desktop/frmProcess.h"

namespace tavox {
namespace {

class desktop_render_test : public test::UiTest {
protected:
    // Writes the window's picture to render/ in the build folder.
    static void Render(QWidget* window, const char* name) {
        const QString folder = QStringLiteral(TAVOX_UI_TEST_DIR "/render");
        QDir().mkpath(folder);
        const QString path = QDir(folder).filePath(QLatin1String(name) + ".png");
        EXPECT_TRUE(window->grab().save(path)) << path.toStdString();
    }
};

QString Caption(QString text) {
    return text.remove(QLatin1Char('&'));
}

// Every caption shown in the window fits its control at the control's font.
void ExpectCaptionsFit(const QWidget* window) {
    const QStyle* style = window->style();
    int checked = 0;
    for (const QWidget* control : window->findChildren<QWidget*>()) {
        if (!control->isVisibleTo(window)) continue;
        const QFontMetrics metrics(control->font());
        const std::string name = control->objectName().toStdString();
        QString text;
        int available = control->width();
        if (const auto* label = qobject_cast<const QLabel*>(control)) {
            if (label->wordWrap()) {
                EXPECT_LE(label->heightForWidth(label->width()), label->height()) << name;
                ++checked;
                continue;
            }
            text = label->text();
        } else if (qobject_cast<const QRadioButton*>(control) != nullptr) {
            text = static_cast<const QAbstractButton*>(control)->text();
            available -= style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, control) +
                         style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, control);
        } else if (qobject_cast<const QCheckBox*>(control) != nullptr) {
            text = static_cast<const QAbstractButton*>(control)->text();
            available -= style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, control) +
                         style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, control);
        } else if (const auto* button = qobject_cast<const QPushButton*>(control)) {
            text = button->text();
            available -= 2 * style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, control);
        } else if (const auto* frame = qobject_cast<const QGroupBox*>(control)) {
            text = frame->title();
            available -= 2 * metrics.averageCharWidth();
        } else if (const auto* combo = qobject_cast<const QComboBox*>(control)) {
            QStyleOptionComboBox option;
            option.initFrom(combo);
            const int field =
                style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo).width();
            for (int i = 0; i < combo->count(); ++i) {
                EXPECT_LE(metrics.horizontalAdvance(combo->itemText(i)), field) << name << " " << i;
            }
            ++checked;
            continue;
        } else if (const auto* spin = qobject_cast<const QSpinBox*>(control)) {
            QStyleOptionSpinBox option;
            option.initFrom(spin);
            const int field =
                style->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxEditField, spin).width();
            EXPECT_LE(metrics.horizontalAdvance(spin->specialValueText()), field) << name;
            EXPECT_LE(metrics.horizontalAdvance(QString::number(spin->maximum())), field) << name;
            ++checked;
            continue;
        } else if (const auto* list = qobject_cast<const QListWidget*>(control)) {
            for (int i = 0; i < list->count(); ++i) {
                EXPECT_LE(metrics.horizontalAdvance(list->item(i)->text()), list->viewport()->width()) << name;
            }
            continue;
        } else {
            continue;
        }
        EXPECT_LE(metrics.horizontalAdvance(Caption(text)), available) << name << " \"" << text.toStdString() << "\"";
        EXPECT_LE(metrics.height(), control->height()) << name;
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

TEST_F(desktop_render_test, windows_render_and_every_caption_fits_at_96_dpi) {
    test::TempDir data;
    for (int i = 0; i < 3; ++i)
        test::WriteTone(data.File("signal_recorded_on_a_long_afternoon_" + std::to_string(i) + ".dat"));

    frmMain* main = frmMain::Open(std::make_shared<test::FixedSpaceFileSystem>("/home", 1500000));
    ASSERT_EQ(main->logicalDpiX(), 96);
    EXPECT_EQ(main->size(), QSize(592, 420));
    test::Activate(main);
    test::TypeAndLeave(test::Find<QLineEdit>(main, "txtParam_4"), QString::fromStdString(data.Path()));
    ExpectCaptionsFit(main);
    Render(main, "frmMain");
    main->close();

    frmAbout about;
    ExpectCaptionsFit(&about);
    Render(&about, "frmAbout");

    BatchSettings pictures;
    pictures.plot = PlotSettings{PlotScale::Db, 1200, 700};
    frmOptions options(pictures);
    ExpectCaptionsFit(&options);
    Render(&options, "frmOptions");

    auto app = Application::Create();
    Variant source(data.Path() + "*.dat");
    Variant target("*.out");
    app->FFTFiles()->Add(fftDataDiskFile, source, target);
    QPointer<frmProcess> progress;
    int pumps = 0;
    HostHooks hooks;
    hooks.pumpEvents = [&] {
        if (++pumps == 3) {
            ExpectCaptionsFit(progress);
            Render(progress, "frmProcess-running");
        }
    };
    hooks.openProgressWindow = [&](const std::shared_ptr<Application>& running) {
        progress = OpenProgressWindow(running);
    };
    InstallHostHooks(hooks);
    app->FFTExecute();
    ASSERT_FALSE(progress.isNull());
    EXPECT_EQ(progress->size(), QSize(678, 192));
    ExpectCaptionsFit(progress);
    Render(progress, "frmProcess-completed");
    progress->close();

    test::OnNextModal([&](QWidget* modal) {
        Render(modal, "HelpBox");
        // Each of the 19 help lines takes one screen line.
        const auto* label = modal->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        ASSERT_NE(label, nullptr);
        EXPECT_LE(label->heightForWidth(label->width()), 19 * QFontMetrics(label->font()).lineSpacing() + 2);
        static_cast<QMessageBox*>(modal)->button(QMessageBox::Ok)->click();
    });
    ShowCommandLineHelp();
}

}  // namespace
}  // namespace tavox
