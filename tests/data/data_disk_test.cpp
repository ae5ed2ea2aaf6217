#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <new>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "common/SpectrumObserver.h"
#include "data/Data.h"
#include "support/FaultyFileSystem.h"
#include "support/TestSupport.h"

namespace tavox {
namespace {

using test::FaultyFileSystem;
using test::FsCall;
using test::ReadBytes;
using test::ReadSamples;
using test::TempDir;
using test::WriteBytes;
using test::WriteSamples;
namespace fs = std::filesystem;

std::unique_ptr<Data> DiskData(std::shared_ptr<FileSystem> fileSystem, const std::string& source,
                               const std::string& mask) {
    auto data = std::make_unique<Data>(std::move(fileSystem));
    data->SetFormat(fftDataDiskFile);
    data->SetSource(Variant(source));
    data->SetTarget(Variant(mask));
    return data;
}

// A spectrum whose lower half is `block` (the upper half is never stored).
std::vector<double> Spectrum(const std::vector<double>& block) {
    std::vector<double> spectrum(block);
    spectrum.resize(block.size() * 2, 1e9);
    return spectrum;
}

std::vector<std::int16_t> Ramp(std::int16_t first, std::size_t count) {
    std::vector<std::int16_t> ramp(count);
    std::iota(ramp.begin(), ramp.end(), first);
    return ramp;
}

TEST(data_disk_test, length_counts_whole_samples_and_is_zero_when_unmeasurable) {
    TempDir dir;
    WriteBytes(dir.File("seven.dat"), "1234567");
    fs::create_directory(dir.File("folder.dat"));
    auto fileSystem = DefaultFileSystem();
    EXPECT_EQ(DiskData(fileSystem, dir.File("seven.dat"), "*.out")->Length(), 3);
    EXPECT_EQ(DiskData(fileSystem, dir.File("missing.dat"), "*.out")->Length(), 0);
    EXPECT_EQ(DiskData(fileSystem, dir.File("folder.dat"), "*.out")->Length(), 0);
    EXPECT_EQ(DiskData(fileSystem, dir.File("*.dat"), "*.out")->Length(), 0);
    EXPECT_EQ(DiskData(fileSystem, "", "*.out")->Length(), 0);
    EXPECT_EQ(DiskData(fileSystem, dir.File("seven.dat"), "*.out")->TargetLength(), 0);
}

TEST(data_disk_test, load_decodes_little_endian_samples_from_a_position) {
    TempDir dir;
    WriteSamples(dir.File("s.dat"), {-32768, -1, 258, 32767, 5});
    auto data = DiskData(DefaultFileSystem(), dir.File("s.dat"), "*.out");
    std::int32_t result = fftResultAllRight;
    data->Initialize(result);
    std::vector<double> samples(5, 99.0);
    data->LoadSequence(samples, 1, result);
    EXPECT_EQ(samples, (std::vector<double>{-32768, -1, 258, 32767, 5}));
    EXPECT_EQ(result, fftResultAllRight);

    std::vector<double> two(2);
    for (std::int32_t fromPos : {0, -4, std::numeric_limits<std::int32_t>::min()}) {
        data->LoadSequence(two, fromPos, result);
        EXPECT_EQ(two, (std::vector<double>{-32768, -1})) << fromPos;
    }
    data->LoadSequence(two, 2, result);
    EXPECT_EQ(two, (std::vector<double>{-1, 258}));
    EXPECT_EQ(result, fftResultAllRight);
}

TEST(data_disk_test, load_past_the_end_fills_zeros_and_marks_a_short_file) {
    TempDir dir;
    WriteSamples(dir.File("s.dat"), {1, 2, 3, 4, 5});
    WriteBytes(dir.File("s.dat"), ReadBytes(dir.File("s.dat")) + "\x7f");  // odd last byte is no sample
    auto data = DiskData(DefaultFileSystem(), dir.File("s.dat"), "*.out");
    std::int32_t result = fftResultAllRight;
    data->Initialize(result);
    std::vector<double> samples(8, 99.0);
    data->LoadSequence(samples, 3, result);
    EXPECT_EQ(samples, (std::vector<double>{3, 4, 5, 0, 0, 0, 0, 0}));
    EXPECT_EQ(result, fftResultShortFile);

    result = fftResultAllRight;
    data->LoadSequence(samples, std::numeric_limits<std::int32_t>::max(), result);
    EXPECT_EQ(samples, std::vector<double>(8, 0.0));
    EXPECT_EQ(result, fftResultShortFile);
}

TEST(data_disk_test, large_load_reads_in_one_call_and_spans_read_chunks) {
    TempDir dir;
    const std::size_t count = 600000;
    std::vector<std::int16_t> stored(count);
    for (std::size_t i = 0; i < count; ++i) stored[i] = static_cast<std::int16_t>(i * 7919);
    WriteSamples(dir.File("big.dat"), stored);
    auto fileSystem = std::make_shared<FaultyFileSystem>();
    auto data = DiskData(fileSystem, dir.File("big.dat"), "*.out");
    std::int32_t result = fftResultAllRight;
    data->Initialize(result);

    std::vector<double> exposure(1024);
    data->LoadSequence(exposure, 1001, result);
    EXPECT_EQ(fileSystem->Calls(FsCall::ReadAt), 1);
    EXPECT_EQ(exposure[0], stored[1000]);
    EXPECT_EQ(exposure[1023], stored[2023]);

    std::vector<double> all(count + 10, 99.0);
    data->LoadSequence(all, 1, result);
    for (std::size_t i = 0; i < count; ++i) ASSERT_EQ(all[i], stored[i]) << i;
    for (std::size_t i = count; i < all.size(); ++i) ASSERT_EQ(all[i], 0.0) << i;
    EXPECT_EQ(result, fftResultShortFile);
}

TEST(data_disk_test, unopened_or_unreadable_source_reports_a_file_system_error) {
    TempDir dir;
    WriteSamples(dir.File("s.dat"), {1, 2, 3, 4, 5});
    auto fileSystem = std::make_shared<FaultyFileSystem>();
    std::vector<double> samples(2, 99.0);

    auto missing = DiskData(fileSystem, dir.File("missing.dat"), "*.out");
    std::int32_t result = fftResultAllRight;
    missing->Initialize(result);
    EXPECT_EQ(result, fftResultFileSysErr);

    auto notInitialized = DiskData(fileSystem, dir.File("s.dat"), "*.out");
    result = fftResultAllRight;
    notInitialized->LoadSequence(samples, 1, result);
    EXPECT_EQ(result, fftResultFileSysErr);
    EXPECT_EQ(samples, (std::vector<double>{0, 0}));

    auto data = DiskData(fileSystem, dir.File("s.dat"), "*.out");
    result = fftResultAllRight;
    data->Initialize(result);
    ASSERT_EQ(result, fftResultAllRight);
    fileSystem->FailCall(FsCall::ReadAt);
    data->LoadSequence(samples, 1, result);
    EXPECT_EQ(result, fftResultFileSysErr);
    // The next load succeeds again but never sets the result back.
    data->LoadSequence(samples, 4, result);
    EXPECT_EQ(samples, (std::vector<double>{4, 5}));
    EXPECT_EQ(result, fftResultFileSysErr);

    // A failed read of a range that runs past the end still ends as a short file.
    result = fftResultAllRight;
    fileSystem->FailCall(FsCall::ReadAt);
    std::vector<double> eight(8);
    data->LoadSequence(eight, 3, result);
    EXPECT_EQ(result, fftResultShortFile);
}

TEST(data_disk_test, to_sample16_clamps_symmetrically_and_rounds_half_to_even) {
    EXPECT_EQ(Data::ToSample16(40000.0), 32767);
    EXPECT_EQ(Data::ToSample16(-40000.0), -32767);
    EXPECT_EQ(Data::ToSample16(-32768.0), -32767);
    EXPECT_EQ(Data::ToSample16(32767.4), 32767);
    EXPECT_EQ(Data::ToSample16(32766.5), 32766);
    EXPECT_EQ(Data::ToSample16(-32766.5), -32766);
    EXPECT_EQ(Data::ToSample16(2.5), 2);
    EXPECT_EQ(Data::ToSample16(3.5), 4);
    EXPECT_EQ(Data::ToSample16(-2.5), -2);
    EXPECT_EQ(Data::ToSample16(-0.4), 0);
    EXPECT_EQ(Data::ToSample16(0.5000001), 1);
    EXPECT_EQ(Data::ToSample16(std::numeric_limits<double>::infinity()), 32767);
    EXPECT_EQ(Data::ToSample16(-std::numeric_limits<double>::infinity()), -32767);
    EXPECT_EQ(Data::ToSample16(std::nan("")), 0);
}

TEST(data_disk_test, two_stores_write_both_blocks_first_block_first) {
    TempDir dir;
    WriteSamples(dir.File("sig.dat"), {1});
    auto data = DiskData(DefaultFileSystem(), dir.File("sig.dat"), "*out.*");
    std::int32_t result = fftResultAllRight;
    std::vector<double> magnitudes(512), phases(512);
    for (int i = 0; i < 512; ++i) {
        magnitudes[i] = i;
        phases[i] = -i - 0.5;  // halves round to even
    }
    data->SaveSequence(SaveStore, Spectrum(magnitudes), 0, result);
    data->SaveSequence(SaveStore, Spectrum(phases), 0, result);
    data->SaveSequence(SaveWrite, {}, 0, result);
    EXPECT_EQ(result, fftResultAllRight);
    const auto written = ReadSamples(dir.File("sigout.dat"));
    ASSERT_EQ(fs::file_size(dir.File("sigout.dat")), 2048u);
    for (int i = 0; i < 512; ++i) {
        EXPECT_EQ(written[i], i);
        EXPECT_EQ(written[512 + i], static_cast<std::int16_t>(Data::ToSample16(-i - 0.5)));
    }
    EXPECT_EQ(written[513], -2);  // -1.5 -> -2
    EXPECT_EQ(written[514], -2);  // -2.5 -> -2
}

TEST(data_disk_test, add_sums_average_divides_and_a_first_add_stores) {
    TempDir dir;
    WriteSamples(dir.File("sig.dat"), {1});
    auto data = DiskData(DefaultFileSystem(), dir.File("sig.dat"), "*.avg");
    std::int32_t result = fftResultAllRight;

    data->SaveSequence(SaveAdd, Spectrum({10, 20}), 0, result);  // no store yet: acts as a store
    data->SaveSequence(SaveAverage, {}, 0, result);              // one block: unchanged
    data->SaveSequence(SaveWrite, {}, 0, result);
    EXPECT_EQ(ReadSamples(dir.File("sig.avg")), (std::vector<std::int16_t>{10, 20}));

    data->SaveSequence(SaveStore, Spectrum({40}), 0, result);  // an earlier block is left alone
    data->SaveSequence(SaveStore, Spectrum({3, 100, -7}), 0, result);
    data->SaveSequence(SaveAdd, Spectrum({6, 200, -8}), 0, result);
    data->SaveSequence(SaveAdd, Spectrum({9, 301, -9}), 0, result);
    data->SaveSequence(SaveAverage, {}, 0, result);
    data->SaveSequence(SaveAverage, {}, 0, result);  // already averaged: no second division
    data->SaveSequence(SaveWrite, {}, 0, result);
    EXPECT_EQ(ReadSamples(dir.File("sig.avg")), (std::vector<std::int16_t>{40, 6, 200, -8}));
    EXPECT_EQ(result, fftResultAllRight);
}

TEST(data_disk_test, write_with_nothing_stored_creates_an_empty_file_and_write_empties_the_store) {
    TempDir dir;
    WriteSamples(dir.File("sig.dat"), {1});
    auto data = DiskData(DefaultFileSystem(), dir.File("sig.dat"), "*.out");
    std::int32_t result = fftResultAllRight;
    data->SaveSequence(SaveWrite, {}, 0, result);
    ASSERT_TRUE(fs::exists(dir.File("sig.out")));
    EXPECT_EQ(fs::file_size(dir.File("sig.out")), 0u);

    data->SaveSequence(SaveStore, Spectrum({1, 2, 3}), 0, result);
    data->SaveSequence(SaveWrite, {}, 0, result);
    data->SaveSequence(SaveStore, Spectrum({4}), 0, result);
    data->SaveSequence(SaveWrite, {}, 0, result);
    EXPECT_EQ(ReadSamples(dir.File("sig.out")), (std::vector<std::int16_t>{4}));

    data->SaveSequence(SaveStore, Spectrum({5}), 0, result);
    data->SaveSequence(SaveReset, {}, 0, result);
    data->SaveSequence(SaveWrite, {}, 0, result);
    EXPECT_EQ(fs::file_size(dir.File("sig.out")), 0u);
    data->SaveSequence(static_cast<SaveOpEnum>(123), Spectrum({5}), 0, result);
    EXPECT_EQ(result, fftResultAllRight);
}

TEST(data_disk_test, large_output_is_written_completely) {
    TempDir dir;
    WriteSamples(dir.File("sig.dat"), {1});
    auto data = DiskData(DefaultFileSystem(), dir.File("sig.dat"), "*.out");
    std::int32_t result = fftResultAllRight;
    std::vector<double> block(65536);
    for (int b = 0; b < 3; ++b) {
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<double>((i * 31 + b * 1000) % 60000) - 30000;
        data->SaveSequence(SaveStore, Spectrum(block), 0, result);
    }
    data->SaveSequence(SaveWrite, {}, 0, result);
    EXPECT_EQ(result, fftResultAllRight);
    const auto written = ReadSamples(dir.File("sig.out"));
    ASSERT_EQ(written.size(), 3u * 65536u);
    for (int b = 0; b < 3; ++b) {
        for (std::size_t i = 0; i < block.size(); i += 997) {
            ASSERT_EQ(written[b * 65536 + i], static_cast<std::int16_t>((i * 31 + b * 1000) % 60000 - 30000));
        }
    }
}

TEST(data_disk_test, exposure_numbers_name_the_extension_up_to_999) {
    TempDir dir;
    WriteSamples(dir.File("sig.dat"), {1});
    auto data = DiskData(DefaultFileSystem(), dir.File("sig.dat"), "*out.*");
    std::int32_t result = fftResultAllRight;
    data->SaveSequence(SaveStore, Spectrum({12}), 12, result);
    data->SaveSequence(SaveWrite, {}, 12, result);
    EXPECT_EQ(ReadSamples(dir.File("sigout.012")), (std::vector<std::int16_t>{12}));
    EXPECT_EQ(result, fftResultAllRight);

    data->SaveSequence(SaveStore, Spectrum({1000}), 1000, result);
    data->SaveSequence(SaveWrite, {}, 1000, result);
    EXPECT_EQ(result, fftResultFileSysErr);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);

