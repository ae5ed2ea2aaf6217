#include "data/BatchShare.h"

#include <charconv>

namespace tavox {
namespace {

constexpr std::int32_t MaxShares = 100000;

std::optional<std::int32_t> ReadCount(std::string_view text) {
    if (text.empty() || text.size() > 6) return std::nullopt;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    std::int32_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

std::size_t Boundary(std::size_t total, std::int32_t index, std::int32_t count) noexcept {
    // total * index fits: a batch never holds anywhere near 2^64 / 100000 inputs.
    return total * static_cast<std::size_t>(index) / static_cast<std::size_t>(count);
}

}  // namespace

std::size_t BatchShare::Begin(std::size_t total) const noexcept {
    return Boundary(total, index, count);
}

std::size_t BatchShare::End(std::size_t total) const noexcept {
    return Boundary(total, index + 1, count);
}

std::optional<BatchShare> ParseBatchShare(std::string_view text) {
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const auto index = ReadCount(text.substr(0, slash));
    const auto count = ReadCount(text.substr(slash + 1));
    if (!index || !count || *count < 1 || *count > MaxShares || *index > *count) return std::nullopt;
    return BatchShare{*index == *count ? 0 : *index, *count};
}

std::string ShareText(const BatchShare& share) {
    return std::to_string(share.index) + "/" + std::to_string(share.count);
}

}  // namespace tavox
