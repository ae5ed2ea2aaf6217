#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/Enums.h"
#include "data/Data.h"
#include "data/FileSystem.h"
#include "data/SampleBlocks.h"
#include "engine/File.h"
#include "engine/Parameters.h"
#include "engine/Polar.h"
#include "engine/Shaping.h"
#include "engine/fft/ReferenceKernel.h"
#include "support/MemoryRange.h"
#include "support/TestSupport.h"

// Every output of a transform equals, byte for byte (disk) or bit for bit
// (spreadsheet cells), what the reference path gives: the kernel as written,
// window weights from the formula, magnitudes and phases by ToPolar and
// Data::ToSample16 for each sample.

namespace tavox {
namespace {

using Samples = std::vector<std::int16_t>;
using Outputs = std::map<std::string, std::string>;

struct Expected {
    std::int32_t code = fftResultAllRight;
    Outputs outputs;
};

// Near full scale: a tone, an offset that drives bin 0 past 32767 without
// centring, and pseudo-random noise over every bit.
Samples Signal(std::size_t length, std::uint32_t seed) {
    Samples samples(length);
    std::uint32_t state = seed;
    for (std::size_t i = 0; i < length; ++i) {
        state = state * 1664525u + 1013904223u;
        const double noise = static_cast<double>(state >> 16) / 65536.0 * 12000.0 - 6000.0;
        const double value = 18000.0 + 9000.0 * std::sin(0.0123 * static_cast<double>(i) * (1 + seed % 7)) + noise;
        samples[i] = static_cast<std::int16_t>(std::lround(std::fmin(std::fmax(value, -32768.0), 32767.0)));
    }
    if (length > 3) samples[1] = -32768;
    return samples;
}

// The lower half of the spectrum of the exposure at 1-based `pos` (zeros past
// the end), followed by the phases with `phase`.
std::vector<double> ReferenceSpectrum(const std::vector<double>& source, std::int64_t pos, const Parameters& p,
                                      bool conjugate, bool phase) {
    const auto n = static_cast<std::size_t>(p.Width());
    std::vector<double> re(n, 0.0);
    std::vector<double> im(n, 0.0);
    const auto first = static_cast<std::size_t>(std::max<std::int64_t>(pos, 1) - 1);
    for (std::size_t i = 0; i < n && first + i < source.size(); ++i) re[i] = source[first + i];
    ShapeExposure(re, p.Center(), p.Window());
    FftReference(re, im, p.TwiddleRealTable(), p.TwiddleImagTable(), p.WidthExponent(), conjugate);
    ToPolar(re, im, phase);
    std::vector<double> out(re.begin(), re.begin() + static_cast<std::ptrdiff_t>(n / 2));
    if (phase) out.insert(out.end(), im.begin(), im.begin() + static_cast<std::ptrdiff_t>(n / 2));
    return out;
}

std::string ReferenceBytes(const std::vector<double>& values) {
    std::string bytes;
    for (const double v : values) {
        const auto s = static_cast<std::uint16_t>(Data::ToSample16(v));
        bytes += static_cast<char>(s & 0xFF);
        bytes += static_cast<char>(s >> 8);
    }
    return bytes;
}

// What the driver produces for a source, by the placement rules of the methods:
// a list of result blocks keyed by exposure number (0 for Simple and Average).
struct ReferenceRun {
    std::int32_t code = fftResultAllRight;
    std::map<int, std::vector<double>> blocks;
};

ReferenceRun RunReference(const std::vector<double>& source, const Parameters& p) {
    ReferenceRun run;
    const auto length = static_cast<std::int32_t>(source.size());
    const std::int64_t width = p.Width();
    const std::int64_t start = p.StartPosition(length);
    auto complete = [&](std::int64_t pos) { return std::max<std::int64_t>(pos, 1) - 1 + width <= length; };
    if (p.Method() == fftMethodSimple) {
        if (!complete(start)) {
            run.code = fftResultShortFile;
            return run;
        }
        run.blocks[0] = ReferenceSpectrum(source, start, p, true, p.Phase());
        return run;
    }
    const std::int64_t repeat = p.Repeat();
    const std::int64_t step = (p.FinishPosition(length) - start + 1 - width) / (repeat - 1);
    if (step <= 0) {
        run.code = fftResultShortFile;
        return run;
    }
    std::vector<double> sum;
    int count = 0;
    for (std::int64_t k = 0; k < repeat; ++k) {
        const std::int64_t pos = start + k * step;
        if (!complete(pos)) {
            run.code = fftResultShortFile;
            break;
        }
        std::vector<double> spectrum = ReferenceSpectrum(source, pos, p, false, false);
        if (p.Method() == fftMethodMulti) {
            run.blocks[static_cast<int>(k + 1)] = std::move(spectrum);
        } else if (count++ == 0) {
            sum = std::move(spectrum);
        } else {
            for (std::size_t i = 0; i < sum.size(); ++i) sum[i] += spectrum[i];
        }
    }
    if (p.Method() == fftMethodAverage && count > 0) {
        if (count > 1) {
            const double divisor = count;
            for (double& v : sum) v /= divisor;
        }
        run.blocks[0] = std::move(sum);
    }
    return run;
}

std::shared_ptr<Parameters> MakeParameters(std::int32_t width, fftWindowEnum window, bool center, fftMethodEnum method,
                                           bool phase) {
    auto p = std::make_shared<Parameters>();
    p->SetWidth(width);
    p->SetWindow(window);
    p->SetCenter(center);
    p->SetMethod(method);
    p->SetRepeat(3);
    p->SetPhase(phase);
    return p;
}

// Disk: a source of `samples` (plus an odd byte with `oddByte`), transformed
// by a File; returns the code and every file the run wrote.
Expected RunDisk(const Samples& samples, bool oddByte, const std::shared_ptr<Parameters>& p) {
    test::TempDir dir;
    std::string bytes(samples.size() * 2, '\0');
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto s = static_cast<std::uint16_t>(samples[i]);
        bytes[2 * i] = static_cast<char>(s & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(s >> 8);
    }
    if (oddByte) bytes += '\x7F';
    test::WriteBytes(dir.File("sig.dat"), bytes);

    auto file = std::make_shared<File>(DefaultFileSystem());
    file->SetParameters(p);
    file->SetFormat(fftDataDiskFile);
    file->GetData().SetSource(Variant(dir.File("sig.dat")));
    file->GetData().SetTarget(Variant(std::string("*out.*")));
    Expected got;
    got.code = file->Transform();
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        const std::string name = entry.path().filename().string();
        if (name != "sig.dat") got.outputs[name] = test::ReadBytes(entry.path().string());
    }
    return got;
}

Expected ExpectedDisk(const Samples& samples, const Parameters& p) {
    const std::vector<double> source(samples.begin(), samples.end());
    const ReferenceRun run = RunReference(source, p);
    Expected expected;
    expected.code = run.code;
    for (const auto& [exposure, values] : run.blocks) {
        char name[32];
        if (exposure == 0) {
            std::snprintf(name, sizeof name, "sigout.dat");
        } else {
            std::snprintf(name, sizeof name, "sigout.%03d", exposure);
        }
        expected.outputs[name] = ReferenceBytes(values);
    }
    return expected;
}

struct Placement {
    const char* name;
    std::int64_t extra;  // samples beyond two widths
    bool oddByte;
    std::int32_t start;   // 0: the default
    std::int32_t finish;  // 0: the default; beyond the end: the source runs out
};

// Sources that fit; that end with an odd byte inside the last exposure and
// run out before the last exposure; and that start off the first sample.
Placement PlacementFor(int index, std::int32_t width) {
    switch (index % 3) {
        case 0:
            return {"fits", 37, false, 0, 0};
        case 1:
            return {"runs_out", 5, true, 0, 3 * width};
        default:
            return {"offset_start", 101, true, 3, 0};
    }
}

TEST(pipeline_identity_test, disk_outputs_equal_the_reference_path_for_every_width_window_centring_and_method) {
    int index = 0;
    for (int exponent = 7; exponent <= 16; ++exponent) {
        const std::int32_t width = std::int32_t{1} << exponent;
        for (const fftWindowEnum window : {fftWindowRectangle, fftWindowHanning, fftWindowFlatTop}) {
            for (const bool center : {false, true}) {
                for (const fftMethodEnum method : {fftMethodSimple, fftMethodAverage, fftMethodMulti}) {
                    const Placement place = PlacementFor(index++ + exponent, width);
                    const bool phase = method == fftMethodSimple && (index % 2 == 0);
                    SCOPED_TRACE("width " + std::to_string(width) + " window " + std::to_string(window) + " center " +
                                 std::to_string(center) + " method " + std::to_string(method) + " phase " +
                                 std::to_string(phase) + " " + place.name);
                    const auto p = MakeParameters(width, window, center, method, phase);
                    if (place.start != 0) p->SetStart(Variant(place.start));
                    if (place.finish != 0) p->SetFinish(Variant(place.finish));
                    const Samples samples =
                        Signal(static_cast<std::size_t>(2 * width + place.extra), static_cast<std::uint32_t>(index));
                    const Expected expected = ExpectedDisk(samples, *p);
                    const Expected got = RunDisk(samples, place.oddByte, p);
                    ASSERT_EQ(got.code, expected.code);
                    ASSERT_EQ(got.outputs.size(), expected.outputs.size());
                    for (const auto& [name, bytes] : expected.outputs) {
                        ASSERT_EQ(got.outputs.count(name), 1u) << name;
                        ASSERT_TRUE(got.outputs.at(name) == bytes) << name << " differs";
                    }
                }
            }
        }
    }
}

TEST(pipeline_identity_test, short_sources_write_nothing_at_both_ends_of_the_width_range) {
    for (const std::int32_t width : {128, 65536}) {
        for (const fftMethodEnum method : {fftMethodSimple, fftMethodAverage, fftMethodMulti}) {
            const auto p = MakeParameters(width, fftWindowHanning, false, method, false);
            const Samples samples = Signal(static_cast<std::size_t>(width - 1), 9);
            const Expected got = RunDisk(samples, true, p);
            EXPECT_EQ(got.code, fftResultShortFile);
            EXPECT_TRUE(got.outputs.empty());
        }
    }
}

// Cells hold the doubles as computed, so the spreadsheet path shows any
// difference in the last bit.
struct SheetRun {
    std::int32_t code = 0;
    std::shared_ptr<MemoryRange> target;
};

SheetRun RunSheet(const std::vector<double>& source, const std::shared_ptr<Parameters>& p, std::int32_t rows,
                  std::int32_t columns) {
    auto in = std::make_shared<MemoryRange>(static_cast<std::int32_t>(source.size()), 1);
    for (std::size_t i = 0; i < source.size(); ++i) in->SetCellValue(static_cast<std::int32_t>(i + 1), 1, source[i]);
    SheetRun run;
    run.target = std::make_shared<MemoryRange>(rows, columns);
    auto file = std::make_shared<File>(DefaultFileSystem());
    file->SetParameters(p);
    file->SetFormat(fftDataExcelRange);
    file->GetData().SetSource(Variant(ObjectRef(in)));
    file->GetData().SetTarget(Variant(ObjectRef(run.target)));
    run.code = file->Transform();
    return run;
}

void ExpectCellsHold(MemoryRange& target, std::int32_t column, const std::vector<double>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double cell = target.CellValue(static_cast<std::int32_t>(i + 1), column).ToDouble();
        ASSERT_EQ(std::memcmp(&cell, &values[i], sizeof cell), 0)
            << "row " << i + 1 << ": " << cell << " != " << values[i];
    }
}

