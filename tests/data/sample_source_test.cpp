#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "data/Data.h"
#include "data/RawSampleSource.h"
#include "data/SampleDecoding.h"
#include "data/SampleSource.h"
#include "support/FaultyFileSystem.h"
#include "support/TestSupport.h"

namespace tavox {
namespace {

using test::FaultyFileSystem;
using test::FsCall;
using test::TempDir;

std::vector<std::int16_t> Pattern(std::size_t count) {
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) samples[i] = static_cast<std::int16_t>(i * 40503 + 7);
    return samples;
}

TEST(sample_source_test, a_raw_file_opens_as_bounded_samples_of_its_measured_count) {
    TempDir dir;
    test::WriteSamples(dir.File("s.dat"), Pattern(5));
    test::WriteBytes(dir.File("s.dat"), test::ReadBytes(dir.File("s.dat")) + "\x01");  // no sample
    FileSystem& fileSystem = *DefaultFileSystem();
    SourceOpening opening = SampleSource::Open(fileSystem, dir.File("s.dat"));
    ASSERT_TRUE(opening.source);
    EXPECT_EQ(opening.result, fftResultAllRight);
    EXPECT_EQ(opening.source->Samples(), 5u);
    EXPECT_EQ(SampleSource::Measure(fileSystem, dir.File("s.dat")), 5u);
    EXPECT_TRUE(opening.source->BoundedSamples());
    EXPECT_EQ(opening.source->Channels(), 1);
    EXPECT_FALSE(opening.source->SampleRate());
    EXPECT_EQ(opening.source->Identity(), fileSystem.OpenRead(dir.File("s.dat"))->Identity());

    const SourceOpening missing = SampleSource::Open(fileSystem, dir.File("missing.dat"));
    EXPECT_FALSE(missing.source);
    EXPECT_EQ(missing.result, fftResultFileSysErr);
    EXPECT_FALSE(SampleSource::Measure(fileSystem, dir.File("missing.dat")));
}

TEST(sample_source_test, reads_are_short_only_at_the_end_and_fail_on_a_read_error) {
    TempDir dir;
    const std::vector<std::int16_t> stored = Pattern(1000);
    test::WriteSamples(dir.File("s.dat"), stored);
    auto fileSystem = std::make_shared<FaultyFileSystem>();
    const auto source = SampleSource::Open(*fileSystem, dir.File("s.dat")).source;
    ByteBuffer bytes;
    std::vector<double> out(300);
    struct Case {
        std::uint64_t first;
        std::size_t expected;
    };
    for (const Case c : {Case{0, 300}, Case{700, 300}, Case{900, 100}, Case{1000, 0}, Case{5000, 0}}) {
        const SourceRead read = source->Read(c.first, out, bytes);
        EXPECT_EQ(read.result, fftResultAllRight) << c.first;
        EXPECT_EQ(read.count, c.expected) << c.first;
        for (std::size_t i = 0; i < c.expected; ++i) ASSERT_EQ(out[i], stored[c.first + i]) << c.first << " " << i;
    }
    fileSystem->FailCall(FsCall::ReadAt);
    EXPECT_EQ(source->Read(0, out, bytes).result, fftResultFileSysErr);
    EXPECT_EQ(source->Read(0, out, bytes).count, 300u);
}

// The engine's fast path trusts this answer: only 16-bit values may take it.
TEST(sample_source_test, data_says_bounded_for_sixteen_bit_sources_only) {
    TempDir dir;
    test::WriteSamples(dir.File("s.dat"), Pattern(8));
    const std::vector<std::int16_t> shorts(8, 1);
    const std::vector<double> doubles(8, 1.0);
    Data data(DefaultFileSystem());
    data.SetSource(Variant(dir.File("s.dat")));
    std::int32_t result = fftResultAllRight;
    data.Initialize(result);
    EXPECT_TRUE(data.BoundedSamples());
    data.UseMemory(std::span<const std::int16_t>(shorts), fftDataExcelRange);
    EXPECT_TRUE(data.BoundedSamples());
    data.UseMemory(std::span<const double>(doubles), fftDataDiskFile);
    EXPECT_FALSE(data.BoundedSamples());
    data.SetFormat(fftDataExcelRange);
    EXPECT_FALSE(data.BoundedSamples());
    data.SetFormat(99);
    EXPECT_FALSE(data.BoundedSamples());
}

// Two frames of three channels; channel 2 holds the extremes of the format,
// whose 16-bit-scale values are known by hand.
TEST(sample_source_test, each_sample_format_reads_on_the_16_bit_scale) {
    using Bytes = std::vector<unsigned char>;
    struct Case {
        SampleFormat format;
        Bytes lowest;  // the bytes of channel 2's samples, lowest then highest
        Bytes highest;
        double low;
        double high;
    };
    const Case cases[] = {
        {SampleFormat::S16le, {0x00, 0x80}, {0xff, 0x7f}, -32768, 32767},
        {SampleFormat::S16be, {0x80, 0x00}, {0x7f, 0xff}, -32768, 32767},
        {SampleFormat::S8, {0x80}, {0x7f}, -32768, 32512},
        {SampleFormat::U8, {0x00}, {0xff}, -32768, 32512},
        {SampleFormat::U16le, {0x00, 0x00}, {0xff, 0xff}, -32768, 32767},
        {SampleFormat::U16be, {0x00, 0x01}, {0xff, 0xfe}, -32767, 32766},
        {SampleFormat::S24le, {0x00, 0x00, 0x80}, {0xff, 0xff, 0x7f}, -32768, 8388607 / 256.0},
        {SampleFormat::S24be, {0x80, 0x00, 0x01}, {0x7f, 0xff, 0xff}, -8388607 / 256.0, 8388607 / 256.0},
        {SampleFormat::S32le, {0, 0, 0, 0x80}, {0xff, 0xff, 0xff, 0x7f}, -32768, 2147483647 / 65536.0},
        {SampleFormat::S32be, {0xff, 0xff, 0, 0}, {0, 1, 0, 0}, -1, 1},
        {SampleFormat::U32le, {0, 0, 0, 0}, {0xff, 0xff, 0xff, 0xff}, -32768, 4294967295 / 65536.0 - 32768},
        {SampleFormat::U32be, {0x80, 0, 0, 0}, {0x80, 1, 0, 0}, 0, 1},
        {SampleFormat::F32le, {0, 0, 0x80, 0xbf}, {0, 0, 0, 0x3f}, -32768, 16384},
        {SampleFormat::F32be, {0xbf, 0x80, 0, 0}, {0x3e, 0x80, 0, 0}, -32768, 8192},
        {SampleFormat::F64le, {0, 0, 0, 0, 0, 0, 0xf0, 0xbf}, {0, 0, 0, 0, 0, 0, 0xe0, 0x3f}, -32768, 16384},
        {SampleFormat::F64be, {0x40, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0}, 65536, 0},
    };
    TempDir dir;
    for (const Case& c : cases) {
        const Bytes other(c.lowest.size(), 0x55);
        Bytes file;
        for (const Bytes* part : {&other, &c.lowest, &other, &other, &c.highest, &other}) {
            file.insert(file.end(), part->begin(), part->end());
        }
        test::WriteBytes(dir.File("s.raw"), std::string(file.begin(), file.end()));
        InputOptions options;
        options.sampleFormat = c.format;
        options.channels = 3;
        options.channel = 2;
        const auto source = SampleSource::Open(*DefaultFileSystem(), dir.File("s.raw"), options).source;
        ASSERT_TRUE(source) << SampleFormatName(c.format);
        EXPECT_EQ(source->Samples(), 2u);
        EXPECT_EQ(source->BoundedSamples(), SampleBytes(c.format) <= 2) << SampleFormatName(c.format);
        std::vector<double> out(2);
        ByteBuffer bytes;
        EXPECT_EQ(source->Read(0, out, bytes).count, 2u);
        EXPECT_EQ(out, (std::vector<double>{c.low, c.high})) << SampleFormatName(c.format);
    }
}

TEST(sample_source_test, a_float_that_is_not_finite_fails_the_read_and_a_missing_channel_the_open) {
    TempDir dir;
    std::string bytes(16, '\0');
    const double values[2] = {1.0, std::numeric_limits<double>::quiet_NaN()};
    std::memcpy(bytes.data(), values, sizeof values);
    test::WriteBytes(dir.File("f.raw"), bytes);
    InputOptions options;
    options.sampleFormat = SampleFormat::F64le;
    const auto source = SampleSource::Open(*DefaultFileSystem(), dir.File("f.raw"), options).source;
    ASSERT_TRUE(source);
    std::vector<double> out(2);
    ByteBuffer buffer;
    EXPECT_EQ(source->Read(0, std::span(out).first(1), buffer).count, 1u);
    const SourceRead read = source->Read(0, out, buffer);
    EXPECT_EQ(read.result, fftResultFormatErr);
    EXPECT_STREQ(read.problem, "a sample is not a finite number (NaN or infinity)");

    options.channels = 2;
    options.channel = 3;
    const SourceOpening refused = SampleSource::Open(*DefaultFileSystem(), dir.File("f.raw"), options);
    EXPECT_FALSE(refused.source);
    EXPECT_EQ(refused.result, fftResultFormatErr);
    EXPECT_EQ(refused.reason, "channel 3 was asked for, but the file holds 2 channels");
}

// A layout that ends before the file: the samples stop there.
TEST(sample_source_test, a_layout_reads_its_frames_between_offset_and_end_only) {
    TempDir dir;
    test::WriteSamples(dir.File("s.dat"), {9, 1, 2, 3, 4, 9});
    const SampleLayout layout{SampleFormat::S16le, 2, 2, 2, 10};
    const RawSampleSource source(DefaultFileSystem()->OpenRead(dir.File("s.dat")), layout, 8000.0);
    EXPECT_EQ(source.Samples(), 2u);
    EXPECT_EQ(source.SampleRate(), 8000.0);
    std::vector<double> out(5, -1);
    ByteBuffer bytes;
    EXPECT_EQ(source.Read(0, out, bytes).count, 2u);
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(out[1], 4);
}

}  // namespace
}  // namespace tavox
