#pragma once

#include <QMainWindow>
#include <QString>
#include <optional>
#include <string>

#include "ui/plot/PlotOptions.h"

class QAction;
class QDoubleSpinBox;
class QLabel;
class QMenu;

namespace tavox {

class SpectrogramCanvas;

// A window of its own on a spectrogram: an .npz matrix, or the numbered
// outputs of a multi stacked (a folder or a pattern). The image with zoom
// and pan in time and frequency and a readout of time, frequency and value;
// a slice under it (a click: the spectrum of that time, Ctrl+click: the
// course of that frequency); dB or linear; a colour range of one's own;
// export of the view as PNG and of the slice as CSV.
class SpectrogramViewer : public QMainWindow {
    Q_OBJECT

public:
    // `options` say how numbered outputs are read; `rate` gives their bins in Hz.
    explicit SpectrogramViewer(ViewOptions options = {}, std::optional<double> rate = std::nullopt,
                               QWidget* parent = nullptr);
    ~SpectrogramViewer() override;

    // Opens a viewer that deletes itself when closed, on `path` (its bytes,
    // whatever their encoding).
    static SpectrogramViewer* Open(const std::string& path, const ViewOptions& options = {},
                                   std::optional<double> rate = std::nullopt);

    // Reads and shows the spectrogram; false (with the message shown) when there is none.
    bool Load(const std::string& path);
    // Writes the view as a PNG of the canvas's size, or the slice as CSV
    // (a spectrum as --format=csv writes it, or the course of a bin as
    // exposure, time and magnitude); false, with the reason in `error`.
    bool ExportPng(const QString& file, QString& error) const;
    bool ExportSliceCsv(const QString& file, QString& error) const;
    // The values the lowest and highest colours stand for, as the tool bar sets them.
    void SetColourRange(double low, double high);

    SpectrogramCanvas* Canvas() const noexcept { return canvas_; }
    QString ReadingText() const;
    QString ErrorText() const { return error_; }

private slots:
    void actOpen_Triggered();
    void actExportPng_Triggered();
    void actExportCsv_Triggered();
    void actDb_Toggled(bool checked);
    void spinRange_ValueChanged();

private:
    void CreateActions();
    QAction* AddAction(QMenu* menu, const QString& name, const QString& text, const QKeySequence& key);
    // Shows the colour range of the plot in the spin boxes.
    void ShowRange();

    ViewOptions options_;
    std::optional<double> rate_;
    std::string path_;
    QString error_;
    SpectrogramCanvas* canvas_ = nullptr;
    QLabel* lblReading = nullptr;
    QLabel* lblReadout = nullptr;
    QAction* actDb = nullptr;
    QAction* actSliceTime = nullptr;
    QAction* actSliceFrequency = nullptr;
    QDoubleSpinBox* spinLow = nullptr;
    QDoubleSpinBox* spinHigh = nullptr;
    bool showingRange_ = false;
};

}  // namespace tavox
