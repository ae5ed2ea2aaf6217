#include "ui/plot/SpectrogramViewer.h"

#include <QAction>
#include <QActionGroup>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>
#include <charconv>
#include <filesystem>

#include "app/DisplayText.h"
#include "data/Path.h"
#include "ui/plot/PlotQuantity.h"
#include "ui/plot/PngFile.h"
#include "ui/plot/SpectrogramCanvas.h"
#include "ui/plot/SpectrogramFile.h"
#include "ui/plot/SpectrumFile.h"

namespace tavox {
namespace {

constexpr double ZoomStep = 0.5;
constexpr double PanStep = 0.25;
const QString ReadoutHint = QStringLiteral(
    "Point at the image to read it; click for the spectrum of that time, Ctrl+click for the course of that "
    "frequency. Wheel or drag: zoom; right button: pan.");

// A path as a person reads it: control characters and other bytes escaped.
QString Shown(const std::string& path) {
    return QString::fromStdString(DisplayText(path));
}

// A path as the file dialogs take it.
QString Decoded(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string Shortest(double x) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, x).ptr);
}

}  // namespace

SpectrogramViewer::SpectrogramViewer(ViewOptions options, std::optional<double> rate, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)), rate_(rate) {
    setObjectName(QStringLiteral("SpectrogramViewer"));
    setWindowTitle(QStringLiteral("TAVOX spectrogram viewer"));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 6, 6, 6);
    lblReading = new QLabel(central);
    lblReading->setObjectName(QStringLiteral("lblReading"));
    lblReading->setWordWrap(true);
    lblReading->setTextInteractionFlags(Qt::TextSelectableByMouse);
    canvas_ = new SpectrogramCanvas(central);
    layout->addWidget(lblReading);
    layout->addWidget(canvas_, 1);
    setCentralWidget(central);

    lblReadout = new QLabel(this);
    lblReadout->setObjectName(QStringLiteral("lblReadout"));
    statusBar()->addWidget(lblReadout, 1);
    connect(canvas_, &SpectrogramCanvas::readoutChanged, lblReadout,
            [this](const QString& text) { lblReadout->setText(text.isEmpty() ? ReadoutHint : text); });
    connect(canvas_, &SpectrogramCanvas::plotChanged, this, &SpectrogramViewer::ShowRange);
    lblReadout->setText(ReadoutHint);

    CreateActions();
    setMinimumSize(760, 560);
    resize(1100, 780);
    canvas_->setFocus();
}

SpectrogramViewer::~SpectrogramViewer() = default;

SpectrogramViewer* SpectrogramViewer::Open(const std::string& path, const ViewOptions& options,
                                           std::optional<double> rate) {
    auto* viewer = new SpectrogramViewer(options, rate);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->Load(path);
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
    return viewer;
}

QAction* SpectrogramViewer::AddAction(QMenu* menu, const QString& name, const QString& text, const QKeySequence& key) {
    auto* action = new QAction(text, this);
    action->setObjectName(name);
    if (!key.isEmpty()) action->setShortcut(key);
    menu->addAction(action);
    return action;
}

