#include <memory>
#include <string>

#include "app/Application.h"
#include "data/Files.h"
#include "engine/Parameters.h"
#include "python/Bindings.h"
#include "python/Convert.h"
#include "python/CoreLock.h"
#include "python/PyApplication.h"

namespace py = pybind11;

namespace tavox::python {

namespace {

// Lets the garbage collector see the sinks, so that a sink that refers to
// its Application does not keep both alive for ever.
void EnableGarbageCollection(PyHeapTypeObject* heapType) {
    PyTypeObject* type = &heapType->ht_type;
    type->tp_flags |= Py_TPFLAGS_HAVE_GC;
    type->tp_traverse = [](PyObject* self, visitproc visit, void* arg) {
        Py_VISIT(Py_TYPE(self));
        auto* instance = reinterpret_cast<py::detail::instance*>(self);
        if (instance->get_value_and_holder().holder_constructed())
            return py::cast<const PyApplication&>(py::handle(self)).Traverse(visit, arg);
        return 0;
    };
    type->tp_clear = [](PyObject* self) {
        auto* instance = reinterpret_cast<py::detail::instance*>(self);
        if (instance->get_value_and_holder().holder_constructed()) py::cast<PyApplication&>(py::handle(self)).Clear();
        return 0;
    };
}

}  // namespace

void bindApplication(py::module_& m) {
    py::class_<PyApplication, std::shared_ptr<PyApplication>> cls(
        m, "Application", "Root of the object model; runs batches.", py::custom_type_setup(&EnableGarbageCollection));
    cls.def(py::init<>())
        .def_property_readonly("FFTFiles",
                               [](PyApplication& self) { return CoreCall([&] { return self.Core().FFTFiles(); }); })
        .def_property_readonly(
            "FFTParameters", [](PyApplication& self) { return CoreCall([&] { return self.Core().FFTParameters(); }); })
        .def(
            "BreakFFT", [](PyApplication& self) { CoreCall([&] { self.Core().BreakFFT(); }); },
            "Stops the current run before its next file.")
        .def(
            "FFTCommand",
            [](PyApplication& self, py::handle CommandLine) {
                const std::string text = ToText(CommandLine);
                CoreCall([&] { self.Core().FFTCommand(text); });
            },
            py::arg("CommandLine"), "Parses a command line, sets the parameters, adds its files and runs the batch.")
        .def(
            "FFTExecute", [](PyApplication& self) { CoreCall([&] { self.Core().FFTExecute(); }); },
            "Transforms every file of FFTFiles, raising the events.")
        .def("Subscribe", &PyApplication::Subscribe, py::arg("sink"),
             "Delivers the events to sink.WillExecute(cancel), sink.FileComplete(file, result) and "
             "sink.ExecuteComplete(); missing methods are skipped.")
        .def("Unsubscribe", &PyApplication::Unsubscribe, py::arg("sink"));
    cls.attr("DispIds") = DispIdTable({{"FFTFiles", 0},
                                       {"FFTParameters", 0x68030000},
                                       {"BreakFFT", 0x60030001},
                                       {"FFTCommand", 0x60030002},
                                       {"FFTExecute", 0x60030003}});
    cls.attr("EventDispIds") = DispIdTable({{"WillExecute", 1}, {"FileComplete", 2}, {"ExecuteComplete", 3}});
}

}  // namespace tavox::python
