#pragma once

#include <cstdint>
#include <span>
#include <utility>

#include "common/Enums.h"
#include "common/Variant.h"

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
