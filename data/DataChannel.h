#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "common/Enums.h"
#include "common/Variant.h"
#include "data/BlockCache.h"
#include "data/DeferredOutputs.h"
#include "data/FileSystem.h"
#include "data/MatrixFormats.h"

namespace tavox {

// What one kind of data (Data::Format) does for Data: reads its source and
// writes result blocks to its target. Failures are written into `result` as
// Data promises; Initialize, Load and Save may also throw, as Data calls
// them inside a catch-all of its own.
class DataChannel {
public:
    virtual ~DataChannel() = default;

    const Variant& Source() const noexcept { return source_; }
    const Variant& Target() const noexcept { return target_; }

    // Makes this the channel of a newly set format, after `previous` (which
    // may be this one) has closed its files: Source, Target and the lengths
    // take their starting values.
    virtual void Start(DataChannel& previous) noexcept = 0;
    virtual void SetSource(const Variant& value) noexcept = 0;
    virtual void SetTarget(const Variant& value) noexcept = 0;
    virtual std::int32_t Length() const noexcept = 0;
    virtual std::int32_t TargetLength() const noexcept { return 0; }

    virtual void Initialize(std::int32_t& result) = 0;
    // Fills `samples` from the 1-based position `from` (at least 1); sets
    // `pastEnd` when positions past the end of the source were asked for.
    virtual void Load(std::span<double> samples, std::int64_t from, bool& pastEnd, std::int32_t& result) = 0;
    // Every operation but SaveReset, which Data handles; SaveAdd comes only
    // after a block was stored. `block` (the lower half of the spectrum) is
    // used by SaveStore and SaveAdd.
    virtual void Save(SaveOpEnum op, std::span<const double> block, std::int16_t exposure, std::int32_t& result) = 0;
    // Closes the files this channel holds open.
    virtual void CloseFiles() noexcept {}
    // CloseFiles, and gives back the buffers.
    virtual void Release() noexcept { CloseFiles(); }
    // True when every sample Load gives is a 16-bit integer value, so that
    // no transform of the samples can overflow.
    virtual bool BoundedSamples() const noexcept { return false; }

    // The exposures of the multi method (see Data::BeginSeries). A channel
    // that writes them as the rows of one output starts it at BeginSeries,
    // appends a row at each SaveWrite and finishes it at EndSeries.
    virtual bool WritesMatrix() const noexcept { return false; }
    virtual void BeginSeries(const ExposureSeries& /*series*/, std::int32_t& /*result*/) {}
    virtual void EndSeries(bool /*complete*/, std::int32_t& /*result*/) {}

    // Work on other threads (see Data). The defaults are those of a channel
    // that does none: it loads zeros and writes nothing, with
    // fftResultFileSysErr, and has no outputs that wait for their names.

    // True when LoadShared may be called from several threads at once.
    virtual bool SharedLoads() const noexcept { return false; }
    // True when WriteBlock may be called from several threads at once, and
    // CommitOutput used, besides LoadShared.
    virtual bool SharedAccess() const noexcept { return false; }
    // Load with the caller's byte buffer, leaving the channel as it is.
    virtual void LoadShared(std::span<double> samples, std::int64_t /*from*/, bool& /*pastEnd*/, std::int32_t& result,
                            ByteBuffer& /*bytes*/) const {
        std::fill(samples.begin(), samples.end(), 0.0);
        result = fftResultFileSysErr;
    }
    // Writes `block` in full as the output of `exposure` to a new file,
    // closed and not yet named; nullptr, with `result` set, when that fails.
    virtual std::unique_ptr<OutputFile> WriteBlock(std::span<const double> /*block*/, std::int16_t /*exposure*/,
                                                   ByteBuffer& /*buffer*/, std::int32_t& result) const {
        result = fftResultFileSysErr;
        return nullptr;
    }
    // Gives an output from WriteBlock the name of the output of `exposure`;
    // false, with `result` set, when it did not take it.
    virtual bool CommitOutput(OutputFile& /*file*/, std::int16_t /*exposure*/, std::int32_t& result) {
        result = fftResultFileSysErr;
        return false;
    }
    // Data::CommitDeferred: takes over what the deferred transform measured
    // of the source and names its outputs; returns the exposure number of
    // the first that failed, -1 when none failed or the channel takes none.
    virtual std::int32_t CommitDeferred(DeferredOutputs& /*deferred*/, std::int32_t& /*result*/) { return -1; }
    // Data::SourceTooLong.
    virtual bool SourceTooLong() const noexcept { return false; }
    // Paths of the outputs written to files in full since Initialize, in order.
    virtual std::vector<std::string> WrittenOutputs() const { return {}; }

protected:
    // Takes over Source and Target of `other` (nothing when it is this one).
    void TakeValues(DataChannel& other) noexcept {
        if (&other == this) return;
        source_ = std::move(other.source_);
        target_ = std::move(other.target_);
    }

    Variant source_;
    Variant target_;
};

}  // namespace tavox
