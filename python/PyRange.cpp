#include "python/PyRange.h"

#include <stdexcept>

#include "python/Convert.h"

namespace py = pybind11;

namespace tavox::python {

namespace {

template <class Call>
auto WithGil(Call&& call) {
    py::gil_scoped_acquire gil;
    try {
        return call();
    } catch (py::error_already_set& error) {
        // The channel only needs to know that the access failed.
        throw std::runtime_error(error.what());
    }
}

}  // namespace

PyRange::~PyRange() {
    if (!Py_IsInitialized()) {
        object_.release();  // the interpreter is gone; nothing left to release
        return;
    }
    py::gil_scoped_acquire gil;
    object_ = py::object();
}

std::int32_t PyRange::RowsCount() {
    return WithGil([&] { return ToInt32(object_.attr("Rows").attr("Count")); });
}

std::int32_t PyRange::ColumnsCount() {
    return WithGil([&] { return ToInt32(object_.attr("Columns").attr("Count")); });
}

Variant PyRange::CellValue(std::int32_t row, std::int32_t column) {
    return WithGil([&] { return ToVariant(object_.attr("Cells")(row, column).attr("Value")); });
}

void PyRange::SetCellValue(std::int32_t row, std::int32_t column, const Variant& value) {
    WithGil([&] { py::setattr(object_.attr("Cells")(row, column), "Value", FromVariant(value)); });
}

}  // namespace tavox::python
