#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include "UiTest.h"
#include "app/Application.h"
#include "app/ApplicationEvents.h"
#include "app/Files.h"
#include "app/MainModule.h"
#include "app/ProgressText.h"
#include "common/Variant.h"
#include "engine/Parameters.h"
#include "ui/desktop/DesktopHooks.h"
#include "ui/desktop/frmProcess.h"
#include "ui/plot/SpectrogramCanvas.h"
#include "ui/plot/SpectrogramViewer.h"
#include "ui/plot/SpectrumViewer.h"

namespace tavox {
namespace {

using test::Find;
using test::Pump;

class CancelRun : public ApplicationEvents {
public:
    void WillExecute(std::int16_t& Cancel) override { Cancel = -1; }
};

// A batch of `count` files in a temporary folder, run with the desktop hooks;
// records every title of the progress window and, at each pump, the count of
// finished files it shows.
class frm_process_test : public test::UiTest {
protected:
    std::shared_ptr<Application> Batch(int count, int shortFiles = 0) {
        auto app = Application::Create();
        for (int i = 0; i < count; ++i) {
            const std::string name = data_.File(std::string(1, 'f').append(std::to_string(i)).append(".dat"));
            test::WriteTone(name, i < count - shortFiles ? 2048 : 10);
        }
        Variant source(data_.Path() + "*.dat");
        Variant target("*.out");
        if (count > 0) app->FFTFiles()->Add(fftDataDiskFile, source, target);
        EXPECT_EQ(app->FFTFiles()->Count(), count);

        HostHooks hooks;
        hooks.pumpEvents = [this] {
            QCoreApplication::processEvents();
            if (window_) shownAtPump_ << Find<QLabel>(window_, "lblCurFileNum")->text();
            if (onPump_) onPump_(++pumps_);
        };
        hooks.openProgressWindow = [this](const std::shared_ptr<Application>& running) {
            window_ = OpenProgressWindow(running);
            initialTitle_ = window_->windowTitle();
            QObject::connect(window_, &QWidget::windowTitleChanged, window_,
                             [this](const QString& title) { titles_ << title; });
        };
        InstallHostHooks(hooks);
        return app;
    }
    QStringList Lines() const {
        QStringList lines;
        const auto* list = Find<QListWidget>(window_, "lstMsg");
        for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
        return lines;
    }
    static QString Line(const std::string& name, std::int32_t result) {
        return QString::fromStdString(ResultLine(name, result));
    }

