#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/InputOptions.h"
#include "common/OutputOptions.h"
#include "data/BlockCache.h"
#include "data/DataChannel.h"
#include "data/DeferredOutputs.h"
#include "data/FileSystem.h"
#include "data/SampleSource.h"
#include "data/SpectrumFormats.h"

namespace tavox {

class ResultStore;

// Input files through the FileSystem: the source is a path, read as the
// SampleSource of its kind with the input options, the target an
// output-name mask ("*" stands for the source's name or extension). Results are held in the store and written
// when the output is complete, in the format of the output options, to a new
// file that then replaces the old output (FileSystem::CreateOutput): an
// output never overwrites its source nor a file reached through a link or
// another name, and a failed write leaves the old output as it was.
class DiskChannel final : public DataChannel {
public:
    DiskChannel(std::shared_ptr<FileSystem> fileSystem, ResultStore& store) noexcept;

    void Start(DataChannel& previous) noexcept override;
    // Values that are not texts are kept in their text form.
    void SetSource(const Variant& value) noexcept override;
    void SetTarget(const Variant& value) noexcept override;
    // Measured when the source is opened, or else when asked.
    std::int32_t Length() const noexcept override;

    // Opens the source: the result code of the SampleSource's refusal (or
    // fftResultFileSysErr without a path), fftResultShortFile when it holds
    // more than MaxSourceSamples samples.
    void Initialize(std::int32_t& result) override;
    // Samples that cannot be read give fftResultFormatErr (see SourceProblem).
    void Load(std::span<double> samples, std::int64_t from, bool& pastEnd, std::int32_t& result) override;
    // SaveWrite writes the held results to the output of `exposure` and
    // forgets them, also when the write fails; after a load gave
    // fftResultFormatErr it writes nothing.
    void Save(SaveOpEnum op, std::span<const double> block, std::int16_t exposure, std::int32_t& result) override;
    void CloseFiles() noexcept override;
    void Release() noexcept override;
    // What the SampleSource says; true while none is open.
    bool BoundedSamples() const noexcept override;

    // The matrix layout of the output options; see Data::BeginSeries.
    bool WritesMatrix() const noexcept override { return options_.layout == OutputLayout::Matrix; }
    void BeginSeries(const ExposureSeries& series, std::int32_t& result) override;
    void EndSeries(bool complete, std::int32_t& result) override;

    // Shared loads and writes need the source open and identified and a
    // file system that allows concurrent use.
    bool SharedLoads() const noexcept override { return SharedAccess(); }
    bool SharedAccess() const noexcept override {
        return samples_ && sourceIdentity_ && lengthKnown_ && fileSystem_->ConcurrentUse();
    }
    void LoadShared(std::span<double> samples, std::int64_t from, bool& pastEnd, std::int32_t& result,
                    ByteBuffer& bytes) const override;
    // `block` is one block of magnitudes.
    std::unique_ptr<OutputFile> WriteBlock(std::span<const double> block, std::int16_t exposure, ByteBuffer& buffer,
                                           std::int32_t& result) const override;
    // As SaveWrite names an output: never over the source.
    bool CommitOutput(OutputFile& file, std::int16_t exposure, std::int32_t& result) override;

    // Deferred outputs (see Data::SetDeferredOutputs).
    void SetDeferred(bool on) noexcept { deferred_ = on; }
    void TakeDeferred(DeferredOutputs& into) noexcept;
    std::int32_t CommitDeferred(DeferredOutputs& deferred, std::int32_t& result) override;

    // True when the last Initialize refused a source longer than MaxSourceSamples.
    bool SourceTooLong() const noexcept override { return sourceTooLong_; }
    std::vector<std::string> WrittenOutputs() const override;

    const OutputOptions& Options() const noexcept { return options_; }
    void SetOptions(const OutputOptions& options) noexcept { options_ = options; }
    // How the source is read; an open source is opened again with them.
    const InputOptions& Input() const noexcept { return input_; }
    void SetInput(const InputOptions& input) noexcept;

