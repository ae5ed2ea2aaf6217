#pragma once

#include <array>
#include <memory>

#include "data/FileSystem.h"

namespace tavox::test {

// Kinds of file-system calls that FaultyFileSystem can make fail.
enum class FsCall {
    FileSize,
    FileExists,
    DeleteFileForced,
    OpenRead,
    CreateOutput,
    ReadAt,
    Write,
    Close,
    Rename,
    List,
    ReadSmallFile,
    ReplaceFile,
    Count
};

// Forwards to a real file system, failing chosen calls: a failed query
// reports nothing or false, a failed open or create gives no file, a failed
// ReadAt or ReadSmallFile a read error, a failed Write drops its bytes and
// makes the Commit report WriteFailed. Each Commit of an output counts a Close
// (the new file is written out and closed; failing it gives WriteFailed) and
// a Rename (the new file takes the output's name; failing it gives Failed);
// either failure removes the new file. A failed ReplaceFile leaves the file as
// it was. Counts the files currently open so that tests can check that none
// leak.
class FaultyFileSystem : public FileSystem {
public:
    explicit FaultyFileSystem(std::shared_ptr<FileSystem> real = DefaultFileSystem());

    // Fails the n-th call of that kind counted from now (n = 1: the next one).
    void FailCall(FsCall kind, int nth = 1);
    // Fails every call of that kind from now on.
    void FailEvery(FsCall kind);
    // Stops failing calls of that kind.
    void Heal(FsCall kind);
    // Number of calls of that kind so far.
    int Calls(FsCall kind) const;
    // Files opened through this object and not yet destroyed.
    int OpenHandles() const;

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
    PathCheck CheckPath(const std::string& path) override;

    // Shared with the open files, which may outlive this object.
    struct State {
        std::array<int, static_cast<std::size_t>(FsCall::Count)> calls{};
        std::array<int, static_cast<std::size_t>(FsCall::Count)> failAt{};
        std::array<bool, static_cast<std::size_t>(FsCall::Count)> failEvery{};
        int openHandles = 0;
        // Counts the call and tells whether it is to fail.
        bool Fails(FsCall kind);
    };

private:
    std::shared_ptr<FileSystem> real_;
    std::shared_ptr<State> state_;
};

}  // namespace tavox::test