    // The failed write dropped its values.
    data->SaveSequence(SaveWrite, {}, 999, result);
    EXPECT_EQ(fs::file_size(dir.File("sigout.999")), 0u);
}

TEST(data_disk_test, target_path_from_source_and_mask) {
    struct Case {
        const char* source;
        const char* mask;
        std::int16_t exposure;
        const char* path;
    };
    const Case cases[] = {
        {"/data/sig.dat", "*out.*", 0, "/data/sigout.dat"},
        {"/data/sig.dat", "*out.*", 7, "/data/sigout.007"},
        {"/data/sig.dat", "*.txt", 0, "/data/sig.txt"},
        {"/data/sig.dat", "res_*", 0, "/data/res_sig"},
        {"/data/sig", "*out.*", 0, "/data/sigout"},
        {"/data/sig.dat", "/out/*.res", 0, "/data/sig.res"},
        {"/data/sig.dat", "/out.d/*", 0, "/data/sig"},
        {"/data/sig.dat", "*.*", -3, "/data/sig.dat"},
        {"/data/sig.dat", "a*b.x*y", 0, "/data/asigb.xdaty"},
        {"/data/sig.dat", "*", 999, "/data/sig.999"},
        {"/data/sig.dat", "*", 1000, ""},
        {"/data/sig.dat", "*", 32767, ""},
        {"/d.x/sig.tar.gz", "*.*", 0, "/d.x/sig.tar.gz"},
    };
    for (const Case& c : cases) {
        auto data = DiskData(DefaultFileSystem(), c.source, c.mask);
        EXPECT_EQ(data->TargetPath(c.exposure), c.path) << c.source << " " << c.mask << " " << c.exposure;
    }
}

TEST(data_disk_test, output_naming_the_source_is_refused_and_the_source_kept) {
    TempDir dir;
    WriteSamples(dir.File("sig.dat"), {11, 22, 33});
    fs::create_symlink(dir.File("sig.dat"), dir.File("link.dat"));
    fs::create_hard_link(dir.File("sig.dat"), dir.File("hard.dat"));
    const std::string before = ReadBytes(dir.File("sig.dat"));
    struct Case {
        std::string source;
        const char* mask;
    };
    const Case cases[] = {
        {dir.File("sig.dat"), "*.*"},      {dir.Path() + "./sig.dat", "*.*"},
        {dir.File("link.dat"), "sig.*"},  // the link's target
        {dir.File("sig.dat"), "link.dat"}, {dir.File("hard.dat"), "sig.dat"},
    };
    for (const Case& c : cases) {
        auto fileSystem = std::make_shared<FaultyFileSystem>();
        auto data = DiskData(fileSystem, c.source, c.mask);
        std::int32_t result = fftResultAllRight;
        data->Initialize(result);
        data->SaveSequence(SaveStore, Spectrum({1, 2, 3, 4}), 0, result);
        data->SaveSequence(SaveWrite, {}, 0, result);
        EXPECT_EQ(result, fftResultFileNameErr) << c.source << " " << c.mask;
        EXPECT_EQ(fileSystem->Calls(FsCall::DeleteFileForced), 0);
        EXPECT_EQ(ReadBytes(dir.File("sig.dat")), before);
        EXPECT_TRUE(fs::is_symlink(dir.File("link.dat")));
        EXPECT_EQ(test::FolderEntries(dir.Path()), (std::vector<std::string>{"hard.dat", "link.dat", "sig.dat"}));
        data->Terminate();
    }
}

TEST(data_disk_test, existing_output_is_replaced_even_when_read_only) {
    TempDir dir;
    WriteSamples(dir.File("sig.dat"), {1});
    WriteSamples(dir.File("sig.out"), Ramp(100, 50));
    ASSERT_EQ(::chmod(dir.File("sig.out").c_str(), 0444), 0);
    auto data = DiskData(DefaultFileSystem(), dir.File("sig.dat"), "*.out");
    std::int32_t result = fftResultAllRight;
    data->SaveSequence(SaveStore, Spectrum({7, 8}), 0, result);
    data->SaveSequence(SaveWrite, {}, 0, result);
    EXPECT_EQ(result, fftResultAllRight);
    EXPECT_EQ(ReadSamples(dir.File("sig.out")), (std::vector<std::int16_t>{7, 8}));
}

// Replacing an output never writes through to another file: a link is
// replaced by a file of its own, and a file with a second name keeps its
// old contents under that name.
TEST(data_disk_test, output_that_is_a_link_or_has_another_name_is_replaced_alone) {
    TempDir dir;
    WriteSamples(dir.File("sig.dat"), {1});
    WriteSamples(dir.File("other.dat"), {5, 5});
    fs::create_symlink(dir.File("other.dat"), dir.File("sig.out"));
    WriteSamples(dir.File("sig.res"), {6, 6});
    fs::create_hard_link(dir.File("sig.res"), dir.File("backup.res"));
    for (const char* mask : {"*.out", "*.res"}) {
        auto data = DiskData(DefaultFileSystem(), dir.File("sig.dat"), mask);
        std::int32_t result = fftResultAllRight;
        data->Initialize(result);
        data->SaveSequence(SaveStore, Spectrum({7, 8}), 0, result);
        data->SaveSequence(SaveWrite, {}, 0, result);
        EXPECT_EQ(result, fftResultAllRight) << mask;
        data->Terminate();
    }
    EXPECT_FALSE(fs::is_symlink(dir.File("sig.out")));
    EXPECT_EQ(ReadSamples(dir.File("sig.out")), (std::vector<std::int16_t>{7, 8}));
    EXPECT_EQ(ReadSamples(dir.File("other.dat")), (std::vector<std::int16_t>{5, 5}));
    EXPECT_EQ(ReadSamples(dir.File("sig.res")), (std::vector<std::int16_t>{7, 8}));
    EXPECT_EQ(ReadSamples(dir.File("backup.res")), (std::vector<std::int16_t>{6, 6}));
}

TEST(data_disk_test, target_failures_give_their_result_codes_and_leak_no_files) {
    TempDir dir;
    WriteSamples(dir.File("sig.dat"), {1});
    WriteSamples(dir.File("sig.out"), {9, 9, 9});
    struct Case {
        FsCall failing;
        std::int32_t expected;
    };
    // Whatever fails, the old output stays whole and no new file is left.
    const Case cases[] = {
        {FsCall::CreateOutput, fftResultFileSysErr},
        {FsCall::Write, fftResultTargetFull},
        {FsCall::Close, fftResultTargetFull},
        {FsCall::Rename, fftResultFileSysErr},
    };
    for (const Case& c : cases) {
        auto fileSystem = std::make_shared<FaultyFileSystem>();
        auto data = DiskData(fileSystem, dir.File("sig.dat"), "*.out");
        std::int32_t result = fftResultAllRight;
        data->Initialize(result);
        data->SaveSequence(SaveStore, Spectrum({1, 2}), 0, result);
        fileSystem->FailCall(c.failing);
        data->SaveSequence(SaveWrite, {}, 0, result);
        EXPECT_EQ(result, c.expected) << static_cast<int>(c.failing);
        EXPECT_EQ(fileSystem->OpenHandles(), 1);  // the source only
        EXPECT_EQ(ReadSamples(dir.File("sig.out")), (std::vector<std::int16_t>{9, 9, 9}));
        EXPECT_EQ(test::FolderEntries(dir.Path()), (std::vector<std::string>{"sig.dat", "sig.out"}));
        data->Terminate();
        EXPECT_EQ(fileSystem->OpenHandles(), 0);
        // The store was emptied by the failed write.
        result = fftResultAllRight;
        data->SaveSequence(SaveWrite, {}, 0, result);
        EXPECT_EQ(result, fftResultAllRight);
        EXPECT_EQ(fs::file_size(dir.File("sig.out")), 0u);
        WriteSamples(dir.File("sig.out"), {9, 9, 9});
    }
}

// Out of memory while a file is opened or an output set up: the result
// says so (not a file-system error), and nothing is left behind.
TEST(data_disk_test, a_file_that_cannot_get_memory_reports_out_of_memory) {
    class NoMemory : public FaultyFileSystem {
    public:
        bool failOpen = false;
        std::unique_ptr<InputFile> OpenRead(const std::string& path) override {
            if (failOpen) throw std::bad_alloc();
            return FaultyFileSystem::OpenRead(path);
        }
        std::unique_ptr<OutputFile> CreateOutput(const std::string&) override { throw std::bad_alloc(); }
    };
    TempDir dir;
    WriteSamples(dir.File("sig.dat"), {1});
    auto fileSystem = std::make_shared<NoMemory>();
    auto data = DiskData(fileSystem, dir.File("sig.dat"), "*.out");
    std::int32_t result = fftResultAllRight;
    data->Initialize(result);
    data->SaveSequence(SaveStore, Spectrum({1, 2}), 0, result);
    data->SaveSequence(SaveWrite, {}, 0, result);
    EXPECT_EQ(result, fftResultOutOfMemory);
    EXPECT_EQ(test::FolderEntries(dir.Path()), std::vector<std::string>{"sig.dat"});

    fileSystem->failOpen = true;
    result = fftResultAllRight;
    data->Initialize(result);
    EXPECT_EQ(result, fftResultOutOfMemory);
    EXPECT_EQ(fileSystem->OpenHandles(), 0);
}

// A source longer than a 32-bit position can reach is refused rather than
// read in part. The file is sparse: it takes no space.
TEST(data_disk_test, a_source_of_more_samples_than_positions_reach_is_refused) {
    TempDir dir;
    for (const auto& [name, bytes] : {std::pair{"limit.dat", std::uint64_t{MaxSourceSamples} * 2 + 1},
                                      std::pair{"over.dat", (std::uint64_t{MaxSourceSamples} + 1) * 2}}) {
        WriteBytes(dir.File(name), "");
        fs::resize_file(dir.File(name), bytes);
    }
    auto within = DiskData(DefaultFileSystem(), dir.File("limit.dat"), "*.out");
    std::int32_t result = fftResultAllRight;
    within->Initialize(result);
    EXPECT_EQ(result, fftResultAllRight);
    EXPECT_EQ(within->Length(), MaxSourceSamples);
    EXPECT_FALSE(within->SourceTooLong());

    auto over = DiskData(DefaultFileSystem(), dir.File("over.dat"), "*.out");
    over->Initialize(result);
    EXPECT_EQ(result, fftResultShortFile);
    EXPECT_TRUE(over->SourceTooLong());
    over->SetFormat(fftDataDiskFile);
    EXPECT_FALSE(over->SourceTooLong());
}

TEST(data_disk_test, terminate_drops_unwritten_results_and_closes_the_source) {
    TempDir dir;
    WriteSamples(dir.File("sig.dat"), {1, 2});
    auto fileSystem = std::make_shared<FaultyFileSystem>();
    {
        auto data = DiskData(fileSystem, dir.File("sig.dat"), "*.out");
        std::int32_t result = fftResultAllRight;
        data->Initialize(result);
        EXPECT_EQ(fileSystem->OpenHandles(), 1);
        data->SaveSequence(SaveStore, Spectrum({5}), 0, result);
        data->Terminate();
        EXPECT_EQ(fileSystem->OpenHandles(), 0);
        data->SaveSequence(SaveWrite, {}, 0, result);
        EXPECT_EQ(fs::file_size(dir.File("sig.out")), 0u);
        std::vector<double> samples(1);
        data->LoadSequence(samples, 1, result);
        EXPECT_EQ(result, fftResultFileSysErr);

        data->Initialize(result);  // left open: the destructor closes it
        EXPECT_EQ(fileSystem->OpenHandles(), 1);
    }
    EXPECT_EQ(fileSystem->OpenHandles(), 0);
}

TEST(data_disk_test, set_source_reopens_an_open_source_and_set_format_clears_everything) {
    TempDir dir;
    WriteSamples(dir.File("a.dat"), {1, 2});
    WriteSamples(dir.File("b.dat"), {7, 8, 9});
    auto fileSystem = std::make_shared<FaultyFileSystem>();
    auto data = DiskData(fileSystem, dir.File("a.dat"), "*.out");
    std::int32_t result = fftResultAllRight;
    data->Initialize(result);
    data->SetSource(Variant(dir.File("b.dat")));
    EXPECT_EQ(data->Length(), 3);
    EXPECT_EQ(fileSystem->OpenHandles(), 1);
    std::vector<double> samples(3);
    data->LoadSequence(samples, 1, result);
    EXPECT_EQ(samples, (std::vector<double>{7, 8, 9}));
    EXPECT_EQ(result, fftResultAllRight);

    data->SaveSequence(SaveStore, Spectrum({5}), 0, result);
    data->SetFormat(fftDataDiskFile);
    EXPECT_EQ(data->Format(), fftDataDiskFile);
    EXPECT_EQ(data->Length(), 0);
    EXPECT_EQ(data->TargetLength(), 0);
    EXPECT_EQ(data->GetSource(), Variant(""));
    EXPECT_EQ(data->GetTarget(), Variant(""));
    EXPECT_EQ(fileSystem->OpenHandles(), 0);
    data->LoadSequence(samples, 1, result);
    EXPECT_EQ(result, fftResultFileSysErr);

    data->SetFormat(fftDataExcelRange);
    EXPECT_EQ(data->GetSource(), Variant::Nothing());
    EXPECT_EQ(data->GetTarget(), Variant::Nothing());
}

TEST(data_disk_test, unknown_format_reports_failures_instead_of_success) {
    TempDir dir;
    WriteSamples(dir.File("sig.dat"), {1});
    auto data = DiskData(DefaultFileSystem(), dir.File("sig.dat"), "*.out");
    data->SetFormat(7);
    EXPECT_EQ(data->Format(), 7);
    EXPECT_EQ(data->GetSource(), Variant(dir.File("sig.dat")));
    EXPECT_EQ(data->Length(), 0);
    std::int32_t result = fftResultAllRight;
    data->Initialize(result);
    EXPECT_EQ(result, fftResultFileSysErr);
    result = fftResultAllRight;
    data->SaveSequence(SaveStore, Spectrum({1}), 0, result);
    data->SaveSequence(SaveWrite, {}, 0, result);
    EXPECT_EQ(result, fftResultFileSysErr);
    EXPECT_FALSE(fs::exists(dir.File("sig.out")));
}

}  // namespace
}  // namespace tavox