void SpectrogramViewer::CreateActions() {
    QMenu* fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* actOpen = AddAction(fileMenu, QStringLiteral("actOpen"), QStringLiteral("&Open..."), QKeySequence::Open);
    QAction* actExportPng = AddAction(fileMenu, QStringLiteral("actExportPng"),
                                      QStringLiteral("Export view as &PNG..."), QKeySequence(Qt::CTRL | Qt::Key_S));
    QAction* actExportCsv =
        AddAction(fileMenu, QStringLiteral("actExportCsv"), QStringLiteral("Export slice as &CSV..."),
                  QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    fileMenu->addSeparator();
    QAction* actClose = AddAction(fileMenu, QStringLiteral("actClose"), QStringLiteral("&Close"), QKeySequence::Close);

    QMenu* viewMenu = menuBar()->addMenu(QStringLiteral("&View"));
    QAction* actZoomIn =
        AddAction(viewMenu, QStringLiteral("actZoomIn"), QStringLiteral("Zoom &in"), QKeySequence(Qt::Key_Plus));
    actZoomIn->setShortcuts({QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal), QKeySequence::ZoomIn});
    QAction* actZoomOut =
        AddAction(viewMenu, QStringLiteral("actZoomOut"), QStringLiteral("Zoom &out"), QKeySequence(Qt::Key_Minus));
    actZoomOut->setShortcuts({QKeySequence(Qt::Key_Minus), QKeySequence::ZoomOut});
    QAction* actFitAll =
        AddAction(viewMenu, QStringLiteral("actFitAll"), QStringLiteral("&Fit all"), QKeySequence(Qt::Key_Home));
    actFitAll->setShortcuts({QKeySequence(Qt::Key_Home), QKeySequence(Qt::Key_F)});
    QAction* actPanLeft = AddAction(viewMenu, QStringLiteral("actPanLeft"), QStringLiteral("Pan &earlier"),
                                    QKeySequence(Qt::SHIFT | Qt::Key_Left));
    QAction* actPanRight = AddAction(viewMenu, QStringLiteral("actPanRight"), QStringLiteral("Pan &later"),
                                     QKeySequence(Qt::SHIFT | Qt::Key_Right));
    QAction* actPanUp = AddAction(viewMenu, QStringLiteral("actPanUp"), QStringLiteral("Pan &higher"),
                                  QKeySequence(Qt::SHIFT | Qt::Key_Up));
    QAction* actPanDown = AddAction(viewMenu, QStringLiteral("actPanDown"), QStringLiteral("Pan lo&wer"),
                                    QKeySequence(Qt::SHIFT | Qt::Key_Down));
    viewMenu->addSeparator();
    actDb = AddAction(viewMenu, QStringLiteral("actDb"), QStringLiteral("&Decibels (dB re 32767)"),
                      QKeySequence(Qt::Key_D));
    actDb->setCheckable(true);
    actDb->setChecked(true);
    QAction* actFitColours = AddAction(viewMenu, QStringLiteral("actFitColours"),
                                       QStringLiteral("Fit the &colours to the values"), QKeySequence(Qt::Key_C));
    viewMenu->addSeparator();
    actSliceTime = AddAction(viewMenu, QStringLiteral("actSliceTime"), QStringLiteral("Slice: spectrum at a &time"),
                             QKeySequence(Qt::Key_T));
    actSliceFrequency = AddAction(viewMenu, QStringLiteral("actSliceFrequency"),
                                  QStringLiteral("Slice: course of a fre&quency"), QKeySequence(Qt::Key_Q));
    auto* slices = new QActionGroup(this);
    for (QAction* action : {actSliceTime, actSliceFrequency}) {
        action->setCheckable(true);
        slices->addAction(action);
    }
    actSliceTime->setChecked(true);

    actExportPng->setIconText(QStringLiteral("Export PNG"));
    actExportCsv->setIconText(QStringLiteral("Export slice"));
    actDb->setIconText(QStringLiteral("dB"));
    actSliceTime->setIconText(QStringLiteral("Spectrum"));
    actSliceFrequency->setIconText(QStringLiteral("Course"));
    actFitColours->setIconText(QStringLiteral("Fit colours"));
    QToolBar* tools = addToolBar(QStringLiteral("Tools"));
    tools->setObjectName(QStringLiteral("tools"));
    tools->setMovable(false);
    tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
    for (QAction* action : {actOpen, actExportPng, actExportCsv}) tools->addAction(action);
    tools->addSeparator();
    for (QAction* action : {actZoomIn, actZoomOut, actFitAll, actDb}) tools->addAction(action);
    tools->addSeparator();
    for (QAction* action : {actSliceTime, actSliceFrequency}) tools->addAction(action);
    tools->addSeparator();
    auto* lblColours = new QLabel(QStringLiteral(" Colours "), tools);
    tools->addWidget(lblColours);
    for (QDoubleSpinBox** spin : {&spinLow, &spinHigh}) {
        *spin = new QDoubleSpinBox(tools);
        (*spin)->setRange(-1e12, 1e12);
        (*spin)->setDecimals(1);
        (*spin)->setKeyboardTracking(false);
        (*spin)->setMaximumWidth(120);
        tools->addWidget(*spin);
        connect(*spin, &QDoubleSpinBox::valueChanged, this, &SpectrogramViewer::spinRange_ValueChanged);
    }
    spinLow->setObjectName(QStringLiteral("spinLow"));
    spinHigh->setObjectName(QStringLiteral("spinHigh"));
    spinLow->setToolTip(QStringLiteral("The value of the lowest colour"));
    spinHigh->setToolTip(QStringLiteral("The value of the highest colour"));
    tools->addAction(actFitColours);
    for (QAction* action : findChildren<QAction*>()) {
        if (!action->shortcut().isEmpty())
            action->setToolTip(action->text().remove('&').remove(QStringLiteral("...")) + QStringLiteral(" (") +
                               action->shortcut().toString(QKeySequence::NativeText) + ')');
    }

    connect(actOpen, &QAction::triggered, this, &SpectrogramViewer::actOpen_Triggered);
    connect(actExportPng, &QAction::triggered, this, &SpectrogramViewer::actExportPng_Triggered);
    connect(actExportCsv, &QAction::triggered, this, &SpectrogramViewer::actExportCsv_Triggered);
    connect(actClose, &QAction::triggered, this, &QWidget::close);
    connect(actZoomIn, &QAction::triggered, canvas_, [this] { canvas_->ZoomBy(ZoomStep); });
    connect(actZoomOut, &QAction::triggered, canvas_, [this] { canvas_->ZoomBy(1 / ZoomStep); });
    connect(actFitAll, &QAction::triggered, canvas_, &SpectrogramCanvas::FitAll);
    connect(actPanLeft, &QAction::triggered, canvas_, [this] { canvas_->PanBy(-PanStep, 0); });
    connect(actPanRight, &QAction::triggered, canvas_, [this] { canvas_->PanBy(PanStep, 0); });
    connect(actPanUp, &QAction::triggered, canvas_, [this] { canvas_->PanBy(0, PanStep); });
    connect(actPanDown, &QAction::triggered, canvas_, [this] { canvas_->PanBy(0, -PanStep); });
    connect(actDb, &QAction::toggled, this, &SpectrogramViewer::actDb_Toggled);
    connect(actFitColours, &QAction::triggered, this, [this] {
        canvas_->Plot().SetColourRange(std::nullopt);
        ShowRange();
        canvas_->update();
    });
    connect(actSliceTime, &QAction::triggered, canvas_,
            [this] { canvas_->SetSliceKind(SpectrogramPlot::Slice::AtTime); });
    connect(actSliceFrequency, &QAction::triggered, canvas_,
            [this] { canvas_->SetSliceKind(SpectrogramPlot::Slice::AtFrequency); });
}

