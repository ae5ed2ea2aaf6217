#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavox {

// One of `count` shares of a batch's inputs, for spreading a batch over
// several processes or machines. Of M inputs in list order, share `index`
// (0-based) holds positions index*M/count up to, not including,
// (index+1)*M/count (rounded down): the shares follow each other in list
// order, their sizes differ by one at most, and together they hold every
// input exactly once.
struct BatchShare {
    std::int32_t index = 0;
    std::int32_t count = 1;

    // The first position of the share and the one past its last, of `total`.
    std::size_t Begin(std::size_t total) const noexcept;
    std::size_t End(std::size_t total) const noexcept;
    bool operator==(const BatchShare&) const = default;
};

// Reads "K/N" (decimal digits only): 1 <= N <= 100000 and 0 <= K <= N, where
// K = N is taken as share 0, so that job arrays numbered 0..N-1 and 1..N
// both cover every share once. Nothing for any other text.
std::optional<BatchShare> ParseBatchShare(std::string_view text);

// "K/N" as the share is held (K from 0).
std::string ShareText(const BatchShare& share);

}  // namespace tavox
