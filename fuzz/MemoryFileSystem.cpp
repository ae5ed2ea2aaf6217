#include "fuzz/MemoryFileSystem.h"

#include <algorithm>
#include <filesystem>

#include "data/Path.h"

namespace tavox::fuzz {
namespace {

std::string Normal(const std::string& path) {
    return std::filesystem::path(path).lexically_normal().string();
}

class MemoryInputFile final : public InputFile {
public:
    explicit MemoryInputFile(std::shared_ptr<const MemoryFileSystem::Bytes> bytes) : bytes_(std::move(bytes)) {}

    std::optional<std::size_t> ReadAt(std::uint64_t offset, std::span<std::byte> out) override {
        if (offset >= bytes_->size()) return 0;
        const std::size_t n = std::min<std::uint64_t>(out.size(), bytes_->size() - offset);
        std::copy_n(bytes_->begin() + static_cast<std::ptrdiff_t>(offset), n, out.begin());
        return n;
    }

private:
    std::shared_ptr<const MemoryFileSystem::Bytes> bytes_;
};

class MemoryOutputFile final : public OutputFile {
public:
    MemoryOutputFile(MemoryFileSystem& fileSystem, std::string path)
        : fileSystem_(fileSystem), path_(std::move(path)) {}

    void Write(std::span<const std::byte> bytes) override {
        if (!done_) bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    }
    void WriteAt(std::uint64_t offset, std::span<const std::byte> bytes) override {
        if (done_ || offset > bytes_.size() || bytes.size() > bytes_.size() - offset) {
            failed_ = true;
            return;
        }
        std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    bool Finish() override { return !done_ && !failed_; }
    // Paths name files only, so nothing is reached through the name.
    CommitResult Commit(const std::optional<FileIdentity>&) override {
        if (done_) return CommitResult::Failed;
        if (failed_) return CommitResult::WriteFailed;
        done_ = true;
        fileSystem_.Put(path_, std::move(bytes_));
        return CommitResult::Replaced;
    }

private:
    MemoryFileSystem& fileSystem_;
    std::string path_;
    MemoryFileSystem::Bytes bytes_;
    bool done_ = false;
    bool failed_ = false;
};

}  // namespace

void MemoryFileSystem::Put(const std::string& path, Bytes bytes) {
    files_[Normal(path)] = std::make_shared<Bytes>(std::move(bytes));
}

const MemoryFileSystem::Bytes* MemoryFileSystem::Get(const std::string& path) const {
    const auto it = files_.find(Normal(path));
    return it == files_.end() ? nullptr : it->second.get();
}

std::optional<std::uint64_t> MemoryFileSystem::FileSize(const std::string& path) {
    const Bytes* bytes = Get(path);
    if (!bytes) return std::nullopt;
    return bytes->size();
}

bool MemoryFileSystem::FileExists(const std::string& path) {
    return Get(path) != nullptr;
}

bool MemoryFileSystem::DeleteFileForced(const std::string& path) {
    return files_.erase(Normal(path)) > 0;
}

std::unique_ptr<InputFile> MemoryFileSystem::OpenRead(const std::string& path) {
    const auto it = files_.find(Normal(path));
    if (it == files_.end()) return nullptr;
    return std::make_unique<MemoryInputFile>(it->second);
}

std::unique_ptr<OutputFile> MemoryFileSystem::CreateOutput(const std::string& path) {
    if (path.empty() || path.back() == PathSeparator || !IsAbsolutePath(path)) return nullptr;
    return std::make_unique<MemoryOutputFile>(*this, path);
}

std::vector<std::string> MemoryFileSystem::List(const std::string& folder, const std::string& pattern) {
    std::string prefix = Normal(folder.empty() ? std::string(1, PathSeparator) : folder);
    if (prefix.back() != PathSeparator) prefix += PathSeparator;
    std::vector<std::string> names;
    for (const auto& [path, bytes] : files_) {
        if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string name = path.substr(prefix.size());
        if (name.find(PathSeparator) != std::string::npos || name.front() == '.') continue;
        if (MatchesWildcard(name, pattern)) names.push_back(name);
    }
    return names;  // the map keeps them sorted
}

std::string MemoryFileSystem::MountPoint(const std::string&) {
    return std::string(1, PathSeparator);
}

std::optional<std::uint64_t> MemoryFileSystem::FreeSpace(const std::string&) {
    return std::uint64_t{1} << 40;
}

bool MemoryFileSystem::SameFile(const std::string& a, const std::string& b) {
    return Normal(a) == Normal(b);
}

std::optional<std::string> MemoryFileSystem::ReadSmallFile(const std::string& path, std::size_t maxBytes) {
    const Bytes* bytes = Get(path);
    if (!bytes) return std::string();
    const std::size_t n = std::min(bytes->size(), maxBytes);
    return std::string(reinterpret_cast<const char*>(bytes->data()), n);
}

// A new map entry: files opened before keep the old contents.
bool MemoryFileSystem::ReplaceFile(const std::string& path, std::string_view bytes) {
    if (path.empty() || path.back() == PathSeparator || !IsAbsolutePath(path)) return false;
    const auto* first = reinterpret_cast<const std::byte*>(bytes.data());
    Put(path, Bytes(first, first + bytes.size()));
    return true;
}

}  // namespace tavox::fuzz
