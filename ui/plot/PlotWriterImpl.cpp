#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "data/Path.h"
#include "engine/MeasureStep.h"
#include "engine/OctaveBands.h"
#include "engine/Parameters.h"
#include "engine/SpectrumMeasurement.h"
#include "ui/plot/BandChart.h"
#include "ui/plot/PlotApi.h"
#include "ui/plot/PlotTitle.h"
#include "ui/plot/PngFile.h"
#include "ui/plot/SpectrumPlot.h"

namespace tavox {
namespace {

// Jobs waiting beyond this many hold the batch back, so memory stays bounded.
constexpr std::size_t MaxWaiting = 16;

struct PlotJob {
    std::uint64_t number = 0;  // in the order the outputs were written
    std::string path;
    std::shared_ptr<const Spectrum> spectrum;
    std::string title;
    std::string subtitle;
    std::optional<SpectrumPlot::MeasureMarks> marks;
    std::optional<std::vector<BandBar>> bands;  // a band chart instead of the spectrum
};

QString Decibels(const char* name, std::optional<double> value) {
    if (!value || !std::isfinite(*value)) return QString::fromLatin1(name) + QStringLiteral(" \u2013");
    return QString::fromLatin1(name) + QStringLiteral(" %1 dB").arg(*value, 0, 'f', 2);
}

// The fundamental and the harmonics counted, at their bins, and SNR, THD and
// SINAD, of what was measured of an output of `bins` bins.
SpectrumPlot::MeasureMarks MarksOf(const Measures& measures, std::size_t bins, std::optional<double> rate) {
    SpectrumPlot::MeasureMarks marks;
    if (!measures.problem.empty()) {
        marks.summary = QStringLiteral("not measured: ") +
                        QString::fromUtf8(measures.problem.data(), static_cast<int>(measures.problem.size()));
        return marks;
    }
    const double fs = rate.value_or(1.0);
    const double binOfHz = 2.0 * static_cast<double>(bins) / fs;
    const double f0 = measures.Get("fundamental_hz").value_or(NAN);
    if (std::isfinite(f0)) {
        marks.tones.emplace_back(f0 * binOfHz, QStringLiteral("f0"));
        for (std::int32_t h = 2; h <= MaxHarmonics; ++h) {
            const std::string name = "h" + std::to_string(h) + "_dbc";
            const auto dbc = measures.Get(name);
            if (!dbc) break;
            if (std::isfinite(*dbc))
                marks.tones.emplace_back(FoldedHarmonic(f0, h, fs) * binOfHz, QStringLiteral("H%1").arg(h));
        }
    }
    marks.summary = Decibels("SNR", measures.Get("snr_db")) + QStringLiteral("   ") +
                    Decibels("THD", measures.Get("thd_db")) + QStringLiteral("   ") +
                    Decibels("SINAD", measures.Get("sinad_db"));
    return marks;
}

class ThreadedPlotWriter final : public PlotWriter {
public:
    ThreadedPlotWriter(const PlotOptions& plot, std::optional<double> rate) : plot_(plot), rate_(rate) {
        const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
        for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
    }
    ~ThreadedPlotWriter() override { Finish(); }

    void SetParameters(std::shared_ptr<const Parameters> parameters) override { parameters_ = std::move(parameters); }
    void SetSpectrumOptions(const SpectrumOptions& spectrum) override { spectrum_ = spectrum; }
    void SetBands(std::int32_t perOctave) override { bands_ = perOctave; }

    void Written(const WrittenSpectrum& written) noexcept override {
        try {
            auto spectrum = std::make_shared<Spectrum>();
            const auto bins = static_cast<std::ptrdiff_t>(std::min(written.bins, written.values.size()));
            spectrum->magnitudes.assign(written.values.begin(), written.values.begin() + bins);
            if (written.rows > 1 && written.values.size() >= 2 * written.bins) {
                spectrum->phases.assign(written.values.begin() + bins, written.values.begin() + 2 * bins);
            }
            spectrum->width = written.width;
            spectrum->quantity = spectrum_.Quantity();
            PlotJob job{0, std::string(written.output) + ".png", std::move(spectrum), {}, {}};
            const PlotTitle title = DescribeOutput(written, parameters_.get(), &spectrum_, rate_);
            job.title = title.title;
            job.subtitle = title.subtitle;
            if (written.measures != nullptr && written.measures->count > 0) {
                job.marks = MarksOf(*written.measures, written.bins, rate_);
            }
            std::optional<PlotJob> chart;
            if (bands_ != 0 && rate_ && parameters_) {
                chart = PlotJob{0, std::string(written.output) + ".bands.png", nullptr, job.title, {}, {}, {}};
                chart->subtitle = "1/" + std::to_string(bands_) +
                                  "-octave band levels, FFT-summed (IEC 61260-1 mid "
                                  "frequencies)";
                chart->bands = BandBars(written);
            }
            std::unique_lock lock(mutex_);
            for (PlotJob* next : {&job, chart ? &*chart : nullptr}) {
                if (next == nullptr) continue;
                room_.wait(lock, [this] { return closing_ || waiting_.size() < MaxWaiting; });
                if (closing_) return;
                next->number = ++written_;
                latest_[next->path] = next->number;
                waiting_.push_back(std::move(*next));
                work_.notify_one();
            }
        } catch (...) {
            std::lock_guard lock(mutex_);
            failures_.push_back(std::string(written.output) + ".png could not be drawn: not enough memory");
        }
    }

