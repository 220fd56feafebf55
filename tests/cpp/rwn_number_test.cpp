// The number grammar of the plain-text network format: which fields are numbers and which
// double each one becomes.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <string_view>

#include "formats/text/number.hpp"

namespace {

using rillway::formats::parse_number;

constexpr double kInf = std::numeric_limits<double>::infinity();

struct Accepted {
    std::string text;
    double value;
};

// Expected values are exact decimal facts about IEEE doubles, not outputs of the parser:
// 2^53 = 9007199254740992, the spacing above it is 2; 4.9406564584124654e-324 is the smallest
// subnormal and 2^-1075 (its half) lies between 2.4703282292062327e-324 and ...328e-324.
TEST(RwnNumber, AcceptedFieldsAndTheirValues) {
    const std::string zeros400(400, '0');
    const Accepted cases[] = {
        {"5", 5.0},
        {"+5", 5.0},
        {"-5", -5.0},
        {"5.", 5.0},
        {".5", 0.5},
        {"-.5", -0.5},
        {"+.5e1", 5.0},
        {"007", 7.0},
        {"0.1", 0.1},
        {"1e-3", 0.001},
        {".001", 0.001},
        {"1E+2", 100.0},
        {"1e-0", 1.0},
        {"2.5e3", 2500.0},
        {"5.e1", 50.0},
        {"98.2", 98.2},
        {"0.013", 0.013},
        {"1.7976931348623157e308", std::numeric_limits<double>::max()},
        {"4.9406564584124654e-324", std::numeric_limits<double>::denorm_min()},
        {"2.2250738585072014e-308", std::numeric_limits<double>::min()},
        // halfway cases round to the even neighbour
        {"9007199254740993", 9007199254740992.0},
        {"9007199254740995", 9007199254740996.0},
        // beyond the range: infinity or zero, never an error
        {"1e309", kInf},
        {"-1e309", -kInf},
        {"1.7976931348623159e308", kInf},
        {"1e99999999999999999999999", kInf},
        {"1e-400", 0.0},
        {"2.4703282292062327e-324", 0.0},
        {"2.4703282292062328e-324", std::numeric_limits<double>::denorm_min()},
        {"0e99999999999999999999999", 0.0},
        // a negative exponent can still overflow and a positive one underflow
        {"1" + zeros400 + "e-50", kInf},
        {"0." + zeros400 + "1e50", 0.0},
        {"1" + zeros400 + "e-300", 1e100},
        {"0." + zeros400 + "1e500", 1e99},
        {"inf", kInf},
        {"INF", kInf},
        {"+Inf", kInf},
        {"-inf", -kInf},
        {"infinity", kInf},
        {"-InFiNiTy", -kInf},
    };
    for (const auto& c : cases) {
        const auto value = parse_number(c.text);
        ASSERT_TRUE(value.has_value()) << c.text;
        EXPECT_EQ(*value, c.value) << c.text;
    }
}

TEST(RwnNumber, SignOfZeroFollowsTheText) {
    for (const std::string text : {"-0", "-0.0", "-1e-400", "-.0e5"}) {
        const auto value = parse_number(text);
        ASSERT_TRUE(value.has_value()) << text;
        EXPECT_EQ(*value, 0.0) << text;
        EXPECT_TRUE(std::signbit(*value)) << text;
    }
    const auto positive = parse_number("1e-400");
    ASSERT_TRUE(positive.has_value());
    EXPECT_FALSE(std::signbit(*positive));
}

TEST(RwnNumber, NanInAnyCase) {
    for (const std::string text : {"nan", "NaN", "NAN", "+nan", "-nAn"}) {
        const auto value = parse_number(text);
        ASSERT_TRUE(value.has_value()) << text;
        EXPECT_TRUE(std::isnan(*value)) << text;
    }
}

TEST(RwnNumber, RejectedFields) {
    const std::string_view rejected[] = {
        "", ".", "+", "-", "+.", "-.", "e5", ".e5", "E1", "1e", "1e+", "1e-", "1.2.3", "1..",
        "..5", "--1", "+-1", "-+1", "++1", "1,5", "1_000", "0x10", "0X1p3", "1p3", "0b1", "1d5",
        "5f", "1e5.0", "1e1e1", "1 ", " 1", "1\t", "in", "infin", "infinit", "infinityy", "inf5",
        "5inf", "nana", "na", "nan(1)", "nan()", "nan(", "-nan(ind)", "1e+-5", "1.5e 3",
        "\xd9\xa1",        // ARABIC-INDIC DIGIT ONE
        "\xef\xbc\x91",    // FULLWIDTH DIGIT ONE
        "1\xc2\xa0",       // trailing no-break space
        "true",
    };
    for (const auto text : rejected) {
        EXPECT_FALSE(parse_number(text).has_value()) << '"' << text << '"';
    }
}

TEST(RwnNumber, LongDigitStringsRoundCorrectly) {
    // 0.1 written with many trailing zeros and 1 followed by 10,000 zeros then scaled back.
    EXPECT_EQ(parse_number("0.1" + std::string(100'000, '0')), 0.1);
    EXPECT_EQ(parse_number("1" + std::string(10'000, '0') + "e-10000"), 1.0);
    // Just above the halfway point between 2^53 and 2^53 + 2: the far digit decides.
    EXPECT_EQ(parse_number("9007199254740993." + std::string(1000, '0') + "1"),
              9007199254740994.0);
}

}  // namespace
