#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/ProgramRun.h"
#include "support/TestSupport.h"

// The program as a user meets it when something goes wrong: the output
// cannot be written, memory or file size is limited, names are hostile, the
// input is not what it seems.
namespace tavox {
namespace {

namespace fs = std::filesystem;
using test::ProgramResult;
using test::ReadBytes;
using test::TempDir;
using test::WriteSamples;

const std::string Ok = "-->>    Transformace proběhla vpořádku";
const std::string TargetFull = "-->>    Nebylo dostatek místa pro uložení výsledků";
const std::string OutOfMemory = "-->>    Pro dokončení všech operací nebylo dostatek paměti";

std::vector<std::int16_t> Ramp(std::size_t length) {
    std::vector<std::int16_t> samples(length);
    for (std::size_t i = 0; i < length; ++i) samples[i] = static_cast<std::int16_t>((i * 37) % 2001) - 1000;
    return samples;
}

ProgramResult RunTavox(const std::vector<std::string>& arguments) {
    return test::RunProgram(TAVOX_EXE, arguments, test::DisplayVariables);
}

// Runs the program through `sh -c script`, where the script ends in
// `exec "$0" "$@"` with the program and its arguments.
ProgramResult RunThroughShell(const std::string& script, const std::vector<std::string>& arguments) {
    std::vector<std::string> all = {"-c", script, TAVOX_EXE};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return test::RunProgram("/bin/sh", all, test::DisplayVariables);
}

int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

std::vector<std::string> HiddenEntries(const TempDir& dir) {
    std::vector<std::string> hidden;
    for (const std::string& name : test::FolderEntries(dir.Path())) {
        if (name.front() == '.') hidden.push_back(name);
    }
    return hidden;
}

TEST(tavox_reliability_test, a_write_error_on_standard_output_fails_the_run) {
    TempDir dir;
    WriteSamples(dir.File("a.dat"), Ramp(256));
    const ProgramResult r =
        RunThroughShell("exec \"$0\" \"$@\" > /dev/full", {"e", "p", "128", dir.File("a.dat"), "*.o"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tavox: write error: No space left on device\n");
    EXPECT_EQ(ReadBytes(dir.File("a.o")).size(), 128u);  // the batch itself ran
    EXPECT_EQ(RunThroughShell("exec \"$0\" \"$@\" > /dev/full", {"--help"}).status, 1);
}

// A file-size limit fails the write of an output, reported as a full target;
// the old output stays and no partial file is left.
TEST(tavox_reliability_test, a_file_size_limit_is_reported_as_a_full_target) {
    TempDir dir;
    WriteSamples(dir.File("big.dat"), Ramp(65536));
    WriteSamples(dir.File("small.dat"), Ramp(256));
    test::WriteBytes(dir.File("big.spc"), "old output");
    const ProgramResult r =
        RunThroughShell("ulimit -f 64 && exec \"$0\" \"$@\"", {"f", "h", "65536", dir.Path() + "*.dat", "*.spc"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "big.dat" + std::string(25, ' ') + TargetFull + "\nsmall.dat" + std::string(23, ' ') +
                         "-->>    Žádané hranice hodnocení neodpovídaly délce souboru\nKalmira [dokončeno - 100%]\n");
    EXPECT_EQ(ReadBytes(dir.File("big.spc")), "old output");
    EXPECT_EQ(HiddenEntries(dir), std::vector<std::string>{});
}

// Too little memory to start the batch is named as such, never answered with
// the help. The limit that hits that point depends on the build, so the run
// is tried under a range of limits.
TEST(tavox_reliability_test, too_little_memory_is_named_and_never_answered_with_the_help) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "address space limits do not work under AddressSanitizer";
#else
    TempDir dir;
    WriteSamples(dir.File("a.dat"), Ramp(70000));
    int named = 0;
    for (int limitKb = 4096; limitKb <= 32768; limitKb += 512) {
        const ProgramResult r = RunThroughShell("ulimit -v " + std::to_string(limitKb) + " && exec \"$0\" \"$@\"",
                                                {"e", "h", "65536", dir.File("a.dat"), "*.spc"});
        if (r.status == 127 || r.status == -1) continue;  // the loader or the runtime could not start
        SCOPED_TRACE("limit " + std::to_string(limitKb) + " KiB");
        EXPECT_EQ(r.err.find("FFT Command Line Help"), std::string::npos) << r.err;
        if (r.err == "tavox: out of memory\n") {
            ++named;
            EXPECT_EQ(r.status, 2);
        } else if (r.status != 0) {
            EXPECT_EQ(r.out, "a.dat" + std::string(27, ' ') + OutOfMemory + "\nKalmira [dokončeno - 100%]\n");
        }
        EXPECT_TRUE(r.status == 0 || !fs::exists(dir.File("a.spc"))) << "a failed run left an output";
        EXPECT_EQ(HiddenEntries(dir), std::vector<std::string>{});
        if (r.status == 0) break;
    }
    EXPECT_GT(named, 0) << "no limit stopped the start of the batch";
#endif
}

// Control characters and bytes that are not UTF-8 in a name cannot split a
// line or reach the terminal.
TEST(tavox_reliability_test, hostile_names_are_shown_escaped) {
    TempDir dir;
    for (const char* name : {"a\nb.dat", "c\x1b[2J.dat", "d\xff.dat"}) WriteSamples(dir.File(name), Ramp(256));
    const ProgramResult r = RunTavox({"e", "p", "128", dir.Path() + "*.dat", "*.o"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "a\\nb.dat" + std::string(24, ' ') + Ok + "\nc\\x1b[2J.dat" + std::string(20, ' ') + Ok +
                         "\nd\\xff.dat" + std::string(23, ' ') + Ok + "\nKalmira [dokončeno - 100%]\n");
    // The report names them as the lines do, and stays valid UTF-8.
    const ProgramResult report = RunTavox({"--report=-", "e", "p", "128", dir.Path() + "*.dat", "*.o"});
    EXPECT_EQ(report.status, 0) << report.err;
    EXPECT_EQ(Count(report.out, "\"input\":\"" + dir.Path() + "a\\\\nb.dat\""), 1) << report.out;
    EXPECT_EQ(Count(report.out, "\"input\":\"" + dir.Path() + "c\\\\x1b[2J.dat\""), 1) << report.out;
    EXPECT_EQ(Count(report.out, "\"input\":\"" + dir.Path() + "d\\\\xff.dat\""), 1) << report.out;
    EXPECT_EQ(Count(report.out, "\xef\xbf\xbd"), 0);
    const ProgramResult none = RunTavox({"e", "p", "128", dir.File("x\x1b[2J*.wav"), "*.o"});
    EXPECT_EQ(none.err, "tavox: no input file matches \"" + dir.File("x\\x1b[2J*.wav") + "\"\n");
}

TEST(tavox_reliability_test, an_input_that_gives_no_file_is_named_for_what_it_is) {
    TempDir dir;
    fs::create_directory(dir.File("folder.dat"));
    ASSERT_EQ(::mkfifo(dir.File("fifo.dat").c_str(), 0600), 0);
    const struct {
        std::string input;
        std::string message;
    } cases[] = {
        {dir.File("folder.dat"), "\"" + dir.File("folder.dat") + "\" is a folder, not a file"},
        {dir.File("fifo.dat"), "\"" + dir.File("fifo.dat") + "\" is a FIFO, not an ordinary file"},
        {dir.Path() + std::string(5000, 'x') + "/*.dat",
         "cannot list the folder \"" + dir.Path() + std::string(5000, 'x') + "/\": File name too long"},
        {dir.File("*.wav"), "no input file matches \"" + dir.File("*.wav") + "\""},
    };
    for (const auto& c : cases) {
        const ProgramResult r = RunTavox({"e", "p", "128", c.input, "*.o"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "tavox: " + c.message + "\n");
        EXPECT_EQ(r.out, "Kalmira [dokončeno - 0%]\n");
    }
}

TEST(tavox_reliability_test, files_whose_names_differ_in_case_only_are_both_transformed) {
    TempDir dir;
    WriteSamples(dir.File("a.dat"), Ramp(256));
    WriteSamples(dir.File("A.dat"), Ramp(512));
    const ProgramResult r = RunTavox({"e", "p", "128", dir.Path() + "*.dat", "*.spc"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "A.dat" + std::string(27, ' ') + Ok + "\na.dat" + std::string(27, ' ') + Ok +
                         "\nKalmira [dokončeno - 100%]\n");
    EXPECT_TRUE(fs::exists(dir.File("a.spc")));
    EXPECT_TRUE(fs::exists(dir.File("A.spc")));
}

// More samples than a 32-bit position reaches: a failure that says why, not
// a spectrum of the first 4 GiB. The file is sparse.
TEST(tavox_reliability_test, a_source_over_4_gib_fails_with_a_clear_message) {
    TempDir dir;
    test::WriteBytes(dir.File("huge.dat"), "");
    fs::resize_file(dir.File("huge.dat"), (std::uint64_t{1} << 32) + 2);
    const ProgramResult r = RunTavox({"e", "p", "128", dir.File("huge.dat"), "*.o", "1", "50%"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "huge.dat" + std::string(24, ' ') +
                         "-->>    Žádané hranice hodnocení neodpovídaly délce souboru\nKalmira [dokončeno - 100%]\n");
    EXPECT_EQ(r.err, "tavox: \"" + dir.File("huge.dat") +
                         "\" holds more than 2147483647 samples (4 GiB), more than a transform can address; it "
                         "was not transformed\n");
    EXPECT_FALSE(fs::exists(dir.File("huge.o")));
}

// What a killed run left (its hidden new file) is never an input, and the
// next run that writes that output removes it.
TEST(tavox_reliability_test, a_killed_runs_leftover_is_hidden_and_removed_by_the_next_run) {
    TempDir dir;
    WriteSamples(dir.File("a.dat"), Ramp(256));
    const pid_t ended = ::fork();
    if (ended == 0) ::_exit(0);
    ::waitpid(ended, nullptr, 0);
    const std::string leftover = ".a.spc.tavox-" + std::to_string(ended) + "-k1LLed";
    test::WriteBytes(dir.File(leftover), "partial");
    const ProgramResult r = RunTavox({"e", "p", "128", dir.Path() + "*", "*.spc"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "a.dat" + std::string(27, ' ') + Ok + "\nKalmira [dokončeno - 100%]\n");
    EXPECT_EQ(test::FolderEntries(dir.Path()), (std::vector<std::string>{"a.dat", "a.spc"}));
}

// A run that may not write in the folder changes nothing there: a read-only
// old output stays read-only and whole.
TEST(tavox_reliability_test, a_read_only_folder_is_left_as_it_was) {
    if (::geteuid() == 0 && !fs::exists("/usr/bin/setpriv")) GTEST_SKIP() << "needs setpriv to drop root";
    TempDir dir;
    WriteSamples(dir.File("a.dat"), Ramp(256));
    test::WriteBytes(dir.File("a.spc"), "old output");
    ASSERT_EQ(::chmod(dir.File("a.spc").c_str(), 0444), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(dir.File("a.spc").c_str(), test::UnprivilegedId, test::UnprivilegedId), 0);
    }
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0555), 0);
    const std::string script = ::geteuid() == 0
                                   ? "exec setpriv --reuid=65534 --regid=65534 --clear-groups \"$0\" \"$@\""
                                   : "exec \"$0\" \"$@\"";
    const ProgramResult r = RunThroughShell(script, {"e", "p", "128", dir.File("a.dat"), "*.spc"});
    ::chmod(dir.Path().c_str(), 0755);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(Count(r.out, "Došlo k chybě při komunikaci se systémem souborů"), 1) << r.out;
    EXPECT_EQ(ReadBytes(dir.File("a.spc")), "old output");
    EXPECT_EQ(fs::status(dir.File("a.spc")).permissions(), static_cast<fs::perms>(0444));
    EXPECT_EQ(test::FolderEntries(dir.Path()), (std::vector<std::string>{"a.dat", "a.spc"}));
}

}  // namespace
}  // namespace tavox
