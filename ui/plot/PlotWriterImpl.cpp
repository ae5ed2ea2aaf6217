#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "data/Path.h"
#include "engine/Parameters.h"
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
    std::optional<double> rate;  // of the batch, else the one the source states
};

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
            PlotJob job{0, std::string(written.output) + ".png", std::move(spectrum), {}, {}, rate};
            const PlotTitle title = DescribeOutput(written, parameters_.get(), &spectrum_, rate);
            job.title = title.title;
            job.subtitle = title.subtitle;
            std::unique_lock lock(mutex_);
            room_.wait(lock, [this] { return closing_ || waiting_.size() < MaxWaiting; });
            if (closing_) return;
            job.number = ++written_;
            latest_[job.path] = job.number;
            waiting_.push_back(std::move(job));
            work_.notify_one();
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
                SpectrumPlot plot(job.spectrum);
                plot.SetRate(job.rate);
                plot.SetScale(plot_.scale);
                plot.SetTitle(QString::fromStdString(job.title), QString::fromStdString(job.subtitle));
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
