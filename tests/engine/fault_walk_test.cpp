#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/Files.h"
#include "common/Enums.h"
#include "engine/File.h"
#include "engine/Parameters.h"
#include "support/FaultyFileSystem.h"
#include "support/TestSupport.h"

namespace tavox {
namespace {

using test::FaultyFileSystem;
using test::FsCall;
using Snapshot = std::map<std::string, std::string>;

constexpr std::array<FsCall, 10> AllKinds = {FsCall::FileSize, FsCall::FileExists,   FsCall::DeleteFileForced,
                                             FsCall::OpenRead, FsCall::CreateOutput, FsCall::ReadAt,
                                             FsCall::Write,    FsCall::Close,        FsCall::Rename,
                                             FsCall::List};

// The kinds a transform calls on the file system itself (the others are
// calls on its open files).
constexpr std::array<FsCall, 6> TopLevelKinds = {FsCall::FileSize, FsCall::FileExists,   FsCall::DeleteFileForced,
                                                 FsCall::OpenRead, FsCall::CreateOutput, FsCall::List};

const char* KindName(FsCall kind) {
    static constexpr const char* names[] = {
        "FileSize", "FileExists", "DeleteFileForced", "OpenRead", "CreateOutput", "ReadAt",
        "Write",    "Close",      "Rename",           "List"};
    return names[static_cast<std::size_t>(kind)];
}

// The result code a transform must return when this one call fails and all
// others succeed.
std::int32_t ExpectedResult(FsCall kind) {
    switch (kind) {
        case FsCall::FileExists:
            return fftResultAllRight;
        case FsCall::Write:
        case FsCall::Close:
            return fftResultTargetFull;
        default:
            return fftResultFileSysErr;
    }
}

bool WritesOutputs(FsCall kind) {
    return kind == FsCall::CreateOutput || kind == FsCall::Write || kind == FsCall::Close || kind == FsCall::Rename;
}

Snapshot Folder(const std::string& folder) {
    Snapshot files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        files[entry.path().filename().string()] = test::ReadBytes(entry.path().string());
    }
    return files;
}

std::vector<std::int16_t> Signal(std::size_t length) {
    std::vector<std::int16_t> samples(length);
    for (std::size_t i = 0; i < length; ++i) {
        samples[i] = static_cast<std::int16_t>(std::lround(2000.0 * std::sin(0.37 * static_cast<double>(i)) +
                                                           300.0 * std::cos(0.05 * static_cast<double>(i))));
    }
    return samples;
}

// Counts every top-level call, also those FaultyFileSystem cannot fail, to
// show that the walk leaves none out.
class CountingFileSystem : public FileSystem {
public:
    explicit CountingFileSystem(std::shared_ptr<FileSystem> inner) : inner_(std::move(inner)) {}
    int Total() const { return total_; }
    int Uncovered() const { return uncovered_; }

    std::optional<std::uint64_t> FileSize(const std::string& p) override { return ++total_, inner_->FileSize(p); }
    bool FileExists(const std::string& p) override { return ++total_, inner_->FileExists(p); }
    bool DeleteFileForced(const std::string& p) override { return ++total_, inner_->DeleteFileForced(p); }
    std::unique_ptr<InputFile> OpenRead(const std::string& p) override { return ++total_, inner_->OpenRead(p); }
    std::unique_ptr<OutputFile> CreateOutput(const std::string& p) override {
        return ++total_, inner_->CreateOutput(p);
    }
    std::vector<std::string> List(const std::string& f, const std::string& p) override {
        return ++total_, inner_->List(f, p);
    }
    std::string MountPoint(const std::string& p) override { return ++total_, ++uncovered_, inner_->MountPoint(p); }
    std::optional<std::uint64_t> FreeSpace(const std::string& p) override {
        return ++total_, ++uncovered_, inner_->FreeSpace(p);
    }
    std::optional<std::string> ReadSmallFile(const std::string& p, std::size_t maxBytes) override {
        return ++total_, inner_->ReadSmallFile(p, maxBytes);
    }
    bool ReplaceFile(const std::string& p, std::string_view bytes) override {
        return ++total_, inner_->ReplaceFile(p, bytes);
    }
    PathCheck CheckPath(const std::string& p) override { return ++total_, ++uncovered_, inner_->CheckPath(p); }
    bool SameFile(const std::string& a, const std::string& b) override {
        ++sameFile_;
        return inner_->SameFile(a, b);
    }
    int SameFileCalls() const { return sameFile_; }

private:
    std::shared_ptr<FileSystem> inner_;
    int total_ = 0;
    int uncovered_ = 0;
    int sameFile_ = 0;
};

struct WalkCase {
    const char* name;
    fftMethodEnum method;
    std::int32_t repeat;
    bool phase;
    std::vector<std::string> outputs;  // names the transform writes
    bool rerun;                        // outputs of an earlier run are present
};

void PrintTo(const WalkCase& walk, std::ostream* os) {
    *os << walk.name;
}

// One folder with the source, an unrelated file and, for a rerun, old outputs;
// one File over the source through a FaultyFileSystem.
class Fixture {
public:
    explicit Fixture(const WalkCase& walk)
        : fileSystem_(std::make_shared<FaultyFileSystem>()),
          counting_(std::make_shared<CountingFileSystem>(fileSystem_)) {
        test::WriteSamples(dir_.File("sig.dat"), Signal(2000));
        test::WriteSamples(dir_.File("other.dat"), Signal(300));
        if (walk.rerun) {
            for (const std::string& name : walk.outputs) test::WriteBytes(dir_.File(name), "old " + name);
        }
        auto parameters = std::make_shared<Parameters>();
        parameters->SetMethod(walk.method);
        parameters->SetRepeat(walk.repeat);
        parameters->SetPhase(walk.phase);
        parameters->SetWindow(fftWindowHanning);
        parameters->SetWidth(256);
        files_ = std::make_shared<Files>(counting_);
        files_->SetParameters(parameters);
        Variant source(dir_.File("sig.dat"));
        Variant target("*out.*");
        files_->Add(fftDataDiskFile, source, target);
        file_ = files_->Item(Variant(std::int32_t{1}));
        before_ = Folder(dir_.Path());
    }

