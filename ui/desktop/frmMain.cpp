#include "ui/desktop/frmMain.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoopLocker>
#include <QFileDialog>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <iostream>
#include <optional>
#include <string>

#include "app/Application.h"
#include "app/DisplayText.h"
#include "app/Files.h"
#include "common/IgnoringErrors.h"
#include "common/Numeric.h"
#include "common/Variant.h"
#include "data/FileSystem.h"
#include "data/Path.h"
#include "engine/Parameters.h"
#include "ui/desktop/FieldText.h"
#include "ui/desktop/SettingsPath.h"
#include "ui/desktop/Twips.h"
#include "ui/desktop/frmAbout.h"
#include "ui/desktop/frmOptions.h"
#include "ui/plot/PlotApi.h"

namespace tavox {

namespace {

constexpr int FieldWidth = 0;
constexpr int FieldRepeat = 1;
constexpr int FieldStart = 2;
constexpr int FieldFinish = 3;
constexpr int FieldPath = 4;
constexpr int FieldInMask = 5;
constexpr int FieldOutMask = 6;

const char* const SpaceLinePrefix = "Volné místo na jednotce ";

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

template <class Control>
Control* MakeControl(QWidget* parent, const QString& name, const QString& text, int left, int top, int width,
                     int height) {
    auto* control = new Control(text, parent);
    control->setObjectName(name);
    PlaceTwips(control, left, top, width, height);
    return control;
}

QString Indexed(const char* name, int index) {
    return QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(index);
}

// Runs the batch of `app` with the output options, pictures and threads of
// `options`; a picture that could not be written is named on standard error.
void RunWithOptions(Application& app, const BatchSettings& options) {
    std::shared_ptr<PlotWriter> plots;
    IgnoringErrors([&] {
        if (options.plot) plots = MakePlotWriter(*options.plot, options.output.rate);
        if (plots) {
            plots->SetParameters(app.FFTParameters());
            plots->SetSpectrumOptions(options.output.spectrum);
        }
        ApplyRunSettings(options, app, plots);
        app.FFTExecute();
    });
    if (!plots) return;
    IgnoringErrors([&] {
        for (const std::string& failure : plots->Finish()) std::cerr << "tavox: the picture " << failure << '\n';
    });
}

}  // namespace

frmMain::frmMain(std::shared_ptr<FileSystem> fileSystem, QWidget* parent)
    : QWidget(parent), fileSystem_(fileSystem ? std::move(fileSystem) : DefaultFileSystem()) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Kalmira"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    UseFormFont(this);
    FixClientSizeTwips(this, 8880, 6300);

    createMethodGroup();
    createWindowGroup();
    createParameterFields();
    createFilesGroup();
    createButtons();
    createTabOrder();

    Form_Load();
}

frmMain::~frmMain() = default;

frmMain* frmMain::Open(std::shared_ptr<FileSystem> fileSystem) {
    auto* window = new frmMain(std::move(fileSystem));
    window->setAttribute(Qt::WA_DeleteOnClose);
    CentreWindow(window);
    window->show();
    return window;
}

void frmMain::createMethodGroup() {
    fraMethod = MakeControl<QGroupBox>(this, QStringLiteral("fraMethod"),
                                       QStringLiteral("Metoda provádění transformace"), 120, 120, 3600, 2415);
    methodGroup = new QButtonGroup(this);
    struct Option {
        const char* caption;
        int left, top, width;
    };
    const std::array<Option, 5> options{{
        {"Unknown", 2280, 1440, 1095},
        {"Jednoduchá FFT s &fází", 240, 360, 2415},
        {"Jednoduchá FFT s b&ez fáze", 240, 720, 2415},
        {"&Průměrovaná FFT", 240, 1080, 2415},
        {"&Multi FFT", 240, 1440, 2415},
    }};
    for (int i = 0; i < static_cast<int>(options.size()); ++i) {
        const Option& option = options[i];
        optMethod[i] = MakeControl<QRadioButton>(fraMethod, Indexed("optMethod", i), QString::fromUtf8(option.caption),
                                                 option.left, option.top, option.width, 255);
        methodGroup->addButton(optMethod[i], i);
    }
    // The placeholder can only be selected by the settings loader.
    optMethod[0]->setFocusPolicy(Qt::NoFocus);
    optMethod[0]->hide();
    optMethod[2]->setChecked(true);
    connect(methodGroup, &QButtonGroup::idClicked, this, &frmMain::optMethod_Click);
    connect(methodGroup, &QButtonGroup::idToggled, this, &frmMain::keepTabOnCheckedOptions);

    chkCenter = MakeControl<QCheckBox>(fraMethod, QStringLiteral("chkCenter"), QStringLiteral("&Centrování spekter"),
                                       240, 1920, 2415, 255);
    connect(chkCenter, &QCheckBox::clicked, this, &frmMain::chkCenter_Click);
}

