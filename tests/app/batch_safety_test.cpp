#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "support/ProgramRun.h"
#include "support/TestSupport.h"

namespace tavox {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteSamples;

const std::string Ok = "-->>    Transformace proběhla vpořádku";

std::vector<std::int16_t> Tone(std::size_t length, int seed) {
    std::vector<std::int16_t> samples(length);
    for (std::size_t i = 0; i < length; ++i)
        samples[i] = static_cast<std::int16_t>((i * 131 + seed * 977) % 4001) - 2000;
    return samples;
}

// The tavox program running without a display, its standard output a pipe
// of one page (so that it blocks once a page of lines is unread), its
// standard error a file.
class Child {
public:
    explicit Child(const std::vector<std::string>& arguments) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        readEnd_ = fds[0];
        capacity_ = fcntl(fds[1], F_SETPIPE_SZ, 4096);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        // The child starts with the stop signals at their defaults and unblocked.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGINT);
        sigaddset(&signals, SIGTERM);
        posix_spawnattr_setsigdefault(&attributes, &signals);
        sigemptyset(&signals);
        posix_spawnattr_setsigmask(&attributes, &signals);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

        std::vector<std::string> env = test::ChildEnvironment(test::DisplayVariables, {});
        std::vector<std::string> args = {TAVOX_EXE};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::vector<char*> envp = test::Pointers(env);
        std::vector<char*> argv = test::Pointers(args);
        const int spawned = posix_spawn(&pid_, TAVOX_EXE, &actions, &attributes, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        close(fds[1]);
        if (spawned != 0) throw std::runtime_error(std::string("cannot start tavox: ") + std::strerror(spawned));
    }
    ~Child() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(readEnd_);
    }

    int Capacity() const { return capacity_; }

    // Reads until at least one whole line has arrived; returns its length.
    std::size_t FirstLineLength() {
        while (out_.find('\n') == std::string::npos && ReadSome()) {
        }
        return out_.find('\n') + 1;
    }

    // Bytes written to the pipe and not read yet.
    int Unread() const {
        int bytes = 0;
        ioctl(readEnd_, FIONREAD, &bytes);
        return bytes;
    }

    // True once the child waits for room in the pipe to write its lines: the
    // pipe holds a page of them, or the child sleeps in a write to it. Lines
    // written out in bursts can leave less than a page in the pipe and the
    // writer still waiting, as a write that does not fit the rest of the
    // page waits for the whole page to be read.
    bool WaitsOnFullPipe(std::size_t lineLength) const {
        if (Unread() > capacity_ - static_cast<int>(lineLength)) return true;
        std::ifstream wchan("/proc/" + std::to_string(pid_) + "/wchan");
        std::string where;
        std::getline(wchan, where);
        return Unread() > 0 && where.find("pipe_write") != std::string::npos;
    }

    // True once the child catches neither SIGINT nor SIGTERM any more, that
    // is once its handler has run.
    bool StopSignalsHandled() const {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("SigCgt:", 0) != 0) continue;
            const unsigned long long caught = std::stoull(line.substr(7), nullptr, 16);
            return (caught & ((1ull << (SIGINT - 1)) | (1ull << (SIGTERM - 1)))) == 0;
        }
        return false;
    }

    void Signal(int number) const { kill(pid_, number); }

    // Processor time the child has used so far, in seconds. Unlike the time
    // on the clock it does not grow while the child waits for a processor.
    double ProcessorSeconds() const {
        std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
        const std::string text{std::istreambuf_iterator<char>(stat), std::istreambuf_iterator<char>()};
        // The fields after the name in parentheses, from the third (state)
        // on: user time is the 14th, system time the 15th, in clock ticks.
        std::istringstream fields(text.substr(text.rfind(')') + 1));
        std::string field;
        unsigned long long ticks = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i >= 14) ticks += std::stoull(field);
        }
        return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }

    // Reads the rest of the output and waits for the end of the child.
    int Finish() {
        while (ReadSome()) {
        }
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = 0;
        return status;
    }

    const std::string& Out() const { return out_; }
    std::string Err() const { return ReadBytes(errPath_); }

