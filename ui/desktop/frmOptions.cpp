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
constexpr int Rows = 10;

// What the lists show of a name; a name without a text shows as itself.
struct Caption {
    std::string_view name;
    const char* text;
};
constexpr std::array<Caption, 10> Captions{{
    {"raw", "raw – 16bitové vzorky"},
    {"csv", "csv – text s čárkami"},
    {"f32", "f32 – čísla float32"},
    {"npy", "npy – pole NumPy (float64)"},
    {"mean", "mean – aritmetický průměr"},
    {"rms", "rms – efektivní hodnota"},
    {"max", "max – maximum (špičky)"},
    {"median", "median – medián"},
    {"auto", "auto – podle obsahu souboru"},
    {"raw", "raw – vždy surové vzorky"},
}};

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

    cboPlot = Place(new QComboBox(this), QStringLiteral("cboPlot"), FieldLeft, 3, FieldWidth);
    cboPlot->addItem(QStringLiteral("žádné"));
    cboPlot->addItem(QStringLiteral("lineární stupnice"));
    cboPlot->addItem(QStringLiteral("v decibelech"));
    lblPlot = MakeLabel(this, QStringLiteral("lblPlot"), "&Obrázky spekter (PNG)", 3, cboPlot);
    connect(cboPlot, &QComboBox::currentIndexChanged, this, &frmOptions::cboPlot_Change);

    const PlotSettings sizes;
    spnPlotWidth = MakeSpin(this, QStringLiteral("spnPlotWidth"), 400, 8000, FieldLeft, 4, 1140);
    spnPlotWidth->setValue(sizes.width);
    lblTimes = Place(new QLabel(QStringLiteral("×"), this), QStringLiteral("lblTimes"), FieldLeft + 1140, 4, 255);
    lblTimes->setAlignment(Qt::AlignCenter);
    spnPlotHeight = MakeSpin(this, QStringLiteral("spnPlotHeight"), 300, 8000, FieldLeft + 1395, 4, 1140);
    spnPlotHeight->setValue(sizes.height);
    lblPlotSize = MakeLabel(this, QStringLiteral("lblPlotSize"), "Ve&likost obrázků [px]", 4, spnPlotWidth);

    spnJobs = MakeSpin(this, QStringLiteral("spnJobs"), 0, MaxJobs, FieldLeft, 5, FieldWidth);
    spnJobs->setSpecialValueText(QStringLiteral("všechny procesory"));
    lblJobs = MakeLabel(this, QStringLiteral("lblJobs"), "Počet &vláken", 5, spnJobs);

    cboInputFormat = Place(new QComboBox(this), QStringLiteral("cboInputFormat"), FieldLeft, 6, FieldWidth);
    FillNames<InputKind>(cboInputFormat, InputKindName, 8);
    lblInputFormat = MakeLabel(this, QStringLiteral("lblInputFormat"), "Čt&ení vstupních souborů", 6, cboInputFormat);

    cboSampleFormat = Place(new QComboBox(this), QStringLiteral("cboSampleFormat"), FieldLeft, 7, FieldWidth);
    FillNames<SampleFormat>(cboSampleFormat, SampleFormatName, Captions.size());
    lblSampleFormat = MakeLabel(this, QStringLiteral("lblSampleFormat"), "Formát &surových vzorků", 7, cboSampleFormat);

    spnChannels = MakeSpin(this, QStringLiteral("spnChannels"), 1, MaxChannels, FieldLeft, 8, FieldWidth);
    lblChannels = MakeLabel(this, QStringLiteral("lblChannels"), "Počet k&análů surových vzorků", 8, spnChannels);

    spnChannel = MakeSpin(this, QStringLiteral("spnChannel"), 0, MaxChannels, FieldLeft, 9, FieldWidth);
    spnChannel->setSpecialValueText(QStringLiteral("každý zvlášť (_chK)"));
    lblChannel = MakeLabel(this, QStringLiteral("lblChannel"), "&Transformovaný kanál", 9, spnChannel);
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
    if (settings_.plot) {
        cboPlot->setCurrentIndex(settings_.plot->scale == PlotScale::Db ? 2 : 1);
        spnPlotWidth->setValue(settings_.plot->width);
        spnPlotHeight->setValue(settings_.plot->height);
    }
    spnJobs->setValue(settings_.jobs.value_or(0));
    SelectName(cboInputFormat, InputKindName(settings_.input.kind));
    SelectName(cboSampleFormat, SampleFormatName(settings_.input.sampleFormat));
    spnChannels->setValue(settings_.input.channels);
    spnChannel->setValue(settings_.input.eachChannel ? 0 : settings_.input.channel);
    cboPlot_Change();
    txtRate_Change();
}

void frmOptions::cboPlot_Change() {
    const bool pictures = cboPlot->currentIndex() > 0;
    spnPlotWidth->setEnabled(pictures);
    spnPlotHeight->setEnabled(pictures);
}

void frmOptions::txtRate_Change() {
    cmdOK->setEnabled(RateShown().has_value());
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
    settings.plot.reset();
    if (cboPlot->currentIndex() > 0) {
        settings.plot = PlotSettings{cboPlot->currentIndex() == 2 ? PlotScale::Db : PlotScale::Linear,
                                     spnPlotWidth->value(), spnPlotHeight->value()};
    }
    settings.jobs = spnJobs->value();
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
