#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "data/FileSystem.h"
#include "data/PosixFileSystem.h"
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

// True when `call` returns within seconds. A call left waiting on the FIFO
// is released by opening its other end, and the test fails instead of hanging.
template <class Call>
bool ReturnsWithoutWaiting(Call call, const std::string& fifo) {
    auto done = std::async(std::launch::async, call);
    if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready) return true;
    const int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
    done.wait();
    return false;
}

// Process number of a process that has ended.
pid_t EndedProcess() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

mode_t Umask() {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

std::vector<std::string> Hidden(const TempDir& dir) {
    std::vector<std::string> names;
    for (const std::string& name : test::FolderEntries(dir.Path())) {
        if (name.front() == '.') names.push_back(name);
    }
    return names;
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

// A stop during a listing takes effect before another ListStopInterval
// entries are read: the test is asked at least that often, and the listing
// ends at the question that answered true, with nothing listed.
TEST(file_system_test, a_listing_asks_its_stop_test_and_ends_at_the_first_stop) {
    TempDir dir;
    constexpr std::size_t Files = 2 * ListStopInterval + 100;
    for (std::size_t i = 0; i < Files; ++i) WriteBytes(dir.File(std::to_string(i) + ".dat"), "");
    const auto fileSystem = DefaultFileSystem();
    const std::size_t never = 0;
    for (const std::size_t stopAt : {never, std::size_t{1}, std::size_t{2}, std::size_t{4}}) {
        SCOPED_TRACE(stopAt);
        std::size_t asked = 0;
        ListedNames names;
        names.Add("left from before");
        const bool done = fileSystem->ListNames(dir.Path(), "*.dat", names, [&] { return ++asked == stopAt; });
        if (stopAt == never) {
            EXPECT_TRUE(done);
            EXPECT_GE(asked, Files / ListStopInterval + 2) << "before, between and before sorting";
            ASSERT_EQ(names.Size(), Files);
            const std::vector<std::string> listed = fileSystem->List(dir.Path(), "*.dat");
            EXPECT_TRUE(std::equal(listed.begin(), listed.end(), names.Views().begin(), names.Views().end()));
        } else {
            EXPECT_FALSE(done);
            EXPECT_EQ(asked, stopAt);
            EXPECT_TRUE(names.Empty());
        }
    }
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

// A delete that the folder refuses leaves the file's own permissions alone.
TEST(file_system_test, failed_forced_delete_leaves_a_read_only_file_read_only) {
    TempDir dir;
    const std::string file = dir.File("ro");
    WriteBytes(file, "data");
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0555), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(file.c_str(), test::UnprivilegedId, test::UnprivilegedId), 0);
    }
    const bool refused = test::InChild([&] { return !DefaultFileSystem()->DeleteFileForced(file); }, true);
    ::chmod(dir.Path().c_str(), 0755);
    EXPECT_TRUE(refused);
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(fs::status(file).permissions(), static_cast<fs::perms>(0444));
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

// A FIFO (an input replaced after the listing, say) is refused at once
// instead of waiting for a writer that never comes.
TEST(file_system_test, a_fifo_is_never_waited_on) {
    TempDir dir;
    const std::string fifo = dir.File("b.dat");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto fileSystem = DefaultFileSystem();
    bool opened = true;
    EXPECT_TRUE(ReturnsWithoutWaiting([&] { opened = fileSystem->OpenRead(fifo) != nullptr; }, fifo));
    EXPECT_FALSE(opened);
    std::optional<std::string> read = "";
    EXPECT_TRUE(ReturnsWithoutWaiting([&] { read = fileSystem->ReadSmallFile(fifo, 100); }, fifo));
    EXPECT_FALSE(read.has_value());
    if (fs::exists("/dev/null")) {
        EXPECT_FALSE(fileSystem->OpenRead("/dev/null"));
    }
}

// The old contents stay under the name, and the new ones in a hidden file,
// until the commit renames the new file over the old one.
TEST(file_system_test, an_output_replaces_the_old_file_only_when_committed) {
    TempDir dir;
    WriteBytes(dir.File("out"), std::string(1000, 'o'));
    auto fileSystem = DefaultFileSystem();
    auto file = fileSystem->CreateOutput(dir.File("out"));
    ASSERT_TRUE(file);
    std::string expected;
    for (int piece = 0; piece < 7; ++piece) {
        const std::string text(100000 + piece, static_cast<char>('a' + piece));
        file->Write(Bytes(text));
        expected += text;
    }
    EXPECT_EQ(ReadBytes(dir.File("out")), std::string(1000, 'o'));
    const std::vector<std::string> hidden = Hidden(dir);
    ASSERT_EQ(hidden.size(), 1u);
    EXPECT_EQ(hidden.front().rfind(".out.tavox-" + std::to_string(::getpid()) + "-", 0), 0u) << hidden.front();
    EXPECT_EQ(hidden.front().size(), std::string(".out.tavox-").size() + std::to_string(::getpid()).size() + 7);
    EXPECT_EQ(fs::status(dir.File(hidden.front())).permissions(), static_cast<fs::perms>(0666 & ~Umask()));
    EXPECT_EQ(file->Commit(std::nullopt), CommitResult::Replaced);
    EXPECT_EQ(ReadBytes(dir.File("out")), expected);
    EXPECT_EQ(test::FolderEntries(dir.Path()), std::vector<std::string>{"out"});
    EXPECT_EQ(file->Commit(std::nullopt), CommitResult::Failed);  // once only

    // Dropped before its commit, a new output leaves nothing behind.
    fileSystem->CreateOutput(dir.File("out"))->Write(Bytes("lost"));
    EXPECT_EQ(fileSystem->CreateOutput(dir.File("fresh"))->Commit(std::nullopt), CommitResult::Replaced);
    EXPECT_EQ(test::FolderEntries(dir.Path()), (std::vector<std::string>{"fresh", "out"}));
    EXPECT_EQ(fs::file_size(dir.File("fresh")), 0u);
    EXPECT_EQ(ReadBytes(dir.File("out")), expected);

    EXPECT_FALSE(fileSystem->CreateOutput(dir.File("no-such-folder/out")));
    EXPECT_FALSE(fileSystem->CreateOutput(dir.Path()));
}

// A header filled in once the data is written: bytes written over earlier
// ones land there; bytes beyond those written fail the commit.
TEST(file_system_test, an_output_takes_bytes_over_those_already_written) {
    TempDir dir;
    auto fileSystem = DefaultFileSystem();
    auto file = fileSystem->CreateOutput(dir.File("out"));
    ASSERT_TRUE(file);
    file->Write(Bytes("head????" + std::string(70000, 'd')));
    file->WriteAt(4, Bytes("SIZE"));
    file->Write(Bytes("tail"));
    file->WriteAt(70008, Bytes("TA"));
    ASSERT_EQ(file->Commit(std::nullopt), CommitResult::Replaced);
    EXPECT_EQ(ReadBytes(dir.File("out")), "headSIZE" + std::string(70000, 'd') + "TAil");

    for (const std::uint64_t offset : {std::uint64_t{3}, std::uint64_t{5}}) {
        auto past = fileSystem->CreateOutput(dir.File("out"));
        past->Write(Bytes("four"));
        past->WriteAt(offset, Bytes("xx"));
        EXPECT_EQ(past->Commit(std::nullopt), CommitResult::WriteFailed) << offset;
    }
    EXPECT_EQ(ReadBytes(dir.File("out")), "headSIZE" + std::string(70000, 'd') + "TAil");
    EXPECT_EQ(test::FolderEntries(dir.Path()), std::vector<std::string>{"out"});
}

// With a file-size limit (and SIGXFSZ ignored, as the program does) a write
// fails; the commit says so and the old output stays.
TEST(file_system_test, a_write_that_cannot_be_completed_fails_the_commit_and_keeps_the_old_file) {
    TempDir dir;
    WriteBytes(dir.File("out"), "old");
    const bool kept = test::InChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return false;
        auto file = DefaultFileSystem()->CreateOutput(dir.File("out"));
        if (!file) return false;
        file->Write(Bytes(std::string(10000, 'x')));
        return file->Commit(std::nullopt) == CommitResult::WriteFailed;
    });
    EXPECT_TRUE(kept);
    EXPECT_EQ(ReadBytes(dir.File("out")), "old");
    EXPECT_EQ(test::FolderEntries(dir.Path()), std::vector<std::string>{"out"});
}

