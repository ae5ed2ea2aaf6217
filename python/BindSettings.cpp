#include <pybind11/operators.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>

#include "app/BatchSettings.h"
#include "app/Jobs.h"
#include "common/OutputOptions.h"
#include "python/Bindings.h"
#include "python/InputValues.h"

namespace py = pybind11;

namespace tavox::python {

namespace {

std::string TypeName(const py::handle& value) {
    return py::str(py::type::of(value).attr("__name__"));
}

// A sample rate in Hz or None, as `float(rate)` reads it.
std::optional<double> Rate(const py::object& rate) {
    if (rate.is_none()) return std::nullopt;
    if (PyBool_Check(rate.ptr()) || !(PyLong_Check(rate.ptr()) || PyFloat_Check(rate.ptr()))) {
        throw py::type_error("rate must be a number or None, not " + TypeName(rate));
    }
    const double value = PyFloat_AsDouble(rate.ptr());
    if (value == -1.0 && PyErr_Occurred() != nullptr) throw py::error_already_set();
    if (!ValidRate(value))
        throw py::value_error("rate must be a sample rate in Hz above 0, not " + py::repr(rate).cast<std::string>());
    return value;
}

// A thread count or None.
std::optional<std::int32_t> Jobs(const py::object& jobs) {
    if (jobs.is_none()) return std::nullopt;
    if (PyBool_Check(jobs.ptr()) || !PyLong_Check(jobs.ptr()))
        throw py::type_error("jobs must be an int, not " + TypeName(jobs));
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(jobs.ptr(), &overflow);
    if (overflow != 0 || !ValidJobs(value)) {
        throw py::value_error("jobs must be from 0 to " + std::to_string(MaxJobs) + ", or None, not " +
                              py::str(jobs).cast<std::string>());
    }
    return static_cast<std::int32_t>(value);
}

// A positive finite number or None, as `float(value)` reads it; `what`
// names it in errors, `check` says which values it takes.
std::optional<double> Number(const py::object& value, const char* name, bool (*check)(double) noexcept,
                             const char* allowed) {
    if (value.is_none()) return std::nullopt;
    if (PyBool_Check(value.ptr()) || !(PyLong_Check(value.ptr()) || PyFloat_Check(value.ptr()))) {
        throw py::type_error(std::string(name) + " must be a number or None, not " + TypeName(value));
    }
    const double number = PyFloat_AsDouble(value.ptr());
    if (number == -1.0 && PyErr_Occurred() != nullptr) throw py::error_already_set();
    if (!check(number)) {
        throw py::value_error(std::string(name) + " must be " + allowed + ", not " +
                              py::repr(value).cast<std::string>());
    }
    return number;
}

std::optional<double> FullScale(const py::object& value) {
    return Number(value, "full_scale", &ValidFullScale, "the volts of sample value 32767, above 0");
}

std::optional<double> Overlap(const py::object& value) {
    return Number(value, "overlap", &ValidOverlap, "a percentage from 0 to 95");
}

std::optional<std::int32_t> Pad(const py::object& value) {
    if (value.is_none()) return std::nullopt;
    if (PyBool_Check(value.ptr()) || !PyLong_Check(value.ptr()))
        throw py::type_error("pad must be an int or None, not " + TypeName(value));
    int overflow = 0;
    const long long points = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow != 0 || !ValidPad(points)) {
        throw py::value_error("pad must be a power of two from 128 to 65536, or None, not " +
                              py::str(value).cast<std::string>());
    }
    return static_cast<std::int32_t>(points);
}

template <class Enum>
Enum Named(std::optional<Enum> (*read)(std::string_view) noexcept, const std::string& name, const char* what) {
    const auto value = read(name);
    if (!value) throw py::value_error(std::string("unknown ") + what + " '" + name + "'");
    return *value;
}

// The fast transform adds an eighth value; the state of the exact one stays as it was.
py::tuple SpectrumState(const SpectrumOptions& o) {
    py::tuple state = py::make_tuple(std::string(ScaleName(o.scale)), std::string(UnitName(o.unit)), o.fullScale,
                                     o.overlap, o.repeatCaps, std::string(DetrendName(o.detrend)), o.pad);
    if (o.fft == FftMode::Exact) return state;
    return py::tuple(state + py::make_tuple(std::string(FftModeName(o.fft))));
}

SpectrumOptions SpectrumFromState(const py::tuple& state) {
    if (state.size() != 7 && state.size() != 8) throw py::value_error("not the state of a BatchSettings");
    SpectrumOptions o;
    o.scale = Named(&ScaleFromName, state[0].cast<std::string>(), "scale");
    o.unit = Named(&UnitFromName, state[1].cast<std::string>(), "unit");
    o.fullScale = FullScale(state[2]);
    o.overlap = Overlap(state[3]);
    o.repeatCaps = state[4].cast<bool>();
    o.detrend = Named(&DetrendFromName, state[5].cast<std::string>(), "detrend");
    o.pad = Pad(state[6]);
    if (state.size() == 8) o.fft = Named(&FftModeFromName, state[7].cast<std::string>(), "fft");
    return o;
}

py::tuple InputState(const InputOptions& o) {
    return py::make_tuple(std::string(InputKindName(o.kind)), std::string(SampleFormatName(o.sampleFormat)), o.channels,
                          ChannelObject(o));
}

InputOptions InputFromState(const py::tuple& state) {
    if (state.size() != 4) throw py::value_error("not the state of a BatchSettings");
    InputOptions o;
    o.kind = InputKindValue(state[0].cast<std::string>(), "input_format");
    o.sampleFormat = SampleFormatValue(state[1].cast<std::string>(), "sample_format");
    o.channels = ChannelCount(state[2], "channels");
    SetChannel(o, state[3], "channel");
    return o;
}

// (fundamental, harmonics, band low, band high), or None: what to measure.
py::object MeasureState(const std::optional<MeasureOptions>& o) {
    if (!o) return py::none();
    return py::make_tuple(o->fundamental, o->harmonics, o->bandLow, o->bandHigh);
}

std::optional<MeasureOptions> MeasureFromState(const py::object& state) {
    if (state.is_none()) return std::nullopt;
    const auto t = state.cast<py::tuple>();
    if (t.size() != 4) throw py::value_error("measure must be None or (fundamental, harmonics, low, high)");
    MeasureOptions o;
    o.fundamental = t[0].cast<std::optional<double>>();
    o.harmonics = t[1].cast<std::int32_t>();
    o.bandLow = t[2].cast<std::optional<double>>();
    o.bandHigh = t[3].cast<std::optional<double>>();
    if (o.harmonics < 1 || o.harmonics > MaxHarmonics) throw py::value_error("harmonics must be from 1 to 20");
    return o;
}

py::tuple State(const BatchSettings& s) {
    const TransformSettings& t = s.transform;
    return py::make_tuple(t.width, static_cast<int>(t.window), t.center, static_cast<int>(t.method), t.repeat, t.start,
                          t.finish, t.phase, std::string(FormatName(s.output.format)), s.output.rate,
                          std::string(AverageName(s.output.average)), s.jobs, SpectrumState(s.output.spectrum),
                          std::string(LayoutName(s.output.layout)), InputState(s.input),
                          MeasureState(s.output.measure));
}

}  // namespace

