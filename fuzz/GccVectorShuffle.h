#pragma once

// Clang lacks GCC's __builtin_shuffle for vector types; the fuzz build, which
// clang compiles, forces this portable stand-in into the fast FFT kernel.
#if defined(__clang__)
template <class V, class M>
inline V __builtin_shuffle(V a, V b, M mask) {
    constexpr int n = sizeof(V) / sizeof(a[0]);
    V r = a;
    for (int i = 0; i < n; ++i) {
        const long long k = mask[i] & (2 * n - 1);
        r[i] = k < n ? a[k] : b[k - n];
    }
    return r;
}

template <class V, class M>
inline V __builtin_shuffle(V a, M mask) {
    constexpr int n = sizeof(V) / sizeof(a[0]);
    V r = a;
    for (int i = 0; i < n; ++i) r[i] = a[mask[i] & (n - 1)];
    return r;
}
#endif
