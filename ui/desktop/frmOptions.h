#pragma once

#include <QDialog>

#include "app/BatchSettings.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tavox {

// The Options dialog of the main window: the format of the outputs, the
// sample rate, how the average method combines its exposures, the scale and
// unit of the values (with the full-scale voltage), pictures of the outputs,
// the threads of a batch, where method m puts its exposures, the transform
// and how its inputs are read, as the command line's --format, --rate,
// --average, --scale, --unit, --full-scale, --plot, --plot-size, --jobs,
// --layout, --fft, --input-format, --sample-format, --channels and --channel
// take them. Shown modally; OK is enabled while the rate reads as a sample
// rate (or is empty) and the options go together as the command line
// requires.
class frmOptions : public QDialog {
    Q_OBJECT

public:
    // Shows the options of `settings`.
    explicit frmOptions(const BatchSettings& settings, QWidget* parent = nullptr);

    // `settings` given to the constructor with the options as shown.
    BatchSettings Settings() const;

private slots:
    void cboPlot_Change();
    void txtRate_Change();
    void cboScale_Change();
    void cboFormat_Change();
    void cboLayout_Change();

private:
    void createFields();
    void createButtons();
    void Form_Load();
    // The rate the field reads: none for an empty field, nothing when it
    // reads no sample rate.
    std::optional<std::optional<double>> RateShown() const;
    // The full-scale voltage the field reads, if any.
    std::optional<double> FullScaleShown() const;

    BatchSettings settings_;

    QLabel* lblFormat = nullptr;
    QComboBox* cboFormat = nullptr;
    QLabel* lblRate = nullptr;
    QLineEdit* txtRate = nullptr;
    QLabel* lblAverage = nullptr;
    QComboBox* cboAverage = nullptr;
    QLabel* lblScale = nullptr;
    QComboBox* cboScale = nullptr;
    QLabel* lblUnit = nullptr;
    QComboBox* cboUnit = nullptr;
    QLabel* lblFullScale = nullptr;
    QLineEdit* txtFullScale = nullptr;
    QLabel* lblPlot = nullptr;
    QComboBox* cboPlot = nullptr;
    QLabel* lblPlotSize = nullptr;
    QSpinBox* spnPlotWidth = nullptr;
    QLabel* lblTimes = nullptr;
    QSpinBox* spnPlotHeight = nullptr;
    QLabel* lblJobs = nullptr;
    QSpinBox* spnJobs = nullptr;
    QLabel* lblLayout = nullptr;
    QComboBox* cboLayout = nullptr;
    QLabel* lblFft = nullptr;
    QComboBox* cboFft = nullptr;
    QLabel* lblInputFormat = nullptr;
    QComboBox* cboInputFormat = nullptr;
    QLabel* lblSampleFormat = nullptr;
    QComboBox* cboSampleFormat = nullptr;
    QLabel* lblChannels = nullptr;
    QSpinBox* spnChannels = nullptr;
    QLabel* lblChannel = nullptr;
    QSpinBox* spnChannel = nullptr;  // 0: every channel apart
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
};

}  // namespace tavox
