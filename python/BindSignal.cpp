#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "app/BatchSettings.h"
#include "data/FileSystem.h"
#include "data/SampleSource.h"
#include "python/Bindings.h"

namespace py = pybind11;

namespace tavox::python {

namespace {

constexpr std::size_t ChunkSamples = std::size_t{1} << 20;

// What reading a signal gave: the samples (frame by frame, `channels` each),
// or the result code and reason of the failure.
struct Signal {
    std::int32_t result = fftResultAllRight;
    std::string reason;
    std::vector<double> samples;
    std::size_t frames = 0;
    std::size_t channels = 1;
    std::optional<double> rate;
};

bool ReadChannel(const SampleSource& source, std::size_t column, Signal& signal) {
    ByteBuffer bytes;
    std::vector<double> chunk(std::min(signal.frames, ChunkSamples));
    for (std::size_t first = 0; first < signal.frames; first += chunk.size()) {
        const std::size_t count = std::min(chunk.size(), signal.frames - first);
        const SourceRead read = source.Read(first, std::span(chunk.data(), count), bytes);
        if (read.result != fftResultAllRight || read.count != count) {
            signal.result = read.result != fftResultAllRight ? read.result : fftResultFileSysErr;
            signal.reason = read.problem != nullptr ? read.problem : "the file could not be read to its end";
            return false;
        }
        for (std::size_t i = 0; i < count; ++i) signal.samples[(first + i) * signal.channels + column] = chunk[i];
    }
    return true;
}

// Reads channel `channel` (from 1), or every channel when none.
Signal ReadSignal(const std::string& path, InputOptions input, std::optional<std::int32_t> channel) {
    Signal signal;
    FileSystem& fileSystem = *DefaultFileSystem();
    input.eachChannel = false;
    input.channel = channel.value_or(1);
    SourceOpening opening = SampleSource::Open(fileSystem, path, input);
    if (!opening.source || !opening.source->Samples()) {
        signal.result = opening.source ? fftResultFileSysErr : opening.result;
        signal.reason = opening.reason;
        return signal;
    }
    signal.frames = static_cast<std::size_t>(*opening.source->Samples());
    signal.channels = channel ? 1 : static_cast<std::size_t>(opening.source->Channels());
    signal.rate = opening.source->SampleRate();
    signal.samples.resize(signal.frames * signal.channels);
    if (!ReadChannel(*opening.source, 0, signal)) return signal;
    for (std::size_t column = 1; column < signal.channels; ++column) {
        input.channel = static_cast<std::int32_t>(column + 1);
        opening = SampleSource::Open(fileSystem, path, input);
        if (!opening.source) {
            signal.result = opening.result;
            signal.reason = opening.reason;
            return signal;
        }
        if (!ReadChannel(*opening.source, column, signal)) return signal;
    }
    return signal;
}

// The work of tavox.read_signal once its arguments are checked: (result
// code, reason, samples or None, rate or None).
py::tuple ReadSignalCall(const std::string& path, const BatchSettings& settings, std::optional<std::int32_t> channel) {
    Signal signal;
    {
        py::gil_scoped_release release;
        signal = ReadSignal(path, settings.input, channel);
    }
    if (signal.result != fftResultAllRight) return py::make_tuple(signal.result, signal.reason, py::none(), py::none());
    auto* held = new std::vector<double>(std::move(signal.samples));
    py::capsule owner(held, [](void* p) { delete static_cast<std::vector<double>*>(p); });
    py::array samples =
        channel || signal.channels == 1
            ? py::array_t<double>({signal.frames}, {sizeof(double)}, held->data(), owner)
            : py::array_t<double>({signal.frames, signal.channels}, {signal.channels * sizeof(double), sizeof(double)},
                                  held->data(), owner);
    return py::make_tuple(signal.result, signal.reason, samples, signal.rate);
}

}  // namespace

void bindSignal(py::module_& m) {
    m.def("_read_signal", &ReadSignalCall, py::arg("path"), py::arg("settings"), py::arg("channel"),
          "The reading behind tavox.read_signal, for arguments it has checked; use tavox.read_signal.");
}

}  // namespace tavox::python
