#include "tolvik/framing/CParser.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace tolvik {
namespace {

// How fields are split, skipped, borrowed and read past their end (or thrown at) is what every
// handler relies on: the receiver and reply tests and the goldens fail at once when it breaks.
// Here the number syntax the fields allow, and the exact decimals.
TEST(CParser, NumberSyntax) {
    constexpr auto no = std::nullopt;
    const struct {
        const wchar_t* field;
        std::optional<int> asInt;
        std::optional<double> asDouble;
    } cases[] = {
        // clang-format off
        // Plain numbers and their limits are compared with from_chars below; here what fields add.
        {L"12", 12, 12.0},  {L"+4", 4, 4.0},  {L" 7\r\n", 7, 7.0},  {L"2147483648", no, 2147483648.0},
        {L"1.5", no, 1.5},  {L"", no, no},  {L"  ", no, no},  {L"abc", no, no},  {L"12x", no, no},
        {L"1 2", no, no},   {L"-", no, no}, {L"+-1", no, no}, {L".", no, no}, {L"1e", no, no},
        {L"e5", no, no},    {L"0x1A", no, no},  {L"nan", no, no},  {L"inf", no, no},  {L"1e999", no, no},
        {L"1e-999", no, no},  {L"1,5", no, no},
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

// Numbers are read without the C library's wide conversions: each must come out bit for bit as
// from_chars reads the same text in ASCII (the sign of a zero included), whichever way the
// parser takes to it.
TEST(CParser, NumbersReadAsFromCharsReadsTheirText) {
    // Signs, zeros, the sample's fields, the limits of double and int, exponents, leading zeros.
    std::vector<std::string> texts;
    std::istringstream list(
        "0 -0 +0 -0.0 0.000 +1.5 -1.5 4807.038 01131.000 545.4 0.1 0.3 123519.00 999999999999999 "
        "9999999999999999 0.000000000000001 1234567.89012345 00000000000000000000000001.5 "
        "1.7976931348623157e308 2.2250738585072014e-308 4.9e-324 1e22 1e23 12E+2 -7e-3 9007199254740993 "
        "2147483647 -2147483648 2147483648 -2147483649 99999999999 5. .5");
    for (std::string text; list >> text;) texts.push_back(text);
    texts.insert(texts.end(), {std::string(80, '1'), "0." + std::string(70, '0') + "1"});
    std::mt19937 random(13);  // decimals as receivers write them: up to 17 digits, a point anywhere
    for (int n = 0; n < 5000; ++n) {
        const auto digits = std::uniform_int_distribution<int>(1, 17)(random);
        std::string text = random() % 4 == 0 ? "-" : "";
        const auto point = std::uniform_int_distribution<int>(0, digits)(random);
        for (int d = 0; d < digits; ++d) {
            if (d == point && d > 0) text += '.';
            text += static_cast<char>('0' + random() % 10);
        }
        texts.push_back(text);
    }
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        const CString wide = CString::FromBytes(text);
        const char* first = text.data() + (text[0] == '+' ? 1 : 0);
        const char* last = text.data() + text.size();

        double expected = 0.0;
        const auto d = std::from_chars(first, last, expected);
        const bool readable = d.ec == std::errc() && d.ptr == last;
        double actual = -77.0;
        EXPECT_EQ(CParser::ParseDouble(wide.view(), actual), readable);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(actual), std::bit_cast<std::uint64_t>(readable ? expected : -77.0));

        int expectedInt = 0;
        const auto i = std::from_chars(first, last, expectedInt);
        const bool readableInt = i.ec == std::errc() && i.ptr == last;
        int actualInt = -77;
        EXPECT_EQ(CParser::ParseInt(wide.view(), actualInt), readableInt);
        EXPECT_EQ(actualInt, readableInt ? expectedInt : -77);
    }
}

}  // namespace
}  // namespace tolvik
