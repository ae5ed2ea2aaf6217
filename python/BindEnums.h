#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>

namespace tavox::python {

enum class EnumKind { Result, Method, Window, Data };

// Creates fftResultEnum, fftMethodEnum, fftWindowEnum and fftDataEnum as
// enum.IntEnum classes, and every member at module level too. fftResultEnum
// takes any int: a number without a name becomes a member named error<N>.
void bindEnums(pybind11::module_& m);

// The member of the enumeration with this value; for result codes always a
// member (any error number is one), for the others the plain int when the
// enumeration has none.
pybind11::object EnumValue(EnumKind kind, std::int32_t value);

}  // namespace tavox::python
