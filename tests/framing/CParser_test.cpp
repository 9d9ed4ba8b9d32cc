#include "tolvik/framing/CParser.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace tolvik {
namespace {

TEST(CParser, EverySeparatorEndsAFieldSoFieldNumbersStayFixed) {
    using F = std::vector<std::wstring>;
    const struct {
        const wchar_t *text, *separators;
        F expected;
    } cases[] = {
        {L"$GPGGA,,,", L",", F{L"$GPGGA", L"", L"", L""}},
        {L"$GPGSA,A,,05*3C\r\n", L",*", F{L"$GPGSA", L"A", L"", L"05", L"3C\r\n"}},
        {L"", L",", F{L""}},
        {L"PEM: 10 SAV:Y", L": ", F{L"PEM", L"", L"10", L"SAV", L"Y"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        CParser parser(c.text, c.separators);
        F fields;
        for (CString field; parser.GetNextString(field);) fields.push_back(field.str());
        EXPECT_EQ(fields, c.expected);
    }
}

TEST(CParser, NumberSyntax) {
    constexpr auto no = std::nullopt;
    const struct {
        const wchar_t* field;
        std::optional<int> asInt;
        std::optional<double> asDouble;
    } cases[] = {
        // clang-format off
        {L"12", 12, 12.0},  {L"-3", -3, -3.0},  {L"+4", 4, 4.0},  {L" 7\r\n", 7, 7.0},
        {L"007", 7, 7.0},   {L"2147483647", 2147483647, 2147483647.0},
        {L"-2147483648", -2147483647 - 1, -2147483648.0},  {L"2147483648", no, 2147483648.0},
        {L"1.5", no, 1.5},  {L"-0.25", no, -0.25},  {L"1.5e3", no, 1500.0},  {L"1E-2", no, 0.01},
        {L".5", no, 0.5},   {L"5.", no, 5.0},  {L"", no, no},  {L"  ", no, no},  {L"abc", no, no},
        {L"12x", no, no},   {L"1 2", no, no},  {L"-", no, no}, {L"+-1", no, no}, {L".", no, no},
        {L"1e", no, no},    {L"e5", no, no},   {L"0x1A", no, no},  {L"nan", no, no},
        {L"inf", no, no},   {L"1e999", no, no},  {L"1e-999", no, no},  {L"1,5", no, no},
        {L"\x0661\x0662", no, no},  // digits of another script
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(CString(c.field).ToBytes());
        CParser parser(CString(c.field) + L"|" + c.field + L"|next", L"|");
        int i = -77;  // a failed read leaves its target alone
        EXPECT_EQ(parser.GetInt(i), c.asInt.has_value());
        EXPECT_EQ(i, c.asInt.value_or(-77));
        double d = -77.0;
        EXPECT_EQ(parser.GetDouble(d), c.asDouble.has_value());
        EXPECT_DOUBLE_EQ(d, c.asDouble.value_or(-77.0));
        CString next;  // and uses up its field all the same
        EXPECT_TRUE(parser.GetNextString(next) && next == L"next");
    }
}

// A failed read uses up its field and leaves its target alone, or throws in exception mode.
TEST(CParser, ReadsConsumeFieldsAndFailuresLeaveTheirTargets) {
    CParser parser(L"$PASHR,x,12,,end", L",");
    CString s;
    int n = 5;
    double d = 9.0;
    ASSERT_TRUE(parser.GetNextString(s));
    EXPECT_FALSE(parser.GetInt(n));  // "x"
    EXPECT_EQ(parser.GetRemainingBuffer(), L"12,,end");
    EXPECT_TRUE(parser.GetDouble(d));
    EXPECT_FALSE(parser.GetInt(n));  // the empty field
    EXPECT_TRUE(parser.GetNextString(s));
    EXPECT_FALSE(parser.GetNextString(s) || parser.GetInt(n) || parser.GetDouble(d));  // none left
    EXPECT_EQ(s, L"end");
    EXPECT_EQ(n, 5);
    EXPECT_EQ(d, 12.0);

    parser.SetString(L"1*2,3");  // from the start, and "*" is still no separator
    EXPECT_FALSE(parser.GetInt(n));
    EXPECT_TRUE(parser.GetInt(n));
    EXPECT_EQ(n, 3);

    CParser thrower(L"x,4", L",", true);
    EXPECT_THROW(thrower.GetDouble(d), CParserException);
    EXPECT_TRUE(thrower.GetInt(n));                            // the failed read used up "x"
    EXPECT_THROW(thrower.GetNextString(s), CParserException);  // none left
    thrower.SetExceptionThrowing(false);
    EXPECT_FALSE(thrower.GetDouble(d));
    EXPECT_EQ(n, 4);
    EXPECT_EQ(d, 12.0);
    EXPECT_EQ(s, L"end");
}

}  // namespace
}  // namespace tolvik
