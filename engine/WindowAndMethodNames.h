#pragma once

#include <array>
#include <string_view>

#include "common/Enums.h"

namespace tavox {

// How a window is named: `name` in the report, the Python package and their
// options ("hann"), `title` in picture titles and the self-test ("Hanning").
struct WindowNames {
    fftWindowEnum window;
    std::string_view name;
    std::string_view title;
};

inline constexpr std::array<WindowNames, 3> WindowNameTable = {{
    {fftWindowRectangle, "rect", "rectangle"},
    {fftWindowHanning, "hann", "Hanning"},
    {fftWindowFlatTop, "flattop", "flat-top"},
}};

// How a method is named: `name` in the report and the Python package, its
// command-line `letter` and the `note` a picture's title gives it.
struct MethodNames {
    fftMethodEnum method;
    std::string_view name;
    char letter;
    std::string_view note;
};

inline constexpr std::array<MethodNames, 3> MethodNameTable = {{
    {fftMethodSimple, "simple", 'e', ""},
    {fftMethodAverage, "average", 'p', "average"},
    {fftMethodMulti, "multi", 'm', "one file per exposure"},
}};

// The names of a value; the first row's for a value outside the enumeration.
constexpr const WindowNames& NamesOf(fftWindowEnum window) noexcept {
    for (const WindowNames& row : WindowNameTable) {
        if (row.window == window) return row;
    }
    return WindowNameTable[0];
}

constexpr const MethodNames& NamesOf(fftMethodEnum method) noexcept {
    for (const MethodNames& row : MethodNameTable) {
        if (row.method == method) return row;
    }
    return MethodNameTable[0];
}

}  // namespace tavox
