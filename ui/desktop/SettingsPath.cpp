#include "ui/desktop/SettingsPath.h"

#include <unistd.h>

#include <cstdlib>

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

}  // namespace

std::string SettingsFilePath() {
    std::string name = ProgramName();
    name = name.substr(0, name.find('.'));
    if (name.empty()) name = "tavox";
    const std::string fileName = name + ".ini";

    const std::string programFolder = ProgramFolder();
    if (::access(programFolder.c_str(), W_OK) == 0) return JoinPath(programFolder, fileName);
    const std::string configFolder = ConfigFolder();
    return configFolder.empty() ? JoinPath(programFolder, fileName) : JoinPath(configFolder, fileName);
}

}  // namespace tavox
