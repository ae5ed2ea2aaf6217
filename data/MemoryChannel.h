#pragma once

#include <cstdint>
#include <span>
#include <variant>
#include <vector>

#include "data/DataChannel.h"

namespace tavox {

class ResultStore;

// Samples handed over in memory: 16-bit samples, read as a sequence file's
// are, or doubles, read as spreadsheet cells holding them are (see CellSample).
using MemorySamples = std::variant<std::span<const std::int16_t>, std::span<const double>>;

// The value a spreadsheet cell holding the double `x` gives the transform,
// as SheetChannel reads it: finite values unchanged, NaN and infinities 0.
double CellSample(double x);

// Samples in memory as the source, and memory as the target: result blocks
// are held, summed and combined in the store as on disk, and each output
// written (SaveWrite) is appended, as the held values, to the list of
// outputs. The samples must outlive every Load; the channel never copies
// them.
class MemoryChannel final : public DataChannel {
public:
    explicit MemoryChannel(ResultStore& store) noexcept : store_(store) {}

    // Source and target are set by Use; the Variant values are ignored.
    void Start(DataChannel& previous) noexcept override;
    void SetSource(const Variant&) noexcept override {}
    void SetTarget(const Variant&) noexcept override {}
    std::int32_t Length() const noexcept override;

    void Initialize(std::int32_t&) override {}
    void Load(std::span<double> samples, std::int64_t from, bool& pastEnd, std::int32_t& result) override;
    void Save(SaveOpEnum op, std::span<const double> block, std::int16_t exposure, std::int32_t& result) override;
    // 16-bit samples are bounded, doubles are not.
    bool BoundedSamples() const noexcept override;
    // Loads never touch the channel: several threads may read at once.
    bool SharedLoads() const noexcept override { return true; }
    void LoadShared(std::span<double> samples, std::int64_t from, bool& pastEnd, std::int32_t& result,
                    ByteBuffer& bytes) const override;

    // The samples to read and the list that receives the outputs; drops the
    // outputs held.
    void Use(MemorySamples samples) noexcept;
    // The outputs written since Use, in order; each holds the blocks of one
    // output one after the other (magnitudes, then phases).
    const std::vector<std::vector<double>>& Outputs() const noexcept { return outputs_; }
    // The first sample (0-based) of each output that was an exposure of a series.
    const std::vector<std::int64_t>& Starts() const noexcept { return starts_; }
    void BeginSeries(const ExposureSeries& series, std::int32_t&) override { series_ = series; }

private:
    void Read(std::span<double> samples, std::int64_t from, bool& pastEnd, std::int32_t& result) const;

    ResultStore& store_;
    MemorySamples samples_;
    std::vector<std::vector<double>> outputs_;
    std::vector<std::int64_t> starts_;
    ExposureSeries series_;
};

}  // namespace tavox
