#include "ui/desktop/frmOptions.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>
#include <array>
#include <charconv>
#include <string>
#include <string_view>

#include "app/Jobs.h"
#include "ui/desktop/Twips.h"

namespace tavox {

namespace {

constexpr int LabelLeft = 120;
constexpr int LabelWidth = 2655;
constexpr int FieldLeft = 2880;
constexpr int FieldWidth = 2535;
constexpr int RowTop = 120;
constexpr int RowStep = 420;
constexpr int Rows = 15;

// What the lists show of a name; a name without a text shows as itself.
struct Caption {
    std::string_view name;
    const char* text;
};
constexpr std::array<Caption, 23> Captions{{
    {"raw", "raw – 16bitové vzorky"},
    {"csv", "csv – text s čárkami"},
    {"f32", "f32 – čísla float32"},
    {"npy", "npy – pole NumPy (float64)"},
    {"npz", "npz – matice NumPy"},
    {"files", "files – soubor na expozici"},
    {"matrix", "matrix – spektrogram"},
    {"mean", "mean – aritmetický průměr"},
    {"rms", "rms – efektivní hodnota"},
    {"max", "max – maximum (špičky)"},
    {"median", "median – medián"},
    {"min", "min – minimum"},
    {"amplitude", "amplitude – amplituda"},
    {"power", "power – výkon"},
    {"psd", "psd – hustota výkonu"},
    {"linear", "linear – vzorky"},
    {"dbfs", "dbfs – dBFS"},
    {"volts", "volts – volty"},
    {"dbv", "dbv – dBV (vůči 1 V)"},
    {"exact", "exact – bit po bitu stejné"},
    {"fast", "fast – rychlá (FFTW)"},
    {"auto", "auto – podle obsahu souboru"},
    {"raw", "raw – vždy surové vzorky"},
}};
// Where the captions of the input kinds begin ("raw" also names a format).
constexpr std::size_t InputKindCaptions = Captions.size() - InputKindNames.size();

// The caption of `name` among the first `count` captions from `first`.
QString CaptionOf(std::string_view name, std::size_t first = 0, std::size_t count = Captions.size()) {
    for (std::size_t i = first; i < std::min(Captions.size(), first + count); ++i) {
        if (Captions[i].name == name) return QString::fromUtf8(Captions[i].text);
    }
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

template <class Control>
Control* Place(Control* control, const QString& name, int left, int row, int width, int height = 315) {
    control->setObjectName(name);
    PlaceTwips(control, left, RowTop + RowStep * row, width, height);
    return control;
}

QLabel* MakeLabel(QWidget* parent, const QString& name, const char* text, int row, QWidget* buddy) {
    auto* label = Place(new QLabel(QString::fromUtf8(text), parent), name, LabelLeft, row, LabelWidth);
    label->setBuddy(buddy);
    return label;
}

// Fills `list` with the names `name` gives the values of Enum, each holding
// its name and shown with its caption among those from `captions`.
template <class Enum, class Name>
void FillNames(QComboBox* list, Name name, std::size_t captions = 0) {
    for (int value = 0; !name(static_cast<Enum>(value)).empty(); ++value) {
        const std::string_view text = name(static_cast<Enum>(value));
        list->addItem(CaptionOf(text, captions), QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    }
}

void SelectName(QComboBox* list, std::string_view name) {
    list->setCurrentIndex(
        std::max(0, list->findData(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())))));
}

QSpinBox* MakeSpin(QWidget* parent, const QString& name, int minimum, int maximum, int left, int row, int width) {
    auto* spin = Place(new QSpinBox(parent), name, left, row, width);
    spin->setRange(minimum, maximum);
    return spin;
}

std::string RateText(double rate) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, rate).ptr);
}

}  // namespace

frmOptions::frmOptions(const BatchSettings& settings, QWidget* parent) : QDialog(parent), settings_(settings) {
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Volby"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);
    UseFormFont(this);
    FixClientSizeTwips(this, 5535, RowTop + RowStep * Rows + 615);

    createFields();
    createButtons();
    Form_Load();
}

