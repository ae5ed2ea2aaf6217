#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "common/SpectrumOptions.h"
#include "engine/Parameters.h"
#include "ui/plot/GuiApplication.h"
#include "ui/plot/PlotTitle.h"
#include "ui/plot/PngFile.h"
#include "ui/plot/SpectrogramPlot.h"
#include "ui/plot/SpectrumPlot.h"

namespace py = pybind11;

namespace tavox::python {
namespace {

using Values = py::array_t<double, py::array::c_style | py::array::forcecast>;

std::vector<double> Copied(const Values& values) {
    return std::vector<double>(values.data(), values.data() + values.size());
}

// The subtitle of an output's picture without the arrow to the output's
// name, which a spectrum in memory has not.
std::string WithoutOutput(std::string subtitle) {
    const std::string arrow = " \u2192 ";
    const auto at = subtitle.find(arrow);
    if (at == std::string::npos) return subtitle;
    const auto end = subtitle.find('\n', at);
    return subtitle.erase(at, end == std::string::npos ? std::string::npos : end - at);
}

struct Picture {
    Values magnitudes;
    std::optional<Values> phases;
    std::string column;
    std::optional<double> rate;
    std::string source;
    std::optional<int> window;
    std::optional<int> method;
    int width = 0;
    int points = 0;
    int exposures = 1;
    bool db = false;
    int pixelsWide = 1200;
    int pixelsHigh = 700;
};

// The picture of a spectrum that --plot draws for an output holding it, as PNG.
py::bytes SpectrumPng(const Picture& picture) {
    auto spectrum = std::make_shared<Spectrum>();
    spectrum->magnitudes = Copied(picture.magnitudes);
    if (picture.phases) spectrum->phases = Copied(*picture.phases);
    spectrum->width = static_cast<std::size_t>(picture.points);
    spectrum->rate = picture.rate;
    const auto quantity = QuantityOfColumn(picture.column);
    if (!quantity) throw py::value_error("no quantity is named " + picture.column);
    spectrum->quantity = *quantity;

    SpectrumOptions options;
    options.scale = quantity->scale;
    options.unit = quantity->unit;
    std::shared_ptr<Parameters> parameters;
    if (picture.window && picture.method) {
        parameters = std::make_shared<Parameters>();
        parameters->SetWidth(picture.width);
        parameters->SetWindow(*picture.window);
        parameters->SetMethod(*picture.method);
        parameters->SetPhase(picture.phases.has_value());
    }
    WrittenSpectrum written;
    written.source = picture.source;
    written.values = spectrum->magnitudes;
    written.bins = spectrum->magnitudes.size();
    written.width = spectrum->width;
    written.combined = picture.exposures;
    const PlotTitle title = DescribeOutput(written, parameters.get(), &options, picture.rate);

    std::string png;
    {
        py::gil_scoped_release release;
        EnsureGuiApplication();
        QImage image(picture.pixelsWide, picture.pixelsHigh, QImage::Format_RGB32);
        SpectrumPlot plot(spectrum);
        plot.SetRate(picture.rate);
        plot.SetScale(picture.db ? PlotScale::Db : PlotScale::Linear);
        plot.SetTitle(QString::fromStdString(title.title), QString::fromStdString(WithoutOutput(title.subtitle)));
        {
            QPainter painter(&image);
            plot.Paint(painter, image.rect());
        }
        png = EncodePng(image);
    }
    return py::bytes(png);
}

struct MatrixPicture {
    Values S;
    Values times;
    bool seconds = false;
    std::string scale;
    std::string unit;
    std::optional<double> rate;
    std::string source;
    int window = 0;
    int width = 0;
    int points = 0;
    int pixelsWide = 1200;
    int pixelsHigh = 700;
};

// The picture of a spectrogram that --plot draws for a matrix output, as PNG.
py::bytes SpectrogramPng(const MatrixPicture& picture) {
    if (picture.S.ndim() != 2 || picture.times.ndim() != 1 || picture.times.shape(0) != picture.S.shape(0))
        throw py::value_error("S must be 2-D with one time per row");
    auto data = std::make_shared<SpectrogramData>();
    data->rows = static_cast<std::size_t>(picture.S.shape(0));
    data->bins = static_cast<std::size_t>(picture.S.shape(1));
    data->columns = data->bins;
    data->values = Copied(picture.S);
    data->times = Copied(picture.times);
    data->time = picture.seconds ? SpectrogramData::Time::Seconds : SpectrogramData::Time::Samples;
    data->width = static_cast<std::size_t>(picture.points);
    data->rate = picture.rate;
    const auto scale = ScaleFromName(picture.scale);
    const auto unit = UnitFromName(picture.unit);
    if (!scale || !unit) throw py::value_error("no quantity is " + picture.scale + " in " + picture.unit);
    data->quantity.scale = *scale;
    data->quantity.unit = *unit;

    SpectrumOptions options;
    options.scale = *scale;
    options.unit = *unit;
    Parameters parameters;
    parameters.SetWidth(picture.width);
    parameters.SetWindow(picture.window);
    parameters.SetMethod(fftMethodMulti);
    const PlotTitle title =
        DescribeSpectrogram(picture.source, data->width, data->rows, "", true, &parameters, &options, picture.rate);

    std::string png;
    {
        py::gil_scoped_release release;
        EnsureGuiApplication();
        QImage image(picture.pixelsWide, picture.pixelsHigh, QImage::Format_RGB32);
        SpectrogramPlot plot;
        plot.SetScale(PlotScale::Db);
        plot.SetData(std::move(data));
        plot.SetTitle(QString::fromStdString(title.title), QString::fromStdString(WithoutOutput(title.subtitle)));
        {
            QPainter painter(&image);
            plot.Paint(painter, image.rect());
        }
        png = EncodePng(image);
    }
    return py::bytes(png);
}

}  // namespace
}  // namespace tavox::python