// In a folder that cannot be written, nothing is created and the old output,
// read-only, stays as it was.
TEST(file_system_test, no_output_in_a_read_only_folder) {
    TempDir dir;
    const std::string out = dir.File("a.spc");
    WriteBytes(out, "old");
    ASSERT_EQ(::chmod(out.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0555), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(out.c_str(), test::UnprivilegedId, test::UnprivilegedId), 0);
    }
    const bool refused = test::InChild([&] { return DefaultFileSystem()->CreateOutput(out) == nullptr; }, true);
    ::chmod(dir.Path().c_str(), 0755);
    EXPECT_TRUE(refused);
    EXPECT_EQ(ReadBytes(out), "old");
    EXPECT_EQ(fs::status(out).permissions(), static_cast<fs::perms>(0444));
    EXPECT_EQ(test::FolderEntries(dir.Path()), std::vector<std::string>{"a.spc"});
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

CommitResult WriteAndCommit(FileSystem& fileSystem, const std::string& path, const std::string& text,
                            const std::optional<FileIdentity>& keep) {
    auto file = fileSystem.CreateOutput(path);
    if (!file) return CommitResult::Failed;
    file->Write(Bytes(text));
    return file->Commit(keep);
}

// A name that reaches the kept file (links followed, other names included)
// is left alone; anything else at the name is replaced by the new file.
TEST(file_system_test, commit_leaves_a_name_that_reaches_the_kept_file_alone) {
    TempDir dir;
    WriteBytes(dir.File("sig.dat"), "x");
    fs::create_symlink(dir.File("sig.dat"), dir.File("soft.dat"));
    fs::create_symlink(dir.File("gone.dat"), dir.File("dangling.dat"));
    fs::create_hard_link(dir.File("sig.dat"), dir.File("hard.dat"));
    fs::create_directory(dir.File("sub"));
    auto fileSystem = DefaultFileSystem();

    // The open file knows its own length and identity.
    const auto input = fileSystem->OpenRead(dir.File("hard.dat"));
    ASSERT_TRUE(input);
    EXPECT_EQ(input->Size(), std::optional<std::uint64_t>(1));
    const std::optional<FileIdentity> kept = input->Identity();
    ASSERT_TRUE(kept);
    EXPECT_EQ(fileSystem->OpenRead(dir.File("soft.dat"))->Identity(), kept);

    for (const char* name : {"sig.dat", "soft.dat", "hard.dat"}) {
        EXPECT_EQ(WriteAndCommit(*fileSystem, dir.File(name), "new", kept), CommitResult::NamesKept) << name;
    }
    EXPECT_EQ(ReadBytes(dir.File("sig.dat")), "x");
    EXPECT_TRUE(fs::is_symlink(dir.File("soft.dat")));

    EXPECT_EQ(WriteAndCommit(*fileSystem, dir.File("dangling.dat"), "new", kept), CommitResult::Replaced);
    EXPECT_FALSE(fs::is_symlink(dir.File("dangling.dat")));
    EXPECT_FALSE(fs::exists(dir.File("gone.dat")));
    EXPECT_EQ(WriteAndCommit(*fileSystem, dir.File("sub"), "new", kept), CommitResult::Failed);
    EXPECT_TRUE(fs::is_directory(dir.File("sub")));
    EXPECT_EQ(WriteAndCommit(*fileSystem, dir.File("none.dat"), "new", kept), CommitResult::Replaced);
    EXPECT_EQ(ReadBytes(dir.File("none.dat")), "new");
    EXPECT_EQ(WriteAndCommit(*fileSystem, dir.File("none.dat"), "newer", kept), CommitResult::Replaced);
    EXPECT_EQ(ReadBytes(dir.File("none.dat")), "newer");
    EXPECT_EQ(Hidden(dir), std::vector<std::string>{});
}

