#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "data/FileSystem.h"
#include "data/Path.h"
#include "engine/Parameters.h"
#include "ui/plot/PlotApi.h"
#include "ui/plot/PlotTitle.h"
#include "ui/plot/PngFile.h"
#include "ui/plot/SpectrogramPlot.h"
#include "ui/plot/SpectrumPlot.h"

namespace tavox {
namespace {

// Jobs waiting beyond this many hold the batch back, so memory stays bounded.
constexpr std::size_t MaxWaiting = 16;

struct PlotJob {
    std::uint64_t number = 0;  // in the order the outputs were written
    std::string path;
    std::shared_ptr<const Spectrum> spectrum;
    std::shared_ptr<const SpectrogramData> spectrogram;  // instead of a spectrum
    std::string title;
    std::string subtitle;
    std::optional<double> rate;  // of the batch, else the one the source states
};

// The rows of one input's spectrogram as its exposures are written (the
// numbered outputs of a multi, or the rows of a matrix), each row kept as
// at most `cells` columns, the largest value of the bins of each.
class SeriesRows {
public:
    // `samples`: of each exposure, below the points transformed when padded.
    SeriesRows(const WrittenSpectrum& first, std::string key, std::string picture, std::size_t cells,
               std::optional<double> rate, std::size_t samples, SpectrumQuantity quantity)
        : key_(std::move(key)),
          picture_(std::move(picture)),
          source_(first.source),
          output_(first.output),
          samples_(samples) {
        data_ = std::make_shared<SpectrogramData>();
        data_->bins = first.bins;
        data_->columns = std::clamp<std::size_t>(cells, 1, std::max<std::size_t>(first.bins, 1));
        data_->width = first.width;
        data_->rate = rate;
        data_->quantity = quantity;
        data_->time = first.start < 0 ? SpectrogramData::Time::Exposures
                      : rate          ? SpectrogramData::Time::Seconds
                                      : SpectrogramData::Time::Samples;
        data_->values.reserve(static_cast<std::size_t>(std::max<std::int16_t>(first.exposures, 1)) * data_->columns);
    }

    const std::string& Key() const noexcept { return key_; }
    const std::string& Picture() const noexcept { return picture_; }

    void Add(const WrittenSpectrum& row) {
        SpectrogramData& d = *data_;
        const std::span<const double> values = row.values.first(std::min(row.values.size(), d.bins));
        for (std::size_t c = 0; c < d.columns; ++c) {
            const std::size_t from = c * d.bins / d.columns;
            const std::size_t to = std::max((c + 1) * d.bins / d.columns, from + 1);
            // Levels in dB may lie below 0.
            double strongest = from < values.size() ? values[from] : 0;
            for (std::size_t k = from; k < std::min(to, values.size()); ++k) strongest = std::max(strongest, values[k]);
            d.values.push_back(strongest);
        }
        const double centre = static_cast<double>(row.start) + static_cast<double>(samples_) / 2;
        d.times.push_back(d.time == SpectrogramData::Time::Exposures ? row.exposure
                          : d.rate                                   ? centre / *d.rate
                                                                     : centre);
        ++d.rows;
        last_ = row.output;
    }

