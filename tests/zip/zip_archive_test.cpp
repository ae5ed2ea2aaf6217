#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <string>
#include <vector>

#include "data/FileSystem.h"
#include "support/TestSupport.h"
#include "zip/ZipArchive.h"

namespace tavox {
namespace {

std::span<const std::byte> Bytes(std::string_view text) {
    return std::as_bytes(std::span<const char>(text.data(), text.size()));
}

std::uint64_t Field(std::string_view bytes, std::size_t at, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t b = 0; b < size; ++b) value |= std::uint64_t{static_cast<unsigned char>(bytes[at + b])} << (8 * b);
    return value;
}

// Keeps the bytes written below `head` and from `tail` on, and the size;
// what lies between is counted only.
class SparseOutput final : public OutputFile {
public:
    SparseOutput(std::uint64_t head, std::uint64_t tail) : head_(head), tail_(tail) {}
    void Write(std::span<const std::byte> bytes) override { WriteAt(size, bytes); }
    void WriteAt(std::uint64_t offset, std::span<const std::byte> bytes) override {
        const std::uint64_t last = offset + bytes.size();
        const auto text = [&](std::uint64_t from, std::uint64_t to) {
            return std::string_view(reinterpret_cast<const char*>(bytes.data()) + (from - offset), to - from);
        };
        if (offset < head_) Place(kept, offset, text(offset, std::min(last, head_)));
        if (last > tail_) Place(end, std::max(offset, tail_) - tail_, text(std::max(offset, tail_), last));
        size = std::max(size, last);
    }
    bool Finish() override { return true; }
    CommitResult Commit(const std::optional<FileIdentity>&) override { return CommitResult::Replaced; }

    std::uint64_t size = 0;
    std::string kept;
    std::string end;

private:
    static void Place(std::string& into, std::uint64_t at, std::string_view text) {
        if (into.size() < at + text.size()) into.resize(at + text.size());
        into.replace(at, text.size(), text);
    }

