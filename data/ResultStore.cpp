#include "data/ResultStore.h"

#include <algorithm>
#include <limits>
#include <new>

#include "data/AverageCombiners.h"

namespace tavox {

bool ResultStore::Next(std::size_t size) noexcept {
    const auto end = static_cast<std::uint64_t>(last_) + size;
    if (end > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) return false;
    if (last_ == 0) firstBlock_ = size;
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
    const std::span<double> held(values_.data() + first, count);
    const AverageCombiner& combiner = CombinerOf(blockMode_);
    if (!combiner.KeepsRows()) {
        combiner.add(held, block.first(count), sums_);
        return true;
    }
    if (sums_ == 2 && !rows_.Add(held)) return false;
    return rows_.Add(block.first(count));
}

bool ResultStore::AverageHeld() noexcept {
    if (sums_ < 1) return true;
    const std::size_t first = static_cast<std::size_t>(first_) - 1;
    const std::size_t last = std::min(values_.size(), static_cast<std::size_t>(last_));
    const std::int32_t count = sums_;
    sums_ = 1;
    if (first >= last) return true;
    const std::span<double> held(values_.data() + first, last - first);
    const AverageCombiner& combiner = CombinerOf(blockMode_);
    bool combined = true;
    if (count == 1) {
        // One spectrum is its own combination; the output stage still runs.
    } else if (!combiner.KeepsRows()) {
        combiner.finish(held, count);
    } else {
        combined = rows_.Combine(held, combiner.column);
        rows_.Reset();
    }
    const std::size_t row = firstBlock_ > 0 ? first / firstBlock_ : 0;
    if (combined) stage_.Finish(row, held, count);
    return combined;
}

std::span<const double> ResultStore::Held() const noexcept {
    return std::span<const double>(values_).first(
        std::min(values_.size(), static_cast<std::size_t>(std::max(last_, 0))));
}

SpectrumShape ResultStore::Shape() const noexcept {
    const std::size_t size = Held().size();
    if (firstBlock_ > 0 && firstBlock_ < size && size % firstBlock_ == 0) {
        return stage_.Shape(firstBlock_, size / firstBlock_);
    }
    return stage_.Shape(size, 1);
}

void ResultStore::Reset() noexcept {
    values_.clear();
    rows_.Reset();
    first_ = 0;
    last_ = 0;
    sums_ = 0;
    firstBlock_ = 0;
}

void ResultStore::Release() noexcept {
    Reset();
    rows_.Release();
    decltype(values_)().swap(values_);
}

}  // namespace tavox
