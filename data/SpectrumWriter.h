#pragma once

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "data/BlockCache.h"
#include "data/FileSystem.h"
#include "data/SpectrumFormats.h"

namespace tavox {

// Outputs are handed to their file in blocks of this many bytes.
inline constexpr std::size_t BlockBytes = 64 * 1024;
// Room one step may add past a full block: a CSV line of four numbers.
inline constexpr std::size_t StepBytes = 128;

// Fills the buffer and hands it to the file whenever a block is full.
class SpectrumWriter {
public:
    SpectrumWriter(OutputFile& file, ByteBuffer& buffer) : file_(file), buffer_(buffer) {
        ReserveSpectrumBuffer(buffer_);
    }

    // Room for `bytes` more (at most a block), handing the buffer on first when
    // they would not fit.
    std::byte* Reserve(std::size_t bytes) {
        if (used_ + bytes > buffer_.size()) Flush();
        return buffer_.data() + used_;
    }
    void Advance(std::size_t bytes) {
        used_ += bytes;
        if (used_ >= BlockBytes) Flush();
    }
    void Append(std::string_view text) {
        while (!text.empty()) {
            const std::size_t n = std::min(text.size(), StepBytes);
            std::memcpy(Reserve(n), text.data(), n);
            Advance(n);
            text.remove_prefix(n);
        }
    }
    template <class Word>
    void AppendLittleEndian(Word word) {
        std::byte* at = Reserve(sizeof word);
        std::memcpy(at, &word, sizeof word);
        if constexpr (std::endian::native != std::endian::little) std::reverse(at, at + sizeof word);
        Advance(sizeof word);
    }
    void AppendNumber(double x) {
        char* at = reinterpret_cast<char*>(Reserve(32));
        Advance(static_cast<std::size_t>(std::to_chars(at, at + 32, x).ptr - at));
    }
    void AppendIndex(std::size_t k) {
        char* at = reinterpret_cast<char*>(Reserve(24));
        Advance(static_cast<std::size_t>(std::to_chars(at, at + 24, k).ptr - at));
    }
    void Flush() {
        if (used_ > 0) file_.Write(std::span<const std::byte>(buffer_.data(), used_));
        used_ = 0;
    }

private:
    OutputFile& file_;
    ByteBuffer& buffer_;
    std::size_t used_ = 0;
};

}  // namespace tavox
