#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tavox {

class FileSystem;

// A settings file in the private-profile text format: "[section]" header
// lines, each followed by "key=value" lines. Section and key names compare
// without regard to ASCII letter case; the text is UTF-8. Reading never
// fails: a missing, unreadable, binary or truncated file reads as if the key
// were missing, and only the first MaxFileBytes of a file are looked at.
// The file is reached through the FileSystem given (not null).
class PrivateProfile {
public:
    static constexpr std::size_t MaxValueChars = 254;
    static constexpr std::uintmax_t MaxFileBytes = 1024 * 1024;

    PrivateProfile(std::string path, std::shared_ptr<FileSystem> fileSystem);
    const std::string& Path() const noexcept { return path_; }

    // Value of `key` in the first section named `section`, or `fallback` when
    // there is none. Blanks around the value and one pair of enclosing quotes
    // are dropped; the value is cut at its first NUL and to MaxValueChars
    // characters.
    std::string Read(std::string_view section, std::string_view key, std::string_view fallback = {}) const;

    // Sets `key` in `section`: replaces the key's line where it exists, else
    // adds the line at the end of the section, else adds the section at the
    // end of the file. Every other line stays as it was. Creates the file, not
    // its folder. The value is cut at its first line break or NUL, and quoted
    // when reading would otherwise change it. The file is replaced as a whole
    // (a crash leaves the old or the new file). Returns false, leaving the file
    // unchanged, for a section or key that the format cannot hold, a file
    // larger than MaxFileBytes, or a failed write.
    bool Write(std::string_view section, std::string_view key, std::string_view value) const;

private:
    std::string path_;
    std::shared_ptr<FileSystem> fileSystem_;
};

}  // namespace tavox
