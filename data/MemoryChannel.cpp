#include "data/MemoryChannel.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "common/Numeric.h"
#include "data/ResultStore.h"
#include "data/TextForm.h"

namespace tavox {

// A finite double's shortest text reads back as the same double, so only the
// values without one (subnormals, where the reading may differ, and the
// non-finite ones) take the cell's way through text.
double CellSample(double x) {
    if (std::isnormal(x) || x == 0.0) return x;
    return LeadingNumber(TextForm(Variant(x)));
}

void MemoryChannel::Start(DataChannel&) noexcept {
    source_ = Variant();
    target_ = Variant();
}

void MemoryChannel::Use(MemorySamples samples) noexcept {
    samples_ = samples;
    outputs_.clear();
    starts_.clear();
    series_ = ExposureSeries{};
}

std::int32_t MemoryChannel::Length() const noexcept {
    const std::size_t size = std::visit([](auto span) { return span.size(); }, samples_);
    return static_cast<std::int32_t>(std::min<std::size_t>(size, std::numeric_limits<std::int32_t>::max()));
}

bool MemoryChannel::BoundedSamples() const noexcept {
    return std::holds_alternative<std::span<const std::int16_t>>(samples_);
}

void MemoryChannel::Load(std::span<double> samples, std::int64_t from, bool& pastEnd, std::int32_t& result) {
    Read(samples, from, pastEnd, result);
}

void MemoryChannel::LoadShared(std::span<double> samples, std::int64_t from, bool& pastEnd, std::int32_t& result,
                               ByteBuffer&) const {
    Read(samples, from, pastEnd, result);
}

void MemoryChannel::Read(std::span<double> samples, std::int64_t from, bool& pastEnd, std::int32_t& result) const {
    const auto first = static_cast<std::size_t>(from - 1);
    const auto length = static_cast<std::size_t>(Length());
    const std::size_t available = first < length ? std::min(samples.size(), length - first) : 0;
    std::visit(
        [&](auto span) {
            for (std::size_t i = 0; i < available; ++i) {
                if constexpr (std::is_same_v<decltype(span), std::span<const double>>) {
                    try {
                        samples[i] = CellSample(span[first + i]);
                    } catch (...) {
                        samples[i] = 0.0;
                        result = fftResultFileSysErr;
                    }
                } else {
                    samples[i] = span[first + i];
                }
            }
        },
        samples_);
    if (available < samples.size()) {
        std::fill(samples.begin() + static_cast<std::ptrdiff_t>(available), samples.end(), 0.0);
        pastEnd = true;
    }
}

void MemoryChannel::Save(SaveOpEnum op, std::span<const double> block, std::int16_t exposure, std::int32_t& result) {
    switch (op) {
        case SaveStore:
            if (!store_.Hold(block)) result = fftResultOutOfMemory;
            return;
        case SaveAdd:
            if (!store_.AddHeld(block)) result = fftResultOutOfMemory;
            return;
        case SaveAverage:
            if (!store_.AverageHeld()) result = fftResultOutOfMemory;
            return;
        case SaveWrite: {
            const std::span<const double> held = store_.Held();
            try {
                outputs_.emplace_back(held.begin(), held.end());
                if (exposure > 0 && series_.count > 0) starts_.push_back(series_.Start(exposure));
            } catch (const std::bad_alloc&) {
                result = fftResultOutOfMemory;
            }
            store_.Reset();
            return;
        }
        default:
            return;
    }
}

}  // namespace tavox
