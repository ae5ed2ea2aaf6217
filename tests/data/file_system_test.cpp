#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "data/FileSystem.h"
#include "support/TestSupport.h"

namespace tavox {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;
namespace fs = std::filesystem;

std::vector<std::byte> Bytes(const std::string& text) {
    std::vector<std::byte> bytes;
    for (char c : text) bytes.push_back(static_cast<std::byte>(c));
    return bytes;
}

std::string Text(std::span<const std::byte> bytes) {
    std::string text;
    for (std::byte b : bytes) text.push_back(static_cast<char>(b));
    return text;
}

TEST(file_system_test, list_gives_sorted_visible_regular_files_and_links_to_them) {
    TempDir dir;
    for (const char* name : {"b.dat", "a.dat", ".hidden.dat", "a.txt", "Z.dat"}) WriteBytes(dir.File(name), "x");
    fs::create_directory(dir.File("folder.dat"));
    fs::create_symlink(dir.File("a.dat"), dir.File("link.dat"));
    fs::create_symlink(dir.File("missing"), dir.File("dangling.dat"));
    fs::create_symlink(dir.File("folder.dat"), dir.File("tofolder.dat"));

    auto fileSystem = DefaultFileSystem();
    EXPECT_EQ(fileSystem->List(dir.Path(), "*.dat"), (std::vector<std::string>{"Z.dat", "a.dat", "b.dat", "link.dat"}));
    EXPECT_EQ(fileSystem->List(dir.Path(), "?.txt"), (std::vector<std::string>{"a.txt"}));
    EXPECT_EQ(fileSystem->List(dir.Path(), "*"),
              (std::vector<std::string>{"Z.dat", "a.dat", "a.txt", "b.dat", "link.dat"}));
    EXPECT_TRUE(fileSystem->List(dir.Path(), "*.none").empty());
    EXPECT_TRUE(fileSystem->List(dir.File("no-such-folder"), "*").empty());
    EXPECT_TRUE(fileSystem->List(dir.File("a.dat"), "*").empty());
}

TEST(file_system_test, size_and_existence_only_for_regular_files) {
    TempDir dir;
    WriteBytes(dir.File("seven"), "1234567");
    WriteBytes(dir.File("empty"), "");
    fs::create_directory(dir.File("folder"));
    fs::create_symlink(dir.File("seven"), dir.File("link"));

    auto fileSystem = DefaultFileSystem();
    EXPECT_EQ(fileSystem->FileSize(dir.File("seven")), 7u);
    EXPECT_EQ(fileSystem->FileSize(dir.File("empty")), 0u);
    EXPECT_EQ(fileSystem->FileSize(dir.File("link")), 7u);
    EXPECT_FALSE(fileSystem->FileSize(dir.File("folder")).has_value());
    EXPECT_FALSE(fileSystem->FileSize(dir.File("missing")).has_value());

    EXPECT_TRUE(fileSystem->FileExists(dir.File("seven")));
    EXPECT_TRUE(fileSystem->FileExists(dir.File("link")));
    EXPECT_FALSE(fileSystem->FileExists(dir.File("folder")));
    EXPECT_FALSE(fileSystem->FileExists(dir.File("missing")));
}

TEST(file_system_test, forced_delete_removes_read_only_files_and_reports_failure) {
    TempDir dir;
    WriteBytes(dir.File("ro"), "data");
    ASSERT_EQ(::chmod(dir.File("ro").c_str(), 0444), 0);
    auto fileSystem = DefaultFileSystem();
    EXPECT_TRUE(fileSystem->DeleteFileForced(dir.File("ro")));
    EXPECT_FALSE(fs::exists(dir.File("ro")));
    EXPECT_FALSE(fileSystem->DeleteFileForced(dir.File("ro")));
    fs::create_directory(dir.File("folder"));
    EXPECT_FALSE(fileSystem->DeleteFileForced(dir.File("folder")));
    EXPECT_TRUE(fs::is_directory(dir.File("folder")));
}

TEST(file_system_test, positioned_reads_stop_short_at_the_end) {
    TempDir dir;
    WriteBytes(dir.File("f"), "0123456");
    auto fileSystem = DefaultFileSystem();
    auto file = fileSystem->OpenRead(dir.File("f"));
    ASSERT_TRUE(file);
    std::vector<std::byte> buffer(4);
    EXPECT_EQ(file->ReadAt(2, buffer), 4u);
    EXPECT_EQ(Text(buffer), "2345");
    EXPECT_EQ(file->ReadAt(5, buffer), 2u);
    EXPECT_EQ(Text(std::span(buffer).first(2)), "56");
    EXPECT_EQ(file->ReadAt(7, buffer), 0u);
    EXPECT_EQ(file->ReadAt(std::uint64_t{1} << 40, buffer), 0u);
    EXPECT_EQ(file->ReadAt(~std::uint64_t{0} - 1, buffer), 0u);

    EXPECT_FALSE(fileSystem->OpenRead(dir.File("missing")));
    EXPECT_FALSE(fileSystem->OpenRead(dir.Path()));
}

TEST(file_system_test, writes_are_buffered_and_complete_at_close) {
    TempDir dir;
    WriteBytes(dir.File("out"), std::string(1000, 'o'));
    auto fileSystem = DefaultFileSystem();
    auto file = fileSystem->OpenWrite(dir.File("out"));
    ASSERT_TRUE(file);
    // More than one buffer's worth, in uneven pieces.
    std::string expected;
    for (int piece = 0; piece < 7; ++piece) {
        const std::string text(100000 + piece, static_cast<char>('a' + piece));
        file->Write(Bytes(text));
        expected += text;
    }
    EXPECT_TRUE(file->Close());
    EXPECT_EQ(ReadBytes(dir.File("out")), expected);

    auto empty = fileSystem->OpenWrite(dir.File("out"));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->Close());
    EXPECT_EQ(fs::file_size(dir.File("out")), 0u);

