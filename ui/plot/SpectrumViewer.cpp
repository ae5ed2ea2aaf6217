#include "ui/plot/SpectrumViewer.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/DisplayText.h"
#include "data/Path.h"
#include "ui/plot/PlotCanvas.h"
#include "ui/plot/PlotQuantity.h"
#include "ui/plot/PngFile.h"
#include "ui/plot/SpectrogramFile.h"
#include "ui/plot/SpectrogramViewer.h"

namespace tavox {
namespace {

constexpr double ZoomStep = 0.5;
constexpr double PanStep = 0.25;
const QString ReadoutHint = QStringLiteral(
    "Point at a bin, or press R and the arrow keys, to read it. Wheel or drag: zoom; right button: pan.");

// A path as a person reads it: control characters and other bytes escaped.
QString Shown(const std::string& path) {
    return QString::fromStdString(DisplayText(path));
}

}  // namespace

SpectrumViewer::SpectrumViewer(ViewOptions options, std::optional<double> rate, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)), rate_(rate) {
    setObjectName(QStringLiteral("SpectrumViewer"));
    setWindowTitle(QStringLiteral("TAVOX spectrum viewer"));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 6, 6, 6);
    lblReading = new QLabel(central);
    lblReading->setObjectName(QStringLiteral("lblReading"));
    lblReading->setWordWrap(true);
    lblReading->setTextInteractionFlags(Qt::TextSelectableByMouse);
    canvas_ = new PlotCanvas(central);
    layout->addWidget(lblReading);
    layout->addWidget(canvas_, 1);
    setCentralWidget(central);

    lblReadout = new QLabel(this);
    lblReadout->setObjectName(QStringLiteral("lblReadout"));
    statusBar()->addWidget(lblReadout, 1);
    connect(canvas_, &PlotCanvas::readoutChanged, lblReadout,
            [this](const QString& text) { lblReadout->setText(text.isEmpty() ? ReadoutHint : text); });
    lblReadout->setText(ReadoutHint);

    CreateActions();
    setMinimumSize(640, 440);
    resize(1000, 640);
    canvas_->setFocus();
}

SpectrumViewer::~SpectrumViewer() = default;

SpectrumViewer* SpectrumViewer::Open(const std::string& file, const ViewOptions& options, std::optional<double> rate) {
    auto* viewer = new SpectrumViewer(options, rate);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->Load(file);
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
    return viewer;
}

QAction* SpectrumViewer::AddAction(QMenu* menu, const QString& name, const QString& text, const QKeySequence& key) {
    auto* action = new QAction(text, this);
    action->setObjectName(name);
    if (!key.isEmpty()) action->setShortcut(key);
    menu->addAction(action);
    return action;
}

