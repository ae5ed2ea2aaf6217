#include "data/SampleBlocks.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace tavox {
namespace {

constexpr std::size_t BlockSamples = 1024;
constexpr double Limit = 32767.0;
// Adding and subtracting 1.5 * 2^52 rounds a value below 2^51 in magnitude to
// an integer in the current rounding mode (to nearest, ties to even), as
// nearbyint does.
constexpr double RoundingShift = 6755399441055744.0;

std::uint16_t FromLittleEndian(std::uint16_t v) noexcept {
    if constexpr (std::endian::native == std::endian::little) return v;
    return static_cast<std::uint16_t>((v >> 8) | (v << 8));
}

}  // namespace

void SamplesFromBytes(std::span<const std::byte> bytes, std::span<double> out) noexcept {
    const std::size_t count = std::min(bytes.size() / 2, out.size());
    std::int16_t block[BlockSamples];
    for (std::size_t first = 0; first < count; first += BlockSamples) {
        const std::size_t n = std::min(BlockSamples, count - first);
        std::memcpy(block, bytes.data() + 2 * first, 2 * n);
        double* target = out.data() + first;
        if constexpr (std::endian::native != std::endian::little) {
            for (std::size_t i = 0; i < n; ++i)
                block[i] = static_cast<std::int16_t>(FromLittleEndian(static_cast<std::uint16_t>(block[i])));
        }
        for (std::size_t i = 0; i < n; ++i) target[i] = block[i];
    }
}

void BytesFromValues(std::span<const double> values, std::span<std::byte> bytes) noexcept {
    const std::size_t count = std::min(values.size(), bytes.size() / 2);
    std::int16_t block[BlockSamples];
    for (std::size_t first = 0; first < count; first += BlockSamples) {
        const std::size_t n = std::min(BlockSamples, count - first);
        const double* source = values.data() + first;
        for (std::size_t i = 0; i < n; ++i) {
            double x = source[i];
            const bool number = x == x;
            x = number ? x : 0.0;
            x = x > Limit ? Limit : x;
            x = x < -Limit ? -Limit : x;
            x = (x + RoundingShift) - RoundingShift;
            block[i] = static_cast<std::int16_t>(static_cast<std::int32_t>(x));
        }
        if constexpr (std::endian::native != std::endian::little) {
            for (std::size_t i = 0; i < n; ++i)
                block[i] = static_cast<std::int16_t>(FromLittleEndian(static_cast<std::uint16_t>(block[i])));
        }
        std::memcpy(bytes.data() + 2 * first, block, 2 * n);
    }
}

}  // namespace tavox
