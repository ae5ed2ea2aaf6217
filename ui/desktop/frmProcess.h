#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>

class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace tavox {

class Application;
class File;

// The progress window of a standalone batch: files done of all, the
// percentage in the title and one line per finished file. Its button breaks
// the run and, once the run is over, closes the window; outside command-line
// mode a second button opens a fresh main window. In command-line mode the
// window closes itself when the run completes.
class frmProcess : public QWidget {
    Q_OBJECT

public:
    explicit frmProcess(QWidget* parent = nullptr);
    ~frmProcess() override;

    // Binds the window to the events of `app` until the window closes.
    void SetApplication(const std::shared_ptr<Application>& app);

    void apl_WillExecute(std::int16_t& Cancel);
    void apl_FileComplete(std::shared_ptr<File>& File, std::int32_t& Result);
    void apl_ExecuteComplete();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void cmdBreak_Click();
    void cmdRestart_Click();
    void lstMsg_DoubleClick();

private:
    class EventSink;

    void Form_Load();
    void Form_Unload();
    std::string ProgressPercentText() const;
    // Opens the output of the current line in the spectrum viewer; false
    // when that line has none.
    bool OpenCurrentOutput();

    std::shared_ptr<Application> apl;
    std::shared_ptr<EventSink> aplSink_;

    QLabel* lblCurFileMsg = nullptr;
    QLabel* lblCurFileNum = nullptr;
    QLabel* lblFiles = nullptr;
    QLabel* lblFilesNum = nullptr;
    QPushButton* cmdRestart = nullptr;
    QPushButton* cmdBreak = nullptr;
    QGroupBox* frmMsg = nullptr;
    QListWidget* lstMsg = nullptr;
};

}  // namespace tavox