// Sources whose spectra are exactly zero in most bins: silence, a negative
// constant (bin 0 alone, at 180 degrees), a Nyquist tone (nothing below it)
// and a lone full-scale negative first sample, which the Hanning window turns
// into -0.0. The fast kernel takes known-zero imaginary parts as constants;
// here signed zeros and the phases of zero bins are checked end to end, on
// disk and in cells.
TEST(pipeline_identity_test, exact_zero_bins_and_signed_zeros_equal_the_reference_path) {
    for (const std::int32_t width : {128, 1024, 65536}) {
        const auto n = static_cast<std::size_t>(width);
        const std::map<std::string, Samples> sources = {
            {"silence", Samples(n, 0)},
            {"constant", Samples(n, -3)},
            {"nyquist",
             [n] {
                 Samples s(n);
                 for (std::size_t i = 0; i < n; ++i) s[i] = i % 2 == 0 ? 7 : -7;
                 return s;
             }()},
            {"first_sample",
             [n] {
                 Samples s(n, 0);
                 s[0] = -32768;
                 return s;
             }()},
        };
        for (const fftWindowEnum window : {fftWindowRectangle, fftWindowHanning, fftWindowFlatTop}) {
            for (const bool center : {false, true}) {
                for (const auto& [name, samples] : sources) {
                    SCOPED_TRACE("width " + std::to_string(width) + " window " + std::to_string(window) + " center " +
                                 std::to_string(center) + " " + name);
                    const auto p = MakeParameters(width, window, center, fftMethodSimple, true);
                    const Expected expected = ExpectedDisk(samples, *p);
                    const Expected got = RunDisk(samples, false, p);
                    ASSERT_EQ(got.code, expected.code);
                    ASSERT_EQ(got.outputs.size(), expected.outputs.size());
                    for (const auto& [output, bytes] : expected.outputs) {
                        ASSERT_EQ(got.outputs.count(output), 1u) << output;
                        ASSERT_TRUE(got.outputs.at(output) == bytes) << output << " differs";
                    }

                    // Cells show the doubles themselves; -0.0 cells reach the kernel as they are.
                    for (const bool negativeZeros : {false, true}) {
                        std::vector<double> cells(samples.begin(), samples.end());
                        if (negativeZeros) {
                            for (double& x : cells) x = x == 0 ? -0.0 : x;
                        }
                        const ReferenceRun reference = RunReference(cells, *p);
                        const SheetRun sheet = RunSheet(cells, p, width, 1);
                        ASSERT_EQ(sheet.code, reference.code);
                        ExpectCellsHold(*sheet.target, 1, reference.blocks.at(0));
                    }
                }
            }
        }
    }
}

