// The fast kernel, written once for a vector of TAVOX_FFT_LANES doubles.
// Included by one translation unit per instruction set, which defines
// TAVOX_FFT_LANES and its own entry point. Everything here has internal
// linkage so that code built for one instruction set never replaces another's.
//
// Layout of the work:
//  1. The real samples are copied into `im` in bit-reversed order (`im` is
//     known to be zero and serves as scratch), in 8x8 tiles of cache lines.
//  2. Sub-blocks of S samples run stages 1..log2(S) on a stack buffer that
//     holds V sub-blocks side by side, one per vector lane, so that every lane
//     runs the same butterfly form with a broadcast twiddle.
//  3. The remaining stages but the last run in place in radix-4 passes
//     (radix-2 where the count is odd), vectorised across twiddle indices;
//     the lanes of the four fixed indices are redone with their own forms.
//     Stages up to BlockBits stay within blocks that fit the cache.
//  4. The last stage writes only the lower half, scaled.

#include "engine/FftFastJob.h"
#include "engine/Shaping.h"

namespace tavox::detail {
namespace {

constexpr int V = TAVOX_FFT_LANES;
typedef double Vec __attribute__((vector_size(V * sizeof(double))));
typedef long long Lanes __attribute__((vector_size(V * sizeof(double))));

// Sub-block length of step 2: V * S doubles per array fill 8 KiB.
constexpr int SubBlockBits = V == 2 ? 9 : (V == 4 ? 8 : 7);
// Stages of step 3 that run block by block (2^BlockBits samples).
constexpr int BlockBits = 11;

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
    Vec v;
    for (int l = 0; l < V; ++l) v[l] = x;
    return v;
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

inline void ScalarButterfly(Form form, double& ar, double& ai, double& br, double& bi, double wr, double wi) noexcept {
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

// dst[n] = src[bitreverse(n)] for N = 2^m, m >= 6: the top and bottom three
// bits of n swap places reversed, so each 8x8 tile reads 8 whole cache lines
// and writes 8 whole lines.
inline void BitReverseInto(const double* src, double* dst, int m) noexcept {
    const int high = m - 3;
    const unsigned middles = 1u << (m - 6);
    for (unsigned b = 0; b < middles; ++b) {
        const unsigned rb = ReverseBits(b, m - 6) << 3;
        const unsigned wb = b << 3;
        for (unsigned a = 0; a < 8; ++a) {
            const unsigned ra = Reversal.table[a] >> 5;
            double* out = dst + ((a << high) | wb);
            for (unsigned c = 0; c < 8; ++c) {
                const unsigned rc = Reversal.table[c] >> 5;
                out[c] = src[(rc << high) | rb | ra];
            }
        }
    }
}

// ---------------------------------------------------------------- step 2

// rows[l] becomes the vector of lane l of the V input rows (a V x V transpose).
inline void Transpose(Vec* rows) noexcept {
#if TAVOX_FFT_LANES == 2
    {
        const Vec a = rows[0];
        const Vec b = rows[1];
        rows[0] = __builtin_shuffle(a, b, Lanes{0, 2});
        rows[1] = __builtin_shuffle(a, b, Lanes{1, 3});
    }
#elif TAVOX_FFT_LANES == 4
    {
        const Vec t0 = __builtin_shuffle(rows[0], rows[1], Lanes{0, 4, 2, 6});
        const Vec t1 = __builtin_shuffle(rows[0], rows[1], Lanes{1, 5, 3, 7});
        const Vec t2 = __builtin_shuffle(rows[2], rows[3], Lanes{0, 4, 2, 6});
        const Vec t3 = __builtin_shuffle(rows[2], rows[3], Lanes{1, 5, 3, 7});
        rows[0] = __builtin_shuffle(t0, t2, Lanes{0, 1, 4, 5});
        rows[1] = __builtin_shuffle(t1, t3, Lanes{0, 1, 4, 5});
        rows[2] = __builtin_shuffle(t0, t2, Lanes{2, 3, 6, 7});
        rows[3] = __builtin_shuffle(t1, t3, Lanes{2, 3, 6, 7});
    }
#else
    {
        Vec t[8];
        for (int i = 0; i < 8; i += 2) {
            t[i] = __builtin_shuffle(rows[i], rows[i + 1], Lanes{0, 8, 2, 10, 4, 12, 6, 14});
            t[i + 1] = __builtin_shuffle(rows[i], rows[i + 1], Lanes{1, 9, 3, 11, 5, 13, 7, 15});
        }
        Vec u[8];
        for (int g = 0; g < 8; g += 4) {
            for (int i = g; i < g + 2; ++i) {
                u[i] = __builtin_shuffle(t[i], t[i + 2], Lanes{0, 1, 8, 9, 4, 5, 12, 13});
                u[i + 2] = __builtin_shuffle(t[i], t[i + 2], Lanes{2, 3, 10, 11, 6, 7, 14, 15});
            }
        }
        for (int i = 0; i < 4; ++i) {
            rows[i] = __builtin_shuffle(u[i], u[i + 4], Lanes{0, 1, 2, 3, 8, 9, 10, 11});
            rows[i + 4] = __builtin_shuffle(u[i], u[i + 4], Lanes{4, 5, 6, 7, 12, 13, 14, 15});
        }
    }
#endif
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

template <Form F>
inline void LaneButterflies(Vec* xr, Vec* xi, int s, int k, int d, double wr, double wi) noexcept {
    const Vec vr = Broadcast(wr);
    const Vec vi = Broadcast(wi);
    for (int j = k; j < s; j += 2 * d) Butterfly<F>(xr[j], xi[j], xr[j + d], xi[j + d], vr, vi);
}

// Stages 1..log2(s) of V sub-blocks of s samples at `base`: the real samples
// come from src (bit-reversed order), the results go to re and im.
inline void SubBlocks(const double* src, double* re, double* im, int base, int s, const double* twRe,
                      const double* twIm, Vec* xr, Vec* xi) noexcept {
    for (int n0 = 0; n0 < s; n0 += V) {
        Vec rows[V];
        for (int l = 0; l < V; ++l) rows[l] = Load(src + base + l * s + n0);
        Transpose(rows);
        for (int l = 0; l < V; ++l) xr[n0 + l] = rows[l];
    }
    for (int g = 0; g < s; g += 8) FirstThreeStages(xr + g, xi + g);
    for (int d = 8; d < s; d *= 2) {
        for (int k = 0; k < d; ++k) {
            const double wr = twRe[d + k];
            const double wi = twIm[d + k];
            switch (FormOf(k, d)) {
                case Unit:
                    LaneButterflies<Unit>(xr, xi, s, k, d, wr, wi);
                    break;
                case Quarter:
                    LaneButterflies<Quarter>(xr, xi, s, k, d, wr, wi);
                    break;
                case Half:
                    LaneButterflies<Half>(xr, xi, s, k, d, wr, wi);
                    break;
                case ThreeQuarter:
                    LaneButterflies<ThreeQuarter>(xr, xi, s, k, d, wr, wi);
                    break;
                default:
                    LaneButterflies<General>(xr, xi, s, k, d, wr, wi);
                    break;
            }
        }
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

// Whether the chunk of V indices from k0 holds one of the fixed indices
// (multiples of q = d/4).
inline bool HasFixedIndex(int k0, int q) noexcept {
    return q < V || (k0 & (q - 1)) == 0;
}

// Stage of half span d over [base, base + length).
inline void Radix2Pass(double* re, double* im, int base, int length, int d, const double* twRe,
                       const double* twIm) noexcept {
    const int q = d / 4;
    const double* wRe = twRe + d;
    const double* wIm = twIm + d;
    for (int j0 = base; j0 < base + length; j0 += 2 * d) {
        for (int k0 = 0; k0 < d; k0 += V) {
            double* const ar = re + j0 + k0;
            double* const ai = im + j0 + k0;
            double* const br = ar + d;
            double* const bi = ai + d;
            Vec xar = Load(ar), xai = Load(ai), xbr = Load(br), xbi = Load(bi);
            const bool fixed = HasFixedIndex(k0, q);
            double sar[V], sai[V], sbr[V], sbi[V];
            if (fixed) {
                Store(sar, xar), Store(sai, xai), Store(sbr, xbr), Store(sbi, xbi);
            }
            Butterfly<General>(xar, xai, xbr, xbi, Load(wRe + k0), Load(wIm + k0));
            Store(ar, xar), Store(ai, xai), Store(br, xbr), Store(bi, xbi);
            if (fixed) {
                for (int l = 0; l < V; ++l) {
                    const int k = k0 + l;
                    if ((k & (q - 1)) != 0) continue;
                    ScalarButterfly(FormOf(k, d), sar[l], sai[l], sbr[l], sbi[l], wRe[k], wIm[k]);
                    ar[l] = sar[l], ai[l] = sai[l], br[l] = sbr[l], bi[l] = sbi[l];
                }
            }
        }
    }
}

// Stages of half span d and 2d over [base, base + length): elements k, k+d,
// k+2d, k+3d of each group of 4d.
inline void Radix4Pass(double* re, double* im, int base, int length, int d, const double* twRe,
                       const double* twIm) noexcept {
    const int q = d / 4;
    const double* w1Re = twRe + d;
    const double* w1Im = twIm + d;
    const double* w2Re = twRe + 2 * d;
    const double* w2Im = twIm + 2 * d;
    const double* w3Re = w2Re + d;
    const double* w3Im = w2Im + d;
    for (int j0 = base; j0 < base + length; j0 += 4 * d) {
        for (int k0 = 0; k0 < d; k0 += V) {
            double* const pr = re + j0 + k0;
            double* const pi = im + j0 + k0;
            Vec ar = Load(pr), ai = Load(pi);
            Vec br = Load(pr + d), bi = Load(pi + d);
            Vec cr = Load(pr + 2 * d), ci = Load(pi + 2 * d);
            Vec er = Load(pr + 3 * d), ei = Load(pi + 3 * d);
            const bool fixed = HasFixedIndex(k0, q);
            double s[8][V];
            if (fixed) {
                Store(s[0], ar), Store(s[1], ai), Store(s[2], br), Store(s[3], bi);
                Store(s[4], cr), Store(s[5], ci), Store(s[6], er), Store(s[7], ei);
            }
            const Vec v1r = Load(w1Re + k0), v1i = Load(w1Im + k0);
            Butterfly<General>(ar, ai, br, bi, v1r, v1i);
            Butterfly<General>(cr, ci, er, ei, v1r, v1i);
            Butterfly<General>(ar, ai, cr, ci, Load(w2Re + k0), Load(w2Im + k0));
            Butterfly<General>(br, bi, er, ei, Load(w3Re + k0), Load(w3Im + k0));
            Store(pr, ar), Store(pi, ai);
            Store(pr + d, br), Store(pi + d, bi);
            Store(pr + 2 * d, cr), Store(pi + 2 * d, ci);
            Store(pr + 3 * d, er), Store(pi + 3 * d, ei);
            if (fixed) {
                for (int l = 0; l < V; ++l) {
                    const int k = k0 + l;
                    if ((k & (q - 1)) != 0) continue;
                    double xar = s[0][l], xai = s[1][l], xbr = s[2][l], xbi = s[3][l];
                    double xcr = s[4][l], xci = s[5][l], xer = s[6][l], xei = s[7][l];
                    const Form f1 = FormOf(k, d);
                    ScalarButterfly(f1, xar, xai, xbr, xbi, w1Re[k], w1Im[k]);
                    ScalarButterfly(f1, xcr, xci, xer, xei, w1Re[k], w1Im[k]);
                    ScalarButterfly(FormOf(k, 2 * d), xar, xai, xcr, xci, w2Re[k], w2Im[k]);
                    ScalarButterfly(FormOf(k + d, 2 * d), xbr, xbi, xer, xei, w3Re[k], w3Im[k]);
                    pr[l] = xar, pi[l] = xai, pr[l + d] = xbr, pi[l + d] = xbi;
                    pr[l + 2 * d] = xcr, pi[l + 2 * d] = xci, pr[l + 3 * d] = xer, pi[l + 3 * d] = xei;
                }
            }
        }
    }
}

// Stages from half span `first` up to, not including, `last` over
// [base, base + length), two at a time and the odd one alone at the end.
inline void Passes(double* re, double* im, int base, int length, int first, int last, const double* twRe,
                   const double* twIm) noexcept {
    int d = first;
    for (; 4 * d <= last; d *= 4) Radix4Pass(re, im, base, length, d, twRe, twIm);
    if (d < last) Radix2Pass(re, im, base, length, d, twRe, twIm);
}

// ---------------------------------------------------------------- step 4

// The last stage (half span d = N/2) for the lower half, with the scaling.
inline void LastStage(double* re, double* im, int d, const double* twRe, const double* twIm, double f,
                      double magnitude) noexcept {
    const int q = d / 4;
    const double* wRe = twRe + d;
    const double* wIm = twIm + d;
    for (int k0 = 0; k0 < d; k0 += V) {
        const Vec xar = Load(re + k0), xai = Load(im + k0);
        Vec br = Load(re + d + k0), bi = Load(im + d + k0);
        Vec tr;
        Vec ti;
        Product<General>(Load(wRe + k0), Load(wIm + k0), br, bi, tr, ti);
        const Vec ur = xar + tr;
        const Vec ui = xai + ti;
        Store(re + k0, (ur + ur) * magnitude);
        Store(im + k0, (ui + ui) * f);
        if (HasFixedIndex(k0, q)) {
            for (int l = 0; l < V; ++l) {
                const int k = k0 + l;
                if ((k & (q - 1)) != 0) continue;
                double ar = xar[l], ai = xai[l], xbr = re[d + k], xbi = im[d + k];
                ScalarButterfly(FormOf(k, d), ar, ai, xbr, xbi, wRe[k], wIm[k]);
                re[k] = (ar + ar) * magnitude;
                im[k] = (ai + ai) * f;
            }
        }
    }
}

// ---------------------------------------------------------------- driver

inline void RunKernel(const FftFastJob& job) noexcept {
    const int m = job.stages;
    const int n = 1 << m;
    double* const re = job.re;
    double* const im = job.im;
    const double* const twRe = job.stageRe;
    const double* const twIm = job.stageIm;

    BitReverseInto(re, im, m);

    int subBits = SubBlockBits;
    while ((V << subBits) > n) --subBits;
    const int s = 1 << subBits;
    const int superBlock = V * s;
    const int top = n / 2;
    int span = 1 << (m - 1 < BlockBits ? m - 1 : BlockBits);
    if (span < superBlock) span = superBlock;
    const int inBlock = span < top ? span : top;

    alignas(64) Vec xr[1 << SubBlockBits];
    alignas(64) Vec xi[1 << SubBlockBits];
    for (int b0 = 0; b0 < n; b0 += span) {
        for (int base = b0; base < b0 + span; base += superBlock) SubBlocks(im, re, im, base, s, twRe, twIm, xr, xi);
        Passes(re, im, b0, span, s, inBlock, twRe, twIm);
    }
    Passes(re, im, 0, n, s > inBlock ? s : inBlock, top, twRe, twIm);

    double f = 1.0 / n;
    if (job.conjugateOutput) f = -f;
    LastStage(re, im, n / 2, twRe, twIm, f, __builtin_fabs(f));
}

}  // namespace
}  // namespace tavox::detail
