// Ashtech-style replies: the "$PASHR" satellite reply and the routing of its raw binary records,
// the lines of the parameter reply to "$PASHQ,PAR" ("PMD:", "PER:", "PEM:", "PRTA:"), and the
// small readers (on/off words, numbers at the start of a text) that the other reply handlers
// share.
//
// Every handler reads under one exception guard: a field that is missing or not a number ends it
// with false, and whatever it stored before stays.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <system_error>

#include "replies/ReplyFields.h"
#include "tolvik/framing/CParser.h"
#include "tolvik/framing/CStringCE.h"
#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

namespace {

constexpr int kRawHeadBytes = pashr::kHeadBytes;

constexpr int kSlots = CGPSData::kMaxSatellites;

const wchar_t* const kPashrSeparators = L",*";

// ---- Number readers: what the C library's wcstol / wcstod make of the start of a text ----

// The blanks wcstol and wcstod skip in the C locale.
bool IsCBlank(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }
bool IsDecimalDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

bool MayBelongToNumber(wchar_t c) {
    return IsDecimalDigit(c) || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || c == L'.' || c == L'+' ||
           c == L'-' || c == L'(' || c == L')' || c == L'_';
}

std::size_t SkipBlanks(std::wstring_view s) {
    std::size_t i = 0;
    while (i < s.size() && IsCBlank(s[i])) ++i;
    return i;
}

struct Conversion {
    double dValue = 0.0;
    bool bConsumed = false;  // some character belonged to the number
};

// Decides whether a number that the conversion found out of range is too large (overflow) or
// too small (underflow to zero), from the position of its first significant digit relative to
// the point plus its exponent. Out of range happens only hundreds of decades away from 1, so the
// sign of that position settles it.
bool IsTooLarge(std::string_view span, bool bHex) {
    const long long weight = bHex ? 4 : 1;  // binary digits per mantissa digit
    const char exponentMark = bHex ? 'p' : 'e';
    long long position = 0;
    bool found = false;
    bool afterPoint = false;
    std::size_t i = 0;
    for (; i < span.size(); ++i) {
        const char c = span[i];
        if (c == '.') {
            afterPoint = true;
        } else if ((c | 0x20) == exponentMark) {
            break;
        } else if (afterPoint) {
            if (found) continue;
            if (c != '0')
                found = true;
            else
                position -= weight;
        } else if (found || c != '0') {
            found = true;
            position += weight;
        }
    }
    if (!found) return false;
    long long exponent = 0;
    bool negative = false;
    if (++i < span.size() && (span[i] == '+' || span[i] == '-')) negative = span[i++] == '-';
    for (; i < span.size(); ++i) {
        if (exponent < 1'000'000'000) exponent = exponent * 10 + (span[i] - '0');
    }
    return position + (negative ? -exponent : exponent) > 0;
}

// wcstod without the C locale: the decimal point is always '.', whatever LC_NUMERIC a host
// chose. Consumption follows wcstod: blanks, a sign, then a decimal or "0x" hexadecimal number,
// "inf", "infinity" or "nan"; overflow gives +-HUGE_VAL, underflow gives 0.
Conversion ConvertLikeWcstod(std::wstring_view text) {
    std::size_t i = SkipBlanks(text);
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    // An ASCII copy of the characters that may belong to a number ("nan(...)" included); the
    // first other character ends any number, so the copy stops there.
    std::string rest;
    for (std::size_t k = i; k < text.size() && MayBelongToNumber(text[k]); ++k) {
        rest += static_cast<char>(text[k]);
    }
    const auto startsWithSign = [](std::string_view s) { return !s.empty() && (s[0] == '+' || s[0] == '-'); };
    // from_chars takes a '-' of its own, which wcstod would not after a sign or after "0x".
    if (startsWithSign(rest)) return {};
    const char* first = rest.data();
    const char* last = first + rest.size();
    const bool hex = rest.size() >= 2 && rest[0] == '0' && (rest[1] | 0x20) == 'x';
    double value = 0.0;
    std::from_chars_result result{first + 1, std::errc()};  // "0x" without digits: the "0" only
    if (hex) {
        if (!startsWithSign(std::string_view(rest).substr(2))) {
            const auto r = std::from_chars(first + 2, last, value, std::chars_format::hex);
            if (r.ec != std::errc::invalid_argument) result = r;
        }
    } else {
        result = std::from_chars(first, last, value, std::chars_format::general);
        if (result.ec == std::errc::invalid_argument) return {};
    }
    if (result.ec == std::errc::result_out_of_range) {
        const std::string_view span(first + (hex ? 2 : 0),
                                    static_cast<std::size_t>(result.ptr - first - (hex ? 2 : 0)));
        value = IsTooLarge(span, hex) ? HUGE_VAL : 0.0;
    }
    return {negative ? -value : value, true};
}

// ---- "$PASHR,SAT" ----

// The text after the first occurrence of the key; false when the key is absent.
bool TextAfterKey(const CString& strText, const wchar_t* pszKey, CString& strValue) {
    const int nPos = strText.Find(pszKey);
    if (nPos < 0) return false;
    strValue = strText.Mid(nPos + static_cast<int>(std::wstring_view(pszKey).size()));
    return true;
}

// Skips fields until the parser stands before field nField (fields count from 1).
void SkipToField(CParser& parser, int& nNextField, int nField) {
    CString strSkipped;
    while (nNextField < nField) {
        parser.GetNextString(strSkipped);
        ++nNextField;
    }
}

}  // namespace

// Raw record, e.g. "$PASHR,MBN," followed by 42 binary payload bytes and one more byte; the
// text that reaches here ends at the first zero byte, so the bytes come from m_GPSMessageRaw.
// Satellite reply:
//   $PASHR,SAT,04,03,103,56,50,U,23,225,61,52,U,16,045,12,38,-,19,310,33,47,U*5B
//   1 "$PASHR"
//   2 type: "SAT" (any case) here; "MBN", "PBN" or "SNV" (any case) for raw records
//   3 n, satellites listed
//   then n groups of five fields:
//     +1 PRN   +2 azimuth, degrees   +3 elevation, degrees   +4 SNR
//     +5 "U" (any case) used in the solution, anything else ("-") not used
bool CGPSReceiver::ProcessPASHR(CString& strMessage) {
    struct RawKind {
        const wchar_t* pszType;
        int nPayloadBytes;
        bool (CGPSReceiver::*pDecode)(const unsigned char*);
    };
    static constexpr RawKind kRawKinds[] = {
        {L"PBN", pashr::kPbnPayloadBytes, &CGPSReceiver::ProcessPASHR_PBN},
        {L"MBN", pashr::kMbnPayloadBytes, &CGPSReceiver::ProcessPASHR_MBN},
        {L"SNV", pashr::kSnvPayloadBytes, &CGPSReceiver::ProcessPASHR_SNV},
    };

    const auto decodeRaw = [this](const RawKind& kind) {
        int nBytes = 0;
        const char* pBytes = m_GPSMessageRaw.GetMessageBin(nBytes);
        ++m_nRawMessageCount;
        if (!pBytes) return false;
        // The decoders read a fixed payload: never hand them fewer bytes than that, whatever a
        // host attached or the buffer claims.
        const int nAvailable = m_GPSMessageRaw.GetLength() - m_GPSMessageRaw.m_nCurrent;
        if (nBytes > nAvailable) nBytes = nAvailable;
        if (nBytes < kRawHeadBytes + kind.nPayloadBytes) return false;
        const auto* pPayload = reinterpret_cast<const unsigned char*>(pBytes) + kRawHeadBytes;
        const bool bDecoded = (this->*kind.pDecode)(pPayload);
        if (!bDecoded) ++m_nRawMessageErrors;
        return bDecoded;
    };

    const auto readSatellites = [this](CParser& parser) {
        parser.GetInt(m_GPSData.m_nSatellitesInView);
        const int nGroups = m_GPSData.m_nSatellitesInView;
        for (CGPSSatelliteData& slot : m_GPSData.m_Satellites) slot.m_bInView = false;
        for (int i = 0; i < nGroups; ++i) {
            int nPRN = 0;
            int nAzimuth = 0;
            int nElevation = 0;
            CGPSSatelliteData sat;
            CString strMark;
            parser.GetInt(nPRN);
            parser.GetInt(nAzimuth);
            parser.GetInt(nElevation);
            parser.GetInt(sat.m_nSNR);
            parser.GetNextString(strMark);
            sat.m_nPRN = nPRN;
            sat.m_dAzimuth = replies::DegreesToRadians(nAzimuth);
            sat.m_dElevation = replies::DegreesToRadians(nElevation);
            sat.m_bUsed = strMark.CompareNoCase(L"U") == 0;
            sat.m_bInView = true;
            int nSlot = -1;
            if (!GetSatellite(nPRN, nSlot) && !GetEmptySatellite(nSlot)) GetUnusedSatellite(nSlot);
            // Unlike GSV, a satellite without a slot is dropped and the next group still read.
            if (nSlot < 0 || nSlot >= kSlots) continue;
            m_GPSData.m_Satellites[nSlot] = sat;
            m_GPSData.m_bSatellitesChanged = true;
        }
        m_GPSData.m_dMeanSNR = replies::MeanUsedSnr(m_GPSData);
        m_GPSData.m_bSVInfoValid = true;
        return true;
    };

    try {
        CParser parser(strMessage, kPashrSeparators, true);
        CString strField;
        parser.GetNextString(strField);  // 1 "$PASHR"
        parser.GetNextString(strField);  // 2 type
        for (const RawKind& kind : kRawKinds) {
            if (strField.CompareNoCase(kind.pszType) == 0) return decodeRaw(kind);
        }
        if (strField.CompareNoCase(L"SAT") == 0) return readSatellites(parser);
        return false;  // MCA, SAL and anything else are not decoded here
    } catch (const std::exception&) {
        return false;
    }
}

// PMD:0 ALT:+00000.00 PDP:40 HDP:04 VDP:04 FIX:0 UNH:OFF ION:N
//   "PMD:" position mode (int)       "ALT:" fixed altitude, metres (real)
//   "PDP:" PDOP mask (int)           "HDP:" HDOP mask (int)           "VDP:" VDOP mask (int)
// Each key is searched in the whole line; its value runs up to the first character that cannot
// belong to the number.
bool CGPSReceiver::ProcessPARPMD(CString& strMessage) {
    try {
        const auto readInt = [&strMessage, this](const wchar_t* pszKey, std::int32_t& nTarget) {
            CString strValue;
            return TextAfterKey(strMessage, pszKey, strValue) && ReadIntValue(strValue, nTarget);
        };
        const auto readReal = [&strMessage, this](const wchar_t* pszKey, double& dTarget) {
            CString strValue;
            return TextAfterKey(strMessage, pszKey, strValue) && ReadDoubleValue(strValue, dTarget);
        };
        CGPSStatusData& status = m_GPSData.m_Status;
        // In this order, stopping at the first missing or unreadable item.
        if (!readInt(L"PMD:", status.m_nPosMode) || !readReal(L"ALT:", status.m_dFixedAltitude) ||
            !readInt(L"PDP:", status.m_nPDOPMask) || !readInt(L"HDP:", status.m_nHDOPMask) ||
            !readInt(L"VDP:", status.m_nVDOPMask)) {
            return false;
        }
        status.m_bPosModeValid = true;
        status.m_bUpdated = true;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// PER:001.00 SAV:Y
//   "PER:" output period, seconds (real); a rejected value stays in m_dOutputPeriod as converted
bool CGPSReceiver::ProcessPARPER(CString& strMessage) {
    try {
        CString strValue;
        if (!TextAfterKey(strMessage, L"PER:", strValue) ||
            !ReadDoubleValue(strValue, m_GPSData.m_Status.m_dOutputPeriod)) {
            return false;
        }
        m_GPSData.m_Status.m_bUpdated = true;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// PEM:10 SAV:Y
//   split at ":" and " ":  1 "PEM"   2 elevation mask, whole degrees (int)
//   then "SAV:Y" (stored in the receiver) or "SAV:N" anywhere in the line; Y is looked for first
bool CGPSReceiver::ProcessPARPEM(CString& strMessage) {
    try {
        CGPSStatusData& status = m_GPSData.m_Status;
        CParser parser(strMessage, L": ", true);
        CString strHeader;
        parser.GetNextString(strHeader);    // 1 "PEM"
        parser.GetInt(status.m_nElevMask);  // 2 mask
        if (strMessage.Find(L"SAV:Y") >= 0) {
            status.m_bElevMaskSaved = true;
        } else if (strMessage.Find(L"SAV:N") >= 0) {
            status.m_bElevMaskSaved = false;
        } else {
            return false;  // the mask read above stays
        }
        status.m_bElevMaskFlag = true;
        status.m_bElevMaskValid = true;
        status.m_bUpdated = true;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// PRTA: ON OFF ON OFF ON ON OFF OFF ON ON OFF OFF OFF OFF ON OFF
// The receiver pads its table columns with blanks; each pair of blanks is folded into one (one
// left-to-right pass, the caller's string keeps the folded text), then split at " ":
//   5 GLL   7 GGA   8 VTG   11 GSA   12 SAT   16 ZDA   ("ON..." on, "OFF..." off)
// GSV (element 6) is not in this line.
bool CGPSReceiver::ProcessPARPRTA(CString& strMessage) {
    struct Column {
        int nField;
        int nStatusIndex;
    };
    static constexpr Column kColumns[] = {
        {5, NMEA_INDEX_GLL},  {7, NMEA_INDEX_GGA},  {8, NMEA_INDEX_VTG},
        {11, NMEA_INDEX_GSA}, {12, NMEA_INDEX_SAT}, {16, NMEA_INDEX_ZDA},
    };
    try {
        CStringCE folded;
        folded.Insert(0, strMessage);
        folded.Replace(L"  ", L" ");
        strMessage = folded.GetString();

        CParser parser(strMessage, L" ", true);
        int nNextField = 1;
        for (const Column& column : kColumns) {
            SkipToField(parser, nNextField, column.nField);
            CString strWord;
            parser.GetNextString(strWord);
            ++nNextField;
            if (!GetNmeaMsgStatus(strWord, m_GPSData.m_Status.m_NmeaStatus[column.nStatusIndex])) {
                return false;
            }
        }
        m_GPSData.m_Status.m_bNmeaStatusValid = true;
        m_GPSData.m_Status.m_bUpdated = true;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// An on/off word of the parameter reply: "ON" or "OFF" at its start, upper case only.
bool CGPSReceiver::GetNmeaMsgStatus(const CString& strWord, NmeaMsgStatus& eStatus) {
    if (strWord.StartsWith(L"ON")) {
        eStatus = NMEA_MSG_ON;
        return true;
    }
    if (strWord.StartsWith(L"OFF")) {
        eStatus = NMEA_MSG_OFF;
        return true;
    }
    eStatus = NMEA_MSG_UNKNOWN;
    return false;
}

// A key followed by an output rate, e.g. "GGA:1" in "$PSLIR,PAR,NMEA,GGA:1,GSA:0,...": a rate
// above 0 means on, 0 or less off. A missing key means the receiver did not say (unknown).
bool CGPSReceiver::GetNmeaMsgStatus(const CString& strText, NmeaMsgStatus& eStatus, const CString& strKey) {
    CString strValue;
    if (!TextAfterKey(strText, strKey.GetString(), strValue)) {
        eStatus = NMEA_MSG_UNKNOWN;
        return true;
    }
    double dRate = 0.0;
    if (!ReadDoubleValue(strValue, dRate)) return false;
    eStatus = dRate > 0.0 ? NMEA_MSG_ON : NMEA_MSG_OFF;
    return true;
}

// An integer at the start of the text, read like wcstol in base 10 on the receivers' 32-bit
// platforms: blanks skipped, a sign allowed, reading stops at the first non-digit. A value
// beyond 32 bits saturates to the limit, and the limits themselves are refused, as is a text
// with no digit. nValue changes only on success.
bool CGPSReceiver::ReadIntValue(const CString& strText, int& nValue) {
    return replies::ReadInt32(strText.view(), nValue);
}

// A real number at the start of the text, read like wcstod but always with '.' as the decimal
// point. The result is stored before it is judged: a refused overflow leaves +-HUGE_VAL, a text
// with no number leaves 0.
bool CGPSReceiver::ReadDoubleValue(const CString& strText, double& dValue) {
    const Conversion conversion = ConvertLikeWcstod(strText.view());
    dValue = conversion.dValue;
    if (std::fabs(conversion.dValue) == HUGE_VAL) return false;
    return !(conversion.dValue == 0.0 && !conversion.bConsumed);
}

}  // namespace tolvik
