#include "ui/cli/BatchReport.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>

#include "app/Application.h"
#include "app/BatchSettings.h"
#include "app/DisplayText.h"
#include "app/Files.h"
#include "app/ProgressText.h"
#include "data/Data.h"
#include "engine/File.h"
#include "engine/Parameters.h"
#include "engine/SpectrumStage.h"
#include "engine/WindowAndMethodNames.h"
#include "engine/WindowConstants.h"

namespace tavox {
namespace {

using Json = nlohmann::ordered_json;

// One line of JSON; any byte that is not UTF-8 and got past DisplayText
// becomes U+FFFD.
std::string Line(const Json& object) {
    return object.dump(-1, ' ', false, Json::error_handler_t::replace) + '\n';
}

// What was measured of the file's last output: each figure by name (null
// when it could not be measured, with the problem saying why); null when no
// output was measured.
Json MeasureObject(const Measures& measures) {
    if (measures.count == 0) return nullptr;
    Json object;
    for (std::size_t k = 0; k < measures.count; ++k) {
        const auto& [name, value] = measures.values[k];
        if (!std::isfinite(value)) {
            object[std::string(name)] = nullptr;
        } else if (name == "peak_bin") {
            object[std::string(name)] = static_cast<std::int64_t>(value);
        } else {
            object[std::string(name)] = value;
        }
    }
    object["problem"] = measures.problem.empty() ? Json(nullptr) : Json(std::string(measures.problem));
    return object;
}

}  // namespace

BatchReport::BatchReport(const BatchSettings& settings)
    : settings_(settings), path_(settings.report.value_or("-")), fileLines_(!(path_ == "-" && settings.quiet)) {}

BatchReport::~BatchReport() {
    if (fd_ > STDERR_FILENO) ::close(fd_);
}

void BatchReport::Attach(const std::shared_ptr<Application>& app) {
    app_ = app;
    app->Subscribe(shared_from_this());
}

void BatchReport::WillExecute(std::int16_t& Cancel) {
    const auto app = app_.lock();
    tally_.Begin(app ? app->FFTFiles()->Count() : 0);
    started_ = std::chrono::steady_clock::now();
    if (fd_ >= 0) return;
    fd_ = path_ == "-" ? STDOUT_FILENO : ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        error_ = "cannot write the report " + path_ + ": " + std::strerror(errno);
        Cancel = -1;
    }
}

void BatchReport::FileComplete(std::shared_ptr<File>& File, std::int32_t& Result) {
    tally_.FileDone(Result);
    const auto app = app_.lock();
    if (!fileLines_ || !File || !app) return;
    const Parameters& parameters = *app->FFTParameters();
    Data& data = File->GetData();
    const Variant source = File->Source();
    Json line;
    line["type"] = "file";
    // Names as the result lines show them: control characters and bytes that
    // are not UTF-8 escaped (DisplayText), so that the report names every file
    // readably and stays valid UTF-8.
    line["input"] = DisplayText(source.AsString() != nullptr ? *source.AsString() : File->Name());
    Json outputs = Json::array();
    for (const std::string& output : data.WrittenOutputs()) outputs.push_back(DisplayText(output));
    line["outputs"] = std::move(outputs);
    line["code"] = Result;
    line["message_en"] = ResultMessageEnglish(Result);
    line["message_cs"] = ResultMessage(Result);
    line["samples"] = data.Length();
    line["exposures"] = File->ExposuresDone();
    line["width"] = parameters.Width();
    line["window"] = NamesOf(parameters.Window()).name;
    line["method"] = NamesOf(parameters.Method()).name;
    line["phase"] = parameters.Phase();
    line["center"] = parameters.Center();
    if (parameters.Method() == fftMethodAverage) line["average"] = AverageName(settings_.output.average);
    line["format"] = FormatName(settings_.output.format);
    // A matrix is one output of a row per exposure: its shape, once it is written.
    if (settings_.output.layout == OutputLayout::Matrix && parameters.Method() == fftMethodMulti) {
        line["layout"] = LayoutName(settings_.output.layout);
        if (!line["outputs"].empty()) line["shape"] = Json::array({File->ExposuresDone(), parameters.Width() / 2});
    }
    if (const auto rate = settings_.output.rate ? settings_.output.rate : data.SourceRate()) {
        line["rate_hz"] = *rate;
        line["bin_hz"] = *rate / parameters.Width();
    }
    const InputOptions& input = data.GetInputOptions();
    if (data.SourceChannels() > 1 || input.channel != 1 || input.eachChannel) {
        line["channel"] = input.channel;
        if (data.SourceChannels() > 0) line["channels"] = data.SourceChannels();
    }
    if (const std::string problem = data.SourceProblem(); !problem.empty()) line["problem"] = DisplayText(problem);
    if (settings_.output.spectrum != SpectrumOptions{}) AddSpectrum(line, parameters, *File, data.SourceRate());
    if (settings_.output.measure) line["measure"] = MeasureObject(File->LastMeasures());
    line["seconds"] = File->TransformSeconds();
    WriteLine(Line(line));
}