    EXPECT_FALSE(fileSystem->OpenWrite(dir.File("no-such-folder/out")));
}

TEST(file_system_test, a_write_that_cannot_be_completed_fails_the_close) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    auto file = DefaultFileSystem()->OpenWrite("/dev/full");
    ASSERT_TRUE(file);
    file->Write(Bytes(std::string(10, 'x')));
    EXPECT_FALSE(file->Close());
}

TEST(file_system_test, mount_point_and_free_space_of_existing_and_missing_paths) {
    TempDir dir;
    auto fileSystem = DefaultFileSystem();
    EXPECT_EQ(fileSystem->MountPoint("/"), "/");
    const std::string mount = fileSystem->MountPoint(dir.Path());
    ASSERT_FALSE(mount.empty());
    const std::string canonical = fs::canonical(dir.Path()).string();
    EXPECT_EQ(canonical.compare(0, mount.size(), mount), 0) << mount << " vs " << canonical;
    EXPECT_EQ(fileSystem->MountPoint(dir.File("missing/deeper/file")), mount);
    if (fs::exists("/proc/self")) {
        EXPECT_EQ(fileSystem->MountPoint("/proc/self/status"), "/proc");
    }

    const auto space = fileSystem->FreeSpace(dir.Path());
    const auto spaceOfMissing = fileSystem->FreeSpace(dir.File("missing/file"));
    ASSERT_TRUE(space.has_value());
    ASSERT_TRUE(spaceOfMissing.has_value());
    // Other processes write meanwhile: the same file system within 1 GiB.
    const auto near = [](std::uint64_t a, std::uint64_t b) { return (a > b ? a - b : b - a) < (1ull << 30); };
    EXPECT_TRUE(near(*space, *spaceOfMissing));
    EXPECT_TRUE(near(*space, fs::space(dir.Path()).available));
    EXPECT_GT(*space, 0u);
}

