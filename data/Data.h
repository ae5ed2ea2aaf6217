#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/Enums.h"
#include "common/InputOptions.h"
#include "common/OutputOptions.h"
#include "common/Variant.h"
#include "data/BlockCache.h"
#include "data/DeferredOutputs.h"
#include "data/MemoryChannel.h"

namespace tavox {

class FileSystem;
class InputFile;
class OutputStage;
class Range;

// Most samples a source may hold: positions are 32-bit.
inline constexpr std::int32_t MaxSourceSamples = 2147483647;

// The data channel of one File: reads the source (a sequence file or a
// spreadsheet range) for the engine, holds, sums and averages result blocks
// and writes them to the target. Never raises: failures are written into the
// `result` argument, only on failure, never back to fftResultAllRight. That
// argument is an int32_t, not an fftResultEnum, because the caller's variable
// also receives the runtime error numbers that it traps.
//
// A disk source is read as the SampleSource of its kind (see
// SampleSource::Open), with the input options.
class Data {
public:
    explicit Data(std::shared_ptr<FileSystem> fileSystem);
    ~Data();
    Data(const Data&) = delete;
    Data& operator=(const Data&) = delete;

    std::int32_t Format() const noexcept;
    // Stores the kind, a number outside fftDataEnum too, which neither reads
    // nor writes anything; closes open files, drops held results and clears
    // Source and Target (an unknown kind keeps them); the lengths become 0.
    // Also when the value is the one already held.
    void SetFormat(std::int32_t value) noexcept;
    // Samples in the source: a file is measured when it is opened (or, before
    // that, when asked), a range when it is set.
    std::int32_t Length() const noexcept;
    std::int32_t TargetLength() const noexcept;
    const Variant& GetSource() const noexcept;
    const Variant& GetTarget() const noexcept;
    // Disk: a full path text; spreadsheet: a Range object.
    void SetSource(const Variant& value) noexcept;
    // Samples in memory as the source and memory as the target (see
    // MemoryChannel), transformed as a source of the kind `format`:
    // fftDataDiskFile takes the engine's paths for 16-bit samples and is kept
    // for 16-bit samples only; doubles always count as fftDataExcelRange.
    // The samples must outlive the transforms. SetFormat leaves memory.
    void UseMemory(MemorySamples samples, std::int32_t format) noexcept;
    // The outputs written to memory since UseMemory (empty for other sources).
    const std::vector<std::vector<double>>& MemoryOutputs() const noexcept;
    // The 0-based first sample of each of those outputs that was an
    // exposure of a series (see BeginSeries), in order.
    const std::vector<std::int64_t>& MemoryStarts() const noexcept;
    // Disk: the output-name mask; spreadsheet: a Range object.
    void SetTarget(const Variant& value) noexcept;

    // Opens the source; a disk source of more than MaxSourceSamples samples
    // gives fftResultShortFile (see SourceTooLong).
    void Initialize(std::int32_t& result) noexcept;
    // Fills every element of `samples` from 1-based `fromPos` (below 1 counts
    // as 1); zeros and fftResultShortFile past the end of the source.
    void LoadSequence(std::span<double> samples, std::int32_t fromPos, std::int32_t& result) noexcept;
    // `spectrum` is used by SaveStore and SaveAdd (its lower half is the
    // block) and may be empty for the others. `exposure` > 0 numbers the
    // output (extension 001..999 on disk, column on a spreadsheet).
    void SaveSequence(SaveOpEnum saveOp, std::span<const double> spectrum, std::int16_t exposure,
                      std::int32_t& result) noexcept;
    // SaveSequence with the block itself (the lower half of a spectrum).
    void SaveBlock(SaveOpEnum saveOp, std::span<const double> block, std::int16_t exposure,
                   std::int32_t& result) noexcept;
    // Drops results not yet written, closes the source and frees the buffers.
    void Terminate() noexcept;

    // The exposures of the multi method: `series` says where they lie. A
    // disk target with the matrix layout (WritesMatrix) takes them as the
    // rows of one output: BeginSeries creates it (its name is the mask's,
    // as for a method without exposure numbers), each SaveStore of exposure
    // k and the SaveWrite that follows it append the block as row k (which
    // must stay as it is until then), and EndSeries finishes and names
    // it when `complete` (every exposure of the series written) or else
    // drops it, so that an old output stays whole. Elsewhere SaveWrite
    // writes each exposure's output as before.
    bool WritesMatrix() const noexcept;
    void BeginSeries(const ExposureSeries& series, std::int32_t& result) noexcept;
    void EndSeries(bool complete, std::int32_t& result) noexcept;

