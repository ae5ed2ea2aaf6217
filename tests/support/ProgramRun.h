#pragma once

#include <string>
#include <vector>

namespace tavox::test {

struct ProgramResult {
    int status = -1;  // exit status, -1 when killed by a signal or not started
    std::string out;
    std::string err;
    long maxRssKb = 0;  // peak resident memory of the child
};

// Runs `program` with `arguments` (standard input from /dev/null) in this
// process's environment less the variables named in `unset` and plus the
// NAME=value entries of `set`, in the folder `cwd` (this process's when
// empty); waits for it and collects its output.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& unset = {}, const std::vector<std::string>& set = {},
                         const std::string& cwd = {});

// This process's environment less `unset` and plus the NAME=value entries of
// `set`, as RunProgram hands it to the child.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& unset, const std::vector<std::string>& set);

// A null-terminated array of pointers into `texts`, for argv and envp.
std::vector<char*> Pointers(std::vector<std::string>& texts);

// The variables by which the program finds a display.
inline const std::vector<std::string> DisplayVariables = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};

}  // namespace tavox::test
