#include <pybind11/stl.h>

#include <functional>
#include <memory>
#include <string>

#include "data/Data.h"
#include "engine/File.h"
#include "python/BindEnums.h"
#include "python/Bindings.h"
#include "python/Convert.h"
#include "python/FamilyLock.h"

namespace py = pybind11;

namespace tavox::python {

namespace {

std::string Name(File& self) {
    return CoreCall(self.GetParameters(), [&] { return self.Name(); });
}

}  // namespace

void bindFile(py::module_& m) {
    py::class_<File, std::shared_ptr<File>> cls(
        m, "File",
        R"doc(One source and one target, with the data channel that reads and writes them.

Files come from Files.Add (or from a FileComplete event); they cannot be
created directly. Two File objects compare equal when they are the same
entry of a batch.)doc");
    cls.def_property_readonly(
           "DataFormat",
           [](File& self) {
               return EnumValue(EnumKind::Data, CoreCall(self.GetParameters(), [&] { return self.DataFormat(); }));
           },
           "fftDataEnum: fftDataDiskFile for a sequence file, fftDataExcelRange for a pair of ranges.")
        .def_property_readonly("Name", &Name,
                               "str: the file's name without its folder (disk), or RangeN.xls for a pair of ranges; "
                               "its key in Files.")
        .def_property_readonly(
            "Source",
            [](File& self) { return FromVariant(CoreCall(self.GetParameters(), [&] { return self.Source(); })); },
            "str | object: the full path of the input (disk), or the source range object.")
        .def_property_readonly(
            "Target",
            [](File& self) { return FromVariant(CoreCall(self.GetParameters(), [&] { return self.Target(); })); },
            "str | object: the output-name mask (disk), or the target range object.")
        .def_property_readonly(
            "outputs",
            [](File& self) {
                const auto paths = CoreCall(self.GetParameters(), [&] { return self.GetData().WrittenOutputs(); });
                return py::tuple(py::cast(paths));
            },
            "tuple[str, ...]: the disk outputs the last Transform wrote in full, in order (method multi: one per "
            "exposure); empty before the first Transform, after a failure before any output, and for ranges.")
        .def_property_readonly(
            "channel",
            [](File& self) {
                return CoreCall(self.GetParameters(), [&] { return self.GetData().GetInputOptions().channel; });
            },
            "int: the channel of a disk source the File reads, from 1 (one File per channel with channel='all').")
        .def_property_readonly(
            "problem",
            [](File& self) { return CoreCall(self.GetParameters(), [&] { return self.GetData().SourceProblem(); }); },
            "str: why the last Transform could not read the disk source (libsndfile's words, the SigMF field, the "
            "channel), as the program says it on standard error; empty when all went well or nothing is known.")
        .def(
            "Transform",
            [](File& self) {
                return EnumValue(EnumKind::Result, CoreCall(self.GetParameters(), [&] { return self.Transform(); }));
            },
            "Transform() -> fftResultEnum\n\nTransforms the source into the target with the Application's "
            "parameters and returns the result code (fftResultAllRight when all went well). The length of a disk "
            "source is measured now, not when the file was added. The GIL is released meanwhile.")
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
