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

    bool GetNextString(CString& field);
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

    CString m_text;
    CString m_separators;
    int m_nPos = 0;  // start of the next field; past the end once no field is left
    bool m_bThrow;
};

}  // namespace tolvik
