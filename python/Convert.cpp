#include "python/Convert.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "app/Files.h"
#include "common/AutomationError.h"
#include "common/Numeric.h"
#include "engine/File.h"
#include "engine/Parameters.h"
#include "python/PyRange.h"

namespace py = pybind11;

namespace tavox::python {

namespace {

// Deep enough for any real argument; stops a list that contains itself.
constexpr int MaxNesting = 64;
constexpr std::size_t MaxDecimalDigits = 29;

py::handle DecimalType() {
    static py::handle type = py::object(py::module_::import("decimal").attr("Decimal")).release();
    return type;
}

[[noreturn]] void ThrowOverflow() {
    throw AutomationError::Platform(ErrOverflow);
}

std::string TypeName(py::handle value) {
    return Py_TYPE(value.ptr())->tp_name;
}

Variant IntegerToVariant(py::handle value) {
    const py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!index) throw py::error_already_set();
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (overflow != 0 || v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
        ThrowOverflow();  // an exact integer is never silently turned into a double
    if (v >= std::numeric_limits<std::int16_t>::min() && v <= std::numeric_limits<std::int16_t>::max())
        return Variant(static_cast<std::int16_t>(v));
    return Variant(static_cast<std::int32_t>(v));
}

// Rounds the digits of a decimal text to at most 28 places and 96 bits,
// halves to even; overflow error when the whole part alone does not fit.
Decimal DecimalFromPython(py::handle value) {
    if (!value.attr("is_finite")().cast<bool>()) ThrowOverflow();
    const bool negative = value.attr("is_signed")().cast<bool>();
    if (value.attr("is_zero")().cast<bool>()) return Decimal();
    const auto adjusted = value.attr("adjusted")().cast<long long>();
    if (adjusted >= static_cast<long long>(MaxDecimalDigits)) ThrowOverflow();
    if (adjusted < -static_cast<long long>(Decimal::MaxScale) - 2) return Decimal();  // rounds to zero

    const std::string text = py::str(py::module_::import("builtins").attr("format")(value, "f"));
    std::string whole;
    std::string fraction;
    bool inFraction = false;
    for (char c : text) {
        if (c == '.') {
            inFraction = true;
        } else if (c >= '0' && c <= '9') {
            (inFraction ? fraction : whole) += c;
        }
    }
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));

    for (std::size_t keep = std::min<std::size_t>(fraction.size(), Decimal::MaxScale);; --keep) {
        const std::string digits = whole + fraction.substr(0, keep);
        if (digits.size() <= MaxDecimalDigits + 1) {
            unsigned __int128 mantissa = 0;
            for (char c : digits) mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
            const std::string dropped = fraction.substr(keep);
            if (!dropped.empty()) {
                const bool restNonZero = dropped.find_first_not_of('0', 1) != std::string::npos;
                if (dropped[0] > '5' || (dropped[0] == '5' && (restNonZero || (mantissa & 1) != 0))) ++mantissa;
            }
            if (auto result = Decimal::FromParts(mantissa, static_cast<unsigned>(keep), negative)) return *result;
        }
        if (keep == 0) ThrowOverflow();
    }
}

// The text of an os.PathLike: its str, or its bytes decoded as the file
// system encodes names.
std::string PathText(py::handle value) {
    const py::object path = py::reinterpret_steal<py::object>(PyOS_FSPath(value.ptr()));
    if (!path) throw py::error_already_set();
    if (PyUnicode_Check(path.ptr())) return path.cast<std::string>();
    const py::object text = py::reinterpret_steal<py::object>(
        PyUnicode_DecodeFSDefaultAndSize(PyBytes_AS_STRING(path.ptr()), PyBytes_GET_SIZE(path.ptr())));
    if (!text) throw py::error_already_set();
    return text.cast<std::string>();
}

