#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/BatchSettings.h"
#include "app/Files.h"
#include "app/MainModule.h"
#include "data/FileSystem.h"
#include "engine/Parameters.h"
#include "support/HeapUse.h"
#include "support/TestSupport.h"
#include "ui/terminal/StandardOutput.h"
#include "ui/terminal/TerminalRun.h"

namespace tavox {
namespace {

using test::TempDir;

std::string NumberedName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "f%06d.dat", i);
    return name;
}

// A listed file keeps its name and some bookkeeping, never a File of its own.
TEST(heap_use_test, a_listed_file_takes_at_most_150_bytes_beside_its_name) {
    if (!test::HeapCounted()) GTEST_SKIP() << "a sanitizer counts the heap";
    TempDir dir;
    constexpr int Count = 4000;
    for (int i = 0; i < Count; ++i) test::WriteBytes(dir.File(NumberedName(i)), "");
    const test::HeapUse before = test::CurrentHeapUse();
    Files files(DefaultFileSystem());
    files.SetParameters(std::make_shared<Parameters>());
    Variant source(dir.Path() + "*.dat");
    Variant target("*out.*");
    ASSERT_EQ(files.AddDisk(source, target), static_cast<std::size_t>(Count));
    const double perFile = static_cast<double>(test::CurrentHeapUse().bytes - before.bytes) / Count;
    RecordProperty("bytes_per_file", std::to_string(perFile));
    EXPECT_LE(perFile, 150.0 + NumberedName(0).size());
}

// Writes to /dev/null through the program's own standard output buffer.
class NullOutput {
public:
    NullOutput() : fd_(::open("/dev/null", O_WRONLY | O_CLOEXEC)), buffer_(fd_), stream_(&buffer_) {}
    ~NullOutput() { ::close(fd_); }
    std::ostream& Stream() { return stream_; }

private:
    int fd_;
    StandardOutputBuffer buffer_;
    std::ostream stream_;
};

// The terminal's batch over small files allocates nothing per file once it
// runs: names and paths are built in buffers that it reuses.
TEST(heap_use_test, a_steady_batch_allocates_nothing_per_file) {
    if (!test::HeapCounted()) GTEST_SKIP() << "a sanitizer counts the heap";
    TempDir dir;
    constexpr int Count = 1000;
    const std::vector<std::int16_t> samples(128, 1000);
    for (int i = 0; i < Count; ++i) test::WriteSamples(dir.File(NumberedName(i)), samples);
    SetStartMode(StartMode::Standalone);
    SetCommandLineMode(true);
    NullOutput out;
    std::ostringstream err;
    for (const std::int32_t jobs : {1, 2}) {
        SCOPED_TRACE(jobs);
        BatchSettings settings;
        settings.jobs = jobs;
        const std::vector<std::string> fields = {"e", "p", "128", dir.Path() + "*.dat", "*.out"};
        // A first run makes what the process keeps (tables, caches).
        ASSERT_EQ(RunCommandLine(fields, settings, out.Stream(), err, false, false), 0) << err.str();
        const test::HeapUse before = test::CurrentHeapUse();
        ASSERT_EQ(RunCommandLine(fields, settings, out.Stream(), err, false, false), 0) << err.str();
        const double perFile = static_cast<double>(test::CurrentHeapUse().allocations - before.allocations) / Count;
        RecordProperty("allocations_per_file_jobs_" + std::to_string(jobs), std::to_string(perFile));
        EXPECT_LE(perFile, 0.5);
    }
}

}  // namespace
}  // namespace tavox
