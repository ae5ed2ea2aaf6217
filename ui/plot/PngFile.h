#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "data/FileSystem.h"

class QImage;

namespace tavox {

// The image as an 8-bit RGB PNG, encoded for speed: every row filtered
// with "up" (a plot repeats its rows), zlib level 1 with run-length matching.
std::string EncodePng(const QImage& image);

// A picture written in full to a new hidden file in the folder of its
// destination (the core's FileSystem::CreateOutput), not yet in place.
struct PendingFile {
    std::unique_ptr<OutputFile> file;  // empty once committed or discarded
    std::string error;                 // why it could not be created
};

// Writes `bytes` to a new hidden file next to `path` (created exclusively,
// never through a link, with the permissions the umask allows).
PendingFile WriteBeside(const std::string& path, std::string_view bytes);
// Renames the file over its destination; returns why that failed (the new
// file is then removed), or an empty text.
std::string Commit(PendingFile& pending);
// Removes the new file.
void Discard(PendingFile& pending) noexcept;

// Makes `bytes` the contents of `path` in one step (WriteBeside and Commit).
// Returns an empty text, or why it failed (nothing is left behind then).
std::string ReplaceFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace tavox
