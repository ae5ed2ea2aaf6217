#include "ui/plot/SpectrumFile.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "data/FileSystem.h"
#include "data/SpectrumFormats.h"

namespace tavox {
namespace {

constexpr std::uint64_t MaxFileBytes = std::uint64_t{1} << 30;
constexpr double PhaseLimit = 180.5;  // whole degrees of a raw file round up to 180
constexpr std::string_view NpyMagic("\x93NUMPY", 6);

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && Lower(text.substr(text.size() - end.size())) == end;
}

std::string Number(double x) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, x).ptr);
}

SpectrumReading Refused(std::string error) {
    SpectrumReading reading;
    reading.error = std::move(error);
    return reading;
}

// Checks magnitudes and phases; the error names the first value that cannot be one.
std::string CheckValues(const Spectrum& spectrum) {
    for (std::size_t k = 0; k < spectrum.magnitudes.size(); ++k) {
        const double m = spectrum.magnitudes[k];
        if (!std::isfinite(m) || m < 0) {
            return "not a spectrum: bin " + std::to_string(k) + " holds " + Number(m) +
                   ", and a magnitude is never negative or infinite (an input signal, or another layout?)";
        }
    }
    for (std::size_t k = 0; k < spectrum.phases.size(); ++k) {
        const double p = spectrum.phases[k];
        if (!std::isfinite(p) || std::abs(p) > PhaseLimit) {
            return "not a spectrum: the phase of bin " + std::to_string(k) + " is " + Number(p) +
                   ", beyond +-180 degrees (a file without phases?)";
        }
    }
    return {};
}

// Raw 16-bit samples or float32 values, in the layout of the raw output.
SpectrumReading ReadFlat(std::string_view bytes, std::size_t valueBytes, const ViewOptions& options) {
    const char* kind = valueBytes == 2 ? "raw 16-bit" : "float32";
    if (bytes.size() % valueBytes != 0) {
        return Refused("odd length: " + std::to_string(bytes.size()) + " bytes are not a whole number of " + kind +
                       " values (" + std::to_string(valueBytes) + " bytes each)");
    }
    const std::size_t count = bytes.size() / valueBytes;
    std::size_t bins = options.phase ? count / 2 : count;
    if (options.phase && count % 2 != 0) {
        return Refused("odd length: " + std::to_string(count) + " " + kind +
                       " values cannot be magnitudes and phases of equal number (--phase)");
    }
    if (options.width && static_cast<std::size_t>(*options.width / 2) != bins) {
        return Refused("the file holds " + std::to_string(count) + " " + kind + " values, but width " +
                       std::to_string(*options.width) + " needs " +
                       std::to_string(options.phase ? *options.width : *options.width / 2) +
                       (options.phase ? " (magnitudes and phases)" : " (magnitudes)"));
    }
    Spectrum spectrum;
    spectrum.width = 2 * bins;
    std::vector<double> values(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (valueBytes == 2) {
            values[i] = static_cast<std::int16_t>(
                static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[2 * i])) |
                static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[2 * i + 1])) << 8);
        } else {
            std::uint32_t word = 0;
            for (std::size_t b = 0; b < 4; ++b)
                word |= std::uint32_t{static_cast<unsigned char>(bytes[4 * i + b])} << (8 * b);
            values[i] = std::bit_cast<float>(word);
        }
    }
    spectrum.magnitudes.assign(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(bins));
    if (options.phase) spectrum.phases.assign(values.begin() + static_cast<std::ptrdiff_t>(bins), values.end());

    SpectrumReading reading;
    reading.how = std::string(kind) + ", " + std::to_string(bins) +
                  (options.phase ? " magnitudes and " + std::to_string(bins) + " phases" : " magnitudes") + ", width " +
                  std::to_string(spectrum.width) +
                  (options.width   ? " (as given)"
                   : options.phase ? " (from the size, with --phase)"
                                   : " (from the size)");
    reading.spectrum = std::move(spectrum);
    return reading;
}

