#include "fuzz/FuzzVariant.h"

#include "fuzz/FuzzInput.h"

namespace tavox::fuzz {

Variant TakeVariant(FuzzInput& input) {
    switch (input.Take<std::uint8_t>() % 17) {
        case 0:
            return Variant();
        case 1:
            return Variant::Null();
        case 2:
            return Variant::Missing();
        case 3:
            return Variant(input.Take<std::int16_t>());
        case 4:
            return Variant(input.Take<std::int32_t>());
        case 5:
            return Variant(input.Take<std::uint8_t>());
        case 6:
            return Variant(input.Take<float>());
        case 7:
            return Variant(input.Take<double>());
        case 8: {
            const auto low = input.Take<std::uint64_t>();
            const auto high = input.Take<std::uint32_t>();
            const auto scale = input.Take<std::uint8_t>();
            const bool negative = input.TakeBool();
            const unsigned __int128 mantissa = (static_cast<unsigned __int128>(high) << 64) | low;
            const auto decimal = Decimal::FromParts(mantissa, scale % (Decimal::MaxScale + 1), negative);
            return decimal ? Variant(*decimal) : Variant();
        }
        case 9:
        case 10:
            return Variant(input.TakeText(256));
        case 11:
            return Variant(input.TakeText(64) + "%");
        case 12:
            return Variant(input.TakeBool());
        case 13:
            return Variant(CurrencyValue{input.Take<std::int64_t>()});
        case 14:
            return Variant(DateValue{input.Take<double>()});
        case 15:
            return Variant(ErrorValue{input.Take<std::int32_t>()});
        default:
            return input.TakeBool() ? Variant::Nothing() : Variant(Variant::Array{Variant(std::int16_t{5})});
    }
}

}  // namespace tavox::fuzz
