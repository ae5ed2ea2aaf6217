#pragma once

#include <string>
#include <vector>

#include "app/BatchSettings.h"

namespace tavox {

// The desktop front end of the tavox program. No fields open the main window
// and run until the last window closes (status 0). Fields run the command
// line through RunCommand with a progress window and `settings` (the help
// box shows when it is refused), run on while a window stays open and return
// the ExitStatus of the run.
int RunDesktop(int argc, char** argv, const std::vector<std::string>& fields, const BatchSettings& settings = {});

// The same on an existing QApplication.
int RunDesktopSession(const std::vector<std::string>& fields, const BatchSettings& settings = {});

}  // namespace tavox
