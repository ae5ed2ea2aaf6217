#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/ApplicationEvents.h"
#include "app/Files.h"
#include "common/AutomationError.h"
#include "engine/File.h"
#include "engine/Parameters.h"
#include "support/TestSupport.h"

namespace tavox {
namespace {

using test::TempDir;

class CountingSink : public ApplicationEvents {
public:
    void WillExecute(std::int16_t&) override { ++runs; }
    void FileComplete(std::shared_ptr<File>& File, std::int32_t&) override { names.push_back(File->Name()); }
    int runs = 0;
    std::vector<std::string> names;
};

// Snapshot of the settings a command line can change.
struct Settings {
    fftMethodEnum method;
    bool phase;
    bool center;
    fftWindowEnum window;
    std::int32_t width;
    std::int32_t repeat;
    Variant start;
    Variant finish;
    bool operator==(const Settings&) const = default;
};

Settings Read(const Parameters& p) {
    return {p.Method(), p.Phase(), p.Center(), p.Window(), p.Width(), p.Repeat(), p.Start(), p.Finish()};
}

class FftCommandTest : public testing::Test {
protected:
    void SetUp() override {
        std::vector<std::int16_t> samples(4096);
        for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::int16_t>((i * 37) % 2000);
        test::WriteSamples(dir.File("a.dat"), samples);
        test::WriteSamples(dir.File("b.dat"), samples);
        app = Application::Create();
        sink = std::make_shared<CountingSink>();
        app->Subscribe(sink);
    }

    Parameters& params() { return *app->FFTParameters(); }
    std::string In(const std::string& name) const { return dir.Path() + name; }

