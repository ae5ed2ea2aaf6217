#include "engine/Parameters.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/Decimal.h"
#include "common/Variant.h"
#include "support/TestSupport.h"

namespace tavox {
namespace {

Decimal Dec(const char* text) {
    return *Decimal::Parse(text);
}

TEST(parameters_test, new_object_holds_the_defaults) {
    const Parameters p;
    EXPECT_EQ(p.Method(), fftMethodSimple);
    EXPECT_EQ(p.Window(), fftWindowRectangle);
    EXPECT_EQ(p.Width(), 128);
    EXPECT_EQ(p.WidthExponent(), 7);
    EXPECT_EQ(p.Repeat(), 1);
    EXPECT_EQ(p.Start(), Variant(std::int16_t{0}));
    EXPECT_EQ(p.Finish(), Variant(std::int16_t{0}));
    EXPECT_FALSE(p.Phase());
    EXPECT_FALSE(p.Center());
    EXPECT_EQ(p.TwiddleRealTable().size(), 64u);
    EXPECT_EQ(p.TwiddleImagTable().size(), 64u);
}

TEST(parameters_test, width_rounds_up_to_a_power_of_two_within_limits) {
    const struct {
        std::int32_t given, width, exponent;
    } cases[] = {{1, 128, 7},
                 {0, 128, 7},
                 {127, 128, 7},
                 {128, 128, 7},
                 {100, 128, 7},
                 {129, 256, 8},
                 {1000, 1024, 10},
                 {4096, 4096, 12},
                 {4097, 8192, 13},
                 {65536, 65536, 16},
                 {65537, 65536, 16},
                 {70000, 65536, 16},
                 {1000000, 65536, 16},
                 {-300, 512, 9},
                 {-1, 128, 7},
                 {INT_MAX, 65536, 16},
                 {INT_MIN + 1, 65536, 16}};
    for (const auto& c : cases) {
        Parameters p;
        p.SetWidth(c.given);
        EXPECT_EQ(p.Width(), c.width) << c.given;
        EXPECT_EQ(p.WidthExponent(), c.exponent) << c.given;
        EXPECT_EQ(p.TwiddleRealTable().size(), static_cast<std::size_t>(c.width / 2)) << c.given;
        EXPECT_EQ(p.TwiddleImagTable().size(), static_cast<std::size_t>(c.width / 2)) << c.given;
    }
}

TEST(parameters_test, width_of_most_negative_value_overflows_and_keeps_the_state) {
    Parameters p;
    p.SetWidth(2048);
    EXPECT_AUTOMATION_NUMBER(p.SetWidth(INT_MIN), ErrOverflow);
    EXPECT_EQ(p.Width(), 2048);
    EXPECT_EQ(p.WidthExponent(), 11);
    EXPECT_EQ(p.TwiddleRealTable().size(), 1024u);
}

TEST(parameters_test, table_is_rebuilt_only_when_width_is_set_to_another_value) {
    Parameters p;
    p.SetWidth(1024);
    const double* before = p.TwiddleRealTable().data();
    const std::vector<double> real(p.TwiddleRealTable().begin(), p.TwiddleRealTable().end());
    const std::vector<double> imag(p.TwiddleImagTable().begin(), p.TwiddleImagTable().end());

    p.SetWidth(1024);
    EXPECT_EQ(p.TwiddleRealTable().data(), before);

    p.SetWidth(1000);  // another value that rounds to the same width
    EXPECT_NE(p.TwiddleRealTable().data(), before);
    EXPECT_EQ(std::vector<double>(p.TwiddleRealTable().begin(), p.TwiddleRealTable().end()), real);
    EXPECT_EQ(std::vector<double>(p.TwiddleImagTable().begin(), p.TwiddleImagTable().end()), imag);
}

TEST(parameters_test, twiddle_entries_and_index_errors) {
    for (std::int32_t width = 128; width <= 65536; width *= 2) {
        Parameters p;
        p.SetWidth(width);
        EXPECT_EQ(p.TwiddleReal(0), 1.0);
        EXPECT_EQ(p.TwiddleImag(0), 0.0);
        EXPECT_EQ(p.TwiddleReal(1), std::cos(2 * 3.14159265358979 / width));
        // The sine derived from the cosine loses digits at small angles; the recurrence carries that on.
        EXPECT_NEAR(p.TwiddleReal(width / 4), 0.0, 1e-8) << width;
        EXPECT_NEAR(p.TwiddleImag(width / 4), -1.0, 1e-8) << width;
        EXPECT_EQ(p.TwiddleReal(width / 2 - 1), p.TwiddleRealTable().back());
        EXPECT_AUTOMATION_NUMBER(p.TwiddleReal(width / 2), ErrSubscriptOutOfRange);
        EXPECT_AUTOMATION_NUMBER(p.TwiddleImag(width / 2), ErrSubscriptOutOfRange);
        EXPECT_AUTOMATION_NUMBER(p.TwiddleReal(-1), ErrSubscriptOutOfRange);
        EXPECT_AUTOMATION_NUMBER(p.TwiddleImag(-1), ErrSubscriptOutOfRange);
    }
}

// S1 and S2 of the windows in closed form: the rectangle N and N, Hanning
// (1 - cos x) N and 1.5 N, the flat top (a0 = 1) N and N (1 + sum a_k^2 / 2).
TEST(parameters_test, window_sums_follow_the_window_and_the_width) {
    const double flatTopSquares = 1 + (1.93 * 1.93 + 1.29 * 1.29 + 0.388 * 0.388 + 0.028 * 0.028) / 2;
    const struct {
        fftWindowEnum window;
        double sum, squares;  // per sample
    } cases[] = {{fftWindowRectangle, 1, 1}, {fftWindowHanning, 1, 1.5}, {fftWindowFlatTop, 1, flatTopSquares}};
    Parameters p;
    for (const std::int32_t width : {128, 65536}) {
        for (const auto& c : cases) {
            p.SetWindow(c.window);
            p.SetWidth(width);
            EXPECT_NEAR(p.WindowSum(), c.sum * width, 1e-9 * width) << c.window << " " << width;
            EXPECT_NEAR(p.WindowSquares(), c.squares * width, 1e-9 * width) << c.window << " " << width;
        }
    }
}

TEST(parameters_test, repeat_is_made_positive_and_clamped) {
    const struct {
        std::int32_t given, stored;
    } cases[] = {{0, 1}, {1, 1}, {-5, 5}, {999, 999}, {1000, 999}, {-1000, 999}, {INT_MAX, 999}, {INT_MIN + 1, 999}};
    for (const auto& c : cases) {
        Parameters p;
        p.SetRepeat(c.given);
        EXPECT_EQ(p.Repeat(), c.stored) << c.given;
    }
    Parameters p;
    p.SetRepeat(17);
    EXPECT_AUTOMATION_NUMBER(p.SetRepeat(INT_MIN), ErrOverflow);
    EXPECT_EQ(p.Repeat(), 17);
}

TEST(parameters_test, methods_other_than_simple_need_two_exposures) {
    Parameters p;
    p.SetMethod(fftMethodMulti);
    EXPECT_EQ(p.Repeat(), 2);
    p.SetRepeat(1);
    EXPECT_EQ(p.Repeat(), 2);
    p.SetRepeat(0);
    EXPECT_EQ(p.Repeat(), 2);

    p.SetMethod(fftMethodSimple);  // not lowered again
    EXPECT_EQ(p.Repeat(), 2);
    p.SetRepeat(1);
    EXPECT_EQ(p.Repeat(), 1);
    p.SetMethod(fftMethodAverage);
    EXPECT_EQ(p.Method(), fftMethodAverage);
    EXPECT_EQ(p.Repeat(), 2);

    p.SetRepeat(5);
    p.SetMethod(3);
    EXPECT_EQ(p.Method(), fftMethodSimple);
    EXPECT_EQ(p.Repeat(), 5);
    p.SetMethod(fftMethodMulti);
    p.SetMethod(-1);
    EXPECT_EQ(p.Method(), fftMethodSimple);
    EXPECT_EQ(p.Repeat(), 5);
}

TEST(parameters_test, window_outside_the_enumeration_becomes_rectangle) {
    Parameters p;
    p.SetWindow(fftWindowFlatTop);
    EXPECT_EQ(p.Window(), fftWindowFlatTop);
    p.SetWindow(fftWindowHanning);
    EXPECT_EQ(p.Window(), fftWindowHanning);
    p.SetWindow(5);
    EXPECT_EQ(p.Window(), fftWindowRectangle);
    p.SetWindow(fftWindowHanning);
    p.SetWindow(-1);
    EXPECT_EQ(p.Window(), fftWindowRectangle);
}

TEST(parameters_test, integer_kinds_keep_their_kind_as_absolute_values) {
    EXPECT_EQ(Parameters::NormalizeRangeValue(std::int16_t{-200}), Variant(std::int16_t{200}));
    EXPECT_EQ(Parameters::NormalizeRangeValue(std::int16_t{1}), Variant(std::int16_t{1}));
    EXPECT_EQ(Parameters::NormalizeRangeValue(std::int16_t{32767}), Variant(std::int16_t{32767}));
    EXPECT_EQ(Parameters::NormalizeRangeValue(std::int32_t{-100000}), Variant(std::int32_t{100000}));
    EXPECT_EQ(Parameters::NormalizeRangeValue(std::uint8_t{255}), Variant(std::uint8_t{255}));
    EXPECT_AUTOMATION_NUMBER(Parameters::NormalizeRangeValue(std::int16_t{-32768}), ErrOverflow);
    EXPECT_AUTOMATION_NUMBER(Parameters::NormalizeRangeValue(std::int32_t{INT_MIN}), ErrOverflow);

    Parameters p;
    p.SetStart(std::int16_t{-200});
    EXPECT_EQ(p.Start(), Variant(std::int16_t{200}));
    EXPECT_AUTOMATION_NUMBER(p.SetFinish(std::int16_t{-32768}), ErrOverflow);
    EXPECT_EQ(p.Finish(), Variant(std::int16_t{0}));
}

TEST(parameters_test, fractional_kinds_stay_below_one) {
    EXPECT_EQ(Parameters::NormalizeRangeValue(-0.25), Variant(0.25));
    EXPECT_EQ(Parameters::NormalizeRangeValue(1.0), Variant(0.9999));
    EXPECT_EQ(Parameters::NormalizeRangeValue(-7.5), Variant(0.9999));
    EXPECT_EQ(Parameters::NormalizeRangeValue(HUGE_VAL), Variant(0.9999));
    EXPECT_EQ(Parameters::NormalizeRangeValue(-0.5f), Variant(0.5f));
    EXPECT_EQ(Parameters::NormalizeRangeValue(2.0f), Variant(0.9999));
    EXPECT_EQ(Parameters::NormalizeRangeValue(Dec("-0.125")), Variant(Dec("0.125")));
    EXPECT_EQ(Parameters::NormalizeRangeValue(Dec("0.9999999999999999999999999999")),
              Variant(Dec("0.9999999999999999999999999999")));  // below one although its double is 1
    EXPECT_EQ(Parameters::NormalizeRangeValue(Dec("1.0")), Variant(0.9999));
    EXPECT_EQ(Parameters::NormalizeRangeValue(Dec("-12")), Variant(0.9999));
}

TEST(parameters_test, texts_read_as_percentages_or_positions) {
    EXPECT_EQ(Parameters::NormalizeRangeValue("50%"), Variant(0.5));
    EXPECT_EQ(Parameters::NormalizeRangeValue("25%"), Variant(0.25));
    EXPECT_EQ(Parameters::NormalizeRangeValue("-25 %"), Variant(0.25));
    EXPECT_EQ(Parameters::NormalizeRangeValue("100%"), Variant(0.9999));
    EXPECT_EQ(Parameters::NormalizeRangeValue("150%"), Variant(0.9999));
    EXPECT_EQ(Parameters::NormalizeRangeValue("12%3%"), Variant(0.12));
    EXPECT_EQ(Parameters::NormalizeRangeValue("abc%"), Variant(0.0));
    EXPECT_EQ(Parameters::NormalizeRangeValue("0.5"), Variant(0.5));
    EXPECT_EQ(Parameters::NormalizeRangeValue("2000"), Variant(2000.0));
    EXPECT_EQ(Parameters::NormalizeRangeValue("-2000 samples"), Variant(2000.0));
    EXPECT_EQ(Parameters::NormalizeRangeValue("1e12"), Variant(1e12));  // no upper limit
    EXPECT_EQ(Parameters::NormalizeRangeValue("abc"), Variant(0.0));
    EXPECT_EQ(Parameters::NormalizeRangeValue(""), Variant(0.0));
    EXPECT_AUTOMATION_NUMBER(Parameters::NormalizeRangeValue("1e999"), ErrOverflow);
    EXPECT_AUTOMATION_NUMBER(Parameters::NormalizeRangeValue("1e999%"), ErrOverflow);
}

TEST(parameters_test, non_numeric_kinds_become_integer_zero) {
    const Variant zero(std::int16_t{0});
    const Variant values[] = {Variant(),
                              Variant::Null(),
                              Variant::Missing(),
                              Variant::Nothing(),
                              Variant(std::make_shared<Object>()),
                              Variant(true),
                              Variant(false),
                              Variant(CurrencyValue{5000}),
                              Variant(DateValue{0.5}),
                              Variant(ErrorValue{448}),
                              Variant(Variant::Array{Variant(0.5)})};
    for (const Variant& v : values) {
        EXPECT_EQ(Parameters::NormalizeRangeValue(v), zero) << static_cast<int>(v.Kind());
    }
}

TEST(parameters_test, positions_resolve_against_the_source_length) {
    Parameters p;
    EXPECT_EQ(p.StartPosition(1000), 1);
    EXPECT_EQ(p.FinishPosition(1000), 1000);

    p.SetStart(0.25);
    EXPECT_EQ(p.StartPosition(1000), 250);
    EXPECT_EQ(p.StartPosition(10), 2);  // 2.5 goes to the even neighbour
    p.SetStart(0.375);
    EXPECT_EQ(p.StartPosition(10), 4);  // 3.75
    p.SetStart(0.0001);
    EXPECT_EQ(p.StartPosition(1000), 0);  // a tiny fraction may give 0; nothing clamps it
    p.SetStart("2.5");
    EXPECT_EQ(p.StartPosition(1000), 2);
    p.SetStart("3.5");
    EXPECT_EQ(p.StartPosition(1000), 4);
    p.SetStart("abc");
    EXPECT_EQ(p.StartPosition(1000), 1);
    p.SetStart(std::int32_t{-7});
    EXPECT_EQ(p.StartPosition(3), 7);  // not clamped to the source
    p.SetStart(std::uint8_t{9});
    EXPECT_EQ(p.StartPosition(3), 9);

    p.SetFinish("100%");
    EXPECT_EQ(p.FinishPosition(1000), 1000);  // 999.9
    p.SetFinish(std::int16_t{5000});
    EXPECT_EQ(p.FinishPosition(1000), 5000);
    p.SetFinish(0.5f);
    EXPECT_EQ(p.FinishPosition(1001), 500);  // 500.5
    p.SetFinish(true);
    EXPECT_EQ(p.FinishPosition(1000), 1000);
    p.SetFinish("2147483647");
    EXPECT_EQ(p.FinishPosition(10), 2147483647);
    p.SetFinish("2147483648");
    EXPECT_AUTOMATION_NUMBER(p.FinishPosition(10), ErrOverflow);
}

TEST(parameters_test, decimal_fractions_scale_the_length_exactly) {
    Parameters p;
    p.SetStart(Dec("0.25"));
    EXPECT_EQ(p.StartPosition(10), 2);
    p.SetStart(Dec("0.35"));
    EXPECT_EQ(p.StartPosition(10), 4);  // exactly 3.5
    // 2.50000000000000005: a double product would read 2.5 and round down.
    p.SetStart(Dec("0.50000000000000001"));
    EXPECT_EQ(p.StartPosition(5), 3);
    p.SetFinish(Dec("0.0000"));
    EXPECT_EQ(p.FinishPosition(77), 77);
    p.SetFinish(Dec("0.9999999999999999999999999999"));
    EXPECT_EQ(p.FinishPosition(INT_MAX), INT_MAX);
}

}  // namespace
}  // namespace tavox