PYBIND11_MODULE(_picture, m) {
    using tavox::python::Picture;
    m.doc() = "The pictures of the command line's --plot, for tavox.Spectrum._repr_png_.";
    m.def(
        "_spectrum_png",
        [](const tavox::python::Values& magnitudes, std::optional<tavox::python::Values> phases, std::string column,
           std::optional<double> rate, std::string source, std::optional<int> window, std::optional<int> method,
           int width, int points, int exposures, bool db, int pixels_wide, int pixels_high) {
            if (magnitudes.ndim() != 1 || (phases && phases->size() != magnitudes.size()))
                throw py::value_error("magnitudes and phases must be 1-D and of one length");
            return tavox::python::SpectrumPng(Picture{magnitudes, std::move(phases), std::move(column), rate,
                                                      std::move(source), window, method, width, points, exposures, db,
                                                      pixels_wide, pixels_high});
        },
        py::arg("magnitudes"), py::arg("phases"), py::arg("column"), py::arg("rate"), py::arg("source"),
        py::arg("window"), py::arg("method"), py::arg("width"), py::arg("points"), py::arg("exposures"), py::arg("db"),
        py::arg("pixels_wide"), py::arg("pixels_high"),
        "The PNG of a spectrum as --plot draws it; use tavox.Spectrum._repr_png_.");
    m.def(
        "_spectrogram_png",
        [](tavox::python::Values S, tavox::python::Values times, bool seconds, std::string scale, std::string unit,
           std::optional<double> rate, std::string source, int window, int width, int points, int pixels_wide,
           int pixels_high) {
            return tavox::python::SpectrogramPng(
                tavox::python::MatrixPicture{std::move(S), std::move(times), seconds, std::move(scale), std::move(unit),
                                             rate, std::move(source), window, width, points, pixels_wide, pixels_high});
        },
        py::arg("S"), py::arg("times"), py::arg("seconds"), py::arg("scale"), py::arg("unit"), py::arg("rate"),
        py::arg("source"), py::arg("window"), py::arg("width"), py::arg("points"), py::arg("pixels_wide"),
        py::arg("pixels_high"), "The PNG of a spectrogram as --plot draws it; use tavox.Spectrogram._repr_png_.");
}