void SpectrumViewer::CreateActions() {
    QMenu* fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* actOpen = AddAction(fileMenu, QStringLiteral("actOpen"), QStringLiteral("&Open..."), QKeySequence::Open);
    QAction* actExportPng = AddAction(fileMenu, QStringLiteral("actExportPng"),
                                      QStringLiteral("Export view as &PNG..."), QKeySequence(Qt::CTRL | Qt::Key_S));
    QAction* actExportCsv =
        AddAction(fileMenu, QStringLiteral("actExportCsv"), QStringLiteral("Export data as &CSV..."),
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
    QAction* actPanLeft = AddAction(viewMenu, QStringLiteral("actPanLeft"), QStringLiteral("Pan &left"),
                                    QKeySequence(Qt::SHIFT | Qt::Key_Left));
    QAction* actPanRight = AddAction(viewMenu, QStringLiteral("actPanRight"), QStringLiteral("Pan &right"),
                                     QKeySequence(Qt::SHIFT | Qt::Key_Right));
    viewMenu->addSeparator();
    actDb = AddAction(viewMenu, QStringLiteral("actDb"), QStringLiteral("&Decibels (dB re 32767)"),
                      QKeySequence(Qt::Key_D));
    actDb->setCheckable(true);
    QAction* actCursor = AddAction(viewMenu, QStringLiteral("actCursor"), QStringLiteral("Read the &strongest bin"),
                                   QKeySequence(Qt::Key_R));

    // Short captions, so that the tool bar fits the minimum width.
    actExportPng->setIconText(QStringLiteral("Export PNG"));
    actExportCsv->setIconText(QStringLiteral("Export CSV"));
    actDb->setIconText(QStringLiteral("dB"));
    QToolBar* tools = addToolBar(QStringLiteral("Tools"));
    tools->setObjectName(QStringLiteral("tools"));
    tools->setMovable(false);
    tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
    for (QAction* action : {actOpen, actExportPng, actExportCsv}) tools->addAction(action);
    tools->addSeparator();
    for (QAction* action : {actZoomIn, actZoomOut, actFitAll, actDb}) tools->addAction(action);
    for (QAction* action : findChildren<QAction*>()) {
        if (!action->shortcut().isEmpty())
            action->setToolTip(action->text().remove('&').remove(QStringLiteral("...")) + QStringLiteral(" (") +
                               action->shortcut().toString(QKeySequence::NativeText) + ')');
    }

    connect(actOpen, &QAction::triggered, this, &SpectrumViewer::actOpen_Triggered);
    connect(actExportPng, &QAction::triggered, this, &SpectrumViewer::actExportPng_Triggered);
    connect(actExportCsv, &QAction::triggered, this, &SpectrumViewer::actExportCsv_Triggered);
    connect(actClose, &QAction::triggered, this, &QWidget::close);
    connect(actZoomIn, &QAction::triggered, canvas_, [this] { canvas_->ZoomBy(ZoomStep); });
    connect(actZoomOut, &QAction::triggered, canvas_, [this] { canvas_->ZoomBy(1 / ZoomStep); });
    connect(actFitAll, &QAction::triggered, canvas_, &PlotCanvas::FitAll);
    connect(actPanLeft, &QAction::triggered, canvas_, [this] { canvas_->PanBy(-PanStep); });
    connect(actPanRight, &QAction::triggered, canvas_, [this] { canvas_->PanBy(PanStep); });
    connect(actDb, &QAction::toggled, this, &SpectrumViewer::actDb_Toggled);
    connect(actCursor, &QAction::triggered, canvas_, [this] { canvas_->MoveCursor(0); });
}

bool SpectrumViewer::Load(const std::string& file) {
    file_ = file;
    const QString name = Shown(PathName(file));
    setWindowTitle(name + QStringLiteral(" \u2013 TAVOX spectrum viewer"));
    const SpectrumReading reading = ReadSpectrumFile(file, options_);
    if (!reading.spectrum) {
        error_ = name + QStringLiteral(": ") + QString::fromStdString(reading.error);
        canvas_->Plot().SetSpectrum(nullptr);
        canvas_->SetMessage(QStringLiteral("This file cannot be shown.\n\n") + error_);
        lblReading->setText(QStringLiteral("<span style='color:#a01e1e'>%1</span>").arg(error_.toHtmlEscaped()));
        return false;
    }
    error_.clear();
    auto spectrum = std::make_shared<const Spectrum>(*reading.spectrum);
    SpectrumPlot& plot = canvas_->Plot();
    plot.SetRate(rate_ ? rate_ : spectrum->rate);
    plot.SetSpectrum(spectrum);
    plot.SetTitle(name, QStringLiteral("read as ") + QString::fromStdString(reading.how));
    canvas_->SetMessage({});
    // Values in dB are levels already; the others name the level they switch to.
    const SpectrumQuantity quantity = spectrum->quantity;
    actDb->setEnabled(!quantity.Decibels());
    actDb->setText(quantity == SpectrumQuantity{}
                       ? QStringLiteral("&Decibels (dB re 32767)")
                       : QStringLiteral("&Decibels (") + QuantityUnit(LevelQuantity(quantity)) + QStringLiteral(")"));
    canvas_->SetDb(actDb->isChecked());
    lblReading->setText(QStringLiteral("<b>%1</b> read as %2")
                            .arg(Shown(file).toHtmlEscaped(), QString::fromStdString(reading.how).toHtmlEscaped()));
    return true;
}

QString SpectrumViewer::ReadingText() const {
    return lblReading->text();
}

bool SpectrumViewer::ExportPng(const QString& file, QString& error) const {
    if (!canvas_->Plot().Data()) {
        error = QStringLiteral("there is no spectrum to export");
        return false;
    }
    QImage image(canvas_->size().expandedTo(QSize(400, 300)), QImage::Format_RGB32);
    SpectrumPlot copy = canvas_->Plot();
    {
        QPainter painter(&image);
        copy.Paint(painter, image.rect());
    }
    error = QString::fromStdString(ReplaceFileAtomically(QFile::encodeName(file).toStdString(), EncodePng(image)));
    return error.isEmpty();
}

bool SpectrumViewer::ExportCsv(const QString& file, QString& error) const {
    const Spectrum* data = canvas_->Plot().Data();
    if (!data) {
        error = QStringLiteral("there is no spectrum to export");
        return false;
    }
    error = QString::fromStdString(
        ReplaceFileAtomically(QFile::encodeName(file).toStdString(), SpectrumCsv(*data, canvas_->Plot().Rate())));
    return error.isEmpty();
}

void SpectrumViewer::actOpen_Triggered() {
    const QString file =
        QFileDialog::getOpenFileName(this, QStringLiteral("Open a spectrum"),
                                     QFileInfo(QFile::decodeName(QByteArray::fromStdString(file_))).absolutePath());
    if (file.isEmpty()) return;
    const std::string path = QFile::encodeName(file).toStdString();
    // A matrix opens in a spectrogram viewer of its own.
    if (IsSpectrogramPath(path)) {
        SpectrogramViewer::Open(path, options_, rate_);
        return;
    }
    options_.width.reset();
    Load(path);
}

void SpectrumViewer::actExportPng_Triggered() {
    const QString file =
        QFileDialog::getSaveFileName(this, QStringLiteral("Export the view as PNG"),
                                     QFile::decodeName(QByteArray::fromStdString(file_)) + QStringLiteral(".view.png"),
                                     QStringLiteral("PNG (*.png)"));
    QString error;
    if (!file.isEmpty() && !ExportPng(file, error)) {
        QMessageBox::warning(this, windowTitle(), QStringLiteral("%1 could not be written: %2").arg(file, error));
    }
}

void SpectrumViewer::actExportCsv_Triggered() {
    const QString file = QFileDialog::getSaveFileName(
        this, QStringLiteral("Export the data as CSV"),
        QFile::decodeName(QByteArray::fromStdString(file_)) + QStringLiteral(".csv"), QStringLiteral("CSV (*.csv)"));
    QString error;
    if (!file.isEmpty() && !ExportCsv(file, error)) {
        QMessageBox::warning(this, windowTitle(), QStringLiteral("%1 could not be written: %2").arg(file, error));
    }
}

void SpectrumViewer::actDb_Toggled(bool checked) {
    canvas_->SetDb(checked);
}

}  // namespace tavox