bool SpectrogramViewer::Load(const std::string& file) {
    path_ = file;
    const QString path = Shown(file);
    const QString name = PathName(file).empty() ? path : Shown(PathName(file));
    setWindowTitle(name + QStringLiteral(" \u2013 TAVOX spectrogram viewer"));
    std::error_code ignored;
    const bool series = file.find_first_of("*?") != std::string::npos || std::filesystem::is_directory(file, ignored);
    const SpectrogramReading reading = series ? ReadSpectrumSeries(file, options_, rate_) : ReadSpectrogramFile(file);
    SpectrogramPlot& plot = canvas_->Plot();
    if (!reading.data) {
        error_ = name + QStringLiteral(": ") + QString::fromStdString(reading.error);
        plot.SetData(nullptr);
        canvas_->SetMessage(QStringLiteral("This cannot be shown as a spectrogram.\n\n") + error_);
        lblReading->setText(QStringLiteral("<span style='color:#a01e1e'>%1</span>").arg(error_.toHtmlEscaped()));
        return false;
    }
    error_.clear();
    if (rate_ && !series) reading.data->rate = rate_;
    // Values in dB are levels already; the others name the level they switch to.
    const SpectrumQuantity quantity = reading.data->quantity;
    actDb->setEnabled(!quantity.Decibels());
    actDb->setText(quantity == SpectrumQuantity{}
                       ? QStringLiteral("&Decibels (dB re 32767)")
                       : QStringLiteral("&Decibels (") + QuantityUnit(LevelQuantity(quantity)) + QStringLiteral(")"));
    plot.SetData(reading.data);
    plot.SetScale(actDb->isChecked() ? PlotScale::Db : PlotScale::Linear);
    plot.SetTitle(reading.source.empty() ? name : Shown(PathName(reading.source)) + QStringLiteral(" \u2192 ") + name,
                  QStringLiteral("read as ") + QString::fromStdString(reading.how));
    canvas_->SetMessage({});
    ShowRange();
    lblReading->setText(QStringLiteral("<b>%1</b> read as %2")
                            .arg(path.toHtmlEscaped(), QString::fromStdString(reading.how).toHtmlEscaped()));
    return true;
}

QString SpectrogramViewer::ReadingText() const {
    return lblReading->text();
}

