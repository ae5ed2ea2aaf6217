#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "data/ListedNames.h"

namespace tavox {

// Folder entries a listing reads between two questions to its stop test.
inline constexpr std::size_t ListStopInterval = 1024;

// Two paths with the same identity name the same file.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// What a path names (links followed), for telling a user why it gave no input.
struct PathCheck {
    enum Kind {
        Missing,  // nothing there, or a dangling link
        File,     // an ordinary file
        Folder,   // a folder that can be listed
        Special,  // a FIFO, socket or device; `detail` says which
        Unusable  // cannot be examined, or a folder that cannot be listed; `detail` says why
    };
    Kind kind = Missing;
    std::string detail;
};

// An open file for binary reading. Closed by its destructor.
class InputFile {
public:
    virtual ~InputFile() = default;
    // Reads up to out.size() bytes at a 0-based offset; returns the count read
    // (short at the end of the file) or nothing on a read error. Several
    // threads may read at once when the file system allows concurrent use.
    virtual std::optional<std::size_t> ReadAt(std::uint64_t offset, std::span<std::byte> out) = 0;
    // Length in bytes and identity when the file was opened; nothing when unknown.
    virtual std::optional<std::uint64_t> Size() const { return std::nullopt; }
    virtual std::optional<FileIdentity> Identity() const { return std::nullopt; }
};

// How the completion of an output ended.
enum class CommitResult {
    Replaced,     // the output's name now holds the new file
    WriteFailed,  // not every byte could be written (a full disk, a file-size limit)
    NamesKept,    // the name reaches the file to be kept, and was left alone
    Failed,       // the name could not be given to the new file, or what it holds is unknown
};

// A new output being written: a hidden file in the output's folder that
// takes the output's name only when it is complete (Commit), so that the
// name holds the old file or the new one, whole, at every moment. Destroyed
// without a successful Commit, it removes the new file and leaves the name as
// it was. Nothing is synced to the disk: a crash of the machine (not of the
// program) may leave the name holding a file whose data did not reach it.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    // Appends the bytes; failures surface at Finish or Commit.
    virtual void Write(std::span<const std::byte> bytes) = 0;
    // Writes the bytes over bytes already written, from the 0-based
    // `offset` on (a container that fills in a header once its data is
    // written); failures surface at Finish or Commit, as do bytes that
    // would reach past those written.
    virtual void WriteAt(std::uint64_t offset, std::span<const std::byte> bytes) = 0;
    // Closes the new file, which keeps its hidden name until Commit; false,
    // removing it, when not every byte could be written (Commit then says
    // WriteFailed). Commit does this itself when it was not called, so that
    // writing on one thread and naming on another needs no open descriptor.
    virtual bool Finish() = 0;
    // Closes the new file (see Finish) and renames it over the output's name, unless that
    // name, links followed, reaches the file `keep`. The rename replaces what
    // the name held, a link or a file with further names included, so that
    // nothing such a name leads to changes. Anything but Replaced removes the
    // new file. Called at most once.
    virtual CommitResult Commit(const std::optional<FileIdentity>& keep) = 0;
};

// The file-system operations the data layer, the windows and the settings
// file use, behind an interface so that tests can make any call fail.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // True when several threads may call this object, and the files it
    // opens, at once, and every name its outputs take is noted in the
    // NameChanges of the process. False unless a file system says so.
    virtual bool ConcurrentUse() const { return false; }

    // While folders are held (counted: batches may overlap), the file system
    // may keep the folders of the files it opens and creates open and reach
    // those files by name through them, so that a batch walks the path of
    // each folder once; a folder renamed meanwhile keeps its files. The
    // default holds nothing.
    virtual void HoldFolders() {}
    virtual void ReleaseFolders() noexcept {}

    // Length in bytes, or nothing when the file cannot be measured.
    virtual std::optional<std::uint64_t> FileSize(const std::string& path) = 0;
    // True when an ordinary file (or a link to one) of that path exists.
    virtual bool FileExists(const std::string& path) = 0;
    // Removes the file (its own permissions do not matter); false on failure,
    // which leaves the file as it was.
    virtual bool DeleteFileForced(const std::string& path) = 0;
    // Opens an ordinary file (links followed). Nullptr for anything else (a
    // folder, a FIFO, a device), which it never waits on, and when the file
    // cannot be opened.
    virtual std::unique_ptr<InputFile> OpenRead(const std::string& path) = 0;
    // Starts a new output for `path` (see OutputFile): creates a hidden file
    // in its folder, exclusively and never through a link, with the
    // permissions the umask allows. It first removes the hidden files that an
    // interrupted replacement of `path` left behind when the process that
    // made them has ended, as far as a List of the folder met them. Nullptr
    // when the file cannot be created.
    virtual std::unique_ptr<OutputFile> CreateOutput(const std::string& path) = 0;
    // Names (without folder) of the ordinary, non-hidden files of `folder`
    // that match the "*"/"?" pattern, sorted by name; empty when the folder
    // does not exist or cannot be listed; std::bad_alloc when memory ran out,
    // opening the folder included. Notes the leftovers of interrupted
    // replacements it meets (see CreateOutput).
    virtual std::vector<std::string> List(const std::string& folder, const std::string& pattern) = 0;
    // List into `names` (emptied first). Asks `stop`, when set, before the
    // first entry, after every ListStopInterval entries read and before
    // sorting; once it answers true, ends with `names` empty and returns
    // false. The default lists with List.
    virtual bool ListNames(const std::string& folder, const std::string& pattern, ListedNames& names,
                           const std::function<bool()>& stop);
    // Mount point of the file system that holds the path (the nearest existing
    // ancestor is used for a path that does not exist); empty when unknown.
    virtual std::string MountPoint(const std::string& path) = 0;
    // Free bytes available on the file system that holds the path.
    virtual std::optional<std::uint64_t> FreeSpace(const std::string& path) = 0;
    // Up to `maxBytes` bytes from the start of the file, links followed; an
    // empty text when no file is there (a dangling link included), nothing
    // when what is there cannot be read or is no ordinary file.
    virtual std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t maxBytes) = 0;
    // Makes `bytes` the contents of the file in one step, so that a crash
    // leaves the old or the new file: writes them to a new hidden file next to
    // it (as CreateOutput does) and renames that over it. A link is followed
    // and the file it leads to replaced, keeping its permissions. Creates the
    // file, not its folder. False, leaving the file as it was, on failure.
    virtual bool ReplaceFile(const std::string& path, std::string_view bytes) = 0;
    // True when both paths name one file: the same device and inode when both
    // exist (links and hard links included), otherwise the same absolute path
    // once "." and ".." parts and links of existing folders are resolved.
    virtual bool SameFile(const std::string& a, const std::string& b);
    // What the path names. The default knows ordinary files only (FileExists).
    virtual PathCheck CheckPath(const std::string& path);
};

// The real file system (POSIX), shared by everything that is given no other.
std::shared_ptr<FileSystem> DefaultFileSystem();

}  // namespace tavox
