#include "ui/desktop/FieldText.h"

#include <array>
#include <charconv>
#include <limits>
#include <locale>

#include "common/Numeric.h"
#include "common/Variant.h"
#include "data/Path.h"

namespace tavox {

namespace {

// The shortest text of `value` with at most `digits` significant digits;
// the exponent, when there is one, is written as "E+NN".
std::string GeneralNumber(double value, int digits) {
    std::array<char, 64> buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::general, digits);
    std::string text(buffer.data(), result.ptr);
    for (char& c : text) {
        if (c == 'e') c = 'E';
    }
    return text;
}

std::string WithLocaleDecimalPoint(std::string text) {
    const char point = std::use_facet<std::numpunct<char>>(std::locale()).decimal_point();
    for (char& c : text) {
        if (c == '.') c = point;
    }
    return text;
}

std::string SingleAmount(double amount, const char* unit) {
    const float single = static_cast<float>(amount);
    return WithLocaleDecimalPoint(GeneralNumber(single, 7)) + unit;
}

void KeepLastStar(std::string& part) {
    while (CountOccurrences(part, "*") > 1) part.erase(part.find('*'), 1);
}

}  // namespace

std::string NormalizeFolder(const std::string& text) {
    std::string folder = text.empty() ? ProgramFolder() : text;
    if (!IsAbsolutePath(folder)) folder = JoinPath(ProgramFolder(), folder);
    if (folder.empty() || folder.back() != PathSeparator) folder += PathSeparator;
    return folder;
}

std::string NormalizeOutputMask(const std::string& text) {
    if (text.empty()) return "*out.*";
    std::string mask = text;
    std::erase(mask, '?');
    const std::string name = PathName(mask);
    std::string base = BaseName(name);
    std::string extension = Extension(name);
    KeepLastStar(extension);
    KeepLastStar(base);
    return extension.empty() ? base : base + "." + extension;
}

std::string FormatRangeValue(const Variant& value) {
    const double number = value.ToDouble();
    if (number < 1 && number != 0) return std::to_string(static_cast<long long>(RoundHalfEven(number * 100))) + "%";
    return GeneralNumber(number, 15);
}

std::string FormatFreeSpace(std::optional<std::uint64_t> freeBytes) {
    constexpr std::uint64_t Kilo = 1024;
    const std::uint64_t bytes = freeBytes.value_or(0);
    if (bytes <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
        const double kilobytes = static_cast<double>(bytes) / Kilo;
        if (static_cast<float>(kilobytes) >= 1.0f) return SingleAmount(kilobytes, " kB");
        return std::to_string(bytes) + " B";
    }
    const double gigabytes = static_cast<double>(bytes) / (Kilo * Kilo * Kilo);
    if (gigabytes < Kilo) return SingleAmount(gigabytes, " GB");
    return SingleAmount(gigabytes / Kilo, " TB");
}

}  // namespace tavox
