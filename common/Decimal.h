#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavox {

// A decimal number as automation clients exchange it: a 96-bit unsigned
// mantissa, a power-of-ten scale 0..28 and a sign. Value = -1^sign * mantissa / 10^scale.
class Decimal {
public:
    static constexpr unsigned MaxScale = 28;

    Decimal() = default;
    // Returns nothing when the mantissa needs more than 96 bits or scale > 28.
    static std::optional<Decimal> FromParts(unsigned __int128 mantissa, unsigned scale, bool negative);
    // Parses [sign] digits [. digits]; returns nothing for anything else.
    static std::optional<Decimal> Parse(std::string_view text);

    unsigned __int128 Mantissa() const noexcept { return mantissa_; }
    unsigned Scale() const noexcept { return scale_; }
    bool Negative() const noexcept { return negative_ && mantissa_ != 0; }

    Decimal Abs() const noexcept;
    bool IsZero() const noexcept { return mantissa_ == 0; }
    // The double nearest to the value.
    double ToDouble() const;
    // Plain decimal text, such as -12.50.
    std::string ToString() const;

    friend bool operator==(const Decimal& a, const Decimal& b) noexcept {
        return a.mantissa_ == b.mantissa_ && a.scale_ == b.scale_ && a.Negative() == b.Negative();
    }

private:
    unsigned __int128 mantissa_ = 0;
    std::uint8_t scale_ = 0;
    bool negative_ = false;
};

}  // namespace tavox