TEST(file_system_test, same_file_sees_through_links_and_spellings) {
    TempDir dir;
    WriteBytes(dir.File("sig.dat"), "x");
    WriteBytes(dir.File("other.dat"), "x");
    fs::create_directory(dir.File("sub"));
    fs::create_symlink(dir.File("sig.dat"), dir.File("soft.dat"));
    fs::create_hard_link(dir.File("sig.dat"), dir.File("hard.dat"));
    fs::create_directory_symlink(dir.Path(), dir.File("alias"));

    auto fileSystem = DefaultFileSystem();
    const std::string sig = dir.File("sig.dat");
    EXPECT_TRUE(fileSystem->SameFile(sig, sig));
    EXPECT_TRUE(fileSystem->SameFile(dir.Path() + "./sig.dat", sig));
    EXPECT_TRUE(fileSystem->SameFile(dir.Path() + "sub/../sig.dat", sig));
    EXPECT_TRUE(fileSystem->SameFile(dir.File("soft.dat"), sig));
    EXPECT_TRUE(fileSystem->SameFile(dir.File("hard.dat"), sig));
    EXPECT_FALSE(fileSystem->SameFile(dir.File("other.dat"), sig));
    // Files that do not exist yet compare by their resolved paths.
    EXPECT_TRUE(fileSystem->SameFile(dir.Path() + "alias/new.dat", dir.Path() + "sub/../new.dat"));
    EXPECT_FALSE(fileSystem->SameFile(dir.File("new.dat"), dir.File("New.dat")));
    EXPECT_FALSE(fileSystem->SameFile(dir.File("new.dat"), sig));
}

}  // namespace
}  // namespace tavox

