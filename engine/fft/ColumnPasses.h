#pragma once

// Step 3 of the fast kernel: the remaining stages in column passes.

#include "engine/fft/Butterfly.h"
#include "engine/fft/Lanes.h"

namespace tavox::detail {
namespace {

// Stages of one column pass of step 3 at most (32 elements a column).
constexpr int MaxColumnBits = 5;
// Column passes with rows this many doubles apart or more go through a tile
// of TileWidth indices.
constexpr int TileFrom = 512;
constexpr int TileWidth = 64;

// What every column of one pass shares. The last stage of the transform
// writes (x + x) * realScale and (y + y) * imagScale: the scaling by 2/N, with
// the imaginary parts negated for the conjugated output.
struct PassContext {
    // Per-stage twiddles: index k of the stage of half span d at [d + k].
    const double* twRe;
    const double* twIm;
    // Distance between the elements of a column: 2^(stages done).
    int r;
    double realScale;
    double imagScale;
};

// V neighbouring columns of split arrays: element c of the column of lane l
// at re[c * stride + l] and im[c * stride + l].
struct ColumnView {
    double* re;
    double* im;
    int stride;
};

// Whether the chunk of V indices from k0 holds a multiple of q.
inline bool HasFixedIndex(int k0, int q) noexcept {
    return q < V || (k0 & (q - 1)) == 0;
}

// One stage of half span r * Span on a column of C vectors (lanes k0..k0+V-1
// of the elements k, k + r, ..., k + (C-1) r), every butterfly in the general
// form: element j's twiddle index is k + (j mod Span) r, and `w` points at the
// stage's twiddles from index k0.
template <int C, int Span>
inline void VectorStage(Vec* xr, Vec* xi, const double* wRe, const double* wIm, int r) noexcept {
#pragma GCC unroll 16
    for (int j = 0; j < Span; ++j) {
        const Vec wr = Load(wRe + j * r);
        const Vec wi = Load(wIm + j * r);
#pragma GCC unroll 16
        for (int c = j; c < C; c += 2 * Span) Butterfly<General>(xr[c], xi[c], xr[c + Span], xi[c + Span], wr, wi);
    }
}

template <int C, int Span>
inline void VectorStages(Vec* xr, Vec* xi, const double* twRe, const double* twIm, int r, int k0) noexcept {
    if constexpr (Span < C) {
        const int d = r * Span;
        VectorStage<C, Span>(xr, xi, twRe + d + k0, twIm + d + k0, r);
        VectorStages<C, Span * 2>(xr, xi, twRe, twIm, r, k0);
    }
}

// The same column of `elements` elements for the one index k of lane 0 of
// `column`, every butterfly in its own form. Writes the real parts to out and
// the imaginary parts after them; with `last` the final stage gives the lower
// half only, scaled. Runs for the few k that meet a fixed twiddle index, so it
// favours size over speed.
[[gnu::noinline]] void ExactColumn(PassContext pass, ColumnView column, int k, int elements, bool last,
                                   double* out) noexcept {
    const int r = pass.r;
    double xr[1 << MaxColumnBits];
    double xi[1 << MaxColumnBits];
    for (int c = 0; c < elements; ++c) {
        xr[c] = column.re[c * column.stride];
        xi[c] = column.im[c * column.stride];
    }
    const int full = last ? elements / 2 : elements;
    for (int span = 1; span < full; span *= 2) {
        const int d = r * span;
        for (int j = 0; j < span; ++j) {
            const int index = k + j * r;
            const Form form = FormOf(index, d);
            for (int c = j; c < elements; c += 2 * span)
                ButterflyOfForm<double>(form, xr[c], xi[c], xr[c + span], xi[c + span], pass.twRe[d + index],
                                        pass.twIm[d + index]);
        }
    }
    if (!last) {
        for (int c = 0; c < elements; ++c) {
            out[c] = xr[c];
            out[elements + c] = xi[c];
        }
        return;
    }
    const int half = elements / 2;
    const int d = r * half;
    for (int j = 0; j < half; ++j) {
        const int index = k + j * r;
        double ar = xr[j];
        double ai = xi[j];
        ButterflyOfForm<double>(FormOf(index, d), ar, ai, xr[j + half], xi[j + half], pass.twRe[d + index],
                                pass.twIm[d + index]);
        out[j] = (ar + ar) * pass.realScale;
        out[half + j] = (ai + ai) * pass.imagScale;
    }
}

// Stages of half span r up to r C / 2 for the V columns k0..k0+V-1 of
// `columns`, vectorised across k. Only indices k that are multiples of r/4
// meet the fixed twiddles (r >= 16 puts at most V/4 of them in a chunk); their
// lanes are computed exactly first and written over the vector results. With
// `Last` only the lower half is written.
template <int C, bool Last>
inline void ColumnChunk(PassContext pass, ColumnView columns, int k0) noexcept {
    constexpr int MaxFixed = V / 4 > 0 ? V / 4 : 1;
    constexpr int Rows = Last ? C / 2 : C;
    const int r = pass.r;
    const int stride = columns.stride;
    double* const pr = columns.re;
    double* const pi = columns.im;
    const int q = r / 4;
    int fixedLanes[MaxFixed];
    // Real parts of lane i at exact[i][0..Rows-1], imaginary parts after them.
    double exact[MaxFixed][2 * Rows];
    int count = 0;
    if (HasFixedIndex(k0, q)) {
        for (int l = 0; l < V && count < MaxFixed; ++l) {
            if (((k0 + l) & (q - 1)) != 0) continue;
            ExactColumn(pass, ColumnView{pr + l, pi + l, stride}, k0 + l, C, Last, exact[count]);
            fixedLanes[count++] = l;
        }
    }
    Vec xr[C];
    Vec xi[C];
#pragma GCC unroll 32
    for (int c = 0; c < C; ++c) {
        xr[c] = Load(pr + c * stride);
        xi[c] = Load(pi + c * stride);
    }
    if constexpr (Last) {
        VectorStages<C / 2, 1>(xr, xi, pass.twRe, pass.twIm, r, k0);
        VectorStages<C / 2, 1>(xr + C / 2, xi + C / 2, pass.twRe, pass.twIm, r, k0);
        const int d = r * (C / 2);
#pragma GCC unroll 16
        for (int j = 0; j < C / 2; ++j) {
            Vec tr;
            Vec ti;
            Product<General>(Load(pass.twRe + d + k0 + j * r), Load(pass.twIm + d + k0 + j * r), xr[j + C / 2],
                             xi[j + C / 2], tr, ti);
            const Vec ur = xr[j] + tr;
            const Vec ui = xi[j] + ti;
            Store(pr + j * stride, (ur + ur) * pass.realScale);
            Store(pi + j * stride, (ui + ui) * pass.imagScale);
        }
    } else {
        VectorStages<C, 1>(xr, xi, pass.twRe, pass.twIm, r, k0);
#pragma GCC unroll 32
        for (int c = 0; c < C; ++c) {
            Store(pr + c * stride, xr[c]);
            Store(pi + c * stride, xi[c]);
        }
    }
    for (int i = 0; i < count; ++i) {
        for (int c = 0; c < Rows; ++c) {
            pr[c * stride + fixedLanes[i]] = exact[i][c];
            pi[c * stride + fixedLanes[i]] = exact[i][Rows + c];
        }
    }
}

// The column stages over the block of r C elements at `base`. Rows 4 KiB or
// more apart fall into the same cache sets, so such blocks go through a
// small contiguous tile, TileWidth indices at a time. The row copies are
// unrolled in full: as loops the compiler may turn them into string moves,
// which cost more at this length.
template <int C, bool Last>
inline void ColumnPass(PassContext pass, double* re, double* im, int base) noexcept {
    constexpr int Rows = Last ? C / 2 : C;
    const int r = pass.r;
    if (r < TileFrom) {
        for (int k0 = 0; k0 < r; k0 += V) ColumnChunk<C, Last>(pass, ColumnView{re + base + k0, im + base + k0, r}, k0);
        return;
    }
    alignas(64) double tileRe[C * TileWidth];
    alignas(64) double tileIm[C * TileWidth];
    for (int t0 = 0; t0 < r; t0 += TileWidth) {
        double* const pr = re + base + t0;
        double* const pi = im + base + t0;
        for (int c = 0; c < C; ++c) {
#pragma GCC unroll 32
            for (int x = 0; x < TileWidth; x += V) {
                Store(tileRe + c * TileWidth + x, Load(pr + c * r + x));
                Store(tileIm + c * TileWidth + x, Load(pi + c * r + x));
            }
        }
        for (int x = 0; x < TileWidth; x += V)
            ColumnChunk<C, Last>(pass, ColumnView{tileRe + x, tileIm + x, TileWidth}, t0 + x);
        for (int c = 0; c < Rows; ++c) {
#pragma GCC unroll 32
            for (int x = 0; x < TileWidth; x += V) {
                Store(pr + c * r + x, Load(tileRe + c * TileWidth + x));
                Store(pi + c * r + x, Load(tileIm + c * TileWidth + x));
            }
        }
    }
}

// One pass of 2^logC elements a column over the blocks from `from` to `to`.
template <bool Last>
inline void ColumnPasses(PassContext pass, double* re, double* im, int from, int to, int logC) noexcept {
    const int block = pass.r << logC;
    for (int base = from; base < to; base += block) {
        switch (logC) {
            case 1:
                ColumnPass<2, Last>(pass, re, im, base);
                break;
            case 2:
                ColumnPass<4, Last>(pass, re, im, base);
                break;
            case 3:
                ColumnPass<8, Last>(pass, re, im, base);
                break;
            case 4:
                ColumnPass<16, Last>(pass, re, im, base);
                break;
            default:
                ColumnPass<32, Last>(pass, re, im, base);
                break;
        }
    }
}

}  // namespace
}  // namespace tavox::detail
