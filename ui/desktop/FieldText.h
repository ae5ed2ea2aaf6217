#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tavox {

class Variant;

// Working folder of the main window: an empty text gives the program folder,
// a text that does not begin with "/" is taken relative to the program
// folder, and the result always ends with "/". The folder is not tested.
std::string NormalizeFolder(const std::string& text);

// Output mask of the main window: an empty text gives "*out.*"; otherwise
// every "?" and any folder part is dropped and the base name and the
// extension each keep at most their last "*".
std::string NormalizeOutputMask(const std::string& text);

// Display text of a Start or Finish value: a fraction below 1 (not 0) as a
// whole percentage ("25%"), anything else as the number in the general
// format with up to 15 significant digits and "." as the decimal point, so
// that committing the shown text again gives the same value.
std::string FormatRangeValue(const Variant& value);

// Amount part of the free-space line. Up to 2147483647 bytes: the kB count
// with up to 7 significant digits and the locale's decimal separator
// ("1464,844 kB"), below 1 kB the byte count ("512 B"). Above: GB, or TB
// from 1024 GB on, in the same format. Nothing (the drive cannot be queried)
// reads "0 B".
std::string FormatFreeSpace(std::optional<std::uint64_t> freeBytes);

}  // namespace tavox
