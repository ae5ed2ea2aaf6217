#pragma once

#include <string>
#include <vector>

namespace tavox {

// The desktop front end of the tavox program. No fields open the main window
// and run until the last window closes (status 0). Fields run the command
// line with a progress window, or show the help box when it is refused, and
// run on while a window stays open. Returns the exit status: 0 when every file
// ended all right, 1 when a file failed, the run was broken or no input
// matched, 2 when the command line was refused.
int RunDesktop(int argc, char** argv, const std::vector<std::string>& fields);

// The same on an existing QApplication.
int RunDesktopSession(const std::vector<std::string>& fields);

}  // namespace tavox
