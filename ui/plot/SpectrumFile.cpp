#include "ui/plot/SpectrumFile.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace tavox {
namespace {

constexpr std::uint64_t MaxFileBytes = std::uint64_t{1} << 30;

SpectrumReading Refused(std::string error) {
    SpectrumReading reading;
    reading.error = std::move(error);
    return reading;
}

}  // namespace

SpectrumReading ReadSpectrumBytes(std::string_view bytes, std::string_view name, const ViewOptions& options) {
    return ReadSpectrum(bytes, name, options.format, FlatLayout{options.width, options.phase, options.quantity});
}

SpectrumReading ReadSpectrumFile(const std::string& path, const ViewOptions& options) {
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) return Refused("is a folder, not a spectrum file");
    std::ifstream file(path, std::ios::binary);
    if (!file) return Refused("cannot be read: " + std::string(std::strerror(errno)));
    std::string bytes;
    char block[64 * 1024];
    while (file.read(block, sizeof block) || file.gcount() > 0) {
        bytes.append(block, static_cast<std::size_t>(file.gcount()));
        if (bytes.size() > MaxFileBytes) return Refused("too large for a spectrum (over 1 GiB)");
    }
    if (file.bad()) return Refused("cannot be read: " + std::string(std::strerror(errno)));
    return ReadSpectrumBytes(bytes, path, options);
}

std::string SpectrumCsv(const Spectrum& spectrum, std::optional<double> rate) {
    std::vector<double> values = spectrum.magnitudes;
    values.insert(values.end(), spectrum.phases.begin(), spectrum.phases.end());
    const SpectrumShape shape{spectrum.magnitudes.size(), spectrum.phases.empty() ? 1u : 2u, spectrum.width,
                              RowNames{NamesOf(spectrum.quantity).column, PolarRows[1]}};
    OutputOptions options;
    options.format = OutputFormat::Csv;
    options.rate = rate;
    return SpectrumBytes(values, shape, options);
}

}  // namespace tavox
