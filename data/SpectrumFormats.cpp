#include "data/SpectrumFormats.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "data/Data.h"
#include "data/FileSystem.h"
#include "data/NpyFormat.h"
#include "data/SampleBlocks.h"
#include "data/SpectrumWriter.h"

namespace tavox {

namespace {

constexpr double PhaseLimit = 180.5;  // whole degrees of a raw file round up to 180

}  // namespace

namespace {

// ---- writers ----

void WriteRaw(SpectrumWriter& out, std::span<const double> values, const SpectrumShape&, const OutputOptions&) {
    constexpr std::size_t chunk = BlockBytes / 2;
    for (std::size_t first = 0; first < values.size(); first += chunk) {
        const std::size_t n = std::min(chunk, values.size() - first);
        BytesFromValues(values.subspan(first, n), std::span(out.Reserve(n * 2), n * 2));
        out.Advance(n * 2);
    }
}

void WriteF32(SpectrumWriter& out, std::span<const double> values, const SpectrumShape&, const OutputOptions&) {
    for (const double x : values) out.AppendLittleEndian(std::bit_cast<std::uint32_t>(FaithfulFloat(x)));
}

void WriteNpy(SpectrumWriter& out, std::span<const double> values, const SpectrumShape& shape, const OutputOptions&) {
    out.Append(NpyHeader(shape));
    for (const double x : values) out.AppendLittleEndian(std::bit_cast<std::uint64_t>(x));
}

std::string_view RowName(const SpectrumShape& shape, std::size_t row) {
    return row < shape.names.size() ? shape.names[row] : std::string_view();
}

void WriteCsv(SpectrumWriter& out, std::span<const double> values, const SpectrumShape& shape,
              const OutputOptions& options) {
    const std::optional<double>& rate = options.rate;
    out.Append(BinColumn);
    if (rate) {
        out.Append(",");
        out.Append(FrequencyColumn);
    }
    for (std::size_t row = 0; row < std::min(shape.rows, MaxOutputRows); ++row) {
        out.Append(",");
        out.Append(RowName(shape, row));
    }
    out.Append("\n");
    const double width = static_cast<double>(shape.width);
    for (std::size_t k = 0; k < shape.bins; ++k) {
        out.AppendIndex(k);
        if (rate) {
            out.Append(",");
            out.AppendNumber(static_cast<double>(k) * *rate / width);
        }
        for (std::size_t row = 0; row < shape.rows; ++row) {
            const std::size_t at = row * shape.bins + k;
            out.Append(",");
            if (at < values.size()) out.AppendNumber(values[at]);
        }
        out.Append("\n");
    }
}

// ---- readers ----

SpectrumReading Refused(std::string error) {
    SpectrumReading reading;
    reading.error = std::move(error);
    return reading;
}

std::string Number(double x) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, x).ptr);
}

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool EndsWith(std::string_view text, std::string_view end) {
    return !end.empty() && text.size() >= end.size() && Lower(text.substr(text.size() - end.size())) == end;
}

// Bytes of one value of a NumPy type: little-endian float64, float32 or int16; 0 for any other.
std::size_t ValueBytes(std::string_view type) {
    if (type == "<f8") return 8;
    if (type == "<f4") return 4;
    if (type == "<i2") return 2;
    return 0;
}

// Value `i` of little-endian values of `valueBytes` bytes each (see ValueBytes).
double ValueAt(std::string_view bytes, std::size_t valueBytes, std::size_t i) {
    std::uint64_t word = 0;
    for (std::size_t b = 0; b < valueBytes; ++b)
        word |= std::uint64_t{static_cast<unsigned char>(bytes[valueBytes * i + b])} << (8 * b);
    return valueBytes == 8   ? std::bit_cast<double>(word)
           : valueBytes == 4 ? std::bit_cast<float>(static_cast<std::uint32_t>(word))
                             : static_cast<std::int16_t>(static_cast<std::uint16_t>(word));
}

std::vector<double> Values(std::string_view bytes, std::size_t valueBytes, std::size_t count) {
    std::vector<double> values(count);
    for (std::size_t i = 0; i < count; ++i) values[i] = ValueAt(bytes, valueBytes, i);
    return values;
}

