#include "data/NpyFormat.h"

#include <bit>
#include <charconv>
#include <cstring>
#include <limits>

namespace tavox {
namespace {

// numpy.save leaves room for the first dimension to grow to this many digits.
constexpr std::size_t GrowthDigits = 21;
constexpr std::size_t Alignment = 64;
constexpr std::string_view Magic("\x93NUMPY", 6);

std::uint64_t LittleEndian(std::string_view bytes, std::size_t at, std::size_t count) {
    std::uint64_t word = 0;
    for (std::size_t b = 0; b < count; ++b) word |= std::uint64_t{static_cast<unsigned char>(bytes[at + b])} << (8 * b);
    return word;
}

// The bytes of one value of `descr`, for the types read here; 0 for others.
std::size_t ValueBytes(std::string_view descr) {
    if (descr == "<f8" || descr == "<i8") return 8;
    if (descr == "<f4") return 4;
    if (descr == "<i2") return 2;
    return 0;
}

bool HoldsShape(const NpyArray& array, std::size_t valueBytes) {
    const auto count = array.Count();
    return !array.fortranOrder && array.shapeError.empty() && count && valueBytes > 0 &&
           *count <= array.data.size() / valueBytes && array.data.size() == *count * valueBytes;
}

void AppendUtf8(std::string& text, std::uint32_t c) {
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (c >> 18));
        text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string NpyArrayHeader(std::string_view descr, std::span<const std::size_t> dims) {
    std::string shape = "(";
    for (std::size_t k = 0; k < dims.size(); ++k) {
        if (k > 0) shape += ", ";
        shape += std::to_string(dims[k]);
    }
    shape += dims.size() == 1 ? ",)" : ")";
    std::string dict = "{'descr': '" + std::string(descr) + "', 'fortran_order': False, 'shape': " + shape + ", }";
    if (!dims.empty()) {
        const std::size_t digits = std::to_string(dims.front()).size();
        dict.append(GrowthDigits - std::min(GrowthDigits, digits), ' ');
    }
    constexpr std::size_t prefix = 10;  // magic, version and the 16-bit header length
    // At least one blank before the closing line feed, as numpy writes it.
    dict.append(Alignment - (prefix + dict.size() + 1) % Alignment, ' ');
    dict += '\n';
    std::string header(Magic);
    header += std::string("\x01\x00", 2);
    header += static_cast<char>(dict.size() & 0xFF);
    header += static_cast<char>(dict.size() >> 8);
    return header + dict;
}

std::optional<std::size_t> NpyArray::Count() const noexcept {
    std::size_t count = 1;
    for (const std::size_t dim : dims) {
        if (dim != 0 && count > std::numeric_limits<std::size_t>::max() / dim) return std::nullopt;
        count *= dim;
    }
    return count;
}

std::optional<NpyArray> ParseNpy(std::string_view bytes, std::string& error) {
    if (bytes.size() < 10 || bytes.substr(0, Magic.size()) != Magic) {
        error = "a .npy file begins with \\x93NUMPY";
        return std::nullopt;
    }
    const int major = static_cast<unsigned char>(bytes[6]);
    std::size_t headerLength = 0;
    std::size_t offset = 0;
    if (major == 1) {
        headerLength = LittleEndian(bytes, 8, 2);
        offset = 10;
    } else if ((major == 2 || major == 3) && bytes.size() >= 12) {
        headerLength = LittleEndian(bytes, 8, 4);
        offset = 12;
    } else {
        error = "NumPy format version " + std::to_string(major) + " is not known";
        return std::nullopt;
    }
    if (bytes.size() < offset + headerLength) {
        error = "the .npy header is cut short";
        return std::nullopt;
    }
    const std::string_view header = bytes.substr(offset, headerLength);
    NpyArray array;
    array.data = bytes.substr(offset + headerLength);
    constexpr std::string_view descrKey = "'descr': '";
    if (const std::size_t at = header.find(descrKey); at != std::string_view::npos) {
        const std::size_t from = at + descrKey.size();
        const std::size_t end = header.find('\'', from);
        if (end != std::string_view::npos) array.descr = header.substr(from, end - from);
    }
    array.fortranOrder = header.find("'fortran_order': False") == std::string_view::npos;
    const std::size_t shapeAt = header.find("'shape': (");
    if (shapeAt == std::string_view::npos) {
        array.shapeError = "the .npy header has no shape";
        return array;
    }
    const char* at = header.data() + shapeAt + 10;
    const char* end = header.data() + header.size();
    while (at < end && *at != ')') {
        while (at < end && (*at == ' ' || *at == ',')) ++at;
        if (at < end && *at == ')') break;
        std::size_t dim = 0;
        const auto [next, failed] = std::from_chars(at, end, dim);
        if (failed != std::errc()) {
            array.dims.clear();
            array.shapeError = "the .npy shape cannot be read";
            return array;
        }
        array.dims.push_back(dim);
        at = next;
    }
    return array;
}

std::optional<std::vector<double>> NpyDoubles(const NpyArray& array) {
    const std::size_t valueBytes = ValueBytes(array.descr);
    if (!HoldsShape(array, valueBytes)) return std::nullopt;
    std::vector<double> values(array.data.size() / valueBytes);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::uint64_t word = LittleEndian(array.data, i * valueBytes, valueBytes);
        if (array.descr == "<f8") {
            values[i] = std::bit_cast<double>(word);
        } else if (array.descr == "<i8") {
            values[i] = static_cast<double>(static_cast<std::int64_t>(word));
        } else if (array.descr == "<f4") {
            values[i] = std::bit_cast<float>(static_cast<std::uint32_t>(word));
        } else {
            values[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(word));
        }
    }
    return values;
}

std::optional<std::vector<std::int64_t>> NpyIntegers(const NpyArray& array) {
    if (array.descr != "<i8" || !HoldsShape(array, 8)) return std::nullopt;
    std::vector<std::int64_t> values(array.data.size() / 8);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<std::int64_t>(LittleEndian(array.data, i * 8, 8));
    return values;
}

std::optional<std::string> NpyText(const NpyArray& array) {
    if (array.descr.size() < 3 || array.descr.compare(0, 2, "<U") != 0 || array.fortranOrder ||
        !array.shapeError.empty() || array.Count() != std::optional<std::size_t>(1)) {
        return std::nullopt;
    }
    std::size_t length = 0;
    const std::string_view digits = std::string_view(array.descr).substr(2);
    const auto [end, failed] = std::from_chars(digits.data(), digits.data() + digits.size(), length);
    if (failed != std::errc() || end != digits.data() + digits.size() || length > array.data.size() / 4 ||
        array.data.size() != 4 * length) {
        return std::nullopt;
    }
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<std::uint32_t>(LittleEndian(array.data, 4 * i, 4));
        if (c == 0) break;
        if (c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return std::nullopt;
        AppendUtf8(text, c);
    }
    return text;
}

}  // namespace tavox
