#include "common/OutputOptions.h"

#include "common/NameTable.h"

namespace tavox {

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
