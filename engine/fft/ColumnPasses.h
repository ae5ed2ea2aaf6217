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

// The same column for one index k with every butterfly in its own form,
// read from and written to memory with stride `stride`; with `last` the final
// stage writes the lower half only, scaled. Runs for the few k that meet a
// fixed twiddle index, so it favours size over speed.
[[gnu::noinline]] void ExactColumn(const double* pr, const double* pi, double* outRe, double* outIm, int columns,
                                   int stride, int r, int k, const double* twRe, const double* twIm, bool last,
                                   double f, double magnitude) noexcept {
    double xr[1 << MaxColumnBits];
    double xi[1 << MaxColumnBits];
    for (int c = 0; c < columns; ++c) {
        xr[c] = pr[c * stride];
        xi[c] = pi[c * stride];
    }
    const int full = last ? columns / 2 : columns;
    for (int span = 1; span < full; span *= 2) {
        const int d = r * span;
        for (int j = 0; j < span; ++j) {
            const int index = k + j * r;
            const Form form = FormOf(index, d);
            for (int c = j; c < columns; c += 2 * span)
                ButterflyOfForm<double>(form, xr[c], xi[c], xr[c + span], xi[c + span], twRe[d + index],
                                        twIm[d + index]);
        }
    }
    if (!last) {
        for (int c = 0; c < columns; ++c) {
            outRe[c] = xr[c];
            outIm[c] = xi[c];
        }
        return;
    }
    const int half = columns / 2;
    const int d = r * half;
    for (int j = 0; j < half; ++j) {
        const int index = k + j * r;
        double ar = xr[j];
        double ai = xi[j];
        ButterflyOfForm<double>(FormOf(index, d), ar, ai, xr[j + half], xi[j + half], twRe[d + index], twIm[d + index]);
        outRe[j] = (ar + ar) * magnitude;
        outIm[j] = (ai + ai) * f;
    }
}

// Stages of half span r up to r C / 2 for the V columns k0..k0+V-1 whose
// element c lies at pr[c * stride], vectorised across k. Only indices k that
// are multiples of r/4 meet the fixed twiddles (r >= 16 puts at most V/4 of
// them in a chunk); their lanes are computed exactly first and written over
// the vector results. With `Last` only the lower half is written.
template <int C, bool Last>
inline void ColumnChunk(double* pr, double* pi, int stride, int r, int k0, const double* twRe, const double* twIm,
                        double f, double magnitude) noexcept {
    constexpr int MaxFixed = V / 4 > 0 ? V / 4 : 1;
    constexpr int Rows = Last ? C / 2 : C;
    const int q = r / 4;
    int fixedLanes[MaxFixed];
    double exactRe[MaxFixed][Rows];
    double exactIm[MaxFixed][Rows];
    int count = 0;
    if (HasFixedIndex(k0, q)) {
        for (int l = 0; l < V && count < MaxFixed; ++l) {
            if (((k0 + l) & (q - 1)) != 0) continue;
            ExactColumn(pr + l, pi + l, exactRe[count], exactIm[count], C, stride, r, k0 + l, twRe, twIm, Last, f,
                        magnitude);
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
        VectorStages<C / 2, 1>(xr, xi, twRe, twIm, r, k0);
        VectorStages<C / 2, 1>(xr + C / 2, xi + C / 2, twRe, twIm, r, k0);
        const int d = r * (C / 2);
#pragma GCC unroll 16
        for (int j = 0; j < C / 2; ++j) {
            Vec tr;
            Vec ti;
            Product<General>(Load(twRe + d + k0 + j * r), Load(twIm + d + k0 + j * r), xr[j + C / 2], xi[j + C / 2], tr,
                             ti);
            const Vec ur = xr[j] + tr;
            const Vec ui = xi[j] + ti;
            Store(pr + j * stride, (ur + ur) * magnitude);
            Store(pi + j * stride, (ui + ui) * f);
        }
    } else {
        VectorStages<C, 1>(xr, xi, twRe, twIm, r, k0);
#pragma GCC unroll 32
        for (int c = 0; c < C; ++c) {
            Store(pr + c * stride, xr[c]);
            Store(pi + c * stride, xi[c]);
        }
    }
    for (int i = 0; i < count; ++i) {
        for (int c = 0; c < Rows; ++c) {
            pr[c * stride + fixedLanes[i]] = exactRe[i][c];
            pi[c * stride + fixedLanes[i]] = exactIm[i][c];
        }
    }
}

// The column stages over the block of r C elements at `base`. Rows 4 KiB or
// more apart fall into the same cache sets, so such blocks go through a
// small contiguous tile, TileWidth indices at a time.
template <int C, bool Last>
inline void ColumnPass(double* re, double* im, int base, int r, const double* twRe, const double* twIm, double f,
                       double magnitude) noexcept {
    constexpr int Rows = Last ? C / 2 : C;
    if (r < TileFrom) {
        for (int k0 = 0; k0 < r; k0 += V)
            ColumnChunk<C, Last>(re + base + k0, im + base + k0, r, r, k0, twRe, twIm, f, magnitude);
        return;
    }
    alignas(64) double tileRe[C * TileWidth];
    alignas(64) double tileIm[C * TileWidth];
    for (int t0 = 0; t0 < r; t0 += TileWidth) {
        double* const pr = re + base + t0;
        double* const pi = im + base + t0;
        for (int c = 0; c < C; ++c) {
#pragma GCC unroll 8
            for (int x = 0; x < TileWidth; x += V) {
                Store(tileRe + c * TileWidth + x, Load(pr + c * r + x));
                Store(tileIm + c * TileWidth + x, Load(pi + c * r + x));
            }
        }
        for (int x = 0; x < TileWidth; x += V)
            ColumnChunk<C, Last>(tileRe + x, tileIm + x, TileWidth, r, t0 + x, twRe, twIm, f, magnitude);
        for (int c = 0; c < Rows; ++c) {
#pragma GCC unroll 8
            for (int x = 0; x < TileWidth; x += V) {
                Store(pr + c * r + x, Load(tileRe + c * TileWidth + x));
                Store(pi + c * r + x, Load(tileIm + c * TileWidth + x));
            }
        }
    }
}

template <bool Last>
inline void ColumnPasses(double* re, double* im, int from, int to, int r, int logC, const double* twRe,
                         const double* twIm, double f, double magnitude) noexcept {
    const int block = r << logC;
    for (int base = from; base < to; base += block) {
        switch (logC) {
            case 1:
                ColumnPass<2, Last>(re, im, base, r, twRe, twIm, f, magnitude);
                break;
            case 2:
                ColumnPass<4, Last>(re, im, base, r, twRe, twIm, f, magnitude);
                break;
            case 3:
                ColumnPass<8, Last>(re, im, base, r, twRe, twIm, f, magnitude);
                break;
            case 4:
                ColumnPass<16, Last>(re, im, base, r, twRe, twIm, f, magnitude);
                break;
            default:
                ColumnPass<32, Last>(re, im, base, r, twRe, twIm, f, magnitude);
                break;
        }
    }
}

}  // namespace
}  // namespace tavox::detail