TEST(pipeline_identity_test, spreadsheet_cells_equal_the_reference_doubles) {
    int index = 0;
    for (const std::int32_t width : {128, 1024, 65536}) {
        for (const fftWindowEnum window : {fftWindowRectangle, fftWindowHanning, fftWindowFlatTop}) {
            for (const bool center : {false, true}) {
                for (const fftMethodEnum method : {fftMethodSimple, fftMethodAverage, fftMethodMulti}) {
                    ++index;
                    const bool phase = method == fftMethodSimple && index % 2 == 0;
                    SCOPED_TRACE("width " + std::to_string(width) + " window " + std::to_string(window) + " center " +
                                 std::to_string(center) + " method " + std::to_string(method));
                    const auto p = MakeParameters(width, window, center, method, phase);
                    std::vector<double> source(static_cast<std::size_t>(2 * width + 11));
                    const Samples raw = Signal(source.size(), static_cast<std::uint32_t>(index));
                    for (std::size_t i = 0; i < source.size(); ++i) source[i] = raw[i] * 0.37 + 1e-3 * (i % 13);
                    const ReferenceRun expected = RunReference(source, *p);
                    const std::int32_t columns = method == fftMethodMulti ? 3 : 1;
                    const SheetRun got = RunSheet(source, p, width, columns);
                    ASSERT_EQ(got.code, expected.code);
                    for (const auto& [exposure, values] : expected.blocks) {
                        ExpectCellsHold(*got.target, std::max(exposure, 1), values);
                    }
                }
            }
        }
    }
}

