#pragma once

#include <string>
#include <string_view>

namespace tavox {

// A name or path as a terminal line, a report or a list may show it: control
// characters (C0, DEL and C1) and bytes that are not valid UTF-8 are written
// as escapes, \a \b \t \n \v \f \r by their letters and the others as \xHH
// (lower-case hex) for each of their bytes; everything else, backslashes
// included, stays as it is. So no name can move the cursor, start a terminal
// sequence or break a line, and the result is valid UTF-8.
std::string DisplayText(std::string_view text);
// The same, appended to `out`.
void AppendDisplayText(std::string& out, std::string_view text);

}  // namespace tavox
