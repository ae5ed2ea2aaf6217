#include "data/FileSystem.h"

#include "data/PosixFileSystem.h"

namespace tavox {

PathCheck FileSystem::CheckPath(const std::string& path) {
    return {FileExists(path) ? PathCheck::File : PathCheck::Missing, {}};
}

bool FileSystem::ListNames(const std::string& folder, const std::string& pattern, ListedNames& names,
                           const std::function<bool()>& stop) {
    names.Clear();
    if (stop && stop()) return false;
    for (const std::string& name : List(folder, pattern)) names.Add(name);
    if (stop && stop()) {
        names.Clear();
        return false;
    }
    return true;
}

bool FileSystem::SameFile(const std::string& a, const std::string& b) {
    return SameRealFile(a, b);
}

}  // namespace tavox
