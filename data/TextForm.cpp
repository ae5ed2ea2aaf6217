#include "data/TextForm.h"

#include <charconv>
#include <cstdint>

#include "common/Decimal.h"

namespace tavox {
namespace {

template <class T>
std::string ShortestText(T value) {
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    return ec == std::errc() ? std::string(text, end) : std::string();
}

}  // namespace

std::string TextForm(const Variant& value) {
    switch (value.Kind()) {
        case VariantKind::String:
            return *value.AsString();
        case VariantKind::Boolean:
            return *value.Get<bool>() ? "True" : "False";
        case VariantKind::Integer:
            return std::to_string(*value.Get<std::int16_t>());
        case VariantKind::Long:
            return std::to_string(*value.Get<std::int32_t>());
        case VariantKind::Byte:
            return std::to_string(*value.Get<std::uint8_t>());
        case VariantKind::Single:
            return ShortestText(*value.Get<float>());
        case VariantKind::Decimal:
            return value.Get<Decimal>()->ToString();
        case VariantKind::Double:
        case VariantKind::Currency:
        case VariantKind::Date:
            return ShortestText(value.ToDouble());
        default:
            return {};
    }
}

}  // namespace tavox
