#pragma once

#include <string>
#include <string_view>

class QImage;

namespace tavox {

// The image as an 8-bit RGB PNG, encoded for speed: every row filtered
// with "up" (a plot repeats its rows), zlib level 1 with run-length matching.
std::string EncodePng(const QImage& image);

// Makes `bytes` the contents of `path` in one step: written to a new hidden
// file in the same folder (created exclusively), then renamed over `path`;
// the new file gets the permissions of a file created under `mode` and the
// process's umask. Returns an empty text, or why it failed (nothing is left
// behind then).
std::string ReplaceFileAtomically(const std::string& path, std::string_view bytes, unsigned mode = 0666);

}  // namespace tavox
