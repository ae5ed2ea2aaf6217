#include "data/SampleBlocks.h"

#include <algorithm>
#include <bit>
#include <cstring>

// Wider vector forms of the loops, chosen at load time; exact conversions,
// so every form gives the same values. Not under ThreadSanitizer, whose
// runtime is not ready when the loader picks the form.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define TAVOX_VECTOR_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define TAVOX_VECTOR_CLONES
#endif

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

TAVOX_VECTOR_CLONES
void SamplesFromBytes(std::span<const std::byte> bytes, std::span<double> out) noexcept {
    const std::size_t count = std::min(bytes.size() / 2, out.size());
    const std::byte* from = bytes.data();
    double* to = out.data();
    for (std::size_t i = 0; i < count; ++i) {
        std::uint16_t word;
        std::memcpy(&word, from + 2 * i, 2);
        to[i] = static_cast<std::int16_t>(FromLittleEndian(word));
    }
}

TAVOX_VECTOR_CLONES
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
