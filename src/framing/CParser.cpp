#include "tolvik/framing/CParser.h"

#include <charconv>
#include <string>

namespace tolvik {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

std::wstring_view TrimBlanks(std::wstring_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// The length of the plain decimal number at the start of s: an optional sign, digits with (when
// allowFraction) an optional fraction and exponent. 0 when s does not start with one.
std::size_t NumberLength(std::wstring_view s, bool allowFraction) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) ++i;
    std::size_t digits = 0;
    while (i < s.size() && IsDigit(s[i])) {
        ++i;
        ++digits;
    }
    if (allowFraction) {
        if (i < s.size() && s[i] == L'.') {
            ++i;
            while (i < s.size() && IsDigit(s[i])) {
                ++i;
                ++digits;
            }
        }
        if (digits > 0 && i < s.size() && (s[i] == L'e' || s[i] == L'E')) {
            ++i;
            if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) ++i;
            std::size_t expDigits = 0;
            while (i < s.size() && IsDigit(s[i])) {
                ++i;
                ++expDigits;
            }
            if (expDigits == 0) return 0;
        }
    }
    return digits > 0 ? i : 0;
}

}  // namespace

CParser::CParser(const CString& text, const CString& separators, bool bThrowExceptions)
    : m_text(text), m_separators(separators), m_bThrow(bThrowExceptions) {}

CParser CParser::Borrowing(const CString& text, const CString& separators, bool bThrowExceptions) {
    CParser parser(CString(), separators, bThrowExceptions);
    parser.m_pBorrowed = &text;
    return parser;
}

void CParser::SetString(const CString& text) {
    m_text = text;
    m_pBorrowed = nullptr;
    m_nPos = 0;
}

CString CParser::GetRemainingBuffer() const {
    const std::wstring_view all = Text();
    if (m_nPos >= static_cast<int>(all.size())) return CString();
    return CString(all.substr(static_cast<std::size_t>(m_nPos)));
}

bool CParser::NextField(std::wstring_view& field) {
    const std::wstring_view all = Text();
    const std::size_t len = all.size();
    const auto start = static_cast<std::size_t>(m_nPos);
    if (start > len) return false;
    // A plain loop over the few separators: the general search of a set calls into the
    // library once per character of the text.
    // The handlers split at "," and "*": two separators get a loop of their own.
    const std::wstring_view separators = m_separators.view();
    std::size_t end = start;
    if (separators.size() == 2) {
        const wchar_t a = separators[0];
        const wchar_t b = separators[1];
        while (end < len && all[end] != a && all[end] != b) ++end;
    } else {
        const auto isSeparator = [separators](wchar_t c) {
            for (const wchar_t s : separators) {
                if (c == s) return true;
            }
            return false;
        };
        while (end < len && !isSeparator(all[end])) ++end;
    }
    field = all.substr(start, end - start);
    m_nPos = static_cast<int>(end) + 1;
    return true;
}

bool CParser::Fail() {
    if (m_bThrow) throw CParserException();
    return false;
}

bool CParser::GetNextString(CString& field) {
    std::wstring_view f;
    if (!NextField(f)) return Fail();
    field = CString(f);
    return true;
}

bool CParser::SkipField() {
    std::wstring_view f;
    return NextField(f) || Fail();
}

bool CParser::GetInt(int& value) {
    std::wstring_view f;
    int v = 0;
    if (!NextField(f) || !ParseInt(f, v)) return Fail();
    value = v;
    return true;
}

bool CParser::GetDouble(double& value) {
    std::wstring_view f;
    double v = 0.0;
    if (!NextField(f) || !ParseDouble(f, v)) return Fail();
    value = v;
    return true;
}

bool CParser::ParseInt(std::wstring_view text, int& value) {
    const std::wstring_view s = TrimBlanks(text);
    // An optional sign and digits, accumulated in the same pass, failing as soon as the value
    // leaves the range of int (whose magnitude reaches one further below zero).
    constexpr long long kLimit = 2147483648LL;  // -INT_MIN
    std::size_t i = 0;
    const bool negative = i < s.size() && s[i] == L'-';
    if (i < s.size() && (s[i] == L'-' || s[i] == L'+')) ++i;
    if (i == s.size()) return false;
    long long magnitude = 0;
    for (; i < s.size(); ++i) {
        if (!IsDigit(s[i])) return false;
        magnitude = magnitude * 10 + (s[i] - L'0');
        if (magnitude > kLimit) return false;
    }
    if (!negative && magnitude == kLimit) return false;
    value = static_cast<int>(negative ? -magnitude : magnitude);
    return true;
}

namespace {

// Plain decimals of up to 15 digits without an exponent, as receivers write them: digits and
// power of ten are exact doubles, so one division rounds the exact value once, correctly, and
// the result is the one from_chars gives. Anything else returns false and takes from_chars.
bool ParseShortDecimal(std::wstring_view s, double& value) {
    constexpr std::size_t kMaxDigits = 15;  // below 2^53
    constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    std::size_t i = 0;
    const bool negative = s[0] == L'-';
    if (s[0] == L'-' || s[0] == L'+') ++i;
    long long mantissa = 0;
    std::size_t digits = 0;
    std::size_t decimals = 0;
    bool point = false;
    for (; i < s.size(); ++i) {
        const wchar_t c = s[i];
        if (IsDigit(c)) {
            if (++digits > kMaxDigits) return false;
            mantissa = mantissa * 10 + (c - L'0');
            if (point) ++decimals;
        } else if (c == L'.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    const double magnitude = static_cast<double>(mantissa) / kPowersOfTen[decimals];
    value = negative ? -magnitude : magnitude;
    return true;
}

}  // namespace

bool CParser::ParseDouble(std::wstring_view text, double& value) {
    const std::wstring_view s = TrimBlanks(text);
    if (s.empty() || NumberLength(s, true) != s.size()) return false;
    if (ParseShortDecimal(s, value)) return true;
    // The rest is plain ASCII too: narrowed on the stack (a heap copy only for a field too long
    // for any receiver) and converted by from_chars, which does not depend on the C locale: a
    // host that switched LC_NUMERIC to a decimal comma still reads receiver numbers correctly.
    constexpr std::size_t kInline = 64;
    char inlineText[kInline];
    std::string heapText;
    char* ascii = inlineText;
    if (s.size() > kInline) {
        heapText.resize(s.size());
        ascii = heapText.data();
    }
    for (std::size_t i = 0; i < s.size(); ++i) ascii[i] = static_cast<char>(s[i]);
    const char* const last = ascii + s.size();
    const char* first = ascii + (ascii[0] == '+' ? 1 : 0);
    double v = 0.0;
    const auto [ptr, ec] = std::from_chars(first, last, v);
    if (ec != std::errc() || ptr != last) return false;
    value = v;
    return true;
}

}  // namespace tolvik