    // The job that draws the rows; the outputs named as the subtitle shows them.
    PlotJob Job(const Parameters* parameters, bool matrix, const SpectrumOptions& spectrum) {
        std::string outputs = PathName(output_);
        if (!matrix && data_->rows > 1) outputs += " \u2026 " + PathName(last_);
        const PlotTitle title = DescribeSpectrogram(source_, data_->width, data_->rows, outputs, matrix, parameters,
                                                    &spectrum, data_->rate);
        const std::optional<double> rate = data_->rate;
        return PlotJob{0, picture_, nullptr, std::move(data_), title.title, title.subtitle, rate};
    }

private:
    std::string key_;
    std::string picture_;
    std::string source_;
    std::string output_;
    std::string last_;
    std::size_t samples_;
    std::shared_ptr<SpectrogramData> data_;
};

// What tells the numbered outputs of one input apart from those of another,
// or of another channel of it: the input and the outputs' name without the number.
std::string SeriesKey(const WrittenSpectrum& written) {
    const std::string_view output = written.output;
    const std::size_t dot = output.rfind('.');
    const std::string_view base =
        dot != std::string_view::npos && dot + 4 == output.size() ? output.substr(0, dot) : output;
    std::string key(written.source);
    key += '\n';
    key += base;
    return key;
}

// The picture of the numbered outputs of one input: their name without the
// number, "run7.001" giving "run7.png"; never the input's own name.
std::string SeriesPicture(const WrittenSpectrum& written) {
    std::string output(written.output);
    const std::size_t dot = output.rfind('.');
    if (dot != std::string::npos && dot + 4 == output.size()) output.resize(dot);
    std::string picture = output + ".png";
    if (picture == written.source || DefaultFileSystem()->SameFile(picture, std::string(written.source)))
        picture = output + ".spectrogram.png";
    return picture;
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

    void Written(const WrittenSpectrum& written) noexcept override {
        // The exposures of a multi make one spectrogram per input.
        if (written.exposure > 0 && written.exposures > 0) {
            AddRow(written, SeriesKey(written), false);
            return;
        }
        try {
            auto spectrum = std::make_shared<Spectrum>();
            const auto bins = static_cast<std::ptrdiff_t>(std::min(written.bins, written.values.size()));
            spectrum->magnitudes.assign(written.values.begin(), written.values.begin() + bins);
            if (written.rows > 1 && written.values.size() >= 2 * written.bins) {
                spectrum->phases.assign(written.values.begin() + bins, written.values.begin() + 2 * bins);
            }
            spectrum->width = written.width;
            spectrum->quantity = spectrum_.Quantity();
            const std::optional<double> rate = rate_ ? rate_ : written.rate;
            PlotJob job{0, std::string(written.output) + ".png", std::move(spectrum), nullptr, {}, {}, rate};
            const PlotTitle title = DescribeOutput(written, parameters_.get(), &spectrum_, rate);
            job.title = title.title;
            job.subtitle = title.subtitle;
            Queue(std::move(job));
        } catch (...) {
            std::lock_guard lock(mutex_);
            failures_.push_back(std::string(written.output) + ".png could not be drawn: not enough memory");
        }
    }

    void MatrixRow(const WrittenSpectrum& row) noexcept override { AddRow(row, std::string(row.output), true); }

    void MatrixEnd(std::string_view output, bool written) noexcept override {
        if (!series_ || series_->Key() != output) return;
        if (written) {
            FlushSeries(true);
        } else {
            series_.reset();
        }
    }

    std::vector<std::string> Finish() override {
        FlushSeries(false);
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
    void Queue(PlotJob&& job) {
        std::unique_lock lock(mutex_);
        room_.wait(lock, [this] { return closing_ || waiting_.size() < MaxWaiting; });
        if (closing_) return;
        job.number = ++written_;
        latest_[job.path] = job.number;
        waiting_.push_back(std::move(job));
        work_.notify_one();
    }

    // Keeps a row of the spectrogram of `key` (the input of numbered
    // outputs, or a matrix output); the rows of another key come next once
    // those before are queued.
    void AddRow(const WrittenSpectrum& row, std::string key, bool matrix) noexcept {
        try {
            if (series_ && series_->Key() != key) FlushSeries(false);
            if (!series_) {
                std::string picture = matrix ? std::string(row.output) + ".png" : SeriesPicture(row);
                const std::size_t samples =
                    parameters_ ? static_cast<std::size_t>(parameters_->Width()) : static_cast<std::size_t>(row.width);
                series_ = std::make_unique<SeriesRows>(row, std::move(key), std::move(picture),
                                                       static_cast<std::size_t>(plot_.height), rate_ ? rate_ : row.rate,
                                                       samples, spectrum_.Quantity());
            }
            series_->Add(row);
        } catch (...) {
            std::lock_guard lock(mutex_);
            failures_.push_back((series_ ? series_->Picture() : std::string(row.output) + ".png") +
                                " could not be drawn: not enough memory");
            series_.reset();
        }
    }

    void FlushSeries(bool matrix) noexcept {
        if (!series_) return;
        try {
            Queue(series_->Job(parameters_.get(), matrix, spectrum_));
        } catch (...) {
            std::lock_guard lock(mutex_);
            failures_.push_back(series_->Picture() + " could not be drawn: not enough memory");
        }
        series_.reset();
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
                if (job.spectrogram) {
                    SpectrogramPlot plot;
                    plot.SetScale(plot_.scaleChosen ? plot_.scale : PlotScale::Db);
                    plot.SetData(job.spectrogram);
                    plot.SetTitle(QString::fromStdString(job.title), QString::fromStdString(job.subtitle));
                    QPainter painter(&image);
                    plot.Paint(painter, image.rect());
                } else {
                    SpectrumPlot plot(job.spectrum);
                    plot.SetRate(job.rate);
                    plot.SetScale(plot_.scale);
                    plot.SetTitle(QString::fromStdString(job.title), QString::fromStdString(job.subtitle));
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
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable room_;
    std::deque<PlotJob> waiting_;
    std::uint64_t written_ = 0;
    std::unordered_map<std::string, std::uint64_t> latest_;  // the last job of each picture not yet in place
    std::vector<std::string> failures_;
    std::unique_ptr<SeriesRows> series_;  // the spectrogram being gathered, on the batch's thread
    bool closing_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace

std::shared_ptr<PlotWriter> MakePlotWriter(const PlotOptions& plot, std::optional<double> rate) {
    return std::make_shared<ThreadedPlotWriter>(plot, rate);
}

}  // namespace tavox
