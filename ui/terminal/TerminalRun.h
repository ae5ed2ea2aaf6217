#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "app/ExitStatus.h"

namespace tavox {

struct BatchSettings;
class PlotWriter;

// Writes the help: its title, an empty line and the help lines, each ended by LF.
void WriteHelp(std::ostream& stream);

// Runs a command line (already cut into fields) in the terminal through
// RunCommand with `settings` and `plots`: terminal progress on `out` (none
// with settings.quiet or a report on standard output; each line flushed at
// once with `flushEachLine`, else as TerminalProgress says, and all of them
// once a stop signal came; a live line on `err` when `liveProgress`, but
// for settings.quiet), the report when one is asked for, and a
// warning on `err` for each output that replaced another source of the batch.
// An interrupt (SIGINT) or termination request (SIGTERM) stops the run before
// the next file and lets the file in progress complete, but for the exposures
// of an Average or Multi, which stop at once (see File::Transform); a second
// such signal ends the process at once, and an interrupted run says so on
// `err`. A refused command line writes the help to `err`. Returns the
// ExitStatus of the run (see RunCommand).
int RunCommandLine(const std::vector<std::string>& fields, const BatchSettings& settings, std::ostream& out,
                   std::ostream& err, bool liveProgress, bool flushEachLine = true,
                   const std::shared_ptr<PlotWriter>& plots = nullptr);

// Window mode without a desktop: explains why and writes the help to `err`;
// returns ExitRefused.
int ReportNoDesktop(std::ostream& err, bool desktopBuilt);

}  // namespace tavox