void frmMain::createWindowGroup() {
    fraWeiFunc = MakeControl<QGroupBox>(this, QStringLiteral("fraWeiFunc"), QStringLiteral("Váhová funkce"), 120, 2640,
                                        3600, 1575);
    windowGroup = new QButtonGroup(this);
    struct Option {
        const char* caption;
        int left, top;
    };
    const std::array<Option, 4> options{{
        {"Unknown", 2280, 1080},
        {"Pra&voúhlá", 240, 360},
        {"&Hanningova", 240, 720},
        {"Flat-&Top", 240, 1080},
    }};
    for (int i = 0; i < static_cast<int>(options.size()); ++i) {
        optWindow[i] =
            MakeControl<QRadioButton>(fraWeiFunc, Indexed("optWindow", i), QString::fromUtf8(options[i].caption),
                                      options[i].left, options[i].top, 1215, 255);
        windowGroup->addButton(optWindow[i], i);
    }
    optWindow[0]->setFocusPolicy(Qt::NoFocus);
    optWindow[0]->hide();
    optWindow[3]->setChecked(true);
    connect(windowGroup, &QButtonGroup::idClicked, this, &frmMain::optWindow_Click);
    connect(windowGroup, &QButtonGroup::idToggled, this, &frmMain::keepTabOnCheckedOptions);
}

void frmMain::createParameterFields() {
    lblPar3 = MakeControl<QLabel>(this, QStringLiteral("lblPar3"), QStringLiteral("Délka výpočtové vstupní sekvence"),
                                  120, 4365, 2640, 255);
    lblPar6 = MakeControl<QLabel>(this, QStringLiteral("lblPar6"), QStringLiteral("Počet opakování expozice"), 120,
                                  4710, 2040, 255);
    lblPar7 = MakeControl<QLabel>(this, QStringLiteral("lblPar7"), QStringLiteral("Počátek hodnocení v souboru"), 120,
                                  5070, 2280, 255);
    lblPar8 = MakeControl<QLabel>(this, QStringLiteral("lblPar8"), QStringLiteral("Konec hodnocení v souboru"), 120,
                                  5430, 2160, 255);
    const std::array<const char*, 4> initial{"128", "1", "0", "0"};
    for (int i = 0; i < 4; ++i) {
        txtParam[i] = MakeControl<QLineEdit>(this, Indexed("txtParam", i), QLatin1String(initial[i]), 2760,
                                             4320 + 360 * i, 930, 300);
    }
}

void frmMain::createFilesGroup() {
    fraFiles =
        MakeControl<QGroupBox>(this, QStringLiteral("fraFiles"), QStringLiteral("Soubory"), 3840, 120, 4935, 5580);
    lblPath = MakeControl<QLabel>(fraFiles, QStringLiteral("lblPath"), QStringLiteral("Aktuální pracovní adresář"), 240,
                                  360, 1935, 255);
    cmdChangePath = MakeControl<QPushButton>(fraFiles, QStringLiteral("cmdChangePath"),
                                             QStringLiteral("Prochá&zet ..."), 3480, 330, 1215, 255);
    txtParam[FieldPath] = MakeControl<QLineEdit>(fraFiles, Indexed("txtParam", FieldPath),
                                                 QStringLiteral("Pracovní adresář"), 240, 600, 4455, 300);
    // Linux has no drive letters: the mount point appears once the list is filled.
    lblSpace = MakeControl<QLabel>(fraFiles, QStringLiteral("lblSpace"), QString::fromUtf8(SpaceLinePrefix).trimmed(),
                                   240, 960, 4455, 255);
    lblInFile = MakeControl<QLabel>(fraFiles, QStringLiteral("lblInFile"),
                                    QStringLiteral("Vstupní soubor (platí *-ová konvence)"), 240, 1440, 2760, 255);
    txtParam[FieldInMask] =
        MakeControl<QLineEdit>(fraFiles, Indexed("txtParam", FieldInMask), QString(), 3070, 1395, 1620, 300);
    lstFiles = new QListWidget(fraFiles);
    lstFiles->setObjectName(QStringLiteral("lstFiles"));
    lstFiles->setSelectionMode(QAbstractItemView::SingleSelection);
    PlaceTwips(lstFiles, 240, 1800, 4455, 3180);
    lblMask = MakeControl<QLabel>(fraFiles, QStringLiteral("lblMask"),
                                  QStringLiteral("Maska pro jméno výstupního souboru"), 240, 5160, 2745, 255);
    txtParam[FieldOutMask] = MakeControl<QLineEdit>(fraFiles, Indexed("txtParam", FieldOutMask),
                                                    QStringLiteral("*out.*"), 3070, 5115, 1620, 300);

    for (QLineEdit* field : txtParam) field->installEventFilter(this);
    connect(cmdChangePath, &QPushButton::clicked, this, &frmMain::cmdChangePath_Click);
}

