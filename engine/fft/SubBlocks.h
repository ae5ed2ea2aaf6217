#pragma once

// Step 2 of the fast kernel: the first stages of V sub-blocks at once, one
// sub-block per vector lane. Every lane runs the same butterfly with the same
// broadcast twiddle, so each butterfly's form is fixed when the code is built.

#include "engine/fft/BitReversal.h"
#include "engine/fft/Butterfly.h"
#include "engine/fft/Lanes.h"

namespace tavox::detail {
namespace {

// Sub-block length S of step 2 (at most 256): V * S doubles per array fill at most 8 KiB.
constexpr int SubBlockBits = V == 8 ? 7 : 8;

// What the sub-blocks of step 2 share: their size, the stage twiddles and a
// buffer of `size` vectors per array for V sub-blocks side by side. Lane l
// holds sub-block bitreverse(l) of its super-block.
struct SubBlockContext {
    int size;
    // Per-stage twiddles: index k of the stage of half span d at [d + k].
    const double* twRe;
    const double* twIm;
    Vec* bufferRe;
    Vec* bufferIm;
};

// Stages 1 to 3 on eight real vectors (imaginary parts +0): all four forms
// are fixed ones. Bins 0 and 4 of a real 8-point transform are real: their
// imaginary parts are +0 exactly and are stored only with `storeZeros` (the
// passes after this one know them).
inline void FirstThreeStages(const Vec* x, Vec* xr, Vec* xi, bool storeZeros) noexcept {
    Vec r[8];
    Vec i[8];
    for (int n = 0; n < 8; ++n) {
        r[n] = x[n];
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
        if (n % 4 != 0 || storeZeros) xi[n] = i[n];
    }
}

// Butterflies of the buffer stages of half spans D and 2D on the elements
// whose index at the first is k, two stages per load. With `Real` the
// imaginary parts coming in are +0 (bins 0 and 4 of the 8-point stages).
template <int D, Form F1, Form F2, Form F3, bool Real>
inline void BufferFour(const SubBlockContext c, int k) noexcept {
    const Vec w[6] = {Broadcast(c.twRe[D + k]),     Broadcast(c.twIm[D + k]),     Broadcast(c.twRe[2 * D + k]),
                      Broadcast(c.twIm[2 * D + k]), Broadcast(c.twRe[3 * D + k]), Broadcast(c.twIm[3 * D + k])};
    for (int e = k; e < c.size; e += 4 * D) {
        Vec r[4];
        Vec i[4];
        for (int t = 0; t < 4; ++t) {
            r[t] = c.bufferRe[e + t * D];
            i[t] = Real ? Vec{} : c.bufferIm[e + t * D];
        }
        RadixFour<F1, F2, F3>(r, i, w);
        for (int t = 0; t < 4; ++t) {
            c.bufferRe[e + t * D] = r[t];
            c.bufferIm[e + t * D] = i[t];
        }
    }
}

// The buffer stages of half spans D and 2D (D >= 8): the four indices with
// fixed forms, then the others.
template <int D, bool Real>
inline void BufferFourPass(const SubBlockContext c) noexcept {
    BufferFour<D, Unit, Unit, Half, Real>(c, 0);
    BufferFour<D, Quarter, General, General, false>(c, D / 4);
    BufferFour<D, Half, Quarter, ThreeQuarter, Real>(c, D / 2);
    BufferFour<D, ThreeQuarter, General, General, false>(c, 3 * D / 4);
    for (int q = 0; q < D; q += D / 4)
        for (int k = q + 1; k < q + D / 4; ++k) BufferFour<D, General, General, General, false>(c, k);
}

// One buffer stage of half span D on the elements of index k.
template <int D, Form F, bool Real>
inline void BufferTwo(const SubBlockContext c, int k) noexcept {
    const Vec wr = Broadcast(c.twRe[D + k]);
    const Vec wi = Broadcast(c.twIm[D + k]);
    for (int e = k; e < c.size; e += 2 * D) {
        Vec ai = Real ? Vec{} : c.bufferIm[e];
        Vec bi = Real ? Vec{} : c.bufferIm[e + D];
        Butterfly<F>(c.bufferRe[e], ai, c.bufferRe[e + D], bi, wr, wi);
        c.bufferIm[e] = ai;
        c.bufferIm[e + D] = bi;
    }
}

template <int D, bool Real>
inline void BufferTwoPass(const SubBlockContext c) noexcept {
    BufferTwo<D, Unit, Real>(c, 0);
    BufferTwo<D, Quarter, false>(c, D / 4);
    BufferTwo<D, Half, Real>(c, D / 2);
    BufferTwo<D, ThreeQuarter, false>(c, 3 * D / 4);
    for (int q = 0; q < D; q += D / 4)
        for (int k = q + 1; k < q + D / 4; ++k) BufferTwo<D, General, false>(c, k);
}

// The last stage of the sub-blocks (half span D = S/2) on the vectors
// n0..n0+V-1 and n0+D..n0+D+V-1, written out transposed: sub-block order in
// re and im. The butterfly of n0 has form F0 (Mixed: each its own form,
// found at run time), the others the general form.
enum ChunkForms { Mixed = General + 1 };

template <int F0>
[[gnu::always_inline]] inline void LastStageChunks(const SubBlockContext& c, int from, int to, double* re,
                                                   double* im) noexcept {
    const int d = c.size >> 1;
    const Vec* lowRe = c.bufferRe + from;
    const Vec* lowIm = c.bufferIm + from;
    const double* wRe = c.twRe + d + from;
    const double* wIm = c.twIm + d + from;
    double* outRe = re + from;
    double* outIm = im + from;
    for (int n0 = from; n0 < to; n0 += V, lowRe += V, lowIm += V, wRe += V, wIm += V, outRe += V, outIm += V) {
        // The real parts of all V butterflies, then the imaginary parts: fewer
        // vectors live at a time than there are registers.
        auto half = [&]<bool Imag>(double* out) __attribute__((always_inline)) {
            const Vec* const a = Imag ? lowIm : lowRe;
            Vec low[V];
            Vec high[V];
            for (int t = 0; t < V; ++t) {
                const Vec wr = Broadcast(wRe[t]);
                const Vec wi = Broadcast(wIm[t]);
                const Vec br = lowRe[t + d];
                const Vec bi = lowIm[t + d];
                Vec tr;
                Vec ti;
                if constexpr (F0 == Mixed) {
                    ProductOfForm(FormOf(n0 + t, d), wr, wi, br, bi, tr, ti);
                } else if (t == 0) {
                    Product<static_cast<Form>(F0)>(wr, wi, br, bi, tr, ti);
                } else {
                    Product<General>(wr, wi, br, bi, tr, ti);
                }
                const Vec x = Imag ? ti : tr;
                low[t] = a[t] + x;
                high[t] = a[t] - x;
            }
            Transpose(low);
            Transpose(high);
            for (int l = 0; l < V; ++l) {
                Store(out + LaneSubBlock(l) * c.size, low[l]);
                Store(out + LaneSubBlock(l) * c.size + d, high[l]);
            }
        };
        half.template operator()<false>(outRe);
        half.template operator()<true>(outIm);
    }
}

// Stages 4..log2(s) - 1 of the sub-blocks, in the buffer.
inline void MiddleStages(const SubBlockContext& c) noexcept {
    switch (c.size) {
        case 32:
            BufferTwoPass<8, true>(c);
            break;
        case 64:
            BufferFourPass<8, true>(c);
            break;
        case 128:
            BufferFourPass<8, true>(c);
            BufferTwoPass<32, false>(c);
            break;
        case 256:
            // Sub-blocks are at most 2^SubBlockBits long: no code for longer ones.
            if constexpr (SubBlockBits >= 8) {
                BufferFourPass<8, true>(c);
                BufferFourPass<32, false>(c);
            }
            break;
        default:
            break;
    }
}

// The last stage of the sub-blocks, written to re and im in natural order.
inline void LastStage(const SubBlockContext& c, double* re, double* im) noexcept {
    const int d = c.size / 2;
    const int quarter = d / 4;
    if (quarter < V) {
        LastStageChunks<Mixed>(c, 0, d, re, im);
        return;
    }
    // The chunks that start at a fixed-form index, then the runs between them.
    LastStageChunks<Unit>(c, 0, V, re, im);
    LastStageChunks<Quarter>(c, quarter, quarter + V, re, im);
    LastStageChunks<Half>(c, 2 * quarter, 2 * quarter + V, re, im);
    LastStageChunks<ThreeQuarter>(c, 3 * quarter, 3 * quarter + V, re, im);
    for (int q = 0; q < d; q += quarter) LastStageChunks<General>(c, q + V, q + quarter, re, im);
}

// Stages 1..log2(s) of V sub-blocks of s = context.size samples, written to
// re and im in natural order from `base`. With `gather` (one super-block: s V
// samples in all) the real samples are read from src in natural order and
// taken in bit-reversed order here; otherwise src holds them in the layout of
// BitReverseIntoBlocks.
inline void SubBlocks(const SubBlockContext& c, const double* src, bool gather, double* re, double* im,
                      int base) noexcept {
    const int s = c.size;
    const int groupBits = __builtin_ctz(s) - 3;
    const bool storeZeros = s == 16;
    for (int g = 0; g < s; g += 8) {
        Vec x[8];
        if (gather) {
            const double* const from = src + ReverseBits(g >> 3, groupBits) * V;
            for (int t = 0; t < 8; ++t) x[t] = Load(from + ReverseBits(t, 3) * (s / 8) * V);
        } else {
            for (int t = 0; t < 8; ++t) x[t] = Load(src + base + (g + t) * V);
        }
        FirstThreeStages(x, c.bufferRe + g, c.bufferIm + g, storeZeros);
    }
    MiddleStages(c);
    LastStage(c, re + base, im + base);
}

// The lanes of a and b (in that order) at even places, or at odd ones.
template <int Odd>
inline Vec EveryOther(Vec a, Vec b) noexcept {
#if TAVOX_FFT_LANES == 2
    return __builtin_shufflevector(a, b, Odd, 2 + Odd);
#elif TAVOX_FFT_LANES == 4
    return __builtin_shufflevector(a, b, Odd, 2 + Odd, 4 + Odd, 6 + Odd);
#else
    return __builtin_shufflevector(a, b, Odd, 2 + Odd, 4 + Odd, 6 + Odd, 8 + Odd, 10 + Odd, 12 + Odd, 14 + Odd);
#endif
}

// The same for both super-blocks of a transform of 2 V s samples, read from
// src in natural order: the 2V samples of one bit-reversed place lie
// together, those of super-block g at every other place from g. Both go
// through the stack before either is written, so src may be re.
inline void SubBlockPair(const SubBlockContext& first, const SubBlockContext& second, const double* src, double* re,
                         double* im) noexcept {
    const int s = first.size;
    const int groupBits = __builtin_ctz(s) - 3;
    for (int g = 0; g < s; g += 8) {
        Vec x0[8];
        Vec x1[8];
        const double* const from = src + ReverseBits(g >> 3, groupBits) * 2 * V;
        for (int t = 0; t < 8; ++t) {
            const double* const row = from + ReverseBits(t, 3) * (s / 8) * 2 * V;
            const Vec a = Load(row);
            const Vec b = Load(row + V);
            x0[t] = EveryOther<0>(a, b);
            x1[t] = EveryOther<1>(a, b);
        }
        FirstThreeStages(x0, first.bufferRe + g, first.bufferIm + g, false);
        FirstThreeStages(x1, second.bufferRe + g, second.bufferIm + g, false);
    }
    MiddleStages(first);
    MiddleStages(second);
    LastStage(first, re, im);
    LastStage(second, re + V * s, im + V * s);
}

}  // namespace
}  // namespace tavox::detail
