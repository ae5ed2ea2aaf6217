#include "engine/Polar.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <vector>

namespace tavox {
namespace {

TEST(polar_test, to_polar_converts_only_the_lower_half) {
    std::vector<double> re(8);
    std::vector<double> im(8);
    for (int k = 0; k < 8; ++k) {
        re[k] = 3.0 * (k + 1);
        im[k] = -4.0 * (k + 1);
    }
    std::vector<double> keptRe = re;
    std::vector<double> keptIm = im;
    ToPolar(re, im, false);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(re[k], 5.0 * (k + 1));
        EXPECT_EQ(im[k], keptIm[k]);
    }
    for (int k = 4; k < 8; ++k) {
        EXPECT_EQ(re[k], keptRe[k]);
        EXPECT_EQ(im[k], keptIm[k]);
    }

    re = keptRe;
    ToPolar(re, im, true);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(re[k], 5.0 * (k + 1));
        EXPECT_NEAR(im[k], -53.13010235415598, 1e-12);  // the phase of the unchanged pair
    }
    for (int k = 4; k < 8; ++k) EXPECT_EQ(im[k], keptIm[k]);
}

TEST(polar_test, bounded_magnitudes_convert_only_the_lower_half_as_magnitude_does) {
    std::vector<double> re(16);
    std::vector<double> im(16);
    for (int k = 0; k < 16; ++k) {
        re[k] = 0.1 * (k + 1) - 0.7;
        im[k] = -1e-3 * k * k + 3.3;
    }
    const std::vector<double> keptRe = re;
    const std::vector<double> keptIm = im;
    BoundedMagnitudes(re, im);
    for (int k = 0; k < 8; ++k) EXPECT_EQ(re[k], Magnitude(keptRe[k], keptIm[k])) << k;
    for (int k = 8; k < 16; ++k) EXPECT_EQ(re[k], keptRe[k]) << k;
    EXPECT_EQ(im, keptIm);
}

TEST(polar_test, phase_degrees_by_quadrant) {
    const struct {
        double re, im, degrees;
    } cases[] = {{1, 0, 0},
                 {-1, 0, 180},
                 {0, 0, 90},
                 {0, 2, 90},
                 {0, -2, -90},
                 {1, 1, 45},
                 {-1, 1, 135},
                 {-1, -1, -135},
                 {1, -1, -45},
                 {-0.0, 0.0, 90},
                 {2, 1, 26.565051177077986},
                 {-2, -1, -153.43494882292202}};
    for (const auto& c : cases) {
        EXPECT_NEAR(PhaseDegrees(c.re, c.im), c.degrees, 1e-12) << c.re << ", " << c.im;
    }
    EXPECT_EQ(PhaseDegrees(1, 0), 0.0);
    EXPECT_EQ(PhaseDegrees(-5, 0), 180.0);
    EXPECT_EQ(PhaseDegrees(0, -3), -90.0);
}

TEST(polar_test, extreme_quotients_give_a_right_angle_without_a_fault) {
    std::feclearexcept(FE_ALL_EXCEPT);
    EXPECT_NEAR(PhaseDegrees(1e-300, 1e300), 90.0, 1e-12);
    EXPECT_NEAR(PhaseDegrees(-1e-300, 1e300), 90.0, 1e-12);
    EXPECT_NEAR(PhaseDegrees(-1e-300, -1e300), -90.0, 1e-12);
    EXPECT_NEAR(PhaseDegrees(4.9e-324, -1.0), -90.0, 1e-12);
    EXPECT_FALSE(std::fetestexcept(FE_OVERFLOW | FE_DIVBYZERO | FE_INVALID));
}

TEST(polar_test, magnitude_and_its_overflow_substitute) {
    EXPECT_EQ(Magnitude(3, 4), 5.0);
    EXPECT_EQ(Magnitude(-3, -4), 5.0);
    EXPECT_EQ(Magnitude(0, 0), 0.0);
    EXPECT_NEAR(Magnitude(1e152, 1e152), 1.4142135623730951e152, 1e137);

    std::feclearexcept(FE_ALL_EXCEPT);
    EXPECT_EQ(Magnitude(1e200, 1e200), 2147483647.0);
    EXPECT_EQ(Magnitude(-1e155, 0), 2147483647.0);
    EXPECT_EQ(Magnitude(1.2e154, 1.2e154), 2147483647.0);  // only the sum overflows
    EXPECT_FALSE(std::fetestexcept(FE_OVERFLOW));

    std::feraiseexcept(FE_OVERFLOW);  // an earlier fault stays visible
    EXPECT_EQ(Magnitude(1e200, 1), 2147483647.0);
    EXPECT_TRUE(std::fetestexcept(FE_OVERFLOW));
    std::feclearexcept(FE_ALL_EXCEPT);
}

}  // namespace
}  // namespace tavox
