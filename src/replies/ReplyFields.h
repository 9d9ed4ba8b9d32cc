// Small helpers shared by the reply handlers, the receiver core and the models: storing a reply
// text into a fixed 8-bit field of a record, reading and truncating numbers the way the
// receivers' 32-bit C libraries do without undefined behaviour, and the satellite conversions
// that GSV and "$PASHR,SAT" must do identically.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <string>
#include <string_view>

#include "tolvik/platform/CString.h"
#include "tolvik/records/GPSData.h"

namespace tolvik::replies {

// Writes text into a zero-terminated field of N bytes: at most N - 1 characters, each as its
// 8-bit byte (characters above 0xFF become '?'), the rest of the field zero. A receiver may send
// any amount of text; the field never overflows and a longer text is cut.
template <std::size_t N>
void StoreFieldText(const CString& text, char (&field)[N]) {
    static_assert(N > 0);
    const std::string bytes = text.Left(static_cast<int>(N - 1)).ToBytes();
    std::memset(field, 0, N);
    std::memcpy(field, bytes.data(), bytes.size());
}

// Truncates toward zero into nValue. False, nValue unchanged, for NaN and for values whose
// truncation does not fit an int (an elevation mask of 1e300 is garbage, not INT_MAX).
inline bool TruncateToInt(double dValue, int& nValue) {
    if (!(dValue > -2147483649.0 && dValue < 2147483648.0)) return false;
    nValue = static_cast<int>(dValue);
    return true;
}

// A decimal integer at the start of the text, read like wcstol in base 10 on a 32-bit platform:
// the C locale's blanks skipped, a sign allowed, reading stops at the first non-digit. Fails
// without a digit, and on the 32-bit limits, which are also what an out-of-range number clamps
// to: they cannot tell a real value from an overflow. nValue changes only on success.
inline bool ReadInt32(std::wstring_view text, int& nValue) {
    constexpr std::int64_t kMax = 2147483647;
    constexpr std::int64_t kMin = -kMax - 1;
    const auto isBlank = [](wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); };
    const auto isDigit = [](wchar_t c) { return c >= L'0' && c <= L'9'; };
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    bool bNegative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) bNegative = text[i++] == L'-';
    if (i >= text.size() || !isDigit(text[i])) return false;
    std::int64_t nMagnitude = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        nMagnitude = nMagnitude * 10 + (text[i] - L'0');
        if (nMagnitude > -kMin) nMagnitude = -kMin;  // saturated: stays at or beyond either limit
    }
    const std::int64_t nSigned = bNegative ? -nMagnitude : nMagnitude;
    if (nSigned >= kMax || nSigned <= kMin) return false;
    nValue = static_cast<int>(nSigned);
    return true;
}

// Degrees to radians as degrees x pi, then x 1/180: GSV and "$PASHR,SAT" both convert here, so
// a satellite gets the same angles whichever sentence placed it.
inline double DegreesToRadians(int nDegrees) { return nDegrees * std::numbers::pi * 0.005555555555555556; }

// Mean SNR over every slot marked used, refreshed by the last sentence or not; 0 when none is.
inline double MeanUsedSnr(const CGPSData& data) {
    long long nSum = 0;  // SNR fields are arbitrary integers: twelve of them cannot overflow this
    int nUsed = 0;
    for (const CGPSSatelliteData& sat : data.m_Satellites) {
        if (!sat.m_bUsed) continue;
        nSum += sat.m_nSNR;
        ++nUsed;
    }
    return nUsed > 0 ? static_cast<double>(nSum) / nUsed : 0.0;
}

}  // namespace tolvik::replies