    TempDir dir;
    std::shared_ptr<Application> app;
    std::shared_ptr<CountingSink> sink;
};

TEST_F(FftCommandTest, overview_line_sets_everything_adds_the_files_and_runs) {
    app->FFTCommand("fc h 1024 " + In("*.dat") + " *out.*");
    EXPECT_EQ(params().Method(), fftMethodSimple);
    EXPECT_TRUE(params().Phase());
    EXPECT_TRUE(params().Center());
    EXPECT_EQ(params().Window(), fftWindowHanning);
    EXPECT_EQ(params().Width(), 1024);
    const Settings fresh = Read(Parameters());
    EXPECT_EQ(params().Repeat(), fresh.repeat);
    EXPECT_EQ(params().Start(), fresh.start);
    EXPECT_EQ(params().Finish(), fresh.finish);
    EXPECT_EQ(sink->runs, 1);
    EXPECT_EQ(sink->names, (std::vector<std::string>{"a.dat", "b.dat"}));
    EXPECT_EQ(test::ReadSamples(In("aout.dat")).size(), 1024u);
    EXPECT_EQ(test::ReadSamples(In("bout.dat")).size(), 1024u);
}

TEST_F(FftCommandTest, letters_accept_both_cases_and_ignore_further_characters) {
    app->FFTCommand("Pc F 512 " + In("a.dat") + " *.p");
    EXPECT_EQ(params().Method(), fftMethodAverage);
    EXPECT_FALSE(params().Phase());
    EXPECT_TRUE(params().Center());
    EXPECT_EQ(params().Window(), fftWindowFlatTop);

    app->FFTFiles()->Remove(Variant(std::int32_t{1}));
    app->FFTCommand("ex pzz 512 " + In("a.dat") + " *.e");
    EXPECT_EQ(params().Method(), fftMethodSimple);
    EXPECT_FALSE(params().Phase());
    EXPECT_FALSE(params().Center());
    EXPECT_EQ(params().Window(), fftWindowRectangle);

    app->FFTFiles()->Remove(Variant(std::int32_t{1}));
    app->FFTCommand("MC Hanning 300 " + In("a.dat") + " *.m");
    EXPECT_EQ(params().Method(), fftMethodMulti);
    EXPECT_TRUE(params().Center());
    EXPECT_EQ(params().Window(), fftWindowHanning);
    EXPECT_EQ(params().Width(), 512);
}

TEST_F(FftCommandTest, four_fields_raise_1002_and_change_nothing) {
    const Settings before = Read(params());
    EXPECT_AUTOMATION_ERROR(app->FFTCommand("fc h 1024 " + In("a.dat")), -2147220502, "TAVOX.Application",
                            "Missing required parameter");
    EXPECT_AUTOMATION_NUMBER(app->FFTCommand(""), -2147220502);
    EXPECT_EQ(Read(params()), before);
    EXPECT_EQ(app->FFTFiles()->Count(), 0);
    EXPECT_EQ(sink->runs, 0);
}

TEST_F(FftCommandTest, bad_method_letter_raises_1001_before_anything_is_set) {
    params().SetMethod(fftMethodMulti);
    const Settings before = Read(params());
    for (const std::string line : {"x h 1024 a b", "c h 1024 a b", "á h 1024 a b", " h 1024 a b"}) {
        EXPECT_AUTOMATION_ERROR(app->FFTCommand(line), -2147220503, "TAVOX.Application", "Command line fault");
    }
    EXPECT_EQ(Read(params()), before);
    EXPECT_EQ(app->FFTFiles()->Count(), 0);
}

TEST_F(FftCommandTest, bad_window_letter_raises_1001_after_method_phase_and_center_are_set) {
    params().SetMethod(fftMethodMulti);
    params().SetWindow(fftWindowHanning);
    EXPECT_AUTOMATION_NUMBER(app->FFTCommand("fc z 1024 " + In("a.dat") + " *.o"), -2147220503);
    EXPECT_EQ(params().Method(), fftMethodSimple);
    EXPECT_TRUE(params().Phase());
    EXPECT_TRUE(params().Center());
    EXPECT_EQ(params().Window(), fftWindowHanning);
    EXPECT_EQ(params().Width(), 128);
    EXPECT_EQ(app->FFTFiles()->Count(), 0);
    EXPECT_EQ(sink->runs, 0);
}

TEST_F(FftCommandTest, two_blanks_make_an_empty_window_field) {
    EXPECT_AUTOMATION_NUMBER(app->FFTCommand("f  1024 " + In("a.dat") + " *.o"), -2147220503);
    EXPECT_EQ(app->FFTFiles()->Count(), 0);
}

TEST_F(FftCommandTest, width_that_does_not_convert_raises_before_any_file_is_added) {
    EXPECT_AUTOMATION_NUMBER(app->FFTCommand("f h abc " + In("a.dat") + " *.o"), ErrTypeMismatch);
    EXPECT_EQ(params().Window(), fftWindowHanning);
    EXPECT_AUTOMATION_NUMBER(app->FFTCommand("f h 99999999999 " + In("a.dat") + " *.o"), ErrOverflow);
    EXPECT_AUTOMATION_NUMBER(app->FFTCommand("f h -2147483648 " + In("a.dat") + " *.o"), ErrOverflow);
    EXPECT_EQ(app->FFTFiles()->Count(), 0);
    EXPECT_EQ(sink->runs, 0);
}

TEST_F(FftCommandTest, errors_of_files_add_pass_unchanged_and_run_nothing) {
    EXPECT_AUTOMATION_ERROR(app->FFTCommand("f h 128 " + In("a.dat") + " **.o"), -2147220500, "TAVOX.Files",
                            "Invalid content of the 'Source' or 'Target' argument");
    EXPECT_EQ(sink->runs, 0);
}

TEST_F(FftCommandTest, nine_words_hand_the_rest_of_the_line_to_finish) {
    app->FFTCommand("p h 128 " + In("a.dat") + " *.o 3 0 100 extra");
    EXPECT_EQ(params().Repeat(), 3);
    ASSERT_TRUE(params().Finish().IsNumber());
    EXPECT_EQ(params().Finish().ToDouble(), 100.0);
    EXPECT_EQ(params().Start().ToDouble(), 0.0);
    EXPECT_EQ(sink->runs, 1);
}

TEST_F(FftCommandTest, optional_fields_that_do_not_convert_leave_their_parameter) {
    params().SetRepeat(7);
    app->FFTCommand("f h 128 " + In("a.dat") + " *.o x");
    EXPECT_EQ(params().Repeat(), 7);
    EXPECT_EQ(sink->runs, 1);
    // The most negative 32-bit count overflows the Repeat setter; Start and Finish are still set.
    app->FFTCommand("f h 128 " + In("b.dat") + " *.o -2147483648 5 9");
    EXPECT_EQ(params().Repeat(), 7);
    EXPECT_EQ(params().Start().ToDouble(), 5.0);
    EXPECT_EQ(params().Finish().ToDouble(), 9.0);
    EXPECT_EQ(sink->runs, 2);
}

TEST_F(FftCommandTest, second_command_adds_one_more_entry_and_runs_both) {
    app->FFTCommand("f h 128 " + In("a.dat") + " *.o");
    app->FFTCommand("f h 128 " + In("b.dat") + " *.o");
    EXPECT_EQ(app->FFTFiles()->Count(), 2);
    EXPECT_EQ(sink->names, (std::vector<std::string>{"a.dat", "a.dat", "b.dat"}));
    // The same entry a second time is the collection's duplicate-key error.
    EXPECT_AUTOMATION_NUMBER(app->FFTCommand("f h 128 " + In("a.dat") + " *.o"), ErrDuplicateKey);
}

TEST_F(FftCommandTest, fields_from_a_caller_are_used_as_given) {
    app->FFTCommandFields({"f", "h", "128", In("a.dat"), "*.o", "", "", "10", "extra"});
    EXPECT_EQ(params().Finish().ToDouble(), 10.0);
    EXPECT_EQ(params().Repeat(), 1);
    EXPECT_EQ(sink->runs, 1);
}

}  // namespace
}  // namespace tavox
