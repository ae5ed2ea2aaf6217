#pragma once

#include <cstdint>
#include <span>

#include "data/DataChannel.h"

namespace tavox {

class ResultStore;

// Spreadsheet ranges (see Range): samples are read from the first column of
// the source, result blocks are written down the target's column numbered by
// the exposure (at least 1), and sums and averages are worked out on the
// target's cells. A cell read that fails reports fftResultFileSysErr and ends
// the block; a cell write that fails reports fftResultTargetFull and the
// other cells of the block are still written, so that one cell that refuses
// a value costs that cell only.
class SheetChannel final : public DataChannel {
public:
    explicit SheetChannel(ResultStore& store) noexcept;

    void Start(DataChannel& previous) noexcept override;
    // Source and Target are Range objects; other values are kept as given.
    void SetSource(const Variant& value) noexcept override;
    void SetTarget(const Variant& value) noexcept override;
    // Rows of the range, measured when it is set.
    std::int32_t Length() const noexcept override { return length_; }
    std::int32_t TargetLength() const noexcept override { return targetLength_; }

    void Initialize(std::int32_t&) override {}
    void Load(std::span<double> samples, std::int64_t from, bool& pastEnd, std::int32_t& result) override;
    void Save(SaveOpEnum op, std::span<const double> block, std::int16_t exposure, std::int32_t& result) override;

private:
    ResultStore& store_;
    std::int32_t length_ = 0;
    std::int32_t targetLength_ = 0;
};

}  // namespace tavox