    // Work on other threads. With deferred outputs on, SaveWrite writes a
    // disk output in full to its new file and closes it, but leaves it under
    // its hidden name; a transform's outputs then wait, in order, until
    // TakeDeferred (the next Initialize or SetFormat removes them), which
    // puts them into `into`, whose list of outputs, emptied, lends its room
    // to the next ones.
    void SetDeferredOutputs(bool on) noexcept;
    void TakeDeferred(DeferredOutputs& into) noexcept;
    // On the disk channel of the File a deferred transform stood in for:
    // takes over what that transform measured of the source (as Initialize
    // would have), then gives its outputs their names in order, as SaveWrite
    // would have. At the first that fails it sets `result` and removes the
    // rest; the list of outputs is left empty. Returns the exposure number
    // of that output, -1 when none failed (also when this is no disk
    // channel, which then takes nothing).
    std::int32_t CommitDeferred(DeferredOutputs& deferred, std::int32_t& result) noexcept;
    // LoadSequence into `bytes` instead of the channel's buffer: several
    // threads may load at once from samples in memory or from an Initialized
    // disk source (file systems that allow concurrent use); see SharedLoads.
    void LoadShared(std::span<double> samples, std::int32_t fromPos, std::int32_t& result,
                    ByteBuffer& bytes) const noexcept;
    // For a disk channel: writes `block` in full as the output of `exposure`
    // to a new file, closed and not yet named (see CommitOutput); nullptr,
    // with `result` set, when that fails. Callable as LoadShared.
    std::unique_ptr<OutputFile> WriteBlock(std::span<const double> block, std::int16_t exposure, ByteBuffer& buffer,
                                           std::int32_t& result) const noexcept;
    // Gives an output from WriteBlock its name as SaveWrite would; false,
    // with `result` set, when it did not take it.
    bool CommitOutput(OutputFile& file, std::int16_t exposure, std::int32_t& result) noexcept;
    // True for a disk channel whose source is open and identified, which
    // LoadShared, WriteBlock and CommitOutput need.
    bool SharedAccess() const noexcept;
    // True when LoadShared may be used: SharedAccess, or samples in memory.
    bool SharedLoads() const noexcept;
    // True when every sample the source gives is a 16-bit integer value (a
    // disk source that says so, 16-bit samples in memory), so that no
    // transform of them can overflow.
    bool BoundedSamples() const noexcept;

    // True when the last Initialize refused a disk source for holding more
    // than MaxSourceSamples samples.
    bool SourceTooLong() const noexcept;
    // What the last transform learned of a disk source: a line that says why
    // it could not be read (empty when all went well or nothing is known),
    // the sample rate it states and the channels it holds (0 when it did
    // not open). Nothing for other sources.
    std::string SourceProblem() const;
    std::optional<double> SourceRate() const noexcept;
    std::int32_t SourceChannels() const noexcept;
    // Output path for an exposure number, or empty when it cannot be formed.
    std::string TargetPath(std::int16_t exposure) const;
    // The same, written into `path`.
    void TargetPath(std::string& path, std::int16_t exposure) const;
    // Paths of the disk outputs written in full since Initialize, in order.
    std::vector<std::string> WrittenOutputs() const;

    // The format (and rate) of disk outputs, and how averaged spectra are
    // combined on disk; kept across SetFormat. A spreadsheet target always
    // receives the mean.
    const OutputOptions& GetOutputOptions() const noexcept;
    void SetOutputOptions(const OutputOptions& options) noexcept;
    // How a disk source is read (format, channel, per-channel outputs);
    // kept across SetFormat. An open source is opened again with them.
    const InputOptions& GetInputOptions() const noexcept;
    void SetInputOptions(const InputOptions& options) noexcept;
    // What a combined spectrum goes through before it is written, and the
    // names of its rows (see OutputStage); kept across SetFormat.
    void SetOutputStage(const OutputStage& stage) noexcept;
    // Clamps to +-32767 and rounds half to even; NaN gives 0.
    static std::int16_t ToSample16(double x) noexcept;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tavox
