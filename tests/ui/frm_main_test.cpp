#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "UiTest.h"
#include "app/Application.h"
#include "app/Files.h"
#include "app/MainModule.h"
#include "common/Variant.h"
#include "data/Path.h"
#include "engine/Parameters.h"
#include "support/FaultyFileSystem.h"
#include "ui/desktop/DesktopHooks.h"
#include "ui/desktop/FieldText.h"
#include "ui/desktop/SettingsPath.h"
#include "ui/desktop/frmMain.h"
#include "ui/desktop/frmProcess.h"
#include "ui/settings/PrivateProfile.h"

namespace tavox {
namespace {

using test::Activate;
using test::Find;
using test::Pump;
using test::TypeAndLeave;

class frm_main_test : public test::UiTest {
protected:
    // Opens a main window (deleted when closed) and activates it.
    frmMain* OpenWindow(std::shared_ptr<FileSystem> fileSystem = nullptr) {
        frmMain* window = frmMain::Open(std::move(fileSystem));
        Activate(window);
        return window;
    }
    QLineEdit* Field(const QWidget* window, int index) {
        return Find<QLineEdit>(window, ("txtParam_" + std::to_string(index)).c_str());
    }
    QString Commit(const QWidget* window, int index, const QString& text) {
        TypeAndLeave(Field(window, index), text);
        return Field(window, index)->text();
    }
    std::shared_ptr<Parameters> ParametersOf(const frmMain* window) {
        return window->ApplicationObject()->FFTParameters();
    }
    void WriteSettings(const std::string& text) { test::WriteBytes(SettingsFilePath(), "[FFT Parameters]\n" + text); }
    std::string Setting(const char* key) {
        return PrivateProfile(SettingsFilePath(), DefaultFileSystem()).Read("FFT Parameters", key);
    }
};

// Clicks an option or check box on its indicator, where a user clicks.
void ClickOption(QAbstractButton* option) {
    QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(6, option->height() / 2));
}

QStringList Items(const QListWidget* list) {
    QStringList names;
    for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
    return names;
}

TEST_F(frm_main_test, width_and_repeat_show_what_parameters_hold) {
    frmMain* window = OpenWindow();
    const auto parameters = ParametersOf(window);
    EXPECT_EQ(Commit(window, 0, "100"), "128");
    EXPECT_EQ(Commit(window, 0, "129"), "256");
    EXPECT_EQ(parameters->Width(), 256);
    EXPECT_EQ(Commit(window, 0, "abc"), "256");
    EXPECT_EQ(Commit(window, 0, ""), "256");
    EXPECT_EQ(Commit(window, 0, "100000"), "65536");
    EXPECT_EQ(Commit(window, 0, "-300"), "512");
    EXPECT_EQ(Commit(window, 0, " 1000 "), "1024");

    EXPECT_EQ(Commit(window, 1, "0"), "1");
    EXPECT_EQ(Commit(window, 1, "-5"), "5");
    EXPECT_EQ(Commit(window, 1, "1500"), "999");
    EXPECT_EQ(Commit(window, 1, "1"), "1");

    // Average raises a Repeat of 1 to 2 at once; Simple again leaves 2.
    ClickOption(Find<QRadioButton>(window, "optMethod_3"));
    EXPECT_EQ(Field(window, 1)->text(), "2");
    EXPECT_EQ(parameters->Method(), fftMethodAverage);
    EXPECT_EQ(Commit(window, 1, "1"), "2");
    ClickOption(Find<QRadioButton>(window, "optMethod_2"));
    EXPECT_EQ(parameters->Method(), fftMethodSimple);
    EXPECT_EQ(Field(window, 1)->text(), "2");
    window->close();
}

TEST_F(frm_main_test, numbers_follow_the_locale_but_range_texts_read_a_point) {
    test::CommaLocale comma;
    frmMain* window = OpenWindow();
    EXPECT_EQ(Commit(window, 0, "300,5"), "512");
    EXPECT_EQ(Commit(window, 0, "1000.5"), "512");
    EXPECT_EQ(Commit(window, 2, "0,5"), "0");
    EXPECT_EQ(Commit(window, 2, "0.5"), "50%");
    EXPECT_EQ(Commit(window, 3, "2.5"), "2.5");
    // The shown text commits to the same value again.
    EXPECT_EQ(Commit(window, 3, Field(window, 3)->text()), "2.5");
    EXPECT_EQ(ParametersOf(window)->FinishPosition(1000), 2);
    window->close();
}

TEST_F(frm_main_test, start_and_finish_show_positions_and_percentages) {
    frmMain* window = OpenWindow();
    EXPECT_EQ(Commit(window, 2, "0.5"), "50%");
    EXPECT_EQ(ParametersOf(window)->StartPosition(1000), 500);
    EXPECT_EQ(Commit(window, 2, "25%"), "25%");
    EXPECT_EQ(Commit(window, 2, "150%"), "100%");
    EXPECT_EQ(Commit(window, 2, "1000"), "1000");
    EXPECT_EQ(Commit(window, 2, ""), "0");
    EXPECT_EQ(ParametersOf(window)->StartPosition(1000), 1);
    EXPECT_EQ(Commit(window, 3, "0,5"), "0");
    EXPECT_EQ(Commit(window, 3, "1e20"), "1E+20");
    EXPECT_EQ(Commit(window, 3, "12.25%"), "12%");
    window->close();
}

TEST_F(frm_main_test, output_mask_and_folder_are_normalised) {
    frmMain* window = OpenWindow();
    EXPECT_EQ(Commit(window, 6, ""), "*out.*");
    EXPECT_EQ(Commit(window, 6, "x??y"), "xy");
    EXPECT_EQ(Commit(window, 6, "**a**.b**"), "a*.b*");
    EXPECT_EQ(Commit(window, 6, "sub/res?.txt"), "res.txt");
    EXPECT_EQ(Commit(window, 6, "noext."), "noext");
    EXPECT_EQ(Commit(window, 6, "???"), "");

    const QString program = QString::fromStdString(ProgramDir());
    EXPECT_EQ(Field(window, 4)->text(), program);
    EXPECT_EQ(Commit(window, 4, ""), program);
    EXPECT_EQ(Commit(window, 4, "data"), program + "data/");
    EXPECT_EQ(Commit(window, 4, "a/b/"), program + "a/b/");
    EXPECT_EQ(Commit(window, 4, "/srv/x"), "/srv/x/");
    EXPECT_EQ(Commit(window, 4, "/"), "/");
    window->close();
}

TEST_F(frm_main_test, file_list_and_free_space_line_follow_folder_and_mask) {
    test::TempDir data;
    for (const char* name : {"b.dat", "a.dat", "c.txt", ".hidden.dat"}) test::WriteBytes(data.File(name), "xx");
    std::filesystem::create_directory(data.File("sub.dat"));
    test::CommaLocale comma;
    frmMain* window = OpenWindow(std::make_shared<test::FixedSpaceFileSystem>("/mnt/data", 1500000));
    auto* list = Find<QListWidget>(window, "lstFiles");
    auto* space = Find<QLabel>(window, "lblSpace");
    EXPECT_EQ(list->count(), 0);

    Commit(window, 4, QString::fromStdString(data.Path()));
    EXPECT_EQ(Items(list), QStringList({"a.dat", "b.dat", "c.txt"}));
    EXPECT_EQ(space->text(), QString::fromUtf8("Volné místo na jednotce /mnt/data     1464,844 kB"));
    Commit(window, 5, "*.dat");
    EXPECT_EQ(Items(list), QStringList({"a.dat", "b.dat"}));
    Commit(window, 5, "?.t*");
    EXPECT_EQ(Items(list), QStringList({"c.txt"}));
    // Control characters and bytes that are not UTF-8 show escaped.
    for (const char* name : {"new\nline.txt", "bad\xff.txt", "\x1b[2J.txt"}) test::WriteBytes(data.File(name), "x");
    Commit(window, 5, "*.txt");
    EXPECT_EQ(Items(list), QStringList({"\\x1b[2J.txt", "bad\\xff.txt", "c.txt", "new\\nline.txt"}));
    Commit(window, 4, QString::fromStdString(data.File("missing")));
    EXPECT_EQ(list->count(), 0);
    window->close();

    // The real file system names the mount point of the folder.
    window = OpenWindow();
    Commit(window, 4, QString::fromStdString(data.Path()));
    EXPECT_TRUE(Find<QLabel>(window, "lblSpace")->text().startsWith(QString::fromUtf8("Volné místo na jednotce /")));
    window->close();
}

// A long mount point loses its middle; the amount and its unit always show.
TEST_F(frm_main_test, free_space_line_keeps_the_amount_of_a_long_mount_point) {
    test::TempDir data;
    test::CommaLocale comma;
    const std::string longer = "/media/someone/" + std::string(80, 'x') + "/end";
    for (const std::string& mount : {std::string("/media/user/WD Elements"), longer}) {
        frmMain* window = OpenWindow(std::make_shared<test::FixedSpaceFileSystem>(mount, 3000000000000ull));
        Commit(window, 4, QString::fromStdString(data.Path()));
        auto* space = Find<QLabel>(window, "lblSpace");
        const QString shown = space->text();
        const QString full =
            QString::fromUtf8("Volné místo na jednotce ") + QString::fromStdString(mount) + "     2,728484 TB";
        EXPECT_TRUE(shown.startsWith(QString::fromUtf8("Volné místo na jednotce /media/"))) << shown.toStdString();
        EXPECT_TRUE(shown.endsWith("     2,728484 TB")) << shown.toStdString();
        EXPECT_LE(space->fontMetrics().horizontalAdvance(shown), space->contentsRect().width());
        EXPECT_EQ(space->toolTip(), full);
        EXPECT_TRUE(shown == full || shown.contains(QChar(0x2026))) << shown.toStdString();
        window->close();
    }
}

// An empty input mask lists every file, and Start takes exactly those.
TEST_F(frm_main_test, start_with_an_empty_input_mask_takes_every_listed_file) {
    test::TempDir data;
    test::WriteTone(data.File("one.dat"));
    test::WriteTone(data.File("two.txt"));
    std::shared_ptr<Application> run;
    HostHooks hooks = DesktopHooks();
    hooks.openProgressWindow = [&](const std::shared_ptr<Application>& app) { run = app; };
    InstallHostHooks(hooks);
    frmMain* window = OpenWindow();
    Commit(window, 4, QString::fromStdString(data.Path()));
    Commit(window, 5, "");
    EXPECT_EQ(Items(Find<QListWidget>(window, "lstFiles")), QStringList({"one.dat", "two.txt"}));
    QTest::mouseClick(Find<QPushButton>(window, "cmdStart"), Qt::LeftButton);
    Pump();
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(run->FFTFiles()->Count(), 2);
    EXPECT_TRUE(std::filesystem::exists(data.File("oneout.dat")));
    EXPECT_TRUE(std::filesystem::exists(data.File("twoout.txt")));
}

TEST_F(frm_main_test, free_space_amounts) {
    EXPECT_EQ(FormatFreeSpace(std::nullopt), "0 B");
    EXPECT_EQ(FormatFreeSpace(0), "0 B");
    EXPECT_EQ(FormatFreeSpace(512), "512 B");
    EXPECT_EQ(FormatFreeSpace(1023), "1023 B");
    EXPECT_EQ(FormatFreeSpace(1024), "1 kB");
    EXPECT_EQ(FormatFreeSpace(1536), "1.5 kB");
    EXPECT_EQ(FormatFreeSpace(2147483647), "2097152 kB");
    EXPECT_EQ(FormatFreeSpace(3ull << 30), "3 GB");
    EXPECT_EQ(FormatFreeSpace((5ull << 30) + (1ull << 29)), "5.5 GB");
    EXPECT_EQ(FormatFreeSpace(1536ull << 30), "1.5 TB");
    test::CommaLocale comma;
    EXPECT_EQ(FormatFreeSpace(1536), "1,5 kB");
    EXPECT_EQ(FormatFreeSpace(1500000), "1464,844 kB");
}

TEST_F(frm_main_test, placeholders_cannot_be_reached) {
    frmMain* window = OpenWindow();
    auto* method0 = Find<QRadioButton>(window, "optMethod_0");
    auto* window0 = Find<QRadioButton>(window, "optWindow_0");

    // Tab visits the controls in their order and never a placeholder.
    const QStringList expected{"optMethod_2", "optWindow_3",   "txtParam_0", "txtParam_1", "txtParam_2",
                               "txtParam_3",  "cmdChangePath", "txtParam_4", "txtParam_5", "lstFiles",
                               "txtParam_6",  "cmdStart",      "cmdEnd",     "cmdAbout",   "chkCenter"};
    Find<QRadioButton>(window, "optMethod_2")->setFocus(Qt::TabFocusReason);
    QStringList visited;
    for (int i = 0; i < expected.size(); ++i) {
        visited << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(visited, expected);

    // Arrow keys walk the groups without ever landing on a placeholder.
    Find<QRadioButton>(window, "optMethod_1")->setFocus(Qt::TabFocusReason);
    for (const auto key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Right, Qt::Key_Up}) {
        QTest::keyClick(QApplication::focusWidget(), key);
        EXPECT_FALSE(method0->isChecked());
        EXPECT_NE(QApplication::focusWidget(), method0);
    }
    Find<QRadioButton>(window, "optWindow_3")->setFocus(Qt::TabFocusReason);
    for (const auto key : {Qt::Key_Down, Qt::Key_Right, Qt::Key_Down, Qt::Key_Up}) {
        QTest::keyClick(QApplication::focusWidget(), key);
        EXPECT_FALSE(window0->isChecked());
    }

    // A click where a placeholder sits selects nothing.
    auto* frame = Find<QGroupBox>(window, "fraMethod");
    const QPoint where = method0->geometry().center();
    const auto before = ParametersOf(window)->Phase();
    QTest::mouseClick(frame, Qt::LeftButton, {}, where);
    EXPECT_FALSE(method0->isChecked());
    EXPECT_FALSE(method0->isVisible());
    EXPECT_FALSE(window0->isVisible());
    EXPECT_EQ(ParametersOf(window)->Phase(), before);
    window->close();
}

TEST_F(frm_main_test, options_and_centring_go_to_parameters_at_once) {
    frmMain* window = OpenWindow();
    const auto parameters = ParametersOf(window);
    // The shown Flat-Top selection holds from the start.
    EXPECT_EQ(parameters->Window(), fftWindowFlatTop);
    ClickOption(Find<QRadioButton>(window, "optMethod_1"));
    EXPECT_EQ(parameters->Method(), fftMethodSimple);
    EXPECT_TRUE(parameters->Phase());
    ClickOption(Find<QRadioButton>(window, "optMethod_4"));
    EXPECT_EQ(parameters->Method(), fftMethodMulti);
    EXPECT_FALSE(parameters->Phase());
    ClickOption(Find<QRadioButton>(window, "optWindow_2"));
    EXPECT_EQ(parameters->Window(), fftWindowHanning);
    ClickOption(Find<QRadioButton>(window, "optWindow_1"));
    EXPECT_EQ(parameters->Window(), fftWindowRectangle);
    ClickOption(Find<QCheckBox>(window, "chkCenter"));
    EXPECT_TRUE(parameters->Center());
    QTest::keyClick(Find<QCheckBox>(window, "chkCenter"), Qt::Key_Space);
    EXPECT_FALSE(parameters->Center());
    window->close();
}

TEST_F(frm_main_test, closing_saves_eleven_keys_and_the_next_window_shows_them) {
    frmMain* window = OpenWindow();
    Commit(window, 0, "4096");
    Commit(window, 5, "*.dat");
    ClickOption(Find<QRadioButton>(window, "optMethod_3"));
    ClickOption(Find<QRadioButton>(window, "optWindow_2"));
    ClickOption(Find<QCheckBox>(window, "chkCenter"));
    // Esc closes; the field still being edited is stored committed.
    Field(window, 2)->setFocus(Qt::TabFocusReason);
    Field(window, 2)->setText("0.25");
    QTest::keyClick(Field(window, 2), Qt::Key_Escape);
    Pump();
    EXPECT_TRUE(test::VisibleWindows().empty());

    EXPECT_EQ(test::ReadBytes(SettingsFilePath()),
              "[FFT Parameters]\nWidth=4096\nRepeat=2\nStart=25%\nFinish=0\nPath=" + ProgramDir() +
                  "\nInMask=*.dat\nOutMask=*out.*\nMethod=1\nPhase=False\nCenter=1\nWindow=1\n");

    window = OpenWindow();
    EXPECT_EQ(Field(window, 0)->text(), "4096");
    EXPECT_EQ(Field(window, 2)->text(), "25%");
    EXPECT_EQ(Field(window, 5)->text(), "*.dat");
    EXPECT_TRUE(Find<QRadioButton>(window, "optMethod_3")->isChecked());
    EXPECT_TRUE(Find<QRadioButton>(window, "optWindow_2")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>(window, "chkCenter")->isChecked());
    const auto parameters = ParametersOf(window);
    EXPECT_EQ(parameters->Width(), 4096);
    EXPECT_EQ(parameters->Method(), fftMethodAverage);
    EXPECT_EQ(parameters->Window(), fftWindowHanning);
    EXPECT_TRUE(parameters->Center());
    EXPECT_EQ(parameters->Start(), Variant(0.25));
    QTest::mouseClick(Find<QPushButton>(window, "cmdEnd"), Qt::LeftButton);
    Pump();
}

TEST_F(frm_main_test, hand_edited_settings_open_as_if_typed) {
    test::TempDir data;
    test::WriteBytes(data.File("x.dat"), "1234");
    test::WriteBytes(data.File("y.txt"), "1234");
    WriteSettings("Width=100\nRepeat=1\nMethod=1\nPhase=True\nCenter=1\nWindow=0\nPath=" + data.Path() + "\nInMask=\n");
    frmMain* window = OpenWindow();
    auto parameters = ParametersOf(window);
    EXPECT_EQ(Field(window, 0)->text(), "128");
    EXPECT_EQ(Field(window, 1)->text(), "2");
    EXPECT_TRUE(Find<QRadioButton>(window, "optMethod_3")->isChecked());
    EXPECT_FALSE(parameters->Phase());
    EXPECT_TRUE(Find<QCheckBox>(window, "chkCenter")->isChecked());
    EXPECT_TRUE(parameters->Center());
    EXPECT_TRUE(Find<QRadioButton>(window, "optWindow_1")->isChecked());
    EXPECT_EQ(parameters->Window(), fftWindowRectangle);
    EXPECT_EQ(Field(window, 5)->text(), "");
    EXPECT_EQ(Items(Find<QListWidget>(window, "lstFiles")), QStringList({"x.dat", "y.txt"}));
    window->close();

    struct Case {
        std::string settings;
        const char* method;
        bool phase;
        const char* window;
    };
    const std::vector<Case> cases{
        {"Method=0\nPhase=True\n", "optMethod_1", true, "optWindow_1"},
        {"Method=0\nPhase=tRUE\nWindow=2\n", "optMethod_1", true, "optWindow_3"},
        {"Method=0\nPhase=-1\nWindow=1.5\n", "optMethod_1", true, "optWindow_2"},
        {"Method=0\nPhase=yes\n", "optMethod_2", false, "optWindow_1"},
        {"Method=-1\n", "optMethod_1", true, "optWindow_1"},
        {"Method=-2\n", "optMethod_0", false, "optWindow_1"},
        {"Method=5\nWindow=9\n", "optMethod_2", false, "optWindow_3"},
        {"Method= 2abc\n", "optMethod_4", false, "optWindow_1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        WriteSettings(c.settings);
        window = OpenWindow();
        EXPECT_TRUE(Find<QRadioButton>(window, c.method)->isChecked());
        EXPECT_EQ(ParametersOf(window)->Phase(), c.phase);
        EXPECT_TRUE(Find<QRadioButton>(window, c.window)->isChecked());
        window->close();
        // What was loaded is what is saved.
        EXPECT_EQ(Setting("Phase"), c.phase ? "True" : "False");
    }

    WriteSettings("Center=2\nPath=rel/data\nOutMask=**x?\n");
    window = OpenWindow();
    EXPECT_FALSE(Find<QCheckBox>(window, "chkCenter")->isChecked());
    EXPECT_EQ(Field(window, 4)->text().toStdString(), ProgramDir() + "rel/data/");
    EXPECT_EQ(Field(window, 6)->text(), "*x");
    window->close();
}

// What the window shows of the settings: the fields and the checked options.
std::vector<std::string> SettingsShown(const QWidget* window) {
    std::vector<std::string> shown;
    for (int index = 0; index < 7; ++index) {
        shown.push_back(Find<QLineEdit>(window, ("txtParam_" + std::to_string(index)).c_str())->text().toStdString());
    }
    for (const QRadioButton* option : window->findChildren<QRadioButton*>()) {
        if (option->isChecked()) shown.push_back(option->objectName().toStdString());
    }
    shown.push_back(Find<QCheckBox>(window, "chkCenter")->isChecked() ? "centred" : "not centred");
    return shown;
}

TEST_F(frm_main_test, settings_that_cannot_be_read_or_written_open_as_a_file_without_keys_and_stay) {
    WriteSettings("");
    frmMain* window = OpenWindow();
    const std::vector<std::string> withoutKeys = SettingsShown(window);
    window->close();

    WriteSettings("Width=4096\nRepeat=1\nMethod=1\nCenter=1\nWindow=0\n");
    const std::string before = test::ReadBytes(SettingsFilePath());
    auto fileSystem = std::make_shared<test::FaultyFileSystem>();
    fileSystem->FailEvery(test::FsCall::ReadSmallFile);
    fileSystem->FailEvery(test::FsCall::ReplaceFile);
    window = OpenWindow(fileSystem);
    EXPECT_EQ(SettingsShown(window), withoutKeys);
    Commit(window, 0, "256");
    window->close();
    EXPECT_GT(fileSystem->Calls(test::FsCall::ReadSmallFile), 0);
    EXPECT_EQ(test::ReadBytes(SettingsFilePath()), before);
}

TEST_F(frm_main_test, start_saves_first_then_runs_and_restart_shows_the_run) {
    test::TempDir data;
    test::WriteTone(data.File("one.dat"));
    test::WriteTone(data.File("two.dat"));

    std::shared_ptr<Parameters> used;
    QPointer<frmProcess> progress;
    bool settingsBeforeRun = false;
    HostHooks hooks = DesktopHooks();
    hooks.openProgressWindow = [&](const std::shared_ptr<Application>& app) {
        settingsBeforeRun = Setting("Width") == "512" && Setting("Method") == "0";
        used = app->FFTParameters();
        progress = OpenProgressWindow(app);
    };
    InstallHostHooks(hooks);

    frmMain* window = OpenWindow();
    QPointer<frmMain> guard(window);
    Commit(window, 4, QString::fromStdString(data.Path()));
    Commit(window, 5, "*.dat");
    Commit(window, 6, "*_s.*");
    ClickOption(Find<QRadioButton>(window, "optMethod_1"));
    ClickOption(Find<QRadioButton>(window, "optWindow_2"));
    // Enter while typing commits the field and presses Start.
    Field(window, 0)->setFocus(Qt::TabFocusReason);
    Field(window, 0)->selectAll();
    QTest::keyClicks(Field(window, 0), "300");
    QTest::keyClick(Field(window, 0), Qt::Key_Return);
    Pump();

    EXPECT_TRUE(guard.isNull());
    EXPECT_TRUE(settingsBeforeRun);
    ASSERT_TRUE(used);
    EXPECT_EQ(used->Width(), 512);
    EXPECT_TRUE(used->Phase());
    EXPECT_EQ(used->Window(), fftWindowHanning);
    EXPECT_TRUE(std::filesystem::exists(data.File("one_s.dat")));
    EXPECT_TRUE(std::filesystem::exists(data.File("two_s.dat")));
    ASSERT_FALSE(progress.isNull());
    EXPECT_EQ(progress->windowTitle(), QString::fromUtf8("Kalmira [dokončeno - 100%]"));

    auto* restart = Find<QPushButton>(progress, "cmdRestart");
    ASSERT_TRUE(restart->isVisible() && restart->isEnabled());
    QTest::mouseClick(restart, Qt::LeftButton);
    Pump();
    EXPECT_TRUE(progress.isNull());
    frmMain* again = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible()) again = qobject_cast<frmMain*>(top);
    }
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(Field(again, 0)->text(), "512");
    EXPECT_EQ(Field(again, 6)->text(), "*_s.*");
    EXPECT_TRUE(Find<QRadioButton>(again, "optMethod_1")->isChecked());
    EXPECT_TRUE(Find<QRadioButton>(again, "optWindow_2")->isChecked());
    EXPECT_EQ(Items(Find<QListWidget>(again, "lstFiles")),
              QStringList({"one.dat", "one_s.dat", "two.dat", "two_s.dat"}));
    again->close();
}