private:
    bool ReadSome() {
        char buffer[4096];
        const ssize_t n = read(readEnd_, buffer, sizeof buffer);
        if (n <= 0) return false;
        out_.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    TempDir capture_;
    std::string errPath_ = capture_.File("err");
    int readEnd_ = -1;
    int capacity_ = 0;
    pid_t pid_ = 0;
    std::string out_;
};

// Waits, without any fixed sleep deciding the outcome, until `done` holds.
template <class Condition>
bool WaitFor(Condition done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

int CountOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

constexpr int BatchSize = 300;

std::string InputName(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "f%03d", i);
    return name;
}

// A folder of BatchSize small inputs, all with result lines of one length.
std::map<std::string, std::string> WriteBatch(const TempDir& dir) {
    std::map<std::string, std::string> inputs;
    for (int i = 0; i < BatchSize; ++i) {
        const std::string path = dir.File(InputName(i) + ".dat");
        WriteSamples(path, Tone(128, i));
        inputs[path] = ReadBytes(path);
    }
    return inputs;
}

// A stop signal and the number of threads.
class batch_safety_test : public ::testing::TestWithParam<std::tuple<int, const char*>> {};

// The run is stopped while the pipe is full, so that the child cannot have
// finished the batch on its own: after the signal only the file in progress
// completes, and files transformed ahead of their turn leave nothing.
TEST_P(batch_safety_test, stop_signal_completes_the_file_in_progress_and_starts_no_other) {
    const auto [signal, jobs] = GetParam();
    TempDir dir;
    const auto inputs = WriteBatch(dir);
    Child child({std::string("--jobs=") + jobs, "e", "p", "128", dir.File("*.dat"), "*.res"});
    ASSERT_EQ(child.Capacity(), 4096);
    const std::size_t lineLength = child.FirstLineLength();
    ASSERT_TRUE(WaitFor([&] { return child.WaitsOnFullPipe(lineLength); }));
    child.Signal(signal);
    ASSERT_TRUE(WaitFor([&] { return child.StopSignalsHandled(); }));
    const int status = child.Finish();

    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status) << ": " << child.Err();
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const int done = CountOf(child.Out(), Ok);
    EXPECT_GT(done, 0);
    EXPECT_LT(done, BatchSize);
    EXPECT_NE(child.Err().find("interrupted after " + std::to_string(done) + " of " + std::to_string(BatchSize)),
              std::string::npos)
        << child.Err();
    // Exactly the files reported as done have complete outputs, in batch order.
    for (int i = 0; i < BatchSize; ++i) {
        const std::string output = dir.File(InputName(i) + ".res");
        if (i < done) {
            EXPECT_EQ(ReadBytes(output).size(), 128u) << output;
        } else {
            EXPECT_FALSE(std::filesystem::exists(output)) << output;
        }
    }
    for (const auto& [path, bytes] : inputs) EXPECT_EQ(ReadBytes(path), bytes) << path;
    for (const std::string& name : test::FolderEntries(dir.Path())) {
        EXPECT_NE(name.front(), '.') << "left behind: " << name;
    }
}

INSTANTIATE_TEST_SUITE_P(signals, batch_safety_test,
                         ::testing::Combine(::testing::Values(SIGINT, SIGTERM), ::testing::Values("1", "2", "7")),
                         [](const ::testing::TestParamInfo<std::tuple<int, const char*>>& info) {
                             return std::string(std::get<0>(info.param) == SIGINT ? "sigint" : "sigterm") + "_jobs_" +
                                    std::get<1>(info.param);
                         });