    std::uint64_t head_;
    std::uint64_t tail_;
};

TEST(zip_archive_test, members_read_back_whole_and_a_damaged_member_is_refused) {
    test::TempDir dir;
    std::string archive;
    {
        SparseOutput out(1 << 20, ~std::uint64_t{0});
        auto writer = MakeZipArchiveWriter(out);
        ASSERT_TRUE(writer);
        const std::string big(300000, 'b');
        EXPECT_TRUE(writer->BeginMember("a.npy", 5) && writer->Write(Bytes("alpha")) && writer->EndMember());
        EXPECT_TRUE(writer->BeginMember("b.npy", big.size()) && writer->Write(Bytes(big.substr(0, 7))) &&
                    writer->Write(Bytes(big.substr(7))) && writer->EndMember());
        EXPECT_TRUE(writer->Close());
        archive = out.kept;
    }
    test::WriteBytes(dir.File("a.npz"), archive);
    std::string error;
    const auto members = ReadZipMembers(dir.File("a.npz"), 1 << 20, error);
    ASSERT_TRUE(members) << error;
    EXPECT_EQ(*members, (std::map<std::string, std::string>{{"a.npy", "alpha"}, {"b.npy", std::string(300000, 'b')}}));
    EXPECT_FALSE(ReadZipMembers(dir.File("a.npz"), 300004, error));

    std::string damaged = archive;
    damaged[damaged.find("alpha")] = 'A';
    test::WriteBytes(dir.File("d.npz"), damaged);
    EXPECT_FALSE(ReadZipMembers(dir.File("d.npz"), 1 << 20, error));
    EXPECT_EQ(error, "holds the member a.npy, which cannot be read whole (a damaged archive)");
    test::WriteBytes(dir.File("x.npz"), "no archive");
    EXPECT_FALSE(ReadZipMembers(dir.File("x.npz"), 1 << 20, error));
}

// The CRC-32 of `length` zero bytes, from zlib's combination of halves.
uLong ZerosCrc(std::uint64_t length) {
    const Bytef zero = 0;
    uLong crc = 0;
    uLong power = crc32(0, &zero, 1);  // of 2^k zeros
    for (std::uint64_t k = 1; length > 0; k <<= 1, length >>= 1) {
        if (length & 1) crc = crc32_combine(crc, power, static_cast<z_off_t>(k));
        power = crc32_combine(power, power, static_cast<z_off_t>(k));
    }
    return crc;
}

// A member of 4 GiB and more, and one that begins beyond 4 GiB, take the
// ZIP64 fields, and so does the end of the archive.
TEST(zip_archive_test, a_member_of_4_gib_and_more_takes_zip64_fields) {
    constexpr std::uint64_t Big = (std::uint64_t{1} << 32) + 10;
    SparseOutput out(4096, std::uint64_t{1} << 32);
    auto writer = MakeZipArchiveWriter(out);
    ASSERT_TRUE(writer);
    ASSERT_TRUE(writer->BeginMember("S.npy", Big));
    const std::string zeros(std::size_t{64} << 20, '\0');
    for (std::uint64_t done = 0; done < Big; done += zeros.size()) {
        ASSERT_TRUE(
            writer->Write(Bytes(std::string_view(zeros).substr(0, std::min<std::uint64_t>(zeros.size(), Big - done)))));
    }
    ASSERT_TRUE(writer->EndMember());
    ASSERT_TRUE(writer->BeginMember("f.npy", 3) && writer->Write(Bytes("end")) && writer->EndMember());
    ASSERT_TRUE(writer->Close());

    // The local header of S: version 4.5, its sizes in a ZIP64 extra field.
    const std::string& head = out.kept;
    ASSERT_EQ(Field(head, 0, 4), 0x04034b50u);
    EXPECT_EQ(Field(head, 4, 2), 45u);
    EXPECT_EQ(Field(head, 8, 2), 0u);  // stored
    EXPECT_EQ(Field(head, 14, 4), ZerosCrc(Big));
    EXPECT_EQ(Field(head, 18, 4), 0xFFFFFFFFu);
    const std::size_t nameLength = Field(head, 26, 2);
    ASSERT_EQ(head.substr(30, nameLength), "S.npy");
    const std::size_t extra = 30 + nameLength;
    ASSERT_EQ(Field(head, extra, 2), 1u);
    EXPECT_EQ(Field(head, extra + 4, 8), Big);
    EXPECT_EQ(Field(head, extra + 12, 8), Big);

    // The end: the ZIP64 end record, its locator and the classic end record.
    const std::string& tail = out.end;
    const std::uint64_t tailStart = std::uint64_t{1} << 32;
    ASSERT_EQ(out.size, tailStart + tail.size());
    const std::size_t endRecord = tail.size() - 22;
    ASSERT_EQ(Field(tail, endRecord, 4), 0x06054b50u);
    EXPECT_EQ(Field(tail, endRecord + 16, 4), 0xFFFFFFFFu);
    const std::size_t locator = endRecord - 20;
    ASSERT_EQ(Field(tail, locator, 4), 0x07064b50u);
    const std::uint64_t zip64End = Field(tail, locator + 8, 8);
    ASSERT_GE(zip64End, tailStart);
    const std::size_t record = zip64End - tailStart;
    ASSERT_EQ(Field(tail, record, 4), 0x06064b50u);
    EXPECT_EQ(Field(tail, record + 32, 8), 2u);  // entries
    const std::uint64_t directory = Field(tail, record + 48, 8);
    ASSERT_GT(directory, tailStart);

    // Both central entries: S with its sizes, f with its offset, in ZIP64 fields.
    std::size_t entry = directory - tailStart;
    std::vector<std::string> names;
    for (int k = 0; k < 2; ++k) {
        ASSERT_EQ(Field(tail, entry, 4), 0x02014b50u);
        const std::size_t length = Field(tail, entry + 28, 2);
        const std::size_t extraLength = Field(tail, entry + 30, 2);
        names.push_back(tail.substr(entry + 46, length));
        const std::size_t field = entry + 46 + length;
        ASSERT_EQ(Field(tail, field, 2), 1u) << names.back();
        if (k == 0) {
            EXPECT_EQ(Field(tail, entry + 16, 4), ZerosCrc(Big));
            EXPECT_EQ(Field(tail, field + 4, 8), Big);
        } else {
            EXPECT_EQ(Field(tail, entry + 42, 4), 0xFFFFFFFFu);
            EXPECT_GT(Field(tail, field + 4 + 8 * (Field(tail, field + 2, 2) / 8 - 1), 8), tailStart);
        }
        entry += 46 + length + extraLength + Field(tail, entry + 32, 2);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"S.npy", "f.npy"}));
}

}  // namespace
}  // namespace tavox
