#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tavox {

// Block conversions between the bytes of a sequence file (16-bit signed,
// little-endian) and doubles, written as plain loops that compile to vector
// code. Each converts min(in, out) elements.

// Samples from file bytes; `bytes` holds two bytes per sample.
void SamplesFromBytes(std::span<const std::byte> bytes, std::span<double> out) noexcept;

// File bytes from values, each as Data::ToSample16 gives it: clamped to
// +-32767, rounded half to even, NaN as 0. `bytes` takes two bytes per value.
void BytesFromValues(std::span<const double> values, std::span<std::byte> bytes) noexcept;

}  // namespace tavox