    test::TempDir data_;
    QPointer<frmProcess> window_;
    QString initialTitle_;
    QStringList titles_;
    QStringList shownAtPump_;
    std::function<void(int)> onPump_;
    int pumps_ = 0;
};

TEST_F(frm_process_test, run_of_three_files_counts_up_and_offers_to_close) {
    auto app = Batch(3);
    app->FFTExecute();
    ASSERT_FALSE(window_.isNull());
    EXPECT_EQ(initialTitle_, QString::fromUtf8("Kalmira [připraven]"));
    EXPECT_EQ(
        titles_,
        QStringList({QString::fromUtf8("Kalmira [pracující - 0%]"), QString::fromUtf8("Kalmira [pracující - 33%]"),
                     QString::fromUtf8("Kalmira [pracující - 67%]"), QString::fromUtf8("Kalmira [pracující - 100%]"),
                     QString::fromUtf8("Kalmira [dokončeno - 100%]")}));
    EXPECT_EQ(shownAtPump_, QStringList({"0", "1", "2"}));
    EXPECT_EQ(Find<QLabel>(window_, "lblCurFileNum")->text(), "3");
    EXPECT_EQ(Find<QLabel>(window_, "lblFilesNum")->text(), "3");
    EXPECT_EQ(Lines(), QStringList({Line("f0.dat", fftResultAllRight), Line("f1.dat", fftResultAllRight),
                                    Line("f2.dat", fftResultAllRight)}));
    EXPECT_EQ(QFontInfo(Find<QListWidget>(window_, "lstMsg")->font()).family(), "Liberation Mono");

    auto* button = Find<QPushButton>(window_, "cmdBreak");
    EXPECT_EQ(button->text(), QString::fromUtf8("&Zavřít"));
    EXPECT_TRUE(Find<QPushButton>(window_, "cmdRestart")->isVisible());
    EXPECT_TRUE(Find<QPushButton>(window_, "cmdRestart")->isEnabled());
    // Enter presses the default button, which now closes the window.
    QTest::keyClick(window_, Qt::Key_Return);
    Pump();
    EXPECT_TRUE(window_.isNull());
}

// A window that becomes active only after its run (the window manager was
// slow, or the user looked elsewhere) still gives Enter to cmdBreak, which
// closes it, and not to Opakovat, the first button of the tab order.
TEST_F(frm_process_test, enter_in_a_window_activated_after_the_run_closes_it) {
    auto app = Batch(2);
    // No events are handled during the run, so the window's activation
    // arrives only after it, as from a slow window manager.
    HostHooks hooks = CurrentHostHooks();
    hooks.pumpEvents = nullptr;
    InstallHostHooks(hooks);
    app->FFTExecute();
    ASSERT_FALSE(window_.isNull());
    auto* restart = Find<QPushButton>(window_, "cmdRestart");
    ASSERT_TRUE(restart->isVisible() && restart->isEnabled());
    bool restarted = false;
    QObject::connect(restart, &QPushButton::clicked, [&] { restarted = true; });
    test::Activate(window_);
    EXPECT_EQ(QApplication::focusWidget(), Find<QPushButton>(window_, "cmdBreak"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    Pump();
    EXPECT_FALSE(restarted);
    EXPECT_TRUE(window_.isNull());
}

// The line of a finished file opens its output in the viewer, a window of
// its own; the progress window keeps its place and size, and Enter on a
// line without an output still presses the default button.
TEST_F(frm_process_test, double_click_or_enter_on_a_line_opens_its_output_in_the_viewer) {
    auto app = Batch(3, 1);
    app->FFTParameters()->SetPhase(true);
    app->FFTParameters()->SetWidth(256);
    app->FFTExecute();
    ASSERT_FALSE(window_.isNull());
    const QRect geometry = window_->geometry();
    auto* list = Find<QListWidget>(window_, "lstMsg");
    ASSERT_EQ(list->count(), 3);

    const auto viewers = [] {
        QList<SpectrumViewer*> found;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* viewer = qobject_cast<SpectrumViewer*>(widget); viewer && viewer->isVisible()) found << viewer;
        }
        return found;
    };
    list->setCurrentRow(1);
    ASSERT_EQ(list->item(1)->data(Qt::UserRole).toByteArray().toStdString(), data_.File("f1.out"));
    const QRect row = list->visualItemRect(list->item(1));
    // A double-click as a mouse makes it: a press and release, then the second press.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
    Pump();
    ASSERT_EQ(viewers().size(), 1);
    SpectrumViewer* viewer = viewers().front();
    EXPECT_EQ(viewer->ErrorText(), QString());
    EXPECT_TRUE(viewer->ReadingText().contains(QString::fromStdString(data_.File("f1.out"))));
    // Method f: the raw output holds magnitudes and phases of width 256.
    EXPECT_TRUE(viewer->ReadingText().contains(QStringLiteral("128 magnitudes and 128 phases, width 256")))
        << viewer->ReadingText().toStdString();
    viewer->close();
    Pump();

    test::Activate(window_);
    list->setFocus();
    list->setCurrentRow(0);
    QTest::keyClick(list, Qt::Key_Return);
    Pump();
    ASSERT_EQ(viewers().size(), 1);
    EXPECT_TRUE(viewers().front()->ReadingText().contains(QString::fromStdString(data_.File("f0.out"))));
    viewers().front()->close();
    Pump();
    ASSERT_FALSE(window_.isNull());
    EXPECT_EQ(window_->geometry(), geometry);

    // The short file wrote nothing: Enter closes the window as before.
    list->setCurrentRow(2);
    QTest::keyClick(list, Qt::Key_Return);
    Pump();
    EXPECT_TRUE(viewers().isEmpty());
    EXPECT_TRUE(window_.isNull());
}

// The line of a multi opens its numbered outputs, and that of a matrix its
// output, as a spectrogram.
TEST_F(frm_process_test, the_line_of_a_multi_opens_its_spectrogram) {
    for (const OutputLayout layout : {OutputLayout::Files, OutputLayout::Matrix}) {
        auto app = Batch(1);
        app->FFTParameters()->SetMethod(fftMethodMulti);
        app->FFTParameters()->SetRepeat(5);
        OutputOptions options;
        options.layout = layout;
        options.format = OutputFormat::Npz;
        if (layout == OutputLayout::Files) options.format = OutputFormat::Npy;
        app->FFTFiles()->SetOutputOptions(options);
        app->FFTExecute();
        ASSERT_FALSE(window_.isNull());
        auto* list = Find<QListWidget>(window_, "lstMsg");
        test::Activate(window_);
        list->setFocus();
        list->setCurrentRow(0);
        EXPECT_EQ(list->item(0)->data(Qt::UserRole).toString().toStdString(),
                  data_.File(layout == OutputLayout::Files ? "f0.*" : "f0.out"));
        QTest::keyClick(list, Qt::Key_Return);
        Pump();
        SpectrogramViewer* viewer = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* found = qobject_cast<SpectrogramViewer*>(widget); found && found->isVisible()) viewer = found;
        }
        ASSERT_NE(viewer, nullptr);
        EXPECT_EQ(viewer->ErrorText(), QString());
        ASSERT_NE(viewer->Canvas()->Plot().Data(), nullptr);
        EXPECT_EQ(viewer->Canvas()->Plot().Data()->rows, 5u);
        viewer->close();
        window_->close();
        Pump();
    }
}

