// CParser: splits a text into fields at a set of separator characters.
//
// Every separator ends one field, so two adjacent separators enclose an empty field and the field
// numbers a handler counts stay fixed when fields are empty ("$GPGGA,,," has four fields). Every
// read consumes one field, whether it succeeds or not. A failed read leaves its target unchanged
// and returns false, or throws CParserException in exception mode.
//
// Numbers: an integer is an optional sign and decimal digits; a real number is an optional sign,
// digits with an optional fraction and an optional exponent. Blanks around the number (the line
// end after a last field included) are allowed; an empty field, any other character, or a value
// out of range makes the read fail.
#pragma once

#include <stdexcept>

#include "tolvik/platform/CString.h"

namespace tolvik {

class CParserException : public std::runtime_error {
public:
    CParserException() : std::runtime_error("field could not be read") {}
};

class CParser {
public:
    CParser(const CString& text, const CString& separators, bool bThrowExceptions = false);
    // A parser over a text it does not copy: the text must stay alive and unchanged while the
    // parser reads it. For the message handlers, which parse the message they were handed.
    static CParser Borrowing(const CString& text, const CString& separators, bool bThrowExceptions = false);

    bool GetNextString(CString& field);
    // Consumes one field without reading it (a header, a field nobody uses); fails as
    // GetNextString does, only once no field is left.
    bool SkipField();
    bool GetInt(int& value);
    bool GetDouble(double& value);

    void SetExceptionThrowing(bool bThrow) { m_bThrow = bThrow; }
    bool IsExceptionThrowing() const { return m_bThrow; }
    // Restarts on a new text with the same separators.
    void SetString(const CString& text);
    // The text after the fields read so far (empty once every field has been read).
    CString GetRemainingBuffer() const;

    // Number syntax used by the reads, exposed for the handlers that read numbers out of text.
    static bool ParseInt(std::wstring_view text, int& value);
    static bool ParseDouble(std::wstring_view text, double& value);

private:
    bool NextField(std::wstring_view& field);
    bool Fail();

    std::wstring_view Text() const { return m_pBorrowed ? m_pBorrowed->view() : m_text.view(); }

    CString m_text;
    const CString* m_pBorrowed = nullptr;  // the text read instead of m_text, when borrowing
    CString m_separators;
    int m_nPos = 0;  // start of the next field; past the end once no field is left
    bool m_bThrow;
};

}  // namespace tolvik
