#pragma once

#include <QWidget>
#include <array>
#include <memory>
#include <string>

#include "app/BatchSettings.h"
#include "common/Enums.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace tavox {

class Application;
class FileSystem;

// The main window: prepares one batch on an Application of its own. Every
// accepted edit goes at once to the Application's Parameters, and the fields
// show back what Parameters holds. Reads the settings file when it loads and
// writes it whenever it closes (the batch options when its Options dialog
// is accepted); Start adds one disk entry, closes the window and then runs
// the batch with the batch options. No step shows an error.
class frmMain : public QWidget {
    Q_OBJECT

public:
    // Builds the window and runs its load sequence; does not show it. A null
    // file system means the real one.
    explicit frmMain(std::shared_ptr<FileSystem> fileSystem = nullptr, QWidget* parent = nullptr);
    ~frmMain() override;

    // Creates a main window that deletes itself when closed, and shows it
    // centred on the screen.
    static frmMain* Open(std::shared_ptr<FileSystem> fileSystem = nullptr);

    // The window's Application; empty once the window has closed.
    std::shared_ptr<Application> ApplicationObject() const { return objApplication; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void optMethod_Click(int index);
    void optWindow_Click(int index);
    void chkCenter_Click();
    void cmdChangePath_Click();
    void cmdStart_Click();
    void cmdEnd_Click();
    void cmdAbout_Click();
    void cmdOptions_Click();
    void keepTabOnCheckedOptions();

private:
    void createMethodGroup();
    void createWindowGroup();
    void createParameterFields();
    void createFilesGroup();
    void createButtons();
    void createTabOrder();

    void Form_Load();
    void CommitField(int index);
    void CommitFocusedField();
    std::string InputPattern() const;
    void RefreshFiles();
    void ShowFreeSpace(const std::string& drive, const std::string& amount);
    std::string BrowseFolder();
    void SelectMethod(int index);
    void SelectWindow(int index);
    fftMethodEnum MethodFromOptions() const;
    bool PhaseFromOptions() const;
    fftWindowEnum WindowFromOptions() const;
    std::string FieldText(int index) const;
    void SetFieldText(int index, const std::string& text);

    // Settings file.
    std::string ReadSetting(int index) const;
    void WriteSetting(int index, const std::string& value) const;
    void LoadSettings();
    void SaveSettings();
    void SaveBatchOptions();
    void CreateSettingsFolder() const;

    std::shared_ptr<FileSystem> fileSystem_;
    std::shared_ptr<Application> objApplication;
    std::string strSettingsFile;
    // What the Options dialog sets: read with the settings, written when the
    // dialog is accepted, given to the batch that Start runs.
    BatchSettings batchOptions_;
    bool unloaded_ = false;

    QGroupBox* fraMethod = nullptr;
    std::array<QRadioButton*, 5> optMethod{};
    QButtonGroup* methodGroup = nullptr;
    QCheckBox* chkCenter = nullptr;
    QGroupBox* fraWeiFunc = nullptr;
    std::array<QRadioButton*, 4> optWindow{};
    QButtonGroup* windowGroup = nullptr;
    std::array<QLineEdit*, 7> txtParam{};
    QLabel* lblPar3 = nullptr;
    QLabel* lblPar6 = nullptr;
    QLabel* lblPar7 = nullptr;
    QLabel* lblPar8 = nullptr;
    QGroupBox* fraFiles = nullptr;
    QLabel* lblPath = nullptr;
    QPushButton* cmdChangePath = nullptr;
    QLabel* lblSpace = nullptr;
    QLabel* lblInFile = nullptr;
    QListWidget* lstFiles = nullptr;
    QLabel* lblMask = nullptr;
    QPushButton* cmdStart = nullptr;
    QPushButton* cmdEnd = nullptr;
    QPushButton* cmdAbout = nullptr;
    QPushButton* cmdOptions = nullptr;
};

}  // namespace tavox