// A replacement never writes through what the name held: a link (planted
// by someone else, say) is replaced by a file of its own, a file with a
// second name keeps its contents there, and a FIFO is not opened.
TEST(file_system_test, replacement_writes_through_no_link_and_leaves_other_names_alone) {
    TempDir dir;
    WriteBytes(dir.File("victim"), "precious");
    WriteBytes(dir.File("twice.out"), "two names");
    WriteBytes(dir.File("ro.out"), "read-only");
    ASSERT_EQ(::chmod(dir.File("ro.out").c_str(), 0444), 0);
    fs::create_symlink(dir.File("victim"), dir.File("link.out"));
    fs::create_hard_link(dir.File("twice.out"), dir.File("twice.bak"));
    ASSERT_EQ(::mkfifo(dir.File("fifo.out").c_str(), 0600), 0);
    auto fileSystem = DefaultFileSystem();
    const std::optional<FileIdentity> kept = FileIdentity{1, 1};

    for (const char* name : {"link.out", "twice.out", "ro.out", "fifo.out"}) {
        EXPECT_EQ(WriteAndCommit(*fileSystem, dir.File(name), name, kept), CommitResult::Replaced) << name;
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir.File(name)))) << name;
        EXPECT_EQ(ReadBytes(dir.File(name)), name);
        EXPECT_EQ(fs::status(dir.File(name)).permissions(), static_cast<fs::perms>(0666 & ~Umask())) << name;
    }
    EXPECT_EQ(ReadBytes(dir.File("victim")), "precious");
    EXPECT_EQ(ReadBytes(dir.File("twice.bak")), "two names");
    // Without a file to keep, the name is not examined at all.
    EXPECT_EQ(WriteAndCommit(*fileSystem, dir.File("twice.bak"), "again", std::nullopt), CommitResult::Replaced);
    EXPECT_EQ(ReadBytes(dir.File("twice.bak")), "again");
    EXPECT_EQ(Hidden(dir), std::vector<std::string>{});
}

