#include "data/ResultStore.h"

#include <algorithm>
#include <limits>
#include <new>

namespace tavox {

bool ResultStore::Next(std::size_t size) noexcept {
    const auto end = static_cast<std::uint64_t>(last_) + size;
    if (end > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) return false;
    first_ = last_ + 1;
    last_ = static_cast<std::int32_t>(end);
    sums_ = 1;
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

void ResultStore::AddHeld(std::span<const double> block) noexcept {
    ++sums_;
    const std::size_t first = static_cast<std::size_t>(first_) - 1;
    if (first >= values_.size()) return;
    const std::size_t count = std::min(block.size(), values_.size() - first);
    double* held = values_.data() + first;
    for (std::size_t k = 0; k < count; ++k) held[k] += block[k];
}

void ResultStore::AverageHeld() noexcept {
    if (sums_ <= 1) return;
    const std::size_t last = std::min(values_.size(), static_cast<std::size_t>(last_));
    const double divisor = sums_;
    for (std::size_t p = static_cast<std::size_t>(first_); p <= last; ++p) values_[p - 1] /= divisor;
    sums_ = 1;
}

std::span<const double> ResultStore::Held() const noexcept {
    return std::span<const double>(values_).first(
        std::min(values_.size(), static_cast<std::size_t>(std::max(last_, 0))));
}

void ResultStore::Reset() noexcept {
    values_.clear();
    first_ = 0;
    last_ = 0;
    sums_ = 0;
}

void ResultStore::Release() noexcept {
    Reset();
    decltype(values_)().swap(values_);
}

}  // namespace tavox
