#pragma once

#include <cstdint>

#include "common/Object.h"
#include "common/Variant.h"

namespace tavox {

// What the data channel needs of a spreadsheet range: Rows.Count,
// Columns.Count and Cells(row, column).Value, read and written. Rows and
// columns are 1-based and relative to the range's top-left cell; a row below
// the range addresses the sheet cell below it. Any member may throw; the
// channel turns that into a result code.
class Range : public Object {
public:
    virtual std::int32_t RowsCount() = 0;
    virtual std::int32_t ColumnsCount() = 0;
    virtual Variant CellValue(std::int32_t row, std::int32_t column) = 0;
    virtual void SetCellValue(std::int32_t row, std::int32_t column, const Variant& value) = 0;
};

}  // namespace tavox
