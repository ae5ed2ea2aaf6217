#pragma once

#include <array>
#include <cstdint>

namespace tavox {

// The viridis colour map: 256 colours from dark blue through green to
// yellow, each lighter than the one before and told apart by people with
// any common colour vision; entry 0 is the lowest value, 255 the highest.
extern const std::array<std::array<std::uint8_t, 3>, 256> Viridis;

}  // namespace tavox