void frmOptions::createFields() {
    cboFormat = Place(new QComboBox(this), QStringLiteral("cboFormat"), FieldLeft, 0, FieldWidth);
    FillNames<OutputFormat>(cboFormat, FormatName);
    lblFormat = MakeLabel(this, QStringLiteral("lblFormat"), "&Formát výstupních souborů", 0, cboFormat);

    txtRate = Place(new QLineEdit(this), QStringLiteral("txtRate"), FieldLeft, 1, FieldWidth, 300);
    txtRate->setPlaceholderText(QStringLiteral("nezadán"));
    lblRate = MakeLabel(this, QStringLiteral("lblRate"), "Vzorkovací &kmitočet [Hz]", 1, txtRate);
    connect(txtRate, &QLineEdit::textChanged, this, &frmOptions::txtRate_Change);

    cboAverage = Place(new QComboBox(this), QStringLiteral("cboAverage"), FieldLeft, 2, FieldWidth);
    FillNames<AverageMode>(cboAverage, AverageName);
    lblAverage = MakeLabel(this, QStringLiteral("lblAverage"), "P&růměrování expozic", 2, cboAverage);

    cboScale = Place(new QComboBox(this), QStringLiteral("cboScale"), FieldLeft, 3, FieldWidth);
    FillNames<SpectrumScale>(cboScale, ScaleName);
    lblScale = MakeLabel(this, QStringLiteral("lblScale"), "&Stupnice hodnot", 3, cboScale);

    cboUnit = Place(new QComboBox(this), QStringLiteral("cboUnit"), FieldLeft, 4, FieldWidth);
    FillNames<SpectrumUnit>(cboUnit, UnitName);
    lblUnit = MakeLabel(this, QStringLiteral("lblUnit"), "&Jednotky hodnot", 4, cboUnit);

    txtFullScale = Place(new QLineEdit(this), QStringLiteral("txtFullScale"), FieldLeft, 5, FieldWidth, 300);
    txtFullScale->setPlaceholderText(QStringLiteral("napětí vzorku 32767"));
    lblFullScale = MakeLabel(this, QStringLiteral("lblFullScale"), "Plný rozsa&h [V]", 5, txtFullScale);
    for (QComboBox* list : {cboFormat, cboAverage, cboScale, cboUnit}) {
        connect(list, &QComboBox::currentIndexChanged, this, &frmOptions::cboScale_Change);
    }
    connect(txtFullScale, &QLineEdit::textChanged, this, &frmOptions::cboScale_Change);

    cboPlot = Place(new QComboBox(this), QStringLiteral("cboPlot"), FieldLeft, 6, FieldWidth);
    cboPlot->addItem(QStringLiteral("žádné"));
    cboPlot->addItem(QStringLiteral("lineární stupnice"));
    cboPlot->addItem(QStringLiteral("v decibelech"));
    lblPlot = MakeLabel(this, QStringLiteral("lblPlot"), "&Obrázky spekter (PNG)", 6, cboPlot);
    connect(cboPlot, &QComboBox::currentIndexChanged, this, &frmOptions::cboPlot_Change);

    const PlotSettings sizes;
    spnPlotWidth = MakeSpin(this, QStringLiteral("spnPlotWidth"), 400, 8000, FieldLeft, 7, 1140);
    spnPlotWidth->setValue(sizes.width);
    lblTimes = Place(new QLabel(QStringLiteral("×"), this), QStringLiteral("lblTimes"), FieldLeft + 1140, 7, 255);
    lblTimes->setAlignment(Qt::AlignCenter);
    spnPlotHeight = MakeSpin(this, QStringLiteral("spnPlotHeight"), 300, 8000, FieldLeft + 1395, 7, 1140);
    spnPlotHeight->setValue(sizes.height);
    lblPlotSize = MakeLabel(this, QStringLiteral("lblPlotSize"), "Ve&likost obrázků [px]", 7, spnPlotWidth);

    spnJobs = MakeSpin(this, QStringLiteral("spnJobs"), 0, MaxJobs, FieldLeft, 8, FieldWidth);
    spnJobs->setSpecialValueText(QStringLiteral("všechny procesory"));
    lblJobs = MakeLabel(this, QStringLiteral("lblJobs"), "Počet &vláken", 8, spnJobs);

    cboLayout = Place(new QComboBox(this), QStringLiteral("cboLayout"), FieldLeft, 9, FieldWidth);
    FillNames<OutputLayout>(cboLayout, LayoutName);
    lblLayout = MakeLabel(this, QStringLiteral("lblLayout"), "&Expozice metody m", 9, cboLayout);
    connect(cboFormat, &QComboBox::currentIndexChanged, this, &frmOptions::cboFormat_Change);

    cboFft = Place(new QComboBox(this), QStringLiteral("cboFft"), FieldLeft, 10, FieldWidth);
    FillNames<FftMode>(cboFft, FftModeName);
    lblFft = MakeLabel(this, QStringLiteral("lblFft"), "Tra&nsformace", 10, cboFft);
    connect(cboLayout, &QComboBox::currentIndexChanged, this, &frmOptions::cboLayout_Change);

    cboInputFormat = Place(new QComboBox(this), QStringLiteral("cboInputFormat"), FieldLeft, 11, FieldWidth);
    FillNames<InputKind>(cboInputFormat, InputKindName, InputKindCaptions);
    lblInputFormat = MakeLabel(this, QStringLiteral("lblInputFormat"), "Čtení vst&upních souborů", 11, cboInputFormat);

    cboSampleFormat = Place(new QComboBox(this), QStringLiteral("cboSampleFormat"), FieldLeft, 12, FieldWidth);
    FillNames<SampleFormat>(cboSampleFormat, SampleFormatName, Captions.size());
    lblSampleFormat =
        MakeLabel(this, QStringLiteral("lblSampleFormat"), "For&mát surových vzorků", 12, cboSampleFormat);

    spnChannels = MakeSpin(this, QStringLiteral("spnChannels"), 1, MaxChannels, FieldLeft, 13, FieldWidth);
    lblChannels = MakeLabel(this, QStringLiteral("lblChannels"), "Počet k&análů surových vzorků", 13, spnChannels);

    spnChannel = MakeSpin(this, QStringLiteral("spnChannel"), 0, MaxChannels, FieldLeft, 14, FieldWidth);
    spnChannel->setSpecialValueText(QStringLiteral("každý zvlášť (_chK)"));
    lblChannel = MakeLabel(this, QStringLiteral("lblChannel"), "&Transformovaný kanál", 14, spnChannel);
}

