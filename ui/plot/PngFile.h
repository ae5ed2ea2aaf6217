#pragma once

#include <string>
#include <string_view>

class QImage;

namespace tavox {

// The image as an 8-bit RGB PNG, encoded for speed: every row filtered
// with "up" (a plot repeats its rows), zlib level 1 with run-length matching.
std::string EncodePng(const QImage& image);

// A file written in full next to its destination, under a hidden name.
struct PendingFile {
    std::string temporary;  // empty once committed or discarded
    std::string error;      // why it could not be written; nothing is left then
};

// Writes `bytes` to a new hidden file in the folder of `path` (created
// exclusively, never through a link) with the permissions of a file created
// under `mode` and the process's umask.
PendingFile WriteBeside(const std::string& path, std::string_view bytes, unsigned mode = 0666);
// Renames the file over `path`; returns why that failed (the file is then
// removed), or an empty text.
std::string Commit(PendingFile& pending, const std::string& path);
// Removes the file.
void Discard(PendingFile& pending) noexcept;

// Makes `bytes` the contents of `path` in one step: written to a new hidden
// file in the same folder (created exclusively), then renamed over `path`;
// the new file gets the permissions of a file created under `mode` and the
// process's umask. Returns an empty text, or why it failed (nothing is left
// behind then).
std::string ReplaceFileAtomically(const std::string& path, std::string_view bytes, unsigned mode = 0666);

}  // namespace tavox
