#pragma once

#include <QMainWindow>
#include <QString>
#include <memory>
#include <optional>
#include <string>

#include "ui/plot/PlotOptions.h"
#include "ui/plot/SpectrumFile.h"

class QAction;
class QLabel;

namespace tavox {

class PlotCanvas;

// A window of its own on one spectrum file: the plot with zoom, pan and a
// readout, a linear/dB toggle, "fit all", export of the view as PNG and of
// the data as CSV, each action on a key too. A file that is no spectrum
// shows why instead of a plot.
class SpectrumViewer : public QMainWindow {
    Q_OBJECT

public:
    // `options` say how to read files (width, phases, format); `rate` gives
    // the x axis in Hz.
    explicit SpectrumViewer(ViewOptions options = {}, std::optional<double> rate = std::nullopt,
                            QWidget* parent = nullptr);
    ~SpectrumViewer() override;

    // Opens a viewer that deletes itself when closed, on the file of path
    // `file` (its bytes, whatever their encoding).
    static SpectrumViewer* Open(const std::string& file, const ViewOptions& options = {},
                                std::optional<double> rate = std::nullopt);

    // Reads and shows the file; false (with the message shown) when it is no
    // spectrum. Its name, in the title and the texts, shows control
    // characters and bytes that are not UTF-8 escaped (DisplayText).
    bool Load(const std::string& file);
    // Writes the view as a PNG of the plot's size, or the data as CSV; false,
    // with the reason in `error`, on failure.
    bool ExportPng(const QString& file, QString& error) const;
    bool ExportCsv(const QString& file, QString& error) const;

    PlotCanvas* Canvas() const noexcept { return canvas_; }
    // How the file was read, or why it could not be.
    QString ReadingText() const;
    QString ErrorText() const { return error_; }

private slots:
    void actOpen_Triggered();
    void actExportPng_Triggered();
    void actExportCsv_Triggered();
    void actDb_Toggled(bool checked);

private:
    void CreateActions();
    QAction* AddAction(QMenu* menu, const QString& name, const QString& text, const QKeySequence& key);

    ViewOptions options_;
    std::optional<double> rate_;
    std::string file_;
    QString error_;
    PlotCanvas* canvas_ = nullptr;
    QLabel* lblReading = nullptr;
    QLabel* lblReadout = nullptr;
    QAction* actDb = nullptr;
};

}  // namespace tavox
