#include "common/Variant.h"

#include <gtest/gtest.h>

namespace tavox {
namespace {

TEST(variant_test, every_kind_reports_itself) {
    EXPECT_EQ(Variant().Kind(), VariantKind::Empty);
    EXPECT_EQ(Variant::Null().Kind(), VariantKind::Null);
    EXPECT_EQ(Variant::Missing().Kind(), VariantKind::Missing);
    EXPECT_EQ(Variant(std::int16_t{1}).Kind(), VariantKind::Integer);
    EXPECT_EQ(Variant(std::int32_t{1}).Kind(), VariantKind::Long);
    EXPECT_EQ(Variant(std::uint8_t{1}).Kind(), VariantKind::Byte);
    EXPECT_EQ(Variant(1.0f).Kind(), VariantKind::Single);
    EXPECT_EQ(Variant(1.0).Kind(), VariantKind::Double);
    EXPECT_EQ(Variant(*Decimal::Parse("1.5")).Kind(), VariantKind::Decimal);
    EXPECT_EQ(Variant("x").Kind(), VariantKind::String);
    EXPECT_EQ(Variant::Nothing().Kind(), VariantKind::Object);
    EXPECT_EQ(Variant(Variant::Array{}).Kind(), VariantKind::Array);
    EXPECT_EQ(Variant(true).Kind(), VariantKind::Boolean);
    EXPECT_EQ(Variant(CurrencyValue{15000}).Kind(), VariantKind::Currency);
    EXPECT_EQ(Variant(DateValue{1.0}).Kind(), VariantKind::Date);
    EXPECT_EQ(Variant(ErrorValue{5}).Kind(), VariantKind::Error);
}

TEST(variant_test, numbers_and_equality) {
    EXPECT_TRUE(Variant(std::uint8_t{3}).IsNumber());
    EXPECT_TRUE(Variant(*Decimal::Parse("3")).IsNumber());
    EXPECT_FALSE(Variant(true).IsNumber());
    EXPECT_FALSE(Variant(CurrencyValue{1}).IsNumber());
    EXPECT_EQ(Variant(true).ToDouble(), -1.0);
    EXPECT_EQ(Variant(CurrencyValue{15000}).ToDouble(), 1.5);
    EXPECT_EQ(Variant("12").ToDouble(), 0.0);
    EXPECT_EQ(Variant(std::int16_t{1}), Variant(std::int16_t{1}));
    EXPECT_FALSE(Variant(std::int16_t{1}) == Variant(std::int32_t{1}));  // kinds differ
}

TEST(decimal_test, parses_prints_and_converts) {
    const auto d = Decimal::Parse("-12.50");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->ToString(), "-12.50");
    EXPECT_EQ(d->ToDouble(), -12.5);
    EXPECT_EQ(d->Abs().ToString(), "12.50");
    EXPECT_EQ(Decimal::Parse("0.1")->ToDouble(), 0.1);
    EXPECT_EQ(Decimal::Parse(".05")->ToString(), "0.05");
    EXPECT_EQ(Decimal::Parse("79228162514264337593543950335")->ToString(), "79228162514264337593543950335");
    EXPECT_FALSE(Decimal::Parse("79228162514264337593543950336"));  // 2^96
    EXPECT_FALSE(Decimal::Parse("1e5"));
    EXPECT_FALSE(Decimal::Parse(""));
    EXPECT_FALSE(Decimal::Parse("-"));
    EXPECT_FALSE(Decimal::Parse("-0")->Negative());
}

}  // namespace
}  // namespace tavox
