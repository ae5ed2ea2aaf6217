#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace tavox::fuzz {

// Takes typed values from the front of a fuzzer's input; past its end every
// value is zero or empty.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t Remaining() const noexcept { return size_; }

    template <class T>
    T Take() noexcept {
        T value{};
        const std::size_t n = size_ < sizeof value ? size_ : sizeof value;
        if (n > 0) std::memcpy(&value, data_, n);
        data_ += n;
        size_ -= n;
        return value;
    }

    bool TakeBool() noexcept { return (Take<std::uint8_t>() & 1) != 0; }

    // Text up to the next NUL byte (dropped) or the end of the input, at most `limit` bytes.
    std::string TakeText(std::size_t limit = 4096) {
        std::size_t n = 0;
        while (n < size_ && n < limit && data_[n] != 0) ++n;
        std::string text(reinterpret_cast<const char*>(data_), n);
        const std::size_t used = n < size_ && data_[n] == 0 ? n + 1 : n;
        data_ += used;
        size_ -= used;
        return text;
    }

    std::string TakeRest() {
        std::string text(reinterpret_cast<const char*>(data_), size_);
        data_ += size_;
        size_ = 0;
        return text;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

}  // namespace tavox::fuzz
