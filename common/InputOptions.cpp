#include "common/InputOptions.h"

#include <array>
#include <utility>

namespace tavox {
namespace {

struct FormatFacts {
    SampleFormat format;
    std::string_view name;
    std::size_t bytes;
    bool sixteenBit;
};

constexpr std::array<FormatFacts, 16> Formats = {{
    {SampleFormat::S16le, "s16le", 2, true},
    {SampleFormat::S16be, "s16be", 2, true},
    {SampleFormat::S8, "s8", 1, true},
    {SampleFormat::U8, "u8", 1, true},
    {SampleFormat::U16le, "u16le", 2, true},
    {SampleFormat::U16be, "u16be", 2, true},
    {SampleFormat::S24le, "s24le", 3, false},
    {SampleFormat::S24be, "s24be", 3, false},
    {SampleFormat::S32le, "s32le", 4, false},
    {SampleFormat::S32be, "s32be", 4, false},
    {SampleFormat::U32le, "u32le", 4, false},
    {SampleFormat::U32be, "u32be", 4, false},
    {SampleFormat::F32le, "f32le", 4, false},
    {SampleFormat::F32be, "f32be", 4, false},
    {SampleFormat::F64le, "f64le", 8, false},
    {SampleFormat::F64be, "f64be", 8, false},
}};

constexpr std::array<std::pair<InputKind, std::string_view>, 2> KindNames = {{
    {InputKind::Detect, "auto"},
    {InputKind::Raw, "raw"},
}};

const FormatFacts* FactsOf(SampleFormat format) noexcept {
    for (const FormatFacts& facts : Formats) {
        if (facts.format == format) return &facts;
    }
    return nullptr;
}

}  // namespace

std::string_view SampleFormatName(SampleFormat format) noexcept {
    const FormatFacts* facts = FactsOf(format);
    return facts ? facts->name : std::string_view();
}

std::optional<SampleFormat> SampleFormatFromName(std::string_view name) noexcept {
    for (const FormatFacts& facts : Formats) {
        if (facts.name == name) return facts.format;
    }
    return std::nullopt;
}

std::string_view InputKindName(InputKind kind) noexcept {
    for (const auto& [known, name] : KindNames) {
        if (known == kind) return name;
    }
    return {};
}

std::optional<InputKind> InputKindFromName(std::string_view name) noexcept {
    for (const auto& [kind, known] : KindNames) {
        if (known == name) return kind;
    }
    return std::nullopt;
}

std::size_t SampleBytes(SampleFormat format) noexcept {
    const FormatFacts* facts = FactsOf(format);
    return facts ? facts->bytes : 0;
}

bool SixteenBitValues(SampleFormat format) noexcept {
    const FormatFacts* facts = FactsOf(format);
    return facts && facts->sixteenBit;
}

}  // namespace tavox
