#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "app/BatchSettings.h"
#include "app/CommandRun.h"
#include "app/ExitStatus.h"
#include "engine/WindowConstants.h"

namespace tavox {

class Application;
class File;
class Parameters;

// The JSON Lines report of a batch: one object per finished file (input,
// outputs written, result code with its English and Czech text, samples,
// exposures, width, window, method, seconds, the options in force, the rate
// of the batch or else the one the source states, the channel read and the
// channels of a source of several, and why a source could not be read; for
// a scale, unit, placement, detrending or padding also how the values were
// made: the window's constants, the hop and overlap, the sample rate), then
// one object with the totals and the exit status. Every line goes out whole
// in one write, so the report stays valid however the process ends. The file
// is created (or emptied) when the run begins, so a command line refused
// before its run leaves none.
class BatchReport : public RunReport, public std::enable_shared_from_this<BatchReport> {
public:
    // The report settings.report names ("-": standard output), of a batch
    // run with `settings`; on standard output with settings.quiet only the
    // totals are written.
    explicit BatchReport(const BatchSettings& settings);
    ~BatchReport() override;
    BatchReport(const BatchReport&) = delete;
    BatchReport& operator=(const BatchReport&) = delete;

    // Subscribes to the events of `app`; holds the application weakly. The
    // object must be owned by a shared_ptr.
    void Attach(const std::shared_ptr<Application>& app) override;

    // Opens the report; cancels the run when it cannot.
    void WillExecute(std::int16_t& Cancel) override;
    void FileComplete(std::shared_ptr<File>& File, std::int32_t& Result) override;
    void ExecuteComplete() override;

    // Writes the totals with the exit status and closes the report; nothing
    // when the run never began.
    void Finish(int exitStatus) override;

    // Why the report could not be opened or written; empty while all is well.
    const std::string& Error() const noexcept override { return error_; }
    bool Opened() const noexcept override { return fd_ >= 0; }

private:
    void WriteLine(const std::string& line);
    void AddSpectrum(nlohmann::ordered_json& line, const Parameters& parameters, const File& file,
                     std::optional<double> sourceRate);

    BatchSettings settings_;
    std::string path_;
    bool fileLines_;
    int fd_ = -1;
    std::string error_;
    std::weak_ptr<Application> app_;
    BatchTally tally_;
    std::chrono::steady_clock::time_point started_;
    std::optional<WindowConstants> constants_;  // of the window and width of the last line
    fftWindowEnum constantsWindow_ = fftWindowRectangle;
};

// The report `settings` ask for (settings.report), or none.
std::shared_ptr<BatchReport> ReportFor(const BatchSettings& settings);

}  // namespace tavox
