#include "data/PosixFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <limits>
#include <new>
#include <sstream>
#include <system_error>

#include "common/Recycled.h"
#include "data/Path.h"

namespace tavox {
namespace {

namespace fs = std::filesystem;

int OpenRetrying(int folder, const char* path, int flags) {
    int fd;
    do {
        fd = ::openat(folder, path, flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

FileIdentity IdentityOf(const struct stat& st) {
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

class PosixInputFile final : public InputFile, public Recycled<PosixInputFile> {
public:
    PosixInputFile(int fd, const struct stat& st)
        : fd_(fd), size_(static_cast<std::uint64_t>(st.st_size)), identity_{IdentityOf(st)} {}
    ~PosixInputFile() override { ::close(fd_); }
    PosixInputFile(const PosixInputFile&) = delete;
    PosixInputFile& operator=(const PosixInputFile&) = delete;

    std::optional<std::size_t> ReadAt(std::uint64_t offset, std::span<std::byte> out) override {
        std::size_t done = 0;
        while (done < out.size()) {
            const std::uint64_t at = offset + done;
            if (at > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) break;
            const ssize_t n = ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(at));
            if (n < 0) {
                if (errno == EINTR) continue;
                return std::nullopt;
            }
            if (n == 0) break;
            done += static_cast<std::size_t>(n);
        }
        return done;
    }

    std::optional<std::uint64_t> Size() const override { return size_; }
    std::optional<FileIdentity> Identity() const override { return identity_; }

private:
    int fd_;
    std::uint64_t size_;
    FileIdentity identity_;
};

// The path itself, or its nearest ancestor that exists, made absolute.
fs::path NearestExisting(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::absolute(path.empty() ? fs::path(".") : fs::path(path), ec).lexically_normal();
    if (ec) return {};
    while (!fs::exists(p, ec)) {
        if (!p.has_relative_path()) break;
        p = p.parent_path();
    }
    return p;
}

// Undoes the octal escapes (\040 and the like) of /proc/self/mountinfo.
std::string UnescapeMountField(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '7'; })) {
                out += static_cast<char>(std::stoi(digits, nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

bool IsPathPrefix(const std::string& prefix, const std::string& path) {
    if (prefix == "/") return true;
    return path.size() >= prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
           (path.size() == prefix.size() || path[prefix.size()] == '/');
}

std::string MountPointFromTable(const std::string& canonical) {
    std::ifstream table("/proc/self/mountinfo");
    std::string line;
    std::string best;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string id, parent, device, root, mountPoint;
        if (!(fields >> id >> parent >> device >> root >> mountPoint)) continue;
        mountPoint = UnescapeMountField(mountPoint);
        if (IsPathPrefix(mountPoint, canonical) && mountPoint.size() >= best.size()) best = mountPoint;
    }
    return best;
}

// Highest ancestor that still lies on the same device.
std::string MountPointByDevice(const fs::path& canonical) {
    struct stat st {};
    if (::stat(canonical.c_str(), &st) != 0) return {};
    fs::path current = canonical;
    while (current.has_relative_path()) {
        const fs::path parent = current.parent_path();
        struct stat up {};
        if (::stat(parent.c_str(), &up) != 0 || up.st_dev != st.st_dev) break;
        current = parent;
    }
    return current.string();
}

// Opens without waiting on a FIFO and without taking a terminal; nothing
// but an ordinary file is kept open. `path` is taken in `folder` (an open
// folder's descriptor, or AT_FDCWD).
int OpenOrdinaryFile(int folder, const char* path, struct stat& st) {
    const int fd = OpenRetrying(folder, path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

std::string SystemMessage(int error) {
    return std::system_category().message(error);
}

fs::path ResolvedPath(const std::string& path) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec).lexically_normal();
    if (ec) return fs::path(path).lexically_normal();
    const fs::path resolved = fs::weakly_canonical(absolute, ec);
    return ec ? absolute : resolved;
}

}  // namespace

bool PosixFileSystem::ConcurrentUse() const {
    return true;
}

std::optional<std::uint64_t> PosixFileSystem::FileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

bool PosixFileSystem::FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Removing a name depends on the folder's permissions, never on the
// file's own, so no permission of the file is touched.
bool PosixFileSystem::DeleteFileForced(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

void PosixFileSystem::HoldFolders() {
    std::lock_guard lock(heldMutex_);
    ++holders_;
}

void PosixFileSystem::ReleaseFolders() noexcept {
    std::lock_guard lock(heldMutex_);
    if (holders_ == 0 || --holders_ > 0) return;
    for (KeptFolder& folder : held_) {
        folder.open.reset();
        folder.path.clear();
    }
}

std::shared_ptr<OpenFolder> PosixFileSystem::HeldFolder(std::string_view folder) {
    std::lock_guard lock(heldMutex_);
    if (holders_ == 0) return nullptr;
    if (held_[lastHeld_].open && held_[lastHeld_].path == folder) return held_[lastHeld_].open;
    for (std::size_t i = 0; i < held_.size(); ++i) {
        if (!held_[i].open || held_[i].path != folder) continue;
        lastHeld_ = i;
        return held_[i].open;
    }
    std::shared_ptr<OpenFolder> open = OpenFolder::Open(folder);
    if (!open) return nullptr;
    KeptFolder& slot = held_[nextHeld_];
    slot.path.assign(folder);
    slot.open = open;
    lastHeld_ = nextHeld_;
    nextHeld_ = (nextHeld_ + 1) % held_.size();
    return open;
}

// Through a held folder the kernel walks the folder's path once a batch.
std::unique_ptr<InputFile> PosixFileSystem::OpenRead(const std::string& path) {
    struct stat st {};
    const PathParts parts = SplitPath(path);
    const std::shared_ptr<OpenFolder> folder =
        parts.folder.empty() || parts.name.empty() ? nullptr : HeldFolder(parts.folder);
    // The name is the end of the path, whose text ends with a NUL.
    const int fd =
        folder ? OpenOrdinaryFile(folder->Fd(), parts.name.data(), st) : OpenOrdinaryFile(AT_FDCWD, path.c_str(), st);
    if (fd < 0) return nullptr;
    try {
        return std::make_unique<PosixInputFile>(fd, st);
    } catch (...) {
        ::close(fd);
        throw;
    }
}

std::unique_ptr<OutputFile> PosixFileSystem::CreateOutput(const std::string& path) {
    leftovers_.RemoveFor(path);
    const PathParts parts = SplitPath(path);
    if (parts.name.empty()) return nullptr;
    std::shared_ptr<OpenFolder> folder = HeldFolder(parts.folder);
    if (!folder) folder = OpenFolder::Open(parts.folder);
    return replacement::PosixOutputFile::Create(std::move(folder), parts.name);
}

std::vector<std::string> PosixFileSystem::List(const std::string& folder, const std::string& pattern) {
    ListedNames listed;
    ListNames(folder, pattern, listed, {});
    std::vector<std::string> names;
    names.reserve(listed.Size());
    for (const std::string_view name : listed.Views()) names.emplace_back(name);
    return names;
}

bool PosixFileSystem::ListNames(const std::string& folder, const std::string& pattern, ListedNames& names,
                                const std::function<bool()>& stop) {
    names.Clear();
    if (stop && stop()) return false;
    std::vector<std::string> leftovers;
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) {
        // A folder that is there but could not be read for lack of memory is no empty folder.
        if (errno == ENOMEM) throw std::bad_alloc();
        return true;
    }
    const int dirFd = ::dirfd(dir);
    bool stopped = false;
    try {
        std::size_t untilStop = ListStopInterval;
        while (const dirent* entry = ::readdir(dir)) {
            if (--untilStop == 0) {
                untilStop = ListStopInterval;
                if (stop && stop()) {
                    stopped = true;
                    break;
                }
            }
            const std::string_view name(entry->d_name);
            if (name.empty()) continue;
            if (name.front() == '.') {
                if (replacement::IsTemporaryName(name)) leftovers.emplace_back(name);
                continue;
            }
            if (!MatchesWildcard(name, pattern)) continue;
            bool regular = entry->d_type == DT_REG;
            if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
                struct stat st {};
                regular = ::fstatat(dirFd, entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
            }
            if (regular) names.Add(name);
        }
    } catch (...) {
        ::closedir(dir);
        throw;
    }
    ::closedir(dir);
    if (stopped || (stop && stop())) {
        names.Clear();
        return false;
    }
    leftovers_.Note(folder, std::move(leftovers));
    names.Sort();
    return true;
}

std::string PosixFileSystem::MountPoint(const std::string& path) {
    const fs::path existing = NearestExisting(path);
    if (existing.empty()) return {};
    std::error_code ec;
    const fs::path canonical = fs::canonical(existing, ec);
    if (ec) return {};
    std::string mount = MountPointFromTable(canonical.string());
    if (mount.empty()) mount = MountPointByDevice(canonical);
    return mount;
}

std::optional<std::uint64_t> PosixFileSystem::FreeSpace(const std::string& path) {
    const fs::path existing = NearestExisting(path);
    if (existing.empty()) return std::nullopt;
    std::error_code ec;
    const fs::space_info info = fs::space(existing, ec);
    if (ec || info.available == static_cast<std::uintmax_t>(-1)) return std::nullopt;
    return static_cast<std::uint64_t>(info.available);
}

std::optional<std::string> PosixFileSystem::ReadSmallFile(const std::string& path, std::size_t maxBytes) {
    struct stat st {};
    const int fd = OpenOrdinaryFile(AT_FDCWD, path.c_str(), st);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return std::string();
        return std::nullopt;
    }
    std::string bytes;
    std::size_t done = 0;
    bool failed = false;
    try {
        bytes.resize(maxBytes);
    } catch (...) {
        ::close(fd);
        throw;
    }
    while (done < maxBytes) {
        const ssize_t n = ::read(fd, bytes.data() + done, maxBytes - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            failed = true;
            break;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (failed) return std::nullopt;
    bytes.resize(done);
    return bytes;
}

bool PosixFileSystem::ReplaceFile(const std::string& path, std::string_view bytes) {
    std::error_code error;
    fs::path target = path;
    if (fs::is_symlink(target, error)) {
        target = fs::weakly_canonical(target, error);
        if (error) return false;
    }
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    auto file = replacement::PosixOutputFile::Create(target.string());
    if (!file) return false;
    file->Write(std::as_bytes(std::span(bytes.data(), bytes.size())));
    if (exists) file->SetMode(old.st_mode & 07777);
    return file->Commit(std::nullopt) == CommitResult::Replaced;
}

PathCheck PosixFileSystem::CheckPath(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return {PathCheck::Missing, {}};
        return {PathCheck::Unusable, SystemMessage(errno)};
    }
    if (S_ISREG(st.st_mode)) return {PathCheck::File, {}};
    if (S_ISDIR(st.st_mode)) {
        DIR* dir = ::opendir(path.c_str());
        if (dir == nullptr) return {PathCheck::Unusable, SystemMessage(errno)};
        ::closedir(dir);
        return {PathCheck::Folder, {}};
    }
    if (S_ISFIFO(st.st_mode)) return {PathCheck::Special, "FIFO"};
    if (S_ISSOCK(st.st_mode)) return {PathCheck::Special, "socket"};
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return {PathCheck::Special, "device"};
    return {PathCheck::Special, "special file"};
}

bool SameRealFile(const std::string& a, const std::string& b) {
    try {
        struct stat sa {};
        struct stat sb {};
        const bool aExists = ::stat(a.c_str(), &sa) == 0;
        const bool aMissing = !aExists && errno == ENOENT;
        const bool bExists = ::stat(b.c_str(), &sb) == 0;
        const bool bMissing = !bExists && errno == ENOENT;
        if (aExists && bExists) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
        // A path that leads to no file cannot name one that exists.
        if ((aExists && bMissing) || (aMissing && bExists)) return false;
        return ResolvedPath(a) == ResolvedPath(b);
    } catch (...) {
        return a == b;
    }
}

std::shared_ptr<FileSystem> DefaultFileSystem() {
    static const std::shared_ptr<FileSystem> instance = std::make_shared<PosixFileSystem>();
    return instance;
}

}  // namespace tavox
