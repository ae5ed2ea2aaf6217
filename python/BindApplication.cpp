#include <memory>
#include <string>

#include "app/Application.h"
#include "app/BatchSettings.h"
#include "app/Files.h"
#include "app/FilesAhead.h"
#include "app/Jobs.h"
#include "common/OutputOptions.h"
#include "data/BlockCache.h"
#include "engine/Parameters.h"
#include "python/BindEnums.h"
#include "python/Bindings.h"
#include "python/Convert.h"
#include "python/FamilyLock.h"
#include "python/InputValues.h"
#include "python/KeyboardStop.h"
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

OutputOptions Output(PyApplication& self) {
    return CoreCall(self.Family(), [&] { return self.Core().FFTFiles()->GetOutputOptions(); });
}

template <class Change>
void ChangeOutput(PyApplication& self, Change&& change) {
    CoreCall(self.Family(), [&] {
        Files& files = *self.Core().FFTFiles();
        OutputOptions options = files.GetOutputOptions();
        change(options);
        files.SetOutputOptions(options);
    });
}

InputOptions Input(PyApplication& self) {
    return CoreCall(self.Family(), [&] { return self.Core().FFTFiles()->GetInputOptions(); });
}

template <class Change>
void ChangeInput(PyApplication& self, Change&& change) {
    CoreCall(self.Family(), [&] {
        Files& files = *self.Core().FFTFiles();
        InputOptions options = files.GetInputOptions();
        change(options);
        files.SetInputOptions(options);
    });
}

std::string Repr(PyApplication& self) {
    const auto [count, width] = CoreCall(self.Family(), [&] {
        return std::pair(self.Core().FFTFiles()->Count(), self.Core().FFTParameters()->Width());
    });
    return "<tavox.Application: " + std::to_string(count) + (count == 1 ? " file" : " files") + ", Width " +
           std::to_string(width) + ">";
}

}  // namespace

