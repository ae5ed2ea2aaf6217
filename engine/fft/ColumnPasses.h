#pragma once

// Step 3 of the fast kernel: the remaining stages in column passes.

#include "engine/fft/Butterfly.h"
#include "engine/fft/Lanes.h"
#include "engine/fft/Sweeps.h"

namespace tavox::detail {
namespace {

// What every column of one pass shares. The last stage of the transform
// writes (x + x) * realScale and (y + y) * imagScale: the scaling by 2/N, with
// the imaginary parts negated for the conjugated output. The doubling is a
// multiplication by `two` (exact like the addition, and off the adders).
struct PassContext {
    // Per-stage twiddles: index k of the stage of half span d at [d + k], for
    // d < 128 (the tiles with several fixed-form lanes).
    const double* twRe;
    const double* twIm;
    // This pass's twiddles in the layout of SweepTableSize.
    const double* sweep;
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

// The doubling and scaling of the last stage, in vectors.
struct LastScale {
    Vec two;
    Vec real;
    Vec imag;
};

// The lower output of the last stage, doubled and scaled.
template <Form F>
[[gnu::always_inline]] inline void ChunkLastButterfly(const LastScale& scale, Vec ar, Vec ai, Vec br, Vec bi, Vec wr,
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
    outR = (ur * scale.two) * scale.real;
    outI = (ui * scale.two) * scale.imag;
}

// Chunks of V columns in the widest tile.
constexpr int MaxTileChunks = MaxSweepTile / V;
static_assert(MaxTileChunks >= 1);

// The rows of a tile in memory: element c of column i V + l of the tile at
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

// The same rows held on the stack between two steps of a pass, the real
// and imaginary parts of each side by side.
struct TileRows {
    Vec* rows;
    void Get(int c, int i, Vec& xr, Vec& xi) const noexcept {
        xr = rows[(c * MaxTileChunks + i) * 2];
        xi = rows[(c * MaxTileChunks + i) * 2 + 1];
    }
    void Put(int c, int i, Vec xr, Vec xi) const noexcept {
        rows[(c * MaxTileChunks + i) * 2] = xr;
        rows[(c * MaxTileChunks + i) * 2 + 1] = xi;
    }
};

// Chunks from..to-1 of one tile of a pass: the tile has `width` columns and
// its block of twiddles (see SweepTableSize) at `tw`.
struct ChunkRun {
    const double* tw;
    int width;
    int from;
    int to;
};

// Columns whose twiddles lie together, and the twiddles of chunk i of a tile
// of a pass of C rows: row (t, J) of them at [(2^t - 1 + J) 2 Group], the
// imaginary parts Group later.
constexpr int Group = SweepGroupOf(V);

template <int C>
[[gnu::always_inline]] inline const double* ChunkTwiddles(const ChunkRun& run, int i) noexcept {
    return run.tw + i * V / Group * (C - 1) * 2 * Group + i * V % Group;
}

// Calls chunk.template operator()<Q>(run.from) for a fixed-form chunk (Q >= 0,
// the first of its tile), or chunk.template operator()<-1>(i) for each chunk.
template <int Q, class F>
[[gnu::always_inline]] inline void ForChunks(const ChunkRun& run, F& chunk) noexcept {
    if constexpr (Q >= 0) {
        chunk.template operator()<Q>(run.from);
    } else {
        for (int i = run.from; i < run.to; ++i) chunk.template operator()<-1>(i);
    }
}

// Stages T and T+1 of a pass on a run of chunks of C rows, in units of four
// rows loaded once, each unit for every chunk of the run before the next. Q:
// see LaneZeroForm. With `Last`, stage T+1 is the last of the transform and
// only its lower outputs are written.
template <int C, int T, int Q, bool Last, class Src, class Dst>
[[gnu::always_inline]] inline void FourStep(const LastScale& scale, const ChunkRun& run, const Src& src,
                                            const Dst& dst) noexcept {
    constexpr int h = 1 << T;
    // Rows (T, j), (T + 1, j) and (T + 1, j + h) of a chunk's twiddles.
    constexpr int Row = 2 * Group;
    auto unit = [&]<int U>() __attribute__((always_inline)) {
        constexpr int j = U % h;
        constexpr int c = U / h * 4 * h + j;
        auto chunk = [&]<int q>(int i) __attribute__((always_inline)) {
            const double* const tw = ChunkTwiddles<C>(run, i);
            const double* const a = tw + (h - 1 + j) * Row;
            const double* const b = tw + (2 * h - 1 + j) * Row;
            const double* const b1 = b + h * Row;
            Vec xr[4];
            Vec xi[4];
            for (int t = 0; t < 4; ++t) src.Get(c + t * h, i, xr[t], xi[t]);
            const Vec ar = Load(a);
            const Vec ai = Load(a + Group);
            ChunkButterfly<LaneZeroForm(q, j, T)>(xr[0], xi[0], xr[1], xi[1], ar, ai);
            ChunkButterfly<LaneZeroForm(q, j, T)>(xr[2], xi[2], xr[3], xi[3], ar, ai);
            const Vec br0 = Load(b);
            const Vec bi0 = Load(b + Group);
            const Vec br1 = Load(b1);
            const Vec bi1 = Load(b1 + Group);
            if constexpr (Last) {
                Vec outR;
                Vec outI;
                ChunkLastButterfly<LaneZeroForm(q, j, T + 1)>(scale, xr[0], xi[0], xr[2], xi[2], br0, bi0, outR, outI);
                dst.Put(c, i, outR, outI);
                ChunkLastButterfly<LaneZeroForm(q, j + h, T + 1)>(scale, xr[1], xi[1], xr[3], xi[3], br1, bi1, outR,
                                                                  outI);
                dst.Put(c + h, i, outR, outI);
            } else {
                ChunkButterfly<LaneZeroForm(q, j, T + 1)>(xr[0], xi[0], xr[2], xi[2], br0, bi0);
                ChunkButterfly<LaneZeroForm(q, j + h, T + 1)>(xr[1], xi[1], xr[3], xi[3], br1, bi1);
                for (int t = 0; t < 4; ++t) dst.Put(c + t * h, i, xr[t], xi[t]);
            }
        };
        ForChunks<Q>(run, chunk);
    };
    Unrolled<0, C / 4>(unit);
}

// Stage T of a pass on a run of chunks of C rows, in pairs of rows.
template <int C, int T, int Q, bool Last, class Src, class Dst>
[[gnu::always_inline]] inline void TwoStep(const LastScale& scale, const ChunkRun& run, const Src& src,
                                           const Dst& dst) noexcept {
    constexpr int h = 1 << T;
    auto unit = [&]<int U>() __attribute__((always_inline)) {
        constexpr int j = U % h;
        constexpr int c = U / h * 2 * h + j;
        auto chunk = [&]<int q>(int i) __attribute__((always_inline)) {
            const double* const a = ChunkTwiddles<C>(run, i) + (h - 1 + j) * 2 * Group;
            Vec xr[2];
            Vec xi[2];
            src.Get(c, i, xr[0], xi[0]);
            src.Get(c + h, i, xr[1], xi[1]);
            const Vec ar = Load(a);
            const Vec ai = Load(a + Group);
            if constexpr (Last) {
                Vec outR;
                Vec outI;
                ChunkLastButterfly<LaneZeroForm(q, j, T)>(scale, xr[0], xi[0], xr[1], xi[1], ar, ai, outR, outI);
                dst.Put(c, i, outR, outI);
            } else {
                ChunkButterfly<LaneZeroForm(q, j, T)>(xr[0], xi[0], xr[1], xi[1], ar, ai);
                dst.Put(c, i, xr[0], xi[0]);
                dst.Put(c + h, i, xr[1], xi[1]);
            }
        };
        ForChunks<Q>(run, chunk);
    };
    Unrolled<0, C / 2>(unit);
}

// The first three stages of a pass on rows Base..Base+7 of a run of chunks,
// all in registers: the two halves of four rows through the first two
// stages, then the third stage across them. With `Last` the third stage is
// the last of the transform.
template <int C, int Base, int Q, bool Last, class Src, class Dst>
[[gnu::always_inline]] inline void EightStep(const LastScale& scale, const ChunkRun& run, const Src& src,
                                             const Dst& dst) noexcept {
    auto chunk = [&]<int q>(int i) __attribute__((always_inline)) {
        // Row (t, J) of the chunk's twiddles is row 2^t - 1 + J.
        const double* const tw = ChunkTwiddles<C>(run, i);
        auto twRe = [&](int row) { return Load(tw + row * 2 * Group); };
        auto twIm = [&](int row) { return Load(tw + row * 2 * Group + Group); };
        Vec xr[8];
        Vec xi[8];
        for (int half = 0; half < 8; half += 4) {
            for (int t = half; t < half + 4; ++t) src.Get(Base + t, i, xr[t], xi[t]);
            const Vec ar = twRe(0);
            const Vec ai = twIm(0);
            ChunkButterfly<LaneZeroForm(q, 0, 0)>(xr[half], xi[half], xr[half + 1], xi[half + 1], ar, ai);
            ChunkButterfly<LaneZeroForm(q, 0, 0)>(xr[half + 2], xi[half + 2], xr[half + 3], xi[half + 3], ar, ai);
            ChunkButterfly<LaneZeroForm(q, 0, 1)>(xr[half], xi[half], xr[half + 2], xi[half + 2], twRe(1), twIm(1));
            ChunkButterfly<LaneZeroForm(q, 1, 1)>(xr[half + 1], xi[half + 1], xr[half + 3], xi[half + 3], twRe(2),
                                                  twIm(2));
        }
        auto last = [&]<int J>() __attribute__((always_inline)) {
            if constexpr (Last) {
                Vec outR;
                Vec outI;
                ChunkLastButterfly<LaneZeroForm(q, J, 2)>(scale, xr[J], xi[J], xr[J + 4], xi[J + 4], twRe(3 + J),
                                                          twIm(3 + J), outR, outI);
                dst.Put(Base + J, i, outR, outI);
            } else {
                ChunkButterfly<LaneZeroForm(q, J, 2)>(xr[J], xi[J], xr[J + 4], xi[J + 4], twRe(3 + J), twIm(3 + J));
                dst.Put(Base + J, i, xr[J], xi[J]);
                dst.Put(Base + J + 4, i, xr[J + 4], xi[J + 4]);
            }
        };
        Unrolled<0, 4>(last);
    };
    ForChunks<Q>(run, chunk);
}

// All stages of one pass (C rows) on a run of chunks of the tile whose
// columns start at `columns`: two stages per load of four rows, the rows in
// between on the stack.
template <int C, int Q, bool Last>
[[gnu::noinline]] void RunChunks(const PassContext& pass, double* re, double* im, ChunkRun run) noexcept {
    const MemoryRows rows{re, im, pass.r};
    const LastScale scale{Broadcast(pass.two), Broadcast(pass.realScale), Broadcast(pass.imagScale)};
    if constexpr (C == 2) {
        TwoStep<2, 0, Q, Last>(scale, run, rows, rows);
    } else if constexpr (C == 4) {
        FourStep<4, 0, Q, Last>(scale, run, rows, rows);
    } else if constexpr (C == 8) {
        EightStep<8, 0, Q, Last>(scale, run, rows, rows);
    } else {
        // Sixteen rows in two steps through the stack. A pass that is not
        // the last runs the first three stages on each half of eight rows,
        // then the fourth across the halves, so that it writes no more than
        // two rows a power of two apart together; the last pass, whose rows
        // are further apart, runs two stages per step.
        alignas(64) Vec tile[2 * C * MaxTileChunks];
        const TileRows inner{tile};
        static_assert(C == 16);
        if constexpr (Last) {
            FourStep<16, 0, Q, false>(scale, run, rows, inner);
            FourStep<16, 2, Q, true>(scale, run, inner, rows);
        } else {
            EightStep<16, 0, Q, false>(scale, run, rows, inner);
            EightStep<16, 8, Q, false>(scale, run, rows, inner);
            TwoStep<16, 3, Q, false>(scale, run, inner, rows);
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

// A tile with several fixed-form lanes (only where r / 4 < V): computed in
// the general form, then those lanes redone one by one.
template <int C, bool Last>
[[gnu::noinline]] void MixedTile(const PassContext& pass, double* re, double* im, int t0, ChunkRun run) noexcept {
    constexpr int Rows = Last ? C / 2 : C;
    const int r = pass.r;
    const int q = r / 4;
    double exact[MaxSweepTile][2 * C];
    for (int l = 0; l < run.width; ++l)
        if ((t0 + l) % q == 0) ExactColumn(pass, re + t0 + l, im + t0 + l, t0 + l, C, Last, exact[l]);
    RunChunks<C, -1, Last>(pass, re + t0, im + t0, run);
    for (int l = 0; l < run.width; ++l) {
        if ((t0 + l) % q != 0) continue;
        for (int c = 0; c < Rows; ++c) {
            re[t0 + l + c * r] = exact[l][c];
            im[t0 + l + c * r] = exact[l][Rows + c];
        }
    }
}

// The column stages over the block of r C elements at `base`, tile after
// tile. Only columns k that are multiples of r/4 meet fixed twiddle indices;
// with r/4 >= V each is lane 0 of the first chunk of its own tile.
template <int C, bool Last>
inline void ColumnPass(const PassContext& pass, double* re, double* im, int base) noexcept {
    const int r = pass.r;
    const int quarter = r / 4;
    const int width = SweepTileOf(r);
    const int chunks = width / V;
    const int blockSize = (C - 1) * 2 * width;
    re += base;
    im += base;
    const double* tw = pass.sweep;
    for (int t0 = 0; t0 < r; t0 += width, tw += blockSize) {
        if (quarter < V) {
            MixedTile<C, Last>(pass, re, im, t0, ChunkRun{tw, width, 0, chunks});
            continue;
        }
        int from = 0;
        if (t0 % quarter == 0) {
            const ChunkRun fixed{tw, width, 0, 1};
            switch (t0 / quarter) {
                case 0:
                    RunChunks<C, 0, Last>(pass, re + t0, im + t0, fixed);
                    break;
                case 1:
                    RunChunks<C, 1, Last>(pass, re + t0, im + t0, fixed);
                    break;
                case 2:
                    RunChunks<C, 2, Last>(pass, re + t0, im + t0, fixed);
                    break;
                default:
                    RunChunks<C, 3, Last>(pass, re + t0, im + t0, fixed);
                    break;
            }
            from = 1;
        }
        if (from == chunks) continue;
        RunChunks<C, -1, Last>(pass, re + t0, im + t0, ChunkRun{tw, width, from, chunks});
    }
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
            default:
                ColumnPass<16, Last>(pass, re, im, base);
                break;
        }
    }
}

}  // namespace
}  // namespace tavox::detail
