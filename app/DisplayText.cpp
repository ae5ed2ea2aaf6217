#include "app/DisplayText.h"

namespace tavox {
namespace {

bool IsContinuation(unsigned char c) noexcept {
    return (c & 0xC0u) == 0x80u;
}

// Length of the valid UTF-8 sequence at the start of `text`, 0 when there is none.
std::size_t SequenceLength(std::string_view text) noexcept {
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;  // bounds of the second byte: no overlong form, surrogate or code point past U+10FFFF
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    const auto second = static_cast<unsigned char>(text[1]);
    if (second < low || second > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (!IsContinuation(static_cast<unsigned char>(text[i]))) return 0;
    }
    return length;
}

void AppendEscape(std::string& out, unsigned char c) {
    static constexpr char Hex[] = "0123456789abcdef";
    switch (c) {
        case '\a':
            out += "\\a";
            return;
        case '\b':
            out += "\\b";
            return;
        case '\t':
            out += "\\t";
            return;
        case '\n':
            out += "\\n";
            return;
        case '\v':
            out += "\\v";
            return;
        case '\f':
            out += "\\f";
            return;
        case '\r':
            out += "\\r";
            return;
        default:
            out += "\\x";
            out += Hex[c >> 4];
            out += Hex[c & 0x0F];
    }
}

}  // namespace

std::string DisplayText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendDisplayText(out, text);
    return out;
}

void AppendDisplayText(std::string& out, std::string_view text) {
    while (!text.empty()) {
        // Printable ASCII, most names, goes over as it is.
        std::size_t plain = 0;
        while (plain < text.size() && text[plain] >= 0x20 && text[plain] < 0x7F) ++plain;
        if (plain > 0) {
            out.append(text.substr(0, plain));
            text.remove_prefix(plain);
            continue;
        }
        const auto lead = static_cast<unsigned char>(text[0]);
        const std::size_t length = SequenceLength(text);
        // C1 controls are U+0080 to U+009F: the lead byte C2 and a second byte below A0.
        const bool control =
            lead < 0x20 || lead == 0x7F || (length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[1]) < 0xA0);
        if (length == 0 || control) {
            for (std::size_t i = 0; i < (length == 0 ? 1 : length); ++i) {
                AppendEscape(out, static_cast<unsigned char>(text[i]));
            }
            text.remove_prefix(length == 0 ? 1 : length);
            continue;
        }
        out.append(text.substr(0, length));
        text.remove_prefix(length);
    }
}

}  // namespace tavox
