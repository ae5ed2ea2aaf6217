#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace tavox {

// Lookups in a list of names kept in the order of an enumeration: the name
// of a value (empty for a value past the list), and the value of the exact
// name (nothing for any other text).
template <class Enum, std::size_t N>
constexpr std::string_view NameOf(const std::array<std::string_view, N>& names, Enum value) noexcept {
    const auto index = static_cast<std::size_t>(value);
    return index < N ? names[index] : std::string_view();
}

template <class Enum, std::size_t N>
constexpr std::optional<Enum> ValueOf(const std::array<std::string_view, N>& names, std::string_view name) noexcept {
    for (std::size_t index = 0; index < N; ++index) {
        if (names[index] == name) return static_cast<Enum>(index);
    }
    return std::nullopt;
}

}  // namespace tavox
