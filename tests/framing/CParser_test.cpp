#include "tolvik/framing/CParser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>

namespace tolvik {
namespace {

std::vector<std::wstring> AllFields(const wchar_t* text, const wchar_t* separators) {
    CParser parser(text, separators);
    std::vector<std::wstring> fields;
    CString field;
    while (parser.GetNextString(field))
        fields.push_back(field.str());
    return fields;
}

TEST(CParser, EverySeparatorEndsAFieldSoFieldNumbersStayFixed) {
    using F = std::vector<std::wstring>;
    struct {
        const wchar_t* text;
        const wchar_t* separators;
        F expected;
    } cases[] = {
        {L"$GPGGA,,,", L",", F{L"$GPGGA", L"", L"", L""}},
        {L"$GPGSA,A,3,,05*3C\r\n", L",*", F{L"$GPGSA", L"A", L"3", L"", L"05", L"3C\r\n"}},
        {L"a", L",", F{L"a"}},
        {L"", L",", F{L""}},
        {L",", L",", F{L"", L""}},
        {L"PEM: 10 SAV:Y", L": ", F{L"PEM", L"", L"10", L"SAV", L"Y"}},
        {L"no separators here", L"", F{L"no separators here"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(AllFields(c.text, c.separators), c.expected);
    }
}

TEST(CParser, NumberSyntax) {
    struct {
        const wchar_t* field;
        std::optional<int> asInt;
        std::optional<double> asDouble;
    } cases[] = {
        {L"12", 12, 12.0},
        {L"-3", -3, -3.0},
        {L"+4", 4, 4.0},
        {L" 7\r\n", 7, 7.0},
        {L"007", 7, 7.0},
        {L"2147483647", 2147483647, 2147483647.0},
        {L"-2147483648", -2147483647 - 1, -2147483648.0},
        {L"1.5", std::nullopt, 1.5},
        {L"-0.25", std::nullopt, -0.25},
        {L"1.5e3", std::nullopt, 1500.0},
        {L"1E-2", std::nullopt, 0.01},
        {L".5", std::nullopt, 0.5},
        {L"5.", std::nullopt, 5.0},
        {L"99999999999", std::nullopt, 99999999999.0},
        {L"2147483648", std::nullopt, 2147483648.0},
        {L"", std::nullopt, std::nullopt},
        {L"  ", std::nullopt, std::nullopt},
        {L"abc", std::nullopt, std::nullopt},
        {L"12x", std::nullopt, std::nullopt},
        {L"1 2", std::nullopt, std::nullopt},
        {L"-", std::nullopt, std::nullopt},
        {L"+-1", std::nullopt, std::nullopt},
        {L".", std::nullopt, std::nullopt},
        {L"1e", std::nullopt, std::nullopt},
        {L"e5", std::nullopt, std::nullopt},
        {L"0x1A", std::nullopt, std::nullopt},
        {L"nan", std::nullopt, std::nullopt},
        {L"inf", std::nullopt, std::nullopt},
        {L"1e999", std::nullopt, std::nullopt},
        {L"1e-999", std::nullopt, std::nullopt},
        {L"\x0661\x0662", std::nullopt, std::nullopt},  // digits of another script
        {L"1,5", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(CString(c.field).ToBytes());
        int i = -77;
        EXPECT_EQ(CParser::ParseInt(c.field, i), c.asInt.has_value());
        EXPECT_EQ(i, c.asInt.value_or(-77));  // a failed read leaves the target alone
        double d = -77.0;
        EXPECT_EQ(CParser::ParseDouble(c.field, d), c.asDouble.has_value());
        EXPECT_DOUBLE_EQ(d, c.asDouble.value_or(-77.0));

        // Through the tokenizer: the same answers, and the field is used up either way.
        CParser parser(CString(c.field) + L"|next", L"|");
        int fromParser = -77;
        EXPECT_EQ(parser.GetInt(fromParser), c.asInt.has_value());
        EXPECT_EQ(fromParser, c.asInt.value_or(-77));
        CString next;
        ASSERT_TRUE(parser.GetNextString(next));
        EXPECT_EQ(next, L"next");
        parser.SetString(CString(c.field));
        double dFromParser = -77.0;
        EXPECT_EQ(parser.GetDouble(dFromParser), c.asDouble.has_value());
        EXPECT_DOUBLE_EQ(dFromParser, c.asDouble.value_or(-77.0));
    }
}

TEST(CParser, EveryReadConsumesAFieldEvenWhenItFails) {
    CParser parser(L"$PASHR,x,12,,3.5,end", L",");
    CString s;
    int n = 5;
    double d = 9.0;
    ASSERT_TRUE(parser.GetNextString(s));
    EXPECT_FALSE(parser.GetInt(n));  // "x"
    EXPECT_EQ(n, 5);
    EXPECT_EQ(parser.GetRemainingBuffer(), L"12,,3.5,end");
    EXPECT_TRUE(parser.GetDouble(d));  // "12"
    EXPECT_DOUBLE_EQ(d, 12.0);
    EXPECT_FALSE(parser.GetInt(n));  // ""
    EXPECT_EQ(n, 5);
    EXPECT_FALSE(parser.GetInt(n));  // "3.5" is no integer
    EXPECT_TRUE(parser.GetNextString(s));
    EXPECT_EQ(s, L"end");
    EXPECT_EQ(parser.GetRemainingBuffer(), L"");
    EXPECT_FALSE(parser.GetNextString(s));  // no field left
    EXPECT_EQ(s, L"end");
    EXPECT_FALSE(parser.GetInt(n));
    EXPECT_FALSE(parser.GetDouble(d));
    EXPECT_EQ(n, 5);
    EXPECT_DOUBLE_EQ(d, 12.0);
}

TEST(CParser, ExceptionModeThrowsInsteadOfReturningFalse) {
    CParser parser(L"1,x,2", L",", true);
    EXPECT_TRUE(parser.IsExceptionThrowing());
    int n = 0;
    EXPECT_TRUE(parser.GetInt(n));
    EXPECT_EQ(n, 1);
    EXPECT_THROW(parser.GetInt(n), CParserException);
    EXPECT_EQ(n, 1);
    EXPECT_TRUE(parser.GetInt(n));  // the failed read used up "x"
    EXPECT_EQ(n, 2);
    CString s;
    EXPECT_THROW(parser.GetNextString(s), CParserException);
    double d = 0.0;
    EXPECT_THROW(parser.GetDouble(d), CParserException);

    parser.SetExceptionThrowing(false);
    parser.SetString(L"y");
    EXPECT_FALSE(parser.GetInt(n));
    EXPECT_FALSE(parser.GetInt(n));
    parser.SetExceptionThrowing(true);
    parser.SetString(L"4*5");  // same separators as before: "*" is not one of them
    EXPECT_THROW(parser.GetInt(n), CParserException);
}

TEST(CParser, SetStringRestartsWithTheSameSeparators) {
    CParser parser(L"a*b", L"*");
    CString s;
    ASSERT_TRUE(parser.GetNextString(s));
    EXPECT_EQ(parser.GetRemainingBuffer(), L"b");
    parser.SetString(L"c*d*e");
    EXPECT_EQ(parser.GetRemainingBuffer(), L"c*d*e");
    ASSERT_TRUE(parser.GetNextString(s));
    EXPECT_EQ(s, L"c");
    ASSERT_TRUE(parser.GetNextString(s));
    EXPECT_EQ(s, L"d");
    EXPECT_EQ(parser.GetRemainingBuffer(), L"e");
}

}  // namespace
}  // namespace tolvik
