#pragma once

#include <string>

namespace tavox {

class FileSystem;

// The line that tells a user why the input field `source` of a command line
// (completed like Files.Add completes it) gave no input file: a folder that
// cannot be listed, a name that is a folder, a FIFO or another special file, a
// hidden file, a path that cannot be used (too long, say), or else that no
// input file matches. Begins with "tavox: ", names shown with DisplayText.
std::string NoInputMessage(FileSystem& fileSystem, const std::string& source);

}  // namespace tavox
