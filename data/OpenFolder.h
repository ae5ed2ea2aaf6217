#pragma once

#include <memory>
#include <string_view>

namespace tavox {

// A folder held open (O_PATH) so that the files in it are opened, created
// and renamed by their names alone: the kernel walks the folder's path once,
// and every name of one output lies in the same folder whatever happens to
// that path meanwhile. Closed by its destructor.
class OpenFolder {
public:
    // Opens `folder` (a path; empty for the current folder, which stays
    // AT_FDCWD). Nullptr, with errno set, when it cannot be opened.
    static std::shared_ptr<OpenFolder> Open(std::string_view folder);

    explicit OpenFolder(int fd) noexcept : fd_(fd) {}
    ~OpenFolder();
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

    // For the *at system calls.
    int Fd() const noexcept { return fd_; }

private:
    int fd_;
};

// Splits a path at its last "/": the folder up to and including it (empty
// when there is none) and the name after it.
struct PathParts {
    std::string_view folder;
    std::string_view name;
};
PathParts SplitPath(std::string_view path) noexcept;

}  // namespace tavox
