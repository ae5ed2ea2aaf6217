#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tavox {

// An open file for binary reading. Closed by its destructor.
class InputFile {
public:
    virtual ~InputFile() = default;
    // Reads up to out.size() bytes at a 0-based offset; returns the count read
    // (short at the end of the file) or nothing on a read error.
    virtual std::optional<std::size_t> ReadAt(std::uint64_t offset, std::span<std::byte> out) = 0;
};

// An open file for binary writing, written sequentially. Its destructor
// closes it and ignores failures; Close reports them.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    // Appends the bytes (buffered); failures surface at Close.
    virtual void Write(std::span<const std::byte> bytes) = 0;
    // Flushes and closes; false when the data could not be written out.
    virtual bool Close() = 0;
};

// The file-system operations the data layer and the windows use, behind an
// interface so that tests can make any call fail.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Length in bytes, or nothing when the file cannot be measured.
    virtual std::optional<std::uint64_t> FileSize(const std::string& path) = 0;
    // True when an ordinary file (or a link to one) of that path exists.
    virtual bool FileExists(const std::string& path) = 0;
    // Removes the file even when it is read-only; false on failure.
    virtual bool DeleteFileForced(const std::string& path) = 0;
    // Nullptr when the file cannot be opened.
    virtual std::unique_ptr<InputFile> OpenRead(const std::string& path) = 0;
    virtual std::unique_ptr<OutputFile> OpenWrite(const std::string& path) = 0;
    // Names (without folder) of the ordinary, non-hidden files of `folder`
    // that match the "*"/"?" pattern, sorted by name; empty when the folder
    // does not exist or cannot be listed.
    virtual std::vector<std::string> List(const std::string& folder, const std::string& pattern) = 0;
    // Mount point of the file system that holds the path (the nearest existing
    // ancestor is used for a path that does not exist); empty when unknown.
    virtual std::string MountPoint(const std::string& path) = 0;
    // Free bytes available on the file system that holds the path.
    virtual std::optional<std::uint64_t> FreeSpace(const std::string& path) = 0;
    // True when both paths name one file: the same device and inode when both
    // exist (links and hard links included), otherwise the same absolute path
    // once "." and ".." parts and links of existing folders are resolved.
    virtual bool SameFile(const std::string& a, const std::string& b);
};

// The real file system (POSIX), shared by everything that is given no other.
std::shared_ptr<FileSystem> DefaultFileSystem();

}  // namespace tavox
