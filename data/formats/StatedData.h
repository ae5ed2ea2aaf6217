#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace tavox {

// Reads up to out.size() bytes at an offset of a file; returns the count read.
using ReadFileBytes = std::function<std::size_t(std::uint64_t offset, std::span<std::byte> out)>;

// The bytes of samples that the data chunk right before `offset` (where
// libsndfile found the samples) states, in a file of the container
// `container` (SF_FORMAT_WAV, SF_FORMAT_WAVEX, SF_FORMAT_W64 or
// SF_FORMAT_AIFF); nothing for other containers, for a chunk that is not
// where it is looked for, and for a WAV data chunk of size 0 (written
// while streaming: the samples run to the end of the file).
std::optional<std::uint64_t> StatedDataBytes(const ReadFileBytes& read, int container, std::uint64_t offset);

// The sample rate the COMM chunk of an AIFF or AIFC file states, when the
// chunk lies in `head`, the file's first bytes: an 80-bit float, which
// libsndfile reads as a whole number (and above 800 MHz or at 0 not at
// all). Nothing when there is no such chunk in `head`.
std::optional<double> StatedAiffRate(std::span<const std::byte> head);

}  // namespace tavox
