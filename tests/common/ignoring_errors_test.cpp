#include <gtest/gtest.h>

#include <stdexcept>

#include "common/IgnoringErrors.h"

namespace tavox {
namespace {

TEST(ignoring_errors_test, runs_the_statement_and_drops_whatever_it_raises) {
    int steps = 0;
    IgnoringErrors([&] { ++steps; });
    IgnoringErrors([&] {
        ++steps;
        throw std::runtime_error("dropped");
    });
    // Not derived from std::exception: would end the process if it got through.
    IgnoringErrors([&] {
        ++steps;
        throw 42;
    });
    EXPECT_EQ(steps, 3);
}

}  // namespace
}  // namespace tavox
