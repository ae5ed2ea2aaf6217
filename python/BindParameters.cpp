#include <memory>
#include <string>

#include "engine/Parameters.h"
#include "python/BindEnums.h"
#include "python/Bindings.h"
#include "python/Convert.h"
#include "python/FamilyLock.h"

namespace py = pybind11;

namespace tavox::python {

namespace {

using Self = std::shared_ptr<Parameters>;

template <class Call>
auto Locked(const Self& self, Call&& call) {
    return CoreCall(self, [&] { return call(*self); });
}

std::string Repr(const Self& self) {
    const auto text = [&](const char* name, py::handle value) {
        return std::string(name) + "=" + py::repr(value).cast<std::string>();
    };
    const auto values = Locked(self, [](Parameters& p) {
        return std::tuple(p.Method(), p.Window(), p.Width(), p.Repeat(), p.Start(), p.Finish(), p.Phase(), p.Center());
    });
    const auto& [method, window, width, repeat, start, finish, phase, center] = values;
    return "<tavox.Parameters " + std::string(py::str(EnumValue(EnumKind::Method, method).attr("name"))) + ", " +
           std::string(py::str(EnumValue(EnumKind::Window, window).attr("name"))) + ", " +
           text("Width", py::int_(width)) + ", " + text("Repeat", py::int_(repeat)) + ", " +
           text("Start", FromVariant(start)) + ", " + text("Finish", FromVariant(finish)) + ", " +
           text("Phase", py::bool_(phase)) + ", " + text("Center", py::bool_(center)) + ">";
}

}  // namespace

void bindParameters(py::module_& m) {
    py::class_<Parameters, Self> cls(m, "Parameters",
                                     R"doc(The settings of every transform of one Application.

Setting a value never fails for a value out of range: it is mapped into
range as automation does (Width rounds up to a power of two within 128 to
65536, Repeat is taken within 1 to 999, an unknown Method or Window becomes
the first). Numbers, bool (True is -1) and numeric text are accepted;
other types raise TypeError.)doc");
    cls.def_property(
           "Phase", [](const Self& self) { return Locked(self, [](Parameters& p) { return p.Phase(); }); },
           [](const Self& self, py::handle value) {
               const bool flag = ToBool(value);
               Locked(self, [&](Parameters& p) { p.SetPhase(flag); });
           },
           "bool: the simple method writes the phases (degrees) after the magnitudes.")
        .def_property(
            "Center", [](const Self& self) { return Locked(self, [](Parameters& p) { return p.Center(); }); },
            [](const Self& self, py::handle value) {
                const bool flag = ToBool(value);
                Locked(self, [&](Parameters& p) { p.SetCenter(flag); });
            },
            "bool: the mean of every exposure is removed before the window.")
        .def_property(
            "Method",
            [](const Self& self) {
                return EnumValue(EnumKind::Method, Locked(self, [](Parameters& p) { return p.Method(); }));
            },
            [](const Self& self, py::handle value) {
                const std::int32_t method = ToInt32(value);
                Locked(self, [&](Parameters& p) { p.SetMethod(method); });
            },
            "fftMethodEnum: fftMethodSimple (one exposure), fftMethodAverage (the average of Repeat exposures) or "
            "fftMethodMulti (each of Repeat exposures into an output of its own).")
        .def_property(
            "Window",
            [](const Self& self) {
                return EnumValue(EnumKind::Window, Locked(self, [](Parameters& p) { return p.Window(); }));
            },
            [](const Self& self, py::handle value) {
                const std::int32_t window = ToInt32(value);
                Locked(self, [&](Parameters& p) { p.SetWindow(window); });
            },
            "fftWindowEnum: fftWindowRectangle, fftWindowHanning or fftWindowFlatTop.")
        .def_property(
            "Width", [](const Self& self) { return Locked(self, [](Parameters& p) { return p.Width(); }); },
            [](const Self& self, py::handle value) {
                const std::int32_t width = ToInt32(value);
                Locked(self, [&](Parameters& p) { p.SetWidth(width); });
            },
            "int: samples per exposure, a power of two within 128 to 65536 (other values round up into it).")
        .def_property(
            "Repeat", [](const Self& self) { return Locked(self, [](Parameters& p) { return p.Repeat(); }); },
            [](const Self& self, py::handle value) {
                const std::int32_t repeat = ToInt32(value);
                Locked(self, [&](Parameters& p) { p.SetRepeat(repeat); });
            },
            "int: the number of exposures of the average and multi methods, 1 to 999 (at least 2 for them).")
        .def_property(
            "Start",
            [](const Self& self) { return FromVariant(Locked(self, [](Parameters& p) { return p.Start(); })); },
            [](const Self& self, py::handle value) {
                const Variant start = ToVariant(value);
                Locked(self, [&](Parameters& p) { p.SetStart(start); });
            },
            "int | float | decimal.Decimal: the start of the evaluated range: a 1-based sample number, a fraction "
            "of the source below 1, or a text such as \"25%\"; 0 is the start of the source.")
        .def_property(
            "Finish",
            [](const Self& self) { return FromVariant(Locked(self, [](Parameters& p) { return p.Finish(); })); },
            [](const Self& self, py::handle value) {
                const Variant finish = ToVariant(value);
                Locked(self, [&](Parameters& p) { p.SetFinish(finish); });
            },
            "int | float | decimal.Decimal: the end of the evaluated range, as Start; 0 is the end of the source.")
        .def("__repr__", &Repr);
    cls.attr("DispIds") = DispIdTable({{"Phase", 0x40030000},
                                       {"Center", 0x40030001},
                                       {"Finish", 0x68030008},
                                       {"Method", 0x68030007},
                                       {"Repeat", 0x68030006},
                                       {"Start", 0x68030005},
                                       {"Width", 0x68030004},
                                       {"Window", 0x68030003}});
}

}  // namespace tavox::python
