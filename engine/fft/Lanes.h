#pragma once

// Vectors of TAVOX_FFT_LANES doubles for the fast kernel, and what it does
// with their lanes. The including translation unit defines TAVOX_FFT_LANES
// (2, 4 or 8) and is built for the matching instruction set; everything here
// has internal linkage so that code built for one instruction set never
// replaces another's.

#if !defined(TAVOX_FFT_LANES)
#error "define TAVOX_FFT_LANES before including engine/fft/Lanes.h"
#endif

namespace tavox::detail {
namespace {

constexpr int V = TAVOX_FFT_LANES;
typedef double Vec __attribute__((vector_size(V * sizeof(double))));

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

}  // namespace
}  // namespace tavox::detail
