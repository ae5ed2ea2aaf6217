#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/FileSystem.h"
#include "data/OpenFolder.h"
#include "data/ReplacementFile.h"

namespace tavox {

// The file system of the operating system through POSIX calls; the one
// DefaultFileSystem gives. Allows concurrent use. Outputs and replaced files
// are written as ReplacementFile describes.
class PosixFileSystem final : public FileSystem {
public:
    bool ConcurrentUse() const override;
    // Up to HeldFolderCount folders, the most recently used.
    void HoldFolders() override;
    void ReleaseFolders() noexcept override;
    std::optional<std::uint64_t> FileSize(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    bool DeleteFileForced(const std::string& path) override;
    std::unique_ptr<InputFile> OpenRead(const std::string& path) override;
    std::unique_ptr<OutputFile> CreateOutput(const std::string& path) override;
    std::vector<std::string> List(const std::string& folder, const std::string& pattern) override;
    bool ListNames(const std::string& folder, const std::string& pattern, ListedNames& names,
                   const std::function<bool()>& stop) override;
    std::string MountPoint(const std::string& path) override;
    std::optional<std::uint64_t> FreeSpace(const std::string& path) override;
    std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t maxBytes) override;
    bool ReplaceFile(const std::string& path, std::string_view bytes) override;
    PathCheck CheckPath(const std::string& path) override;

    static constexpr std::size_t HeldFolderCount = 8;

private:
    // The held open folder of `folder` (a path ending in "/", or empty),
    // opened when not yet held; nullptr while no folders are held or when it
    // cannot be opened.
    std::shared_ptr<OpenFolder> HeldFolder(std::string_view folder);

    replacement::Leftovers leftovers_;
    struct KeptFolder {
        std::string path;
        std::shared_ptr<OpenFolder> open;
    };
    std::mutex heldMutex_;
    std::int32_t holders_ = 0;
    std::array<KeptFolder, HeldFolderCount> held_;
    std::size_t lastHeld_ = 0;  // the one found or opened last
    std::size_t nextHeld_ = 0;  // the one to replace next
};

// FileSystem::SameFile on the files of the operating system: the default of
// every file system that does not say otherwise.
bool SameRealFile(const std::string& a, const std::string& b);

}  // namespace tavox