// Values so large that the kernel overflows take the reference kernel: the
// run reports the overflow (6), and the stored cells are still what the
// reference path computes.
TEST(pipeline_identity_test, huge_cell_values_give_the_reference_overflow_and_cells) {
    for (const std::int32_t width : {128, 4096}) {
        const auto p = MakeParameters(width, fftWindowRectangle, false, fftMethodSimple, false);
        std::vector<double> source(static_cast<std::size_t>(width), 1e306);
        for (std::size_t i = 0; i < source.size(); i += 3) source[i] = 7e305;
        const ReferenceRun expected = RunReference(source, *p);
        const SheetRun got = RunSheet(source, p, width, 1);
        EXPECT_EQ(got.code, ErrOverflow);
        ExpectCellsHold(*got.target, 1, expected.blocks.at(0));
    }
}

TEST(pipeline_identity_test, bounded_magnitudes_equal_to_polar) {
    std::uint32_t state = 3;
    for (const std::size_t n : {std::size_t{128}, std::size_t{4096}}) {
        std::vector<double> re(n);
        std::vector<double> im(n);
        for (std::size_t k = 0; k < n; ++k) {
            state = state * 1664525u + 1013904223u;
            re[k] = (static_cast<double>(state) / 4294967296.0 - 0.5) * std::ldexp(1.0, static_cast<int>(k % 40));
            state = state * 1664525u + 1013904223u;
            im[k] = (static_cast<double>(state) / 4294967296.0 - 0.5) * std::ldexp(1.0, static_cast<int>(k % 37));
        }
        re[3] = 0.0;
        im[3] = -0.0;
        std::vector<double> fast = re;
        std::vector<double> polar = re;
        std::vector<double> polarIm = im;
        BoundedMagnitudes(fast, im);
        ToPolar(polar, polarIm, false);
        ASSERT_EQ(std::memcmp(fast.data(), polar.data(), n * sizeof(double)), 0);
    }
}