// After the first SIGINT the report holds one whole line per file done, each
// naming its complete output, and the totals of the interrupted run.
TEST(batch_safety_test, report_after_a_stop_signal_names_the_files_done_and_the_totals) {
    TempDir dir;
    TempDir elsewhere;
    WriteBatch(dir);
    const std::string report = elsewhere.File("r.jsonl");
    Child child({"--report=" + report, "e", "p", "128", dir.File("*.dat"), "*.res"});
    ASSERT_EQ(child.Capacity(), 4096);
    const std::size_t lineLength = child.FirstLineLength();
    ASSERT_TRUE(WaitFor([&] { return child.WaitsOnFullPipe(lineLength); }));
    child.Signal(SIGINT);
    ASSERT_TRUE(WaitFor([&] { return child.StopSignalsHandled(); }));
    const int status = child.Finish();
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status) << ": " << child.Err();
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const int done = CountOf(child.Out(), Ok);

    const std::string text = ReadBytes(report);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    std::vector<nlohmann::json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(nlohmann::json::parse(line, nullptr, false));
        ASSERT_FALSE(lines.back().is_discarded()) << line;
    }
    ASSERT_EQ(static_cast<int>(lines.size()), done + 1);
    for (int i = 0; i < done; ++i) {
        EXPECT_EQ(lines[i]["input"], dir.File(InputName(i) + ".dat"));
        ASSERT_EQ(lines[i]["outputs"].size(), 1u);
        EXPECT_EQ(ReadBytes(lines[i]["outputs"][0].get<std::string>()).size(), 128u);
    }
    const auto& totals = lines.back();
    EXPECT_EQ(totals["type"], "totals");
    EXPECT_EQ(totals["files"], BatchSize);
    EXPECT_EQ(totals["done"], done);
    EXPECT_EQ(totals["interrupted"], true);
    EXPECT_EQ(totals["exit_status"], 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File(InputName(done) + ".res")));
}

TEST(batch_safety_test, second_stop_signal_ends_the_run_at_once) {
    TempDir dir;
    const auto inputs = WriteBatch(dir);
    Child child({"e", "p", "128", dir.File("*.dat"), "*.res"});
    ASSERT_EQ(child.Capacity(), 4096);
    const std::size_t lineLength = child.FirstLineLength();
    // Blocked on a result line, the child cannot end before the second signal.
    ASSERT_TRUE(WaitFor([&] { return child.WaitsOnFullPipe(lineLength); }));
    child.Signal(SIGINT);
    ASSERT_TRUE(WaitFor([&] { return child.StopSignalsHandled(); }));
    child.Signal(SIGTERM);
    const int status = child.Finish();

    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    for (const auto& [path, bytes] : inputs) EXPECT_EQ(ReadBytes(path), bytes) << path;
}

// A long Multi over one large file stops within its exposures: the file
// ends with the repeat error and keeps only complete outputs.
TEST(batch_safety_test, stop_signal_cuts_the_exposures_of_a_long_file_short) {
    TempDir dir;
    WriteSamples(dir.File("big.dat"), Tone(8 * 1024 * 1024, 5));
    Child child({"m", "p", "65536", dir.File("big.dat"), "*.*", "999"});
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(dir.File("big.001")); }));
    child.Signal(SIGINT);
    const int status = child.Finish();

    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status) << ": " << child.Err();
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::string expected = "big.dat";
    expected.append(25, ' ').append("-->>    Počet opakování nebylo možno dodržet\nKalmira [dokončeno - 100%]\n");
    EXPECT_EQ(child.Out(), expected);
    EXPECT_EQ(child.Err(), "tavox: interrupted after 1 of 1 files\n");
    int outputs = 0;
    for (const std::string& name : test::FolderEntries(dir.Path())) {
        if (name == "big.dat") continue;
        EXPECT_NE(name.front(), '.') << "a new file was left: " << name;
        EXPECT_EQ(std::filesystem::file_size(dir.File(name)), 65536u) << name;
        ++outputs;
    }
    EXPECT_GE(outputs, 1);
    EXPECT_LT(outputs, 999) << "the file ran to its end";
}