namespace tavox {
namespace {

OutputOptions Options(OutputFormat format) {
    OutputOptions options;
    options.format = format;
    return options;
}

TEST(data_disk_test, output_options_choose_the_format_and_the_outputs_written_are_listed) {
    TempDir dir;
    WriteSamples(dir.File("sig.dat"), {1});
    auto data = DiskData(DefaultFileSystem(), dir.File("sig.dat"), "*.csv");
    data->SetOutputOptions(Options(OutputFormat::Csv));
    std::int32_t result = fftResultAllRight;
    data->Initialize(result);
    data->SaveSequence(SaveStore, Spectrum({7.25, 8.5}), 0, result);
    data->SaveSequence(SaveStore, Spectrum({90, -45}), 0, result);
    data->SaveSequence(SaveWrite, {}, 0, result);
    EXPECT_EQ(result, fftResultAllRight);
    EXPECT_EQ(ReadBytes(dir.File("sig.csv")), "bin,magnitude,phase_deg\n0,7.25,90\n1,8.5,-45\n");
    EXPECT_EQ(data->WrittenOutputs(), std::vector<std::string>{dir.File("sig.csv")});

    // Numbered outputs, kept across SetFormat; a new transform starts a new list.
    data->SetFormat(fftDataDiskFile);
    EXPECT_EQ(data->GetOutputOptions().format, OutputFormat::Csv);
    data->SetSource(Variant(dir.File("sig.dat")));
    data->SetTarget(Variant("m_*.npy"));
    data->SetOutputOptions(Options(OutputFormat::Npy));
    data->Initialize(result);
    EXPECT_TRUE(data->WrittenOutputs().empty());
    for (std::int16_t k = 1; k <= 3; ++k) {
        data->SaveSequence(SaveStore, Spectrum({1.0 * k}), k, result);
        data->SaveSequence(SaveWrite, {}, k, result);
    }
    EXPECT_EQ(data->WrittenOutputs(),
              (std::vector<std::string>{dir.File("m_sig.001"), dir.File("m_sig.002"), dir.File("m_sig.003")}));
    EXPECT_EQ(ReadBytes(dir.File("m_sig.002")).size(), 128u + 8u);
    data->Terminate();
}

TEST(data_disk_test, every_format_replaces_a_link_alone_and_a_failed_output_is_not_listed) {
    TempDir dir;
    WriteSamples(dir.File("sig.dat"), {1});
    WriteSamples(dir.File("other.dat"), {5, 5});
    for (const OutputFormat format : {OutputFormat::Csv, OutputFormat::F32, OutputFormat::Npy}) {
        fs::remove(dir.File("sig.out"));
        fs::create_symlink(dir.File("other.dat"), dir.File("sig.out"));
        auto fileSystem = std::make_shared<FaultyFileSystem>();
        auto data = DiskData(fileSystem, dir.File("sig.dat"), "*.out");
        data->SetOutputOptions(Options(format));
        std::int32_t result = fftResultAllRight;
        data->Initialize(result);
        data->SaveSequence(SaveStore, Spectrum({7, 8}), 0, result);
        data->SaveSequence(SaveWrite, {}, 0, result);
        EXPECT_EQ(result, fftResultAllRight);
        EXPECT_FALSE(fs::is_symlink(dir.File("sig.out")));
        EXPECT_EQ(ReadSamples(dir.File("other.dat")), (std::vector<std::int16_t>{5, 5}));
        EXPECT_EQ(data->WrittenOutputs().size(), 1u);

        data->Initialize(result);
        data->SaveSequence(SaveStore, Spectrum({7, 8}), 0, result);
        fileSystem->FailCall(FsCall::Close);
        data->SaveSequence(SaveWrite, {}, 0, result);
        EXPECT_EQ(result, fftResultTargetFull);
        EXPECT_TRUE(data->WrittenOutputs().empty());
        data->Terminate();
    }
}

}  // namespace
}  // namespace tavox

