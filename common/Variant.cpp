#include "common/Variant.h"

namespace tavox {

Variant Variant::Null() {
    Variant v;
    v.value_ = NullTag{};
    return v;
}

Variant Variant::Missing() {
    Variant v;
    v.value_ = MissingTag{};
    return v;
}

void Variant::AssignText(std::string_view text) {
    if (auto* held = std::get_if<std::string>(&value_)) {
        held->assign(text);
    } else {
        value_ = std::string(text);
    }
}

VariantKind Variant::Kind() const noexcept {
    struct Visitor {
        VariantKind operator()(std::monostate) const { return VariantKind::Empty; }
        VariantKind operator()(NullTag) const { return VariantKind::Null; }
        VariantKind operator()(MissingTag) const { return VariantKind::Missing; }
        VariantKind operator()(std::int16_t) const { return VariantKind::Integer; }
        VariantKind operator()(std::int32_t) const { return VariantKind::Long; }
        VariantKind operator()(std::uint8_t) const { return VariantKind::Byte; }
        VariantKind operator()(float) const { return VariantKind::Single; }
        VariantKind operator()(double) const { return VariantKind::Double; }
        VariantKind operator()(const Decimal&) const { return VariantKind::Decimal; }
        VariantKind operator()(const std::string&) const { return VariantKind::String; }
        VariantKind operator()(const ObjectRef&) const { return VariantKind::Object; }
        VariantKind operator()(const Array&) const { return VariantKind::Array; }
        VariantKind operator()(bool) const { return VariantKind::Boolean; }
        VariantKind operator()(CurrencyValue) const { return VariantKind::Currency; }
        VariantKind operator()(DateValue) const { return VariantKind::Date; }
        VariantKind operator()(ErrorValue) const { return VariantKind::Error; }
    };
    return std::visit(Visitor{}, value_);
}

bool Variant::IsInteger() const noexcept {
    const auto k = Kind();
    return k == VariantKind::Integer || k == VariantKind::Long || k == VariantKind::Byte;
}

bool Variant::IsNumber() const noexcept {
    const auto k = Kind();
    return IsInteger() || k == VariantKind::Single || k == VariantKind::Double || k == VariantKind::Decimal;
}

double Variant::ToDouble() const noexcept {
    if (auto p = Get<std::int16_t>()) return *p;
    if (auto p = Get<std::int32_t>()) return *p;
    if (auto p = Get<std::uint8_t>()) return *p;
    if (auto p = Get<float>()) return *p;
    if (auto p = Get<double>()) return *p;
    if (auto p = Get<Decimal>()) return p->ToDouble();
    if (auto p = Get<bool>()) return *p ? -1.0 : 0.0;
    if (auto p = Get<CurrencyValue>()) return static_cast<double>(p->units) / 10000.0;
    if (auto p = Get<DateValue>()) return p->days;
    return 0.0;
}

bool operator==(const Variant& a, const Variant& b) {
    return a.value_ == b.value_;
}

}  // namespace tavox
