#include "common/Numeric.h"

#include <gtest/gtest.h>

#include <cmath>
#include <locale>

#include "support/TestSupport.h"

namespace tavox {
namespace {

TEST(round_half_even_test, halves_go_to_the_even_neighbour) {
    EXPECT_EQ(RoundHalfEven(2.5), 2.0);
    EXPECT_EQ(RoundHalfEven(3.5), 4.0);
    EXPECT_EQ(RoundHalfEven(-2.5), -2.0);
    EXPECT_EQ(RoundHalfEven(0.5), 0.0);
    EXPECT_EQ(RoundHalfEven(2.5000001), 3.0);
    EXPECT_EQ(ToInt32HalfEven(999.9), 1000);
    EXPECT_EQ(ToInt16HalfEven(-32768.4), -32768);
}

TEST(round_half_even_test, out_of_range_raises_overflow) {
    EXPECT_AUTOMATION_NUMBER(ToInt32HalfEven(2147483647.5), ErrOverflow);  // rounds to 2^31
    EXPECT_EQ(ToInt32HalfEven(2147483647.4), 2147483647);
    EXPECT_EQ(ToInt32HalfEven(-2147483648.5), -2147483648);  // even neighbour stays in range
    EXPECT_AUTOMATION_NUMBER(ToInt32HalfEven(NAN), ErrOverflow);
    EXPECT_AUTOMATION_NUMBER(ToInt16HalfEven(32767.5), ErrOverflow);
}

TEST(leading_number_test, reads_the_longest_leading_number) {
    EXPECT_EQ(LeadingNumber("12.5 mV"), 12.5);
    EXPECT_EQ(LeadingNumber("  -3.25e2x"), -325.0);
    EXPECT_EQ(LeadingNumber("1 2 3"), 123.0);  // blanks are skipped everywhere
    EXPECT_EQ(LeadingNumber("1.2.3"), 1.2);
    EXPECT_EQ(LeadingNumber(".5"), 0.5);
    EXPECT_EQ(LeadingNumber("100 extra"), 100.0);  // "e" without digits is no exponent
    EXPECT_EQ(LeadingNumber("2d3"), 2000.0);
    EXPECT_EQ(LeadingNumber("0,5"), 0.0);
    EXPECT_EQ(LeadingNumber("25%"), 25.0);
}

TEST(leading_number_test, texts_without_a_number_read_zero) {
    EXPECT_EQ(LeadingNumber(""), 0.0);
    EXPECT_EQ(LeadingNumber("abc"), 0.0);
    EXPECT_EQ(LeadingNumber("-"), 0.0);
    EXPECT_EQ(LeadingNumber("."), 0.0);
    EXPECT_EQ(LeadingNumber("e5"), 0.0);
}

TEST(leading_number_test, reading_is_correctly_rounded_and_bounded) {
    EXPECT_EQ(LeadingNumber("0.1"), 0.1);
    EXPECT_EQ(LeadingNumber("1.7976931348623157e308"), 1.7976931348623157e308);
    EXPECT_AUTOMATION_NUMBER(LeadingNumber("1e309"), ErrOverflow);
    EXPECT_AUTOMATION_NUMBER(LeadingNumber("123456789e99999999999999999999"), ErrOverflow);
    EXPECT_EQ(LeadingNumber("1e-400"), 0.0);
    EXPECT_EQ(LeadingNumber("0.000001e-99999999999"), 0.0);
}

struct CommaPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return ' '; }
    std::string do_grouping() const override { return "\3"; }
};

TEST(locale_number_test, uses_the_global_locale_decimal_point) {
    EXPECT_EQ(LocaleTextToDouble(" 2.5 "), 2.5);
    EXPECT_EQ(LocaleTextToInt32("2.5"), 2);
    EXPECT_EQ(LocaleTextToInt32("-1024"), -1024);
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
    EXPECT_EQ(LocaleTextToDouble("1,5"), 1.5);
    EXPECT_EQ(LocaleTextToInt32("3,5"), 4);
    EXPECT_AUTOMATION_NUMBER(LocaleTextToDouble("1.5"), ErrTypeMismatch);
    std::locale::global(previous);
}

TEST(locale_number_test, non_numbers_and_out_of_range) {
    EXPECT_AUTOMATION_NUMBER(LocaleTextToInt32(""), ErrTypeMismatch);
    EXPECT_AUTOMATION_NUMBER(LocaleTextToInt32("   "), ErrTypeMismatch);
    EXPECT_AUTOMATION_NUMBER(LocaleTextToInt32("abc"), ErrTypeMismatch);
    EXPECT_AUTOMATION_NUMBER(LocaleTextToInt32("12abc"), ErrTypeMismatch);
    EXPECT_AUTOMATION_NUMBER(LocaleTextToInt32("1e"), ErrTypeMismatch);
    EXPECT_EQ(LocaleTextToInt32("1e3"), 1000);
    EXPECT_AUTOMATION_NUMBER(LocaleTextToInt32("1e10"), ErrOverflow);
    EXPECT_AUTOMATION_NUMBER(LocaleTextToInt32("-2147483649"), ErrOverflow);
    EXPECT_EQ(LocaleTextToInt32("-2147483648"), -2147483648);
    EXPECT_AUTOMATION_NUMBER(LocaleTextToDouble("1e999"), ErrOverflow);
}

TEST(count_occurrences_test, counts_overlapping_exact_matches) {
    EXPECT_EQ(CountOccurrences("***", "**"), 2);
    EXPECT_EQ(CountOccurrences("*out.*", "*"), 2);
    EXPECT_EQ(CountOccurrences("aAa", "a"), 2);
    EXPECT_EQ(CountOccurrences("abc", ""), 0);
    EXPECT_EQ(CountOccurrences("", "*"), 0);
}

}  // namespace
}  // namespace tavox