// The check at the start of a batch for outputs that replace other sources
// looks at each file once, not once per exposure, so that a large Multi
// batch starts at once and a stop signal is not held up by it.
TEST(batch_safety_test, the_start_of_a_large_multi_batch_is_not_held_up) {
    TempDir dir;
    for (int i = 0; i < 2000; ++i) test::WriteBytes(dir.File(std::to_string(i).append(".dat")), "");
    WriteSamples(dir.File("t.001"), Tone(300, 1));  // an output of t.dat, were it a source
    WriteSamples(dir.File("t.dat"), Tone(300, 2));
    Child child({"m", "p", "128", dir.Path() + "*", "*.*", "999"});
    child.FirstLineLength();
    // Matching each of 2000 files once per exposure took more than a second
    // of processor time; the time on the clock would count the waits of a
    // loaded machine as well.
    EXPECT_LT(child.ProcessorSeconds(), 0.5);
    child.Signal(SIGINT);
    const int status = child.Finish();
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status) << ": " << child.Err();
    EXPECT_EQ(WEXITSTATUS(status), 1);
}

int RunToEnd(Child& child) {
    const int status = child.Finish();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(batch_safety_test, warns_for_each_output_that_replaced_another_source_and_still_replaces_it) {
    TempDir dir;
    WriteSamples(dir.File("sig.dat"), Tone(1024, 1));
    WriteSamples(dir.File("sigout.dat"), Tone(300, 2));  // output of an earlier run
    {
        Child child({"f", "p", "128", dir.File("*.dat"), "*out.*"});
        EXPECT_EQ(RunToEnd(child), 0);
        const std::string err = child.Err();
        EXPECT_EQ(CountOf(err, "tavox: warning:"), 1) << err;
        EXPECT_NE(err.find("the output \"" + dir.File("sigout.dat") +
                           "\" of sig.dat replaced a file that is also an "
                           "input of this batch"),
                  std::string::npos)
            << err;
    }
    // The earlier output was refreshed with the new spectrum and its phases.
    EXPECT_EQ(ReadBytes(dir.File("sigout.dat")).size(), 256u);

    // Outputs kept apart from the inputs: no warning.
    Child apart({"f", "p", "128", dir.File("*.dat"), "*.res"});
    EXPECT_EQ(RunToEnd(apart), 0);
    EXPECT_EQ(apart.Err(), "");
}

TEST(batch_safety_test, no_warning_when_a_failed_transform_left_the_other_source_alone) {
    TempDir dir;
    WriteSamples(dir.File("sig.dat"), Tone(100, 1));  // shorter than one exposure
    WriteSamples(dir.File("sigout.dat"), Tone(300, 2));
    const std::string before = ReadBytes(dir.File("sigout.dat"));
    Child child({"f", "p", "128", dir.Path() + "./*.dat", "*out.*"});
    RunToEnd(child);
    EXPECT_EQ(child.Err(), "");
    EXPECT_EQ(ReadBytes(dir.File("sigout.dat")), before);
}

TEST(batch_safety_test, multi_warns_for_a_numbered_output_that_is_a_source) {
    TempDir dir;
    WriteSamples(dir.File("a.dat"), Tone(1024, 1));
    WriteSamples(dir.File("b.001"), Tone(1024, 2));
    WriteSamples(dir.File("b.007"), Tone(1024, 3));
    Child child({"m", "p", "128", dir.File("*"), "b.*", "2"});
    RunToEnd(child);
    const std::string err = child.Err();
    // a.dat writes b.001 (a source) and b.002 (not one); b.001 then refuses to replace itself.
    EXPECT_EQ(CountOf(err, "tavox: warning:"), 1) << err;
    EXPECT_NE(err.find('"' + dir.File("b.001") + "\" of a.dat"), std::string::npos) << err;
    EXPECT_EQ(ReadBytes(dir.File("b.007")).size(), 2048u);
}

}  // namespace
}  // namespace tavox
