// CString: the wide-character string used for every message, command and name.
//
// Characters are wchar_t. Receivers speak 8-bit text; the conversion between bytes and characters
// maps each byte 0x00-0xFF to the character of the same value and back (Latin-1), so any byte,
// 0xAA of a binary sync included, survives a round trip. Characters above 0xFF have no byte of
// their own and become '?' when text is written out as bytes.
#pragma once

#include <compare>
#include <cstdarg>
#include <string>
#include <string_view>
#include <type_traits>

namespace tolvik {

class CString {
public:
    CString() = default;
    CString(const wchar_t* psz);  // NOLINT(google-explicit-constructor): literals convert freely
    CString(const wchar_t* pch, int nLength);
    CString(wchar_t ch, int nRepeat = 1);
    CString(std::wstring_view sv) : m_str(sv) {}      // NOLINT(google-explicit-constructor)
    CString(std::wstring s) : m_str(std::move(s)) {}  // NOLINT(google-explicit-constructor)

    // 8-bit text: each byte becomes the character of the same value. A null pointer gives "".
    static CString FromBytes(const char* pData, int nCount);
    static CString FromBytes(std::string_view bytes) { return FromBytes(bytes.data(), static_cast<int>(bytes.size())); }
    // FromBytes into this string, reusing its storage: no allocation once it has held as long a
    // text before.
    void AssignBytes(const char* pData, int nCount);
    // 8-bit text of this string: characters up to 0xFF as their byte, others as '?'.
    std::string ToBytes() const;

    int GetLength() const { return static_cast<int>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    const wchar_t* GetString() const { return m_str.c_str(); }
    const std::wstring& str() const { return m_str; }
    std::wstring_view view() const { return m_str; }

    // Character access; an index outside the string reads as 0 and is ignored when writing.
    wchar_t GetAt(int nIndex) const;
    wchar_t operator[](int nIndex) const { return GetAt(nIndex); }
    void SetAt(int nIndex, wchar_t ch);

    // Searches return the zero-based index of the first match at or after nStart, or -1.
    int Find(wchar_t ch, int nStart = 0) const;
    int Find(const wchar_t* pszSub, int nStart = 0) const;
    int Find(const CString& sub, int nStart = 0) const { return Find(sub.GetString(), nStart); }
    int FindOneOf(const wchar_t* pszCharSet) const;
    int ReverseFind(wchar_t ch) const;
    // True when the string begins with the whole of prefix.
    bool StartsWith(std::wstring_view prefix) const { return view().starts_with(prefix); }

    // Substrings. Arguments are clamped to the string, so out-of-range requests give shorter
    // (possibly empty) results rather than errors.
    CString Mid(int nFirst) const;
    CString Mid(int nFirst, int nCount) const;
    CString Left(int nCount) const;
    CString Right(int nCount) const;

    // Edits return the number of replacements/removals, or the new length for Insert/Delete.
    int Replace(wchar_t chOld, wchar_t chNew);
    int Replace(const wchar_t* pszOld, const wchar_t* pszNew);  // left to right, no rescan
    int Remove(wchar_t ch);
    int Insert(int nIndex, wchar_t ch);
    int Insert(int nIndex, const wchar_t* psz);
    int Delete(int nIndex, int nCount = 1);

    CString& MakeUpper();  // ASCII letters only: receiver texts are ASCII
    CString& MakeLower();
    CString& Trim();
    CString& TrimLeft();
    CString& TrimRight();

    int Compare(const wchar_t* psz) const;
    int CompareNoCase(const wchar_t* psz) const;  // ASCII case folding
    int Compare(const CString& s) const { return Compare(s.GetString()); }
    int CompareNoCase(const CString& s) const { return CompareNoCase(s.GetString()); }

    // printf-style formatting with wide conversions: "%s" takes a wide string (a CString may be
    // passed directly), "%c" a wide character; the other conversions follow C printf.
    template <typename... Args>
    void Format(const wchar_t* pszFormat, const Args&... args) {
        FormatV(pszFormat, FormatArg(args)...);
    }
    template <typename... Args>
    static CString Formatted(const wchar_t* pszFormat, const Args&... args) {
        CString s;
        s.Format(pszFormat, args...);
        return s;
    }

    CString& operator+=(const CString& s) {
        m_str += s.m_str;
        return *this;
    }
    CString& operator+=(const wchar_t* psz);
    CString& operator+=(wchar_t ch) {
        m_str += ch;
        return *this;
    }
    friend CString operator+(CString a, const CString& b) { return a += b; }
    friend CString operator+(CString a, const wchar_t* b) { return a += b; }
    friend CString operator+(const wchar_t* a, const CString& b) { return CString(a) += b; }
    friend CString operator+(CString a, wchar_t ch) { return a += ch; }

    friend bool operator==(const CString& a, const CString& b) { return a.m_str == b.m_str; }
    friend bool operator==(const CString& a, const wchar_t* b) { return a.Compare(b) == 0; }
    friend std::strong_ordering operator<=>(const CString& a, const CString& b) { return a.m_str <=> b.m_str; }

private:
    void FormatV(const wchar_t* pszFormat, ...);
    static const wchar_t* FormatArg(const CString& s) { return s.GetString(); }
    // A literal L"..." arrives as a const array and is passed on as const wchar_t*.
    template <typename T>
    static std::decay_t<const T> FormatArg(const T& v) {
        using D = std::decay_t<const T>;
        static_assert(!std::is_same_v<D, const char*> && !std::is_same_v<D, char*>,
                      "CString::Format takes wide strings: pass a CString or L\"...\"");
        static_assert(std::is_arithmetic_v<D> || std::is_pointer_v<D> || std::is_enum_v<D>,
                      "CString::Format takes numbers, pointers, enums and strings");
        return v;
    }

    std::wstring m_str;
};

}  // namespace tolvik

template <>
struct std::hash<tolvik::CString> {
    std::size_t operator()(const tolvik::CString& s) const noexcept { return std::hash<std::wstring>{}(s.str()); }
};
