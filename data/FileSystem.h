#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavox {

// Two paths with the same identity name the same file.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// What a path names, as the writer of an output needs to know it.
struct PathStatus {
    bool exists = false;                   // something is there (a dangling link counts)
    std::optional<FileIdentity> identity;  // of the file reached, links followed; unknown when missing
    bool regular = false;                  // an ordinary file is reached
    std::uint64_t names = 0;               // hard links of the file reached
};

// An open file for binary reading. Closed by its destructor.
class InputFile {
public:
    virtual ~InputFile() = default;
    // Reads up to out.size() bytes at a 0-based offset; returns the count read
    // (short at the end of the file) or nothing on a read error.
    virtual std::optional<std::size_t> ReadAt(std::uint64_t offset, std::span<std::byte> out) = 0;
    // Length in bytes and identity when the file was opened; nothing when unknown.
    virtual std::optional<std::uint64_t> Size() const { return std::nullopt; }
    virtual std::optional<FileIdentity> Identity() const { return std::nullopt; }
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

// An existing file opened to be written anew (see FileSystem::OpenRewrite).
struct Rewrite {
    std::unique_ptr<OutputFile> file;  // written from its start; what lies past the written bytes is cut at Close
    std::optional<PathStatus> status;  // what the path names, when that was learnt
};

// The file-system operations the data layer, the windows and the settings
// file use, behind an interface so that tests can make any call fail.
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
    // Creates the file, or empties an existing one, for writing.
    virtual std::unique_ptr<OutputFile> OpenWrite(const std::string& path) = 0;
    // Opens the existing ordinary file at `path` to write it anew, unless it
    // is the file `keep`, has further names or `keep` is unknown. It follows
    // no link, does not wait on a FIFO and truncates nothing, so a file it
    // refuses stays as it was; then it gives what it learnt of the path. The
    // default opens nothing and learns nothing, so that callers inspect,
    // delete and create instead.
    virtual Rewrite OpenRewrite(const std::string& path, const std::optional<FileIdentity>& keep);
    // What the path names, links followed (a dangling link exists, with no
    // identity); nothing when it cannot be examined. The default knows
    // existence only (FileExists).
    virtual std::optional<PathStatus> Inspect(const std::string& path);
    // Names (without folder) of the ordinary, non-hidden files of `folder`
    // that match the "*"/"?" pattern, sorted by name; empty when the folder
    // does not exist or cannot be listed.
    virtual std::vector<std::string> List(const std::string& folder, const std::string& pattern) = 0;
    // Mount point of the file system that holds the path (the nearest existing
    // ancestor is used for a path that does not exist); empty when unknown.
    virtual std::string MountPoint(const std::string& path) = 0;
    // Free bytes available on the file system that holds the path.
    virtual std::optional<std::uint64_t> FreeSpace(const std::string& path) = 0;
    // Up to `maxBytes` bytes from the start of the file, links followed; an
    // empty text when no file is there (a dangling link included), nothing
    // when what is there cannot be read.
    virtual std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t maxBytes) = 0;
    // Makes `bytes` the contents of the file in one step, so that a crash
    // leaves the old or the new file: writes them next to it and renames them
    // over it. A link is followed and the file it leads to replaced, keeping
    // its permissions. Creates the file, not its folder. False, leaving the
    // file as it was, on failure.
    virtual bool ReplaceFile(const std::string& path, std::string_view bytes) = 0;
    // True when both paths name one file: the same device and inode when both
    // exist (links and hard links included), otherwise the same absolute path
    // once "." and ".." parts and links of existing folders are resolved.
    virtual bool SameFile(const std::string& a, const std::string& b);
};

// The real file system (POSIX), shared by everything that is given no other.
std::shared_ptr<FileSystem> DefaultFileSystem();

}  // namespace tavox
