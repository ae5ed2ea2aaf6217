#pragma once

#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;

namespace tavox {

// The about box: title, version, author line, a caution and the mail link
// for reports. Shown modally, centred over the main window.
class frmAbout : public QDialog {
    Q_OBJECT

public:
    explicit frmAbout(QWidget* parent = nullptr);

    static const char* const ReportAddress;
    // The link that lblEmail opens.
    static QString ReportLink();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void cmdOK_Click();

private:
    void lblEmail_Click();
    void Form_Load();

    QGroupBox* Frame1 = nullptr;
    QLabel* lblAppName = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblCaution = nullptr;
    QLabel* lblEmail = nullptr;
    QPushButton* cmdOK = nullptr;
    QLabel* lblName = nullptr;
};

}  // namespace tavox
