#pragma once

#include <iosfwd>

#include "app/SelfTest.h"

namespace tavox {

// Prints the self-test as a short table, one line per check, and a verdict;
// returns the exit status: 0 when every check passed, 1 otherwise.
int WriteSelfTest(std::ostream& out, const SelfTestResult& result);

}  // namespace tavox
