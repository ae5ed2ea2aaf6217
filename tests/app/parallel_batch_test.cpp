#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/Application.h"
#include "app/ApplicationEvents.h"
#include "app/Files.h"
#include "app/Jobs.h"
#include "app/MainModule.h"
#include "common/OutputOptions.h"
#include "data/Data.h"
#include "engine/File.h"
#include "engine/Parameters.h"
#include "support/TestSupport.h"

// A batch gives the same events, results and files with any number of jobs:
// files transformed ahead on worker threads, or the exposures of a lone file,
// are taken in order as on one thread.

namespace tavox {
namespace {

using Folder = std::map<std::string, std::string>;

std::vector<std::int16_t> Signal(std::size_t length, int seed) {
    std::vector<std::int16_t> samples(length);
    std::uint32_t state = 2654435761u * static_cast<std::uint32_t>(seed + 1);
    for (std::size_t i = 0; i < length; ++i) {
        state = state * 1664525u + 1013904223u;
        const double noise = static_cast<double>(state >> 16) / 65536.0 * 9000.0 - 4500.0;
        const double tone = 12000.0 * std::sin(0.031 * static_cast<double>(i) * (1 + seed % 5));
        samples[i] = static_cast<std::int16_t>(std::lround(tone + noise));
    }
    return samples;
}

// Sources of many lengths: most fit, some are short or empty, one ends in an
// odd byte.
void WriteSources(const test::TempDir& dir, int count, std::size_t length) {
    for (int i = 0; i < count; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "s%02d.dat", i);
        const std::size_t n = i % 7 == 3 ? length / 3 : (i % 11 == 5 ? 0 : length + static_cast<std::size_t>(i) * 37);
        test::WriteSamples(dir.File(name), Signal(n, i));
    }
    if (count > 1) test::WriteBytes(dir.File("odd.dat"), test::ReadBytes(dir.File("s00.dat")) + "\x7F");
}

Folder Contents(const std::string& folder) {
    Folder contents;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        contents[entry.path().filename().string()] = test::ReadBytes(entry.path().string());
    }
    return contents;
}

// Logs every event with what a client sees of the file at that moment.
class Log : public ApplicationEvents {
public:
    void WillExecute(std::int16_t&) override { lines.push_back("Will"); }
    void FileComplete(std::shared_ptr<File>& file, std::int32_t& result) override {
        std::string line = "File " + file->Name() + " " + std::to_string(result) + " exposures " +
                           std::to_string(file->ExposuresDone()) + " samples " +
                           std::to_string(file->GetData().Length());
        for (const std::string& output : file->GetData().WrittenOutputs()) {
            line += " " + std::filesystem::path(output).filename().string();
        }
        lines.push_back(line);
        if (onFile) onFile();
    }
    void ExecuteComplete() override { lines.push_back("Done"); }

    std::vector<std::string> lines;
    std::function<void()> onFile;
};

struct Batch {
    fftMethodEnum method = fftMethodSimple;
    fftWindowEnum window = fftWindowHanning;
    bool center = false;
    bool phase = false;
    std::int32_t width = 256;
    std::int32_t repeat = 1;
    OutputOptions options;
    std::string finish;  // the Finish parameter, when set
};

struct Outcome {
    std::vector<std::string> events;
    Folder folder;
};