    std::vector<std::string> Finish() override {
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
        }
        work_.notify_all();
        for (std::thread& worker : workers_) {
            if (worker.joinable()) worker.join();
        }
        std::lock_guard lock(mutex_);
        return failures_;
    }

private:
    // The band levels of an output as bars, in dB re a full-scale sine.
    std::vector<BandBar> BandBars(const WrittenSpectrum& written) const {
        const std::size_t bins = std::min(written.bins, written.values.size());
        const SpectrumContext context{2 * bins,
                                      parameters_->WindowSum(),
                                      parameters_->WindowSquares(),
                                      rate_,
                                      static_cast<std::size_t>(parameters_->Width()),
                                      spectrum_.Quantity(),
                                      spectrum_.fullScale,
                                      parameters_->Window(),
                                      std::nullopt};
        std::vector<double> power(bins);
        ValuesToPower(written.values.first(bins), power, context, true);
        const double nenbw =
            static_cast<double>(context.width) * context.weightSquares / (context.weightSum * context.weightSum);
        std::vector<BandBar> bars;
        for (const BandPower& band : BandPowers(power, bands_, *rate_ / static_cast<double>(context.width), nenbw)) {
            const double db = 10 * std::log10(band.power / (FullScaleCounts * FullScaleCounts / 2));
            char name[32];
            std::snprintf(name, sizeof name, "%g", band.band.nominal);
            bars.push_back({QString::fromLatin1(name), db, band.bins < 3 * nenbw});
        }
        return bars;
    }

    // Writes the picture of `job`, unless a later job of the same path came.
    void Place(const PlotJob& job, const QImage& image, std::string& error) {
        try {
            PendingFile pending = WriteBeside(job.path, EncodePng(image));
            std::lock_guard lock(mutex_);
            if (latest_[job.path] == job.number) {
                error = Commit(pending);
                latest_.erase(job.path);
            } else {
                Discard(pending);
            }
        } catch (const std::exception& e) {
            error = e.what();
        }
        if (!error.empty()) {
            std::lock_guard lock(mutex_);
            failures_.push_back(job.path + " could not be written: " + error);
        }
    }

    void Work() {
        QImage image(plot_.width, plot_.height, QImage::Format_RGB32);
        for (;;) {
            PlotJob job;
            {
                std::unique_lock lock(mutex_);
                work_.wait(lock, [this] { return closing_ || !waiting_.empty(); });
                if (waiting_.empty()) return;
                job = std::move(waiting_.front());
                waiting_.pop_front();
                room_.notify_one();
            }
            std::string error;
            try {
                if (job.bands) {
                    QPainter painter(&image);
                    PaintBandChart(painter, image.rect(), *job.bands, QString::fromStdString(job.title),
                                   QString::fromStdString(job.subtitle),
                                   QStringLiteral("band level (dB re a full-scale sine)"));
                    painter.end();
                    Place(job, image, error);
                    continue;
                }
                SpectrumPlot plot(job.spectrum);
                plot.SetRate(rate_);
                plot.SetScale(plot_.scale);
                plot.SetTitle(QString::fromStdString(job.title), QString::fromStdString(job.subtitle));
                plot.SetMeasureMarks(job.marks);
                {
                    QPainter painter(&image);
                    plot.Paint(painter, image.rect());
                }
                PendingFile pending = WriteBeside(job.path, EncodePng(image));
                // An output written again later in the batch gets the picture of its last values.
                std::lock_guard lock(mutex_);
                if (latest_[job.path] == job.number) {
                    error = Commit(pending);
                    latest_.erase(job.path);
                } else {
                    Discard(pending);
                }
            } catch (const std::exception& e) {
                error = e.what();
            }
            if (!error.empty()) {
                std::lock_guard lock(mutex_);
                failures_.push_back(job.path + " could not be written: " + error);
            }
        }
    }

    PlotOptions plot_;
    std::optional<double> rate_;
    std::shared_ptr<const Parameters> parameters_;
    SpectrumOptions spectrum_;
    std::int32_t bands_ = 0;
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable room_;
    std::deque<PlotJob> waiting_;
    std::uint64_t written_ = 0;
    std::unordered_map<std::string, std::uint64_t> latest_;  // the last job of each picture not yet in place
    std::vector<std::string> failures_;
    bool closing_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace

std::shared_ptr<PlotWriter> MakePlotWriter(const PlotOptions& plot, std::optional<double> rate) {
    return std::make_shared<ThreadedPlotWriter>(plot, rate);
}

}  // namespace tavox
