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

void bindApplication(py::module_& m) {
    py::class_<PyApplication, std::shared_ptr<PyApplication>> cls(m, "Application",
                                                                  "Root of the object model; runs batches.");
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