// What a killed run leaves is hidden from listings, and the next output of
// that name removes it unless its process still runs.
TEST(file_system_test, leftovers_of_ended_processes_are_hidden_and_removed_by_the_next_output_of_their_name) {
    TempDir dir;
    WriteBytes(dir.File("a.dat"), "in");
    const std::string ended = std::to_string(EndedProcess());
    const std::string own = std::to_string(::getpid());
    const std::vector<std::string> planted = {
        ".a.spc.tavox-" + ended + "-Ab3xYz",  // left by a killed run: removed
        ".a.spc.tavox-" + own + "-Qw9Er7",    // of a running process: kept
        ".b.spc.tavox-" + ended + "-Zz0Zz0",  // of another output: kept
        ".a.spc.tavox-notapid",               // not a temporary name: kept
    };
    for (const std::string& name : planted) WriteBytes(dir.File(name), "partial");
    auto fileSystem = DefaultFileSystem();

    // Nothing hidden is listed, also for a pattern that would match it.
    EXPECT_EQ(fileSystem->List(dir.Path(), "*"), std::vector<std::string>{"a.dat"});
    EXPECT_TRUE(fileSystem->List(dir.Path(), "*tavox*").empty());
    EXPECT_EQ(WriteAndCommit(*fileSystem, dir.File("a.spc"), "out", std::nullopt), CommitResult::Replaced);
    std::vector<std::string> expected = {"a.dat", "a.spc", planted[1], planted[2], planted[3]};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(test::FolderEntries(dir.Path()), expected);
}

