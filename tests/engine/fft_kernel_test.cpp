#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <sstream>
#include <vector>

#include "engine/Parameters.h"
#include "engine/fft/ReferenceKernel.h"

namespace tavox {
namespace {

constexpr long double PiL = 3.141592653589793238462643383279502884L;
constexpr double Eps = 2.220446049250313e-16;

// The working arrays of one exposure with the table of its width.
struct Exposure {
    explicit Exposure(std::int32_t width) : re(width, 0.0), im(width, 0.0) { parameters.SetWidth(width); }

    bool Run(bool conjugateOutput) {
        return FftReference(re, im, parameters.TwiddleRealTable(), parameters.TwiddleImagTable(),
                            parameters.WidthExponent(), conjugateOutput);
    }
    std::size_t N() const { return re.size(); }

    Parameters parameters;
    std::vector<double> re;
    std::vector<double> im;
};

std::vector<double> RandomSamples(std::size_t n, std::uint32_t seed) {
    std::mt19937 generator(seed);
    std::vector<double> samples(n);
    for (double& x : samples) x = static_cast<double>(static_cast<std::int32_t>(generator() % 65536u) - 32768);
    return samples;
}

// Largest distance of a table entry from the exact (cos, -sin) of its angle.
long double TwiddleError(const Parameters& p) {
    const auto real = p.TwiddleRealTable();
    const auto imag = p.TwiddleImagTable();
    long double worst = 0;
    for (std::size_t k = 0; k < real.size(); ++k) {
        const long double angle = 2 * PiL * k / p.Width();
        worst = std::max(worst, std::hypot(real[k] - std::cos(angle), imag[k] + std::sin(angle)));
    }
    return worst;
}

TEST(fft_kernel_test, bit_reverse_permutes_the_real_array) {
    std::vector<double> eight = {0, 1, 2, 3, 4, 5, 6, 7};
    BitReverse(eight);
    EXPECT_EQ(eight, (std::vector<double>{0, 4, 2, 6, 1, 5, 3, 7}));

    std::vector<double> values(1024);
    for (std::size_t n = 0; n < values.size(); ++n) values[n] = static_cast<double>(n);
    BitReverse(values);
    for (std::size_t n = 0; n < values.size(); ++n) {
        std::size_t reversed = 0;
        for (int bit = 0; bit < 10; ++bit) reversed |= ((n >> bit) & 1u) << (9 - bit);
        ASSERT_EQ(values[reversed], static_cast<double>(n)) << n;
    }
}

TEST(fft_kernel_test, impulse_gives_two_over_n) {
    for (std::int32_t width : {128, 4096, 65536}) {
        for (bool conjugate : {false, true}) {
            Exposure e(width);
            e.re[0] = 1;
            ASSERT_TRUE(e.Run(conjugate));
            const double expected = 2.0 / width;
            for (std::size_t k = 0; k < e.N(); ++k) {
                ASSERT_EQ(e.re[k], expected) << width << " bin " << k;
                ASSERT_EQ(e.im[k], 0.0) << width << " bin " << k;
            }
        }
    }
}

TEST(fft_kernel_test, constant_one_gives_two_in_bin_zero) {
    Exposure e(1024);
    std::fill(e.re.begin(), e.re.end(), 1.0);
    ASSERT_TRUE(e.Run(false));
    EXPECT_EQ(e.re[0], 2.0);
    EXPECT_EQ(e.im[0], 0.0);
    for (std::size_t k = 1; k < e.N(); ++k) {
        ASSERT_NEAR(e.re[k], 0.0, 1e-13) << k;
        ASSERT_NEAR(e.im[k], 0.0, 1e-13) << k;
    }
}

TEST(fft_kernel_test, cosine_on_bin_five_reads_one_in_bins_five_and_n_minus_five) {
    Exposure e(128);
    for (std::size_t n = 0; n < e.N(); ++n) e.re[n] = std::cos(2 * std::numbers::pi * 5 * n / 128);
    ASSERT_TRUE(e.Run(false));
    for (std::size_t k = 0; k < e.N(); ++k) {
        const double modulus = std::hypot(e.re[k], e.im[k]);
        ASSERT_NEAR(modulus, (k == 5 || k == 123) ? 1.0 : 0.0, 1e-13) << k;
    }
    EXPECT_NEAR(e.re[5], 1.0, 1e-13);
}

TEST(fft_kernel_test, sine_sign_follows_the_conjugate_flag) {
    for (bool conjugate : {false, true}) {
        Exposure e(256);
        for (std::size_t n = 0; n < e.N(); ++n) e.re[n] = std::sin(2 * std::numbers::pi * 5 * n / 256);
        ASSERT_TRUE(e.Run(conjugate));
        EXPECT_NEAR(e.im[5], conjugate ? 1.0 : -1.0, 1e-13);
        EXPECT_NEAR(e.re[5], 0.0, 1e-13);
        EXPECT_NEAR(e.im[251], conjugate ? -1.0 : 1.0, 1e-13);
    }
}

TEST(fft_kernel_test, conjugate_output_negates_only_the_imaginary_parts) {
    for (std::int32_t width = 128; width <= 65536; width *= 2) {
        Exposure plain(width);
        Exposure conjugated(width);
        plain.re = RandomSamples(plain.N(), 7u + width);
        conjugated.re = plain.re;
        ASSERT_TRUE(plain.Run(false));
        ASSERT_TRUE(conjugated.Run(true));
        for (std::size_t k = 0; k < plain.N(); ++k) {
            ASSERT_EQ(conjugated.re[k], plain.re[k]) << width << " bin " << k;
            ASSERT_EQ(conjugated.im[k], -plain.im[k]) << width << " bin " << k;
        }
    }
}

// Compares with a direct DFT in long double on 16-bit random input. The
// tolerance follows the measured error of the twiddle table (the recurrence
// and the 15-digit pi), m stages of it plus rounding, relative to the rms input.
TEST(fft_kernel_test, matches_a_long_double_dft_at_every_width) {
    for (int m = 7; m <= 16; ++m) {
        const std::int32_t width = 1 << m;
        Exposure e(width);
        const std::vector<double> input = RandomSamples(e.N(), 2024u + m);
        e.re = input;
        ASSERT_TRUE(e.Run(false));

        const long double tableError = TwiddleError(e.parameters);
        EXPECT_LT(tableError, 1e-8L) << width;  // about 3e-9 at the largest width

        long double sumSquares = 0;
        for (double x : input) sumSquares += static_cast<long double>(x) * x;
        const long double rms = std::sqrt(sumSquares / width);
        const long double tolerance = 2 * m * (tableError + 4 * Eps) * rms;

        std::vector<long double> cosine(width);
        std::vector<long double> sine(width);
        for (std::int32_t p = 0; p < width; ++p) {
            cosine[p] = std::cos(2 * PiL * p / width);
            sine[p] = std::sin(2 * PiL * p / width);
        }
        // Every bin up to 4096; a spread of bins above, where a full DFT is too slow.
        const std::int32_t step = width <= 4096 ? 1 : width / 64 + 1;
        long double worst = 0;
        for (std::int32_t k = 0; k < width; k += step) {
            long double sumRe = 0;
            long double sumIm = 0;
            for (std::int32_t n = 0; n < width; ++n) {
                const std::int64_t p = (static_cast<std::int64_t>(k) * n) % width;
                sumRe += input[n] * cosine[p];
                sumIm -= input[n] * sine[p];
            }
            const long double scale = 2.0L / width;
            const long double error = std::hypot(e.re[k] - sumRe * scale, e.im[k] - sumIm * scale);
            worst = std::max(worst, error);
            ASSERT_LE(error, tolerance) << "width " << width << " bin " << k;
        }
        std::ostringstream report;
        report << static_cast<double>(worst) << " of " << static_cast<double>(tolerance);
        RecordProperty("width_" + std::to_string(width), report.str());
    }
}

TEST(fft_kernel_test, mismatched_sizes_leave_the_arrays_untouched) {
    Exposure e(128);
    e.re = RandomSamples(128, 3u);
    const std::vector<double> original = e.re;
    const auto real = e.parameters.TwiddleRealTable();
    const auto imag = e.parameters.TwiddleImagTable();

    EXPECT_FALSE(FftReference(e.re, e.im, real, imag, 8, false));                       // stages too many
    EXPECT_FALSE(FftReference(e.re, std::span(e.im).first(64), real, imag, 7, false));  // short imaginary array
    EXPECT_FALSE(FftReference(e.re, e.im, real.first(63), imag, 7, false));             // short table
    EXPECT_FALSE(FftReference(e.re, e.im, real, imag, 0, false));
    EXPECT_EQ(e.re, original);
    EXPECT_TRUE(std::all_of(e.im.begin(), e.im.end(), [](double x) { return x == 0.0; }));
}

}  // namespace
}  // namespace tavox