void frmMain::createButtons() {
    cmdStart =
        MakeControl<QPushButton>(this, QStringLiteral("cmdStart"), QStringLiteral("&Start"), 5040, 5880, 1800, 375);
    cmdEnd = MakeControl<QPushButton>(this, QStringLiteral("cmdEnd"), QStringLiteral("&Konec"), 6960, 5880, 1800, 375);
    cmdAbout =
        MakeControl<QPushButton>(this, QStringLiteral("cmdAbout"), QStringLiteral("&O aplikaci"), 120, 5880, 1815, 375);
    cmdOptions =
        MakeControl<QPushButton>(this, QStringLiteral("cmdOptions"), QStringLiteral("Vo&lby…"), 2055, 5880, 1815, 375);
    // Enter presses the focused button, else Start (see keyPressEvent).
    for (QPushButton* button : {cmdChangePath, cmdStart, cmdEnd, cmdAbout, cmdOptions}) button->setAutoDefault(true);
    cmdStart->setDefault(true);
    connect(cmdStart, &QPushButton::clicked, this, &frmMain::cmdStart_Click);
    connect(cmdEnd, &QPushButton::clicked, this, &frmMain::cmdEnd_Click);
    connect(cmdAbout, &QPushButton::clicked, this, &frmMain::cmdAbout_Click);
    connect(cmdOptions, &QPushButton::clicked, this, &frmMain::cmdOptions_Click);
}

void frmMain::createTabOrder() {
    const std::array<QWidget*, 21> chain{
        optMethod[1], optMethod[2], optMethod[3], optMethod[4], optWindow[1],  optWindow[2], optWindow[3],
        txtParam[0],  txtParam[1],  txtParam[2],  txtParam[3],  cmdChangePath, txtParam[4],  txtParam[5],
        lstFiles,     txtParam[6],  cmdStart,     cmdEnd,       cmdAbout,      chkCenter,    cmdOptions,
    };
    for (std::size_t i = 0; i + 1 < chain.size(); ++i) setTabOrder(chain[i], chain[i + 1]);
    keepTabOnCheckedOptions();
}

// Tab enters an option group at its selected option (at the first one while
// a placeholder is selected); the arrow keys move within the group.
void frmMain::keepTabOnCheckedOptions() {
    for (QButtonGroup* group : {methodGroup, windowGroup}) {
        const QAbstractButton* placeholder = group->button(0);
        QAbstractButton* stop = group->checkedButton();
        if (stop == nullptr || stop == placeholder) stop = group->button(1);
        for (QAbstractButton* option : group->buttons()) {
            if (option != placeholder) option->setFocusPolicy(option == stop ? Qt::StrongFocus : Qt::ClickFocus);
        }
    }
}

void frmMain::Form_Load() {
    IgnoringErrors([&] { objApplication = Application::Create(fileSystem_); });
    IgnoringErrors([&] { SetFieldText(FieldPath, NormalizeFolder({})); });
    IgnoringErrors([&] { strSettingsFile = SettingsFilePath(); });
    // The window shows Flat-Top selected; Parameters holds the same from the start.
    IgnoringErrors([&] { optWindow_Click(3); });
    IgnoringErrors([&] { LoadSettings(); });
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (!unloaded_) {
        unloaded_ = true;
        IgnoringErrors([&] { CommitFocusedField(); });
        IgnoringErrors([&] { SaveSettings(); });
        objApplication.reset();
    }
    event->accept();
}

