#pragma once

// How the fast kernel splits a transform of N = 2^m points, shared by the
// plan (which lays out the twiddles in that order) and the kernels: no vector
// types here. Internal linkage, as the kernels are built per instruction set.

#include <cstddef>

namespace tavox::detail {
namespace {

// Stages of one column pass at most (16 elements a column).
inline constexpr int MaxColumnBits = 4;
// Columns of the widest tile.
inline constexpr int MaxSweepTile = 32;

// Columns of one tile of a pass with columns r apart: a quarter of them, at
// least 8 (one cache line) and at most MaxSweepTile. The twiddles of a tile
// are read from one block.
constexpr int SweepTileOf(int r) noexcept {
    return r / 4 < 8 ? 8 : r / 4 > MaxSweepTile ? MaxSweepTile : r / 4;
}

// Columns whose twiddles lie together in a tile's block: one chunk of a
// kernel of 4 or 8 lanes (two chunks of a kernel of 2).
constexpr int SweepGroupOf(int lanes) noexcept {
    return lanes == 8 ? 8 : 4;
}

// Sub-blocks of 2^bits samples: at most 2^8 (2^7 for 8 lanes), and at least
// one super-block of lanes sub-blocks.
constexpr int SubBlockBitsOf(int m, int lanes) noexcept {
    const int most = lanes == 8 ? 7 : 8;
    const int laneBits = lanes == 8 ? 3 : lanes == 4 ? 2 : 1;
    return m - laneBits < most ? m - laneBits : most;
}

// One column pass: 2^logC elements a column, r = 2^(stages done) apart.
struct ColumnSweep {
    int r;
    int logC;
};

// The column passes after sub-blocks of 2^subBits: at most MaxColumnBits
// stages each, the later ones larger. Returns their number (at most 3).
inline int ColumnSweeps(int m, int subBits, ColumnSweep* sweeps) noexcept {
    int remaining = m - subBits;
    int passes = (remaining + MaxColumnBits - 1) / MaxColumnBits;
    int r = 1 << subBits;
    int count = 0;
    while (passes > 0) {
        const int logC = remaining / passes;
        sweeps[count++] = ColumnSweep{r, logC};
        r <<= logC;
        remaining -= logC;
        --passes;
    }
    return count;
}

// The twiddles of one column pass, in the order its chunks read them: for the
// tile of columns t0..t0+W-1 (W = SweepTileOf(r), t0 = 0, W, ..., r-W) and
// within it each group of columns g0..g0+G-1 (G = SweepGroupOf(lanes)), the
// rows (t, J) for t = 0..logC-1 and J = 0..2^t-1, each as the G real parts,
// then the G imaginary parts of twiddle index g0 + J r + l (l = 0..G-1) at
// half span r 2^t. Row (t, J) of a group is row 2^t - 1 + J of its block.
constexpr std::size_t SweepTableSize(ColumnSweep sweep) noexcept {
    return std::size_t{2} * static_cast<std::size_t>(sweep.r) * ((std::size_t{1} << sweep.logC) - 1);
}

}  // namespace
}  // namespace tavox::detail
