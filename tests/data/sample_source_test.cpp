#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "data/Data.h"
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

}  // namespace
}  // namespace tavox