void frmOptions::createButtons() {
    const int top = RowTop + RowStep * Rows + 120;
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    PlaceTwips(cmdOK, 2400, top, 1455, 375);
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("Storno"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    PlaceTwips(cmdCancel, 3960, top, 1455, 375);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmOptions::Form_Load() {
    SelectName(cboFormat, FormatName(settings_.output.format));
    txtRate->setText(settings_.output.rate ? QString::fromStdString(RateText(*settings_.output.rate)) : QString());
    SelectName(cboAverage, AverageName(settings_.output.average));
    const SpectrumOptions& spectrum = settings_.output.spectrum;
    SelectName(cboScale, ScaleName(spectrum.scale));
    SelectName(cboUnit, UnitName(spectrum.unit));
    txtFullScale->setText(spectrum.fullScale ? QString::fromStdString(RateText(*spectrum.fullScale)) : QString());
    if (settings_.plot) {
        cboPlot->setCurrentIndex(settings_.plot->scale == PlotScale::Db ? 2 : 1);
        spnPlotWidth->setValue(settings_.plot->width);
        spnPlotHeight->setValue(settings_.plot->height);
    }
    spnJobs->setValue(settings_.jobs.value_or(0));
    SelectName(cboLayout, LayoutName(settings_.output.layout));
    SelectName(cboFft, FftModeName(spectrum.fft));
    SelectName(cboInputFormat, InputKindName(settings_.input.kind));
    SelectName(cboSampleFormat, SampleFormatName(settings_.input.sampleFormat));
    spnChannels->setValue(settings_.input.channels);
    spnChannel->setValue(settings_.input.eachChannel ? 0 : settings_.input.channel);
    cboPlot_Change();
    cboScale_Change();
}

void frmOptions::cboScale_Change() {
    const SpectrumUnit unit =
        UnitFromName(cboUnit->currentData().toString().toStdString()).value_or(SpectrumUnit::Linear);
    txtFullScale->setEnabled(unit == SpectrumUnit::Volts || unit == SpectrumUnit::Dbv);
    txtRate_Change();
}

void frmOptions::cboPlot_Change() {
    const bool pictures = cboPlot->currentIndex() > 0;
    spnPlotWidth->setEnabled(pictures);
    spnPlotHeight->setEnabled(pictures);
}

// A matrix needs a format that holds its axes, and npz holds nothing else:
// each list follows the other.
void frmOptions::cboFormat_Change() {
    const std::string format = cboFormat->currentData().toString().toStdString();
    if (format == FormatName(OutputFormat::Npz)) SelectName(cboLayout, LayoutName(OutputLayout::Matrix));
    if (format == FormatName(OutputFormat::Raw)) SelectName(cboLayout, LayoutName(OutputLayout::Files));
}

void frmOptions::cboLayout_Change() {
    const std::string layout = cboLayout->currentData().toString().toStdString();
    const std::string format = cboFormat->currentData().toString().toStdString();
    if (layout == LayoutName(OutputLayout::Matrix) && format == FormatName(OutputFormat::Raw))
        SelectName(cboFormat, FormatName(OutputFormat::Npz));
    if (layout == LayoutName(OutputLayout::Files) && format == FormatName(OutputFormat::Npz))
        SelectName(cboFormat, FormatName(OutputFormat::Npy));
}

// OK takes only what the command line would take: a sample rate or none, a
// full scale where the unit needs one, and a scale the format and the
// average mode go with.
void frmOptions::txtRate_Change() {
    if (!RateShown()) {
        cmdOK->setEnabled(false);
        return;
    }
    const BatchSettings shown = Settings();
    const SpectrumOptions& spectrum = shown.output.spectrum;
    const bool volts = spectrum.unit == SpectrumUnit::Volts || spectrum.unit == SpectrumUnit::Dbv;
    const bool rawRefused = spectrum.Quantity() != SpectrumQuantity{} && shown.output.format == OutputFormat::Raw;
    const bool rmsRefused = spectrum.scale != SpectrumScale::Amplitude && shown.output.average == AverageMode::Rms;
    cmdOK->setEnabled((!volts || spectrum.fullScale.has_value()) && !rawRefused && !rmsRefused);
}

std::optional<double> frmOptions::FullScaleShown() const {
    const std::string text = txtFullScale->text().trimmed().replace(QLatin1Char(','), QLatin1Char('.')).toStdString();
    double volts = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), volts);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !ValidFullScale(volts)) {
        return std::nullopt;
    }
    return volts;
}

