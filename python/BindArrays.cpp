#include <pybind11/numpy.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "app/BatchSettings.h"
#include "app/Jobs.h"
#include "app/ProgressText.h"
#include "data/MatrixFormats.h"
#include "engine/MeasureStep.h"
#include "engine/OctaveBands.h"
#include "engine/Parameters.h"
#include "engine/SampleSpectrum.h"
#include "engine/Shaping.h"
#include "engine/SpectrumStage.h"
#include "engine/WindowAndMethodNames.h"
#include "engine/WindowConstants.h"
#include "python/Bindings.h"
#include "python/Convert.h"

namespace py = pybind11;

namespace tavox::python {

namespace {

// A numpy array that owns `values`, without copying them.
template <class T>
py::array OwningArray(std::vector<T>&& values) {
    auto* held = new std::vector<T>(std::move(values));
    py::capsule owner(held, [](void* p) { delete static_cast<std::vector<T>*>(p); });
    return py::array_t<T>({held->size()}, {sizeof(T)}, held->data(), owner);
}

// Samples of a C-contiguous 1-D buffer of int16 or float64 values, used in place.
MemorySamples SamplesOf(const py::buffer_info& info) {
    if (info.ndim != 1) throw py::type_error("a 1-D buffer of samples is required");
    const bool contiguous = info.shape[0] <= 1 || info.strides[0] == info.itemsize;
    if (info.format == py::format_descriptor<std::int16_t>::format() && contiguous) {
        return std::span<const std::int16_t>(static_cast<const std::int16_t*>(info.ptr),
                                             static_cast<std::size_t>(info.shape[0]));
    }
    if (info.format == py::format_descriptor<double>::format() && contiguous) {
        return std::span<const double>(static_cast<const double*>(info.ptr), static_cast<std::size_t>(info.shape[0]));
    }
    throw py::type_error("a contiguous buffer of int16 or float64 samples is required");
}

// The work of tavox.spectrum once its arguments are checked (tavox/_arrays.py):
// returns (result code, outputs, rows, bins, flat array of the outputs, exposures).
py::tuple Spectrum(const py::buffer& samples, const BatchSettings& settings, bool raw) {
    const py::buffer_info info = samples.request();
    const MemorySamples source = SamplesOf(info);

    SampleSpectrum spectrum;
    {
        // The tables of the width are built here too, outside the GIL.
        py::gil_scoped_release release;
        auto parameters = std::make_shared<Parameters>();
        ApplyTransform(settings.transform, *parameters);
        const std::int32_t jobs = settings.jobs.value_or(0);
        spectrum = TransformSamples(std::move(parameters), settings.output, source,
                                    raw ? SpectrumTarget::DiskRaw : SpectrumTarget::Sheet,
                                    static_cast<std::size_t>(jobs > 0 ? jobs : DefaultJobs()));
    }
    py::array values = raw ? OwningArray(std::move(spectrum.samples)) : OwningArray(std::move(spectrum.values));
    return py::make_tuple(spectrum.result, spectrum.outputs, spectrum.rows, spectrum.bins, values, spectrum.exposures);
}

// The spectra of `samples` as a sheet keeps them, computed outside the GIL.
SampleSpectrum SheetSpectrum(const py::buffer& samples, const BatchSettings& settings) {
    const py::buffer_info info = samples.request();
    const MemorySamples source = SamplesOf(info);
    py::gil_scoped_release release;
    auto parameters = std::make_shared<Parameters>();
    ApplyTransform(settings.transform, *parameters);
    const std::int32_t jobs = settings.jobs.value_or(0);
    return TransformSamples(std::move(parameters), settings.output, source, SpectrumTarget::Sheet,
                            static_cast<std::size_t>(jobs > 0 ? jobs : DefaultJobs()));
}

// The work of tavox.measure: (result code, measures of the last output).
py::tuple Measure(const py::buffer& samples, const BatchSettings& settings) {
    const SampleSpectrum spectrum = SheetSpectrum(samples, settings);
    return py::make_tuple(spectrum.result, MeasuresObject(spectrum.measures));
}

// The work of tavox.spectrogram for one run of exposures of the multi
// method: (result code, outputs, bins, values of the outputs, first sample
// of each).
py::tuple Spectrogram(const py::buffer& samples, const BatchSettings& settings) {
    SampleSpectrum spectrum = SheetSpectrum(samples, settings);
    return py::make_tuple(spectrum.result, spectrum.outputs, spectrum.bins, OwningArray(std::move(spectrum.values)),
                          OwningArray(std::move(spectrum.starts)));
}

// What an output of `bins` bins that `settings` made knows of itself.
SpectrumContext ContextOf(const BatchSettings& settings, std::size_t bins) {
    Parameters parameters;
    ApplyTransform(settings.transform, parameters);
    const SpectrumOptions& spectrum = settings.output.spectrum;
    return SpectrumContext{2 * bins,
                           parameters.WindowSum(),
                           parameters.WindowSquares(),
                           settings.output.rate,
                           static_cast<std::size_t>(parameters.Width()),
                           spectrum.Quantity(),
                           spectrum.fullScale,
                           parameters.Window(),
                           settings.output.measure};
}

using Values = py::array_t<double, py::array::c_style | py::array::forcecast>;

// The figures of tavox.measure for a spectrum already computed: `values`,
// one output that `settings` made, in its unit.
py::object MeasureValuesOf(const Values& values, const BatchSettings& settings) {
    const auto bins = static_cast<std::size_t>(values.size());
    const SpectrumContext context = ContextOf(settings, bins);
    Measures measures;
    {
        py::gil_scoped_release release;
        MeasureValues(std::span<const double>(values.data(), bins), context, true, measures);
    }
    return MeasuresObject(measures);
}

// The band levels of tavox.bands from the unrounded values of one output
// that `settings` made: (index, nominal, exact, lower, upper, bins, level, sparse) each.
py::list Bands(const Values& values, const BatchSettings& settings, std::int32_t perOctave) {
    const auto bins = static_cast<std::size_t>(values.size());
    const SpectrumContext context = ContextOf(settings, bins);
    std::vector<double> power(bins);
    ValuesToPower(std::span<const double>(values.data(), bins), power, context, true);
    const double nenbw =
        static_cast<double>(context.width) * context.weightSquares / (context.weightSum * context.weightSum);
    const double binHz = settings.output.rate.value_or(1.0) / static_cast<double>(context.width);
    py::list bands;
    for (const BandPower& band : BandPowers(power, perOctave, binHz, nenbw)) {
        bands.append(py::make_tuple(band.band.index, band.band.nominal, band.band.exact, band.band.lower,
                                    band.band.upper, band.bins,
                                    ToneLevel(band.power, context.quantity, context.fullScale), band.bins < 3 * nenbw));
    }
    return bands;
}

// The first and last sample (1-based) of the evaluated range of `length`
// samples, as the settings' start and finish give them.
py::tuple Range(const BatchSettings& settings, std::int32_t length) {
    Parameters parameters;
    ApplyTransform(settings.transform, parameters);
    return py::make_tuple(parameters.StartPosition(length), parameters.FinishPosition(length));
}

// The meta text of a matrix of `count` exposures of the settings, from the
// 0-based sample `first` on, `step` apart, as an .npz holds it.
std::string MetaOf(const BatchSettings& settings, std::int32_t first, std::int32_t step, std::int32_t count,
                   const std::string& source) {
    Parameters parameters;
    ApplyTransform(settings.transform, parameters);
    const SpectrumStage stage(parameters, settings.output, true, nullptr);
    const OutputStage& output = stage.Output();
    MatrixLayout layout;
    layout.series = ExposureSeries{
        first + 1, step, count, parameters.Width(), NamesOf(parameters.Window()).name, parameters.Center()};
    layout.shape = output.Shape(output.Context().width / 2, 1);
    layout.context = output.Context();
    layout.source = source;
    return MatrixMeta(layout);
}

}  // namespace

void bindArrays(py::module_& m) {
    m.def("_measure", &Measure, py::arg("samples"), py::arg("settings"),
          "The transform and measurement behind tavox.measure, for arguments it has checked; use tavox.measure.");
    m.def("_measure_values", &MeasureValuesOf, py::arg("values"), py::arg("settings"),
          "The measurement behind tavox.measure of a Spectrum, for arguments it has checked; use tavox.measure.");
    m.def("_bands", &Bands, py::arg("values"), py::arg("settings"), py::arg("per_octave"),
          "The band levels behind tavox.bands, for arguments it has checked; use tavox.bands.");
    m.def("_spectrum", &Spectrum, py::arg("samples"), py::arg("settings"), py::arg("raw"),
          "The transform behind tavox.spectrum, for arguments it has checked; use tavox.spectrum.");
    m.def("_spectrogram", &Spectrogram, py::arg("samples"), py::arg("settings"),
          "The transform behind tavox.spectrogram, for arguments it has checked; use tavox.spectrogram.");
    m.def("_range", &Range, py::arg("settings"), py::arg("length"),
          "(first, last): the 1-based evaluated range of `length` samples, as a transform resolves it.");
    m.def("_matrix_meta", &MetaOf, py::arg("settings"), py::arg("first"), py::arg("step"), py::arg("count"),
          py::arg("source"), "The meta text of a spectrogram's matrix, as an .npz holds it.");
    m.def(
        "_window_constants",
        [](int window, std::size_t width) {
            const WindowConstants c = ConstantsOfWindow(static_cast<fftWindowEnum>(window), width);
            return py::make_tuple(c.width, c.weightSum, c.weightSquares, c.coherentGain, c.nenbw, c.scallopingLoss);
        },
        py::arg("window"), py::arg("width"),
        "(width, S1, S2, coherent gain, NENBW, scalloping loss) of a window; use tavox.window_constants.");
    m.def(
        "_window_weights",
        [](int window, std::size_t width) {
            std::vector<double> weights(width);
            for (std::size_t i = 0; i < width; ++i)
                weights[i] = WindowWeight(static_cast<fftWindowEnum>(window), i, width);
            return OwningArray(std::move(weights));
        },
        py::arg("window"), py::arg("width"), "The weights of a window; use tavox.window_weights.");
    m.def(
        "_result_message", [](std::int32_t code) { return ResultMessageEnglish(code); }, py::arg("code"),
        "The English text of a result code.");
}

}  // namespace tavox::python