// How the values of a calibrated spectrum were made: scale, unit, detrending,
// padding, the transform when not the exact one, the sample rate the PSD and ENBW take (--rate, else the one the
// source states), the window's constants and the placement of the exposures.
void BatchReport::AddSpectrum(Json& line, const Parameters& parameters, const File& file,
                              std::optional<double> sourceRate) {
    const SpectrumOptions& spectrum = settings_.output.spectrum;
    line["scale"] = ScaleName(spectrum.scale);
    line["unit"] = UnitName(spectrum.unit);
    line["column"] = NamesOf(spectrum.Quantity()).column;
    if (spectrum.fullScale) line["full_scale_v"] = *spectrum.fullScale;
    line["detrend"] =
        DetrendName(spectrum.detrend == Detrend::None && parameters.Center() ? Detrend::Mean : spectrum.detrend);
    if (spectrum.pad) line["pad"] = std::max(*spectrum.pad, parameters.Width());
    if (spectrum.fft != FftMode::Exact) line["fft"] = FftModeName(spectrum.fft);
    const double rate = settings_.output.rate.value_or(sourceRate.value_or(1.0));
    line["fs_hz"] = rate;
    line["fs_from"] = settings_.output.rate ? "--rate"
                      : sourceRate          ? "the input file"
                                            : "none given: 1, as SciPy takes it";
    if (!constants_ || constants_->width != static_cast<std::size_t>(parameters.Width()) ||
        constantsWindow_ != parameters.Window()) {
        constants_ = ConstantsOfWeights(parameters.WindowWeights(), static_cast<std::size_t>(parameters.Width()));
        constantsWindow_ = parameters.Window();
    }
    Json window;
    window["coherent_gain"] = constants_->coherentGain;
    window["nenbw_bins"] = constants_->nenbw;
    window["enbw_hz"] = constants_->Enbw(rate);
    window["scalloping_loss_db"] = constants_->ScallopingLossDb();
    line["window_constants"] = std::move(window);
    if (parameters.Method() != fftMethodSimple && file.ExposureHop() > 0) {
        const double width = parameters.Width();
        line["exposure_hop"] = file.ExposureHop();
        line["overlap_percent"] = 100 * std::max(0.0, width - file.ExposureHop()) / width;
    }
    if (parameters.Method() == fftMethodAverage && spectrum.scale != SpectrumScale::Amplitude &&
        settings_.output.average == AverageMode::Median) {
        line["median_bias"] = MedianBias(file.ExposuresDone());
    }
}

void BatchReport::ExecuteComplete() {
    tally_.Complete();
}

void BatchReport::Finish(int exitStatus) {
    if (fd_ < 0) return;
    Json totals;
    totals["type"] = "totals";
    totals["files"] = tally_.total;
    totals["done"] = tally_.done;
    totals["failed"] = tally_.failed;
    totals["interrupted"] = tally_.Interrupted();
    totals["exit_status"] = exitStatus;
    if (const auto app = app_.lock(); app && app->FFTFiles()->Share().count > 1) {
        totals["shard"] = ShareText(app->FFTFiles()->Share());
    }
    totals["seconds"] = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    WriteLine(Line(totals));
    if (fd_ > STDERR_FILENO && ::close(fd_) != 0 && error_.empty()) {
        error_ = "the report " + path_ + " could not be written: " + std::strerror(errno);
    }
    fd_ = -1;
}

std::shared_ptr<BatchReport> ReportFor(const BatchSettings& settings) {
    return settings.report ? std::make_shared<BatchReport>(settings) : nullptr;
}

// The whole line in one write where the system allows it; a short write is
// continued.
void BatchReport::WriteLine(const std::string& line) {
    if (fd_ < 0) return;
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (error_.empty()) error_ = "the report " + path_ + " could not be written: " + std::strerror(errno);
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace tavox
