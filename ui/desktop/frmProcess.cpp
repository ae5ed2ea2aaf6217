#include "ui/desktop/frmProcess.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoopLocker>
#include <QFont>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <algorithm>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/ApplicationEvents.h"
#include "app/DisplayText.h"
#include "app/Files.h"
#include "app/MainModule.h"
#include "app/ProgressText.h"
#include "common/IgnoringErrors.h"
#include "common/Numeric.h"
#include "data/Data.h"
#include "data/SpectrumFormats.h"
#include "engine/File.h"
#include "engine/Parameters.h"
#include "ui/desktop/Twips.h"
#include "ui/desktop/frmMain.h"
#include "ui/plot/SpectrogramFile.h"
#include "ui/plot/SpectrogramViewer.h"
#include "ui/plot/SpectrumViewer.h"

namespace tavox {

namespace {

const char* const TagProperty = "Tag";
// Item data of a line whose file was written: its output and how to read it.
constexpr int OutputRole = Qt::UserRole;
constexpr int WidthRole = Qt::UserRole + 1;
constexpr int PhaseRole = Qt::UserRole + 2;
constexpr int RateRole = Qt::UserRole + 3;  // the rate the source states, when it states one

QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& text, int left, int top, int width, int height) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    PlaceTwips(label, left, top, width, height);
    return label;
}

QPushButton* MakeButton(QWidget* parent, const QString& name, const QString& text, int left, int top, int width,
                        int height) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(true);
    PlaceTwips(button, left, top, width, height);
    return button;
}

}  // namespace

// Forwards the events of the Application to the window while it is open.
class frmProcess::EventSink : public ApplicationEvents {
public:
    explicit EventSink(frmProcess* window) : window_(window) {}
    void Detach() { window_.clear(); }

    void WillExecute(std::int16_t& Cancel) override {
        if (window_) window_->apl_WillExecute(Cancel);
    }
    void FileComplete(std::shared_ptr<File>& File, std::int32_t& Result) override {
        if (window_) window_->apl_FileComplete(File, Result);
    }
    void ExecuteComplete() override {
        if (window_) window_->apl_ExecuteComplete();
    }

private:
    QPointer<frmProcess> window_;
};

