#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <filesystem>

#include "UiTest.h"
#include "app/MainModule.h"
#include "ui/desktop/RunDesktop.h"
#include "ui/desktop/frmMain.h"
#include "ui/desktop/frmProcess.h"

namespace tavox {
namespace {

const QString Completed = QString::fromUtf8("Kalmira [dokončeno - 100%]");

class run_desktop_test : public test::UiTest {
protected:
    test::TempDir data_;
};

TEST_F(run_desktop_test, command_line_runs_with_a_progress_window_that_closes_itself) {
    test::WriteTone(data_.File("a.dat"));
    test::WriteTone(data_.File("b.dat"));
    EXPECT_EQ(RunDesktopSession({"fc", "h", "1024", data_.Path() + "*.dat", "*out.*"}), 0);
    EXPECT_TRUE(CommandLineMode());
    EXPECT_TRUE(std::filesystem::exists(data_.File("aout.dat")));
    EXPECT_TRUE(std::filesystem::exists(data_.File("bout.dat")));
    EXPECT_TRUE(test::VisibleWindows().empty());
}

TEST_F(run_desktop_test, failed_file_or_no_match_gives_status_one) {
    test::WriteTone(data_.File("short.dat"), 10);
    EXPECT_EQ(RunDesktopSession({"e", "p", "128", data_.File("short.dat"), "*.out"}), 1);
    EXPECT_EQ(RunDesktopSession({"e", "p", "128", data_.File("none*.dat"), "*.out"}), 1);
}

TEST_F(run_desktop_test, refused_command_line_shows_the_help_box) {
    QString title;
    QString text;
    int buttons = 0;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    test::OnNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = static_cast<int>(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(RunDesktopSession({"f", "h", "1024", "a"}), 2);
    EXPECT_EQ(title, "FFT Command Line Help");
    EXPECT_EQ(text.toStdString(), CommandLineHelpText());
    EXPECT_EQ(icon, QMessageBox::Information);
    EXPECT_EQ(buttons, 1);
}

TEST_F(run_desktop_test, no_fields_open_the_main_window_until_it_closes) {
    bool sawMain = false;
    QTimer::singleShot(50, QCoreApplication::instance(), [&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* main = qobject_cast<frmMain*>(window); main != nullptr && main->isVisible()) {
                sawMain = main->windowTitle() == "Kalmira";
                main->close();
            }
        }
    });
    EXPECT_EQ(RunDesktopSession({}), 0);
    EXPECT_TRUE(sawMain);
    EXPECT_FALSE(CommandLineMode());
}

TEST_F(run_desktop_test, start_in_window_mode_keeps_running_until_the_progress_window_closes) {
    test::WriteTone(data_.File("a.dat"));
    QString completedTitle;
    QPointer<QTimer> poll;
    QTimer::singleShot(50, QCoreApplication::instance(), [&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* main = qobject_cast<frmMain*>(window);
            if (main == nullptr || !main->isVisible()) continue;
            main->findChild<QLineEdit*>("txtParam_4")->setText(QString::fromStdString(data_.Path()));
            main->findChild<QLineEdit*>("txtParam_5")->setText("a.dat");
            main->findChild<QPushButton*>("cmdStart")->click();
        }
        // The loop runs the batch after this step; the progress window is
        // closed once it says the batch is complete, or after a minute of
        // looking (which fails the test rather than hanging it).
        poll = new QTimer(QCoreApplication::instance());
        QObject::connect(poll, &QTimer::timeout, poll, [&completedTitle, &poll, looks = 0]() mutable {
            const bool lastLook = ++looks == 6000;
            for (QWidget* window : QApplication::topLevelWidgets()) {
                auto* progress = qobject_cast<frmProcess*>(window);
                if (progress == nullptr || !progress->isVisible()) continue;
                if (progress->windowTitle() != Completed && !lastLook) return;
                completedTitle = progress->windowTitle();
                progress->close();
            }
            if (!completedTitle.isEmpty() || lastLook) {
                poll->stop();
                poll->deleteLater();
            }
        });
        poll->start(10);
    });
    EXPECT_EQ(RunDesktopSession({}), 0);
    delete poll;
    EXPECT_EQ(completedTitle, Completed);
    EXPECT_TRUE(std::filesystem::exists(data_.File("aout.dat")));
}

}  // namespace
}  // namespace tavox
