#include "app/InputProblem.h"

#include "app/DisplayText.h"
#include "app/Files.h"
#include "data/FileSystem.h"
#include "data/Path.h"

namespace tavox {
namespace {

std::string Quoted(const std::string& path) {
    std::string quoted(1, '"');
    quoted += DisplayText(path);
    quoted += '"';
    return quoted;
}

}  // namespace

std::string NoInputMessage(FileSystem& fileSystem, const std::string& source) {
    const std::string pattern = Files::CompletedSource(source);
    const std::string folder = PathFolder(pattern);
    const std::string name = PathName(pattern);
    const PathCheck folderCheck = fileSystem.CheckPath(folder.empty() ? std::string(".") : folder);
    if (folderCheck.kind == PathCheck::Unusable) {
        return "tavox: cannot list the folder " + Quoted(folder) + ": " + folderCheck.detail;
    }
    if (folderCheck.kind == PathCheck::Folder && name.find_first_of("*?") == std::string::npos) {
        const PathCheck check = fileSystem.CheckPath(pattern);
        switch (check.kind) {
            case PathCheck::Folder:
                return "tavox: " + Quoted(pattern) + " is a folder, not a file";
            case PathCheck::Special:
                return "tavox: " + Quoted(pattern) + " is a " + check.detail + ", not an ordinary file";
            case PathCheck::Unusable:
                return "tavox: cannot use " + Quoted(pattern) + ": " + check.detail;
            case PathCheck::File:
                if (!name.empty() && name.front() == '.') {
                    return "tavox: " + Quoted(pattern) + " is a hidden file, which is never taken as an input";
                }
                break;
            case PathCheck::Missing:
                break;
        }
    }
    return "tavox: no input file matches " + Quoted(pattern);
}

}  // namespace tavox
