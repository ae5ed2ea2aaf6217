#include <pybind11/stl.h>

#include <memory>

#include "data/Files.h"
#include "engine/File.h"
#include "python/Bindings.h"
#include "python/Convert.h"
#include "python/CoreLock.h"

namespace py = pybind11;

namespace tavox::python {

namespace {

py::object Item(Files& self, py::handle Index) {
    const Variant index = ToVariant(Index);
    std::shared_ptr<File> file = CoreCall([&] { return self.Item(index); });
    return file ? py::cast(std::move(file)) : py::none();
}

py::object Iterate(Files& self) {
    return py::iter(py::cast(CoreCall([&] { return self.Items(); })));
}

std::int32_t Count(Files& self) {
    return CoreCall([&] { return self.Count(); });
}

void WriteBack(py::handle argument, const Variant& value) {
    if (py::isinstance<ByRef>(argument)) argument.cast<ByRef&>().value = FromVariant(value);
}

py::object Add(Files& self, py::handle FileType, py::handle Source, py::handle Target) {
    const std::int32_t fileType = ToInt32(FileType);
    Variant source = ToVariant(Source);
    Variant target = ToVariant(Target);
    Variant result;
    try {
        result = CoreCall([&] { return self.Add(fileType, source, target); });
    } catch (...) {
        WriteBack(Source, source);
        WriteBack(Target, target);
        throw;
    }
    WriteBack(Source, source);
    WriteBack(Target, target);
    return FromVariant(result);
}

}  // namespace

void bindFiles(py::module_& m) {
    py::class_<Files, std::shared_ptr<Files>> cls(m, "Files", "The File objects of a batch, keyed by name.");
    cls.def_property_readonly("Count", &Count)
        .def("Item", &Item, py::arg("Index"),
             "A File by 1-based position or by name (any letter case); None when nothing matches.")
        .def("__getitem__", &Item)
        .def("__call__", &Item)
        .def("__len__", &Count)
        .def("__iter__", &Iterate)
        .def_property_readonly("NewEnum", &Iterate)
        .def("Add", &Add, py::arg("FileType"), py::arg("Source"), py::arg("Target"),
             "Adds disk files (a path mask and an output-name mask) or a pair of ranges. Returns None, one File "
             "or a tuple of File objects. Pass Source as tavox.ByRef(...) to receive the completed path.")
        .def(
            "Remove",
            [](Files& self, py::handle Index) {
                const Variant index = ToVariant(Index);
                CoreCall([&] { self.Remove(index); });
            },
            py::arg("Index"));
    cls.attr("DispIds") =
        DispIdTable({{"Count", 0x68030001}, {"Item", 0}, {"NewEnum", -4}, {"Add", 0x60030002}, {"Remove", 0x60030003}});
}

}  // namespace tavox::python
