#include "ui/desktop/SettingsPath.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "data/Path.h"

namespace tavox {

namespace {

std::string ConfigFolder() {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && IsAbsolutePath(configHome)) return JoinPath(configHome, "tavox/");
    const char* home = std::getenv("HOME");
    if (home != nullptr && IsAbsolutePath(home)) return JoinPath(home, ".config/tavox/");
    return {};
}

// A file left there by root would outlive the package that installed the
// program, so the access check alone is not enough.
bool IsSharedProgramFolder(const std::string& folder) {
    const std::filesystem::path own = std::filesystem::path(folder + "/").lexically_normal();
    for (const char* shared : {"/usr/bin/", "/usr/local/bin/", TAVOX_INSTALL_BINDIR "/"}) {
        if (std::filesystem::path(shared).lexically_normal() == own) return true;
    }
    return false;
}

}  // namespace

std::string SettingsFilePath() {
    std::string name = ProgramName();
    name = name.substr(0, name.find('.'));
    if (name.empty()) name = "tavox";
    const std::string fileName = name + ".ini";

    const std::string programFolder = ProgramFolder();
    if (!IsSharedProgramFolder(programFolder) && ::access(programFolder.c_str(), W_OK) == 0) {
        return JoinPath(programFolder, fileName);
    }
    const std::string configFolder = ConfigFolder();
    return configFolder.empty() ? JoinPath(programFolder, fileName) : JoinPath(configFolder, fileName);
}

}  // namespace tavox