Variant ToVariantNested(py::handle value, int depth) {
    if (depth > MaxNesting) throw py::type_error("a list nested too deeply (or containing itself) is not a value");
    PyObject* p = value.ptr();
    if (p == Py_None) return Variant();
    if (PyBool_Check(p) || TypeName(value) == "numpy.bool_") return Variant(PyObject_IsTrue(p) == 1);
    if (PyFloat_Check(p)) return Variant(PyFloat_AsDouble(p));
    if (PyLong_Check(p) || PyIndex_Check(p)) return IntegerToVariant(value);
    if (PyUnicode_Check(p)) return Variant(value.cast<std::string>());
    if (PyObject_HasAttrString(p, "__fspath__") == 1) return Variant(PathText(value));
    if (py::isinstance<ByRef>(value)) return ToVariantNested(value.cast<ByRef&>().value, depth + 1);
    if (py::isinstance<NothingTag>(value)) return Variant::Nothing();
    if (py::isinstance(value, DecimalType())) return Variant(DecimalFromPython(value));
    if (Py_TYPE(p)->tp_as_number && Py_TYPE(p)->tp_as_number->nb_float) {
        const double d = PyFloat_AsDouble(p);
        if (d == -1.0 && PyErr_Occurred()) throw py::error_already_set();
        return Variant(d);
    }
    if (PyList_Check(p) || PyTuple_Check(p)) {
        Variant::Array items;
        for (py::handle item : value) items.push_back(ToVariantNested(item, depth + 1));
        return Variant(std::move(items));
    }
    if (py::isinstance<File>(value)) return Variant(ObjectRef(value.cast<std::shared_ptr<File>>()));
    if (py::isinstance<Files>(value)) return Variant(ObjectRef(value.cast<std::shared_ptr<Files>>()));
    if (py::isinstance<Parameters>(value)) return Variant(ObjectRef(value.cast<std::shared_ptr<Parameters>>()));
    return Variant(ObjectRef(std::make_shared<PyRange>(py::reinterpret_borrow<py::object>(value))));
}

py::object CurrencyToPython(CurrencyValue value) {
    const bool negative = value.units < 0;
    const auto magnitude =
        negative ? 0 - static_cast<std::uint64_t>(value.units) : static_cast<std::uint64_t>(value.units);
    std::string fraction = std::to_string(magnitude % 10000);
    fraction.insert(0, 4 - fraction.size(), '0');
    return DecimalType()((negative ? "-" : "") + std::to_string(magnitude / 10000) + "." + fraction);
}

py::object ObjectToPython(const ObjectRef& object) {
    if (!object) return py::none();
    if (auto range = std::dynamic_pointer_cast<PyRange>(object)) return range->Get();
    if (auto file = std::dynamic_pointer_cast<File>(object)) return py::cast(file);
    if (auto files = std::dynamic_pointer_cast<Files>(object)) return py::cast(files);
    if (auto parameters = std::dynamic_pointer_cast<Parameters>(object)) return py::cast(parameters);
    throw std::runtime_error("object of a kind the tavox module does not expose");
}

[[noreturn]] void ThrowTypeError(const char* wanted, py::handle value) {
    throw py::type_error(std::string(wanted) + " is required, not '" + TypeName(value) + "'");
}

}  // namespace

Variant ToVariant(py::handle value) {
    return ToVariantNested(value, 0);
}

py::object FromVariant(const Variant& value) {
    switch (value.Kind()) {
        case VariantKind::Integer:
            return py::int_(*value.Get<std::int16_t>());
        case VariantKind::Long:
            return py::int_(*value.Get<std::int32_t>());
        case VariantKind::Byte:
            return py::int_(*value.Get<std::uint8_t>());
        case VariantKind::Single:
            return py::float_(*value.Get<float>());
        case VariantKind::Double:
            return py::float_(*value.Get<double>());
        case VariantKind::Date:
            return py::float_(value.Get<DateValue>()->days);
        case VariantKind::Decimal:
            return DecimalType()(value.Get<Decimal>()->ToString());
        case VariantKind::Currency:
            return CurrencyToPython(*value.Get<CurrencyValue>());
        case VariantKind::String:
            return py::str(*value.AsString());
        case VariantKind::Boolean:
            return py::bool_(*value.Get<bool>());
        case VariantKind::Error:
            return py::int_(value.Get<ErrorValue>()->code);
        case VariantKind::Object:
            return ObjectToPython(*value.AsObject());
        case VariantKind::Array: {
            const auto& items = *value.AsArray();
            py::tuple result(items.size());
            for (std::size_t i = 0; i < items.size(); ++i) result[i] = FromVariant(items[i]);
            return result;
        }
        default:
            return py::none();
    }
}

