#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tavox {

struct CommandOptions;

// Runs the desktop front end, which lives in a module of its own
// (libtavox_desktop.so) so that terminal runs never load the window toolkit.
// Returns its exit status, or nothing (with the reason in `error`) when the
// module cannot be loaded.
std::optional<int> RunDesktopModule(int argc, char** argv, const std::vector<std::string>& fields,
                                    const CommandOptions& options, std::string& error);

}  // namespace tavox