TEST(pipeline_identity_test, block_conversions_match_the_single_sample_ones) {
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> values = {0.0,          -0.0,
                                  0.5,          1.5,
                                  2.5,          -0.5,
                                  -1.5,         -2.5,
                                  0.49999,      -0.50001,
                                  32766.5,      32767.0,
                                  32767.49,     32767.5,
                                  32768.,       -32766.5,
                                  -32767.0,     -32767.5,
                                  -32768.,      -40000.,
                                  1e300,        -1e300,
                                  inf,          -inf,
                                  std::nan(""), 4503599627370497.0,
                                  1e-320,       12345.678};
    std::uint32_t state = 7;
    for (int i = 0; i < 5000; ++i) {
        state = state * 1664525u + 1013904223u;
        values.push_back((static_cast<double>(state) / 4294967296.0 - 0.5) * 80000.0);
        values.push_back(std::round(values.back()) + 0.5);
    }
    std::vector<std::byte> bytes(values.size() * 2);
    BytesFromValues(values, bytes);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto expected = static_cast<std::uint16_t>(Data::ToSample16(values[i]));
        const auto got = static_cast<std::uint16_t>(std::to_integer<unsigned>(bytes[2 * i]) |
                                                    (std::to_integer<unsigned>(bytes[2 * i + 1]) << 8));
        ASSERT_EQ(got, expected) << "value " << values[i];
    }

    std::vector<std::byte> raw(2 * 65536 + 1);
    for (std::size_t s = 0; s < 65536; ++s) {
        raw[2 * s] = static_cast<std::byte>(s & 0xFF);
        raw[2 * s + 1] = static_cast<std::byte>(s >> 8);
    }
    std::vector<double> samples(65537, -1.0);
    SamplesFromBytes(raw, samples);
    for (std::size_t s = 0; s < 65536; ++s) ASSERT_EQ(samples[s], static_cast<std::int16_t>(s));
    EXPECT_EQ(samples[65536], -1.0);  // the odd byte is not a sample
}

}  // namespace
}  // namespace tavox
