#include "data/ReplacementFile.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>

#include "data/NameChanges.h"
#include "data/Path.h"

namespace tavox::replacement {
namespace {

constexpr std::string_view Marker = ".tavox-";
constexpr std::size_t TagLength = 6;
constexpr std::size_t MaxPidDigits = 10;
// The part of an output's name kept in the name of its temporary file.
constexpr std::size_t MaxStemLength = MaxEntryLength - 1 - Marker.size() - MaxPidDigits - 1 - TagLength;
constexpr int CreateAttempts = 64;

// Set once a replacement found its output's name taken: the next ones then
// examine the name before renaming instead of trying a rename that fails.
// Either order gives the same result; this one saves a system call per file
// in a rerun over old outputs.
std::atomic<bool> namesTaken{false};

std::atomic<pid_t> cachedPid{0};

// getpid is a system call; the number is kept, and forgotten by a forked child.
pid_t OwnPid() {
    static const int registered = pthread_atfork(nullptr, nullptr, [] { cachedPid.store(0); });
    (void)registered;
    pid_t pid = cachedPid.load(std::memory_order_relaxed);
    if (pid == 0) {
        pid = ::getpid();
        cachedPid.store(pid, std::memory_order_relaxed);
    }
    return pid;
}

// Six letters or digits, different at every call: the O_EXCL create, not
// their secrecy, keeps a planted file from being used.
void WriteRandomTag(char* tag) {
    static constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static const std::uint64_t seed = [] {
        std::random_device device;
        return (std::uint64_t{device()} << 32) ^ device();
    }();
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t x = seed + 0x9E3779B97F4A7C15ull * (counter.fetch_add(1, std::memory_order_relaxed) + 1);
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    for (std::size_t i = 0; i < TagLength; ++i) {
        tag[i] = Alphabet[x % (sizeof Alphabet - 1)];
        x /= sizeof Alphabet - 1;
    }
}

// TemporaryName into `out` (MaxEntryLength + 1 bytes), NUL-terminated.
void WriteTemporaryName(char* out, std::string_view name, pid_t pid) {
    char* at = out;
    *at++ = '.';
    const std::string_view stem = name.substr(0, MaxStemLength);
    at = std::copy(stem.begin(), stem.end(), at);
    at = std::copy(Marker.begin(), Marker.end(), at);
    char digits[MaxPidDigits];
    std::size_t count = 0;
    for (auto n = static_cast<std::uint64_t>(pid); count == 0 || n > 0; n /= 10) digits[count++] = '0' + n % 10;
    while (count > 0) *at++ = digits[--count];
    *at++ = '-';
    WriteRandomTag(at);
    at[TagLength] = '\0';
}

bool IsTagCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// The owner's number from "<pid>-<tag>", the text after the marker.
std::optional<pid_t> OwnerFromSuffix(std::string_view suffix) {
    const std::size_t dash = suffix.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash > MaxPidDigits) return std::nullopt;
    if (suffix.size() != dash + 1 + TagLength) return std::nullopt;
    std::int64_t pid = 0;
    for (const char c : suffix.substr(0, dash)) {
        if (c < '0' || c > '9') return std::nullopt;
        pid = pid * 10 + (c - '0');
    }
    for (const char c : suffix.substr(dash + 1)) {
        if (!IsTagCharacter(c)) return std::nullopt;
    }
    if (pid <= 0 || pid > 0x7FFFFFFF) return std::nullopt;
    return static_cast<pid_t>(pid);
}

int OpenExclusive(int folder, const char* name) {
    int fd;
    do {
        fd = ::openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace

std::string TemporaryName(std::string_view name, pid_t pid, std::string_view tag) {
    std::string entry = ".";
    entry += name.substr(0, MaxStemLength);
    entry += Marker;
    entry += std::to_string(pid);
    entry += '-';
    entry += tag;
    return entry;
}

std::optional<pid_t> TemporaryOwner(std::string_view entry, std::string_view name) {
    const std::string_view stem = name.substr(0, MaxStemLength);
    if (entry.size() < 1 + stem.size() + Marker.size() || entry.front() != '.') return std::nullopt;
    entry.remove_prefix(1);
    if (entry.substr(0, stem.size()) != stem) return std::nullopt;
    entry.remove_prefix(stem.size());
    if (entry.substr(0, Marker.size()) != Marker) return std::nullopt;
    return OwnerFromSuffix(entry.substr(Marker.size()));
}

bool IsTemporaryName(std::string_view entry) {
    if (entry.empty() || entry.front() != '.') return false;
    const std::size_t marker = entry.rfind(Marker);
    return marker != std::string_view::npos && marker > 0 && OwnerFromSuffix(entry.substr(marker + Marker.size()));
}

std::unique_ptr<PosixOutputFile> PosixOutputFile::Create(std::shared_ptr<OpenFolder> folder, std::string_view name) {
    if (name.size() > MaxEntryLength) errno = ENAMETOOLONG;
    if (name.empty() || name.size() > MaxEntryLength || !folder) return nullptr;
    // Everything is allocated before the file exists, so that no failure
    // past the open can leave it behind.
    std::unique_ptr<PosixOutputFile> file(new PosixOutputFile(std::move(folder)));
    *std::copy(name.begin(), name.end(), file->name_) = '\0';
    for (int attempt = 0; attempt < CreateAttempts; ++attempt) {
        WriteTemporaryName(file->temporary_, name, OwnPid());
        const int fd = OpenExclusive(file->Folder(), file->temporary_);
        if (fd >= 0) {
            file->fd_ = fd;
            return file;
        }
        if (errno != EEXIST) break;
    }
    file->temporary_[0] = '\0';
    return nullptr;
}

std::unique_ptr<PosixOutputFile> PosixOutputFile::Create(const std::string& path) {
    const PathParts parts = SplitPath(path);
    if (parts.name.empty()) return nullptr;
    return Create(OpenFolder::Open(parts.folder), parts.name);
}

PosixOutputFile::PosixOutputFile(std::shared_ptr<OpenFolder> folder) noexcept : folder_(std::move(folder)) {
    name_[0] = '\0';
    temporary_[0] = '\0';
}

PosixOutputFile::~PosixOutputFile() {
    if (!done_) Discard(CommitResult::Failed);
}

void PosixOutputFile::Write(std::span<const std::byte> bytes) {
    while (!failed_ && !bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno != EINTR) failed_ = true;
        } else {
            bytes = bytes.subspan(static_cast<std::size_t>(n));
            written_ += static_cast<std::uint64_t>(n);
        }
    }
}

void PosixOutputFile::WriteAt(std::uint64_t offset, std::span<const std::byte> bytes) {
    if (offset > written_ || bytes.size() > written_ - offset) failed_ = true;
    while (!failed_ && !bytes.empty()) {
        const ssize_t n = ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (n < 0) {
            if (errno != EINTR) failed_ = true;
        } else {
            bytes = bytes.subspan(static_cast<std::size_t>(n));
            offset += static_cast<std::uint64_t>(n);
        }
    }
}

void PosixOutputFile::SetMode(mode_t mode) {
    if (::fchmod(fd_, mode) != 0) failed_ = true;
}

bool PosixOutputFile::Finish() {
    if (finishFailed_ || done_) return false;
    if (fd_ >= 0) {
        if (::close(fd_) != 0) failed_ = true;
        fd_ = -1;
    }
    if (!failed_) return true;
    finishFailed_ = true;
    Discard(CommitResult::WriteFailed);
    return false;
}

CommitResult PosixOutputFile::Commit(const std::optional<FileIdentity>& keep) {
    if (finishFailed_) return CommitResult::WriteFailed;
    if (done_) return CommitResult::Failed;
    if (!Finish()) return CommitResult::WriteFailed;
    if (!keep) return Rename(std::nullopt, false);
    if (!namesTaken.load(std::memory_order_relaxed)) {
        if (::renameat2(Folder(), temporary_, Folder(), name_, RENAME_NOREPLACE) == 0) {
            done_ = true;
            NameChanges::Note(std::nullopt);
            return CommitResult::Replaced;
        }
        if (errno == EEXIST) {
            namesTaken.store(true, std::memory_order_relaxed);
        } else if (errno != EINVAL && errno != ENOSYS) {  // EINVAL: no exclusive rename on this file system
            return Discard(CommitResult::Failed);
        }
    }
    struct stat st {};
    if (::fstatat(Folder(), name_, &st, 0) != 0) {
        if (errno != ENOENT) return Discard(CommitResult::Failed);
        namesTaken.store(false, std::memory_order_relaxed);  // free, or a dangling link
        return Rename(std::nullopt, true);
    }
    const FileIdentity reached{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    if (reached == *keep) return Discard(CommitResult::NamesKept);
    return Rename(reached, true);
}

CommitResult PosixOutputFile::Rename(const std::optional<FileIdentity>& replaced, bool known) {
    if (::renameat(Folder(), temporary_, Folder(), name_) != 0) return Discard(CommitResult::Failed);
    done_ = true;
    NameChanges::Note(replaced, known);
    return CommitResult::Replaced;
}

CommitResult PosixOutputFile::Discard(CommitResult result) noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (temporary_[0] != '\0') ::unlinkat(Folder(), temporary_, 0);
    done_ = true;
    return result;
}

void Leftovers::Note(const std::string& folder, std::vector<std::string> entries) {
    if (entries.empty() && !any_.load(std::memory_order_relaxed)) return;
    std::lock_guard lock(mutex_);
    if (entries.empty()) {
        byFolder_.erase(folder);
    } else {
        byFolder_[folder] = std::move(entries);
    }
    any_.store(!byFolder_.empty(), std::memory_order_relaxed);
}

void Leftovers::RemoveFor(const std::string& path) {
    if (!any_.load(std::memory_order_relaxed)) return;
    const std::string folder = PathFolder(path);
    const std::string name = PathName(path);
    std::lock_guard lock(mutex_);
    const auto found = byFolder_.find(folder);
    if (found == byFolder_.end()) return;
    std::vector<std::string>& entries = found->second;
    for (auto entry = entries.begin(); entry != entries.end();) {
        const std::optional<pid_t> owner = TemporaryOwner(*entry, name);
        // A process that still runs may be writing it.
        const bool ended = owner && *owner != OwnPid() && ::kill(*owner, 0) != 0 && errno == ESRCH;
        if (ended) {
            ::unlink((folder + *entry).c_str());
            entry = entries.erase(entry);
        } else {
            ++entry;
        }
    }
    if (entries.empty()) byFolder_.erase(found);
    any_.store(!byFolder_.empty(), std::memory_order_relaxed);
}

}  // namespace tavox::replacement
