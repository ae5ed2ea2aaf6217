#pragma once

// Step 2 of the fast kernel: the first stages of V sub-blocks at once, one
// sub-block per vector lane.

#include "engine/fft/Butterfly.h"
#include "engine/fft/Lanes.h"

namespace tavox::detail {
namespace {

// Sub-block length S of step 2 (at most 256): V * S doubles per array fill at most 8 KiB.
constexpr int SubBlockBits = V == 8 ? 7 : 8;

// Stages 1 to 3 on eight real vectors (imaginary parts +0): all four forms
// are fixed ones. Bins 0 and 4 of a real 8-point transform are real: their
// imaginary parts are +0 exactly and are not stored (BufferColumn knows them).
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
        if (n % 4 != 0) xi[n] = i[n];
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

// The columns K = 0 and 4 start from the real bins 0 and 4 of 8-point
// transforms: their imaginary parts are the constant +0, so the compiler drops
// the additions of zeros that leave the result unchanged, and only those.
template <int C, int K>
inline void BufferColumn(Vec* xr, Vec* xi, const double* twRe, const double* twIm) noexcept {
    Vec cr[C];
    Vec ci[C];
#pragma GCC unroll 32
    for (int c = 0; c < C; ++c) {
        cr[c] = xr[K + 8 * c];
        ci[c] = K % 4 == 0 ? Vec{} : xi[K + 8 * c];
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

// What the sub-blocks of step 2 share: their size, the stage twiddles and a
// buffer of `size` vectors per array for V sub-blocks side by side.
struct SubBlockContext {
    int size;
    // Per-stage twiddles: index k of the stage of half span d at [d + k].
    const double* twRe;
    const double* twIm;
    Vec* bufferRe;
    Vec* bufferIm;
};

// Stages 1..log2(s) of V sub-blocks of s = context.size samples at `base`:
// the real samples come from src in the layout of BitReverseIntoBlocks, the
// results go to re and im in natural order.
inline void SubBlocks(SubBlockContext context, const double* src, double* re, double* im, int base) noexcept {
    const int s = context.size;
    const double* const twRe = context.twRe;
    const double* const twIm = context.twIm;
    Vec* const xr = context.bufferRe;
    Vec* const xi = context.bufferIm;
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
            // Sub-blocks are at most 2^SubBlockBits long: no code for longer ones.
            if constexpr (SubBlockBits >= 8) BufferColumns<32>(xr, xi, twRe, twIm);
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

}  // namespace
}  // namespace tavox::detail