// A header "bin[,frequency_hz],magnitude[,phase_deg]" and one line per bin.
SpectrumReading ReadCsv(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    const std::string_view headers[] = {"bin,magnitude", "bin,frequency_hz,magnitude", "bin,magnitude,phase_deg",
                                        "bin,frequency_hz,magnitude,phase_deg"};
    if (lines.empty() || std::find(std::begin(headers), std::end(headers), lines.front()) == std::end(headers)) {
        return Refused("not a spectrum: a CSV output begins with the line bin[,frequency_hz],magnitude[,phase_deg]");
    }
    const bool hasFrequency = lines.front().find("frequency_hz") != std::string_view::npos;
    const bool hasPhase = lines.front().find("phase_deg") != std::string_view::npos;
    const std::size_t columns = 2 + (hasFrequency ? 1 : 0) + (hasPhase ? 1 : 0);
    if (lines.size() < 2) return Refused("not a spectrum: the CSV file has a header but no bins");

    Spectrum spectrum;
    std::vector<double> frequencies;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::vector<std::string_view> cells;
        for (std::string_view rest = lines[i];;) {
            const std::size_t comma = rest.find(',');
            cells.push_back(rest.substr(0, comma));
            if (comma == std::string_view::npos) break;
            rest.remove_prefix(comma + 1);
        }
        double row[4] = {};
        bool readable = cells.size() == columns;
        for (std::size_t c = 0; readable && c < columns; ++c) {
            const auto [end, error] = std::from_chars(cells[c].data(), cells[c].data() + cells[c].size(), row[c]);
            readable = error == std::errc() && end == cells[c].data() + cells[c].size() && !cells[c].empty();
        }
        if (!readable || row[0] != static_cast<double>(i - 1)) {
            return Refused("not a spectrum: line " + std::to_string(i + 1) + " of the CSV file is not \"" +
                           std::to_string(i - 1) + (hasFrequency ? ",<Hz>" : "") + ",<magnitude>" +
                           (hasPhase ? ",<degrees>" : "") + "\"");
        }
        std::size_t column = 1;
        if (hasFrequency) frequencies.push_back(row[column++]);
        spectrum.magnitudes.push_back(row[column++]);
        if (hasPhase) spectrum.phases.push_back(row[column]);
    }
    spectrum.width = 2 * spectrum.magnitudes.size();
    if (hasFrequency && frequencies.size() >= 2 && frequencies[1] > 0) {
        spectrum.rate = frequencies[1] * static_cast<double>(spectrum.width);
    }
    SpectrumReading reading;
    reading.how = "CSV, " + std::to_string(spectrum.magnitudes.size()) +
                  (hasPhase ? " magnitudes and phases" : " magnitudes") + ", width " + std::to_string(spectrum.width) +
                  (spectrum.rate ? ", sample rate " + Number(*spectrum.rate) + " Hz from frequency_hz" : "");
    reading.spectrum = std::move(spectrum);
    return reading;
}