std::int32_t ToInt32(py::handle value) {
    const Variant v = ToVariant(value);
    switch (v.Kind()) {
        case VariantKind::Integer:
            return *v.Get<std::int16_t>();
        case VariantKind::Long:
            return *v.Get<std::int32_t>();
        case VariantKind::Byte:
            return *v.Get<std::uint8_t>();
        case VariantKind::Boolean:
            return *v.Get<bool>() ? VariantTrue : VariantFalse;
        case VariantKind::Single:
        case VariantKind::Double:
        case VariantKind::Decimal:
            return ToInt32HalfEven(v.ToDouble());
        case VariantKind::String:
            return LocaleTextToInt32(*v.AsString());
        default:
            ThrowTypeError("an integer", value);
    }
}

std::int16_t ToInt16(py::handle value) {
    const std::int32_t v = ToInt32(value);
    if (v < std::numeric_limits<std::int16_t>::min() || v > std::numeric_limits<std::int16_t>::max()) ThrowOverflow();
    return static_cast<std::int16_t>(v);
}

bool ToBool(py::handle value) {
    const Variant v = ToVariant(value);
    if (auto b = v.Get<bool>()) return *b;
    if (v.IsNumber()) return v.ToDouble() != 0.0;
    if (auto text = v.AsString()) {
        std::string folded = *text;
        std::transform(folded.begin(), folded.end(), folded.begin(), [](unsigned char c) { return std::tolower(c); });
        if (folded == "true") return true;
        if (folded == "false") return false;
        return LocaleTextToDouble(*text) != 0.0;
    }
    ThrowTypeError("a boolean", value);
}

std::string ToText(py::handle value) {
    if (py::isinstance<ByRef>(value)) return ToText(value.cast<ByRef&>().value);
    if (!PyUnicode_Check(value.ptr())) ThrowTypeError("a str", value);
    return value.cast<std::string>();
}

void bindByRef(py::module_& m) {
    py::class_<ByRef>(m, "ByRef",
                      "A value passed by reference: the callee may replace .value (Files.Add writes the completed "
                      "path into a ByRef given as Source; event handlers get their arguments in ByRef holders).")
        .def(py::init([](py::object value) { return ByRef{std::move(value)}; }), py::arg("value") = py::none(),
             "ByRef(value: object = None)\n\nA holder of value.")
        .def_readwrite("value", &ByRef::value, "object: the value held.")
        .def("__repr__", [](const ByRef& self) { return "ByRef(" + py::repr(self.value).cast<std::string>() + ")"; });
    py::class_<NothingTag>(m, "_NothingType", "The type of tavox.Nothing, the empty object reference.")
        .def("__repr__", [](const NothingTag&) { return "tavox.Nothing"; });
    m.attr("Nothing") = NothingTag{};
}

pybind11::object MeasuresObject(const Measures& measures) {
    namespace py = pybind11;
    if (measures.count == 0) return py::none();
    py::dict found;
    for (std::size_t k = 0; k < measures.count; ++k) {
        const auto& [name, value] = measures.values[k];
        found[py::str(std::string(name))] = std::isfinite(value) ? py::object(py::float_(value)) : py::none();
    }
    found["problem"] =
        measures.problem.empty() ? py::object(py::none()) : py::object(py::str(std::string(measures.problem)));
    return found;
}

}  // namespace tavox::python
