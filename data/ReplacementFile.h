#pragma once

#include <sys/types.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/Recycled.h"
#include "data/FileSystem.h"
#include "data/OpenFolder.h"

// The POSIX side of replacing a file atomically; used by the POSIX FileSystem.
namespace tavox::replacement {

// Longest name of a folder entry.
inline constexpr std::size_t MaxEntryLength = 255;

// Name of the hidden file that stands in for `name` while it is written:
// ".<name>.tavox-<pid>-<tag>", with `name` cut so that the whole fits a
// folder entry. `tag` is six letters or digits.
std::string TemporaryName(std::string_view name, pid_t pid, std::string_view tag);
// The process that made `entry`, when `entry` is a TemporaryName of `name`.
std::optional<pid_t> TemporaryOwner(std::string_view entry, std::string_view name);
// True when `entry` has the form of some TemporaryName.
bool IsTemporaryName(std::string_view entry);

// An OutputFile on a new hidden file (see FileSystem::CreateOutput), made,
// renamed and removed by name in its open folder.
class PosixOutputFile final : public OutputFile, public Recycled<PosixOutputFile> {
public:
    // Creates the hidden file for the output `name` in `folder`; nullptr when
    // it cannot be made, a name longer than a folder entry included.
    static std::unique_ptr<PosixOutputFile> Create(std::shared_ptr<OpenFolder> folder, std::string_view name);
    // The same for `path`, opening its folder.
    static std::unique_ptr<PosixOutputFile> Create(const std::string& path);
    ~PosixOutputFile() override;
    PosixOutputFile(const PosixOutputFile&) = delete;
    PosixOutputFile& operator=(const PosixOutputFile&) = delete;

    void Write(std::span<const std::byte> bytes) override;
    void WriteAt(std::uint64_t offset, std::span<const std::byte> bytes) override;
    bool Finish() override;
    CommitResult Commit(const std::optional<FileIdentity>& keep) override;
    // Gives the new file these permission bits; a failure fails the Commit.
    void SetMode(mode_t mode);

private:
    explicit PosixOutputFile(std::shared_ptr<OpenFolder> folder) noexcept;
    // Renames over the name; `replaced` is what the name led to, when known
    // (nothing: no file), for NameChanges.
    CommitResult Rename(const std::optional<FileIdentity>& replaced, bool known);
    CommitResult Discard(CommitResult result) noexcept;
    int Folder() const noexcept { return folder_->Fd(); }

    std::shared_ptr<OpenFolder> folder_;
    int fd_ = -1;
    char name_[MaxEntryLength + 1];  // both NUL-terminated
    char temporary_[MaxEntryLength + 1];
    std::uint64_t written_ = 0;  // bytes appended
    bool failed_ = false;        // a write or the close failed
    bool finishFailed_ = false;  // Finish removed the file for that
    bool done_ = false;
};

// Leftovers of interrupted replacements that listings met, by folder.
class Leftovers {
public:
    // What a listing of `folder` met: replaces the earlier note of that folder.
    void Note(const std::string& folder, std::vector<std::string> entries);
    // Removes the noted leftovers of `path` whose process has ended.
    void RemoveFor(const std::string& path);

private:
    std::mutex mutex_;
    std::unordered_map<std::string, std::vector<std::string>> byFolder_;
    std::atomic<bool> any_{false};
};

}  // namespace tavox::replacement
