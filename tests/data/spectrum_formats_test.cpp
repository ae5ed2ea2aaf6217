#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "data/Data.h"
#include "data/FileSystem.h"
#include "data/SpectrumFormats.h"

namespace tavox {
namespace {

// Collects what is written, and how many calls it took.
class MemoryOutput : public OutputFile {
public:
    void Write(std::span<const std::byte> bytes) override {
        ++writes;
        text.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    void WriteAt(std::uint64_t offset, std::span<const std::byte> bytes) override {
        text.replace(offset, bytes.size(), reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    bool Finish() override { return true; }
    CommitResult Commit(const std::optional<FileIdentity>&) override { return CommitResult::Replaced; }

    std::string text;
    int writes = 0;
};

std::string Written(std::span<const double> values, const SpectrumShape& shape, OutputOptions options) {
    MemoryOutput out;
    ByteBuffer buffer;
    WriteSpectrum(out, values, shape, options, buffer);
    return out.text;
}

OutputOptions Format(OutputFormat format, std::optional<double> rate = std::nullopt) {
    OutputOptions options;
    options.format = format;
    options.rate = rate;
    return options;
}

// Values that land on every side of the rounding and clamping of a sample.
std::vector<double> Awkward() {
    std::vector<double> values = {0.0,     0.5,     1.5,      2.5,      -0.5,         -2.5,   32766.5, 32767.0,
                                  32767.5, 40000.0, -32767.6, -40000.0, 2147483647.0, 1e-300, -0.0};
    std::mt19937_64 random(1);
    std::uniform_int_distribution<int> whole(-33000, 33000);
    for (int i = 0; i < 4000; ++i) {
        const double half = whole(random) + 0.5;
        // Doubles next to a half: nearest floats are the half itself.
        values.push_back(std::nextafter(half, 1e9));
        values.push_back(std::nextafter(half, -1e9));
        values.push_back(half + (i % 7) * 1e-7);
        values.push_back(half - (i % 5) * 1e-9);
    }
    return values;
}

TEST(spectrum_formats_test, faithful_float_rounds_to_the_raw_sample_and_stays_within_one_float_step) {
    for (const double x : Awkward()) {
        const float f = FaithfulFloat(x);
        EXPECT_EQ(Data::ToSample16(f), Data::ToSample16(x)) << x;
        const float nearest = static_cast<float>(x);
        EXPECT_TRUE(f == nearest || f == std::nextafter(nearest, f > nearest ? INFINITY : -INFINITY)) << x;
    }
    // The nearest float of 100.5 + 1e-9 is the exact half, which rounds to 100; the raw sample is 101.
    EXPECT_EQ(static_cast<float>(100.500000001), 100.5f);
    EXPECT_GT(FaithfulFloat(100.500000001), 100.5f);
    EXPECT_EQ(FaithfulFloat(100.25), 100.25f);
}

TEST(spectrum_formats_test, csv_has_a_header_one_line_per_bin_and_round_trip_numbers) {
    const std::vector<double> values = {8000, 0.1, 1.0 / 3, -45.5, 180, 1e-20};
    EXPECT_EQ(Written(values, {3, 2, 6}, Format(OutputFormat::Csv)),
              "bin,magnitude,phase_deg\n"
              "0,8000,-45.5\n"
              "1,0.1,180\n"
              "2,0.3333333333333333,1e-20\n");
    EXPECT_EQ(Written(std::span(values).first(3), {3, 1, 6}, Format(OutputFormat::Csv, 44100.0)),
              "bin,frequency_hz,magnitude\n"
              "0,0,8000\n"
              "1,7350,0.1\n"
              "2,14700,0.3333333333333333\n");
    // bin * rate / width, in that order, as numpy computes np.arange(n) * rate / width.
    const std::string odd = Written(std::vector<double>(4, 1.0), {4, 1, 8}, Format(OutputFormat::Csv, 1.1));
    EXPECT_NE(odd.find("\n3,0.41250000000000003,1\n"), std::string::npos) << odd;

    const auto many = Awkward();
    const std::string text = Written(many, {many.size(), 1, 2 * many.size()}, Format(OutputFormat::Csv));
    std::size_t at = text.find('\n') + 1;
    for (std::size_t k = 0; k < many.size(); ++k) {
        const std::size_t comma = text.find(',', at);
        const std::size_t end = text.find('\n', comma);
        double read = 0;
        std::from_chars(text.data() + comma + 1, text.data() + end, read);
        EXPECT_EQ(std::memcmp(&read, &many[k], sizeof read), 0) << k;
        at = end + 1;
    }
    EXPECT_EQ(at, text.size());
}

TEST(spectrum_formats_test, the_csv_header_names_the_rows_the_stage_names) {
    const std::vector<double> values = {4, 9, -90, 45};
    SpectrumShape shape{2, 2, 4, {"power", "phase_deg"}};
    EXPECT_EQ(Written(values, shape, Format(OutputFormat::Csv, 4.0)),
              "bin,frequency_hz,power,phase_deg\n"
              "0,0,4,-90\n"
              "1,1,9,45\n");
}

// Every format reads back what it writes: exactly, or as its stored type
// rounds it (16-bit samples, float32).
TEST(spectrum_formats_test, every_format_reads_back_what_it_writes) {
    const std::vector<double> values = {2000.5, 1000.25, 0.1, 3.75, 0, 90.5, -45.125, 180};
    const SpectrumShape shape{4, 2, 8};
    for (const SpectrumFormat& format : SpectrumFormats()) {
        // A format that holds a matrix only (npz) takes no single spectrum.
        if (format.write == nullptr) {
            EXPECT_THROW(Written(values, shape, Format(format.format)), std::invalid_argument) << format.Name();
            continue;
        }
        const std::string bytes = Written(values, shape, Format(format.format));
        const FlatLayout layout{std::nullopt, !format.selfDescribing, SpectrumQuantity{}};
        const SpectrumReading reading = format.read(bytes, format, layout);
        ASSERT_TRUE(reading.spectrum) << format.Name() << ": " << reading.error;
        std::vector<double> read = reading.spectrum->magnitudes;
        read.insert(read.end(), reading.spectrum->phases.begin(), reading.spectrum->phases.end());
        ASSERT_EQ(read.size(), values.size()) << format.Name();
        for (std::size_t i = 0; i < values.size(); ++i) {
            const double x = values[i];
            const double stored = format.valueType == "<i2"   ? Data::ToSample16(x)
                                  : format.valueType == "<f4" ? static_cast<double>(FaithfulFloat(x))
                                                              : x;
            EXPECT_EQ(read[i], stored) << format.Name() << ", value " << i;
        }
        EXPECT_EQ(reading.spectrum->width, 8u) << format.Name();
        EXPECT_EQ(&SpectrumFormatOfFile(bytes, "output"),
                  format.selfDescribing ? &format : &SpectrumFormatOf(OutputFormat::Raw))
            << format.Name();
    }
}

// A CSV column names its quantity, which the other formats are told; levels
// in dB may be negative (-inf for a bin of 0), other values may not.
TEST(spectrum_formats_test, outputs_of_every_quantity_read_back_with_it) {
    const std::vector<double> levels = {-20, -INFINITY, -141.5, 3};
    for (const QuantityNames& names : QuantityTable()) {
        const SpectrumQuantity quantity = names.quantity;
        const SpectrumShape shape{4, 1, 8, {names.column, "phase_deg"}};
        const std::vector<double> values = quantity.Decibels() ? levels : std::vector<double>{4, 0, 1e-9, 2.5};
        for (const OutputFormat format : {OutputFormat::Csv, OutputFormat::Npy}) {
            const SpectrumReading reading = ReadSpectrum(Written(values, shape, Format(format)), "x", format,
                                                         FlatLayout{std::nullopt, false, quantity});
            ASSERT_TRUE(reading.spectrum) << names.column << ": " << reading.error;
            EXPECT_EQ(reading.spectrum->magnitudes, values) << names.column;
            EXPECT_EQ(reading.spectrum->quantity, quantity) << names.column;
        }
        const std::vector<double> wrong = {1, quantity.Decibels() ? NAN : -1.0, 1, 1};
        EXPECT_FALSE(ReadSpectrum(Written(wrong, shape, Format(OutputFormat::Csv)), "x", std::nullopt, {}).spectrum)
            << names.column;
    }
    EXPECT_FALSE(ReadSpectrum("bin,psd_v3\n0,1\n", "x", std::nullopt, {}).spectrum);
}

// A file's format: its magic or name of a format that says its layout
// (.npy before CSV), then the name of a flat one, raw otherwise.
TEST(spectrum_formats_test, a_file_is_recognised_by_its_magic_then_its_name) {
    const std::string npy("\x93NUMPY\x01\x00", 8);
    const struct {
        std::string bytes;
        std::string name;
        OutputFormat format;
    } cases[] = {
        {npy, "a.csv", OutputFormat::Npy},
        {"bin,magnitude\n", "a.npy", OutputFormat::Npy},
        {"bin,magnitude\n", "a.f32", OutputFormat::Csv},
        {"abcd", "A.CSV", OutputFormat::Csv},
        {"abcd", "a.F32", OutputFormat::F32},
        {"abcd", "a.dat", OutputFormat::Raw},
        {npy, "a.raw", OutputFormat::Npy},
        {"bin", "a", OutputFormat::Raw},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SpectrumFormatOfFile(c.bytes, c.name).format, c.format) << c.name;
    }
}

// The header's bytes are compared with numpy.save in tests/python.
TEST(spectrum_formats_test, large_outputs_go_out_in_blocks_not_value_by_value) {
    const std::vector<double> values(200000, 1234.5678);
    for (const OutputFormat format : {OutputFormat::Raw, OutputFormat::Csv, OutputFormat::F32, OutputFormat::Npy}) {
        MemoryOutput out;
        ByteBuffer buffer;
        WriteSpectrum(out, values, {values.size(), 1, 2 * values.size()}, Format(format), buffer);
        EXPECT_LE(out.writes, static_cast<int>(out.text.size() / 65536 + 1)) << static_cast<int>(format);
    }
}

}  // namespace
}  // namespace tavox
