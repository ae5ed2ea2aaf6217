#pragma once

// Step 1 of the fast kernel: the real samples in bit-reversed order, laid out
// for the sub-blocks of step 2.

#include "engine/fft/Lanes.h"

namespace tavox::detail {
namespace {

constexpr unsigned char Reverse8(unsigned x) noexcept {
    unsigned r = 0;
    for (int b = 0; b < 8; ++b) r |= ((x >> b) & 1u) << (7 - b);
    return static_cast<unsigned char>(r);
}

struct ByteReversal {
    unsigned char table[256];
    constexpr ByteReversal() noexcept : table() {
        for (unsigned x = 0; x < 256; ++x) table[x] = Reverse8(x);
    }
};

constexpr ByteReversal Reversal{};

// Reverses the low `bits` bits of x (bits <= 16).
inline unsigned ReverseBits(unsigned x, int bits) noexcept {
    const unsigned r16 = (static_cast<unsigned>(Reversal.table[x & 255u]) << 8) | Reversal.table[(x >> 8) & 255u];
    return r16 >> (16 - bits);
}

// Lane l of a vector of sub-blocks holds sub-block LaneSubBlock(l) of its
// super-block: the lanes take the sources in the order they lie in memory.
constexpr int LaneSubBlock(int l) noexcept {
    return Reverse8(static_cast<unsigned>(l)) >> (8 - __builtin_ctz(V));
}

// Copies the real samples in bit-reversed order into the layout of step 2,
// for more than one super-block (G = N / (V S) > 1): sample n of sub-block
// LaneSubBlock(l) of super-block g (natural index g V S + LaneSubBlock(l) S + n
// after the reversal) goes to dst[g V S + n V + l]. Its source index is
// rev(n) N/S + l G + rev(g), so V x V tiles across super-blocks are
// transposed (or, for G < V, copied one by one).
inline void BitReverseIntoBlocks(const double* src, double* dst, int m, int subBits) noexcept {
    constexpr int laneBits = __builtin_ctz(V);
    const int s = 1 << subBits;
    const int groupBits = m - subBits - laneBits;
    const int groups = 1 << groupBits;
    const int rowStride = 1 << (m - subBits);
    if (groups >= V) {
        for (int t = 0; t < groups; t += V) {
            double* outs[V];
            for (int j = 0; j < V; ++j) outs[j] = dst + ReverseBits(t + j, groupBits) * (V * s);
            for (int n = 0; n < s; ++n) {
                const double* row = src + ReverseBits(n, subBits) * rowStride + t;
                Vec rows[V];
                for (int l = 0; l < V; ++l) rows[l] = Load(row + l * groups);
                Transpose(rows);
                for (int j = 0; j < V; ++j) Store(outs[j] + n * V, rows[j]);
            }
        }
        return;
    }
    for (int g = 0; g < groups; ++g) {
        const int rg = ReverseBits(g, groupBits);
        for (int n = 0; n < s; ++n) {
            const double* row = src + ReverseBits(n, subBits) * rowStride + rg;
            double* out = dst + g * V * s + n * V;
            for (int l = 0; l < V; ++l) out[l] = row[l * groups];
        }
    }
}

}  // namespace
}  // namespace tavox::detail
