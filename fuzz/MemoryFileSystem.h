#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "data/FileSystem.h"

namespace tavox::fuzz {

// A file system held in memory: a flat map from absolute paths to contents.
// A folder exists when a file lies in it. Open files keep their contents
// alive after a deletion, as on POSIX. An output takes its path when it is
// committed.
class MemoryFileSystem : public FileSystem {
public:
    using Bytes = std::vector<std::byte>;

    void Put(const std::string& path, Bytes bytes);
    // Contents of the file, or nullptr when there is none.
    const Bytes* Get(const std::string& path) const;
    const std::map<std::string, std::shared_ptr<Bytes>>& Files() const noexcept { return files_; }

    std::optional<std::uint64_t> FileSize(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    bool DeleteFileForced(const std::string& path) override;
    std::unique_ptr<InputFile> OpenRead(const std::string& path) override;
    std::unique_ptr<OutputFile> CreateOutput(const std::string& path) override;
    std::vector<std::string> List(const std::string& folder, const std::string& pattern) override;
    std::string MountPoint(const std::string& path) override;
    std::optional<std::uint64_t> FreeSpace(const std::string& path) override;
    bool SameFile(const std::string& a, const std::string& b) override;
    std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t maxBytes) override;
    bool ReplaceFile(const std::string& path, std::string_view bytes) override;

private:
    std::map<std::string, std::shared_ptr<Bytes>> files_;
};

}  // namespace tavox::fuzz