// Runs `batch` over `sources` (a mask in `dir`) with `jobs`; `prepare` may
// subscribe handlers of its own; `stop` becomes the host's stopRequested.
Outcome RunBatch(const test::TempDir& dir, const std::string& sources, const std::string& mask, const Batch& batch,
                 std::int32_t jobs, const std::function<void(Application&, Log&)>& prepare = {},
                 std::function<bool()> stop = {}) {
    const auto app = Application::Create();
    app->SetJobs(jobs);
    Parameters& p = *app->FFTParameters();
    p.SetWidth(batch.width);
    p.SetWindow(batch.window);
    p.SetCenter(batch.center);
    p.SetPhase(batch.phase);
    p.SetMethod(batch.method);
    p.SetRepeat(batch.repeat);
    if (!batch.finish.empty()) p.SetFinish(Variant(batch.finish));
    app->FFTFiles()->SetOutputOptions(batch.options);
    Variant source(dir.File(sources));
    Variant target(mask);
    app->FFTFiles()->Add(fftDataDiskFile, source, target);
    const auto log = std::make_shared<Log>();
    app->Subscribe(log);
    if (prepare) prepare(*app, *log);
    InstallHostHooks({[&log] { log->lines.push_back("Pump"); }, nullptr, std::move(stop)});
    try {
        app->FFTExecute();
    } catch (...) {
        InstallHostHooks({});
        throw;
    }
    InstallHostHooks({});
    return Outcome{log->lines, Contents(dir.Path())};
}

// The batch over a fresh folder of sources, once per job count; every run
// must give what one thread gives.
void ExpectSameWithEveryJobCount(const Batch& batch, int count, std::size_t length, const std::string& mask,
                                 const std::string& trace) {
    Outcome serial;
    for (const std::int32_t jobs : {1, 2, 7}) {
        test::TempDir dir;
        WriteSources(dir, count, length);
        const Outcome outcome = RunBatch(dir, "*.dat", mask, batch, jobs);
        if (jobs == 1) {
            serial = outcome;
            ASSERT_GT(serial.folder.size(), static_cast<std::size_t>(count)) << trace << ": nothing was written";
            continue;
        }
        EXPECT_EQ(outcome.events, serial.events) << trace << ", jobs " << jobs;
        EXPECT_TRUE(outcome.folder == serial.folder) << trace << ", jobs " << jobs << ": the files differ";
    }
}

TEST(parallel_batch_test, every_method_window_and_centring_gives_the_files_of_one_thread) {
    for (const fftMethodEnum method : {fftMethodSimple, fftMethodAverage, fftMethodMulti}) {
        for (const fftWindowEnum window : {fftWindowRectangle, fftWindowHanning, fftWindowFlatTop}) {
            for (const bool center : {false, true}) {
                Batch batch;
                batch.method = method;
                batch.window = window;
                batch.center = center;
                batch.phase = method == fftMethodSimple && center;
                batch.repeat = method == fftMethodSimple ? 1 : 4;
                ExpectSameWithEveryJobCount(batch, 24, 1500, "*.out",
                                            "method " + std::to_string(method) + " window " + std::to_string(window) +
                                                " centre " + std::to_string(center));
            }
        }
    }
}

TEST(parallel_batch_test, every_format_and_average_mode_gives_the_files_of_one_thread) {
    for (const OutputFormat format : {OutputFormat::Raw, OutputFormat::Csv, OutputFormat::F32, OutputFormat::Npy}) {
        for (const fftMethodEnum method : {fftMethodSimple, fftMethodAverage, fftMethodMulti}) {
            Batch batch;
            batch.method = method;
            batch.phase = method == fftMethodSimple;
            batch.repeat = method == fftMethodSimple ? 1 : 3;
            batch.options.format = format;
            batch.options.rate = 48000.0;
            ExpectSameWithEveryJobCount(batch, 20, 700, "*.res", std::string(FormatName(format)));
        }
    }
    for (const AverageMode mode : {AverageMode::Rms, AverageMode::Max, AverageMode::Median}) {
        Batch batch;
        batch.method = fftMethodAverage;
        batch.repeat = 5;
        batch.options.average = mode;
        ExpectSameWithEveryJobCount(batch, 20, 2000, "*.res", std::string(AverageName(mode)));
    }
}

