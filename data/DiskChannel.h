#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/OutputOptions.h"
#include "data/BlockCache.h"
#include "data/DataChannel.h"
#include "data/DeferredOutputs.h"
#include "data/FileSystem.h"
#include "data/SpectrumFormats.h"

namespace tavox {

class ResultStore;

// Sequence files through the FileSystem: the source is a path, the target an
// output-name mask ("*" stands for the source's name or extension). Results
// are held in the store and written when the output is complete, in the
// format of the output options, to a new file that then replaces the old
// output (FileSystem::CreateOutput): an output never overwrites its source
// nor a file reached through a link or another name, and a failed write
// leaves the old output as it was.
class DiskChannel final : public DataChannel {
public:
    DiskChannel(std::shared_ptr<FileSystem> fileSystem, ResultStore& store) noexcept;

    void Start(DataChannel& previous) noexcept override;
    // Values that are not texts are kept in their text form.
    void SetSource(const Variant& value) noexcept override;
    void SetTarget(const Variant& value) noexcept override;
    // Measured when the source is opened, or else when asked.
    std::int32_t Length() const noexcept override;

    // Opens the source: fftResultFileSysErr when it cannot be opened,
    // fftResultShortFile when it holds more than MaxSourceSamples samples.
    void Initialize(std::int32_t& result) override;
    void Load(std::span<double> samples, std::int64_t from, bool& pastEnd, std::int32_t& result) override;
    // Load with the caller's byte buffer; several threads may call it at
    // once while the source stays open and the file system allows it.
    void LoadWith(std::span<double> samples, std::int64_t from, bool& pastEnd, std::int32_t& result,
                  ByteBuffer& bytes) const;
    // SaveWrite writes the held results to the output of `exposure` and
    // forgets them, also when the write fails.
    void Save(SaveOpEnum op, std::span<const double> block, std::int16_t exposure, std::int32_t& result) override;

    // Deferred outputs (see Data::SetDeferredOutputs).
    void SetDeferred(bool on) noexcept { deferred_ = on; }
    DeferredOutputs TakeDeferred() noexcept;
    // Takes over what `deferred` measured of the source (after Initialize
    // elsewhere) and forgets the outputs written since.
    void AdoptSource(const DeferredOutputs& deferred) noexcept;
    // Gives a new output written in full the name of the output of
    // `exposure`, unless that name reaches the file `keep`, as SaveWrite does.
    // False, with `result` set, when it did not take the name.
    bool CommitOutput(OutputFile& file, std::int16_t exposure, const std::optional<FileIdentity>& keep,
                      std::int32_t& result);
    // Writes `block` (one block of magnitudes) in full to a new file for the
    // output of `exposure`, closed and not yet named; nullptr, with `result`
    // set, when that fails. May be called from several threads at once, as
    // LoadWith.
    std::unique_ptr<OutputFile> WriteBlock(std::span<const double> block, std::int16_t exposure, ByteBuffer& buffer,
                                           std::int32_t& result) const;
    // Identity of the open source.
    const std::optional<FileIdentity>& SourceIdentity() const noexcept { return sourceIdentity_; }
    // True when the source is open and identified and the file system allows
    // concurrent use: what LoadWith and WriteBlock from several threads need.
    bool SharedAccess() const noexcept {
        return sourceFile_ && sourceIdentity_ && lengthKnown_ && fileSystem_->ConcurrentUse();
    }
    void CloseFiles() noexcept override;
    void Release() noexcept override;
    // True when the last Initialize refused a source longer than MaxSourceSamples.
    bool SourceTooLong() const noexcept { return sourceTooLong_; }

    const OutputOptions& Options() const noexcept { return options_; }
    void SetOptions(const OutputOptions& options) noexcept { options_ = options; }
    // Outputs written in full since Initialize: their number and the
    // exposure number of the last one (0 for an output without a number).
    std::int32_t WrittenCount() const noexcept { return writtenCount_; }
    std::int16_t LastWritten() const noexcept { return lastWritten_; }

    // Output path for a source path and a mask: the source's folder, the
    // mask's name with "*" replaced by the source's name, and the extension
    // 001..999 for an exposure number > 0, else the mask's extension with "*"
    // replaced by the source's. Empty when either is no text or the number
    // exceeds 999.
    static std::string TargetPath(const Variant& source, const Variant& mask, std::int16_t exposure);

private:
    bool OpenSource();
    void CloseSource() noexcept;
    void WriteHeld(const std::string& path, std::int16_t exposure, std::int32_t& result);
    void WriteValues(OutputFile& file);
    bool Committed(CommitResult commit, std::int16_t exposure, std::int32_t& result) noexcept;
    SpectrumShape HeldShape() const noexcept;
    void TellObserver(const std::string& path, std::int16_t exposure) const noexcept;
    bool NamesSourceByPath(const std::string& path) const;

    std::shared_ptr<FileSystem> fileSystem_;
    ResultStore& store_;
    std::unique_ptr<InputFile> sourceFile_;
    std::optional<FileIdentity> sourceIdentity_;  // of the open source
    bool sourceHeld_ = false;                     // also after a failed open, as a held handle
    bool sourceTooLong_ = false;
    mutable std::int32_t length_ = 0;
    mutable bool lengthKnown_ = true;
    ByteBuffer readBuffer_;
    ByteBuffer writeBuffer_;
    OutputOptions options_;
    std::int32_t writtenCount_ = 0;
    std::int16_t lastWritten_ = 0;
    bool deferred_ = false;
    std::vector<PendingOutput> pending_;  // outputs written in deferred mode since Initialize
    bool opened_ = false;                 // the last Initialize opened the source
    std::optional<FileIdentity> openedIdentity_;
    std::int32_t combined_ = 1;  // exposures averaged into the held values
};

}  // namespace tavox
