#include "app/CommandRun.h"

#include <algorithm>
#include <exception>
#include <new>
#include <ostream>

#include "app/Application.h"
#include "app/BatchSettings.h"
#include "app/CommandLine.h"
#include "app/DisplayText.h"
#include "app/ExitStatus.h"
#include "app/Files.h"
#include "app/InputProblem.h"
#include "app/ProgressText.h"
#include "app/SpectrumTables.h"
#include "app/UnstatedRate.h"
#include "common/AutomationError.h"
#include "data/FileSystem.h"
#include "data/Path.h"
#include "engine/File.h"

namespace tavox {

namespace {

// Counts what a run did, for the exit status.
class RunTally : public ApplicationEvents {
public:
    explicit RunTally(std::weak_ptr<Application> app) : app_(std::move(app)) {}

    void WillExecute(std::int16_t& /*Cancel*/) override {
        if (const auto app = app_.lock()) tally_.Begin(app->FFTFiles()->Count());
    }
    void FileComplete(std::shared_ptr<File>& /*File*/, std::int32_t& Result) override { tally_.FileDone(Result); }
    void ExecuteComplete() override { tally_.Complete(); }

    const BatchTally& Tally() const noexcept { return tally_; }

private:
    std::weak_ptr<Application> app_;
    BatchTally tally_;
};

// A quiet run leaves out the result lines, but for those of the files that failed.
class FailureLines : public ApplicationEvents {
public:
    explicit FailureLines(std::ostream& err) : err_(err) {}

    void FileComplete(std::shared_ptr<File>& File, std::int32_t& Result) override {
        if (Result == fftResultAllRight) return;
        err_ << ResultLine(DisplayText(File ? File->Name() : std::string()), Result) << '\n' << std::flush;
    }

private:
    std::ostream& err_;
};

// Tells each of two observers of every output.
class BothObservers : public SpectrumObserver {
public:
    BothObservers(std::shared_ptr<SpectrumObserver> first, std::shared_ptr<SpectrumObserver> second)
        : first_(std::move(first)), second_(std::move(second)) {}
    void Written(const WrittenSpectrum& spectrum) noexcept override {
        first_->Written(spectrum);
        second_->Written(spectrum);
    }
    void MatrixRow(const WrittenSpectrum& row) noexcept override {
        first_->MatrixRow(row);
        second_->MatrixRow(row);
    }
    void MatrixEnd(std::string_view output, bool written) noexcept override {
        first_->MatrixEnd(output, written);
        second_->MatrixEnd(output, written);
    }

private:
    std::shared_ptr<SpectrumObserver> first_;
    std::shared_ptr<SpectrumObserver> second_;
};

bool OutOfMemory(const std::exception& error) {
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) return true;
    const auto* automation = dynamic_cast<const AutomationError*>(&error);
    return automation != nullptr && automation->Number() == ErrOutOfMemory;
}

// The files the input field matches, before any share is taken.
std::size_t MatchingInputs(const std::string& input) {
    return DefaultFileSystem()->List(PathFolder(input), PathName(input)).size();
}

}  // namespace

int RunCommand(const std::vector<std::string>& fields, const BatchSettings& settings, const CommandRunParts& parts,
               std::ostream& err) {
    try {
        const std::string refusal =
            fields.size() > 3 ? UnstatedRateRefusal(*DefaultFileSystem(), fields[3], settings) : std::string();
        if (!refusal.empty()) {
            err << "tavox: " << refusal << '\n';
            return ExitRefused;
        }
    } catch (const std::bad_alloc&) {
        // Left to the batch, which says what memory allows.
    }
    std::shared_ptr<Application> app;
    std::shared_ptr<RunTally> counter;
    const auto tables = SpectrumTables::Wanted(settings) ? std::make_shared<SpectrumTables>(settings) : nullptr;
    try {
        app = Application::Create();
        BatchSettings run = settings;
        // Welch's exposures are as many as fit, unless the field D caps them.
        run.output.spectrum.repeatCaps = settings.output.spectrum.overlap && RepeatFieldGiven(fields);
        if (parts.plots) {
            parts.plots->SetParameters(app->FFTParameters());
            parts.plots->SetSpectrumOptions(run.output.spectrum);
            parts.plots->SetBands(run.output.bands);
        }
        std::shared_ptr<SpectrumObserver> observer = parts.plots;
        if (tables) {
            tables->SetParameters(app->FFTParameters());
            if (parts.plots) {
                observer = std::make_shared<BothObservers>(parts.plots, tables);
            } else {
                observer = tables;
            }
        }
        ApplyRunSettings(run, *app, observer);
        if (parts.report) parts.report->Attach(app);
        counter = std::make_shared<RunTally>(app);
        app->Subscribe(counter);
        if (settings.quiet) app->Subscribe(std::make_shared<FailureLines>(err));
        app->FFTCommandFields(fields);
    } catch (const std::exception& error) {
        if (parts.failed) parts.failed();
        if (parts.plots) parts.plots->Finish();
        // An error that stopped a run under way still closes its report.
        if (parts.report) parts.report->Finish(ExitRefused);
        if (OutOfMemory(error)) {
            err << "tavox: out of memory\n";
        } else if (parts.showHelp) {
            parts.showHelp();
        }
        return ExitStatus(BatchTally{.refused = true});
    }

    if (parts.report && !parts.report->Opened()) {
        err << "tavox: " << parts.report->Error() << '\n';
        return ExitRefused;
    }
    const BatchTally tally = counter->Tally();
    int status = ExitStatus(tally);
    if (parts.cutShort && (tally.Interrupted() || (parts.cutShort() && tally.total > 0))) {
        err << "tavox: interrupted after " << tally.done << " of " << tally.total << " files\n" << std::flush;
        // The process ends next: freeing a batch of many files object by object
        // would hold the exit back by a tenth of a second and more.
        // Volatile keeps the pointer in memory, where leak checkers find it.
        static const auto* volatile kept = new std::shared_ptr<Application>(std::move(app));
        static_cast<void>(kept);
    } else if (app->FFTFiles()->Count() == 0) {
        const std::string& input = fields.at(3);
        // A share left empty by more shares than inputs has nothing to do.
        const std::size_t matched = settings.shard.count > 1 ? MatchingInputs(input) : 0;
        if (matched > 0) {
            err << "tavox: share " << ShareText(settings.shard) << " holds none of the " << matched
                << " input files that match \"" << DisplayText(input) << "\"\n";
            if (tally.completed) status = ExitAllRight;
        } else {
            err << NoInputMessage(*DefaultFileSystem(), input) << '\n';
        }
    }
    if (parts.plots) {
        for (const std::string& failure : parts.plots->Finish()) {
            err << "tavox: the picture " << failure << '\n';
            status = std::max(status, ExitFileFailed);
        }
    }
    if (tables) {
        for (const std::string& failure : tables->Finish()) {
            err << "tavox: the table " << failure << '\n';
            status = std::max(status, ExitFileFailed);
        }
    }
    if (parts.report) {
        if (!parts.report->Error().empty()) status = std::max(status, ExitFileFailed);
        parts.report->Finish(status);
        if (!parts.report->Error().empty()) {
            err << "tavox: " << parts.report->Error() << '\n';
            status = std::max(status, ExitFileFailed);
        }
    }
    return status;
}

}  // namespace tavox