// One long source: its exposures are computed on the worker threads, summed
// and named in exposure order; also when the source runs out part of the way.
TEST(parallel_batch_test, exposures_of_a_lone_file_give_the_files_of_one_thread) {
    for (const AverageMode mode : {AverageMode::Mean, AverageMode::Rms, AverageMode::Max, AverageMode::Median}) {
        for (const fftMethodEnum method : {fftMethodAverage, fftMethodMulti}) {
            if (method == fftMethodMulti && mode != AverageMode::Mean) continue;
            for (const char* finish : {"", "400000"}) {
                Batch batch;
                batch.method = method;
                batch.width = 1024;
                batch.repeat = 160;
                batch.options.average = mode;
                batch.finish = finish;
                ExpectSameWithEveryJobCount(
                    batch, 1, 200000, "*o.*",
                    std::string(AverageName(mode)) + " method " + std::to_string(method) + " finish " + finish);
            }
        }
    }
}

// The matrix layout: one output per source, for many sources (transformed
// ahead) and for a lone long one (its exposures on the threads), in every
// format that holds a matrix; its rows are, bit for bit, the outputs of the
// files layout. A source that runs out part of the way leaves no matrix.
TEST(parallel_batch_test, a_matrix_holds_the_rows_of_the_files_layout_on_any_number_of_threads) {
    // An .npz names its source, whose folder differs from run to run: it is
    // compared in one folder below.
    for (const OutputFormat format : {OutputFormat::Npy, OutputFormat::Csv, OutputFormat::F32}) {
        Batch batch;
        batch.method = fftMethodMulti;
        batch.repeat = 3;
        batch.options.format = format;
        batch.options.layout = OutputLayout::Matrix;
        batch.options.rate = 8000.0;
        ExpectSameWithEveryJobCount(batch, 20, 700, "*.res", std::string(FormatName(format)));
        batch.width = 1024;
        batch.repeat = 160;
        ExpectSameWithEveryJobCount(batch, 1, 200000, "*.res", std::string(FormatName(format)) + ", one source");
    }

    Batch batch;
    batch.method = fftMethodMulti;
    batch.width = 1024;
    batch.repeat = 160;
    batch.options.format = OutputFormat::Npy;
    test::TempDir dir;
    test::WriteSamples(dir.File("s.dat"), Signal(200000, 4));
    std::string npz;
    for (const std::int32_t jobs : {1, 2, 7}) {
        batch.options.layout = OutputLayout::Matrix;
        batch.options.format = OutputFormat::Npz;
        const std::string archive = RunBatch(dir, "s.dat", "*.npz", batch, jobs).folder.at("s.npz");
        if (jobs == 1) npz = archive;
        EXPECT_TRUE(archive == npz) << "jobs " << jobs;
        batch.options.format = OutputFormat::Npy;
        batch.options.layout = OutputLayout::Files;
        const Outcome files = RunBatch(dir, "s.dat", "*.*", batch, jobs);
        batch.options.layout = OutputLayout::Matrix;
        const Outcome matrix = RunBatch(dir, "s.dat", "*.npy", batch, jobs);
        ASSERT_EQ(files.folder.count("s.160"), 1u);
        const std::string& written = matrix.folder.at("s.npy");
        const std::size_t rowHeader = files.folder.at("s.001").size() - 512 * 8;
        std::string rows;
        for (int k = 1; k <= 160; ++k) {
            char name[8];
            std::snprintf(name, sizeof name, "s.%03d", k);
            rows += files.folder.at(name).substr(rowHeader);
        }
        EXPECT_EQ(written.size(), 128 + rows.size()) << "jobs " << jobs;
        EXPECT_TRUE(written.substr(written.size() - rows.size()) == rows) << "jobs " << jobs;
        const std::string& line = matrix.events.at(2);
        EXPECT_NE(line.find(" 1101 exposures 160 samples 200000 s.npy"), std::string::npos) << line;
        EXPECT_EQ(line.substr(line.size() - 6), " s.npy") << line;

        // Exposures past the end of the source: 1106, and the old output stays.
        batch.finish = "400000";
        const Outcome cut = RunBatch(dir, "s.dat", "*.npy", batch, jobs);
        batch.finish.clear();
        EXPECT_NE(cut.events.at(2).find(" " + std::to_string(fftResultShortFile) + " "), std::string::npos)
            << cut.events.at(2);
        EXPECT_TRUE(cut.folder.at("s.npy") == written) << "jobs " << jobs;
    }
}

// The output of exposure 2 of "sig.002" would be its own source: the run
// stops there, on every thread count, with the same exposures counted.
TEST(parallel_batch_test, a_refused_output_ends_the_exposures_as_on_one_thread) {
    for (const int files : {1, 18}) {
        Outcome serial;
        for (const std::int32_t jobs : {1, 2, 7}) {
            test::TempDir dir;
            test::WriteSamples(dir.File("sig.002"), Signal(200000, 3));
            for (int i = 1; i < files; ++i)
                test::WriteSamples(dir.File("x" + std::to_string(i) + ".002"), Signal(3000, i));
            Batch batch;
            batch.method = fftMethodMulti;
            batch.width = 1024;
            batch.repeat = files == 1 ? 150 : 2;
            const Outcome outcome = RunBatch(dir, "*.002", "*.*", batch, jobs);
            if (jobs == 1) {
                serial = outcome;
                ASSERT_NE(serial.events.at(2).find("sig.002 " + std::to_string(fftResultFileNameErr) + " exposures 2"),
                          std::string::npos)
                    << serial.events.at(2);
                continue;
            }
            EXPECT_EQ(outcome.events, serial.events) << "jobs " << jobs;
            EXPECT_TRUE(outcome.folder == serial.folder) << "jobs " << jobs;
        }
    }
}

// A rerun over a folder whose earlier outputs are also sources: an output
// written in its turn replaces a later source before that is read, also when
// a worker read the old file ahead of its turn.
TEST(parallel_batch_test, an_output_that_is_a_later_source_is_read_after_it_is_written) {
    Outcome serial;
    for (const std::int32_t jobs : {1, 2, 7}) {
        test::TempDir dir;
        for (int i = 0; i < 20; ++i) {
            const std::string stem = "f" + std::to_string(10 + i);
            test::WriteSamples(dir.File(stem + ".dat"), Signal(600, i));
            test::WriteSamples(dir.File(stem + "x.dat"), Signal(600, 100 + i));  // replaced by the output of stem.dat
        }
        Batch batch;
        batch.width = 128;
        const Outcome outcome = RunBatch(dir, "*.dat", "*x.*", batch, jobs);
        if (jobs == 1) {
            serial = outcome;
            continue;
        }
        EXPECT_EQ(outcome.events, serial.events) << "jobs " << jobs;
        EXPECT_TRUE(outcome.folder == serial.folder) << "jobs " << jobs;
    }
}

// Parameters and output options changed by a handler apply to the files
// after it, also to those a worker transformed ahead of their turn.
TEST(parallel_batch_test, parameters_changed_by_a_handler_apply_to_the_files_after_it) {
    Outcome serial;
    for (const std::int32_t jobs : {1, 2, 7}) {
        test::TempDir dir;
        WriteSources(dir, 30, 1200);
        Batch batch;
        int reported = 0;
        const Outcome outcome = RunBatch(dir, "*.dat", "*.out", batch, jobs, [&reported](Application& app, Log& log) {
            log.onFile = [&app, &reported] {
                ++reported;
                if (reported == 2) {
                    OutputOptions csv;
                    csv.format = OutputFormat::Csv;
                    app.FFTFiles()->SetOutputOptions(csv);
                }
                if (reported == 10) app.FFTParameters()->SetWidth(512);
                if (reported == 20) app.FFTParameters()->SetWindow(fftWindowFlatTop);
            };
        });
        if (jobs == 1) {
            serial = outcome;
            ASSERT_EQ(serial.folder.at("s00.out").size(), 256u);
            ASSERT_EQ(serial.folder.at("s02.out").substr(0, 4), "bin,");
            continue;
        }
        EXPECT_EQ(outcome.events, serial.events) << "jobs " << jobs;
        EXPECT_TRUE(outcome.folder == serial.folder) << "jobs " << jobs;
    }
}

// A break, a cancel or an error of a handler leaves outputs of exactly the
// files reported, and no hidden file of outputs written ahead.
TEST(parallel_batch_test, a_stopped_run_leaves_outputs_of_exactly_the_files_reported) {
    for (const std::int32_t jobs : {2, 7}) {
        for (const int stopAfter : {0, 1, 6, 29}) {
            for (const bool raise : {false, true}) {
                SCOPED_TRACE("jobs " + std::to_string(jobs) + " after " + std::to_string(stopAfter) +
                             (raise ? " by an error" : " by a break"));
                test::TempDir dir;
                for (int i = 0; i < 40; ++i)
                    test::WriteSamples(dir.File("f" + std::to_string(100 + i) + ".dat"), Signal(300, i));
                int reported = 0;
                const auto prepare = [&](Application& app, Log& log) {
                    if (stopAfter == 0 && !raise) {
                        struct Cancel : ApplicationEvents {
                            void WillExecute(std::int16_t& cancel) override { cancel = -1; }
                        };
                        app.Subscribe(std::make_shared<Cancel>());
                    }
                    log.onFile = [&app, &reported, stopAfter, raise] {
                        if (++reported != stopAfter) return;
                        if (raise) throw std::runtime_error("handler");
                        app.BreakFFT();
                    };
                };
                Batch batch;
                batch.width = 128;
                bool raised = false;
                try {
                    RunBatch(dir, "*.dat", "*.out", batch, jobs, prepare);
                } catch (const std::runtime_error&) {
                    raised = true;
                }
                EXPECT_EQ(raised, raise && stopAfter > 0);
                if (stopAfter > 0) {
                    EXPECT_EQ(reported, stopAfter);
                }
                for (int i = 0; i < 40; ++i) {
                    const bool written = std::filesystem::exists(dir.File("f" + std::to_string(100 + i) + ".out"));
                    EXPECT_EQ(written, i < reported) << i;
                }
                for (const std::string& name : test::FolderEntries(dir.Path())) {
                    EXPECT_NE(name.front(), '.') << "left behind: " << name;
                }
            }
        }
    }
}

using ThreadIds = std::set<std::string>;

ThreadIds Threads() {
    ThreadIds ids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        ids.insert(entry.path().filename().string());
    }
    return ids;
}

// Threads listed now and not in `before`. Threads are told apart by id: one
// that has been joined may still be listed for a moment while it ends, and
// would otherwise be taken for a thread of the next batch.
int NewThreads(const ThreadIds& before) {
    int count = 0;
    for (const std::string& id : Threads()) count += before.count(id) == 0 ? 1 : 0;
    return count;
}

