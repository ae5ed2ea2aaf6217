#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>

#include "common/MeasureOptions.h"
#include "common/Variant.h"

namespace tavox::python {

// A value passed by reference: the callee may replace `value`.
struct ByRef {
    pybind11::object value;
};

// tavox.Nothing: the empty object reference.
struct NothingTag {};

// Converts a Python value to a Variant: None -> Empty, bool -> Boolean,
// int -> Integer or Long (the overflow error 6 beyond 32 bits), float -> Double,
// decimal.Decimal -> Decimal (overflow error 6 out of range), str and
// os.PathLike -> String,
// list/tuple -> Array, ByRef -> its value, tavox.Nothing -> Nothing, Application/Files/File/Parameters
// -> Object, anything else -> Object wrapping the Python object.
Variant ToVariant(pybind11::handle value);

// Converts a Variant to Python: integers -> int, Single/Double/Date -> float,
// Decimal/Currency -> decimal.Decimal, String -> str, Boolean -> bool,
// Empty/Null/Missing/Nothing -> None, Object -> the Python object, Array ->
// tuple, Error -> int.
pybind11::object FromVariant(const Variant& value);

// Coercions for typed arguments, as automation coerces a variant: numbers
// round half to even (overflow error 6 beyond the type), bool gives -1/0,
// a text reads as a locale-aware number (type mismatch 13). Anything else,
// None included, raises TypeError.
std::int32_t ToInt32(pybind11::handle value);
std::int16_t ToInt16(pybind11::handle value);
bool ToBool(pybind11::handle value);
// A str (or a ByRef holding one); TypeError otherwise.
std::string ToText(pybind11::handle value);

void bindByRef(pybind11::module_& m);

// Measures as a dict of their names (None for a figure not measured) with
// "problem" (None, or why nothing was measured); None when there are none.
pybind11::object MeasuresObject(const Measures& measures);

}  // namespace tavox::python
