#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Files.h"
#include "data/BatchShare.h"
#include "data/FileSystem.h"
#include "engine/File.h"
#include "engine/Parameters.h"
#include "support/TestSupport.h"

namespace tavox {
namespace {

TEST(batch_share_test, shares_cover_every_position_once_in_order_and_evenly) {
    for (std::size_t total : {0u, 1u, 2u, 7u, 10u, 99u, 1000u}) {
        for (std::int32_t count : {1, 2, 3, 4, 7, 16, 1000}) {
            std::size_t next = 0;
            std::size_t smallest = total;
            std::size_t largest = 0;
            for (std::int32_t index = 0; index < count; ++index) {
                const BatchShare share{index, count};
                ASSERT_EQ(share.Begin(total), next) << total << " " << index << "/" << count;
                ASSERT_LE(share.Begin(total), share.End(total));
                const std::size_t size = share.End(total) - share.Begin(total);
                smallest = std::min(smallest, size);
                largest = std::max(largest, size);
                next = share.End(total);
            }
            EXPECT_EQ(next, total) << total << " in " << count;
            EXPECT_LE(largest - smallest, 1u) << total << " in " << count;
        }
    }
}

TEST(batch_share_test, reads_k_of_n_counting_from_0_or_1) {
    EXPECT_EQ(ParseBatchShare("0/4"), (BatchShare{0, 4}));
    EXPECT_EQ(ParseBatchShare("3/4"), (BatchShare{3, 4}));
    EXPECT_EQ(ParseBatchShare("4/4"), (BatchShare{0, 4}));  // job arrays numbered 1..N
    EXPECT_EQ(ParseBatchShare("0/1"), (BatchShare{0, 1}));
    EXPECT_EQ(ParseBatchShare("1/1"), (BatchShare{0, 1}));
    EXPECT_EQ(ParseBatchShare("99999/100000"), (BatchShare{99999, 100000}));
    for (const char* text : {"", "1", "/", "1/", "/4", "5/4", "0/0", "-1/4", "+1/4", "1/4/2", "a/4", "1 /4", "1/4 ",
                             "0x1/4", "1/100001", "1.0/4", "9999999/9999999"}) {
        EXPECT_FALSE(ParseBatchShare(text)) << text;
    }
    EXPECT_EQ(ShareText({2, 5}), "2/5");
}

TEST(batch_share_test, files_keep_the_share_of_a_mask_in_name_order) {
    test::TempDir dir;
    const std::vector<std::string> names = {"a.dat", "b.dat", "c.dat", "d.dat", "e.dat"};
    for (const auto& name : names) test::WriteSamples(dir.File(name), {1, 2});
    std::vector<std::string> seen;
    for (std::int32_t index = 0; index < 3; ++index) {
        Files files(DefaultFileSystem());
        files.SetParameters(std::make_shared<Parameters>());
        files.SetShare({index, 3});
        Variant source(dir.File("*.dat"));
        Variant target(std::string("*out.*"));
        files.Add(fftDataDiskFile, source, target);
        for (const auto& file : files.Items()) seen.push_back(file->Name());
        EXPECT_EQ(files.Share(), (BatchShare{index, 3}));
    }
    EXPECT_EQ(seen, names);

    Files one(DefaultFileSystem());
    one.SetParameters(std::make_shared<Parameters>());
    one.SetShare({1, 3});
    Variant source(dir.File("*.dat"));
    Variant target(std::string("*out.*"));
    one.Add(fftDataDiskFile, source, target);
    ASSERT_EQ(one.Count(), 2);
    EXPECT_EQ(one.Items()[0]->Name(), "b.dat");
    EXPECT_EQ(one.Items()[1]->Name(), "c.dat");
}

}  // namespace
}  // namespace tavox
