// Prints, for each width 128..65536, the largest error of the exact kernel
// (its own twiddle recurrence, and exact twiddles) and of --fft=fast's
// real-input transform against a transform in long double, for white
// 16-bit noise: max over bins k < N/2 of |c_k - c_ref_k| with c_k = 2 X_k / N,
// in counts and relative to the largest bin. The long-double reference is a
// radix-2 FFT with twiddles from cosl/sinl, checked here against a direct
// DFT in long double up to N = 2048.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>
#include <random>
#include <vector>

#include "engine/TransformTables.h"
#include "engine/fft/RealTransform.h"
#include "engine/fft/ReferenceKernel.h"

namespace {

using Bins = std::vector<std::complex<long double>>;

Bins LongDoubleFft(const std::vector<double>& x) {
    const std::size_t n = x.size();
    Bins a(n);
    for (std::size_t i = 0, j = 0; i < n; ++i) {
        a[j] = x[i];
        for (std::size_t bit = n >> 1; bit > 0; bit >>= 1) {
            j ^= bit;
            if ((j & bit) != 0) break;
        }
    }
    for (std::size_t span = 2; span <= n; span *= 2) {
        for (std::size_t k = 0; k < span / 2; ++k) {
            const long double angle =
                -2 * std::numbers::pi_v<long double> * static_cast<long double>(k) / static_cast<long double>(span);
            const std::complex<long double> w(cosl(angle), sinl(angle));
            for (std::size_t j = k; j < n; j += span) {
                const auto t = w * a[j + span / 2];
                a[j + span / 2] = a[j] - t;
                a[j] = a[j] + t;
            }
        }
    }
    for (auto& v : a) v *= 2.0L / static_cast<long double>(n);
    return a;
}

Bins DirectDft(const std::vector<double>& x) {
    const std::size_t n = x.size();
    Bins a(n / 2);
    for (std::size_t k = 0; k < n / 2; ++k) {
        std::complex<long double> sum = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const long double angle = -2 * std::numbers::pi_v<long double> * static_cast<long double>((k * i) % n) /
                                      static_cast<long double>(n);
            sum += static_cast<long double>(x[i]) * std::complex<long double>(cosl(angle), sinl(angle));
        }
        a[k] = sum * (2.0L / static_cast<long double>(n));
    }
    return a;
}

double LargestError(const std::vector<double>& re, const std::vector<double>& im, const Bins& ref) {
    long double worst = 0;
    for (std::size_t k = 0; k < re.size() / 2; ++k) {
        worst = std::max(worst, std::abs(std::complex<long double>(re[k], im[k]) - ref[k]));
    }
    return static_cast<double>(worst);
}

double Largest(const Bins& ref) {
    long double peak = 0;
    for (std::size_t k = 0; k < ref.size() / 2; ++k) peak = std::max(peak, std::abs(ref[k]));
    return static_cast<double>(peak);
}

}  // namespace

int main() {
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::printf("%6s %14s %14s %14s %12s\n", "N", "recurrent", "exact tw.", "fast", "peak");
    for (int exponent = 7; exponent <= 16; ++exponent) {
        const std::size_t n = std::size_t{1} << exponent;
        const auto recurrent = tavox::TransformTables::Recurrent(exponent);
        const auto exact = tavox::TransformTables::Exact(exponent);
        const auto fast = tavox::RealTransform::For(n);
        double errors[3] = {0, 0, 0};
        double peak = 0;
        for (int signal = 0; signal < 4; ++signal) {
            std::vector<double> x(n);
            for (double& v : x) v = sample(random);
            const Bins ref = LongDoubleFft(x);
            if (n <= 2048 && signal == 0) {
                const Bins direct = DirectDft(x);
                long double gap = 0;
                for (std::size_t k = 0; k < n / 2; ++k) gap = std::max(gap, std::abs(direct[k] - ref[k]));
                if (gap > 1e-12L) std::printf("reference check failed at N = %zu: %Lg\n", n, gap);
            }
            peak = std::max(peak, Largest(ref));
            const tavox::TransformTables* tables[2] = {recurrent.get(), exact.get()};
            for (int t = 0; t < 2; ++t) {
                std::vector<double> re = x;
                std::vector<double> im(n, 0.0);
                tavox::FftReference(re, im, tables[t]->twiddleReal, tables[t]->twiddleImag, exponent, false);
                errors[t] = std::max(errors[t], LargestError(re, im, ref));
            }
            std::vector<double> re = x;
            std::vector<double> im(n, 0.0);
            fast->Transform(re, im, false);
            errors[2] = std::max(errors[2], LargestError(re, im, ref));
        }
        std::printf("%6zu %14.3e %14.3e %14.3e %12.1f\n", n, errors[0], errors[1], errors[2], peak);
    }
    return 0;
}
