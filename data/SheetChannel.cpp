#include "data/SheetChannel.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "common/Numeric.h"
#include "data/Range.h"
#include "data/ResultStore.h"
#include "data/TextForm.h"

namespace tavox {
namespace {

std::shared_ptr<Range> AsRange(const Variant& value) {
    const ObjectRef* object = value.AsObject();
    return object ? std::dynamic_pointer_cast<Range>(*object) : nullptr;
}

std::int32_t RowsOf(const Variant& value) noexcept {
    try {
        const auto range = AsRange(value);
        return range ? std::max(range->RowsCount(), 0) : 0;
    } catch (...) {
        return 0;
    }
}

// The numeric value of a cell that a sum or an average works on.
double CellNumber(const Variant& value) {
    if (const std::string* text = value.AsString()) return LeadingNumber(*text);
    return value.ToDouble();
}

}  // namespace

SheetChannel::SheetChannel(ResultStore& store) noexcept : store_(store) {
    source_ = Variant::Nothing();
    target_ = Variant::Nothing();
}

void SheetChannel::Start(DataChannel&) noexcept {
    source_ = Variant::Nothing();
    target_ = Variant::Nothing();
    length_ = 0;
    targetLength_ = 0;
}

void SheetChannel::SetSource(const Variant& value) noexcept {
    try {
        source_ = value;
    } catch (...) {
    }
    length_ = RowsOf(source_);
}

void SheetChannel::SetTarget(const Variant& value) noexcept {
    try {
        target_ = value;
    } catch (...) {
    }
    targetLength_ = RowsOf(target_);
}

void SheetChannel::Load(std::span<double> samples, std::int64_t from, bool& pastEnd, std::int32_t& result) {
    const auto range = AsRange(source_);
    std::int64_t row = from;
    for (double& sample : samples) {
        if (row > length_) {
            sample = 0.0;
            pastEnd = true;
            continue;
        }
        if (!range) {
            sample = 0.0;
            result = fftResultFileSysErr;
            ++row;
            continue;
        }
        try {
            sample = LeadingNumber(TextForm(range->CellValue(static_cast<std::int32_t>(row), 1)));
        } catch (...) {
            sample = 0.0;
            result = fftResultFileSysErr;
        }
        ++row;
    }
}

void SheetChannel::Save(SaveOpEnum op, std::span<const double> block, std::int16_t exposure, std::int32_t& result) {
    const std::int32_t col = std::max<std::int32_t>(exposure, 1);
    const auto range = AsRange(target_);
    auto updateCells = [&](std::int32_t firstRow, std::int32_t lastRow, auto newValue) {
        for (std::int64_t row = firstRow; row <= lastRow; ++row) {
            double present;
            try {
                present = CellNumber(range->CellValue(static_cast<std::int32_t>(row), col));
            } catch (...) {
                result = fftResultFileSysErr;
                return;
            }
            try {
                range->SetCellValue(static_cast<std::int32_t>(row), col,
                                    Variant(newValue(present, static_cast<std::size_t>(row - firstRow))));
            } catch (...) {
                result = fftResultTargetFull;
            }
        }
    };
    switch (op) {
        case SaveStore: {
            if (!store_.Next(block.size())) {
                result = fftResultTargetFull;
                return;
            }
            std::int32_t columns = 0;
            try {
                if (range) columns = range->ColumnsCount();
            } catch (...) {
                columns = 0;
            }
            if (col > columns) {
                result = fftResultTargetFull;
                return;
            }
            if (store_.Last() > targetLength_) result = fftResultTargetFull;
            for (std::size_t k = 0; k < block.size(); ++k) {
                try {
                    range->SetCellValue(store_.First() + static_cast<std::int32_t>(k), col, Variant(block[k]));
                } catch (...) {
                    result = fftResultTargetFull;
                }
            }
            return;
        }
        case SaveAdd: {
            store_.CountSum();
            if (!range) {
                result = fftResultTargetFull;
                return;
            }
            const auto last = static_cast<std::int32_t>(std::min<std::int64_t>(
                static_cast<std::int64_t>(store_.First()) + static_cast<std::int64_t>(block.size()) - 1,
                std::numeric_limits<std::int32_t>::max()));
            updateCells(store_.First(), last, [&](double present, std::size_t k) { return block[k] + present; });
            return;
        }
        case SaveAverage: {
            const std::int32_t count = store_.Sums();
            if (count > 1) {
                const double divisor = count;
                store_.ResetSums();
                if (!range) {
                    result = fftResultTargetFull;
                    return;
                }
                updateCells(store_.First(), store_.Last(),
                            [&](double present, std::size_t) { return present / divisor; });
            }
            if (count < 1 || !range || store_.Stage().Empty()) return;
            // The output stage (a unit, a bias) runs on the combined cells.
            std::vector<double> values;
            try {
                for (std::int32_t row = store_.First(); row <= store_.Last(); ++row) {
                    values.push_back(CellNumber(range->CellValue(row, col)));
                }
            } catch (...) {
                result = fftResultFileSysErr;
                return;
            }
            store_.Stage().Finish(0, values, count);
            updateCells(store_.First(), store_.Last(), [&](double, std::size_t k) { return values[k]; });
            return;
        }
        case SaveWrite:
            store_.Reset();
            return;
        default:
            return;
    }
}

}  // namespace tavox