std::optional<std::optional<double>> frmOptions::RateShown() const {
    // A decimal comma reads as a point.
    const std::string text = txtRate->text().trimmed().replace(QLatin1Char(','), QLatin1Char('.')).toStdString();
    if (text.empty()) return std::optional<double>();
    double rate = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), rate);
    if (error != std::errc() || end != text.data() + text.size() || !ValidRate(rate)) return std::nullopt;
    return std::optional<double>(rate);
}

BatchSettings frmOptions::Settings() const {
    BatchSettings settings = settings_;
    settings.output.format =
        FormatFromName(cboFormat->currentData().toString().toStdString()).value_or(OutputFormat::Raw);
    if (const auto rate = RateShown()) settings.output.rate = *rate;
    settings.output.average =
        AverageFromName(cboAverage->currentData().toString().toStdString()).value_or(AverageMode::Mean);
    SpectrumOptions& spectrum = settings.output.spectrum;
    spectrum.scale = ScaleFromName(cboScale->currentData().toString().toStdString()).value_or(SpectrumScale::Amplitude);
    spectrum.unit = UnitFromName(cboUnit->currentData().toString().toStdString()).value_or(SpectrumUnit::Linear);
    spectrum.fullScale = txtFullScale->isEnabled() ? FullScaleShown() : std::nullopt;
    spectrum.fft = FftModeFromName(cboFft->currentData().toString().toStdString()).value_or(FftMode::Exact);
    settings.plot.reset();
    if (cboPlot->currentIndex() > 0) {
        settings.plot = PlotSettings{cboPlot->currentIndex() == 2 ? PlotScale::Db : PlotScale::Linear,
                                     spnPlotWidth->value(), spnPlotHeight->value()};
    }
    settings.jobs = spnJobs->value();
    settings.output.layout =
        LayoutFromName(cboLayout->currentData().toString().toStdString()).value_or(OutputLayout::Files);
    settings.input.kind =
        InputKindFromName(cboInputFormat->currentData().toString().toStdString()).value_or(InputKind::Detect);
    settings.input.sampleFormat =
        SampleFormatFromName(cboSampleFormat->currentData().toString().toStdString()).value_or(SampleFormat::S16le);
    settings.input.channels = spnChannels->value();
    settings.input.eachChannel = spnChannel->value() == 0;
    settings.input.channel = std::max(1, spnChannel->value());
    return settings;
}

}  // namespace tavox
