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

// Checks the plain decimal syntax and copies it into an ASCII buffer for the C conversions.
bool ToAsciiNumber(std::wstring_view s, bool allowFraction, std::string& out) {
    std::size_t i = 0;
    out.clear();
    if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) out += static_cast<char>(s[i++]);
    std::size_t digits = 0;
    while (i < s.size() && IsDigit(s[i])) {
        out += static_cast<char>(s[i++]);
        ++digits;
    }
    if (allowFraction) {
        if (i < s.size() && s[i] == L'.') {
            out += '.';
            ++i;
            while (i < s.size() && IsDigit(s[i])) {
                out += static_cast<char>(s[i++]);
                ++digits;
            }
        }
        if (digits > 0 && i < s.size() && (s[i] == L'e' || s[i] == L'E')) {
            out += 'e';
            ++i;
            if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) out += static_cast<char>(s[i++]);
            std::size_t expDigits = 0;
            while (i < s.size() && IsDigit(s[i])) {
                out += static_cast<char>(s[i++]);
                ++expDigits;
            }
            if (expDigits == 0) return false;
        }
    }
    return digits > 0 && i == s.size();
}

}  // namespace

CParser::CParser(const CString& text, const CString& separators, bool bThrowExceptions)
    : m_text(text), m_separators(separators), m_bThrow(bThrowExceptions) {}

void CParser::SetString(const CString& text) {
    m_text = text;
    m_nPos = 0;
}

CString CParser::GetRemainingBuffer() const { return m_text.Mid(m_nPos); }

bool CParser::NextField(std::wstring_view& field) {
    const int len = m_text.GetLength();
    if (m_nPos > len) return false;
    const std::wstring_view all = m_text.view();
    std::size_t end = all.find_first_of(m_separators.view(), static_cast<std::size_t>(m_nPos));
    if (end == std::wstring_view::npos) end = static_cast<std::size_t>(len);
    field = all.substr(static_cast<std::size_t>(m_nPos), end - static_cast<std::size_t>(m_nPos));
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
    std::string ascii;
    if (!ToAsciiNumber(TrimBlanks(text), false, ascii)) return false;
    const char* first = ascii.c_str() + (ascii[0] == '+' ? 1 : 0);
    int v = 0;
    const auto [ptr, ec] = std::from_chars(first, ascii.c_str() + ascii.size(), v);
    if (ec != std::errc() || ptr != ascii.c_str() + ascii.size()) return false;
    value = v;
    return true;
}

bool CParser::ParseDouble(std::wstring_view text, double& value) {
    std::string ascii;
    if (!ToAsciiNumber(TrimBlanks(text), true, ascii)) return false;
    // from_chars does not depend on the C locale: a host that switched LC_NUMERIC to a decimal
    // comma still reads receiver numbers correctly.
    const char* first = ascii.c_str() + (ascii[0] == '+' ? 1 : 0);
    double v = 0.0;
    const auto [ptr, ec] = std::from_chars(first, ascii.c_str() + ascii.size(), v);
    if (ec != std::errc() || ptr != ascii.c_str() + ascii.size()) return false;
    value = v;
    return true;
}

}  // namespace tolvik
