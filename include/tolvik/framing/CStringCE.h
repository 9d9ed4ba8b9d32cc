// CStringCE: a string with in-place insert and replace, read back as a CString.
#pragma once

#include "tolvik/platform/CString.h"

namespace tolvik {

class CStringCE {
public:
    CStringCE() = default;

    int Insert(int nIndex, const CString& text) { return m_str.Insert(nIndex, text.GetString()); }
    // Replaces every occurrence, scanning left to right without rescanning replaced text.
    int Replace(const CString& oldText, const CString& newText) {
        return m_str.Replace(oldText.GetString(), newText.GetString());
    }
    int GetLength() const { return m_str.GetLength(); }
    const CString& GetString() const { return m_str; }
    operator CString() const { return m_str; }  // NOLINT(google-explicit-constructor)

private:
    CString m_str;
};

}  // namespace tolvik
