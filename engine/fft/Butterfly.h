#pragma once

// The butterfly of the fast kernel in its five forms, for doubles and for
// vectors alike. The four fixed twiddle indices (0, d/4, d/2, 3d/4 at half
// span d) have forms of their own, the same as in the reference kernel, so
// that both round alike. Internal linkage, as for every part of the kernel.

#include "engine/NumericConstants.h"

namespace tavox::detail {
namespace {

enum Form { Unit, Quarter, Half, ThreeQuarter, General };

// The butterfly form of twiddle index k at the stage of half span d.
constexpr Form FormOf(int k, int d) noexcept {
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

// Two stages on the elements e, e + d, e + 2d, e + 3d: (0, 1) and (2, 3)
// with twiddle w1 at half span d, then (0, 2) with w2 and (1, 3) with w3 at
// half span 2d.
template <Form F1, Form F2, Form F3, class T>
inline void RadixFour(T* r, T* i, const T* w) noexcept {
    Butterfly<F1>(r[0], i[0], r[1], i[1], w[0], w[1]);
    Butterfly<F1>(r[2], i[2], r[3], i[3], w[0], w[1]);
    Butterfly<F2>(r[0], i[0], r[2], i[2], w[2], w[3]);
    Butterfly<F3>(r[1], i[1], r[3], i[3], w[4], w[5]);
}

template <class T>
[[gnu::always_inline]] inline void ProductOfForm(Form form, T wr, T wi, T xr, T xi, T& tr, T& ti) noexcept {
    switch (form) {
        case Unit:
            Product<Unit>(wr, wi, xr, xi, tr, ti);
            break;
        case Quarter:
            Product<Quarter>(wr, wi, xr, xi, tr, ti);
            break;
        case Half:
            Product<Half>(wr, wi, xr, xi, tr, ti);
            break;
        case ThreeQuarter:
            Product<ThreeQuarter>(wr, wi, xr, xi, tr, ti);
            break;
        default:
            Product<General>(wr, wi, xr, xi, tr, ti);
            break;
    }
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

}  // namespace
}  // namespace tavox::detail