void SpectrogramViewer::ShowRange() {
    const auto [low, high] = canvas_->Plot().ColourRange();
    const bool db = canvas_->Plot().Levels();
    showingRange_ = true;
    for (QDoubleSpinBox* spin : {spinLow, spinHigh}) {
        spin->setDecimals(db ? 1 : 3);
        spin->setSuffix(db ? QStringLiteral(" dB") : QString());
    }
    spinLow->setValue(low);
    spinHigh->setValue(high);
    showingRange_ = false;
}

void SpectrogramViewer::SetColourRange(double low, double high) {
    const QSignalBlocker blockLow(spinLow);
    const QSignalBlocker blockHigh(spinHigh);
    spinLow->setValue(low);
    spinHigh->setValue(high);
    spinRange_ValueChanged();
}

void SpectrogramViewer::spinRange_ValueChanged() {
    if (showingRange_) return;
    if (spinHigh->value() > spinLow->value()) {
        canvas_->Plot().SetColourRange(std::pair{spinLow->value(), spinHigh->value()});
        canvas_->update();
    }
}

bool SpectrogramViewer::ExportPng(const QString& file, QString& error) const {
    if (!canvas_->Plot().Data()) {
        error = QStringLiteral("there is no spectrogram to export");
        return false;
    }
    QImage image(canvas_->size().expandedTo(QSize(480, 360)), QImage::Format_RGB32);
    SpectrogramPlot copy = canvas_->Plot();
    {
        QPainter painter(&image);
        copy.Paint(painter, image.rect());
    }
    error = QString::fromStdString(ReplaceFileAtomically(QFile::encodeName(file).toStdString(), EncodePng(image)));
    return error.isEmpty();
}

bool SpectrogramViewer::ExportSliceCsv(const QString& file, QString& error) const {
    const SpectrogramPlot& plot = canvas_->Plot();
    const SpectrogramData* data = plot.Data();
    if (!data || plot.SliceKind() == SpectrogramPlot::Slice::None) {
        error = QStringLiteral("there is no slice to export: click the image for one");
        return false;
    }
    const std::vector<double> values = plot.SliceValues();
    std::string text;
    if (plot.SliceKind() == SpectrogramPlot::Slice::AtTime) {
        Spectrum spectrum;
        spectrum.magnitudes = values;
        spectrum.width = data->width;
        spectrum.quantity = data->quantity;
        text = SpectrumCsv(spectrum, data->rate);
    } else {
        using Time = SpectrogramData::Time;
        text = data->time == Time::Seconds   ? "exposure,time_s,"
               : data->time == Time::Samples ? "exposure,time_samples,"
                                             : "exposure,";
        text += std::string(NamesOf(data->quantity).column) + "\n";
        for (std::size_t row = 0; row < values.size(); ++row) {
            const double time = plot.TimeOfRow(static_cast<double>(row));
            text += data->time == Time::Exposures ? Shortest(time) : std::to_string(row + 1) + "," + Shortest(time);
            text += "," + Shortest(values[row]) + "\n";
        }
    }
    error = QString::fromStdString(ReplaceFileAtomically(QFile::encodeName(file).toStdString(), text));
    return error.isEmpty();
}

void SpectrogramViewer::actOpen_Triggered() {
    const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Open a spectrogram"),
                                                      QFileInfo(Decoded(path_)).absolutePath(),
                                                      QStringLiteral("NumPy matrices (*.npz);;All files (*)"));
    if (!file.isEmpty()) Load(QFile::encodeName(file).toStdString());
}

void SpectrogramViewer::actExportPng_Triggered() {
    const QString file =
        QFileDialog::getSaveFileName(this, QStringLiteral("Export the view as PNG"),
                                     Decoded(path_) + QStringLiteral(".view.png"), QStringLiteral("PNG (*.png)"));
    QString error;
    if (!file.isEmpty() && !ExportPng(file, error)) {
        QMessageBox::warning(this, windowTitle(), QStringLiteral("%1 could not be written: %2").arg(file, error));
    }
}

void SpectrogramViewer::actExportCsv_Triggered() {
    const QString file =
        QFileDialog::getSaveFileName(this, QStringLiteral("Export the slice as CSV"),
                                     Decoded(path_) + QStringLiteral(".slice.csv"), QStringLiteral("CSV (*.csv)"));
    QString error;
    if (!file.isEmpty() && !ExportSliceCsv(file, error)) {
        QMessageBox::warning(this, windowTitle(), QStringLiteral("%1 could not be written: %2").arg(file, error));
    }
}

void SpectrogramViewer::actDb_Toggled(bool checked) {
    canvas_->SetDb(checked);
    ShowRange();
}

}  // namespace tavox
