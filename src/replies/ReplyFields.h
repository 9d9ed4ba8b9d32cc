// Small helpers shared by the reply handlers: storing a reply text into a fixed 8-bit field of a
// record, and turning a reported real value into a whole number without undefined behaviour.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

#include "tolvik/platform/CString.h"

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

}  // namespace tolvik::replies