void bindSettings(py::module_& m) {
    py::class_<BatchSettings> cls(m, "BatchSettings",
                                  R"doc(What a batch or a spectrum runs with, as tavox.spectrum and
tavox.transform_files check it: the transform (width, window, center,
method, repeat, start, finish, phase), the outputs (format, rate, average,
layout), the spectrum (scale, unit, full_scale, overlap, repeat_caps,
detrend, pad, fft), the inputs (input_format, sample_format,
channels, channel) and the threads (jobs). Made by those functions; each
value is checked here alone, how they go together by those functions.)doc");
    cls.def(py::init<>(), "BatchSettings()\n\nThe settings of a new Application: width 128, raw outputs.")
        .def_property(
            "width", [](const BatchSettings& s) { return s.transform.width; },
            [](BatchSettings& s, std::int32_t value) { s.transform.width = value; }, "int: samples per exposure.")
        .def_property(
            "window", [](const BatchSettings& s) { return static_cast<int>(s.transform.window); },
            [](BatchSettings& s, int value) { s.transform.window = static_cast<fftWindowEnum>(value); },
            "int: the window (an fftWindowEnum value).")
        .def_property(
            "center", [](const BatchSettings& s) { return s.transform.center; },
            [](BatchSettings& s, bool value) { s.transform.center = value; },
            "bool: the mean of every exposure is removed first.")
        .def_property(
            "method", [](const BatchSettings& s) { return static_cast<int>(s.transform.method); },
            [](BatchSettings& s, int value) { s.transform.method = static_cast<fftMethodEnum>(value); },
            "int: the method (an fftMethodEnum value).")
        .def_property(
            "repeat", [](const BatchSettings& s) { return s.transform.repeat; },
            [](BatchSettings& s, std::optional<std::int32_t> value) { s.transform.repeat = value; },
            "int | None: exposures of the average and multi methods; None for the least they take.")
        .def_property(
            "start", [](const BatchSettings& s) { return s.transform.start; },
            [](BatchSettings& s, std::optional<std::string> value) { s.transform.start = std::move(value); },
            "str | None: the start of the evaluated range as the command line writes it; None for the first "
            "sample.")
        .def_property(
            "finish", [](const BatchSettings& s) { return s.transform.finish; },
            [](BatchSettings& s, std::optional<std::string> value) { s.transform.finish = std::move(value); },
            "str | None: the end of the evaluated range, the same way; None for the last sample.")
        .def_property(
            "phase", [](const BatchSettings& s) { return s.transform.phase; },
            [](BatchSettings& s, bool value) { s.transform.phase = value; },
            "bool: with the simple method, the phases follow the magnitudes.")
        .def_property(
            "format", [](const BatchSettings& s) { return std::string(FormatName(s.output.format)); },
            [](BatchSettings& s, const std::string& name) {
                s.output.format = Named(&FormatFromName, name, "output format");
            },
            "str: the format of disk outputs, as the program's --format.")
        .def_property(
            "rate", [](const BatchSettings& s) { return s.output.rate; },
            [](BatchSettings& s, const py::object& rate) { s.output.rate = Rate(rate); },
            "float | None: the sample rate in Hz, as the program's --rate; a number above 0.")
        .def_property(
            "average", [](const BatchSettings& s) { return std::string(AverageName(s.output.average)); },
            [](BatchSettings& s, const std::string& name) {
                s.output.average = Named(&AverageFromName, name, "average mode");
            },
            "str: how the average method combines its exposures, as the program's --average.")
        .def_property(
            "layout", [](const BatchSettings& s) { return std::string(LayoutName(s.output.layout)); },
            [](BatchSettings& s, const std::string& name) { s.output.layout = Named(&LayoutFromName, name, "layout"); },
            "str: where the multi method puts its exposures, as the program's --layout: 'files' or 'matrix'.")
        .def_property(
            "jobs", [](const BatchSettings& s) { return s.jobs; },
            [](BatchSettings& s, const py::object& jobs) { s.jobs = Jobs(jobs); },
            "int | None: the threads, as the program's --jobs: 0 to 256; None or 0 for TAVOX_JOBS, else every "
            "CPU.")
        .def_property(
            "scale", [](const BatchSettings& s) { return std::string(ScaleName(s.output.spectrum.scale)); },
            [](BatchSettings& s, const std::string& name) {
                s.output.spectrum.scale = Named(&ScaleFromName, name, "scale");
            },
            "str: what the values are, as the program's --scale: 'amplitude', 'power' or 'psd'.")
        .def_property(
            "unit", [](const BatchSettings& s) { return std::string(UnitName(s.output.spectrum.unit)); },
            [](BatchSettings& s, const std::string& name) {
                s.output.spectrum.unit = Named(&UnitFromName, name, "unit");
            },
            "str: their unit, as the program's --unit: 'linear', 'dbfs', 'volts' or 'dbv'.")
        .def_property(
            "full_scale", [](const BatchSettings& s) { return s.output.spectrum.fullScale; },
            [](BatchSettings& s, const py::object& value) { s.output.spectrum.fullScale = FullScale(value); },
            "float | None: the volts of sample value 32767, as the program's --full-scale.")
        .def_property(
            "overlap", [](const BatchSettings& s) { return s.output.spectrum.overlap; },
            [](BatchSettings& s, const py::object& value) { s.output.spectrum.overlap = Overlap(value); },
            "float | None: Welch placement with this overlap in percent (0 to 95), as the program's --overlap.")
        .def_property(
            "repeat_caps", [](const BatchSettings& s) { return s.output.spectrum.repeatCaps; },
            [](BatchSettings& s, bool value) { s.output.spectrum.repeatCaps = value; },
            "bool: with overlap, repeat caps the number of exposures (as the field D does).")
        .def_property(
            "detrend", [](const BatchSettings& s) { return std::string(DetrendName(s.output.spectrum.detrend)); },
            [](BatchSettings& s, const std::string& name) {
                s.output.spectrum.detrend = Named(&DetrendFromName, name, "detrend");
            },
            "str: what each exposure loses before the window, as the program's --detrend: 'none', 'mean' or "
            "'linear'.")
        .def_property(
            "pad", [](const BatchSettings& s) { return s.output.spectrum.pad; },
            [](BatchSettings& s, const py::object& value) { s.output.spectrum.pad = Pad(value); },
            "int | None: points transformed, a power of two at least the width, as the program's --pad.")
        .def_property(
            "measure", [](const BatchSettings& s) { return MeasureState(s.output.measure); },
            [](BatchSettings& s, const py::object& value) { s.output.measure = MeasureFromState(value); },
            "tuple | None: what each output's spectrum is measured for, as the program's --measure: "
            "(fundamental Hz or None, harmonics, band low Hz or None, band high Hz or None), or None.")
        .def_property(
            "fft", [](const BatchSettings& s) { return std::string(FftModeName(s.output.spectrum.fft)); },
            [](BatchSettings& s, const std::string& name) {
                s.output.spectrum.fft = Named(&FftModeFromName, name, "fft");
            },
            "str: the transform, as the program's --fft: 'exact' (the default) or 'fast'.")
        .def_property(
            "input_format", [](const BatchSettings& s) { return std::string(InputKindName(s.input.kind)); },
            [](BatchSettings& s, const std::string& name) { s.input.kind = InputKindValue(name, "input_format"); },
            "str: how input files are read, as the program's --input-format: 'auto' (sound files and SigMF "
            "recordings by their contents, other files as raw samples) or 'raw'.")
        .def_property(
            "sample_format", [](const BatchSettings& s) { return std::string(SampleFormatName(s.input.sampleFormat)); },
            [](BatchSettings& s, const std::string& name) {
                s.input.sampleFormat = SampleFormatValue(name, "sample_format");
            },
            "str: the samples of raw inputs, as the program's --sample-format ('s16le', 'f32le', ...).")
        .def_property(
            "channels", [](const BatchSettings& s) { return s.input.channels; },
            [](BatchSettings& s, const py::object& value) { s.input.channels = ChannelCount(value, "channels"); },
            "int: the interleaved channels of raw inputs, as the program's --channels.")
        .def_property(
            "channel", [](const BatchSettings& s) { return ChannelObject(s.input); },
            [](BatchSettings& s, const py::object& value) { SetChannel(s.input, value, "channel"); },
            "int | str: the channel transformed, from 1, or 'all' (each channel into outputs of its own), as the "
            "program's --channel.")
        .def(py::self == py::self)  // NOLINT(misc-redundant-expression)
        .def("__repr__",
             [](const BatchSettings& s) {
                 return "<tavox.BatchSettings " + py::repr(State(s)).cast<std::string>() + ">";
             })
        .def(py::pickle(&State, [](const py::tuple& state) {
            // 13 entries, then what later states added in their order: the layout, the inputs, the measurements.
            // Older states hold some of these only; each is known by its type.
            if (state.size() < 13 || state.size() > 16) throw py::value_error("not the state of a BatchSettings");
            BatchSettings s;
            s.transform.width = state[0].cast<std::int32_t>();
            s.transform.window = static_cast<fftWindowEnum>(state[1].cast<int>());
            s.transform.center = state[2].cast<bool>();
            s.transform.method = static_cast<fftMethodEnum>(state[3].cast<int>());
            s.transform.repeat = state[4].cast<std::optional<std::int32_t>>();
            s.transform.start = state[5].cast<std::optional<std::string>>();
            s.transform.finish = state[6].cast<std::optional<std::string>>();
            s.transform.phase = state[7].cast<bool>();
            s.output.format = Named(&FormatFromName, state[8].cast<std::string>(), "output format");
            s.output.rate = Rate(state[9]);
            s.output.average = Named(&AverageFromName, state[10].cast<std::string>(), "average mode");
            s.jobs = Jobs(state[11]);
            s.output.spectrum = SpectrumFromState(state[12].cast<py::tuple>());
            std::size_t next = 13;
            if (next < state.size() && py::isinstance<py::str>(state[next])) {
                s.output.layout = Named(&LayoutFromName, state[next++].cast<std::string>(), "layout");
            }
            // The inputs' tuple begins with a name; the measurements' with a frequency or None.
            if (next < state.size() && py::isinstance<py::tuple>(state[next]) && py::len(state[next]) > 0 &&
                py::isinstance<py::str>(state[next].cast<py::tuple>()[0])) {
                s.input = InputFromState(state[next++].cast<py::tuple>());
            }
            if (next < state.size()) s.output.measure = MeasureFromState(state[next++]);
            if (next != state.size()) throw py::value_error("not the state of a BatchSettings");
            return s;
        }));
}

}  // namespace tavox::python
