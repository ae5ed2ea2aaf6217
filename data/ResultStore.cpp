#include "data/ResultStore.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace tavox {

bool ResultStore::Next(std::size_t size) noexcept {
    const auto end = static_cast<std::uint64_t>(last_) + size;
    if (end > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) return false;
    first_ = last_ + 1;
    last_ = static_cast<std::int32_t>(end);
    sums_ = 1;
    blockMode_ = mode_;
    rows_.Reset();
    return true;
}

bool ResultStore::Hold(std::span<const double> block) {
    if (!Next(block.size())) return false;
    const std::size_t first = static_cast<std::size_t>(first_) - 1;
    bool held = true;
    try {
        if (values_.size() == first) {
            values_.insert(values_.end(), block.begin(), block.end());
            return true;
        }
        values_.resize(static_cast<std::size_t>(last_));
    } catch (const std::bad_alloc&) {
        held = false;
    }
    if (first < values_.size()) {
        const std::size_t count = std::min(block.size(), values_.size() - first);
        std::copy_n(block.begin(), count, values_.begin() + static_cast<std::ptrdiff_t>(first));
    }
    return held;
}

bool ResultStore::AddHeld(std::span<const double> block) noexcept {
    ++sums_;
    const std::size_t first = static_cast<std::size_t>(first_) - 1;
    if (first >= values_.size()) return true;
    const std::size_t count = std::min(block.size(), values_.size() - first);
    double* held = values_.data() + first;
    switch (blockMode_) {
        case AverageMode::Mean:
            for (std::size_t k = 0; k < count; ++k) held[k] += block[k];
            return true;
        case AverageMode::Rms:
            if (sums_ == 2) {
                for (std::size_t k = 0; k < count; ++k) held[k] *= held[k];
            }
            for (std::size_t k = 0; k < count; ++k) held[k] += block[k] * block[k];
            return true;
        case AverageMode::Max:
            // A NaN, once there, stays: no value is larger or smaller than it.
            for (std::size_t k = 0; k < count; ++k) {
                if (!std::isnan(held[k]) && !(block[k] <= held[k])) held[k] = block[k];
            }
            return true;
        case AverageMode::Median:
            if (sums_ == 2 && !rows_.Add(std::span<const double>(held, count))) return false;
            return rows_.Add(block.first(count));
    }
    return true;
}

bool ResultStore::AverageHeld() noexcept {
    if (sums_ <= 1) return true;
    const std::size_t first = static_cast<std::size_t>(first_) - 1;
    const std::size_t last = std::min(values_.size(), static_cast<std::size_t>(last_));
    const double divisor = sums_;
    sums_ = 1;
    if (first >= last) return true;
    const std::span<double> held(values_.data() + first, last - first);
    switch (blockMode_) {
        case AverageMode::Mean:
            for (double& x : held) x /= divisor;
            return true;
        case AverageMode::Rms:
            for (double& x : held) x = std::sqrt(x / divisor);
            return true;
        case AverageMode::Max:
            return true;
        case AverageMode::Median: {
            const bool read = rows_.Medians(held);
            rows_.Reset();
            return read;
        }
    }
    return true;
}

std::span<const double> ResultStore::Held() const noexcept {
    return std::span<const double>(values_).first(
        std::min(values_.size(), static_cast<std::size_t>(std::max(last_, 0))));
}

void ResultStore::Reset() noexcept {
    values_.clear();
    rows_.Reset();
    first_ = 0;
    last_ = 0;
    sums_ = 0;
}

void ResultStore::Release() noexcept {
    Reset();
    rows_.Release();
    decltype(values_)().swap(values_);
}

}  // namespace tavox
