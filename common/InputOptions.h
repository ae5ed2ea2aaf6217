#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tavox {

// How the samples of a raw file are stored: signed or unsigned integers of
// 8, 16, 24 or 32 bits, or IEEE floats of 32 or 64 bits, little- or
// big-endian (one byte has no order).
enum class SampleFormat {
    S16le,
    S16be,
    S8,
    U8,
    U16le,
    U16be,
    S24le,
    S24be,
    S32le,
    S32be,
    U32le,
    U32be,
    F32le,
    F32be,
    F64le,
    F64be,
};

// Names as the command line and the report use them, in the order of SampleFormat.
inline constexpr std::array<std::string_view, 16> SampleFormatNames = {
    "s16le", "s16be", "s8",    "u8",    "u16le", "u16be", "s24le", "s24be",
    "s32le", "s32be", "u32le", "u32be", "f32le", "f32be", "f64le", "f64be"};

// Which kind reads an input file: the one its contents name (a sound file,
// a SigMF recording, else raw samples), or raw samples whatever it holds.
enum class InputKind { Detect, Raw };

// Names as the command line uses them, in the order of InputKind.
inline constexpr std::array<std::string_view, 2> InputKindNames = {"auto", "raw"};

// Most interleaved channels a source may have.
inline constexpr std::int32_t MaxChannels = 1024;

// Input settings of a batch. The defaults read every file by its contents
// and a raw file as today's sequence files: 16-bit little-endian, one channel.
struct InputOptions {
    InputKind kind = InputKind::Detect;
    SampleFormat sampleFormat = SampleFormat::S16le;  // of raw files
    std::int32_t channels = 1;                        // interleaved in a raw file, 1 to MaxChannels
    std::int32_t channel = 1;                         // the channel read, from 1
    // Every channel into outputs of its own, named with "_chK" before the
    // extension: a listing makes one File per channel, each with its
    // `channel` set.
    bool eachChannel = false;

    bool operator==(const InputOptions&) const = default;
};

// Lookups in the name lists above: the name of a value, and the value of the
// exact lower-case name (nothing for any other text).
std::string_view SampleFormatName(SampleFormat format) noexcept;
std::optional<SampleFormat> SampleFormatFromName(std::string_view name) noexcept;
std::string_view InputKindName(InputKind kind) noexcept;
std::optional<InputKind> InputKindFromName(std::string_view name) noexcept;

// Bytes one sample of the format takes.
std::size_t SampleBytes(SampleFormat format) noexcept;
// True when every sample of the format reads as a 16-bit integer value
// (8-bit samples are scaled by 256, unsigned ones offset first).
bool SixteenBitValues(SampleFormat format) noexcept;

}  // namespace tavox
