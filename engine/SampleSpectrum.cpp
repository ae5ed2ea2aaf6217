#include "engine/SampleSpectrum.h"

#include <algorithm>
#include <cstring>

#include "data/Data.h"
#include "data/SpectrumFormats.h"
#include "engine/File.h"
#include "engine/Parameters.h"

namespace tavox {
namespace {

// The 16-bit little-endian samples of a raw output, appended to `samples`.
void AppendRawSamples(std::span<const double> values, const SpectrumShape& shape, std::vector<std::int16_t>& samples) {
    const std::string bytes = SpectrumBytes(values, shape, OutputOptions{});
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto low = static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[i]));
        const auto high = static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[i + 1]));
        samples.push_back(static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8))));
    }
}

}  // namespace

SampleSpectrum TransformSamples(std::shared_ptr<const Parameters> parameters, AverageMode average,
                                MemorySamples samples, SpectrumTarget target, std::size_t threads) {
    OutputOptions options;
    options.average = average;
    return TransformSamples(std::move(parameters), options, samples, target, threads);
}

SampleSpectrum TransformSamples(std::shared_ptr<const Parameters> parameters, const OutputOptions& options,
                                MemorySamples samples, SpectrumTarget target, std::size_t threads) {
    SampleSpectrum spectrum;
    const std::int32_t pad = options.spectrum.pad && ValidPad(*options.spectrum.pad) ? *options.spectrum.pad : 0;
    spectrum.bins = static_cast<std::size_t>(std::max(parameters->Width(), pad) / 2);
    spectrum.rows = parameters->Method() == fftMethodSimple && parameters->Phase() ? 2 : 1;

    File file(nullptr);
    file.SetParameters(std::move(parameters));
    OutputOptions used;
    used.average = options.average;
    used.rate = options.rate;
    used.spectrum = options.spectrum;
    used.measure = options.measure;
    file.GetData().SetOutputOptions(used);
    file.GetData().UseMemory(samples, target == SpectrumTarget::DiskRaw ? fftDataDiskFile : fftDataExcelRange);
    spectrum.result = file.Transform({}, threads);
    spectrum.exposures = file.ExposuresDone();

    spectrum.measures = file.LastMeasures();
    const auto& outputs = file.GetData().MemoryOutputs();
    spectrum.outputs = outputs.size();
    spectrum.starts = file.GetData().MemoryStarts();
    const SpectrumShape shape{spectrum.bins, spectrum.rows, 2 * spectrum.bins};
    for (const std::vector<double>& output : outputs) {
        if (target == SpectrumTarget::DiskRaw) {
            AppendRawSamples(output, shape, spectrum.samples);
        } else {
            spectrum.values.insert(spectrum.values.end(), output.begin(), output.end());
        }
    }
    return spectrum;
}

}  // namespace tavox
