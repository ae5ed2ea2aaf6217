#pragma once

#include <string>
#include <vector>

#include "ui/cli/CommandOptions.h"

namespace tavox {

// The desktop front end of the tavox program. No fields open the main window
// and run until the last window closes (status 0). Fields run the command
// line with a progress window and the output options and report of
// `options`, or show the help box when it is refused, run on while a window
// stays open and return the ExitStatus of the run.
int RunDesktop(int argc, char** argv, const std::vector<std::string>& fields, const CommandOptions& options = {});

// The same on an existing QApplication.
int RunDesktopSession(const std::vector<std::string>& fields, const CommandOptions& options = {});

}  // namespace tavox
