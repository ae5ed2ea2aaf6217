#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/Numeric.h"
#include "data/Data.h"
#include "data/FileSystem.h"
#include "data/MemoryChannel.h"
#include "data/TextForm.h"
#include "engine/File.h"
#include "engine/Parameters.h"
#include "engine/SampleSpectrum.h"
#include "support/MemoryRange.h"
#include "support/TestSupport.h"

// Samples in memory give, through TransformSamples, exactly what the batch
// gives for the same samples in a sequence file (the raw output's samples)
// or in a spreadsheet range (the target's cells).

namespace tavox {
namespace {

using Samples = std::vector<std::int16_t>;

Samples Noise(std::size_t length, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    Samples samples(length);
    for (auto& s : samples) s = static_cast<std::int16_t>(sample(random));
    return samples;
}

std::shared_ptr<Parameters> Settings(std::int32_t width, fftWindowEnum window, fftMethodEnum method, bool phase,
                                     bool center, std::int32_t repeat) {
    auto p = std::make_shared<Parameters>();
    p->SetWidth(width);
    p->SetWindow(window);
    p->SetMethod(method);
    p->SetRepeat(repeat);
    p->SetPhase(phase);
    p->SetCenter(center);
    return p;
}

// Every output a disk batch writes for `samples`, in exposure order, as samples.
std::pair<std::int32_t, Samples> DiskRun(const Samples& samples, const std::shared_ptr<Parameters>& p,
                                         AverageMode average) {
    test::TempDir dir;
    test::WriteSamples(dir.File("sig.dat"), samples);
    auto file = std::make_shared<File>(DefaultFileSystem());
    file->SetParameters(p);
    file->SetFormat(fftDataDiskFile);
    OutputOptions options;
    options.average = average;
    file->GetData().SetOutputOptions(options);
    file->GetData().SetSource(Variant(dir.File("sig.dat")));
    file->GetData().SetTarget(Variant(std::string("*out.*")));
    const std::int32_t code = file->Transform();
    std::map<std::string, Samples> outputs;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        const std::string name = entry.path().filename().string();
        if (name != "sig.dat") outputs[name] = test::ReadSamples(entry.path().string());
    }
    Samples all;
    for (const auto& [name, output] : outputs) all.insert(all.end(), output.begin(), output.end());
    return {code, all};
}

// The cells a spreadsheet target receives for a source range of `cells`,
// column after column.
std::pair<std::int32_t, std::vector<double>> SheetRun(const std::vector<Variant>& cells,
                                                      const std::shared_ptr<Parameters>& p) {
    auto source = std::make_shared<MemoryRange>(static_cast<std::int32_t>(cells.size()), 1);
    for (std::size_t i = 0; i < cells.size(); ++i) source->SetCellValue(static_cast<std::int32_t>(i + 1), 1, cells[i]);
    const std::int32_t rows = p->Width();
    const std::int32_t columns = p->Method() == fftMethodMulti ? p->Repeat() : 1;
    auto target = std::make_shared<MemoryRange>(rows, columns);
    auto file = std::make_shared<File>(DefaultFileSystem());
    file->SetParameters(p);
    file->SetFormat(fftDataExcelRange);
    file->GetData().SetSource(Variant(ObjectRef(source)));
    file->GetData().SetTarget(Variant(ObjectRef(target)));
    const std::int32_t code = file->Transform();
    std::vector<double> values;
    for (std::int32_t column = 1; column <= columns; ++column) {
        for (std::int32_t row = 1; row <= rows; ++row) {
            const Variant cell = target->CellValue(row, column);
            if (!cell.IsEmpty()) values.push_back(cell.ToDouble());
        }
    }
    return {code, values};
}

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST(sample_spectrum_test, sixteen_bit_samples_give_the_raw_outputs_of_a_disk_batch) {
    const Samples samples = Noise(5000, 11);
    for (const std::int32_t width : {128, 1024}) {
        for (const auto window : {fftWindowRectangle, fftWindowHanning, fftWindowFlatTop}) {
            for (const auto method : {fftMethodSimple, fftMethodAverage, fftMethodMulti}) {
                for (const bool phase : {false, true}) {
                    for (const auto average :
                         {AverageMode::Mean, AverageMode::Rms, AverageMode::Max, AverageMode::Median}) {
                        if (method != fftMethodAverage && average != AverageMode::Mean) continue;
                        const auto p = Settings(width, window, method, phase, width == 128, 4);
                        const auto [code, disk] = DiskRun(samples, p, average);
                        const SampleSpectrum got = TransformSamples(p, average, std::span<const std::int16_t>(samples),
                                                                    SpectrumTarget::DiskRaw);
                        ASSERT_EQ(code, fftResultAllRight);
                        EXPECT_EQ(got.result, code);
                        EXPECT_EQ(got.samples, disk) << width << " " << window << " " << method << " " << phase;
                        EXPECT_EQ(got.outputs * got.rows * got.bins, disk.size());
                        EXPECT_EQ(got.outputs, method == fftMethodMulti ? 4u : 1u);
                        EXPECT_EQ(got.rows, method == fftMethodSimple && phase ? 2u : 1u);
                    }
                }
            }
        }
    }
}

TEST(sample_spectrum_test, doubles_give_what_a_spreadsheet_target_receives) {
    std::mt19937 random(5);
    std::normal_distribution<double> normal(0.0, 3000.0);
    std::vector<double> values(3000);
    for (double& v : values) v = normal(random);
    values[3] = -0.0;
    values[4] = 5e-324;  // a subnormal
    values[5] = 1e-310;
    values[6] = std::numeric_limits<double>::quiet_NaN();  // cells that read as 0
    values[7] = -std::numeric_limits<double>::infinity();
    values[8] = 123456.789e10;
    std::vector<Variant> cells(values.begin(), values.end());
    for (const auto window : {fftWindowRectangle, fftWindowHanning, fftWindowFlatTop}) {
        for (const auto method : {fftMethodSimple, fftMethodAverage, fftMethodMulti}) {
            for (const bool phase : {false, true}) {
                const auto p = Settings(256, window, method, phase, method == fftMethodAverage, 3);
                const auto [code, sheet] = SheetRun(cells, p);
                const SampleSpectrum got =
                    TransformSamples(p, AverageMode::Mean, std::span<const double>(values), SpectrumTarget::Sheet);
                ASSERT_EQ(code, fftResultAllRight);
                EXPECT_EQ(got.result, code);
                EXPECT_TRUE(SameBits(got.values, sheet)) << window << " " << method << " " << phase;
            }
        }
    }
}

TEST(sample_spectrum_test, sixteen_bit_samples_as_cells_give_the_same_bits_as_a_spreadsheet) {
    const Samples samples = Noise(2048, 3);
    const std::vector<Variant> cells(samples.begin(), samples.end());
    for (const auto window : {fftWindowRectangle, fftWindowHanning, fftWindowFlatTop}) {
        const auto p = Settings(512, window, fftMethodAverage, false, false, 5);
        const SampleSpectrum got =
            TransformSamples(p, AverageMode::Mean, std::span<const std::int16_t>(samples), SpectrumTarget::Sheet);
        EXPECT_TRUE(SameBits(got.values, SheetRun(cells, p).second)) << window;
    }
}

TEST(sample_spectrum_test, a_cell_sample_is_the_number_its_text_reads_as) {
    std::mt19937_64 random(9);
    std::vector<double> values = {0.0,
                                  -0.0,
                                  1.0,
                                  -1.5,
                                  5e-324,
                                  -2.5e-320,
                                  2.2250738585072014e-308,
                                  std::numeric_limits<double>::max(),
                                  std::numeric_limits<double>::lowest(),
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN(),
                                  -std::numeric_limits<double>::quiet_NaN()};
    for (int i = 0; i < 20000; ++i) {
        const std::uint64_t bits = random();
        double x;
        std::memcpy(&x, &bits, sizeof x);
        values.push_back(x);
    }
    for (const double x : values) {
        const double expected = LeadingNumber(TextForm(Variant(x)));
        const double got = CellSample(x);
        EXPECT_EQ(std::memcmp(&got, &expected, sizeof got), 0) << x;
    }
}

TEST(sample_spectrum_test, failures_give_the_codes_of_the_batch) {
    const Samples samples = Noise(1000, 1);
    // Too few samples for one exposure: no output, as on disk.
    const auto wide = Settings(1024, fftWindowHanning, fftMethodSimple, false, false, 1);
    const SampleSpectrum shortSource =
        TransformSamples(wide, AverageMode::Mean, std::span<const std::int16_t>(samples), SpectrumTarget::DiskRaw);
    EXPECT_EQ(shortSource.result, fftResultShortFile);
    EXPECT_EQ(shortSource.result, DiskRun(samples, wide, AverageMode::Mean).first);
    EXPECT_EQ(shortSource.outputs, 0u);
    EXPECT_TRUE(shortSource.samples.empty());

    // Multi whose exposures run past the end: the earlier outputs stay.
    const auto multi = Settings(128, fftWindowRectangle, fftMethodMulti, false, false, 3);
    multi->SetFinish(Variant(std::int32_t{5000}));
    const SampleSpectrum partial =
        TransformSamples(multi, AverageMode::Mean, std::span<const std::int16_t>(samples), SpectrumTarget::DiskRaw);
    const auto [code, disk] = DiskRun(samples, multi, AverageMode::Mean);
    EXPECT_EQ(partial.result, code);
    EXPECT_EQ(partial.result, fftResultShortFile);
    EXPECT_EQ(partial.samples, disk);
    EXPECT_EQ(partial.outputs, 1u);

    // Doubles beyond what the kernel can hold: the overflow error, as a sheet gives it.
    const std::vector<double> huge(256, 1e307);
    const auto simple = Settings(256, fftWindowRectangle, fftMethodSimple, false, false, 1);
    const SampleSpectrum overflow =
        TransformSamples(simple, AverageMode::Mean, std::span<const double>(huge), SpectrumTarget::Sheet);
    EXPECT_EQ(overflow.result, SheetRun(std::vector<Variant>(huge.begin(), huge.end()), simple).first);
    EXPECT_NE(overflow.result, fftResultAllRight);
}

// A long Average is computed on worker threads when asked, and its sums are
// still taken in exposure order: every thread count gives the same values.
TEST(sample_spectrum_test, threads_change_no_value_of_a_long_average) {
    const Samples samples = Noise(400000, 6);
    std::vector<double> cells(samples.begin(), samples.end());
    for (std::size_t i = 0; i < cells.size(); i += 7) cells[i] += 0.25;
    // Doubles whose squared magnitudes overflow take the unbounded path on threads too.
    std::vector<double> huge(cells);
    for (double& x : huge) x *= 1e156;
    const auto average = Settings(1024, fftWindowHanning, fftMethodAverage, false, true, 300);
    const auto multi = Settings(2048, fftWindowRectangle, fftMethodMulti, false, false, 90);
    for (const AverageMode mode : {AverageMode::Mean, AverageMode::Median, AverageMode::Max}) {
        const auto one =
            TransformSamples(average, mode, std::span<const std::int16_t>(samples), SpectrumTarget::DiskRaw, 1);
        const auto oneCells = TransformSamples(average, mode, std::span<const double>(cells), SpectrumTarget::Sheet, 1);
        ASSERT_EQ(one.result, fftResultAllRight);
        for (const std::size_t threads : {2u, 7u}) {
            const auto many = TransformSamples(average, mode, std::span<const std::int16_t>(samples),
                                               SpectrumTarget::DiskRaw, threads);
            EXPECT_EQ(many.samples, one.samples) << threads;
            const auto manyCells =
                TransformSamples(average, mode, std::span<const double>(cells), SpectrumTarget::Sheet, threads);
            EXPECT_EQ(manyCells.result, oneCells.result);
            EXPECT_EQ(std::memcmp(manyCells.values.data(), oneCells.values.data(), one.bins * sizeof(double)), 0)
                << threads;
            const auto hugeOne =
                TransformSamples(average, mode, std::span<const double>(huge), SpectrumTarget::Sheet, 1);
            const auto hugeMany =
                TransformSamples(average, mode, std::span<const double>(huge), SpectrumTarget::Sheet, threads);
            EXPECT_EQ(hugeMany.result, hugeOne.result);
            EXPECT_EQ(hugeMany.values, hugeOne.values) << threads;
        }
    }
    // A multi keeps to the calling thread and gives the same outputs.
    const auto oneMulti =
        TransformSamples(multi, AverageMode::Mean, std::span<const std::int16_t>(samples), SpectrumTarget::DiskRaw, 1);
    EXPECT_EQ(
        TransformSamples(multi, AverageMode::Mean, std::span<const std::int16_t>(samples), SpectrumTarget::DiskRaw, 7)
            .samples,
        oneMulti.samples);
    // Exposures past the end fail the same way on threads.
    const Samples few(samples.begin(), samples.begin() + 200000);
    average->SetFinish(Variant(std::int32_t{400000}));
    const auto shortOne =
        TransformSamples(average, AverageMode::Mean, std::span<const std::int16_t>(few), SpectrumTarget::DiskRaw, 1);
    EXPECT_EQ(shortOne.result, fftResultShortFile);
    EXPECT_EQ(
        TransformSamples(average, AverageMode::Mean, std::span<const std::int16_t>(few), SpectrumTarget::DiskRaw, 2)
            .result,
        shortOne.result);
}

TEST(sample_spectrum_test, one_parameters_object_serves_threads_at_once) {
    const Samples samples = Noise(65536, 4);
    const auto p = Settings(4096, fftWindowFlatTop, fftMethodAverage, false, true, 40);
    const SampleSpectrum alone =
        TransformSamples(p, AverageMode::Rms, std::span<const std::int16_t>(samples), SpectrumTarget::DiskRaw);
    std::vector<SampleSpectrum> results(4);
    std::vector<std::thread> threads;
    for (auto& result : results) {
        threads.emplace_back([&] {
            result =
                TransformSamples(p, AverageMode::Rms, std::span<const std::int16_t>(samples), SpectrumTarget::DiskRaw);
        });
    }
    for (auto& thread : threads) thread.join();
    for (const auto& result : results) EXPECT_EQ(result.samples, alone.samples);
}

}  // namespace
}  // namespace tavox
