#pragma once

#include <string>
#include <string_view>

namespace tavox {

inline constexpr char PathSeparator = '/';

// Text after the last "/" (the whole path when there is none).
std::string PathName(std::string_view path);
// The path up to and including its last "/" (empty when there is none).
std::string PathFolder(std::string_view path);
// The name up to, not including, its last "." (the whole name without one).
std::string BaseName(std::string_view path);
// The text after the last "." of the name (empty without one).
std::string Extension(std::string_view path);
// Folder and name joined by exactly one "/".
std::string JoinPath(std::string_view folder, std::string_view name);
// True for a path that begins with "/".
bool IsAbsolutePath(std::string_view path) noexcept;
// "*" matches any run of characters, "?" exactly one; exact comparison.
bool MatchesWildcard(std::string_view name, std::string_view pattern) noexcept;

// Folder of the running program, with a trailing "/": the folder of the
// executable, or of the loaded module for a library client (see
// SetProgramFolder).
std::string ProgramFolder();
// The executable's file name without extension ("tavox").
std::string ProgramName();
// Lets a library client (the Python module) name its own folder.
void SetProgramFolder(std::string folder);

}  // namespace tavox
