#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <filesystem>
#include <set>
#include <tuple>
#include <vector>

#include "UiTest.h"
#include "data/FileSystem.h"
#include "ui/desktop/BatchOptionsFile.h"
#include "ui/desktop/SettingsPath.h"
#include "ui/desktop/frmMain.h"
#include "ui/desktop/frmOptions.h"
#include "ui/settings/PrivateProfile.h"

namespace tavox {
namespace {

using test::Find;
using test::Pump;

class frm_options_test : public test::UiTest {
protected:
    frmMain* OpenWindow() {
        frmMain* window = frmMain::Open();
        test::Activate(window);
        return window;
    }
    // Opens the Options dialog of `window` and runs `step` on it.
    void WithOptions(frmMain* window, std::function<void(frmOptions*)> step) {
        bool opened = false;
        test::OnNextModal([&](QWidget* modal) {
            auto* dialog = qobject_cast<frmOptions*>(modal);
            ASSERT_NE(dialog, nullptr);
            opened = true;
            step(dialog);
        });
        QTest::mouseClick(Find<QPushButton>(window, "cmdOptions"), Qt::LeftButton);
        EXPECT_TRUE(opened);
    }
    std::string Option(const char* key) {
        return PrivateProfile(SettingsFilePath(), DefaultFileSystem()).Read(BatchOptionsSection, key);
    }
};

void Choose(QComboBox* list, const QString& name) {
    const int index = list->findData(name);
    ASSERT_GE(index, 0) << name.toStdString();
    list->setCurrentIndex(index);
}

TEST_F(frm_options_test, options_round_trip_through_the_settings_file_and_cancel_keeps_them) {
    frmMain* window = OpenWindow();
    WithOptions(window, [](frmOptions* dialog) {
        auto* ok = Find<QPushButton>(dialog, "cmdOK");
        Choose(Find<QComboBox>(dialog, "cboFormat"), "csv");
        Find<QLineEdit>(dialog, "txtRate")->setText("abc");
        EXPECT_FALSE(ok->isEnabled()) << "a rate that reads as no sample rate";
        Find<QLineEdit>(dialog, "txtRate")->setText("44100,5");
        EXPECT_TRUE(ok->isEnabled());
        Choose(Find<QComboBox>(dialog, "cboAverage"), "rms");
        auto* width = Find<QSpinBox>(dialog, "spnPlotWidth");
        EXPECT_FALSE(width->isEnabled()) << "no pictures, no size";
        Find<QComboBox>(dialog, "cboPlot")->setCurrentIndex(2);
        EXPECT_TRUE(width->isEnabled());
        width->setValue(640);
        Find<QSpinBox>(dialog, "spnPlotHeight")->setValue(480);
        Find<QSpinBox>(dialog, "spnJobs")->setValue(3);
        Choose(Find<QComboBox>(dialog, "cboInputFormat"), "raw");
        Choose(Find<QComboBox>(dialog, "cboSampleFormat"), "f32le");
        Find<QSpinBox>(dialog, "spnChannels")->setValue(4);
        Find<QSpinBox>(dialog, "spnChannel")->setValue(0);
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    // Written when the dialog is accepted, as the command line writes the values.
    const std::vector<std::pair<const char*, std::string>> written{
        {"Format", "csv"},       {"Rate", "44100.5"}, {"Average", "rms"},     {"Plot", "db"},
        {"PlotSize", "640x480"}, {"Jobs", "3"},       {"InputFormat", "raw"}, {"SampleFormat", "f32le"},
        {"Channels", "4"},       {"Channel", "all"}};
    for (const auto& [key, value] : written) EXPECT_EQ(Option(key), value) << key;
    window->close();
    Pump();
    // The main window's own keys stay in their section.
    EXPECT_EQ(PrivateProfile(SettingsFilePath(), DefaultFileSystem()).Read("FFT Parameters", "Width"), "128");

    window = OpenWindow();
    WithOptions(window, [](frmOptions* dialog) {
        EXPECT_EQ(Find<QComboBox>(dialog, "cboFormat")->currentData().toString(), "csv");
        EXPECT_EQ(Find<QLineEdit>(dialog, "txtRate")->text(), "44100.5");
        EXPECT_EQ(Find<QComboBox>(dialog, "cboAverage")->currentData().toString(), "rms");
        EXPECT_EQ(Find<QComboBox>(dialog, "cboPlot")->currentIndex(), 2);
        EXPECT_EQ(Find<QSpinBox>(dialog, "spnPlotWidth")->value(), 640);
        EXPECT_EQ(Find<QSpinBox>(dialog, "spnJobs")->value(), 3);
        EXPECT_EQ(Find<QComboBox>(dialog, "cboSampleFormat")->currentData().toString(), "f32le");
        EXPECT_EQ(Find<QSpinBox>(dialog, "spnChannel")->value(), 0);
        // Cancel keeps what was set.
        Choose(Find<QComboBox>(dialog, "cboFormat"), "npy");
        Find<QComboBox>(dialog, "cboPlot")->setCurrentIndex(0);
        QTest::mouseClick(Find<QPushButton>(dialog, "cmdCancel"), Qt::LeftButton);
    });
    for (const auto& [key, value] : written) EXPECT_EQ(Option(key), value) << key;
    window->close();
}

// A matrix needs a format that holds its axes and npz holds only matrices:
// choosing one sets the other; the layout is kept as --layout writes it.
// Alt plus a label's letter reaches one field only.
TEST_F(frm_options_test, every_label_has_a_mnemonic_of_its_own) {
    frmMain* window = OpenWindow();
    WithOptions(window, [](frmOptions* dialog) {
        std::set<QString> letters;
        for (const QLabel* label : dialog->findChildren<QLabel*>()) {
            if (label->buddy() == nullptr) continue;
            const qsizetype amp = label->text().indexOf(QLatin1Char('&'));
            ASSERT_GE(amp, 0) << label->objectName().toStdString();
            const QString letter = label->text().mid(amp + 1, 1).toLower();
            EXPECT_TRUE(letters.insert(letter).second)
                << label->objectName().toStdString() << " repeats &" << letter.toStdString();
        }
        EXPECT_GE(letters.size(), 14U);
        dialog->reject();
    });
    window->close();
}

TEST_F(frm_options_test, the_layout_and_the_format_follow_each_other) {
    frmMain* window = OpenWindow();
    WithOptions(window,
                [](frmOptions* dialog) { QTest::mouseClick(Find<QPushButton>(dialog, "cmdOK"), Qt::LeftButton); });
    EXPECT_EQ(Option("Layout"), "") << "the default writes no key";
    EXPECT_EQ(Option("Fft"), "") << "the default writes no key";
    WithOptions(window, [](frmOptions* dialog) {
        auto* format = Find<QComboBox>(dialog, "cboFormat");
        auto* layout = Find<QComboBox>(dialog, "cboLayout");
        EXPECT_EQ(layout->currentData().toString(), "files");
        Choose(format, "npz");
        EXPECT_EQ(layout->currentData().toString(), "matrix");
        Choose(layout, "files");
        EXPECT_EQ(format->currentData().toString(), "npy");
        Choose(format, "raw");
        Choose(layout, "matrix");
        EXPECT_EQ(format->currentData().toString(), "npz");
        Choose(format, "csv");
        EXPECT_EQ(layout->currentData().toString(), "matrix");
        Choose(format, "raw");
        EXPECT_EQ(layout->currentData().toString(), "files");
        Choose(format, "f32");
        Choose(layout, "matrix");
        Choose(Find<QComboBox>(dialog, "cboFft"), "fast");
        QTest::mouseClick(Find<QPushButton>(dialog, "cmdOK"), Qt::LeftButton);
    });
    EXPECT_EQ(Option("Layout"), "matrix");
    EXPECT_EQ(Option("Fft"), "fast");
    WithOptions(window, [](frmOptions* dialog) {
        EXPECT_EQ(Find<QComboBox>(dialog, "cboFft")->currentData().toString(), "fast");
        EXPECT_EQ(dialog->Settings().output.spectrum.fft, FftMode::Fast);
        QTest::mouseClick(Find<QPushButton>(dialog, "cmdCancel"), Qt::LeftButton);
    });
    EXPECT_EQ(Option("Format"), "f32");
    window->close();
    // What the command line would refuse together falls back.
    for (const auto& [text, format, layout] : std::vector<std::tuple<const char*, OutputFormat, OutputLayout>>{
             {"Format=raw\nLayout=matrix\n", OutputFormat::Raw, OutputLayout::Files},
             {"Format=npz\n", OutputFormat::Npy, OutputLayout::Files},
             {"Format=npz\nLayout=matrix\n", OutputFormat::Npz, OutputLayout::Matrix}}) {
        test::WriteBytes(SettingsFilePath(), std::string("[Batch Options]\n") + text);
        const BatchSettings read = ReadBatchOptions(PrivateProfile(SettingsFilePath(), DefaultFileSystem()));
        EXPECT_EQ(read.output.format, format) << text;
        EXPECT_EQ(read.output.layout, layout) << text;
    }
}

// Scale, unit and full scale: OK only for what the command line takes
// together; their keys appear once chosen, and read back.
TEST_F(frm_options_test, scale_and_unit_go_with_a_format_that_holds_them_and_a_full_scale) {
    frmMain* window = OpenWindow();
    WithOptions(window,
                [](frmOptions* dialog) { QTest::mouseClick(Find<QPushButton>(dialog, "cmdOK"), Qt::LeftButton); });
    EXPECT_EQ(Option("Scale"), "") << "defaults write no key";
    WithOptions(window, [](frmOptions* dialog) {
        auto* ok = Find<QPushButton>(dialog, "cmdOK");
        auto* fullScale = Find<QLineEdit>(dialog, "txtFullScale");
        EXPECT_FALSE(fullScale->isEnabled());
        Choose(Find<QComboBox>(dialog, "cboScale"), "psd");
        EXPECT_FALSE(ok->isEnabled()) << "raw outputs hold amplitudes only";
        Choose(Find<QComboBox>(dialog, "cboFormat"), "npy");
        EXPECT_TRUE(ok->isEnabled());
        Choose(Find<QComboBox>(dialog, "cboAverage"), "rms");
        EXPECT_FALSE(ok->isEnabled()) << "the rms of power";
        Choose(Find<QComboBox>(dialog, "cboAverage"), "median");
        Choose(Find<QComboBox>(dialog, "cboUnit"), "dbv");
        EXPECT_TRUE(fullScale->isEnabled());
        EXPECT_FALSE(ok->isEnabled()) << "dBV needs the full scale";
        fullScale->setText("2,5");
        EXPECT_TRUE(ok->isEnabled());
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    for (const auto& [key, value] : std::vector<std::pair<const char*, std::string>>{
             {"Format", "npy"}, {"Average", "median"}, {"Scale", "psd"}, {"Unit", "dbv"}, {"FullScale", "2.5"}}) {
        EXPECT_EQ(Option(key), value) << key;
    }
    const BatchSettings read = ReadBatchOptions(PrivateProfile(SettingsFilePath(), DefaultFileSystem()));
    EXPECT_EQ(read.output.spectrum.Quantity(), (SpectrumQuantity{SpectrumScale::Psd, SpectrumUnit::Dbv}));
    EXPECT_EQ(read.output.spectrum.fullScale, 2.5);
    window->close();
    // What the command line would refuse together falls back to the defaults.
    test::WriteBytes(SettingsFilePath(), "[Batch Options]\nScale=power\nUnit=volts\n");
    const BatchSettings raw = ReadBatchOptions(PrivateProfile(SettingsFilePath(), DefaultFileSystem()));
    EXPECT_EQ(raw.output.spectrum, SpectrumOptions{});
}

// A hand-edited section reads value by value as the command line reads the
// options; what it would refuse leaves the default.
TEST_F(frm_options_test, hand_edited_options_read_as_the_command_line_reads_them) {
    struct Case {
        const char* text;
        OutputFormat format;
        std::optional<double> rate;
        AverageMode average;
        std::optional<PlotSettings> plot;
        std::optional<std::int32_t> jobs;
    };
    const Case cases[] = {
        {"Format=npy\nRate=8000\nAverage=median\nPlot=linear\nPlotSize=800x600\nJobs=4\n", OutputFormat::Npy, 8000.0,
         AverageMode::Median, PlotSettings{PlotScale::Linear, 800, 600}, 4},
        {"Format=XLS\nRate=-1\nAverage=mode\nPlot=log\nPlotSize=800x600\nJobs=999\n", OutputFormat::Raw, std::nullopt,
         AverageMode::Mean, std::nullopt, std::nullopt},
        {"Plot=db\nPlotSize=12x1\nRate=1e999\n", OutputFormat::Raw, std::nullopt, AverageMode::Mean,
         PlotSettings{PlotScale::Db, 1200, 700}, std::nullopt},
        {"Rate=\"48000\"\nJobs=0\nPlot=\n", OutputFormat::Raw, 48000.0, AverageMode::Mean, std::nullopt, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        test::WriteBytes(SettingsFilePath(), std::string("[Batch Options]\n") + c.text);
        const BatchSettings read = ReadBatchOptions(PrivateProfile(SettingsFilePath(), DefaultFileSystem()));
        EXPECT_EQ(read.output.format, c.format);
        EXPECT_EQ(read.output.rate, c.rate);
        EXPECT_EQ(read.output.average, c.average);
        EXPECT_EQ(read.plot, c.plot);
        EXPECT_EQ(read.jobs, c.jobs);
        // Written back, it reads the same.
        ASSERT_TRUE(WriteBatchOptions(PrivateProfile(SettingsFilePath(), DefaultFileSystem()), read));
        EXPECT_EQ(ReadBatchOptions(PrivateProfile(SettingsFilePath(), DefaultFileSystem())), read);
    }
}

TEST_F(frm_options_test, a_batch_started_from_the_main_window_honours_the_options) {
    test::TempDir data;
    test::WriteTone(data.File("a.dat"));
    test::WriteBytes(SettingsFilePath(), "[Batch Options]\nFormat=csv\nRate=1000\nPlot=linear\nPlotSize=400x300\n");
    frmMain* window = OpenWindow();
    test::TypeAndLeave(Find<QLineEdit>(window, "txtParam_4"), QString::fromStdString(data.Path()));
    test::TypeAndLeave(Find<QLineEdit>(window, "txtParam_5"), "*.dat");
    test::TypeAndLeave(Find<QLineEdit>(window, "txtParam_6"), "*.csv");
    QTest::mouseClick(Find<QPushButton>(window, "cmdStart"), Qt::LeftButton);
    Pump();
    EXPECT_EQ(test::ReadBytes(data.File("a.csv")).rfind("bin,frequency_hz,magnitude\n0,0,", 0), 0u);
    EXPECT_TRUE(std::filesystem::exists(data.File("a.csv.png")));
    for (QWidget* top : QApplication::topLevelWidgets()) top->close();
}

}  // namespace
}  // namespace tavox
