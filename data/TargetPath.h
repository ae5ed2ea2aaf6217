#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavox {

// Most exposures a Multi transform numbers in the extensions of its outputs.
inline constexpr std::int32_t MaxExposureNumber = 999;

// The output path of the disk source `source` for the output mask `mask`,
// written into `path` (replacing it): the source's folder, the mask's name
// with "*" replaced by the source's name and followed by `suffix`, and the
// extension 001..999 for an exposure number above 0, else the mask's
// extension with "*" replaced by the source's. A name's extension follows its last "."; without one it has
// none. False, with `path` empty, when the number exceeds 999.
bool FormTargetPath(std::string& path, std::string_view source, std::string_view mask, std::int16_t exposure,
                    std::string_view suffix = {});

}  // namespace tavox