TEST_F(frm_main_test, browse_sets_the_folder_and_cancel_changes_nothing) {
    test::TempDir data;
    test::WriteBytes(data.File("p.dat"), "1234");
    frmMain* window = OpenWindow();
    const QString before = Field(window, 4)->text();
    auto* browse = Find<QPushButton>(window, "cmdChangePath");

    test::OnNextModal([](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("Vyberte pracovní adresář transformace"));
        dialog->reject();
    });
    QTest::mouseClick(browse, Qt::LeftButton);
    EXPECT_EQ(Field(window, 4)->text(), before);

    const QString chosen = QString::fromStdString(data.Path()).chopped(1);
    test::OnNextModal([chosen](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->setDirectory(chosen);
        static_cast<QDialog*>(dialog)->accept();
    });
    QTest::mouseClick(browse, Qt::LeftButton);
    EXPECT_EQ(Field(window, 4)->text(), chosen + "/");
    EXPECT_EQ(Items(Find<QListWidget>(window, "lstFiles")), QStringList({"p.dat"}));
    window->close();
}

TEST_F(frm_main_test, about_button_opens_the_about_box_modally) {
    frmMain* window = OpenWindow();
    QString title;
    QWidget* owner = nullptr;
    test::OnNextModal([&](QWidget* modal) {
        title = modal->windowTitle();
        owner = modal->parentWidget();
        QTest::keyClick(modal, Qt::Key_Return);
    });
    QTest::mouseClick(Find<QPushButton>(window, "cmdAbout"), Qt::LeftButton);
    EXPECT_EQ(title, "About Kalmira");
    EXPECT_EQ(owner, window);
    EXPECT_TRUE(window->isVisible());
    window->close();
}

}  // namespace
}  // namespace tavox
