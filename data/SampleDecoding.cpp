#include "data/SampleDecoding.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "data/SampleBlocks.h"

namespace tavox {
namespace {

// The unsigned value of N bytes in the given order.
template <std::size_t N, bool BigEndian>
std::uint64_t Bits(const std::byte* p) noexcept {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < N; ++i) {
        const std::size_t shift = 8 * (BigEndian ? N - 1 - i : i);
        v |= std::uint64_t{std::to_integer<std::uint8_t>(p[i])} << shift;
    }
    return v;
}

template <std::size_t N, bool BigEndian>
std::int64_t Signed(const std::byte* p) noexcept {
    constexpr unsigned width = 8 * N;
    const std::uint64_t v = Bits<N, BigEndian>(p);
    return static_cast<std::int64_t>(v << (64 - width)) >> (64 - width);
}

template <std::size_t N, bool BigEndian>
std::int64_t Unsigned(const std::byte* p) noexcept {
    return static_cast<std::int64_t>(Bits<N, BigEndian>(p)) - (std::int64_t{1} << (8 * N - 1));
}

template <std::size_t N, bool BigEndian, bool IsSigned>
double Integer(const std::byte* p) noexcept {
    const std::int64_t v = IsSigned ? Signed<N, BigEndian>(p) : Unsigned<N, BigEndian>(p);
    if constexpr (N == 1) return static_cast<double>(v * 256);
    if constexpr (N == 2) return static_cast<double>(v);
    if constexpr (N == 3) return static_cast<double>(v) / 256.0;
    return static_cast<double>(v) / 65536.0;
}

template <bool BigEndian>
double Float32(const std::byte* p) noexcept {
    return static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(Bits<4, BigEndian>(p)))) * 32768.0;
}

template <bool BigEndian>
double Float64(const std::byte* p) noexcept {
    return std::bit_cast<double>(Bits<8, BigEndian>(p)) * 32768.0;
}

template <double (*Sample)(const std::byte*) noexcept>
void Decode(const std::byte* from, std::size_t stride, std::span<double> out) noexcept {
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = Sample(from + i * stride);
}

bool AllFinite(std::span<const double> values) noexcept {
    std::size_t bad = 0;
    for (const double x : values) bad += std::isfinite(x) ? 0 : 1;
    return bad == 0;
}

}  // namespace

bool DecodeChannel(std::span<const std::byte> bytes, SampleFormat format, std::size_t channels, std::size_t channel,
                   std::span<double> out) noexcept {
    const std::size_t width = SampleBytes(format);
    const std::size_t stride = width * channels;
    if (width == 0 || channels == 0 || channel >= channels) return true;
    out = out.first(std::min(out.size(), bytes.size() / stride));
    if (format == SampleFormat::S16le && channels == 1) {
        SamplesFromBytes(bytes, out);
        return true;
    }
    const std::byte* from = bytes.data() + channel * width;
    switch (format) {
        case SampleFormat::S16le:
            Decode<Integer<2, false, true>>(from, stride, out);
            return true;
        case SampleFormat::S16be:
            Decode<Integer<2, true, true>>(from, stride, out);
            return true;
        case SampleFormat::S8:
            Decode<Integer<1, false, true>>(from, stride, out);
            return true;
        case SampleFormat::U8:
            Decode<Integer<1, false, false>>(from, stride, out);
            return true;
        case SampleFormat::U16le:
            Decode<Integer<2, false, false>>(from, stride, out);
            return true;
        case SampleFormat::U16be:
            Decode<Integer<2, true, false>>(from, stride, out);
            return true;
        case SampleFormat::S24le:
            Decode<Integer<3, false, true>>(from, stride, out);
            return true;
        case SampleFormat::S24be:
            Decode<Integer<3, true, true>>(from, stride, out);
            return true;
        case SampleFormat::S32le:
            Decode<Integer<4, false, true>>(from, stride, out);
            return true;
        case SampleFormat::S32be:
            Decode<Integer<4, true, true>>(from, stride, out);
            return true;
        case SampleFormat::U32le:
            Decode<Integer<4, false, false>>(from, stride, out);
            return true;
        case SampleFormat::U32be:
            Decode<Integer<4, true, false>>(from, stride, out);
            return true;
        case SampleFormat::F32le:
            Decode<Float32<false>>(from, stride, out);
            return AllFinite(out);
        case SampleFormat::F32be:
            Decode<Float32<true>>(from, stride, out);
            return AllFinite(out);
        case SampleFormat::F64le:
            Decode<Float64<false>>(from, stride, out);
            return AllFinite(out);
        case SampleFormat::F64be:
            Decode<Float64<true>>(from, stride, out);
            return AllFinite(out);
    }
    return true;
}

}  // namespace tavox
