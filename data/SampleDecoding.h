#pragma once

#include <cstddef>
#include <span>

#include "common/InputOptions.h"

namespace tavox {

// Reads one channel of interleaved frames into doubles on the scale of
// 16-bit integers (full scale 32768): 8-bit integers times 256, 24-bit ones
// divided by 256, 32-bit ones by 65536, unsigned ones offset to signed
// first, floats times 32768. `bytes` holds whole frames of `channels`
// samples of `format`; `channel` counts from 0. Decodes min(frames, out)
// samples. Returns false when a float sample is not finite (NaN or
// infinity), leaving `out` unspecified.
bool DecodeChannel(std::span<const std::byte> bytes, SampleFormat format, std::size_t channels, std::size_t channel,
                   std::span<double> out) noexcept;

}  // namespace tavox
