#include "app/SpectrumTables.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <new>

#include "engine/MeasureStep.h"
#include "engine/OctaveBands.h"
#include "engine/Parameters.h"

namespace tavox {
namespace {

// A CSV field: quoted when it holds a comma, a quote or a line break.
std::string Field(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    return quoted + '"';
}

// The shortest text that reads back as `x`; empty for NaN or infinity.
std::string Number(double x) {
    if (!std::isfinite(x)) return {};
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, x).ptr;
    return std::string(text, end);
}

}  // namespace

SpectrumTables::SpectrumTables(const BatchSettings& settings) : settings_(settings) {}

// Made with the first row, or at the end of a batch without one, so that a
// command line refused for its fields leaves no table behind.
bool SpectrumTables::OpenTable() {
    if (table_.is_open() || !error_.empty()) return table_.is_open();
    table_.open(*settings_.measureTable, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!table_) {
        error_ = *settings_.measureTable + " could not be written: " + std::strerror(errno);
        failures_.push_back(error_);
        return false;
    }
    table_ << "input,output,exposure";
    for (const std::string_view name : MeasureNames(settings_.output.measure->harmonics)) table_ << ',' << name;
    table_ << ",problem\n";
    return true;
}

bool SpectrumTables::Wanted(const BatchSettings& settings) noexcept {
    return (settings.output.measure && settings.measureTable) || settings.output.bands != 0;
}

void SpectrumTables::SetParameters(std::shared_ptr<const Parameters> parameters) {
    parameters_ = std::move(parameters);
}

void SpectrumTables::Written(const WrittenSpectrum& written) noexcept {
    try {
        if (Measuring() && written.measures != nullptr && OpenTable()) WriteMeasures(written);
        if (settings_.output.bands != 0 && parameters_) WriteBands(written);
    } catch (const std::bad_alloc&) {
        failures_.push_back(std::string(written.output) + ".bands.csv could not be written: not enough memory");
    }
}

void SpectrumTables::MatrixRow(const WrittenSpectrum& row) noexcept {
    try {
        if (Measuring() && row.measures != nullptr && OpenTable()) WriteMeasures(row);
    } catch (const std::bad_alloc&) {
        failures_.push_back(*settings_.measureTable + " could not be written: not enough memory");
    }
}

void SpectrumTables::WriteMeasures(const WrittenSpectrum& written) {
    const Measures& measures = *written.measures;
    table_ << Field(written.source) << ',' << Field(written.output) << ',' << written.exposure;
    for (const std::string_view name : MeasureNames(settings_.output.measure->harmonics)) {
        table_ << ',' << Number(measures.Get(name).value_or(NAN));
    }
    table_ << ',' << Field(measures.problem) << '\n';
}

SpectrumContext SpectrumTables::Context(std::size_t bins, std::optional<double> rate) const {
    const SpectrumOptions& spectrum = settings_.output.spectrum;
    return SpectrumContext{2 * bins,
                           parameters_->WindowSum(),
                           parameters_->WindowSquares(),
                           rate,
                           static_cast<std::size_t>(parameters_->Width()),
                           spectrum.Quantity(),
                           spectrum.fullScale,
                           parameters_->Window(),
                           std::nullopt};
}

void SpectrumTables::WriteBands(const WrittenSpectrum& written) {
    const std::optional<double> rate = settings_.output.rate ? settings_.output.rate : written.rate;
    const std::string path = std::string(written.output) + ".bands.csv";
    if (!rate) {
        failures_.push_back(path + " was not written: " + std::string(written.source) +
                            " states no sample rate, which the bands need; give --rate=HZ");
        return;
    }
    const SpectrumContext context = Context(written.bins, rate);
    power_.resize(written.bins);
    ValuesToPower(written.values.first(std::min(written.bins, written.values.size())), power_, context, true);
    const double binHz = *rate / static_cast<double>(context.width);
    const double nenbw =
        static_cast<double>(context.width) * context.weightSquares / (context.weightSum * context.weightSum);
    std::ofstream out(path, std::ios::out | std::ios::trunc | std::ios::binary);
    out << "# FFT-summed bands with IEC 61260-1 base-10 mid frequencies, not IEC class-1 filters; level: "
        << NamesOf(context.quantity).column << "; sparse: fewer than 3 NENBW bins\n"
        << "band,nominal_hz,exact_hz,lower_hz,upper_hz,bins,level,sparse\n";
    for (const BandPower& band : BandPowers(power_, settings_.output.bands, binHz, nenbw)) {
        out << band.band.index << ',' << Number(band.band.nominal) << ',' << Number(band.band.exact) << ','
            << Number(band.band.lower) << ',' << Number(band.band.upper) << ',' << Number(band.bins) << ','
            << Number(ToneLevel(band.power, context.quantity, context.fullScale)) << ','
            << (band.bins < 3 * nenbw ? 1 : 0) << '\n';
    }
    out.close();
    if (!out) failures_.push_back(path + " could not be written: " + std::strerror(errno));
}

std::vector<std::string> SpectrumTables::Finish() {
    if (Measuring()) OpenTable();
    if (table_.is_open()) {
        table_.close();
        if (!table_) failures_.push_back(*settings_.measureTable + " could not be written: " + std::strerror(errno));
    }
    return std::move(failures_);
}

}  // namespace tavox
