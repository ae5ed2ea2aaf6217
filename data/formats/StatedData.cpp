#include "data/formats/StatedData.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <span>
#include <string_view>

namespace tavox {
namespace {

struct Header {
    std::array<std::byte, 24> bytes{};

    bool Read(const ReadFileBytes& read, std::uint64_t at, std::size_t count) {
        return read(at, std::span(bytes.data(), count)) == count;
    }
    bool Has(std::size_t at, std::string_view text) const {
        return std::memcmp(bytes.data() + at, text.data(), text.size()) == 0;
    }
    std::uint64_t Number(std::size_t at, std::size_t count, bool bigEndian) const {
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t shift = 8 * (bigEndian ? count - 1 - i : i);
            v |= std::uint64_t{std::to_integer<std::uint8_t>(bytes[at + i])} << shift;
        }
        return v;
    }
};

}  // namespace

std::optional<std::uint64_t> StatedDataBytes(const ReadFileBytes& read, int container, std::uint64_t offset) {
    Header before;
    switch (container) {
        case SF_FORMAT_WAV:
        case SF_FORMAT_WAVEX: {
            Header riff;
            if (offset < 8 || !before.Read(read, offset - 8, 8) || !before.Has(0, "data") || !riff.Read(read, 0, 4)) {
                return std::nullopt;
            }
            const std::uint64_t size = before.Number(4, 4, riff.Has(0, "RIFX"));
            if (size == 0) return std::nullopt;
            return size;
        }
        case SF_FORMAT_W64: {
            if (offset < 24 || !before.Read(read, offset - 24, 24) || !before.Has(0, "data")) return std::nullopt;
            const std::uint64_t size = before.Number(16, 8, false);
            if (size < 24) return std::nullopt;
            return size - 24;
        }
        case SF_FORMAT_AIFF: {
            // "SSND", its size, then the offset of the samples (0 here) and a block size.
            if (offset < 16 || !before.Read(read, offset - 16, 16) || !before.Has(0, "SSND")) return std::nullopt;
            const std::uint64_t size = before.Number(4, 4, true);
            if (before.Number(8, 4, true) != 0 || size < 8) return std::nullopt;
            return size - 8;
        }
        default:
            return std::nullopt;
    }
}

std::optional<double> StatedAiffRate(std::span<const std::byte> head) {
    constexpr std::string_view Comm = "COMM";
    const auto* begin = reinterpret_cast<const char*>(head.data());
    const std::string_view text(begin, head.size());
    // The chunks of the FORM begin at byte 12; COMM holds the channels (2
    // bytes), frames (4) and bits (2) before the rate (10).
    const std::size_t at = text.find(Comm, 12);
    if (at == std::string_view::npos || at + 26 > head.size()) return std::nullopt;
    Header rate;
    std::copy_n(head.begin() + static_cast<std::ptrdiff_t>(at + 16), 10, rate.bytes.begin());
    const std::uint64_t top = rate.Number(0, 2, true);
    const std::uint64_t mantissa = rate.Number(2, 8, true);
    const int exponent = static_cast<int>(top & 0x7FFF);
    if (exponent == 0x7FFF) return std::numeric_limits<double>::infinity();
    const double magnitude = std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
    return (top & 0x8000) != 0 ? -magnitude : magnitude;
}

}  // namespace tavox