// A NumPy array of shape (bins,) or (2, bins) of <f8, <f4 or <i2 values.
SpectrumReading ReadNpy(std::string_view bytes) {
    const auto fail = [](const std::string& why) { return Refused("not a spectrum: " + why); };
    if (bytes.size() < 10 || bytes.substr(0, 6) != NpyMagic) return fail("a .npy file begins with \\x93NUMPY");
    const int major = static_cast<unsigned char>(bytes[6]);
    std::size_t headerLength = 0;
    std::size_t offset = 0;
    if (major == 1) {
        headerLength = static_cast<unsigned char>(bytes[8]) | std::size_t{static_cast<unsigned char>(bytes[9])} << 8;
        offset = 10;
    } else if ((major == 2 || major == 3) && bytes.size() >= 12) {
        for (std::size_t b = 0; b < 4; ++b)
            headerLength |= std::size_t{static_cast<unsigned char>(bytes[8 + b])} << (8 * b);
        offset = 12;
    } else {
        return fail("NumPy format version " + std::to_string(major) + " is not known");
    }
    if (bytes.size() < offset + headerLength) return fail("the .npy header is cut short");
    const std::string header(bytes.substr(offset, headerLength));
    const std::string_view data = bytes.substr(offset + headerLength);

    std::size_t valueBytes = 0;
    std::string descr;
    for (const char* known : {"<f8", "<f4", "<i2"}) {
        if (header.find(std::string("'descr': '") + known + "'") != std::string::npos) descr = known;
    }
    if (descr.empty()) return fail("the .npy array holds no little-endian float64, float32 or int16 values");
    valueBytes = descr == "<f8" ? 8 : descr == "<f4" ? 4 : 2;
    if (header.find("'fortran_order': False") == std::string::npos) return fail("a .npy array in Fortran order");
    const std::size_t shapeAt = header.find("'shape': (");
    if (shapeAt == std::string::npos) return fail("the .npy header has no shape");
    std::vector<std::size_t> dims;
    const char* at = header.c_str() + shapeAt + 10;
    const char* end = header.c_str() + header.size();
    while (at < end && *at != ')') {
        while (at < end && (*at == ' ' || *at == ',')) ++at;
        if (at < end && *at == ')') break;
        std::size_t dim = 0;
        const auto [next, error] = std::from_chars(at, end, dim);
        if (error != std::errc()) return fail("the .npy shape cannot be read");
        dims.push_back(dim);
        at = next;
    }
    const bool withPhases = dims.size() == 2 && dims[0] == 2;
    if (!(dims.size() == 1 || (dims.size() == 2 && (dims[0] == 1 || dims[0] == 2)))) {
        return fail("a .npy spectrum has the shape (bins,) or (2, bins)");
    }
    const std::size_t bins = dims.back();
    const std::size_t rows = withPhases ? 2 : 1;
    if (bins == 0) return Refused("the .npy array is empty");
    if (data.size() != rows * bins * valueBytes) {
        return fail("the .npy data holds " + std::to_string(data.size()) + " bytes where the shape needs " +
                    std::to_string(rows * bins * valueBytes));
    }
    std::vector<double> values(rows * bins);
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::uint64_t word = 0;
        for (std::size_t b = 0; b < valueBytes; ++b)
            word |= std::uint64_t{static_cast<unsigned char>(data[valueBytes * i + b])} << (8 * b);
        values[i] = valueBytes == 8   ? std::bit_cast<double>(word)
                    : valueBytes == 4 ? std::bit_cast<float>(static_cast<std::uint32_t>(word))
                                      : static_cast<std::int16_t>(static_cast<std::uint16_t>(word));
    }
    Spectrum spectrum;
    spectrum.width = 2 * bins;
    spectrum.magnitudes.assign(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(bins));
    if (withPhases) spectrum.phases.assign(values.begin() + static_cast<std::ptrdiff_t>(bins), values.end());
    SpectrumReading reading;
    reading.how = "NumPy " + descr + ", " + std::to_string(bins) +
                  (withPhases ? " magnitudes and phases" : " magnitudes") + ", width " + std::to_string(spectrum.width);
    reading.spectrum = std::move(spectrum);
    return reading;
}

OutputFormat GuessFormat(std::string_view bytes, std::string_view name) {
    if (bytes.substr(0, NpyMagic.size()) == NpyMagic || EndsWith(name, ".npy")) return OutputFormat::Npy;
    if (bytes.substr(0, 4) == "bin," || EndsWith(name, ".csv")) return OutputFormat::Csv;
    if (EndsWith(name, ".f32")) return OutputFormat::F32;
    return OutputFormat::Raw;
}

}  // namespace

SpectrumReading ReadSpectrumBytes(std::string_view bytes, std::string_view name, const ViewOptions& options) {
    if (bytes.empty()) return Refused("the file is empty");
    const OutputFormat format = options.format.value_or(GuessFormat(bytes, name));
    const bool layoutGiven = options.width || options.phase;
    if (layoutGiven && (format == OutputFormat::Csv || format == OutputFormat::Npy)) {
        return Refused(std::string("--width and --phase apply to raw and f32 files; a ") +
                       (format == OutputFormat::Csv ? "CSV" : ".npy") + " file names its own layout");
    }
    SpectrumReading reading;
    switch (format) {
        case OutputFormat::Raw:
            reading = ReadFlat(bytes, 2, options);
            break;
        case OutputFormat::F32:
            reading = ReadFlat(bytes, 4, options);
            break;
        case OutputFormat::Csv:
            reading = ReadCsv(bytes);
            break;
        case OutputFormat::Npy:
            reading = ReadNpy(bytes);
            break;
    }
    if (reading.spectrum) {
        if (std::string error = CheckValues(*reading.spectrum); !error.empty()) {
            reading.error = std::move(error) + "; read as " + reading.how;
            reading.spectrum.reset();
        }
    }
    return reading;
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
    const SpectrumShape shape{spectrum.magnitudes.size(), spectrum.phases.empty() ? 1u : 2u, spectrum.width};
    OutputOptions options;
    options.format = OutputFormat::Csv;
    options.rate = rate;
    return SpectrumBytes(values, shape, options);
}

}  // namespace tavox
