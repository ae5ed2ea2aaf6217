#include "data/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <system_error>

#include "data/Path.h"

namespace tavox {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t WriteBufferSize = 256 * 1024;

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

FileIdentity IdentityOf(const struct stat& st) {
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

class PosixInputFile final : public InputFile {
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

class PosixOutputFile final : public OutputFile {
public:
    // `oldSize` bytes are already in the file; those past the written ones
    // are cut at the close.
    explicit PosixOutputFile(int fd, std::uint64_t oldSize = 0) : fd_(fd), oldSize_(oldSize) {
        buffer_.reserve(WriteBufferSize);
    }
    ~PosixOutputFile() override {
        if (fd_ >= 0) {
            Finish();
            ::close(fd_);
        }
    }
    PosixOutputFile(const PosixOutputFile&) = delete;
    PosixOutputFile& operator=(const PosixOutputFile&) = delete;

    void Write(std::span<const std::byte> bytes) override {
        if (fd_ < 0) {
            failed_ = true;
            return;
        }
        while (!bytes.empty()) {
            const std::size_t room = WriteBufferSize - buffer_.size();
            const std::size_t take = std::min(room, bytes.size());
            buffer_.insert(buffer_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
            bytes = bytes.subspan(take);
            if (buffer_.size() == WriteBufferSize) Flush();
        }
    }

    bool Close() override {
        if (fd_ < 0) return false;
        Finish();
        if (::close(fd_) != 0) failed_ = true;
        fd_ = -1;
        return !failed_;
    }

private:
    // Writes what is buffered and drops any old bytes past it, also after a
    // failed write, so that the file never ends in stale contents.
    void Finish() {
        Flush();
        if (written_ < oldSize_ && ::ftruncate(fd_, static_cast<off_t>(written_)) != 0) failed_ = true;
    }

    void Flush() {
        std::size_t done = 0;
        while (!failed_ && done < buffer_.size()) {
            const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                failed_ = true;
            } else {
                done += static_cast<std::size_t>(n);
                written_ += static_cast<std::uint64_t>(n);
            }
        }
        buffer_.clear();
    }

    int fd_;
    std::uint64_t oldSize_;
    std::uint64_t written_ = 0;
    bool failed_ = false;
    std::vector<std::byte> buffer_;
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

class PosixFileSystem final : public FileSystem {
public:
    std::optional<std::uint64_t> FileSize(const std::string& path) override {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
        return static_cast<std::uint64_t>(st.st_size);
    }

    bool FileExists(const std::string& path) override {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }

    bool DeleteFileForced(const std::string& path) override {
        if (::unlink(path.c_str()) == 0) return true;
        if (errno != EACCES && errno != EPERM) return false;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
        if (::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0) return false;
        return ::unlink(path.c_str()) == 0;
    }

    std::unique_ptr<InputFile> OpenRead(const std::string& path) override {
        const int fd = OpenRetrying(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return nullptr;
        struct stat st {};
        if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<PosixInputFile>(fd, st);
    }

    std::unique_ptr<OutputFile> OpenWrite(const std::string& path) override {
        const int fd = OpenRetrying(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) return nullptr;
        return std::make_unique<PosixOutputFile>(fd);
    }

    Rewrite OpenRewrite(const std::string& path, const std::optional<FileIdentity>& keep) override {
        Rewrite rewrite;
        if (!keep) return rewrite;
        const int fd = OpenRetrying(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            if (errno == ENOENT) rewrite.status = PathStatus{};
            return rewrite;  // a link, a FIFO without reader, no permission...: unknown
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            ::close(fd);
            return rewrite;
        }
        PathStatus& status = rewrite.status.emplace();
        status.exists = true;
        status.identity = IdentityOf(st);
        status.regular = S_ISREG(st.st_mode);
        status.names = static_cast<std::uint64_t>(st.st_nlink);
        if (!status.regular || status.names != 1 || status.identity == keep) {
            ::close(fd);
            return rewrite;
        }
        rewrite.file = std::make_unique<PosixOutputFile>(fd, static_cast<std::uint64_t>(st.st_size));
        return rewrite;
    }

    std::optional<PathStatus> Inspect(const std::string& path) override {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            if (errno == ENOENT || errno == ENOTDIR) return PathStatus{};
            return std::nullopt;
        }
        PathStatus status;
        status.exists = true;
        if (S_ISLNK(st.st_mode) && ::stat(path.c_str(), &st) != 0) {
            if (errno == ENOENT || errno == ENOTDIR) return status;  // a dangling link
            return std::nullopt;
        }
        status.identity = IdentityOf(st);
        status.regular = S_ISREG(st.st_mode);
        status.names = static_cast<std::uint64_t>(st.st_nlink);
        return status;
    }

    std::vector<std::string> List(const std::string& folder, const std::string& pattern) override {
        std::vector<std::string> names;
        DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
        if (dir == nullptr) return names;
        const int dirFd = ::dirfd(dir);
        while (const dirent* entry = ::readdir(dir)) {
            const std::string_view name(entry->d_name);
            if (name.empty() || name.front() == '.' || !MatchesWildcard(name, pattern)) continue;
            bool regular = entry->d_type == DT_REG;
            if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
                struct stat st {};
                regular = ::fstatat(dirFd, entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
            }
            if (regular) names.emplace_back(name);
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string MountPoint(const std::string& path) override {
        const fs::path existing = NearestExisting(path);
        if (existing.empty()) return {};
        std::error_code ec;
        const fs::path canonical = fs::canonical(existing, ec);
        if (ec) return {};
        std::string mount = MountPointFromTable(canonical.string());
        if (mount.empty()) mount = MountPointByDevice(canonical);
        return mount;
    }

    std::optional<std::uint64_t> FreeSpace(const std::string& path) override {
        const fs::path existing = NearestExisting(path);
        if (existing.empty()) return std::nullopt;
        std::error_code ec;
        const fs::space_info info = fs::space(existing, ec);
        if (ec || info.available == static_cast<std::uintmax_t>(-1)) return std::nullopt;
        return static_cast<std::uint64_t>(info.available);
    }

    std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t maxBytes) override {
        const int fd = OpenRetrying(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            if (errno == ENOENT || errno == ENOTDIR) return std::string();
            return std::nullopt;
        }
        std::string bytes(maxBytes, '\0');
        std::size_t done = 0;
        bool failed = false;
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

    bool ReplaceFile(const std::string& path, std::string_view bytes) override {
        std::error_code error;
        fs::path target = path;
        if (fs::is_symlink(target, error)) {
            target = fs::weakly_canonical(target, error);
            if (error) return false;
        }
        std::random_device random;
        const fs::path temporary = target.string() + ".tmp" + std::to_string(random() % 1000000);
        {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            if (!out) return false;
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            out.close();
            if (!out) {
                fs::remove(temporary, error);
                return false;
            }
        }
        const auto status = fs::status(target, error);
        if (!error && fs::exists(status)) fs::permissions(temporary, status.permissions(), error);
        fs::rename(temporary, target, error);
        if (error) {
            fs::remove(temporary, error);
            return false;
        }
        return true;
    }
};

fs::path ResolvedPath(const std::string& path) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec).lexically_normal();
    if (ec) return fs::path(path).lexically_normal();
    const fs::path resolved = fs::weakly_canonical(absolute, ec);
    return ec ? absolute : resolved;
}

}  // namespace

Rewrite FileSystem::OpenRewrite(const std::string&, const std::optional<FileIdentity>&) {
    return {};
}

std::optional<PathStatus> FileSystem::Inspect(const std::string& path) {
    PathStatus status;
    status.exists = FileExists(path);
    status.regular = status.exists;
    return status;
}

bool FileSystem::SameFile(const std::string& a, const std::string& b) {
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
