#include "common/OutputOptions.h"

namespace tavox {
namespace {

template <class Enum, std::size_t N>
std::string_view NameOf(const std::array<std::string_view, N>& names, Enum value) noexcept {
    const auto index = static_cast<std::size_t>(value);
    return index < N ? names[index] : std::string_view();
}

template <class Enum, std::size_t N>
std::optional<Enum> ValueOf(const std::array<std::string_view, N>& names, std::string_view name) noexcept {
    for (std::size_t index = 0; index < N; ++index) {
        if (names[index] == name) return static_cast<Enum>(index);
    }
    return std::nullopt;
}

}  // namespace

std::string_view FormatName(OutputFormat format) noexcept {
    return NameOf(OutputFormatNames, format);
}

std::optional<OutputFormat> FormatFromName(std::string_view name) noexcept {
    return ValueOf<OutputFormat>(OutputFormatNames, name);
}

std::string_view AverageName(AverageMode mode) noexcept {
    return NameOf(AverageModeNames, mode);
}

std::optional<AverageMode> AverageFromName(std::string_view name) noexcept {
    return ValueOf<AverageMode>(AverageModeNames, name);
}

std::string_view LayoutName(OutputLayout layout) noexcept {
    return NameOf(OutputLayoutNames, layout);
}

std::optional<OutputLayout> LayoutFromName(std::string_view name) noexcept {
    return ValueOf<OutputLayout>(OutputLayoutNames, name);
}

std::string NameList(std::span<const std::string_view> names, std::string_view last, std::string_view quote) {
    std::string list;
    for (std::size_t k = 0; k < names.size(); ++k) {
        if (k > 0) list += k + 1 == names.size() ? last : std::string_view(", ");
        list.append(quote).append(names[k]).append(quote);
    }
    return list;
}

}  // namespace tavox
