#include "common/InputOptions.h"

#include "common/NameTable.h"

namespace tavox {
namespace {

// Bytes of a sample, in the order of SampleFormat.
constexpr std::array<std::size_t, 16> FormatBytes = {2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 4, 4, 4, 4, 8, 8};

}  // namespace

std::string_view SampleFormatName(SampleFormat format) noexcept {
    return NameOf(SampleFormatNames, format);
}

std::optional<SampleFormat> SampleFormatFromName(std::string_view name) noexcept {
    return ValueOf<SampleFormat>(SampleFormatNames, name);
}

std::string_view InputKindName(InputKind kind) noexcept {
    return NameOf(InputKindNames, kind);
}

std::optional<InputKind> InputKindFromName(std::string_view name) noexcept {
    return ValueOf<InputKind>(InputKindNames, name);
}

std::size_t SampleBytes(SampleFormat format) noexcept {
    const auto index = static_cast<std::size_t>(format);
    return index < FormatBytes.size() ? FormatBytes[index] : 0;
}

// The 8- and 16-bit integers: scaled to 16 bits, they stay integers within it.
bool SixteenBitValues(SampleFormat format) noexcept {
    return SampleBytes(format) <= 2;
}

}  // namespace tavox
