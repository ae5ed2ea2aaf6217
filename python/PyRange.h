#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>

#include "data/Range.h"

namespace tavox::python {

// Any Python object held as an automation object. Used as a spreadsheet
// range through r.Rows.Count, r.Columns.Count and r.Cells(row, column).Value;
// each call takes the GIL, and a Python exception becomes a C++ exception.
class PyRange : public Range {
public:
    explicit PyRange(pybind11::object object) : object_(std::move(object)) {}
    ~PyRange() override;
    PyRange(const PyRange&) = delete;
    PyRange& operator=(const PyRange&) = delete;

    // The wrapped Python object; call with the GIL held.
    const pybind11::object& Get() const noexcept { return object_; }

    std::int32_t RowsCount() override;
    std::int32_t ColumnsCount() override;
    Variant CellValue(std::int32_t row, std::int32_t column) override;
    void SetCellValue(std::int32_t row, std::int32_t column, const Variant& value) override;

private:
    pybind11::object object_;
};

}  // namespace tavox::python
