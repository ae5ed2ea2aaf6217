#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>

namespace tavox::python {

enum class EnumKind { Result, Method, Window, Data };

// Creates fftResultEnum, fftMethodEnum, fftWindowEnum and fftDataEnum as
// enum.IntEnum classes, and every member at module level too.
void bindEnums(pybind11::module_& m);

// The member of the enumeration with this value, or the plain int when the
// enumeration has none (a result code can be any error number).
pybind11::object EnumValue(EnumKind kind, std::int32_t value);

}  // namespace tavox::python
