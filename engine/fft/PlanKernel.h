// The fast kernel, written once for a vector of TAVOX_FFT_LANES doubles.
// Included by one translation unit per instruction set, which defines
// TAVOX_FFT_LANES and its own entry point. Everything here has internal
// linkage so that code built for one instruction set never replaces another's.
//
// Layout of the work:
//  1. The real samples are copied in bit-reversed order into `im` (known to
//     be zero, it serves as scratch), already arranged for step 2.
//  2. Sub-blocks of S samples run stages 1..log2(S) on a stack buffer that
//     holds V sub-blocks side by side, one per vector lane, so that every lane
//     runs the same butterfly form with a broadcast twiddle.
//  3. The remaining stages run in column passes of up to five stages: with
//     r = 2^(stages done), the elements k, k + r, k + 2r, ... of a block form
//     a small independent transform, loaded once into registers for V
//     neighbouring k; the lanes whose k meets a fixed twiddle index are redone
//     with the exact forms. The final pass writes the lower half, scaled.

#include "engine/fft/KernelJob.h"
#include "engine/NumericConstants.h"

namespace tavox::detail {
namespace {

constexpr int V = TAVOX_FFT_LANES;
typedef double Vec __attribute__((vector_size(V * sizeof(double))));

// Sub-block length S of step 2 (at most 256): V * S doubles per array fill at most 8 KiB.
constexpr int SubBlockBits = V == 8 ? 7 : 8;
// Stages of one column pass of step 3 at most (32 elements a column).
constexpr int MaxColumnBits = 5;
// Column passes with rows this many doubles apart or more go through a tile
// of TileWidth indices.
constexpr int TileFrom = 512;
constexpr int TileWidth = 64;

enum Form { Unit, Quarter, Half, ThreeQuarter, General };

inline Vec Load(const double* p) noexcept {
    Vec v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}

inline void Store(double* p, Vec v) noexcept {
    __builtin_memcpy(p, &v, sizeof v);
}

inline Vec Broadcast(double x) noexcept {
#if TAVOX_FFT_LANES == 2
    return Vec{x, x};
#elif TAVOX_FFT_LANES == 4
    return Vec{x, x, x, x};
#else
    return Vec{x, x, x, x, x, x, x, x};
#endif
}

// Lane i moves to lane bitreverse(i).
inline Vec ReverseLaneBits(Vec v) noexcept {
#if TAVOX_FFT_LANES == 2
    return v;
#elif TAVOX_FFT_LANES == 4
    return __builtin_shufflevector(v, v, 0, 2, 1, 3);
#else
    return __builtin_shufflevector(v, v, 0, 4, 2, 6, 1, 5, 3, 7);
#endif
}

// The butterfly form of twiddle index k at the stage of half span d.
inline Form FormOf(int k, int d) noexcept {
    if (k == 0) return Unit;
    if (d >= 4 && k == d / 4) return Quarter;
    if (d >= 2 && k == d / 2) return Half;
    if (d >= 4 && k == d - d / 4) return ThreeQuarter;
    return General;
}

// (t_re, t_im) of one butterfly in form F; T is double or Vec.
template <Form F, class T>
inline void Product(T wr, T wi, T xr, T xi, T& tr, T& ti) noexcept {
    if constexpr (F == Unit) {
        tr = xr;
        ti = xi;
    } else if constexpr (F == Quarter) {
        tr = (xi + xr) * Sqrt05;
        ti = (xi - xr) * Sqrt05;
    } else if constexpr (F == Half) {
        tr = xi;
        ti = -xr;
    } else if constexpr (F == ThreeQuarter) {
        tr = (xr - xi) * (-Sqrt05);
        ti = (xi + xr) * (-Sqrt05);
    } else {
        tr = wr * xr - wi * xi;
        ti = wr * xi + wi * xr;
    }
}

template <Form F, class T>
inline void Butterfly(T& ar, T& ai, T& br, T& bi, T wr, T wi) noexcept {
    T tr;
    T ti;
    Product<F>(wr, wi, br, bi, tr, ti);
    br = ar - tr;
    bi = ai - ti;
    ar = ar + tr;
    ai = ai + ti;
}

template <class T>
[[gnu::always_inline]] inline void ButterflyOfForm(Form form, T& ar, T& ai, T& br, T& bi, T wr, T wi) noexcept {
    switch (form) {
        case Unit:
            Butterfly<Unit>(ar, ai, br, bi, wr, wi);
            break;
        case Quarter:
            Butterfly<Quarter>(ar, ai, br, bi, wr, wi);
            break;
        case Half:
            Butterfly<Half>(ar, ai, br, bi, wr, wi);
            break;
        case ThreeQuarter:
            Butterfly<ThreeQuarter>(ar, ai, br, bi, wr, wi);
            break;
        default:
            Butterfly<General>(ar, ai, br, bi, wr, wi);
            break;
    }
}

// ---------------------------------------------------------------- step 1

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

// ---------------------------------------------------------------- step 2

// rows[l] becomes the vector of lane l of the V input rows (a V x V transpose).
inline void Transpose(Vec* rows) noexcept {
#if TAVOX_FFT_LANES == 2
    {
        const Vec a = rows[0];
        const Vec b = rows[1];
        rows[0] = __builtin_shufflevector(a, b, 0, 2);
        rows[1] = __builtin_shufflevector(a, b, 1, 3);
    }
#elif TAVOX_FFT_LANES == 4
    {
        const Vec t0 = __builtin_shufflevector(rows[0], rows[1], 0, 4, 2, 6);
        const Vec t1 = __builtin_shufflevector(rows[0], rows[1], 1, 5, 3, 7);
        const Vec t2 = __builtin_shufflevector(rows[2], rows[3], 0, 4, 2, 6);
        const Vec t3 = __builtin_shufflevector(rows[2], rows[3], 1, 5, 3, 7);
        rows[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
        rows[1] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
        rows[2] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
        rows[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
    }
#else
    {
        Vec t[8];
        for (int i = 0; i < 8; i += 2) {
            t[i] = __builtin_shufflevector(rows[i], rows[i + 1], 0, 8, 2, 10, 4, 12, 6, 14);
            t[i + 1] = __builtin_shufflevector(rows[i], rows[i + 1], 1, 9, 3, 11, 5, 13, 7, 15);
        }
        Vec u[8];
        for (int g = 0; g < 8; g += 4) {
            for (int i = g; i < g + 2; ++i) {
                u[i] = __builtin_shufflevector(t[i], t[i + 2], 0, 1, 8, 9, 4, 5, 12, 13);
                u[i + 2] = __builtin_shufflevector(t[i], t[i + 2], 2, 3, 10, 11, 6, 7, 14, 15);
            }
        }
        for (int i = 0; i < 4; ++i) {
            rows[i] = __builtin_shufflevector(u[i], u[i + 4], 0, 1, 2, 3, 8, 9, 10, 11);
            rows[i + 4] = __builtin_shufflevector(u[i], u[i + 4], 4, 5, 6, 7, 12, 13, 14, 15);
        }
    }
#endif
}

// Copies the real samples in bit-reversed order into the layout of step 2:
// sample n of sub-block l of super-block g (natural index g V S + l S + n
// after the reversal) goes to dst[g V S + n V + l]. Its source index is
// rev(n) N/S + rev(l) G + rev(g) with G = N / (V S) super-blocks, so V
// neighbouring sources fill one vector: for one super-block (G = 1) the lanes
// come from V neighbours, otherwise V x V tiles across super-blocks are
// transposed.
inline void BitReverseIntoBlocks(const double* src, double* dst, int m, int subBits) noexcept {
    constexpr int laneBits = __builtin_ctz(V);
    const int s = 1 << subBits;
    const int groupBits = m - subBits - laneBits;
    const int groups = 1 << groupBits;
    const int rowStride = 1 << (m - subBits);
    if (groups == 1) {
        for (int n = 0; n < s; ++n)
            Store(dst + n * V, ReverseLaneBits(Load(src + ReverseBits(n, subBits) * rowStride)));
        return;
    }
    if (groups >= V) {
        for (int t = 0; t < groups; t += V) {
            double* outs[V];
            for (int j = 0; j < V; ++j) outs[j] = dst + ReverseBits(t + j, groupBits) * (V * s);
            for (int n = 0; n < s; ++n) {
                const double* row = src + ReverseBits(n, subBits) * rowStride + t;
                Vec rows[V];
                for (int l = 0; l < V; ++l) rows[l] = Load(row + ReverseBits(l, laneBits) * groups);
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
            for (int l = 0; l < V; ++l) out[l] = row[ReverseBits(l, laneBits) * groups];
        }
    }
}

// Stages 1 to 3 on eight real vectors (imaginary parts +0): all four forms
// are fixed ones.
inline void FirstThreeStages(Vec* xr, Vec* xi) noexcept {
    Vec r[8];
    Vec i[8];
    for (int n = 0; n < 8; ++n) {
        r[n] = xr[n];
        i[n] = Vec{};
    }
    const Vec none{};
    for (int j = 0; j < 8; j += 2) Butterfly<Unit>(r[j], i[j], r[j + 1], i[j + 1], none, none);
    for (int j = 0; j < 8; j += 4) {
        Butterfly<Unit>(r[j], i[j], r[j + 2], i[j + 2], none, none);
        Butterfly<Half>(r[j + 1], i[j + 1], r[j + 3], i[j + 3], none, none);
    }
    Butterfly<Unit>(r[0], i[0], r[4], i[4], none, none);
    Butterfly<Quarter>(r[1], i[1], r[5], i[5], none, none);
    Butterfly<Half>(r[2], i[2], r[6], i[6], none, none);
    Butterfly<ThreeQuarter>(r[3], i[3], r[7], i[7], none, none);
    for (int n = 0; n < 8; ++n) {
        xr[n] = r[n];
        xi[n] = i[n];
    }
}

// Stages of half span 8 Span and up on the column of element K of every
// group of 8 in the sub-block buffer (elements K, K + 8, ..., K + 8(C-1)).
// All lanes share one form and one twiddle per butterfly; the forms become
// constants once the loops are unrolled.
template <int C, int Span, int K>
inline void BufferStages(Vec* cr, Vec* ci, const double* twRe, const double* twIm) noexcept {
    if constexpr (Span < C) {
        constexpr int d = 8 * Span;
#pragma GCC unroll 16
        for (int j = 0; j < Span; ++j) {
            const int index = K + 8 * j;
            const Form form = FormOf(index, d);
            const Vec wr = Broadcast(twRe[d + index]);
            const Vec wi = Broadcast(twIm[d + index]);
#pragma GCC unroll 16
            for (int c = j; c < C; c += 2 * Span)
                ButterflyOfForm(form, cr[c], ci[c], cr[c + Span], ci[c + Span], wr, wi);
        }
        BufferStages<C, Span * 2, K>(cr, ci, twRe, twIm);
    }
}

template <int C, int K>
inline void BufferColumn(Vec* xr, Vec* xi, const double* twRe, const double* twIm) noexcept {
    Vec cr[C];
    Vec ci[C];
#pragma GCC unroll 32
    for (int c = 0; c < C; ++c) {
        cr[c] = xr[K + 8 * c];
        ci[c] = xi[K + 8 * c];
    }
    BufferStages<C, 1, K>(cr, ci, twRe, twIm);
#pragma GCC unroll 32
    for (int c = 0; c < C; ++c) {
        xr[K + 8 * c] = cr[c];
        xi[K + 8 * c] = ci[c];
    }
}

// Stages 4..log2(8C) of the sub-block buffer of 8C vectors.
template <int C>
inline void BufferColumns(Vec* xr, Vec* xi, const double* twRe, const double* twIm) noexcept {
    BufferColumn<C, 0>(xr, xi, twRe, twIm);
    BufferColumn<C, 1>(xr, xi, twRe, twIm);
    BufferColumn<C, 2>(xr, xi, twRe, twIm);
    BufferColumn<C, 3>(xr, xi, twRe, twIm);
    BufferColumn<C, 4>(xr, xi, twRe, twIm);
    BufferColumn<C, 5>(xr, xi, twRe, twIm);
    BufferColumn<C, 6>(xr, xi, twRe, twIm);
    BufferColumn<C, 7>(xr, xi, twRe, twIm);
}

// Stages 1..log2(s) of V sub-blocks of s samples at `base`: the real samples
// come from src in the layout of BitReverseIntoBlocks, the results go to re
// and im in natural order.
inline void SubBlocks(const double* src, double* re, double* im, int base, int s, const double* twRe,
                      const double* twIm, Vec* xr, Vec* xi) noexcept {
    for (int n = 0; n < s; ++n) xr[n] = Load(src + base + n * V);
    for (int g = 0; g < s; g += 8) FirstThreeStages(xr + g, xi + g);
    switch (s) {
        case 16:
            BufferColumns<2>(xr, xi, twRe, twIm);
            break;
        case 32:
            BufferColumns<4>(xr, xi, twRe, twIm);
            break;
        case 64:
            BufferColumns<8>(xr, xi, twRe, twIm);
            break;
        case 128:
            BufferColumns<16>(xr, xi, twRe, twIm);
            break;
        case 256:
            BufferColumns<32>(xr, xi, twRe, twIm);
            break;
        default:
            break;
    }
    for (int n0 = 0; n0 < s; n0 += V) {
        Vec rows[V];
        for (int l = 0; l < V; ++l) rows[l] = xr[n0 + l];
        Transpose(rows);
        for (int l = 0; l < V; ++l) Store(re + base + l * s + n0, rows[l]);
        for (int l = 0; l < V; ++l) rows[l] = xi[n0 + l];
        Transpose(rows);
        for (int l = 0; l < V; ++l) Store(im + base + l * s + n0, rows[l]);
    }
}

// ---------------------------------------------------------------- step 3

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

// ---------------------------------------------------------------- driver

inline void RunKernel(const KernelJob& job) noexcept {
    const int m = job.stages;
    const int n = 1 << m;
    double* const re = job.re;
    double* const im = job.im;
    const double* const twRe = job.stageRe;
    const double* const twIm = job.stageIm;

    int subBits = SubBlockBits;
    while ((V << subBits) > n) --subBits;
    const int s = 1 << subBits;
    BitReverseIntoBlocks(re, im, m, subBits);
    alignas(64) Vec xr[1 << SubBlockBits];
    alignas(64) Vec xi[1 << SubBlockBits];

    double f = 1.0 / n;
    if (job.conjugateOutput) f = -f;
    const double magnitude = __builtin_fabs(f);

    // The remaining stages in passes of at most five, the later ones larger.
    // A first pass that is not the last runs right behind the sub-blocks of
    // its block, while they are still in the cache.
    const int superBlock = V * s;
    int remaining = m - subBits;
    int passes = (remaining + MaxColumnBits - 1) / MaxColumnBits;
    int r = s;
    int logC = passes > 0 ? remaining / passes : 0;
    const int block = r << logC;
    if (passes > 1 && block % superBlock == 0) {
        for (int b0 = 0; b0 < n; b0 += block) {
            for (int base = b0; base < b0 + block; base += superBlock)
                SubBlocks(im, re, im, base, s, twRe, twIm, xr, xi);
            ColumnPasses<false>(re, im, b0, b0 + block, r, logC, twRe, twIm, f, magnitude);
        }
        r <<= logC;
        remaining -= logC;
        --passes;
    } else {
        for (int base = 0; base < n; base += superBlock) SubBlocks(im, re, im, base, s, twRe, twIm, xr, xi);
    }
    while (passes > 0) {
        logC = remaining / passes;
        if (passes == 1) {
            ColumnPasses<true>(re, im, 0, n, r, logC, twRe, twIm, f, magnitude);
        } else {
            ColumnPasses<false>(re, im, 0, n, r, logC, twRe, twIm, f, magnitude);
        }
        r <<= logC;
        remaining -= logC;
        --passes;
    }
}

}  // namespace
}  // namespace tavox::detail
