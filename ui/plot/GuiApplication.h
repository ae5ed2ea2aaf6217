#pragma once

namespace tavox {

// Makes the process's QGuiApplication (which brings the fonts pictures need)
// unless it has a Qt application already: on the offscreen platform, with
// Qt's notes about the environment dropped and its errors on standard error.
void EnsureGuiApplication();

}  // namespace tavox
