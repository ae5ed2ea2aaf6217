#pragma once

namespace tavox {

// The 15-digit constants the engine computes with.
inline constexpr double Pi15 = 3.14159265358979;
inline constexpr double TwoPi15 = 6.28318530717958;
inline constexpr double Sqrt05 = 0.707106781186548;

}  // namespace tavox