namespace tavox {
namespace {

// What an observer of the outputs was told.
class RecordingObserver : public SpectrumObserver {
public:
    struct Seen {
        std::string output;
        std::string source;
        std::vector<double> values;
        std::size_t bins, rows, width;
        std::int16_t exposure;
        std::int32_t combined;
    };
    void Written(const WrittenSpectrum& s) noexcept override {
        seen.push_back({std::string(s.output),
                        std::string(s.source),
                        {s.values.begin(), s.values.end()},
                        s.bins,
                        s.rows,
                        s.width,
                        s.exposure,
                        s.combined});
    }
    std::vector<Seen> seen;
};

// The observer sees each output written in full, with the unrounded values
// the file was written from, its layout and how many exposures it combines.
TEST(data_disk_test, an_observer_hears_of_every_output_written_with_its_unrounded_values) {
    TempDir dir;
    WriteSamples(dir.File("sig.dat"), {1});
    auto observer = std::make_shared<RecordingObserver>();
    OutputOptions options;
    options.observer = observer;
    auto data = DiskData(DefaultFileSystem(), dir.File("sig.dat"), "*.out");
    data->SetOutputOptions(options);
    std::int32_t result = fftResultAllRight;
    data->Initialize(result);

    data->SaveSequence(SaveStore, Spectrum({7.25, 8.5}), 0, result);
    data->SaveSequence(SaveStore, Spectrum({90.4, -45}), 0, result);
    data->SaveSequence(SaveWrite, {}, 0, result);
    ASSERT_EQ(observer->seen.size(), 1u);
    const auto& simple = observer->seen[0];
    EXPECT_EQ(simple.output, dir.File("sig.out"));
    EXPECT_EQ(simple.source, dir.File("sig.dat"));
    EXPECT_EQ(simple.values, (std::vector<double>{7.25, 8.5, 90.4, -45}));
    EXPECT_EQ(ReadSamples(dir.File("sig.out")), (std::vector<std::int16_t>{7, 8, 90, -45}));
    EXPECT_EQ(std::tie(simple.bins, simple.rows, simple.width), std::make_tuple(2u, 2u, 4u));
    EXPECT_EQ(simple.combined, 1);

    for (const double v : {3.0, 6.0, 9.0}) data->SaveSequence(SaveAdd, Spectrum({v, 2 * v}), 0, result);
    data->SaveSequence(SaveAverage, {}, 0, result);
    data->SaveSequence(SaveWrite, {}, 0, result);
    ASSERT_EQ(observer->seen.size(), 2u);
    EXPECT_EQ(observer->seen[1].values, (std::vector<double>{6, 12}));
    EXPECT_EQ(observer->seen[1].combined, 3);
    EXPECT_EQ(observer->seen[1].rows, 1u);

    data->SaveSequence(SaveStore, Spectrum({1.5}), 2, result);
    data->SaveSequence(SaveWrite, {}, 2, result);
    ASSERT_EQ(observer->seen.size(), 3u);
    EXPECT_EQ(observer->seen[2].output, dir.File("sig.002"));
    EXPECT_EQ(observer->seen[2].exposure, 2);
    EXPECT_EQ(observer->seen[2].combined, 1);
    EXPECT_EQ(result, fftResultAllRight);

    // An output that is not written is not told of.
    data->SetTarget(Variant("*.dat"));
    data->SaveSequence(SaveStore, Spectrum({1.5}), 0, result);
    data->SaveSequence(SaveWrite, {}, 0, result);
    EXPECT_EQ(result, fftResultFileNameErr);
    EXPECT_EQ(observer->seen.size(), 3u);
    data->Terminate();
}

}  // namespace
}  // namespace tavox