std::size_t OpenDescriptors() {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

// While folders are held, a file is reached through its folder as first
// opened: a folder renamed meanwhile keeps its inputs and outputs, and only
// a few folders stay open whatever the number used.
TEST(file_system_test, held_folders_keep_their_files_and_a_bounded_number_stays_open) {
    TempDir dir;
    fs::create_directory(dir.File("a"));
    WriteBytes(dir.File("a/in"), "input");
    auto fileSystem = DefaultFileSystem();
    fileSystem->HoldFolders();
    ASSERT_TRUE(fileSystem->OpenRead(dir.File("a/in")));
    auto output = fileSystem->CreateOutput(dir.File("a/out"));
    ASSERT_TRUE(output);
    fs::rename(dir.File("a"), dir.File("b"));
    output->Write(Bytes("written"));
    EXPECT_EQ(output->Commit(std::nullopt), CommitResult::Replaced);
    EXPECT_EQ(ReadBytes(dir.File("b/out")), "written");
    output.reset();
    auto input = fileSystem->OpenRead(dir.File("a/in"));
    ASSERT_TRUE(input);
    std::vector<std::byte> bytes(5);
    const std::optional<std::size_t> read = input->ReadAt(0, bytes);
    ASSERT_TRUE(read);
    EXPECT_EQ(Text(std::span(bytes).first(*read)), "input");

    const std::size_t before = OpenDescriptors();
    for (int i = 0; i < 40; ++i) {
        const std::string folder = dir.File("f" + std::to_string(i));
        fs::create_directory(folder);
        EXPECT_EQ(WriteAndCommit(*fileSystem, folder + "/out", "x", std::nullopt), CommitResult::Replaced);
    }
    EXPECT_LE(OpenDescriptors(), before + PosixFileSystem::HeldFolderCount);
    fileSystem->ReleaseFolders();
    EXPECT_FALSE(fileSystem->OpenRead(dir.File("a/in")));
    EXPECT_LT(OpenDescriptors(), before);
    EXPECT_EQ(test::FolderEntries(dir.File("b")), (std::vector<std::string>{"in", "out"}));
}

TEST(file_system_test, check_path_tells_what_stands_at_a_path) {
    TempDir dir;
    WriteBytes(dir.File("a.dat"), "x");
    fs::create_directory(dir.File("sub"));
    fs::create_directory(dir.File("closed"));
    ASSERT_EQ(::mkfifo(dir.File("fifo.dat").c_str(), 0600), 0);
    fs::create_symlink(dir.File("gone"), dir.File("dangling.dat"));
    auto fileSystem = DefaultFileSystem();

    EXPECT_EQ(fileSystem->CheckPath(dir.File("a.dat")).kind, PathCheck::File);
    EXPECT_EQ(fileSystem->CheckPath(dir.File("sub")).kind, PathCheck::Folder);
    EXPECT_EQ(fileSystem->CheckPath(dir.File("missing")).kind, PathCheck::Missing);
    EXPECT_EQ(fileSystem->CheckPath(dir.File("dangling.dat")).kind, PathCheck::Missing);
    const PathCheck fifo = fileSystem->CheckPath(dir.File("fifo.dat"));
    EXPECT_EQ(fifo.kind, PathCheck::Special);
    EXPECT_EQ(fifo.detail, "FIFO");
    const PathCheck below = fileSystem->CheckPath(dir.File("a.dat") + "/");
    EXPECT_EQ(below.kind, PathCheck::Unusable);
    EXPECT_EQ(below.detail, "Not a directory");
    const PathCheck tooLong = fileSystem->CheckPath(dir.Path() + std::string(5000, 'x'));
    EXPECT_EQ(tooLong.kind, PathCheck::Unusable);
    EXPECT_EQ(tooLong.detail, "File name too long");
    ASSERT_EQ(::chmod(dir.File("closed").c_str(), 0), 0);
    const std::string closed = dir.File("closed");
    EXPECT_TRUE(
        test::InChild([&] { return DefaultFileSystem()->CheckPath(closed).kind == PathCheck::Unusable; }, true));
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
    EXPECT_EQ(test::FolderEntries(dir.Path()),
              (std::vector<std::string>{"folder.ini", "link.ini", "made.ini", "real.ini"}));
}

}  // namespace
}  // namespace tavox
