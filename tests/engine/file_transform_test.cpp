#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/AutomationError.h"
#include "common/Enums.h"
#include "data/Data.h"
#include "engine/File.h"
#include "engine/NumericConstants.h"
#include "engine/Parameters.h"
#include "engine/Polar.h"
#include "engine/Shaping.h"
#include "engine/fft/ReferenceKernel.h"
#include "support/FaultyFileSystem.h"
#include "support/MemoryRange.h"
#include "support/TestSupport.h"

namespace tavox {
namespace {

using test::FaultyFileSystem;
using test::FsCall;

using Samples = std::vector<std::int16_t>;

// Sample p (1-based) holds the value p, so that bin 0 of an unwindowed
// exposure starting at a reads 2a + Width - 1.
Samples Positional(std::int32_t length) {
    Samples samples(static_cast<std::size_t>(length));
    for (std::int32_t i = 0; i < length; ++i) samples[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(i + 1);
    return samples;
}

// A tone on bin 37 of 1024 plus a deterministic pseudo-random noise.
Samples Mixed(std::int32_t length) {
    Samples samples(static_cast<std::size_t>(length));
    std::uint32_t state = 12345;
    for (std::int32_t i = 0; i < length; ++i) {
        state = state * 1664525u + 1013904223u;
        const double noise = static_cast<double>(state >> 20) - 2048.0;
        const double tone = 3000.0 * std::cos(TwoPi15 * 37.0 * i / 1024.0);
        samples[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(std::lround(tone + noise + 500.0));
    }
    return samples;
}

// The result values of one exposure starting at 1-based `start`, computed
// with the engine's building blocks directly: magnitudes, then with `phase`
// the phases.
std::vector<double> Spectrum(const Samples& source, std::int64_t start, const Parameters& p, bool conjugate,
                             bool phase) {
    const auto n = static_cast<std::size_t>(p.Width());
    std::vector<double> re(n);
    std::vector<double> im(n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t at = static_cast<std::size_t>(start - 1) + i;
        re[i] = at < source.size() ? source[at] : 0.0;
    }
    ShapeExposure(re, p.Center(), p.Window());
    FftReference(re, im, p.TwiddleRealTable(), p.TwiddleImagTable(), p.WidthExponent(), conjugate);
    ToPolar(re, im, phase);
    std::vector<double> values(re.begin(), re.begin() + static_cast<std::ptrdiff_t>(n / 2));
    if (phase) values.insert(values.end(), im.begin(), im.begin() + static_cast<std::ptrdiff_t>(n / 2));
    return values;
}

// Bin-by-bin mean of the magnitude spectra of exposures at `starts`, summed
// in exposure order as the data channel sums them.
std::vector<double> MeanSpectrum(const Samples& source, const std::vector<std::int64_t>& starts, const Parameters& p) {
    std::vector<double> sum = Spectrum(source, starts[0], p, false, false);
    for (std::size_t k = 1; k < starts.size(); ++k) {
        const auto next = Spectrum(source, starts[k], p, false, false);
        for (std::size_t i = 0; i < sum.size(); ++i) sum[i] += next[i];
    }
    if (starts.size() > 1) {
        for (double& v : sum) v /= static_cast<double>(starts.size());
    }
    return sum;
}

std::string Numbered(std::int32_t k) {
    std::string digits = std::to_string(k);
    return std::string(3 - std::min<std::size_t>(3, digits.size()), '0') + digits;
}

Samples ToSamples(const std::vector<double>& values) {
    Samples out;
    for (double v : values) out.push_back(Data::ToSample16(v));
    return out;
}

// Records the element counts asked of the allocation probe and refuses the
// first request of `refused` elements.
std::vector<std::size_t> probeRequests;
std::size_t probeRefuses = 0;
bool RecordingProbe(std::size_t elements) {
    probeRequests.push_back(elements);
    if (elements == probeRefuses) {
        probeRefuses = 0;
        return false;
    }
    return true;
}

class file_transform_test : public ::testing::Test {
protected:
    void SetUp() override {
        probeRequests.clear();
        probeRefuses = 0;
        File::SetAllocationProbe(&RecordingProbe);
    }
    void TearDown() override {
        File::SetAllocationProbe(nullptr);
        EXPECT_EQ(fs->OpenHandles(), 0) << "a transform left a file open";
    }

    std::shared_ptr<File> DiskFile(const std::string& name, const Samples& samples,
                                   const std::string& mask = "*out.*") {
        test::WriteSamples(dir.File(name), samples);
        auto file = std::make_shared<File>(fs);
        file->SetParameters(params);
        file->SetName(name);
        file->SetFormat(fftDataDiskFile);
        file->GetData().SetSource(Variant(dir.File(name)));
        file->GetData().SetTarget(Variant(mask));
        return file;
    }
    std::shared_ptr<File> RangeFile(const std::shared_ptr<Range>& source, const std::shared_ptr<Range>& target) {
        auto file = std::make_shared<File>(fs);
        file->SetParameters(params);
        file->SetFormat(fftDataExcelRange);
        file->GetData().SetSource(Variant(ObjectRef(source)));
        file->GetData().SetTarget(Variant(ObjectRef(target)));
        return file;
    }
    bool Exists(const std::string& name) const { return std::filesystem::exists(dir.File(name)); }
    Samples Output(const std::string& name) const { return test::ReadSamples(dir.File(name)); }

    test::TempDir dir;
    std::shared_ptr<FaultyFileSystem> fs = std::make_shared<FaultyFileSystem>();
    std::shared_ptr<Parameters> params = std::make_shared<Parameters>();
};

TEST_F(file_transform_test, simple_tone_on_bin_8_reads_its_amplitude_and_phase) {
    Samples cosine(128);
    Samples sine(128);
    for (int n = 0; n < 128; ++n) {
        cosine[n] = static_cast<std::int16_t>(std::lround(1000.0 * std::cos(TwoPi15 * 8 * n / 128)));
        sine[n] = static_cast<std::int16_t>(std::lround(1000.0 * std::sin(TwoPi15 * 8 * n / 128)));
    }
    auto cosFile = DiskFile("cos.dat", cosine);
    ASSERT_EQ(cosFile->Transform(), fftResultAllRight);
    const Samples magnitudes = Output("cosout.dat");
    ASSERT_EQ(magnitudes.size(), 64u);
    for (std::size_t k = 0; k < 64; ++k) EXPECT_EQ(magnitudes[k], k == 8 ? 1000 : 0) << "bin " << k;

    params->SetPhase(true);
    ASSERT_EQ(cosFile->Transform(), fftResultAllRight);
    const Samples withPhase = Output("cosout.dat");
    ASSERT_EQ(withPhase.size(), 128u);
    EXPECT_EQ(Samples(withPhase.begin(), withPhase.begin() + 64), magnitudes);
    EXPECT_EQ(withPhase[64 + 8], 0);

    // The simple method writes the phases of the conjugated spectrum: a sine reads +90.
    auto sinFile = DiskFile("sin.dat", sine);
    ASSERT_EQ(sinFile->Transform(), fftResultAllRight);
    const Samples sinePhase = Output("sinout.dat");
    ASSERT_EQ(sinePhase.size(), 128u);
    EXPECT_EQ(sinePhase[8], 1000);
    EXPECT_EQ(sinePhase[64 + 8], 90);
}

TEST_F(file_transform_test, simple_reads_one_exposure_from_start) {
    const Samples source = Mixed(177);
    params->SetStart(Variant(std::int16_t{50}));
    auto whole = DiskFile("whole.dat", source);
    ASSERT_EQ(whole->Transform(), fftResultAllRight);

    params->SetStart(Variant(std::int16_t{0}));
    auto tail = DiskFile("tail.dat", Samples(source.begin() + 49, source.end()));
    ASSERT_EQ(tail->Transform(), fftResultAllRight);
    EXPECT_EQ(Output("wholeout.dat"), Output("tailout.dat"));
    EXPECT_EQ(Output("wholeout.dat"), ToSamples(Spectrum(source, 50, *params, true, false)));

    params->SetStart(Variant(std::int16_t{50}));
    auto shorter = DiskFile("short.dat", Samples(source.begin(), source.end() - 1));
    EXPECT_EQ(shorter->Transform(), fftResultShortFile);
    EXPECT_FALSE(Exists("shortout.dat"));

    params->SetStart(Variant(std::int16_t{0}));
    auto hundred = DiskFile("hundred.dat", Samples(100, 7));
    EXPECT_EQ(hundred->Transform(), fftResultShortFile);
    EXPECT_FALSE(Exists("hundredout.dat"));
    EXPECT_EQ(fs->Calls(FsCall::CreateOutput), 2);
}

TEST_F(file_transform_test, exposures_are_placed_by_the_step) {
    params->SetWidth(1024);
    params->SetMethod(fftMethodMulti);
    struct Case {
        std::int32_t length;
        std::int32_t repeat;
        std::int32_t step;
    };
    for (const Case c : {Case{10000, 4, 2992}, Case{2000, 10, 108}, Case{1030, 8, 0}, Case{1000, 2, 0}}) {
        SCOPED_TRACE(c.length);
        params->SetRepeat(c.repeat);
        const std::string stem = std::to_string(c.length);
        const int readsBefore = fs->Calls(FsCall::ReadAt);
        auto file = DiskFile(stem + ".dat", Positional(c.length));
        if (c.step == 0) {
            EXPECT_EQ(file->Transform(), fftResultShortFile);
            EXPECT_EQ(fs->Calls(FsCall::ReadAt), readsBefore);
            EXPECT_FALSE(Exists(stem + "out.001"));
            continue;
        }
        ASSERT_EQ(file->Transform(), fftResultAllRight);
        for (std::int32_t k = 1; k <= c.repeat; ++k) {
            const Samples out = Output(stem + "out." + Numbered(k));
            ASSERT_EQ(out.size(), 512u);
            const std::int32_t start = 1 + (k - 1) * c.step;
            EXPECT_EQ(out[0], 2 * start + 1023) << "exposure " << k;
        }
        EXPECT_FALSE(Exists(stem + "out." + Numbered(c.repeat + 1)));
    }
}

TEST_F(file_transform_test, multi_writes_magnitudes_per_exposure_whatever_the_phase) {
    const Samples source = Mixed(1000);
    params->SetMethod(fftMethodMulti);
    params->SetRepeat(3);
    params->SetWindow(fftWindowFlatTop);
    auto file = DiskFile("sig.dat", source);
    ASSERT_EQ(file->Transform(), fftResultAllRight);
    const std::int64_t step = (1000 - 128) / 2;
    std::vector<Samples> outputs;
    for (const char* extension : {"001", "002", "003"}) {
        outputs.push_back(Output(std::string("sigout.") + extension));
        const std::int64_t start = 1 + step * static_cast<std::int64_t>(outputs.size() - 1);
        EXPECT_EQ(outputs.back(), ToSamples(Spectrum(source, start, *params, false, false))) << extension;
    }
    EXPECT_FALSE(Exists("sigout.dat"));
    EXPECT_FALSE(Exists("sigout.004"));

    params->SetPhase(true);
    ASSERT_EQ(file->Transform(), fftResultAllRight);
    EXPECT_EQ(Output("sigout.001"), outputs[0]);
    EXPECT_EQ(Output("sigout.003"), outputs[2]);
}

TEST_F(file_transform_test, average_is_the_mean_of_the_exposure_spectra) {
    const Samples source = Mixed(10000);
    params->SetWidth(1024);
    params->SetMethod(fftMethodAverage);
    params->SetRepeat(4);
    params->SetWindow(fftWindowHanning);
    params->SetCenter(true);
    params->SetPhase(true);
    auto file = DiskFile("sig.dat", source);
    ASSERT_EQ(file->Transform(), fftResultAllRight);
    const Samples expected = ToSamples(MeanSpectrum(source, {1, 2993, 5985, 8977}, *params));
    ASSERT_EQ(Output("sigout.dat"), expected);
    EXPECT_GT(expected[37], 2900) << "the tone stands out";

    // A range that ends beyond the source: exposures 1 and 2 complete, 3 runs short.
    params->SetFinish(Variant(std::int16_t{20000}));
    EXPECT_EQ(file->Transform(), fftResultShortFile);
    EXPECT_EQ(Output("sigout.dat"), ToSamples(MeanSpectrum(source, {1, 6326}, *params)));
}

TEST_F(file_transform_test, average_with_repeat_1_takes_two_exposures) {
    params->SetWidth(1024);
    params->SetMethod(fftMethodAverage);
    params->SetRepeat(1);
    auto file = DiskFile("sig.dat", Positional(2048));
    ASSERT_EQ(file->Transform(), fftResultAllRight);
    const Samples out = Output("sigout.dat");
    ASSERT_EQ(out.size(), 512u);
    // Exposures at 1 and 1025: bin 0 reads (1025 + 3073) / 2.
    EXPECT_EQ(out[0], 2049);
}

TEST_F(file_transform_test, too_short_a_range_reads_and_writes_nothing) {
    for (const auto method : {fftMethodAverage, fftMethodMulti}) {
        SCOPED_TRACE(method);
        params->SetMethod(method);
        params->SetRepeat(3);
        const int reads = fs->Calls(FsCall::ReadAt);
        const int writes = fs->Calls(FsCall::CreateOutput);
        auto file = DiskFile("short.dat", Samples(128 + 3 - 2, 1));
        EXPECT_EQ(file->Transform(), fftResultShortFile);
        EXPECT_EQ(fs->Calls(FsCall::ReadAt), reads);
        EXPECT_EQ(fs->Calls(FsCall::CreateOutput), writes);

        auto fits = DiskFile("fits.dat", Samples(128 + 3 - 1, 1));
        EXPECT_EQ(fits->Transform(), fftResultAllRight);
        EXPECT_TRUE(Exists(method == fftMethodAverage ? "fitsout.dat" : "fitsout.003"));
    }
}

TEST_F(file_transform_test, unopenable_source_allocates_nothing) {
    auto file = DiskFile("gone.dat", Samples(128, 1));
    std::filesystem::remove(dir.File("gone.dat"));
    EXPECT_EQ(file->Transform(), fftResultFileSysErr);
    EXPECT_TRUE(probeRequests.empty());
    EXPECT_EQ(fs->Calls(FsCall::CreateOutput), 0);
}

TEST_F(file_transform_test, out_of_memory_halves_the_failing_array_and_writes_nothing) {
    for (const auto method : {fftMethodSimple, fftMethodAverage, fftMethodMulti}) {
        SCOPED_TRACE(method);
        params->SetMethod(method);
        auto file = DiskFile("sig.dat", Mixed(1000));
        probeRequests.clear();
        probeRefuses = 128;
        EXPECT_EQ(file->Transform(), fftResultOutOfMemory);
        EXPECT_EQ(probeRequests, (std::vector<std::size_t>{128, 64, 64}));
        EXPECT_FALSE(Exists("sigout.dat"));
        EXPECT_FALSE(Exists("sigout.001"));

        // The next transform allocates the full width again.
        probeRequests.clear();
        EXPECT_EQ(file->Transform(), fftResultAllRight);
        EXPECT_EQ(probeRequests, (std::vector<std::size_t>{128, 128}));
        std::filesystem::remove(dir.File("sigout.dat"));
        std::filesystem::remove(dir.File("sigout.001"));
        std::filesystem::remove(dir.File("sigout.002"));
    }
}

TEST_F(file_transform_test, average_whose_first_load_fails_keeps_an_existing_output) {
    params->SetMethod(fftMethodAverage);
    params->SetStart(Variant(std::int16_t{5000}));
    params->SetFinish(Variant(std::int16_t{20000}));
    auto file = DiskFile("sig.dat", Mixed(1000));
    test::WriteBytes(dir.File("sigout.dat"), "earlier result");

    EXPECT_EQ(file->Transform(), fftResultShortFile);
    EXPECT_EQ(test::ReadBytes(dir.File("sigout.dat")), "earlier result");
    EXPECT_EQ(fs->Calls(FsCall::CreateOutput), 0);
}

// A stop asked for between exposures ends an Average or a Multi at once:
// the average is not written, a Multi keeps the outputs it completed.
TEST_F(file_transform_test, stop_between_exposures_ends_average_and_multi_with_repeat_fail) {
    const Samples source = Mixed(4000);
    params->SetRepeat(5);
    int asked = 0;
    const std::function<bool()> stopAtThird = [&] { return ++asked >= 2; };  // first asked before exposure 2

    params->SetMethod(fftMethodAverage);
    auto average = DiskFile("avg.dat", source);
    test::WriteBytes(dir.File("avgout.dat"), "earlier result");
    EXPECT_EQ(average->Transform(stopAtThird), fftResultRepeatFail);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(test::ReadBytes(dir.File("avgout.dat")), "earlier result");

    params->SetMethod(fftMethodMulti);
    auto multi = DiskFile("sig.dat", source);
    asked = 0;
    EXPECT_EQ(multi->Transform(stopAtThird), fftResultRepeatFail);
    const std::int64_t step = (4000 - 128) / 4;
    EXPECT_EQ(Output("sigout.001"), ToSamples(Spectrum(source, 1, *params, false, false)));
    EXPECT_EQ(Output("sigout.002"), ToSamples(Spectrum(source, 1 + step, *params, false, false)));
    EXPECT_FALSE(Exists("sigout.003"));
    EXPECT_EQ(test::FolderEntries(dir.Path()),
              (std::vector<std::string>{"avg.dat", "avgout.dat", "sig.dat", "sigout.001", "sigout.002"}));

    // A simple transform has one exposure and never asks; a probe that never
    // answers true changes nothing.
    params->SetMethod(fftMethodSimple);
    asked = 0;
    EXPECT_EQ(DiskFile("one.dat", source)->Transform(stopAtThird), fftResultAllRight);
    EXPECT_EQ(asked, 0);
    params->SetMethod(fftMethodMulti);
    EXPECT_EQ(multi->Transform([] { return false; }), fftResultAllRight);
    EXPECT_TRUE(Exists("sigout.005"));
}

TEST_F(file_transform_test, spreadsheet_pair_receives_the_unrounded_values) {
    const Samples source = Mixed(128);
    auto sourceRange = std::make_shared<MemoryRange>(128, 1);
    for (std::int32_t row = 1; row <= 128; ++row) sourceRange->SetCellValue(row, 1, Variant(source[row - 1]));
    auto targetRange = std::make_shared<MemoryRange>(128, 1);
    params->SetWindow(fftWindowHanning);
    params->SetPhase(true);

    auto sheet = RangeFile(sourceRange, targetRange);
    ASSERT_EQ(sheet->Transform(), fftResultAllRight);
    const std::vector<double> expected = Spectrum(source, 1, *params, true, true);
    for (std::int32_t row = 1; row <= 128; ++row) {
        const Variant cell = targetRange->CellValue(row, 1);
        ASSERT_EQ(cell.Kind(), VariantKind::Double) << "row " << row;
        EXPECT_EQ(cell.ToDouble(), expected[static_cast<std::size_t>(row - 1)]) << "row " << row;
    }

    auto disk = DiskFile("sig.dat", source);
    ASSERT_EQ(disk->Transform(), fftResultAllRight);
    EXPECT_EQ(Output("sigout.dat"), ToSamples(expected));
}

TEST_F(file_transform_test, errors_inside_a_method_become_the_result_code) {
    // Values beyond what a sum can hold raise a floating-point fault: overflow.
    auto huge = std::make_shared<MemoryRange>(128, 1);
    for (std::int32_t row = 1; row <= 128; ++row) huge->SetCellValue(row, 1, Variant(1e308));
    params->SetCenter(true);
    auto sheet = RangeFile(huge, std::make_shared<MemoryRange>(64, 1));
    EXPECT_EQ(sheet->Transform(), ErrOverflow);
    params->SetCenter(false);
    EXPECT_EQ(sheet->Transform(), ErrOverflow) << "the kernel overflows as well";

    // A start position beyond the 32-bit range.
    auto file = DiskFile("sig.dat", Mixed(1000));
    params->SetStart(Variant("3000000000"));
    EXPECT_EQ(file->Transform(), ErrOverflow);
    params->SetStart(Variant(std::int16_t{0}));
    params->SetFinish(Variant("3000000000"));
    for (const auto method : {fftMethodAverage, fftMethodMulti}) {
        params->SetMethod(method);
        EXPECT_EQ(file->Transform(), ErrOverflow) << method;
    }
    EXPECT_EQ(fs->Calls(FsCall::CreateOutput), 0);
}

TEST_F(file_transform_test, transform_without_parameters_raises) {
    File file(fs);
    EXPECT_AUTOMATION_ERROR(file.Transform(), 91, "TAVOX.File", "Object variable or With block variable not set");
}

}  // namespace
}  // namespace tavox