namespace tavox {
namespace {

TEST(file_system_test, inspect_follows_links_and_tells_names_and_identity_of_what_a_path_names) {
    TempDir dir;
    WriteBytes(dir.File("sig.dat"), "x");
    fs::create_symlink(dir.File("sig.dat"), dir.File("soft.dat"));
    fs::create_symlink(dir.File("gone.dat"), dir.File("dangling.dat"));
    fs::create_hard_link(dir.File("sig.dat"), dir.File("hard.dat"));
    fs::create_directory(dir.File("sub"));
    auto fileSystem = DefaultFileSystem();

    const auto missing = fileSystem->Inspect(dir.File("none.dat"));
    ASSERT_TRUE(missing);
    EXPECT_FALSE(missing->exists);
    EXPECT_TRUE(fileSystem->Inspect(dir.File("none/deeper.dat")));

    const auto sig = fileSystem->Inspect(dir.File("sig.dat"));
    ASSERT_TRUE(sig && sig->identity);
    EXPECT_TRUE(sig->exists && sig->regular);
    EXPECT_EQ(sig->names, 2u);
    const auto soft = fileSystem->Inspect(dir.File("soft.dat"));
    ASSERT_TRUE(soft && soft->identity);
    EXPECT_TRUE(soft->exists && soft->regular);
    EXPECT_EQ(*soft->identity, *sig->identity);
    const auto dangling = fileSystem->Inspect(dir.File("dangling.dat"));
    ASSERT_TRUE(dangling);
    EXPECT_TRUE(dangling->exists && !dangling->identity && !dangling->regular);
    EXPECT_FALSE(fileSystem->Inspect(dir.File("sub"))->regular);

    // The open file knows its own length and identity.
    const auto input = fileSystem->OpenRead(dir.File("hard.dat"));
    ASSERT_TRUE(input);
    EXPECT_EQ(input->Size(), std::optional<std::uint64_t>(1));
    EXPECT_EQ(input->Identity(), sig->identity);
}

// Only a plain file with one name other than the kept one is opened; the
// others are left untouched, and what was learnt of them is told.
TEST(file_system_test, rewrite_opens_only_a_plain_single_name_file_other_than_the_kept_one) {
    TempDir dir;
    WriteBytes(dir.File("old.out"), "old contents");
    WriteBytes(dir.File("twice.out"), "two names");
    WriteBytes(dir.File("kept.dat"), "source");
    fs::create_symlink(dir.File("old.out"), dir.File("link.out"));
    fs::create_hard_link(dir.File("twice.out"), dir.File("twice.bak"));
    auto fileSystem = DefaultFileSystem();
    const std::optional<FileIdentity> kept = fileSystem->Inspect(dir.File("kept.dat"))->identity;
    ASSERT_TRUE(kept);

    Rewrite missing = fileSystem->OpenRewrite(dir.File("missing.out"), kept);
    EXPECT_FALSE(missing.file);
    ASSERT_TRUE(missing.status);
    EXPECT_FALSE(missing.status->exists);
    EXPECT_FALSE(fileSystem->Inspect(dir.File("missing.out"))->exists);  // nothing was created

    Rewrite link = fileSystem->OpenRewrite(dir.File("link.out"), kept);
    EXPECT_FALSE(link.file);
    EXPECT_FALSE(link.status);  // left to Inspect

    Rewrite twice = fileSystem->OpenRewrite(dir.File("twice.out"), kept);
    EXPECT_FALSE(twice.file);
    ASSERT_TRUE(twice.status);
    EXPECT_EQ(twice.status->names, 2u);

    Rewrite source = fileSystem->OpenRewrite(dir.File("kept.dat"), kept);
    EXPECT_FALSE(source.file);
    ASSERT_TRUE(source.status);
    EXPECT_EQ(source.status->identity, kept);
    EXPECT_FALSE(fileSystem->OpenRewrite(dir.File("old.out"), std::nullopt).file);
    EXPECT_EQ(ReadBytes(dir.File("kept.dat")), "source");
    EXPECT_EQ(ReadBytes(dir.File("twice.out")), "two names");

    // Written from the start; the old bytes past the new ones are cut.
    Rewrite old = fileSystem->OpenRewrite(dir.File("old.out"), kept);
    ASSERT_TRUE(old.file);
    const std::string bytes = "new";
    old.file->Write(std::as_bytes(std::span(bytes)));
    EXPECT_TRUE(old.file->Close());
    EXPECT_EQ(ReadBytes(dir.File("old.out")), "new");
}

TEST(file_system_test, small_file_reads_are_capped_and_tell_a_missing_file_from_an_unreadable_one) {
    TempDir dir;
    WriteBytes(dir.File("ten"), "0123456789");
    fs::create_symlink(dir.File("ten"), dir.File("link"));
    fs::create_symlink(dir.File("gone"), dir.File("dangling"));
    fs::create_directory(dir.File("folder"));
    auto fileSystem = DefaultFileSystem();
    EXPECT_EQ(fileSystem->ReadSmallFile(dir.File("ten"), 100), "0123456789");
    EXPECT_EQ(fileSystem->ReadSmallFile(dir.File("ten"), 4), "0123");
    EXPECT_EQ(fileSystem->ReadSmallFile(dir.File("link"), 100), "0123456789");
    EXPECT_EQ(fileSystem->ReadSmallFile(dir.File("missing"), 100), "");
    EXPECT_EQ(fileSystem->ReadSmallFile(dir.File("dangling"), 100), "");
    EXPECT_EQ(fileSystem->ReadSmallFile(dir.File("ten/below"), 100), "");
    EXPECT_FALSE(fileSystem->ReadSmallFile(dir.File("folder"), 100).has_value());
}

TEST(file_system_test, replacing_a_file_follows_links_keeps_permissions_and_leaves_no_temporary) {
    TempDir dir;
    WriteBytes(dir.File("real.ini"), "old contents");
    ASSERT_EQ(::chmod(dir.File("real.ini").c_str(), 0640), 0);
    fs::create_symlink(dir.File("real.ini"), dir.File("link.ini"));
    fs::create_directory(dir.File("folder.ini"));
    auto fileSystem = DefaultFileSystem();

    EXPECT_TRUE(fileSystem->ReplaceFile(dir.File("link.ini"), "new"));
    EXPECT_TRUE(fs::is_symlink(dir.File("link.ini")));
    EXPECT_EQ(ReadBytes(dir.File("real.ini")), "new");
    EXPECT_EQ(fs::status(dir.File("real.ini")).permissions(), static_cast<fs::perms>(0640));
    EXPECT_TRUE(fileSystem->ReplaceFile(dir.File("made.ini"), "made"));
    EXPECT_EQ(ReadBytes(dir.File("made.ini")), "made");

    EXPECT_FALSE(fileSystem->ReplaceFile(dir.File("missing/a.ini"), "x"));
    EXPECT_FALSE(fs::exists(dir.File("missing")));
    EXPECT_FALSE(fileSystem->ReplaceFile(dir.File("folder.ini"), "x"));
    EXPECT_TRUE(fs::is_directory(dir.File("folder.ini")));
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.Path())) ++entries;
    EXPECT_EQ(entries, 4);
}

}  // namespace
}  // namespace tavox
