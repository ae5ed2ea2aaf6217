#include "data/FileSystem.h"

#include "data/PosixFileSystem.h"

namespace tavox {

PathCheck FileSystem::CheckPath(const std::string& path) {
    return {FileExists(path) ? PathCheck::File : PathCheck::Missing, {}};
}

bool FileSystem::SameFile(const std::string& a, const std::string& b) {
    return SameRealFile(a, b);
}

}  // namespace tavox
