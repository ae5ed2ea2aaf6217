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

// Lanes l of super-block g from the V G samples at row[l G + rev(g)], for
// G = 2 or 4 (< V): the G vectors at row, split by stride.
template <int G>
inline void SplitByStride(const double* row, double* const* outs) noexcept {
    Vec in[G];
    for (int i = 0; i < G; ++i) in[i] = Load(row + i * V);
    auto split = [&]<int RG>(double* out) __attribute__((always_inline)) {
#if TAVOX_FFT_LANES == 4
        Store(out, __builtin_shufflevector(in[0], in[1], RG, RG + 2, RG + 4, RG + 6));
#elif TAVOX_FFT_LANES == 8
        if constexpr (G == 2) {
            Store(out,
                  __builtin_shufflevector(in[0], in[1], RG, RG + 2, RG + 4, RG + 6, RG + 8, RG + 10, RG + 12, RG + 14));
        } else {
            const Vec low = __builtin_shufflevector(in[0], in[1], RG, RG + 4, RG + 8, RG + 12, 0, 0, 0, 0);
            const Vec high = __builtin_shufflevector(in[2], in[3], RG, RG + 4, RG + 8, RG + 12, 0, 0, 0, 0);
            Store(out, __builtin_shufflevector(low, high, 0, 1, 2, 3, 8, 9, 10, 11));
        }
#endif
    };
    if constexpr (G == 2) {
        split.template operator()<0>(outs[0]);
        split.template operator()<1>(outs[1]);
    } else {
        split.template operator()<0>(outs[0]);
        split.template operator()<2>(outs[1]);
        split.template operator()<1>(outs[2]);
        split.template operator()<3>(outs[3]);
    }
}

// Copies the real samples in bit-reversed order into the layout of step 2,
// for more than one super-block (G = N / (V S) > 1): sample n of sub-block
// LaneSubBlock(l) of super-block g (natural index g V S + LaneSubBlock(l) S + n
// after the reversal) goes to dst[g V S + n V + l]. Its source index is
// rev(n) N/S + l G + rev(g): the V G samples of one n lie together, and V x V
// tiles of them across super-blocks are transposed, two or more side by side
// so that each row read is a whole cache line.
inline void BitReverseIntoBlocks(const double* src, double* dst, int m, int subBits) noexcept {
    constexpr int laneBits = __builtin_ctz(V);
    const int s = 1 << subBits;
    const int groupBits = m - subBits - laneBits;
    const int groups = 1 << groupBits;
    const int rowStride = 1 << (m - subBits);
    if (groups < V) {
        double* outs[V];
        for (int g = 0; g < groups; ++g) outs[g] = dst + g * V * s;
        for (int n = 0; n < s; ++n, outs[0] += V, outs[1] += V, outs[2 % V] += V, outs[3 % V] += V) {
            const double* row = src + ReverseBits(n, subBits) * rowStride;
            if constexpr (V >= 4) {
                if (groups == 2) SplitByStride<2>(row, outs);
            }
            if constexpr (V == 8) {
                if (groups == 4) SplitByStride<4>(row, outs);
            }
        }
        return;
    }
    const int step = groups < 8 ? V : 8;
    for (int t = 0; t < groups; t += step) {
        double* outs[8];
        for (int j = 0; j < step; ++j) outs[j] = dst + ReverseBits(t + j, groupBits) * (V * s);
        for (int n = 0; n < s; ++n) {
            const double* row = src + ReverseBits(n, subBits) * rowStride + t;
            for (int u = 0; u < step; u += V) {
                Vec rows[V];
                for (int l = 0; l < V; ++l) rows[l] = Load(row + l * groups + u);
                Transpose(rows);
                for (int j = 0; j < V; ++j) Store(outs[u + j] + n * V, rows[j]);
            }
        }
    }
}

}  // namespace
}  // namespace tavox::detail