// Checks magnitudes and phases; the error names the first value that cannot be one.
std::string CheckValues(const Spectrum& spectrum) {
    const bool decibels = spectrum.quantity.Decibels();
    for (std::size_t k = 0; k < spectrum.magnitudes.size(); ++k) {
        const double m = spectrum.magnitudes[k];
        if (decibels ? std::isnan(m) || m == INFINITY : !std::isfinite(m) || m < 0) {
            const std::string what = spectrum.quantity == SpectrumQuantity{}
                                         ? std::string("a magnitude")
                                         : "a value of " + AxisTitle(spectrum.quantity);
            return "not a spectrum: bin " + std::to_string(k) + " holds " + Number(m) + ", and " + what + " is never " +
                   (decibels ? "NaN or +infinite" : "negative or infinite") + " (an input signal, or another layout?)";
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

// A flat run of values in the layout of the raw output.
SpectrumReading ReadFlat(std::string_view bytes, const SpectrumFormat& format, const FlatLayout& layout) {
    const std::string kind(format.title);
    const std::size_t valueBytes = ValueBytes(format.valueType);
    if (bytes.size() % valueBytes != 0) {
        return Refused("odd length: " + std::to_string(bytes.size()) + " bytes are not a whole number of " + kind +
                       " values (" + std::to_string(valueBytes) + " bytes each)");
    }
    const std::size_t count = bytes.size() / valueBytes;
    std::size_t bins = layout.phase ? count / 2 : count;
    if (layout.phase && count % 2 != 0) {
        return Refused("odd length: " + std::to_string(count) + " " + kind +
                       " values cannot be magnitudes and phases of equal number (--phase)");
    }
    if (layout.width && static_cast<std::size_t>(*layout.width / 2) != bins) {
        return Refused("the file holds " + std::to_string(count) + " " + kind + " values, but width " +
                       std::to_string(*layout.width) + " needs " +
                       std::to_string(layout.phase ? *layout.width : *layout.width / 2) +
                       (layout.phase ? " (magnitudes and phases)" : " (magnitudes)"));
    }
    Spectrum spectrum;
    spectrum.width = 2 * bins;
    spectrum.quantity = layout.quantity;
    const std::vector<double> values = Values(bytes, valueBytes, count);
    spectrum.magnitudes.assign(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(bins));
    if (layout.phase) spectrum.phases.assign(values.begin() + static_cast<std::ptrdiff_t>(bins), values.end());

    SpectrumReading reading;
    reading.how = kind + ", " + std::to_string(bins) +
                  (layout.phase ? " magnitudes and " + std::to_string(bins) + " phases" : " magnitudes") + ", width " +
                  std::to_string(spectrum.width) +
                  (layout.width   ? " (as given)"
                   : layout.phase ? " (from the size, with --phase)"
                                  : " (from the size)");
    reading.spectrum = std::move(spectrum);
    return reading;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

// A header of the columns WriteCsv writes (with a rate, with phases or
// not; magnitudes or another quantity) and one line per bin.
SpectrumReading ReadCsv(std::string_view text, const SpectrumFormat&, const FlatLayout&) {
    std::vector<std::string_view> lines = Split(text, '\n');
    for (std::string_view& line : lines) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    const std::string bin(BinColumn);
    const std::string frequency(FrequencyColumn);
    const std::string magnitude(PolarRows[0]);
    const std::string phase(PolarRows[1]);
    const std::vector<std::string_view> names =
        lines.empty() ? std::vector<std::string_view>() : Split(lines.front(), ',');
    const bool hasFrequency = names.size() >= 3 && names[1] == frequency;
    const std::size_t valueColumn = hasFrequency ? 2 : 1;
    const std::optional<SpectrumQuantity> quantity =
        names.size() > valueColumn ? QuantityOfColumn(names[valueColumn]) : std::nullopt;
    const bool hasPhase = names.size() == valueColumn + 2 && names.back() == phase;
    if (names.empty() || names[0] != bin || !quantity || names.size() != valueColumn + 1 + (hasPhase ? 1 : 0)) {
        return Refused("not a spectrum: a CSV output begins with the line " + bin + "[," + frequency + "]," +
                       magnitude + "[," + phase + "]");
    }
    const std::size_t columns = names.size();
    const std::string valueName = "<" + std::string(names[valueColumn]) + ">";
    if (lines.size() < 2) return Refused("not a spectrum: the CSV file has a header but no bins");

    Spectrum spectrum;
    spectrum.quantity = *quantity;
    std::vector<double> frequencies;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string_view> cells = Split(lines[i], ',');
        double row[4] = {};
        bool readable = cells.size() == columns;
        for (std::size_t c = 0; readable && c < columns; ++c) {
            const auto [end, error] = std::from_chars(cells[c].data(), cells[c].data() + cells[c].size(), row[c]);
            readable = error == std::errc() && end == cells[c].data() + cells[c].size() && !cells[c].empty();
        }
        if (!readable || row[0] != static_cast<double>(i - 1)) {
            return Refused("not a spectrum: line " + std::to_string(i + 1) + " of the CSV file is not \"" +
                           std::to_string(i - 1) + (hasFrequency ? ",<Hz>" : "") + "," + valueName +
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
    const std::string what =
        *quantity == SpectrumQuantity{} ? " magnitudes" : " values of " + std::string(names[valueColumn]);
    SpectrumReading reading;
    reading.how = "CSV, " + std::to_string(spectrum.magnitudes.size()) + what + (hasPhase ? " and phases" : "") +
                  ", width " + std::to_string(spectrum.width) +
                  (spectrum.rate ? ", sample rate " + Number(*spectrum.rate) + " Hz from frequency_hz" : "");
    reading.spectrum = std::move(spectrum);
    return reading;
}

// A NumPy array of shape (bins,) or (2, bins) of <f8, <f4 or <i2 values.
SpectrumReading ReadNpy(std::string_view bytes, const SpectrumFormat&, const FlatLayout& layout) {
    const auto fail = [](const std::string& why) { return Refused("not a spectrum: " + why); };
    std::string error;
    const std::optional<NpyArray> array = ParseNpy(bytes, error);
    if (!array) return fail(error);
    const std::string_view data = array->data;
    const std::string& descr = array->descr;
    if (descr != "<f8" && descr != "<f4" && descr != "<i2") {
        return fail("the .npy array holds no little-endian float64, float32 or int16 values");
    }
    const std::size_t valueBytes = ValueBytes(descr);
    if (array->fortranOrder) return fail("a .npy array in Fortran order");
    if (!array->shapeError.empty()) return fail(array->shapeError);
    const std::vector<std::size_t>& dims = array->dims;
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
    const std::vector<double> values = Values(data, valueBytes, rows * bins);
    Spectrum spectrum;
    spectrum.width = 2 * bins;
    spectrum.quantity = layout.quantity;
    spectrum.magnitudes.assign(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(bins));
    if (withPhases) spectrum.phases.assign(values.begin() + static_cast<std::ptrdiff_t>(bins), values.end());
    SpectrumReading reading;
    reading.how = "NumPy " + descr + ", " + std::to_string(bins) +
                  (withPhases ? " magnitudes and phases" : " magnitudes") + ", width " + std::to_string(spectrum.width);
    reading.spectrum = std::move(spectrum);
    return reading;
}

// An .npz archive holds the matrix of a spectrogram, not one spectrum.
SpectrumReading ReadMatrixOnly(std::string_view, const SpectrumFormat&, const FlatLayout&) {
    return Refused("an .npz file holds a spectrogram (a matrix of spectra and their axes), not one spectrum");
}

// In the order files are recognised: by the magic or the name of a format
// that says its layout, then by the name of a flat one; raw otherwise.
constexpr std::array<SpectrumFormat, OutputFormatNames.size()> Formats = {{
    {OutputFormat::Npy, ".npy", ".npy", std::string_view("\x93NUMPY", 6), true, "<f8", WriteNpy, ReadNpy},
    {OutputFormat::Npz, ".npz", ".npz", std::string_view("PK\x03\x04", 4), true, "<f8", nullptr, ReadMatrixOnly},
    {OutputFormat::Csv, "CSV", ".csv", "bin,", true, "", WriteCsv, ReadCsv},
    {OutputFormat::F32, "float32", ".f32", "", false, "<f4", WriteF32, ReadFlat},
    {OutputFormat::Raw, "raw 16-bit", ".raw", "", false, "<i2", WriteRaw, ReadFlat},
}};

constexpr bool OneRowPerFormat() {
    for (std::size_t value = 0; value < Formats.size(); ++value) {
        if (std::count_if(Formats.begin(), Formats.end(), [&](const SpectrumFormat& row) {
                return static_cast<std::size_t>(row.format) == value;
            }) != 1) {
            return false;
        }
    }
    return true;
}
static_assert(OneRowPerFormat(), "one row per OutputFormat");

// Collects what WriteSpectrum writes.
class StringOutput final : public OutputFile {
public:
    void Write(std::span<const std::byte> bytes) override {
        text.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    void WriteAt(std::uint64_t offset, std::span<const std::byte> bytes) override {
        text.replace(offset, bytes.size(), reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    bool Finish() override { return true; }
    CommitResult Commit(const std::optional<FileIdentity>&) override { return CommitResult::Replaced; }
    std::string text;
};

}  // namespace

std::span<const SpectrumFormat> SpectrumFormats() noexcept {
    return Formats;
}

const SpectrumFormat& SpectrumFormatOf(OutputFormat format) noexcept {
    for (const SpectrumFormat& row : Formats) {
        if (row.format == format) return row;
    }
    return SpectrumFormatOf(OutputFormat::Raw);
}

const SpectrumFormat& SpectrumFormatOfFile(std::string_view bytes, std::string_view name) noexcept {
    for (const SpectrumFormat& row : Formats) {
        const bool magic = !row.magic.empty() && bytes.substr(0, row.magic.size()) == row.magic;
        if (magic || EndsWith(name, row.extension)) return row;
    }
    return SpectrumFormatOf(OutputFormat::Raw);
}

std::string SpectrumBytes(std::span<const double> values, const SpectrumShape& shape, const OutputOptions& options) {
    StringOutput out;
    ByteBuffer buffer;
    WriteSpectrum(out, values, shape, options, buffer);
    return std::move(out.text);
}

void ReserveSpectrumBuffer(ByteBuffer& buffer) {
    if (buffer.size() < BlockBytes + StepBytes) buffer.resize(BlockBytes + StepBytes);
}

float FaithfulFloat(double x) noexcept {
    const float nearest = static_cast<float>(x);
    const std::int16_t sample = Data::ToSample16(x);
    if (Data::ToSample16(nearest) == sample) return nearest;
    const float next = std::nextafter(nearest, x > nearest ? INFINITY : -INFINITY);
    return Data::ToSample16(next) == sample ? next : nearest;
}

std::string NpyHeader(const SpectrumShape& shape) {
    const std::array<std::size_t, 2> dims = {shape.rows, shape.bins};
    return NpyArrayHeader(
        "<f8", shape.rows > 1 ? std::span<const std::size_t>(dims) : std::span<const std::size_t>(dims).subspan(1));
}

void WriteSpectrum(OutputFile& file, std::span<const double> values, const SpectrumShape& shape,
                   const OutputOptions& options, ByteBuffer& buffer) {
    const SpectrumFormat& row = SpectrumFormatOf(options.format);
    if (row.write == nullptr) throw std::invalid_argument(std::string(row.title) + " holds a matrix of spectra only");
    SpectrumWriter out(file, buffer);
    row.write(out, values, shape, options);
    out.Flush();
}

SpectrumReading ReadSpectrum(std::string_view bytes, std::string_view name, std::optional<OutputFormat> format,
                             const FlatLayout& layout) {
    if (bytes.empty()) return Refused("the file is empty");
    const SpectrumFormat& row = format ? SpectrumFormatOf(*format) : SpectrumFormatOfFile(bytes, name);
    if ((layout.width || layout.phase) && row.selfDescribing) {
        std::vector<std::string_view> flat;
        for (std::size_t value = 0; value < OutputFormatNames.size(); ++value) {
            const SpectrumFormat& other = SpectrumFormatOf(static_cast<OutputFormat>(value));
            if (!other.selfDescribing) flat.push_back(other.Name());
        }
        return Refused("--width and --phase apply to " + NameList(flat, " and ") + " files; a " +
                       std::string(row.title) + " file names its own layout");
    }
    SpectrumReading reading = row.read(bytes, row, layout);
    if (reading.spectrum) {
        if (std::string error = CheckValues(*reading.spectrum); !error.empty()) {
            reading.error = std::move(error) + "; read as " + reading.how;
            reading.spectrum.reset();
        }
    }
    return reading;
}

}  // namespace tavox