frmProcess::frmProcess(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("frmProcess"));
    setWindowTitle(QStringLiteral("Kalmira [připraven]"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    UseFormFont(this);
    FixClientSizeTwips(this, 10170, 2880);

    lblCurFileMsg =
        MakeLabel(this, QStringLiteral("lblCurFileMsg"), QStringLiteral("Zpracovává se:"), 120, 150, 1215, 255);
    lblCurFileNum = MakeLabel(this, QStringLiteral("lblCurFileNum"), QStringLiteral("0"), 1440, 150, 855, 255);
    lblCurFileNum->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblFiles = MakeLabel(this, QStringLiteral("lblFiles"), QStringLiteral(". soubor z"), 2325, 150, 735, 255);
    lblFilesNum = MakeLabel(this, QStringLiteral("lblFilesNum"), QStringLiteral("0"), 3120, 150, 1455, 255);
    cmdRestart = MakeButton(this, QStringLiteral("cmdRestart"), QStringLiteral("&Opakovat"), 7320, 120, 1335, 375);
    cmdBreak = MakeButton(this, QStringLiteral("cmdBreak"), QStringLiteral("&Přerušit"), 8760, 120, 1335, 375);
    cmdBreak->setDefault(true);
    cmdBreak->setProperty(TagProperty, QStringLiteral("0"));

    frmMsg = new QGroupBox(QStringLiteral("Zprávy o průběhu"), this);
    frmMsg->setObjectName(QStringLiteral("frmMsg"));
    PlaceTwips(frmMsg, 120, 600, 9975, 2175);
    lstMsg = new QListWidget(frmMsg);
    lstMsg->setObjectName(QStringLiteral("lstMsg"));
    QFont fixed(QStringLiteral("Liberation Mono"));
    fixed.setStyleHint(QFont::Monospace);
    fixed.setPointSizeF(8.25);
    lstMsg->setFont(fixed);
    PlaceTwips(lstMsg, 120, 240, 9735, 1740);

    setTabOrder(cmdRestart, cmdBreak);
    setTabOrder(cmdBreak, lstMsg);
    // Whenever the window becomes active, Enter goes to cmdBreak, not to the
    // first button of the tab order.
    cmdBreak->setFocus();
    connect(cmdBreak, &QPushButton::clicked, this, &frmProcess::cmdBreak_Click);
    connect(cmdRestart, &QPushButton::clicked, this, &frmProcess::cmdRestart_Click);
    connect(lstMsg, &QListWidget::itemDoubleClicked, this, &frmProcess::lstMsg_DoubleClick);

    CentreWindow(this);
    Form_Load();
}

frmProcess::~frmProcess() {
    Form_Unload();
}

void frmProcess::Form_Load() {
    IgnoringErrors([&] { cmdRestart->setVisible(!CommandLineMode()); });
}

void frmProcess::Form_Unload() {
    if (aplSink_) {
        aplSink_->Detach();
        if (apl) apl->Unsubscribe(aplSink_);
        aplSink_.reset();
    }
    apl.reset();
}

void frmProcess::SetApplication(const std::shared_ptr<Application>& app) {
    Form_Unload();
    apl = app;
    if (!apl) return;
    aplSink_ = std::make_shared<EventSink>(this);
    apl->Subscribe(aplSink_);
}

void frmProcess::apl_WillExecute(std::int16_t& /*Cancel*/) {
    IgnoringErrors([&] { lblCurFileNum->setText(QStringLiteral("0")); });
    IgnoringErrors([&] { lblFilesNum->setText(QString::number(apl->FFTFiles()->Count())); });
    IgnoringErrors([&] { lstMsg->clear(); });
    IgnoringErrors([&] { setWindowTitle(QStringLiteral("Kalmira [pracující - 0%]")); });
    IgnoringErrors([&] { cmdRestart->setEnabled(false); });
}

void frmProcess::apl_FileComplete(std::shared_ptr<File>& File, std::int32_t& Result) {
    IgnoringErrors([&] { lblCurFileNum->setText(QString::number(lblCurFileNum->text().toInt() + 1)); });
    IgnoringErrors([&] {
        const std::string name = File ? File->Name() : std::string();
        auto* item = new QListWidgetItem(QString::fromStdString(ResultLine(DisplayText(name), Result)));
        const std::vector<std::string> outputs = File ? File->GetData().WrittenOutputs() : std::vector<std::string>();
        if (!outputs.empty() && apl) {
            const Parameters& parameters = *apl->FFTParameters();
            // The numbered outputs of a multi open stacked, as a spectrogram;
            // the bytes of the path, whatever their encoding; its text escaped.
            const std::string& first = outputs.front();
            const std::string shown = outputs.size() > 1 ? first.substr(0, first.rfind('.')) + ".*" : first;
            item->setData(OutputRole, QByteArray::fromStdString(shown));
            const std::optional<std::int32_t>& pad = apl->FFTFiles()->GetOutputOptions().spectrum.pad;
            item->setData(WidthRole, std::max(parameters.Width(), pad.value_or(0)));
            item->setData(PhaseRole, parameters.Method() == fftMethodSimple && parameters.Phase());
            if (const auto rate = File->GetData().SourceRate()) item->setData(RateRole, *rate);
            item->setToolTip(
                QStringLiteral("Double-click or Enter: show %1").arg(QString::fromStdString(DisplayText(shown))));
        }
        // Why a source could not be read: libsndfile's words, the SigMF field, the channel.
        if (const std::string problem = File ? File->GetData().SourceProblem() : std::string(); !problem.empty()) {
            item->setToolTip(QString::fromStdString(DisplayText(problem)));
        }
        lstMsg->addItem(item);
        lstMsg->scrollToBottom();
    });
    IgnoringErrors([&] {
        setWindowTitle(QStringLiteral("Kalmira [pracující - %1]").arg(QString::fromStdString(ProgressPercentText())));
    });
}

void frmProcess::apl_ExecuteComplete() {
    IgnoringErrors([&] {
        setWindowTitle(QStringLiteral("Kalmira [dokončeno - %1]").arg(QString::fromStdString(ProgressPercentText())));
    });
    if (CommandLineMode()) {
        close();
        return;
    }
    IgnoringErrors([&] { cmdBreak->setText(QStringLiteral("&Zavřít")); });
    IgnoringErrors([&] { cmdBreak->setProperty(TagProperty, QStringLiteral("1")); });
    IgnoringErrors([&] { cmdRestart->setEnabled(true); });
    IgnoringErrors([&] { cmdBreak->setFocus(); });
}

void frmProcess::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void frmProcess::keyPressEvent(QKeyEvent* event) {
    const bool plain = !event->modifiers() || (event->modifiers() & Qt::KeypadModifier);
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        if (lstMsg->hasFocus() && OpenCurrentOutput()) return;
        cmdBreak->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmProcess::cmdBreak_Click() {
    double tag = 1;
    IgnoringErrors([&] { tag = LeadingNumber(cmdBreak->property(TagProperty).toString().toStdString()); });
    if (tag == 0) {
        if (apl) apl->BreakFFT();
    } else {
        close();
    }
}

void frmProcess::cmdRestart_Click() {
    // No quit while neither window is shown.
    QEventLoopLocker keepRunning;
    IgnoringErrors([&] { hide(); });
    IgnoringErrors([&] { QCoreApplication::processEvents(); });
    IgnoringErrors([&] { frmMain::Open(); });
    close();
}

void frmProcess::lstMsg_DoubleClick() {
    OpenCurrentOutput();
}

bool frmProcess::OpenCurrentOutput() {
    const QListWidgetItem* item = lstMsg->currentItem();
    if (item == nullptr || item->data(OutputRole).toByteArray().isEmpty()) return false;
    ViewOptions view;
    std::optional<double> rate;
    if (apl) {
        const OutputOptions& output = apl->FFTFiles()->GetOutputOptions();
        rate = output.rate;
        if (!rate && item->data(RateRole).isValid()) rate = item->data(RateRole).toDouble();
        view.format = output.format;
        view.quantity = output.spectrum.Quantity();
        if (!SpectrumFormatOf(output.format).selfDescribing) {
            view.width = item->data(WidthRole).toInt();
            view.phase = item->data(PhaseRole).toBool();
        }
    }
    const std::string output = item->data(OutputRole).toByteArray().toStdString();
    if (IsSpectrogramPath(output)) {
        SpectrogramViewer::Open(output, view, rate);
    } else {
        SpectrumViewer::Open(output, view, rate);
    }
    return true;
}

std::string frmProcess::ProgressPercentText() const {
    bool doneRead = false;
    bool totalRead = false;
    const int done = lblCurFileNum->text().toInt(&doneRead);
    const int total = lblFilesNum->text().toInt(&totalRead);
    if (!doneRead || !totalRead) return "0%";
    return ProgressPercent(done, total);
}

}  // namespace tavox
