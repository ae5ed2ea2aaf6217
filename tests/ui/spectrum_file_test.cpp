#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "data/SpectrumFormats.h"
#include "support/TestSupport.h"
#include "ui/plot/SpectrumFile.h"

namespace tavox {
namespace {

std::string Int16Bytes(const std::vector<std::int16_t>& values) {
    std::string bytes;
    for (const std::int16_t v : values) {
        bytes += static_cast<char>(static_cast<std::uint16_t>(v) & 0xFF);
        bytes += static_cast<char>(static_cast<std::uint16_t>(v) >> 8);
    }
    return bytes;
}

std::string F32Bytes(const std::vector<float>& values) {
    std::string bytes;
    for (const float v : values) {
        const auto word = std::bit_cast<std::uint32_t>(v);
        for (int b = 0; b < 4; ++b) bytes += static_cast<char>((word >> (8 * b)) & 0xFF);
    }
    return bytes;
}

ViewOptions With(std::optional<int> width, bool phase = false) {
    ViewOptions options;
    options.width = width;
    options.phase = phase;
    return options;
}

TEST(spectrum_file_test, raw_and_f32_take_their_width_from_the_size_or_as_given) {
    const std::string raw = Int16Bytes({10, 20, 30, 40, 90, -90, 180, -180});
    const SpectrumReading plain = ReadSpectrumBytes(raw.substr(0, 8), "a.spc", {});
    ASSERT_TRUE(plain.spectrum) << plain.error;
    EXPECT_EQ(plain.spectrum->magnitudes, (std::vector<double>{10, 20, 30, 40}));
    EXPECT_TRUE(plain.spectrum->phases.empty());
    EXPECT_EQ(plain.spectrum->width, 8u);
    EXPECT_EQ(plain.how, "raw 16-bit, 4 magnitudes, width 8 (from the size)");

    const SpectrumReading phases = ReadSpectrumBytes(raw, "a.spc", With(std::nullopt, true));
    ASSERT_TRUE(phases.spectrum) << phases.error;
    EXPECT_EQ(phases.spectrum->phases, (std::vector<double>{90, -90, 180, -180}));
    EXPECT_EQ(phases.spectrum->width, 8u);
    EXPECT_EQ(phases.how, "raw 16-bit, 4 magnitudes and 4 phases, width 8 (from the size, with --phase)");
    EXPECT_EQ(ReadSpectrumBytes(raw, "a.spc", With(8, true)).how,
              "raw 16-bit, 4 magnitudes and 4 phases, width 8 (as given)");
    EXPECT_EQ(ReadSpectrumBytes(raw, "a.spc", With(32)).error,
              "the file holds 8 raw 16-bit values, but width 32 needs 16 (magnitudes)");
    EXPECT_EQ(ReadSpectrumBytes(raw, "a.spc", With(32, true)).error,
              "the file holds 8 raw 16-bit values, but width 32 needs 32 (magnitudes and phases)");
    // Read without --phase, the negative phases are no magnitudes.
    EXPECT_EQ(ReadSpectrumBytes(raw, "a.spc", {}).error,
              "not a spectrum: bin 5 holds -90, and a magnitude is never negative or infinite (an input signal, or "
              "another layout?); read as raw 16-bit, 8 magnitudes, width 16 (from the size)");

    const SpectrumReading f32 = ReadSpectrumBytes(F32Bytes({1.5f, 2.25f}), "a.f32", {});
    ASSERT_TRUE(f32.spectrum) << f32.error;
    EXPECT_EQ(f32.spectrum->magnitudes, (std::vector<double>{1.5, 2.25}));
    ViewOptions asF32;
    asF32.format = OutputFormat::F32;
    EXPECT_EQ(ReadSpectrumBytes(F32Bytes({1.5f, 2.25f}), "a.spc", asF32).spectrum->magnitudes.size(), 2u);
}

TEST(spectrum_file_test, csv_and_npy_as_the_batch_writes_them_read_back_exactly) {
    Spectrum spectrum;
    spectrum.magnitudes = {2000, 1000.25, 0.1, 3e-7};
    spectrum.phases = {0, 90.5, -45.125, 180};
    spectrum.width = 8;
    const std::string csv = SpectrumCsv(spectrum, 8000);
    EXPECT_EQ(csv.substr(0, csv.find('\n')), "bin,frequency_hz,magnitude,phase_deg");
    const SpectrumReading fromCsv = ReadSpectrumBytes(csv, "x.txt", {});
    ASSERT_TRUE(fromCsv.spectrum) << fromCsv.error;
    EXPECT_EQ(fromCsv.spectrum->magnitudes, spectrum.magnitudes);
    EXPECT_EQ(fromCsv.spectrum->phases, spectrum.phases);
    EXPECT_EQ(fromCsv.spectrum->rate, 8000.0);
    EXPECT_EQ(fromCsv.how, "CSV, 4 magnitudes and phases, width 8, sample rate 8000 Hz from frequency_hz");

    std::string npy = NpyHeader({4, 2, 8});
    for (const auto* row : {&spectrum.magnitudes, &spectrum.phases}) {
        for (const double v : *row) {
            const auto word = std::bit_cast<std::uint64_t>(v);
            for (int b = 0; b < 8; ++b) npy += static_cast<char>((word >> (8 * b)) & 0xFF);
        }
    }
    const SpectrumReading fromNpy = ReadSpectrumBytes(npy, "x.out", {});
    ASSERT_TRUE(fromNpy.spectrum) << fromNpy.error;
    EXPECT_EQ(fromNpy.spectrum->magnitudes, spectrum.magnitudes);
    EXPECT_EQ(fromNpy.spectrum->phases, spectrum.phases);
    EXPECT_EQ(fromNpy.how, "NumPy <f8, 4 magnitudes and phases, width 8");
    EXPECT_EQ(ReadSpectrumBytes(npy.substr(0, npy.size() - 8), "x.npy", {}).error,
              "not a spectrum: the .npy data holds 56 bytes where the shape needs 64");
    EXPECT_EQ(ReadSpectrumBytes(npy, "x.npy", With(8)).error,
              "--width and --phase apply to raw and f32 files; a .npy file names its own layout");
}

TEST(spectrum_file_test, bad_files_get_a_message_that_says_what_is_wrong) {
    EXPECT_EQ(ReadSpectrumBytes("", "a.dat", {}).error, "the file is empty");
    EXPECT_EQ(ReadSpectrumBytes("abc", "a.dat", {}).error,
              "odd length: 3 bytes are not a whole number of raw 16-bit values (2 bytes each)");
    EXPECT_EQ(ReadSpectrumBytes(Int16Bytes({1, 2, 3}), "a.dat", With(std::nullopt, true)).error,
              "odd length: 3 raw 16-bit values cannot be magnitudes and phases of equal number (--phase)");
    EXPECT_EQ(ReadSpectrumBytes("bin,magnitude\n0,1\n2,5\n", "a.csv", {}).error,
              "not a spectrum: line 3 of the CSV file is not \"1,<magnitude>\"");
    EXPECT_EQ(ReadSpectrumBytes("time,value\n0,1\n", "a.csv", {}).error,
              "not a spectrum: a CSV output begins with the line bin[,frequency_hz],magnitude[,phase_deg]");
    EXPECT_EQ(ReadSpectrumBytes(Int16Bytes({1, 2, 400, -400}), "a.dat", With(std::nullopt, true)).error,
              "not a spectrum: the phase of bin 0 is 400, beyond +-180 degrees (a file without phases?); read as raw "
              "16-bit, 2 magnitudes and 2 phases, width 4 (from the size, with --phase)");

    test::TempDir dir;
    EXPECT_EQ(ReadSpectrumFile(dir.File("missing.dat"), {}).error, "cannot be read: No such file or directory");
    EXPECT_EQ(ReadSpectrumFile(dir.Path(), {}).error, "is a folder, not a spectrum file");
}

}  // namespace
}  // namespace tavox
