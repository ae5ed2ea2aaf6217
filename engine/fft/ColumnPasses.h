#pragma once

// Step 3 of the fast kernel: the remaining stages in column passes.

#include "engine/fft/Butterfly.h"
#include "engine/fft/Lanes.h"

namespace tavox::detail {
namespace {

// Stages of one column pass of step 3 at most (32 elements a column).
constexpr int MaxColumnBits = 5;

// What every column of one pass shares. The last stage of the transform
// writes (x + x) * realScale and (y + y) * imagScale: the scaling by 2/N, with
// the imaginary parts negated for the conjugated output. The doubling is a
// multiplication by `two` (exact like the addition, and off the adders).
struct PassContext {
    // Per-stage twiddles: index k of the stage of half span d at [d + k].
    const double* twRe;
    const double* twIm;
    // Distance between the elements of a column: 2^(stages done).
    int r;
    double realScale;
    double imagScale;
    double two;
};

// Calls f.template operator()<I>() for I = From..To-1, unrolled.
template <int From, int To, class F>
[[gnu::always_inline]] inline void Unrolled(F& f) noexcept {
    if constexpr (From < To) {
        f.template operator()<From>();
        Unrolled<From + 1, To>(f);
    }
}

// Lane 0 from `fixed`, the other lanes from `general`.
inline Vec LaneZeroFrom(Vec fixed, Vec general) noexcept {
#if TAVOX_FFT_LANES == 2
    return __builtin_shufflevector(fixed, general, 0, 3);
#elif TAVOX_FFT_LANES == 4
    return __builtin_shufflevector(fixed, general, 0, 5, 6, 7);
#else
    return __builtin_shufflevector(fixed, general, 0, 9, 10, 11, 12, 13, 14, 15);
#endif
}

// The form of the butterfly in lane 0 at stage t of a pass (half span r 2^t)
// and twiddle index k + j r, for a chunk that starts at k = q r / 4 (q < 0:
// any other chunk, all general).
constexpr Form LaneZeroForm(int q, int j, int t) noexcept {
    return q < 0 ? General : FormOf(q + 4 * j, 4 << t);
}

// One butterfly of a chunk: the general form in every lane, and form F in
// lane 0 where that is not the general one.
template <Form F>
[[gnu::always_inline]] inline void ChunkButterfly(Vec& ar, Vec& ai, Vec& br, Vec& bi, Vec wr, Vec wi) noexcept {
    if constexpr (F == General) {
        Butterfly<General>(ar, ai, br, bi, wr, wi);
    } else {
        Vec gar = ar;
        Vec gai = ai;
        Vec gbr = br;
        Vec gbi = bi;
        Butterfly<General>(gar, gai, gbr, gbi, wr, wi);
        Butterfly<F>(ar, ai, br, bi, wr, wi);
        ar = LaneZeroFrom(ar, gar);
        ai = LaneZeroFrom(ai, gai);
        br = LaneZeroFrom(br, gbr);
        bi = LaneZeroFrom(bi, gbi);
    }
}

// The lower output of the last stage, doubled and scaled.
template <Form F>
[[gnu::always_inline]] inline void ChunkLastButterfly(const PassContext& pass, Vec ar, Vec ai, Vec br, Vec bi, Vec wr,
                                                      Vec wi, Vec& outR, Vec& outI) noexcept {
    Vec tr;
    Vec ti;
    Product<General>(wr, wi, br, bi, tr, ti);
    Vec ur = ar + tr;
    Vec ui = ai + ti;
    if constexpr (F != General) {
        Product<F>(wr, wi, br, bi, tr, ti);
        ur = LaneZeroFrom(ar + tr, ur);
        ui = LaneZeroFrom(ai + ti, ui);
    }
    outR = (ur * pass.two) * pass.realScale;
    outI = (ui * pass.two) * pass.imagScale;
}

// Doubles per tile row: one 64-byte line, TileChunks chunks of V columns.
constexpr int TileWidth = V > 8 ? V : 8;
constexpr int TileChunks = TileWidth / V;

// The rows of a tile in memory: element c of column t0 + i V + l at
// re[c * stride + i V + l] and im[c * stride + i V + l].
struct MemoryRows {
    double* re;
    double* im;
    int stride;
    void Get(int c, int i, Vec& xr, Vec& xi) const noexcept {
        xr = Load(re + c * stride + i * V);
        xi = Load(im + c * stride + i * V);
    }
    void Put(int c, int i, Vec xr, Vec xi) const noexcept {
        Store(re + c * stride + i * V, xr);
        Store(im + c * stride + i * V, xi);
    }
};

// The same rows held on the stack between two steps of a pass.
struct TileRows {
    Vec* re;
    Vec* im;
    void Get(int c, int i, Vec& xr, Vec& xi) const noexcept {
        xr = re[c * TileChunks + i];
        xi = im[c * TileChunks + i];
    }
    void Put(int c, int i, Vec xr, Vec xi) const noexcept {
        re[c * TileChunks + i] = xr;
        im[c * TileChunks + i] = xi;
    }
};

// Stages T and T+1 of a pass on a tile of C rows from column t0, in units of
// four rows loaded once, each unit for every chunk of the tile before the
// next. Q (see LaneZeroForm) applies to the first chunk. With `Last`, stage
// T+1 is the last of the transform and only its lower outputs are written.
template <int C, int T, int Q, bool Last, class Src, class Dst>
[[gnu::always_inline]] inline void FourStep(const PassContext& pass, int t0, const Src& src, const Dst& dst) noexcept {
    constexpr int h = 1 << T;
    const int r = pass.r;
    const double* const aRe = pass.twRe + r * h + t0;
    const double* const aIm = pass.twIm + r * h + t0;
    const double* const bRe = pass.twRe + 2 * r * h + t0;
    const double* const bIm = pass.twIm + 2 * r * h + t0;
    auto unit = [&]<int U>() __attribute__((always_inline)) {
        constexpr int j = U / TileChunks % h;
        constexpr int c = U / TileChunks / h * 4 * h + j;
        constexpr int i = U % TileChunks;
        constexpr int q = i == 0 ? Q : -1;
        Vec xr[4];
        Vec xi[4];
        for (int t = 0; t < 4; ++t) src.Get(c + t * h, i, xr[t], xi[t]);
        const Vec ar = Load(aRe + j * r + i * V);
        const Vec ai = Load(aIm + j * r + i * V);
        ChunkButterfly<LaneZeroForm(q, j, T)>(xr[0], xi[0], xr[1], xi[1], ar, ai);
        ChunkButterfly<LaneZeroForm(q, j, T)>(xr[2], xi[2], xr[3], xi[3], ar, ai);
        const Vec br0 = Load(bRe + j * r + i * V);
        const Vec bi0 = Load(bIm + j * r + i * V);
        const Vec br1 = Load(bRe + (j + h) * r + i * V);
        const Vec bi1 = Load(bIm + (j + h) * r + i * V);
        if constexpr (Last) {
            Vec outR;
            Vec outI;
            ChunkLastButterfly<LaneZeroForm(q, j, T + 1)>(pass, xr[0], xi[0], xr[2], xi[2], br0, bi0, outR, outI);
            dst.Put(c, i, outR, outI);
            ChunkLastButterfly<LaneZeroForm(q, j + h, T + 1)>(pass, xr[1], xi[1], xr[3], xi[3], br1, bi1, outR, outI);
            dst.Put(c + h, i, outR, outI);
        } else {
            ChunkButterfly<LaneZeroForm(q, j, T + 1)>(xr[0], xi[0], xr[2], xi[2], br0, bi0);
            ChunkButterfly<LaneZeroForm(q, j + h, T + 1)>(xr[1], xi[1], xr[3], xi[3], br1, bi1);
            for (int t = 0; t < 4; ++t) dst.Put(c + t * h, i, xr[t], xi[t]);
        }
    };
    Unrolled<0, C / 4 * TileChunks>(unit);
}

// Stage T of a pass on a tile of C rows, in pairs of rows.
template <int C, int T, int Q, bool Last, class Src, class Dst>
[[gnu::always_inline]] inline void TwoStep(const PassContext& pass, int t0, const Src& src, const Dst& dst) noexcept {
    constexpr int h = 1 << T;
    const int r = pass.r;
    const double* const aRe = pass.twRe + r * h + t0;
    const double* const aIm = pass.twIm + r * h + t0;
    auto unit = [&]<int U>() __attribute__((always_inline)) {
        constexpr int j = U / TileChunks % h;
        constexpr int c = U / TileChunks / h * 2 * h + j;
        constexpr int i = U % TileChunks;
        constexpr int q = i == 0 ? Q : -1;
        Vec xr[2];
        Vec xi[2];
        src.Get(c, i, xr[0], xi[0]);
        src.Get(c + h, i, xr[1], xi[1]);
        const Vec ar = Load(aRe + j * r + i * V);
        const Vec ai = Load(aIm + j * r + i * V);
        if constexpr (Last) {
            Vec outR;
            Vec outI;
            ChunkLastButterfly<LaneZeroForm(q, j, T)>(pass, xr[0], xi[0], xr[1], xi[1], ar, ai, outR, outI);
            dst.Put(c, i, outR, outI);
        } else {
            ChunkButterfly<LaneZeroForm(q, j, T)>(xr[0], xi[0], xr[1], xi[1], ar, ai);
            dst.Put(c, i, xr[0], xi[0]);
            dst.Put(c + h, i, xr[1], xi[1]);
        }
    };
    Unrolled<0, C / 2 * TileChunks>(unit);
}

// All stages of one pass (C rows) on the tile of TileWidth columns from t0:
// two stages per load of four rows, the rows in between on the stack.
template <int C, int Q, bool Last>
[[gnu::noinline]] void ColumnTile(const PassContext& pass, double* re, double* im, int t0) noexcept {
    const MemoryRows rows{re + t0, im + t0, pass.r};
    if constexpr (C == 2) {
        TwoStep<2, 0, Q, Last>(pass, t0, rows, rows);
    } else if constexpr (C == 4) {
        FourStep<4, 0, Q, Last>(pass, t0, rows, rows);
    } else {
        Vec tileRe[C * TileChunks];
        Vec tileIm[C * TileChunks];
        const TileRows tile{tileRe, tileIm};
        FourStep<C, 0, Q, false>(pass, t0, rows, tile);
        if constexpr (C == 8) {
            TwoStep<8, 2, Q, Last>(pass, t0, tile, rows);
        } else if constexpr (C == 16) {
            FourStep<16, 2, Q, Last>(pass, t0, tile, rows);
        } else {
            FourStep<32, 2, Q, false>(pass, t0, tile, tile);
            TwoStep<32, 4, Q, Last>(pass, t0, tile, rows);
        }
    }
}

// The same column of `elements` elements for the one index k of lane 0 of
// `column`, every butterfly in its own form. Writes the real parts to out and
// the imaginary parts after them; with `last` the final stage gives the lower
// half only, scaled. Serves the chunks that hold more than one index with
// fixed forms (only where r / 4 < V), so it favours size over speed.
[[gnu::noinline]] void ExactColumn(const PassContext& pass, const double* re, const double* im, int k, int elements,
                                   bool last, double* out) noexcept {
    const int r = pass.r;
    double xr[1 << MaxColumnBits];
    double xi[1 << MaxColumnBits];
    for (int c = 0; c < elements; ++c) {
        xr[c] = re[c * r];
        xi[c] = im[c * r];
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

// A tile with several fixed-form lanes (only where r / 4 < TileWidth):
// computed in the general form, then those lanes redone one by one.
template <int C, bool Last>
[[gnu::noinline]] void MixedTile(const PassContext& pass, double* re, double* im, int t0) noexcept {
    constexpr int Rows = Last ? C / 2 : C;
    const int r = pass.r;
    const int q = r / 4;
    double exact[TileWidth][2 * C];
    for (int l = 0; l < TileWidth; ++l)
        if ((t0 + l) % q == 0) ExactColumn(pass, re + t0 + l, im + t0 + l, t0 + l, C, Last, exact[l]);
    ColumnTile<C, -1, Last>(pass, re, im, t0);
    for (int l = 0; l < TileWidth; ++l) {
        if ((t0 + l) % q != 0) continue;
        for (int c = 0; c < Rows; ++c) {
            re[t0 + l + c * r] = exact[l][c];
            im[t0 + l + c * r] = exact[l][Rows + c];
        }
    }
}

// The column stages over the block of r C elements at `base`. Only columns
// k that are multiples of r/4 meet fixed twiddle indices; with
// r/4 >= TileWidth each is lane 0 of the first chunk of its own tile.
template <int C, bool Last>
inline void ColumnPass(const PassContext& pass, double* re, double* im, int base) noexcept {
    const int r = pass.r;
    const int quarter = r / 4;
    re += base;
    im += base;
    if (quarter < TileWidth) {
        for (int t0 = 0; t0 < r; t0 += TileWidth) MixedTile<C, Last>(pass, re, im, t0);
        return;
    }
    ColumnTile<C, 0, Last>(pass, re, im, 0);
    ColumnTile<C, 1, Last>(pass, re, im, quarter);
    ColumnTile<C, 2, Last>(pass, re, im, 2 * quarter);
    ColumnTile<C, 3, Last>(pass, re, im, 3 * quarter);
    for (int q = 0; q < r; q += quarter)
        for (int t0 = q + TileWidth; t0 < q + quarter; t0 += TileWidth) ColumnTile<C, -1, Last>(pass, re, im, t0);
}

// One pass of 2^logC elements a column over the blocks from `from` to `to`.
template <bool Last>
inline void ColumnPasses(const PassContext& pass, double* re, double* im, int from, int to, int logC) noexcept {
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
