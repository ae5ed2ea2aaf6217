#include "data/OpenFolder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace tavox {

std::shared_ptr<OpenFolder> OpenFolder::Open(std::string_view folder) {
    if (folder.empty()) return std::make_shared<OpenFolder>(AT_FDCWD);
    const std::string path(folder);
    int fd;
    do {
        fd = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return nullptr;
    try {
        return std::make_shared<OpenFolder>(fd);
    } catch (...) {
        ::close(fd);
        throw;
    }
}

OpenFolder::~OpenFolder() {
    if (fd_ >= 0) ::close(fd_);
}

PathParts SplitPath(std::string_view path) noexcept {
    const void* slash = path.empty() ? nullptr : ::memrchr(path.data(), '/', path.size());
    if (slash == nullptr) return {{}, path};
    const std::size_t folder = static_cast<const char*>(slash) - path.data() + 1;
    return {path.substr(0, folder), path.substr(folder)};
}

}  // namespace tavox