    // What the last Initialize learned of the source: why it could not be
    // read (empty when all went well or nothing is known), the rate it
    // states and the channels it holds (0 when it did not open).
    std::string SourceProblem() const;
    std::optional<double> SourceRate() const noexcept { return sourceRate_; }
    std::int32_t SourceChannels() const noexcept { return sourceChannels_; }
    // "_chK" for channel K of outputs named per channel (InputOptions::eachChannel), else empty.
    std::string OutputSuffix() const;

    // Output path for a source path and a mask: the source's folder, the
    // mask's name with "*" replaced by the source's name and followed by
    // `suffix`, and the extension 001..999 for an exposure number > 0, else
    // the mask's extension with "*" replaced by the source's. Empty when
    // either is no text or the number exceeds 999.
    static std::string TargetPath(const Variant& source, const Variant& mask, std::int16_t exposure,
                                  std::string_view suffix = {});
    // The same, written into `path`.
    static void TargetPath(std::string& path, const Variant& source, const Variant& mask, std::int16_t exposure,
                           std::string_view suffix = {});

private:
    bool OpenSource();
    void CloseSource() noexcept;
    void WriteHeld(const std::string& path, std::int16_t exposure, std::int32_t& result);
    // Whether an output may be created at `path`; sets `result` when not.
    bool MayWrite(const std::string& path, std::int32_t& result) const;
    // Appends the held values to the matrix as the row of `exposure`.
    void WriteRow(std::int16_t exposure);
    // Finishes the matrix and names it (or leaves it waiting, deferred).
    void CommitMatrix(std::int32_t& result);
    void DropMatrix() noexcept;
    void WriteValues(OutputFile& file);
    bool Committed(CommitResult commit, std::int16_t exposure, std::int32_t& result) noexcept;
    // Takes over what `deferred` measured of the source (after Initialize
    // elsewhere) and forgets the outputs written since.
    void AdoptSource(const DeferredOutputs& deferred) noexcept;
    SpectrumShape HeldShape() const noexcept;
    // The output options with the source's rate when they give none.
    OutputOptions WrittenOptions() const;
    std::optional<double> WrittenRate() const noexcept { return options_.rate ? options_.rate : sourceRate_; }
    std::string OwnTargetPath(std::int16_t exposure) const;
    void TellObserver(const std::string& path, std::int16_t exposure) const noexcept;
    bool NamesSourceByPath(const std::string& path) const;

    std::shared_ptr<FileSystem> fileSystem_;
    ResultStore& store_;
    std::unique_ptr<SampleSource> samples_;
    std::int32_t openResult_ = fftResultFileSysErr;  // why the last open failed
    std::string openReason_;                         // and the line that says so, when known
    std::optional<FileIdentity> sourceIdentity_;     // of the open source
    bool sourceHeld_ = false;                        // also after a failed open, as a held handle
    bool sourceTooLong_ = false;
    mutable std::int32_t length_ = 0;
    mutable bool lengthKnown_ = true;
    ByteBuffer readBuffer_;  // the source's bytes
    ByteBuffer writeBuffer_;
    std::string targetPath_;  // of the output being written
    OutputOptions options_;
    InputOptions input_;
    std::optional<double> sourceRate_;
    std::int32_t sourceChannels_ = 0;
    // Why a load since Initialize found samples that cannot be read (a static text).
    mutable std::atomic<const char*> readProblem_{nullptr};
    std::int32_t writtenCount_ = 0;  // outputs written in full since Initialize
    std::int16_t lastWritten_ = 0;   // the exposure number of the last (0 for none)
    bool deferred_ = false;
    std::vector<PendingOutput> pending_;  // outputs written in deferred mode since Initialize
    bool opened_ = false;                 // the last Initialize opened the source
    std::optional<FileIdentity> openedIdentity_;
    std::int32_t combined_ = 1;  // exposures averaged into the held values
    ExposureSeries series_;      // of the multi method's exposures; count 0 outside them
    // The matrix output of a series under way: its file, writer, layout and path.
    std::unique_ptr<OutputFile> matrixFile_;
    std::unique_ptr<MatrixWriter> matrix_;
    MatrixLayout matrixLayout_;
    std::string matrixPath_;
    std::int16_t matrixRows_ = 0;
    std::span<const double> row_;  // the block of the last SaveStore, while a matrix is written
};

}  // namespace tavox
