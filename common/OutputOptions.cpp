#include "common/OutputOptions.h"

#include <array>
#include <utility>

namespace tavox {
namespace {

constexpr std::array<std::pair<OutputFormat, std::string_view>, 4> FormatNames = {{
    {OutputFormat::Raw, "raw"},
    {OutputFormat::Csv, "csv"},
    {OutputFormat::F32, "f32"},
    {OutputFormat::Npy, "npy"},
}};

constexpr std::array<std::pair<AverageMode, std::string_view>, 4> AverageNames = {{
    {AverageMode::Mean, "mean"},
    {AverageMode::Rms, "rms"},
    {AverageMode::Max, "max"},
    {AverageMode::Median, "median"},
}};

template <class Enum, std::size_t N>
std::string_view NameOf(const std::array<std::pair<Enum, std::string_view>, N>& names, Enum value) noexcept {
    for (const auto& [known, name] : names) {
        if (known == value) return name;
    }
    return {};
}

template <class Enum, std::size_t N>
std::optional<Enum> ValueOf(const std::array<std::pair<Enum, std::string_view>, N>& names,
                            std::string_view name) noexcept {
    for (const auto& [value, known] : names) {
        if (known == name) return value;
    }
    return std::nullopt;
}

}  // namespace

std::string_view FormatName(OutputFormat format) noexcept {
    return NameOf(FormatNames, format);
}

std::optional<OutputFormat> FormatFromName(std::string_view name) noexcept {
    return ValueOf(FormatNames, name);
}

std::string_view AverageName(AverageMode mode) noexcept {
    return NameOf(AverageNames, mode);
}

std::optional<AverageMode> AverageFromName(std::string_view name) noexcept {
    return ValueOf(AverageNames, name);
}

}  // namespace tavox
