#pragma once

#include <cstdint>
#include <map>
#include <utility>

#include "data/Range.h"

namespace tavox {

// A range of rows x columns on an unbounded in-memory sheet: cells below or
// right of the range can be written and read too, as on a real sheet.
class MemoryRange : public Range {
public:
    MemoryRange(std::int32_t rows, std::int32_t columns) : rows_(rows), columns_(columns) {}

    std::int32_t RowsCount() override { return rows_; }
    std::int32_t ColumnsCount() override { return columns_; }
    Variant CellValue(std::int32_t row, std::int32_t column) override;
    void SetCellValue(std::int32_t row, std::int32_t column, const Variant& value) override;

private:
    std::int32_t rows_;
    std::int32_t columns_;
    std::map<std::pair<std::int32_t, std::int32_t>, Variant> cells_;
};

}  // namespace tavox
