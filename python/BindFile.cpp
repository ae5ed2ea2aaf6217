#include <functional>
#include <memory>
#include <string>

#include "engine/File.h"
#include "python/BindEnums.h"
#include "python/Bindings.h"
#include "python/Convert.h"
#include "python/CoreLock.h"

namespace py = pybind11;

namespace tavox::python {

namespace {

std::string Name(File& self) {
    return CoreCall([&] { return self.Name(); });
}

}  // namespace

void bindFile(py::module_& m) {
    py::class_<File, std::shared_ptr<File>> cls(m, "File", "One source and one target with its data channel.");
    cls.def_property_readonly(
           "DataFormat",
           [](File& self) { return EnumValue(EnumKind::Data, CoreCall([&] { return self.DataFormat(); })); })
        .def_property_readonly("Name", &Name)
        .def_property_readonly("Source",
                               [](File& self) { return FromVariant(CoreCall([&] { return self.Source(); })); })
        .def_property_readonly("Target",
                               [](File& self) { return FromVariant(CoreCall([&] { return self.Target(); })); })
        .def(
            "Transform",
            [](File& self) { return EnumValue(EnumKind::Result, CoreCall([&] { return self.Transform(); })); },
            "Transforms the source into the target; returns the result code.")
        .def("__str__", &Name)
        .def("__repr__",
             [](File& self) { return "<tavox.File " + py::repr(py::str(Name(self))).cast<std::string>() + ">"; })
        .def(
            "__eq__",
            [](const File& self, py::handle other) -> py::object {
                if (!py::isinstance<File>(other)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
                return py::bool_(&self == &other.cast<const File&>());
            },
            py::is_operator())
        .def("__hash__", [](const File& self) { return std::hash<const File*>()(&self); });
    cls.attr("DispIds") = DispIdTable({{"DataFormat", 0x68030004},
                                       {"Name", 0},
                                       {"Source", 0x68030003},
                                       {"Target", 0x68030002},
                                       {"Transform", 0x60030005}});
}

}  // namespace tavox::python
