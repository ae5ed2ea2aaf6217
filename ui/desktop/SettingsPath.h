#pragma once

#include <string>

namespace tavox {

// Full path of the main window's settings file: the program's name up to its
// first "." followed by ".ini", in the program folder when that folder is
// writable, else in $XDG_CONFIG_HOME/tavox/ (by default ~/.config/tavox/).
std::string SettingsFilePath();

}  // namespace tavox
