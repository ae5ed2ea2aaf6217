#include <memory>

#include "engine/Parameters.h"
#include "python/BindEnums.h"
#include "python/Bindings.h"
#include "python/Convert.h"
#include "python/CoreLock.h"

namespace py = pybind11;

namespace tavox::python {

void bindParameters(py::module_& m) {
    py::class_<Parameters, std::shared_ptr<Parameters>> cls(
        m, "Parameters", "Settings of a transform run; every value is mapped into range when set.");
    cls.def_property(
           "Phase", [](Parameters& self) { return CoreCall([&] { return self.Phase(); }); },
           [](Parameters& self, py::handle value) {
               const bool flag = ToBool(value);
               CoreCall([&] { self.SetPhase(flag); });
           })
        .def_property(
            "Center", [](Parameters& self) { return CoreCall([&] { return self.Center(); }); },
            [](Parameters& self, py::handle value) {
                const bool flag = ToBool(value);
                CoreCall([&] { self.SetCenter(flag); });
            })
        .def_property(
            "Method",
            [](Parameters& self) { return EnumValue(EnumKind::Method, CoreCall([&] { return self.Method(); })); },
            [](Parameters& self, py::handle value) {
                const std::int32_t method = ToInt32(value);
                CoreCall([&] { self.SetMethod(method); });
            })
        .def_property(
            "Window",
            [](Parameters& self) { return EnumValue(EnumKind::Window, CoreCall([&] { return self.Window(); })); },
            [](Parameters& self, py::handle value) {
                const std::int32_t window = ToInt32(value);
                CoreCall([&] { self.SetWindow(window); });
            })
        .def_property(
            "Width", [](Parameters& self) { return CoreCall([&] { return self.Width(); }); },
            [](Parameters& self, py::handle value) {
                const std::int32_t width = ToInt32(value);
                CoreCall([&] { self.SetWidth(width); });
            })
        .def_property(
            "Repeat", [](Parameters& self) { return CoreCall([&] { return self.Repeat(); }); },
            [](Parameters& self, py::handle value) {
                const std::int32_t repeat = ToInt32(value);
                CoreCall([&] { self.SetRepeat(repeat); });
            })
        .def_property(
            "Start", [](Parameters& self) { return FromVariant(CoreCall([&] { return self.Start(); })); },
            [](Parameters& self, py::handle value) {
                const Variant start = ToVariant(value);
                CoreCall([&] { self.SetStart(start); });
            })
        .def_property(
            "Finish", [](Parameters& self) { return FromVariant(CoreCall([&] { return self.Finish(); })); },
            [](Parameters& self, py::handle value) {
                const Variant finish = ToVariant(value);
                CoreCall([&] { self.SetFinish(finish); });
            });
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