void bindApplication(py::module_& m) {
    py::class_<PyApplication, std::shared_ptr<PyApplication>> cls(
        m, "Application",
        R"doc(Root of the object model: settings, files, and the batch that runs them.

Create one with tavox.Application(), or as a context manager:

    with tavox.Application() as app:
        app.FFTParameters.Width = 1024
        app.FFTFiles.Add(tavox.fftDataDiskFile, "/data/*.dat", "*out.*")
        app.FFTExecute()

Applications are independent: each may run on a thread of its own, in
parallel with the others. Calls into one Application (and its Files, File
and Parameters objects) from several threads run one after another.)doc",
        py::custom_type_setup(&EnableGarbageCollection));
    cls.def(py::init<>(), "Application()\n\nA new Application with default settings and no files.")
        .def_property_readonly(
            "FFTFiles",
            [](PyApplication& self) { return CoreCall(self.Family(), [&] { return self.Core().FFTFiles(); }); },
            "Files: the files of the batch.")
        .def_property_readonly(
            "FFTParameters",
            [](PyApplication& self) { return CoreCall(self.Family(), [&] { return self.Core().FFTParameters(); }); },
            "Parameters: the settings of every transform of this Application.")
        .def(
            "BreakFFT", [](PyApplication& self) { CoreCall(self.Family(), [&] { self.Core().BreakFFT(); }); },
            "BreakFFT() -> None\n\nStops the current run before its next file. From another thread it waits for the "
            "running batch; call it from a FileComplete handler instead.")
        .def(
            "FFTCommand",
            [](PyApplication& self, py::handle CommandLine) {
                const std::string text = ToText(CommandLine);
                KeyboardStop stop(self.Core());
                CoreCall(self.Family(), [&] { self.Core().FFTCommand(text); });
                stop.Finish();
            },
            py::arg("CommandLine"),
            "FFTCommand(CommandLine: str) -> None\n\nParses a command line (the fields of the tavox program, such as "
            "\"fc h 1024 /data/*.dat *out.*\"), sets the parameters, adds its files and runs the batch, which Ctrl+C "
            "stops as it stops FFTExecute.")
        .def(
            "FFTExecute",
            [](PyApplication& self) {
                KeyboardStop stop(self.Core());
                CoreCall(self.Family(), [&] { self.Core().FFTExecute(); });
                stop.Finish();
            },
            "FFTExecute() -> None\n\nTransforms every file of FFTFiles in order, raising the events WillExecute, "
            "FileComplete (once per file) and ExecuteComplete. The GIL is released while files are transformed. "
            "On the main thread, Ctrl+C (SIGINT, while it raises KeyboardInterrupt) stops the batch at once, between "
            "two exposures of the file in progress, which then fails; the events so far are raised, and "
            "KeyboardInterrupt follows.")
        .def("Subscribe", &PyApplication::Subscribe, py::arg("sink"),
             "Subscribe(sink: object) -> None\n\nDelivers the events to sink.WillExecute(cancel), "
             "sink.FileComplete(file, result) and sink.ExecuteComplete(); missing methods are skipped. Subscribing "
             "the same object again does nothing.")
        .def("Unsubscribe", &PyApplication::Unsubscribe, py::arg("sink"),
             "Unsubscribe(sink: object) -> None\n\nStops delivering events to sink; an object that is not "
             "subscribed is ignored.")
        .def_property(
            "output_format", [](PyApplication& self) { return std::string(FormatName(Output(self).format)); },
            [](PyApplication& self, const std::string& name) {
                const auto format = FormatFromName(name);
                if (!format)
                    throw py::value_error("output_format must be " + NameList(OutputFormatNames, " or ", "'") +
                                          ", not '" + name + "'");
                ChangeOutput(self, [&](OutputOptions& options) { options.format = *format; });
            },
            "str: the format of disk outputs, as the program's --format: 'raw' (16-bit samples, the default), "
            "'csv', 'f32' or 'npy' (the unrounded values), or 'npz' (a matrix, with output_layout 'matrix').")
        .def_property(
            "fs",
            [](PyApplication& self) -> py::object {
                const auto rate = Output(self).rate;
                return rate ? py::object(py::float_(*rate)) : py::none();
            },
            [](PyApplication& self, py::object rate) {
                std::optional<double> value;
                if (!rate.is_none()) {
                    if (!PyNumber_Check(rate.ptr()) || PyBool_Check(rate.ptr())) {
                        throw py::type_error("fs must be a number or None");
                    }
                    value = rate.cast<double>();
                    if (!ValidRate(*value)) {
                        throw py::value_error("fs must be a finite number above 0, such as 48000");
                    }
                }
                ChangeOutput(self, [&](OutputOptions& options) { options.rate = value; });
            },
            "float | None: the sample rate in Hz, as the program's --rate: adds the frequency of each bin to CSV "
            "outputs. None (the default) leaves it out.")
        .def_property(
            "average", [](PyApplication& self) { return std::string(AverageName(Output(self).average)); },
            [](PyApplication& self, const std::string& name) {
                const auto mode = AverageFromName(name);
                if (!mode)
                    throw py::value_error("average must be " + NameList(AverageModeNames, " or ", "'") + ", not '" +
                                          name + "'");
                ChangeOutput(self, [&](OutputOptions& options) { options.average = *mode; });
            },
            "str: how the average method combines its exposures on disk, as the program's --average: 'mean' (the "
            "default), 'rms', 'max' or 'median'. A spreadsheet target always receives the mean.")
        .def_property(
            "output_layout", [](PyApplication& self) { return std::string(LayoutName(Output(self).layout)); },
            [](PyApplication& self, const std::string& name) {
                const auto layout = LayoutFromName(name);
                if (!layout)
                    throw py::value_error("output_layout must be " + NameList(OutputLayoutNames, " or ", "'") +
                                          ", not '" + name + "'");
                ChangeOutput(self, [&](OutputOptions& options) { options.layout = *layout; });
            },
            "str: where the multi method puts its exposures on disk, as the program's --layout: 'files' (one "
            "numbered output each, the default) or 'matrix' (the rows of one output with their axes; not with "
            "'raw').")
        .def_property(
            "jobs", [](PyApplication& self) { return CoreCall(self.Family(), [&] { return self.Core().Jobs(); }); },
            [](PyApplication& self, py::object value) {
                if (!PyLong_Check(value.ptr()) || PyBool_Check(value.ptr()))
                    throw py::type_error("jobs must be an int, not " + std::string(Py_TYPE(value.ptr())->tp_name));
                int overflow = 0;
                const long long jobs = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
                if (overflow != 0 || !ValidJobs(jobs))
                    throw py::value_error("jobs must be from 0 to " + std::to_string(MaxJobs) + ", not " +
                                          py::str(value).cast<std::string>());
                CoreCall(self.Family(), [&] { self.Core().SetJobs(static_cast<std::int32_t>(jobs)); });
            },
            "int: the threads a batch may use, as the program's --jobs: 1 runs it on the calling thread alone; 0 "
            "(the default) means TAVOX_JOBS when set, else one per CPU this process may use. Outputs, results and "
            "events do not depend on it; handlers and Python ranges stay on the thread that runs the batch.")
        .def_property(
            "input_format", [](PyApplication& self) { return std::string(InputKindName(Input(self).kind)); },
            [](PyApplication& self, const std::string& name) {
                const InputKind kind = InputKindValue(name, "input_format");
                ChangeInput(self, [&](InputOptions& options) { options.kind = kind; });
            },
            "str: how files added later are read, as the program's --input-format: 'auto' (the default: sound "
            "files and SigMF recordings by their contents, other files as raw samples) or 'raw'.")
        .def_property(
            "sample_format",
            [](PyApplication& self) { return std::string(SampleFormatName(Input(self).sampleFormat)); },
            [](PyApplication& self, const std::string& name) {
                const SampleFormat format = SampleFormatValue(name, "sample_format");
                ChangeInput(self, [&](InputOptions& options) { options.sampleFormat = format; });
            },
            "str: the samples of raw files added later, as the program's --sample-format: 's16le' (the default), "
            "'f32le', ...")
        .def_property(
            "channels", [](PyApplication& self) { return Input(self).channels; },
            [](PyApplication& self, const py::object& value) {
                const std::int32_t channels = ChannelCount(value, "channels");
                ChangeInput(self, [&](InputOptions& options) { options.channels = channels; });
            },
            "int: the interleaved channels of raw files added later, as the program's --channels (default 1).")
        .def_property(
            "channel", [](PyApplication& self) { return ChannelObject(Input(self)); },
            [](PyApplication& self, const py::object& value) {
                InputOptions chosen = Input(self);
                SetChannel(chosen, value, "channel");
                ChangeInput(self, [&](InputOptions& options) { options = chosen; });
            },
            "int | str: the channel files added later read, from 1 (the default 1), or 'all': Files.Add then "
            "adds one File per channel of each file, named <name>_ch<K>.<extension>, whose outputs carry _ch<K> "
            "before the extension; as the program's --channel.")
        .def(
            "_configure",
            [](PyApplication& self, const BatchSettings& settings) {
                CoreCall(self.Family(), [&] {
                    Application& app = self.Core();
                    ApplyTransform(settings.transform, *app.FFTParameters());
                    ApplyRunSettings(settings, app);
                });
            },
            py::arg("settings"),
            "_configure(settings: BatchSettings) -> None\n\nGives FFTParameters, the outputs and the threads the "
            "values of settings (as tavox.transform_files does).")
        .def(
            "__enter__", [](py::object self) { return self; }, "Returns the Application itself.")
        .def(
            "__exit__",
            [](PyApplication& self, py::args) {
                self.UnsubscribeAll();
                BlockCache::Clear();
                return false;
            },
            "Unsubscribes every sink and gives back the working memory this thread keeps for batches; exceptions "
            "pass on. The Application, its files and settings stay usable.")
        .def("__repr__", &Repr);
    cls.attr("DispIds") = DispIdTable({{"FFTFiles", 0},
                                       {"FFTParameters", 0x68030000},
                                       {"BreakFFT", 0x60030001},
                                       {"FFTCommand", 0x60030002},
                                       {"FFTExecute", 0x60030003}});
    cls.attr("EventDispIds") = DispIdTable({{"WillExecute", 1}, {"FileComplete", 2}, {"ExecuteComplete", 3}});
    m.def("_files_transformed_on_workers", &FilesAhead::TransformedOnWorkers,
          "Files the worker threads of batches have transformed ahead of their turn in this process so far; for "
          "tests.");
}

}  // namespace tavox::python