TEST_F(frm_process_test, break_after_one_of_four_stops_before_the_next_file) {
    auto app = Batch(4);
    bool restartDisabled = false;
    QString buttonWhileRunning;
    onPump_ = [&](int pumps) {
        if (pumps != 2) return;
        restartDisabled = !Find<QPushButton>(window_, "cmdRestart")->isEnabled();
        QTest::mouseClick(Find<QPushButton>(window_, "cmdBreak"), Qt::LeftButton);
        buttonWhileRunning = Find<QPushButton>(window_, "cmdBreak")->text();
    };
    app->FFTExecute();
    ASSERT_FALSE(window_.isNull());
    EXPECT_TRUE(restartDisabled);
    EXPECT_EQ(buttonWhileRunning, QString::fromUtf8("&Přerušit"));
    EXPECT_EQ(window_->windowTitle(), QString::fromUtf8("Kalmira [dokončeno - 25%]"));
    EXPECT_EQ(Lines().size(), 1);
    EXPECT_EQ(Find<QLabel>(window_, "lblFilesNum")->text(), "4");
    window_->close();
    Pump();
    EXPECT_TRUE(window_.isNull());
}

TEST_F(frm_process_test, failed_files_get_their_message_and_an_empty_run_shows_zero) {
    auto app = Batch(2, 1);
    app->FFTExecute();
    ASSERT_FALSE(window_.isNull());
    EXPECT_EQ(Lines(), QStringList({Line("f0.dat", fftResultAllRight), Line("f1.dat", fftResultShortFile)}));
    EXPECT_TRUE(Lines().at(1).endsWith(QString::fromUtf8("Žádané hranice hodnocení neodpovídaly délce souboru")));
    // A second run on the same entries opens a new window.
    QPointer<frmProcess> first = window_;
    app->FFTExecute();
    EXPECT_NE(first, window_);
    first->close();
    window_->close();
    Pump();

    auto cancelled = Batch(3);
    cancelled->Subscribe(std::make_shared<CancelRun>());
    cancelled->FFTExecute();
    EXPECT_EQ(window_->windowTitle(), QString::fromUtf8("Kalmira [dokončeno - 0%]"));
    EXPECT_TRUE(Lines().isEmpty());
    window_->close();

    auto empty = Application::Create();
    empty->FFTExecute();
    EXPECT_EQ(window_->windowTitle(), QString::fromUtf8("Kalmira [dokončeno - 0%]"));
    EXPECT_EQ(Find<QLabel>(window_, "lblFilesNum")->text(), "0");
    window_->close();
}

TEST_F(frm_process_test, command_line_mode_hides_restart_and_closes_at_the_end) {
    SetCommandLineMode(true);
    auto app = Batch(2);
    bool restartVisible = true;
    onPump_ = [&](int) { restartVisible = restartVisible && Find<QPushButton>(window_, "cmdRestart")->isVisible(); };
    app->FFTExecute();
    EXPECT_FALSE(restartVisible);
    Pump();
    EXPECT_TRUE(window_.isNull());
    EXPECT_TRUE(test::VisibleWindows().empty());
}

TEST_F(frm_process_test, closed_window_lets_the_run_go_on_without_display) {
    auto app = Batch(3);
    onPump_ = [&](int pumps) {
        if (pumps == 1) window_->close();
    };
    app->FFTExecute();
    Pump();
    EXPECT_TRUE(window_.isNull());
    EXPECT_FALSE(app->BreakRequested());
    EXPECT_TRUE(std::filesystem::exists(data_.File("f2.out")));
}

}  // namespace
}  // namespace tavox