void frmMain::keyPressEvent(QKeyEvent* event) {
    if (!event->modifiers() || (event->modifiers() & Qt::KeypadModifier)) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            cmdStart->click();
            return;
        }
        if (event->key() == Qt::Key_Escape) {
            cmdEnd->click();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    const auto found = std::find(txtParam.begin(), txtParam.end(), watched);
    if (found != txtParam.end() && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
        QLineEdit* field = *found;
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (event->type() == QEvent::FocusIn) {
            // A mouse press places the cursor after focus-in: select once it is handled.
            field->selectAll();
            QTimer::singleShot(0, field, &QLineEdit::selectAll);
        } else if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && !unloaded_) {
            CommitField(static_cast<int>(found - txtParam.begin()));
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmMain::optMethod_Click(int index) {
    struct Choice {
        fftMethodEnum method;
        bool phase;
    };
    static constexpr std::array<Choice, 5> choices{{
        {fftMethodSimple, false},
        {fftMethodSimple, true},
        {fftMethodSimple, false},
        {fftMethodAverage, false},
        {fftMethodMulti, false},
    }};
    if (index < 0 || index >= static_cast<int>(choices.size()) || !objApplication) return;
    const auto parameters = objApplication->FFTParameters();
    IgnoringErrors([&] { parameters->SetMethod(choices[index].method); });
    IgnoringErrors([&] { parameters->SetPhase(choices[index].phase); });
    IgnoringErrors([&] { SetFieldText(FieldRepeat, std::to_string(parameters->Repeat())); });
}

void frmMain::optWindow_Click(int index) {
    if (!objApplication) return;
    IgnoringErrors([&] { objApplication->FFTParameters()->SetWindow(index - 1); });
}

void frmMain::chkCenter_Click() {
    if (!objApplication) return;
    IgnoringErrors([&] { objApplication->FFTParameters()->SetCenter(chkCenter->isChecked()); });
}

void frmMain::cmdChangePath_Click() {
    std::string folder;
    IgnoringErrors([&] { folder = BrowseFolder(); });
    if (folder.empty()) return;
    IgnoringErrors([&] { SetFieldText(FieldPath, folder); });
    IgnoringErrors([&] { CommitField(FieldPath); });
}

void frmMain::cmdStart_Click() {
    IgnoringErrors([&] { CommitFocusedField(); });
    IgnoringErrors([&] {
        if (!objApplication) return;
        Variant source(InputPattern());
        Variant target(FieldText(FieldOutMask));
        objApplication->FFTFiles()->AddDisk(source, target);
    });
    const std::shared_ptr<Application> kept = objApplication;
    // Keeps the process alive between this window's close and the progress window.
    auto running = std::make_shared<QEventLoopLocker>();
    close();
    QTimer::singleShot(0, QCoreApplication::instance(), [kept, running, options = batchOptions_] {
        if (kept) RunWithOptions(*kept, options);
    });
}

void frmMain::cmdEnd_Click() {
    close();
}

void frmMain::cmdOptions_Click() {
    IgnoringErrors([&] {
        frmOptions dialog(batchOptions_, this);
        CentreWindow(&dialog, this);
        if (dialog.exec() != QDialog::Accepted) return;
        batchOptions_ = dialog.Settings();
        SaveBatchOptions();
    });
}

void frmMain::cmdAbout_Click() {
    IgnoringErrors([&] {
        frmAbout about(this);
        about.exec();
    });
}

void frmMain::CommitField(int index) {
    if (index < 0 || index >= static_cast<int>(txtParam.size())) return;
    const std::shared_ptr<Parameters> parameters = objApplication ? objApplication->FFTParameters() : nullptr;
    const std::string text = FieldText(index);
    switch (index) {
        case FieldWidth:
            if (!parameters) return;
            IgnoringErrors([&] { parameters->SetWidth(LocaleTextToInt32(text)); });
            IgnoringErrors([&] { SetFieldText(index, std::to_string(parameters->Width())); });
            break;
        case FieldRepeat:
            if (!parameters) return;
            IgnoringErrors([&] { parameters->SetRepeat(LocaleTextToInt32(text)); });
            IgnoringErrors([&] { SetFieldText(index, std::to_string(parameters->Repeat())); });
            break;
        case FieldStart:
            if (!parameters) return;
            IgnoringErrors([&] { parameters->SetStart(Variant(text)); });
            IgnoringErrors([&] { SetFieldText(index, FormatRangeValue(parameters->Start())); });
            break;
        case FieldFinish:
            if (!parameters) return;
            IgnoringErrors([&] { parameters->SetFinish(Variant(text)); });
            IgnoringErrors([&] { SetFieldText(index, FormatRangeValue(parameters->Finish())); });
            break;
        case FieldPath:
            IgnoringErrors([&] { SetFieldText(index, NormalizeFolder(text)); });
            IgnoringErrors([&] { RefreshFiles(); });
            break;
        case FieldInMask:
            IgnoringErrors([&] { RefreshFiles(); });
            break;
        case FieldOutMask:
            IgnoringErrors([&] { SetFieldText(index, NormalizeOutputMask(text)); });
            break;
        default:
            break;
    }
}

void frmMain::CommitFocusedField() {
    const QWidget* focused = QApplication::focusWidget();
    const auto found = std::find(txtParam.begin(), txtParam.end(), focused);
    if (found != txtParam.end()) CommitField(static_cast<int>(found - txtParam.begin()));
}

// An empty input mask stands for every file, in the list and for Start alike.
std::string frmMain::InputPattern() const {
    const std::string pattern = FieldText(FieldPath) + FieldText(FieldInMask);
    const std::string mask = PathName(pattern);
    return PathFolder(pattern) + (mask.empty() ? std::string(1, '*') : mask);
}

void frmMain::RefreshFiles() {
    const std::string pattern = InputPattern();
    const std::string folder = PathFolder(pattern);
    const std::string mask = PathName(pattern);

    IgnoringErrors([&] { lstFiles->clear(); });
    IgnoringErrors([&] {
        // A name shows control characters and bytes that are not UTF-8 escaped.
        for (const std::string& name : fileSystem_->List(folder, mask)) lstFiles->addItem(Text(DisplayText(name)));
    });
    std::string drive;
    IgnoringErrors([&] { drive = fileSystem_->MountPoint(folder); });
    std::optional<std::uint64_t> freeBytes;
    IgnoringErrors([&] {
        if (!drive.empty()) freeBytes = fileSystem_->FreeSpace(drive);
    });
    IgnoringErrors([&] { ShowFreeSpace(drive, FormatFreeSpace(freeBytes)); });
}

// A long mount point loses its middle, so that the amount and its unit
// always show; the whole line is the tooltip.
void frmMain::ShowFreeSpace(const std::string& drive, const std::string& amount) {
    const QString prefix = QString::fromUtf8(SpaceLinePrefix);
    const QString tail = QStringLiteral("     ") + Text(amount);
    const QString mount = Text(drive);
    const QFontMetrics metrics(lblSpace->font());
    const int room = lblSpace->contentsRect().width() - metrics.horizontalAdvance(prefix + tail);
    lblSpace->setText(prefix + metrics.elidedText(mount, Qt::ElideMiddle, std::max(room, 0)) + tail);
    lblSpace->setToolTip(prefix + mount + tail);
}

std::string frmMain::BrowseFolder() {
    const QString folder =
        QFileDialog::getExistingDirectory(nullptr, QStringLiteral("Vyberte pracovní adresář transformace"),
                                          QStringLiteral("/"), QFileDialog::ShowDirsOnly);
    return folder.toStdString();
}

void frmMain::SelectMethod(int index) {
    if (index < 0 || index >= static_cast<int>(optMethod.size())) return;
    optMethod[index]->setChecked(true);
    optMethod_Click(index);
}

void frmMain::SelectWindow(int index) {
    if (index < 0 || index >= static_cast<int>(optWindow.size())) return;
    optWindow[index]->setChecked(true);
    optWindow_Click(index);
}

fftMethodEnum frmMain::MethodFromOptions() const {
    if (optMethod[3]->isChecked()) return fftMethodAverage;
    if (optMethod[4]->isChecked()) return fftMethodMulti;
    return fftMethodSimple;
}

bool frmMain::PhaseFromOptions() const {
    return optMethod[1]->isChecked();
}

fftWindowEnum frmMain::WindowFromOptions() const {
    if (optWindow[2]->isChecked()) return fftWindowHanning;
    if (optWindow[3]->isChecked()) return fftWindowFlatTop;
    return fftWindowRectangle;
}

std::string frmMain::FieldText(int index) const {
    return txtParam[index]->text().toStdString();
}

void frmMain::SetFieldText(int index, const std::string& text) {
    txtParam[index]->setText(Text(text));
}

}  // namespace tavox
