#pragma once

#include <string>

namespace tavox {

// Full path of the main window's settings file: the program's name up to its
// first "." followed by ".ini". It lies in the program folder when that folder
// is writable and is not one that installed programs share (/usr/bin,
// /usr/local/bin or this build's installation folder, whoever runs the
// program); otherwise in $XDG_CONFIG_HOME/tavox/ (by default ~/.config/tavox/),
// or in the program folder when neither variable holds an absolute path.
std::string SettingsFilePath();

}  // namespace tavox