    FaultyFileSystem& FileSystem() { return *fileSystem_; }
    const CountingFileSystem& Counting() const { return *counting_; }
    File& TheFile() { return *file_; }
    const Snapshot& Before() const { return before_; }
    Snapshot Now() const { return Folder(dir_.Path()); }

private:
    test::TempDir dir_;
    std::shared_ptr<FaultyFileSystem> fileSystem_;
    std::shared_ptr<CountingFileSystem> counting_;
    std::shared_ptr<Files> files_;
    std::shared_ptr<File> file_;
    Snapshot before_;
};

class fault_walk_test : public ::testing::TestWithParam<WalkCase> {};

// Fails every file-system call of a transform in turn, one per run.
TEST_P(fault_walk_test, each_failing_call_is_reported_and_harms_nothing) {
    const WalkCase& walk = GetParam();
    const std::set<std::string> outputs(walk.outputs.begin(), walk.outputs.end());

    // The clean run: the calls a transform makes, and what it writes.
    Fixture clean(walk);
    std::array<int, AllKinds.size()> calls{};
    for (FsCall kind : AllKinds) calls[static_cast<std::size_t>(kind)] = clean.FileSystem().Calls(kind);
    const int totalBefore = clean.Counting().Total();
    ASSERT_EQ(clean.TheFile().Transform(), fftResultAllRight);
    const Snapshot written = clean.Now();
    for (FsCall kind : AllKinds)
        calls[static_cast<std::size_t>(kind)] = clean.FileSystem().Calls(kind) - calls[static_cast<std::size_t>(kind)];
    for (const std::string& name : outputs) ASSERT_EQ(written.count(name), 1u) << name;
    // Every call the transform makes is one the walk can fail. Whether an
    // output names its own source is told by the identities of the open
    // source and of the output path, without further questions.
    int topLevel = 0;
    for (FsCall kind : TopLevelKinds) topLevel += calls[static_cast<std::size_t>(kind)];
    const int outputCount = static_cast<int>(outputs.size());
    EXPECT_EQ(clean.Counting().Total() - totalBefore, topLevel);
    EXPECT_EQ(clean.Counting().Uncovered(), 0);
    EXPECT_EQ(clean.Counting().SameFileCalls(), 0);
    EXPECT_GT(calls[static_cast<std::size_t>(FsCall::ReadAt)], 0);
    EXPECT_EQ(calls[static_cast<std::size_t>(FsCall::Close)], outputCount);
    // Every output, old or new, is a new file that takes the output's name.
    EXPECT_EQ(calls[static_cast<std::size_t>(FsCall::CreateOutput)], outputCount);
    EXPECT_EQ(calls[static_cast<std::size_t>(FsCall::Rename)], outputCount);
    EXPECT_EQ(calls[static_cast<std::size_t>(FsCall::DeleteFileForced)], 0);

    int walked = 0;
    for (FsCall kind : AllKinds) {
        for (int nth = 1; nth <= calls[static_cast<std::size_t>(kind)]; ++nth) {
            SCOPED_TRACE(std::string(KindName(kind)) + " call " + std::to_string(nth));
            Fixture fixture(walk);
            fixture.FileSystem().FailCall(kind, nth);
            const std::int32_t result = fixture.TheFile().Transform();
            ++walked;

            EXPECT_EQ(result, ExpectedResult(kind));
            EXPECT_EQ(fixture.FileSystem().OpenHandles(), 0);
            const Snapshot after = fixture.Now();
            for (const auto& [name, bytes] : fixture.Before()) {
                if (outputs.count(name) == 0) {
                    EXPECT_EQ(after.count(name) ? after.at(name) : "<deleted>", bytes) << name;
                }
            }
            for (const auto& [name, bytes] : after) {
                // No new file is left behind, under its own name or a hidden one.
                EXPECT_TRUE(fixture.Before().count(name) || outputs.count(name)) << "unexpected file " << name;
                if (outputs.count(name) == 0) continue;
                // Complete when the run reports success. A failed write leaves
                // each output as it was or complete, never in part.
                const auto old = fixture.Before().find(name);
                if (result == fftResultAllRight) {
                    EXPECT_EQ(bytes, written.at(name)) << name;
                } else if (WritesOutputs(kind)) {
                    EXPECT_TRUE(bytes == written.at(name) || (old != fixture.Before().end() && bytes == old->second))
                        << name;
                }
            }
        }
    }
    EXPECT_GT(walked, 0);
}

INSTANTIATE_TEST_SUITE_P(
    methods, fault_walk_test,
    ::testing::Values(WalkCase{"simple", fftMethodSimple, 1, true, {"sigout.dat"}, false},
                      WalkCase{"simple_rerun", fftMethodSimple, 1, true, {"sigout.dat"}, true},
                      WalkCase{"average", fftMethodAverage, 3, false, {"sigout.dat"}, false},
                      WalkCase{"average_rerun", fftMethodAverage, 3, false, {"sigout.dat"}, true},
                      WalkCase{"multi", fftMethodMulti, 3, false, {"sigout.001", "sigout.002", "sigout.003"}, false},
                      WalkCase{
                          "multi_rerun", fftMethodMulti, 3, false, {"sigout.001", "sigout.002", "sigout.003"}, true}),
    [](const ::testing::TestParamInfo<WalkCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavox
