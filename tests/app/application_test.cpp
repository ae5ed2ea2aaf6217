#include "app/Application.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/ApplicationEvents.h"
#include "app/Files.h"
#include "app/MainModule.h"
#include "data/Data.h"
#include "engine/File.h"
#include "engine/Parameters.h"
#include "support/TestSupport.h"

namespace tavox {
namespace {

using test::TempDir;

// Records every event as a short text into a shared log; optional actions
// run inside the handlers.
class RecordingSink : public ApplicationEvents {
public:
    RecordingSink(std::vector<std::string>& log, std::string tag = "") : log_(log), tag_(std::move(tag)) {}

    void WillExecute(std::int16_t& Cancel) override {
        log_.push_back(tag_ + "Will");
        if (onWill) onWill(Cancel);
    }
    void FileComplete(std::shared_ptr<File>& File, std::int32_t& Result) override {
        ++files;
        log_.push_back(tag_ + "File " + (File ? File->Name() : "<none>") + " " + std::to_string(Result));
        if (onFile) onFile(File, Result);
    }
    void ExecuteComplete() override {
        log_.push_back(tag_ + "Done");
        if (onDone) onDone();
    }

    std::function<void(std::int16_t&)> onWill;
    std::function<void(std::shared_ptr<File>&, std::int32_t&)> onFile;
    std::function<void()> onDone;
    int files = 0;

private:
    std::vector<std::string>& log_;
    std::string tag_;
};

// Start mode and host hooks are restored after every test.
class ApplicationTest : public testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"a.dat", "b.dat", "c.dat", "d.dat"}) {
            test::WriteSamples(dir.File(name), std::vector<std::int16_t>(256, 100));
        }
        app = Application::Create();
        app->FFTParameters()->SetWidth(128);
        Variant source(dir.Path() + "*.dat");
        Variant target("*.out");
        app->FFTFiles()->Add(fftDataDiskFile, source, target);
        sink = std::make_shared<RecordingSink>(log);
        app->Subscribe(sink);
    }
    void TearDown() override {
        InstallHostHooks({});
        SetStartMode(StartMode::Automation);
    }

    void InstallPump(std::function<void()> extra = nullptr) {
        InstallHostHooks({[this, extra] {
                              log.push_back("Pump");
                              if (extra) extra();
                          },
                          nullptr, nullptr});
    }

    TempDir dir;
    std::shared_ptr<Application> app;
    std::vector<std::string> log;
    std::shared_ptr<RecordingSink> sink;
};

const std::string AllRight = std::to_string(fftResultAllRight);

TEST_F(ApplicationTest, owns_one_parameters_and_one_files_for_life) {
    EXPECT_EQ(app->FFTParameters(), app->FFTParameters());
    EXPECT_EQ(app->FFTFiles(), app->FFTFiles());
    ASSERT_EQ(app->FFTFiles()->Count(), 4);
    // Every File shares the application's Parameters: a width set here reaches the transform.
    app->FFTParameters()->SetWidth(512);
    EXPECT_EQ(app->FFTFiles()->Item(Variant(std::int32_t{1}))->Transform(), fftResultShortFile);
}

TEST_F(ApplicationTest, runs_pump_break_test_transform_and_event_per_file_in_order) {
    InstallPump();
    app->FFTExecute();
    const std::vector<std::string> expected = {"Will",
                                               "Pump",
                                               "File a.dat " + AllRight,
                                               "Pump",
                                               "File b.dat " + AllRight,
                                               "Pump",
                                               "File c.dat " + AllRight,
                                               "Pump",
                                               "File d.dat " + AllRight,
                                               "Done"};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(test::ReadSamples(dir.File("a.out")).size(), 64u);
}

TEST_F(ApplicationTest, empty_collection_raises_will_and_complete_only) {
    const auto empty = Application::Create();
    std::vector<std::string> own;
    empty->Subscribe(std::make_shared<RecordingSink>(own));
    empty->FFTExecute();
    EXPECT_EQ(own, (std::vector<std::string>{"Will", "Done"}));
}

TEST_F(ApplicationTest, cancel_minus_one_skips_every_file_other_values_do_not) {
    sink->onWill = [](std::int16_t& cancel) { cancel = -1; };
    app->FFTExecute();
    EXPECT_EQ(log, (std::vector<std::string>{"Will", "Done"}));
    EXPECT_TRUE(app->BreakRequested());

    for (const std::int16_t value : {std::int16_t{1}, std::int16_t{-2}, std::int16_t{32767}}) {
        log.clear();
        sink->onWill = [value](std::int16_t& cancel) { cancel = value; };
        app->FFTExecute();
        EXPECT_EQ(sink->files % 4, 0);
        EXPECT_EQ(log.size(), 6u) << "Cancel " << value;
    }
}

TEST_F(ApplicationTest, cancel_arrives_as_zero_and_a_later_sink_sees_an_earlier_sinks_cancel) {
    std::vector<std::int16_t> seen;
    sink->onWill = [&](std::int16_t& cancel) {
        seen.push_back(cancel);
        cancel = -1;
    };
    auto second = std::make_shared<RecordingSink>(log, "2:");
    second->onWill = [&](std::int16_t& cancel) { seen.push_back(cancel); };
    app->Subscribe(second);
    app->FFTExecute();
    EXPECT_EQ(seen, (std::vector<std::int16_t>{0, -1}));
    EXPECT_EQ(sink->files, 0);
}

TEST_F(ApplicationTest, break_before_the_run_has_no_effect) {
    app->BreakFFT();
    EXPECT_TRUE(app->BreakRequested());
    app->FFTExecute();
    EXPECT_EQ(sink->files, 4);
    EXPECT_FALSE(app->BreakRequested());
}

TEST_F(ApplicationTest, break_from_the_kth_file_complete_stops_before_the_next_file) {
    for (int k = 1; k <= 4; ++k) {
        log.clear();
        sink->files = 0;
        sink->onFile = [&, k](std::shared_ptr<File>&, std::int32_t&) {
            if (sink->files == k) app->BreakFFT();
        };
        InstallPump();
        app->FFTExecute();
        EXPECT_EQ(sink->files, k);
        EXPECT_EQ(log.back(), "Done");
        // The pump of the pass that finds the flag still runs.
        const auto pumps = std::count(log.begin(), log.end(), "Pump");
        EXPECT_EQ(pumps, k < 4 ? k + 1 : 4);
    }
}

TEST_F(ApplicationTest, break_from_the_pump_takes_effect_before_that_files_transform) {
    int pumps = 0;
    InstallPump([&] {
        if (++pumps == 2) app->BreakFFT();
    });
    std::remove(dir.File("b.out").c_str());
    app->FFTExecute();
    EXPECT_EQ(log, (std::vector<std::string>{"Will", "Pump", "File a.dat " + AllRight, "Pump", "Done"}));
    EXPECT_FALSE(std::filesystem::exists(dir.File("b.out")));
}

TEST_F(ApplicationTest, two_runs_in_a_row_give_two_full_sequences) {
    app->FFTExecute();
    app->FFTExecute();
    EXPECT_EQ(sink->files, 8);
    EXPECT_EQ(std::count(log.begin(), log.end(), "Will"), 2);
    EXPECT_EQ(std::count(log.begin(), log.end(), "Done"), 2);
    EXPECT_EQ(log[5], "Done");
    EXPECT_EQ(log[6], "Will");
    EXPECT_EQ(app->FFTFiles()->Count(), 4);
}

TEST_F(ApplicationTest, exception_from_a_handler_ends_the_run_without_execute_complete) {
    sink->onFile = [&](std::shared_ptr<File>&, std::int32_t&) {
        if (sink->files == 2) throw std::runtime_error("handler failed");
    };
    EXPECT_THROW(app->FFTExecute(), std::runtime_error);
    EXPECT_EQ(sink->files, 2);
    EXPECT_NE(log.back(), "Done");
    EXPECT_FALSE(app->IsRunning());
    // The object stays usable.
    sink->onFile = nullptr;
    app->FFTExecute();
    EXPECT_EQ(log.back(), "Done");
}

TEST_F(ApplicationTest, error_raised_by_the_pump_ends_the_run_without_execute_complete) {
    InstallHostHooks({[&] {
                          if (sink->files == 1) throw AutomationError::Platform(ErrOutOfMemory);
                      },
                      nullptr, nullptr});
    EXPECT_AUTOMATION_NUMBER(app->FFTExecute(), ErrOutOfMemory);
    EXPECT_EQ(log, (std::vector<std::string>{"Will", "File a.dat " + AllRight}));
}

TEST_F(ApplicationTest, handler_changing_its_arguments_has_no_effect) {
    sink->onFile = [](std::shared_ptr<File>& file, std::int32_t& result) {
        file.reset();
        result = 0;
    };
    auto second = std::make_shared<RecordingSink>(log, "2:");
    app->Subscribe(second);
    app->FFTExecute();
    EXPECT_EQ(second->files, 4);
    EXPECT_NE(std::find(log.begin(), log.end(), "2:File d.dat " + AllRight), log.end());
    EXPECT_EQ(app->FFTFiles()->Count(), 4);
    EXPECT_NE(app->FFTFiles()->Item(Variant(std::int32_t{1})), nullptr);
}

// Files added without their File objects run through one spare File; a
// handler that keeps the File it is given makes it that file's own, with its
// results. A file whose File nobody kept gets a new one when asked for.
TEST_F(ApplicationTest, a_file_kept_by_a_handler_becomes_its_own_with_the_results) {
    const auto lazy = Application::Create();
    lazy->FFTParameters()->SetWidth(128);
    Variant source(dir.Path() + "*.dat");
    Variant target("*.res");
    ASSERT_EQ(lazy->FFTFiles()->AddDisk(source, target), 4u);
    std::vector<std::string> own;
    auto recorder = std::make_shared<RecordingSink>(own);
    std::vector<std::string> sources;
    std::shared_ptr<File> kept;
    recorder->onFile = [&](std::shared_ptr<File>& file, std::int32_t&) {
        sources.push_back(*file->Source().AsString() + " " + file->Name());
        if (file->Name() == "b.dat") kept = file;
    };
    lazy->Subscribe(recorder);
    lazy->FFTExecute();
    EXPECT_EQ(sources, (std::vector<std::string>{dir.File("a.dat") + " a.dat", dir.File("b.dat") + " b.dat",
                                                 dir.File("c.dat") + " c.dat", dir.File("d.dat") + " d.dat"}));
    ASSERT_TRUE(kept);
    EXPECT_EQ(lazy->FFTFiles()->Item(Variant("B.DAT")), kept);
    EXPECT_EQ(kept->GetData().WrittenOutputs(), std::vector<std::string>{dir.File("b.res")});
    const auto other = lazy->FFTFiles()->Item(Variant(3));
    EXPECT_NE(other, kept);
    EXPECT_EQ(other->Name(), "c.dat");
    EXPECT_EQ(*other->Target().AsString(), "*.res");
    EXPECT_EQ(other->ExposuresDone(), 0);
    EXPECT_EQ(test::ReadSamples(dir.File("d.res")).size(), 64u);
}

// A handler that adds or removes files changes the collection, not the run
// in progress.
TEST_F(ApplicationTest, files_removed_by_a_handler_still_run_in_this_run) {
    const auto lazy = Application::Create();
    lazy->FFTParameters()->SetWidth(128);
    Variant source(dir.Path() + "*.dat");
    Variant target("*.res");
    lazy->FFTFiles()->AddDisk(source, target);
    std::vector<std::string> own;
    auto recorder = std::make_shared<RecordingSink>(own);
    recorder->onFile = [&](std::shared_ptr<File>& file, std::int32_t&) {
        if (file->Name() != "a.dat") return;
        lazy->FFTFiles()->Remove(Variant("c.dat"));
        lazy->FFTFiles()->Remove(Variant(1));
        Variant more(dir.Path() + "a.dat");
        lazy->FFTFiles()->AddDisk(more, target);
    };
    lazy->Subscribe(recorder);
    lazy->FFTExecute();
    EXPECT_EQ(own, (std::vector<std::string>{"Will", "File a.dat " + AllRight, "File b.dat " + AllRight,
                                             "File c.dat " + AllRight, "File d.dat " + AllRight, "Done"}));
    ASSERT_EQ(lazy->FFTFiles()->Count(), 3);
    EXPECT_EQ(lazy->FFTFiles()->Item(Variant(1))->Name(), "b.dat");
    EXPECT_EQ(lazy->FFTFiles()->Item(Variant(3))->Name(), "a.dat");
}

TEST_F(ApplicationTest, handler_may_unsubscribe_itself_and_subscription_is_once) {
    app->Subscribe(sink);  // a second subscription is ignored
    auto second = std::make_shared<RecordingSink>(log, "2:");
    app->Subscribe(second);
    second->onFile = [&](std::shared_ptr<File>&, std::int32_t&) { app->Unsubscribe(second); };
    app->FFTExecute();
    EXPECT_EQ(sink->files, 4);
    EXPECT_EQ(second->files, 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "Will"), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "2:Done"), 0);
}

TEST_F(ApplicationTest, nested_run_from_a_handler_or_the_pump_is_refused) {
    int refusals = 0;
    sink->onFile = [&](std::shared_ptr<File>&, std::int32_t&) {
        EXPECT_AUTOMATION_ERROR(app->FFTExecute(), 5, SourceApplication, "Invalid procedure call or argument");
        ++refusals;
    };
    InstallHostHooks({[&] {
                          const auto before = app->FFTParameters()->Width();
                          EXPECT_AUTOMATION_NUMBER(app->FFTCommand("e p 4096 " + dir.Path() + "x.dat *.y"), 5);
                          EXPECT_EQ(app->FFTParameters()->Width(), before);
                          ++refusals;
                      },
                      nullptr, nullptr});
    app->FFTExecute();
    EXPECT_EQ(refusals, 8);
    EXPECT_EQ(sink->files, 4);
    EXPECT_EQ(log.back(), "Done");
    EXPECT_EQ(app->FFTFiles()->Count(), 4);
}

TEST_F(ApplicationTest, standalone_run_opens_a_progress_window_that_subscribes_before_will_execute) {
    std::vector<std::string> windowLog;
    int opened = 0;
    InstallHostHooks({nullptr,
                      [&](const std::shared_ptr<Application>& running) {
                          ++opened;
                          EXPECT_EQ(running, app);
                          running->Subscribe(std::make_shared<RecordingSink>(windowLog));
                      },
                      nullptr});
    app->FFTExecute();
    EXPECT_EQ(opened, 0) << "an automation client's run opens no window";

    SetStartMode(StartMode::Standalone);
    app->FFTExecute();
    EXPECT_EQ(opened, 1);
    ASSERT_FALSE(windowLog.empty());
    EXPECT_EQ(windowLog.front(), "Will");
    EXPECT_EQ(windowLog.back(), "Done");
}

// An input replaced by a FIFO after the listing fails at once, and the
// batch goes on; nothing waits for a writer.
TEST_F(ApplicationTest, input_replaced_by_a_fifo_after_the_listing_fails_without_waiting) {
    ASSERT_EQ(::unlink(dir.File("b.dat").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.File("b.dat").c_str(), 0600), 0);
    auto run = std::async(std::launch::async, [&] { app->FFTExecute(); });
    if (run.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        const int fd = ::open(dir.File("b.dat").c_str(), O_RDWR | O_NONBLOCK);  // releases a reader that waits
        run.wait();
        ::close(fd);
        FAIL() << "the batch waited on the FIFO";
    }
    run.get();
    const std::string failed = std::to_string(fftResultFileSysErr);
    EXPECT_EQ(log, (std::vector<std::string>{"Will", "File a.dat " + AllRight, "File b.dat " + failed,
                                             "File c.dat " + AllRight, "File d.dat " + AllRight, "Done"}));
}

// The host's stop test reaches the exposures of the file in progress.
TEST_F(ApplicationTest, the_hosts_stop_test_cuts_the_exposures_of_the_file_in_progress) {
    app->FFTParameters()->SetMethod(fftMethodMulti);
    app->FFTParameters()->SetRepeat(3);
    app->FFTParameters()->SetWidth(128);
    // Asked before a's second exposure, as a stop signal would be answered;
    // the pump then breaks the run before b.
    bool stopped = false;
    HostHooks hooks;
    hooks.stopRequested = [&] { return stopped = true; };
    hooks.pumpEvents = [&] {
        if (stopped) app->BreakFFT();
    };
    InstallHostHooks(hooks);
    app->FFTExecute();
    EXPECT_EQ(log, (std::vector<std::string>{"Will", "File a.dat " + std::to_string(fftResultRepeatFail), "Done"}));
    EXPECT_TRUE(std::filesystem::exists(dir.File("a.001")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("a.002")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("b.001")));
}

TEST(application_lifetime_test, a_client_holding_a_file_keeps_it_after_the_application_is_gone) {
    TempDir dir;
    test::WriteSamples(dir.File("s.dat"), std::vector<std::int16_t>(128, 7));
    std::shared_ptr<File> file;
    std::weak_ptr<Parameters> parameters;
    {
        const auto app = Application::Create();
        Variant source(dir.File("s.dat"));
        Variant target("*.out");
        app->FFTFiles()->Add(fftDataDiskFile, source, target);
        file = app->FFTFiles()->Item(Variant(std::int32_t{1}));
        parameters = app->FFTParameters();
    }
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(parameters.expired());
    EXPECT_EQ(file->Transform(), fftResultAllRight);
    file.reset();
    EXPECT_TRUE(parameters.expired());
}

}  // namespace
}  // namespace tavox
