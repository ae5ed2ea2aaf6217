#include "data/Path.h"

#include <unistd.h>

#include <climits>
#include <mutex>
#include <vector>

namespace tavox {
namespace {

std::mutex programFolderMutex;
std::string programFolderOverride;

std::string ExecutablePath() {
    std::vector<char> buffer(PATH_MAX);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return {};
        if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<std::size_t>(n));
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

std::string PathName(std::string_view path) {
    const auto slash = path.rfind(PathSeparator);
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string PathFolder(std::string_view path) {
    const auto slash = path.rfind(PathSeparator);
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string BaseName(std::string_view path) {
    const std::string name = PathName(path);
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string Extension(std::string_view path) {
    const std::string name = PathName(path);
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    if (folder.empty()) return std::string(name);
    while (!folder.empty() && folder.back() == PathSeparator) folder.remove_suffix(1);
    while (!name.empty() && name.front() == PathSeparator) name.remove_prefix(1);
    std::string joined(folder);
    joined += PathSeparator;
    joined += name;
    return joined;
}

bool IsAbsolutePath(std::string_view path) noexcept {
    return !path.empty() && path.front() == PathSeparator;
}

// Greedy matching that returns to the most recent "*" on a mismatch: each
// "*" only ever advances, so the work is bounded by name x pattern.
bool MatchesWildcard(std::string_view name, std::string_view pattern) noexcept {
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t starP = std::string_view::npos;
    std::size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || (pattern[p] != '*' && pattern[p] == name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::string ProgramFolder() {
    {
        std::lock_guard lock(programFolderMutex);
        if (!programFolderOverride.empty()) return programFolderOverride;
    }
    std::string folder = PathFolder(ExecutablePath());
    return folder.empty() ? std::string(1, PathSeparator) : folder;
}

std::string ProgramName() {
    return BaseName(ExecutablePath());
}

void SetProgramFolder(std::string folder) {
    if (!folder.empty() && folder.back() != PathSeparator) folder += PathSeparator;
    std::lock_guard lock(programFolderMutex);
    programFolderOverride = std::move(folder);
}

}  // namespace tavox
