#include "common/Decimal.h"

#include <algorithm>
#include <charconv>

namespace tavox {

namespace {

constexpr unsigned __int128 MantissaLimit = static_cast<unsigned __int128>(1) << 96;

}  // namespace

std::optional<Decimal> Decimal::FromParts(unsigned __int128 mantissa, unsigned scale, bool negative) {
    if (mantissa >= MantissaLimit || scale > MaxScale) return std::nullopt;
    Decimal d;
    d.mantissa_ = mantissa;
    d.scale_ = static_cast<std::uint8_t>(scale);
    d.negative_ = negative;
    return d;
}

std::optional<Decimal> Decimal::Parse(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    unsigned __int128 mantissa = 0;
    unsigned scale = 0;
    bool digits = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (c < '0' || c > '9') return std::nullopt;
        digits = true;
        if (point) {
            if (scale == MaxScale) continue;  // digits beyond the scale are cut
            ++scale;
        }
        mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
        if (mantissa >= MantissaLimit) return std::nullopt;
    }
    if (!digits) return std::nullopt;
    return FromParts(mantissa, scale, negative);
}

Decimal Decimal::Abs() const noexcept {
    Decimal d = *this;
    d.negative_ = false;
    return d;
}

std::string Decimal::ToString() const {
    std::string digits;
    unsigned __int128 m = mantissa_;
    do {
        digits.push_back(static_cast<char>('0' + static_cast<int>(m % 10)));
        m /= 10;
    } while (m != 0);
    while (digits.size() <= scale_) digits.push_back('0');
    std::reverse(digits.begin(), digits.end());
    if (scale_ > 0) digits.insert(digits.size() - scale_, 1, '.');
    if (Negative()) digits.insert(digits.begin(), '-');
    return digits;
}

double Decimal::ToDouble() const {
    const std::string text = ToString();
    double value = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

}  // namespace tavox
