#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "data/ArchiveWriter.h"
#include "data/FileSystem.h"
#include "data/MatrixFormats.h"
#include "data/NpyFormat.h"
#include "data/SpectrumFormats.h"
#include "support/TestSupport.h"
#include "zip/ZipArchive.h"

namespace tavox {
namespace {

// Collects what is written.
class MemoryOutput : public OutputFile {
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

// Three exposures of 1024 samples, 1000 apart from sample 501, of four bins.
MatrixLayout Layout(std::optional<double> rate) {
    MatrixLayout layout;
    layout.series = ExposureSeries{501, 1000, 3, 1024, "hann", false};
    layout.shape = SpectrumShape{4, 1, 8, PolarRows};
    layout.context =
        SpectrumContext{8, 4.0, 6.0, rate, 0, SpectrumQuantity{}, std::nullopt, fftWindowRectangle, std::nullopt};
    layout.source = "/data/r\xc3\xa1n \"7\"\xff.dat";
    return layout;
}

const std::vector<std::vector<double>> Rows = {
    {2000.5, 1000.25, 0.1, 3.75}, {0, 90.5, 1e-300, 7}, {1.0 / 3, 32767.5, 5e8, 0.5}};

std::string Written(const MatrixLayout& layout, OutputFormat format) {
    MemoryOutput out;
    ByteBuffer buffer;
    auto writer = MakeMatrixWriter(out, layout, format, buffer);
    EXPECT_TRUE(writer) << FormatName(format);
    if (!writer) return {};
    for (std::size_t k = 0; k < Rows.size(); ++k) writer->Row(Rows[k], static_cast<std::int16_t>(k + 1));
    EXPECT_TRUE(writer->Finish());
    return out.text;
}

NpyArray Parsed(std::string_view bytes) {
    std::string error;
    const auto array = ParseNpy(bytes, error);
    EXPECT_TRUE(array) << error;
    return array.value_or(NpyArray{});
}

std::vector<double> Flat() {
    std::vector<double> flat;
    for (const auto& row : Rows) flat.insert(flat.end(), row.begin(), row.end());
    return flat;
}

TEST(matrix_formats_test, npy_headers_are_those_of_one_spectrum_and_read_back) {
    const std::size_t one[] = {512};
    const std::size_t two[] = {2, 512};
    EXPECT_EQ(NpyArrayHeader("<f8", one), NpyHeader({512, 1, 1024}));
    EXPECT_EQ(NpyArrayHeader("<f8", two), NpyHeader({512, 2, 1024}));
    const std::string scalar = NpyArrayHeader("<U17", {});
    EXPECT_EQ(scalar.size() % 64, 0u);
    const std::string scalarFile = scalar + std::string(68, 'x');
    const NpyArray parsed = Parsed(scalarFile);
    EXPECT_EQ(parsed.descr, "<U17");
    EXPECT_TRUE(parsed.dims.empty());
    EXPECT_EQ(parsed.Count(), 1u);
    EXPECT_EQ(parsed.data.size(), 68u);
    EXPECT_EQ(Parsed(NpyArrayHeader("<i8", two)).dims, (std::vector<std::size_t>{2, 512}));
}

// The rows, their starts (0-based), times at the centre (SciPy's (start +
// N/2) / fs) and the bins' frequencies, in each format that holds a matrix.
TEST(matrix_formats_test, every_matrix_format_holds_the_rows_and_their_axes) {
    const std::vector<std::int64_t> starts = {500, 1500, 2500};
    for (const std::optional<double> rate : {std::optional<double>(), std::optional<double>(8000.0)}) {
        const MatrixLayout layout = Layout(rate);
        const double scale = rate ? 1 / *rate : 1;
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_EQ(ExposureTime(layout, static_cast<std::int16_t>(k + 1)), (starts[k] + 512) * scale);
            EXPECT_EQ(BinFrequency(layout, k), rate ? k * 1000.0 : k);
        }

        const std::string npyFile = Written(layout, OutputFormat::Npy);  // the parsed array views its bytes
        const NpyArray npy = Parsed(npyFile);
        EXPECT_EQ(npy.dims, (std::vector<std::size_t>{3, 4}));
        EXPECT_EQ(NpyDoubles(npy), Flat());

        const std::string f32 = Written(layout, OutputFormat::F32);
        ASSERT_EQ(f32.size(), 12u * 4);
        for (std::size_t i = 0; i < 12; ++i) {
            float value = 0;
            std::memcpy(&value, f32.data() + 4 * i, 4);
            EXPECT_EQ(value, FaithfulFloat(Flat()[i])) << i;
        }

        std::istringstream csv(Written(layout, OutputFormat::Csv));
        std::string line;
        std::getline(csv, line);
        EXPECT_EQ(line, rate ? "exposure,start,time_s,bin,frequency_hz,magnitude" : "exposure,start,bin,magnitude");
        for (std::size_t k = 0; k < 3; ++k) {
            for (std::size_t bin = 0; bin < 4; ++bin) {
                ASSERT_TRUE(std::getline(csv, line));
                std::vector<double> cells;
                std::istringstream fields(line);
                for (std::string cell; std::getline(fields, cell, ',');) cells.push_back(std::stod(cell));
                std::vector<double> expected = {k + 1.0, static_cast<double>(starts[k])};
                if (rate) expected.push_back((starts[k] + 512) / 8000.0);
                expected.push_back(static_cast<double>(bin));
                if (rate) expected.push_back(bin * 1000.0);
                expected.push_back(Rows[k][bin]);
                EXPECT_EQ(cells, expected) << line;
            }
        }
        EXPECT_FALSE(std::getline(csv, line));

        test::TempDir dir;
        test::WriteBytes(dir.File("m.npz"), Written(layout, OutputFormat::Npz));
        std::string error;
        const auto members = ReadZipMembers(dir.File("m.npz"), 1 << 20, error);
        ASSERT_TRUE(members) << error;
        ASSERT_EQ(members->size(), 5u);
        EXPECT_EQ(NpyDoubles(Parsed(members->at("S.npy"))), Flat());
        EXPECT_EQ(Parsed(members->at("S.npy")).dims, (std::vector<std::size_t>{3, 4}));
        EXPECT_EQ(NpyIntegers(Parsed(members->at("start.npy"))), starts);
        const auto t = NpyDoubles(Parsed(members->at("t.npy")));
        ASSERT_TRUE(t);
        for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ((*t)[k], ExposureTime(layout, static_cast<std::int16_t>(k + 1)));
        const auto f = NpyDoubles(Parsed(members->at("f.npy")));
        ASSERT_TRUE(f);
        for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ((*f)[k], BinFrequency(layout, k));
        EXPECT_EQ(NpyText(Parsed(members->at("meta.npy"))), MatrixMeta(layout));
    }
}

// The meta text is JSON of ASCII characters: the source's other characters
// escaped, bytes that are no UTF-8 as U+FFFD.
TEST(matrix_formats_test, the_meta_text_names_the_series_and_the_window_in_json) {
    for (const std::optional<double> rate : {std::optional<double>(), std::optional<double>(8000.0)}) {
        const std::string text = MatrixMeta(Layout(rate));
        for (const char c : text) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << text;
        const auto meta = nlohmann::json::parse(text);
        EXPECT_EQ(meta["source"], "/data/r\xc3\xa1n \"7\"\xef\xbf\xbd.dat");
        EXPECT_EQ(meta["window"], "hann");
        EXPECT_EQ(meta["width"], 1024);
        EXPECT_EQ(meta["bins"], 4);
        EXPECT_EQ(meta["exposures"], 3);
        EXPECT_EQ(meta["first"], 500);
        EXPECT_EQ(meta["step"], 1000);
        EXPECT_EQ(meta["channel"], 1);
        EXPECT_EQ(meta["scale"], "amplitude");
        EXPECT_EQ(meta["quantity"], "magnitude");
        // S1 = 4, S2 = 6 over N = 8: gain 0.5, NENBW 8 * 6 / 16 = 3 bins.
        EXPECT_EQ(meta["coherent_gain"], 0.5);
        EXPECT_EQ(meta["nenbw_bins"], 3.0);
        if (rate) {
            EXPECT_EQ(meta["rate"], 8000.0);
            EXPECT_EQ(meta["enbw_hz"], 3000.0);
            EXPECT_EQ(meta["time_unit"], "s");
        } else {
            EXPECT_TRUE(meta["rate"].is_null());
            EXPECT_TRUE(meta["enbw_hz"].is_null());
            EXPECT_EQ(meta["frequency_unit"], "bin");
        }
    }
}

TEST(matrix_formats_test, raw_holds_no_matrix_and_npz_needs_an_archive_writer) {
    MemoryOutput out;
    ByteBuffer buffer;
    EXPECT_FALSE(HoldsMatrix(OutputFormat::Raw));
    EXPECT_FALSE(MakeMatrixWriter(out, Layout(std::nullopt), OutputFormat::Raw, buffer));
    InstallArchiveWriter(nullptr);
    EXPECT_FALSE(MakeMatrixWriter(out, Layout(std::nullopt), OutputFormat::Npz, buffer));
    InstallZipArchive();
    EXPECT_TRUE(MakeMatrixWriter(out, Layout(std::nullopt), OutputFormat::Npz, buffer));
}

}  // namespace
}  // namespace tavox
