#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tavox {

// Exit statuses of the tavox program.
inline constexpr int ExitAllRight = 0;
inline constexpr int ExitFileFailed = 1;
inline constexpr int ExitRefused = 2;

// Writes the help: its title, an empty line and the help lines, each ended by LF.
void WriteHelp(std::ostream& stream);

// Runs a command line (already cut into fields) in the terminal: one
// Application, FFTCommandFields, terminal progress on `out` (and a live line on
// `err` when `liveProgress`), and a warning on `err` for each output that
// replaced another source of the batch. An interrupt (SIGINT) or termination
// request (SIGTERM) lets the file in progress complete and stops the run
// before the next one; a second such signal ends the process at once. Returns ExitAllRight when every file ended all
// right, ExitFileFailed when a file failed, no input matched or the run was interrupted, and ExitRefused (after writing
// the help to `err`) when FFTCommand raised an error.
int RunCommandLine(const std::vector<std::string>& fields, std::ostream& out, std::ostream& err, bool liveProgress);

// Window mode without a desktop: explains why and writes the help to `err`;
// returns ExitRefused.
int ReportNoDesktop(std::ostream& err, bool desktopBuilt);

}  // namespace tavox
