#include "common/Numeric.h"

#include <charconv>
#include <cmath>
#include <locale>
#include <string>

#include "common/AutomationError.h"

namespace tavox {

double RoundHalfEven(double x) noexcept {
    // nearbyint follows the current rounding mode, which is round-to-nearest-even.
    return std::nearbyint(x);
}

std::int32_t ToInt32HalfEven(double x) {
    const double r = RoundHalfEven(x);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) throw AutomationError::Platform(ErrOverflow);
    return static_cast<std::int32_t>(r);
}

std::int16_t ToInt16HalfEven(double x) {
    const double r = RoundHalfEven(x);
    if (!(r >= -32768.0 && r <= 32767.0)) throw AutomationError::Platform(ErrOverflow);
    return static_cast<std::int16_t>(r);
}

namespace {

// Parses a plain C-format number ([-]digits[.digits][e[-]digits]) that the
// callers have already validated. Out of range: overflow error or 0.
double ParseValidated(const std::string& text, int decimalExponent) {
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        if (decimalExponent > 0) throw AutomationError::Platform(ErrOverflow);
        return 0.0;
    }
    return value;
}

// Decimal exponent of the leading significant digit, used only to tell an
// overflow from an underflow.
int MagnitudeOf(const std::string& mantissa, long long exponent) {
    long long intDigits = 0;
    bool seenPoint = false;
    bool significant = false;
    long long leadingFractionZeros = 0;
    for (char c : mantissa) {
        if (c == '.') {
            seenPoint = true;
        } else if (c >= '0' && c <= '9') {
            if (!seenPoint) {
                if (c != '0' || significant) {
                    significant = true;
                    ++intDigits;
                }
            } else if (!significant) {
                if (c == '0')
                    ++leadingFractionZeros;
                else
                    significant = true;
            }
        }
    }
    const long long magnitude = intDigits > 0 ? intDigits - 1 : -(leadingFractionZeros + 1);
    const long long total = magnitude + exponent;
    return total > 0 ? 1 : -1;
}

// Value of an exponent text such as "-12", clamped far beyond any double.
long long ExponentValue(const std::string& exponent) {
    if (exponent.empty()) return 0;
    const bool negative = exponent[0] == '-';
    long long value = 0;
    for (char c : exponent) {
        if (c >= '0' && c <= '9' && value < 1000000) value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

double ParseScanned(const std::string& mantissa, const std::string& exponent) {
    return ParseValidated(exponent.empty() ? mantissa : mantissa + "e" + exponent,
                          MagnitudeOf(mantissa, ExponentValue(exponent)));
}

struct ScannedNumber {
    std::string mantissa;  // sign, digits and '.'
    std::string exponent;  // sign and digits, may be empty
    bool valid = false;
};

// Scans sign, digits, optional point and digits, optional exponent from
// `next()`, which yields the characters one at a time ('\0' at the end).
template <class Next, class Peek>
ScannedNumber ScanNumber(Next next, Peek peek, char decimalPoint) {
    ScannedNumber n;
    if (peek() == '+' || peek() == '-') {
        const char sign = next();
        if (sign == '-') n.mantissa.push_back('-');
    }
    bool digits = false;
    while (peek() >= '0' && peek() <= '9') {
        n.mantissa.push_back(next());
        digits = true;
    }
    if (peek() == decimalPoint) {
        next();
        n.mantissa.push_back('.');
        while (peek() >= '0' && peek() <= '9') {
            n.mantissa.push_back(next());
            digits = true;
        }
    }
    n.valid = digits;
    return n;
}

}  // namespace

double LeadingNumber(std::string_view text) {
    std::string cleaned;
    cleaned.reserve(text.size());
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\n') cleaned.push_back(c);
    }
    std::size_t pos = 0;
    auto peek = [&] { return pos < cleaned.size() ? cleaned[pos] : '\0'; };
    auto next = [&] { return cleaned[pos++]; };
    ScannedNumber n = ScanNumber(next, peek, '.');
    if (!n.valid) return 0.0;
    const char marker = peek();
    if (marker == 'e' || marker == 'E' || marker == 'd' || marker == 'D') {
        std::size_t p = pos + 1;
        std::string exponent;
        if (p < cleaned.size() && (cleaned[p] == '+' || cleaned[p] == '-')) {
            if (cleaned[p] == '-') exponent.push_back('-');
            ++p;
        }
        bool expDigits = false;
        while (p < cleaned.size() && cleaned[p] >= '0' && cleaned[p] <= '9') {
            exponent.push_back(cleaned[p++]);
            expDigits = true;
        }
        if (expDigits) n.exponent = exponent;
    }
    return ParseScanned(n.mantissa, n.exponent);
}

double LocaleTextToDouble(std::string_view text) {
    const auto& punct = std::use_facet<std::numpunct<char>>(std::locale());
    const char decimalPoint = punct.decimal_point();
    const bool grouping = !punct.grouping().empty();
    const char separator = punct.thousands_sep();

    std::size_t first = text.find_first_not_of(" \t");
    std::size_t last = text.find_last_not_of(" \t");
    if (first == std::string_view::npos) throw AutomationError::Platform(ErrTypeMismatch);
    std::string body;
    for (std::size_t i = first; i <= last; ++i) {
        if (grouping && text[i] == separator && text[i] != decimalPoint) continue;
        body.push_back(text[i]);
    }
    std::size_t pos = 0;
    auto peek = [&] { return pos < body.size() ? body[pos] : '\0'; };
    auto next = [&] { return body[pos++]; };
    ScannedNumber n = ScanNumber(next, peek, decimalPoint);
    if (!n.valid) throw AutomationError::Platform(ErrTypeMismatch);
    if (peek() == 'e' || peek() == 'E') {
        next();
        if (peek() == '+' || peek() == '-') {
            if (next() == '-') n.exponent.push_back('-');
        }
        while (peek() >= '0' && peek() <= '9') n.exponent.push_back(next());
        if (n.exponent.empty() || n.exponent == "-") throw AutomationError::Platform(ErrTypeMismatch);
    }
    if (pos != body.size()) throw AutomationError::Platform(ErrTypeMismatch);
    return ParseScanned(n.mantissa, n.exponent);
}

std::int32_t LocaleTextToInt32(std::string_view text) {
    return ToInt32HalfEven(LocaleTextToDouble(text));
}

std::int32_t CountOccurrences(std::string_view within, std::string_view sought) noexcept {
    if (sought.empty()) return 0;
    std::int32_t count = 0;
    for (std::size_t at = within.find(sought); at != std::string_view::npos; at = within.find(sought, at + 1)) {
        ++count;
    }
    return count;
}

}  // namespace tavox