// Waits until the threads started since `before` have ended; false when one
// is still there after a minute.
bool NewThreadsEnd(const ThreadIds& before) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (NewThreads(before) > 0) {
        if (std::chrono::steady_clock::now() > limit) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The threads of a batch run while it runs: for the files of a batch from
// before the first file is reported, for the exposures of a lone file while
// its exposures run (the host's stop test is asked between them). Workers
// end once nothing is left to hand out; with more items than their window
// holds, all of them are still there at the first file or exposure.
TEST(parallel_batch_test, one_job_starts_no_thread_and_more_start_them_once_per_batch) {
    for (const std::int32_t jobs : {1, 2, 7}) {
        for (const int files : {1, 30}) {
            SCOPED_TRACE(std::to_string(jobs) + " jobs, " + std::to_string(files) + " files");
            test::TempDir dir;
            WriteSources(dir, files, files == 1 ? 150 * 16384 : 20000);
            Batch batch;
            batch.method = fftMethodAverage;
            batch.width = 16384;
            batch.repeat = files == 1 ? 150 : 2;
            std::vector<int> atFiles;
            std::vector<int> atExposures;  // the stop test may be asked on any thread
            std::mutex exposuresMutex;
            const ThreadIds before = Threads();
            RunBatch(
                dir, "*.dat", "*.out", batch, jobs,
                [&](Application&, Log& log) {
                    // A lone file's workers are joined by its end; one may
                    // still be listed for a moment while it ends.
                    log.onFile = [&] {
                        atFiles.push_back(files == 1 && NewThreadsEnd(before) ? 0 : NewThreads(before));
                    };
                },
                [&] {
                    const int extra = NewThreads(before);
                    std::lock_guard lock(exposuresMutex);
                    atExposures.push_back(extra);
                    return false;
                });
            const int expected = jobs - 1;  // the batch's own thread is one of them
            const std::vector<int>& seen = files == 1 ? atExposures : atFiles;
            ASSERT_FALSE(seen.empty());
            EXPECT_EQ(seen.front(), expected);
            for (const int extra : atFiles) EXPECT_LE(extra, files == 1 ? 0 : expected);
            for (const int extra : atExposures) EXPECT_LE(extra, expected);
            EXPECT_TRUE(NewThreadsEnd(before));
        }
    }
}

// The host's stop test cuts the exposures of a lone file short in the same
// place on any number of threads: it is asked on the batch's thread.
TEST(parallel_batch_test, a_stop_cuts_the_exposures_of_a_lone_file_at_the_same_place) {
    for (const fftMethodEnum method : {fftMethodAverage, fftMethodMulti}) {
        Outcome serial;
        for (const std::int32_t jobs : {1, 2, 7}) {
            test::TempDir dir;
            WriteSources(dir, 1, 300000);
            Batch batch;
            batch.method = method;
            batch.width = 2048;
            batch.repeat = 100;
            int asked = 0;
            const Outcome outcome = RunBatch(dir, "*.dat", "*.*", batch, jobs, {}, [&asked] { return ++asked > 40; });
            if (jobs == 1) {
                serial = outcome;
                ASSERT_NE(serial.events.at(2).find(" " + std::to_string(fftResultRepeatFail) + " exposures 41"),
                          std::string::npos)
                    << serial.events.at(2);
                continue;
            }
            EXPECT_EQ(outcome.events, serial.events) << "jobs " << jobs;
            EXPECT_TRUE(outcome.folder == serial.folder) << "jobs " << jobs;
        }
    }
}

TEST(parallel_batch_test, jobs_are_counted_from_zero_to_the_limit) {
    const auto app = Application::Create();
    EXPECT_EQ(app->Jobs(), 0);
    app->SetJobs(MaxJobs);
    EXPECT_EQ(app->Jobs(), MaxJobs);
    EXPECT_AUTOMATION_NUMBER(app->SetJobs(-1), ErrInvalidCall);
    EXPECT_AUTOMATION_NUMBER(app->SetJobs(MaxJobs + 1), ErrInvalidCall);
    EXPECT_EQ(app->Jobs(), MaxJobs);

    EXPECT_EQ(ReadJobs("0"), 0);
    EXPECT_EQ(ReadJobs("7"), 7);
    EXPECT_EQ(ReadJobs("256"), 256);
    for (const char* bad : {"", "257", "-1", "+2", " 2", "2 ", "1.5", "two", "0x10", "1000"}) {
        EXPECT_FALSE(ReadJobs(bad).has_value()) << bad;
    }
    EXPECT_GE(AvailableCpus(), 1);

    const char* saved = std::getenv("TAVOX_JOBS");
    const std::string kept = saved ? saved : "";
    setenv("TAVOX_JOBS", "5", 1);
    EXPECT_EQ(DefaultJobs(), 5);
    for (const char* ignored : {"0", "many", ""}) {
        setenv("TAVOX_JOBS", ignored, 1);
        EXPECT_EQ(DefaultJobs(), AvailableCpus()) << ignored;
    }
    if (saved) {
        setenv("TAVOX_JOBS", kept.c_str(), 1);
    } else {
        unsetenv("TAVOX_JOBS");
    }
}

}  // namespace
}  // namespace tavox
