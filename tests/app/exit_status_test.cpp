#include <gtest/gtest.h>

#include <initializer_list>

#include "app/ExitStatus.h"
#include "common/Enums.h"

namespace tavox {
namespace {

BatchTally Counted(std::int32_t total, std::initializer_list<std::int32_t> results, bool completed) {
    BatchTally tally;
    tally.Begin(total);
    for (std::int32_t result : results) tally.FileDone(result);
    if (completed) tally.Complete();
    return tally;
}

TEST(exit_status_test, only_a_completed_run_over_files_that_all_ended_all_right_is_all_right) {
    EXPECT_EQ(ExitStatus(Counted(2, {fftResultAllRight, fftResultAllRight}, true)), ExitAllRight);
    EXPECT_EQ(ExitStatus(Counted(2, {fftResultAllRight, fftResultShortFile}, true)), ExitFileFailed);
    EXPECT_EQ(ExitStatus(Counted(0, {}, true)), ExitFileFailed);                    // no input matched
    EXPECT_EQ(ExitStatus(Counted(3, {fftResultAllRight}, true)), ExitFileFailed);   // broken off
    EXPECT_EQ(ExitStatus(Counted(1, {fftResultAllRight}, false)), ExitFileFailed);  // an error ended the run
    EXPECT_EQ(ExitStatus(BatchTally{}), ExitFileFailed);                            // never started
}

TEST(exit_status_test, a_refused_command_line_wins_over_any_count) {
    BatchTally tally = Counted(1, {fftResultAllRight}, true);
    tally.refused = true;
    EXPECT_EQ(ExitStatus(tally), ExitRefused);
}

TEST(exit_status_test, a_new_run_counts_afresh_and_knows_when_it_was_broken_off) {
    BatchTally tally = Counted(2, {fftResultShortFile}, false);
    EXPECT_TRUE(tally.Interrupted());
    tally.Begin(1);
    EXPECT_EQ(tally.done, 0);
    EXPECT_EQ(tally.failed, 0);
    EXPECT_FALSE(tally.completed);
    tally.FileDone(fftResultAllRight);
    tally.Complete();
    EXPECT_FALSE(tally.Interrupted());
    EXPECT_EQ(ExitStatus(tally), ExitAllRight);
}

}  // namespace
}  // namespace tavox
