// Classification and dispatch of framed messages.
//
// Every message the engine frames reaches the current receiver through Parse. It is classified by
// the header it begins with (one table, searched in order), NMEA sentences are checksum-tested,
// the one handler for the kind runs, and the dispatcher decides whether the epoch is published.
// Models intercept their own messages by overriding Parse(CString&, GPSStringType) and calling
// this one for the rest.
#include <cstdint>
#include <exception>
#include <iterator>
#include <mutex>
#include <string_view>

#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

namespace {

// Kinds up to this one are NMEA sentences whose checksum must be right; above it the replies
// carry no checksum of the NMEA kind (or none at all).
constexpr GPSStringType kLastChecksummedType = static_cast<GPSStringType>(15);

// A serial multiplexer in front of some receivers tags each line with its port, "[COM1]".
constexpr const wchar_t* kPortTag = L"[COM";
constexpr int kPortTagLength = 6;  // "[COM", one digit, "]"

constexpr const wchar_t* kAckPrefix = L"$PASHR,ACK";

// Proprietary sentences outside this length window (line end included) are not kept.
constexpr int kMinProprietaryLength = 10;
constexpr int kMaxProprietaryLength = 82;
constexpr int kMinFallbackLength = 6;

constexpr std::size_t kMaxChecksumDigits = 4;
constexpr int kNmeaBitCount = 32;

int HexDigitValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

struct HeaderRow {
    std::wstring_view header;  // exact, case-sensitive, must begin the message
    GPSStringType type;
};

// Searched top to bottom; the first header that begins the message decides.
constexpr HeaderRow kHeaderTable[] = {
    {L"$GPALM", GPS_STR_ALM},
    {L"$GPGGA", GPS_STR_GGA},
    {L"$INGGA", GPS_STR_INGGA},
    {L"$GPGLL", GPS_STR_GLL},
    {L"$GPGSA", GPS_STR_GSA},
    {L"$GPGSV", GPS_STR_GSV},
    {L"$GPRMC", GPS_STR_RMC},
    {L"$GPVTG", GPS_STR_VTG},
    {L"$GPZDA", GPS_STR_ZDA},
    {L"$GNALM", GPS_STR_ALM},
    {L"$GNGGA", GPS_STR_GGA},
    {L"$GNGLL", GPS_STR_GLL},
    {L"$GNGSA", GPS_STR_GSA},
    {L"$GNGSV", GPS_STR_GSV},
    {L"$GNRMC", GPS_STR_RMC},
    {L"$GNVTG", GPS_STR_VTG},
    {L"$GNZDA", GPS_STR_ZDA},
    {L"$CRMSS", GPS_STR_MSS},
    {L"$GPMSS", GPS_STR_MSS},
    {L"$CRMSK", GPS_STR_MSK},
    {L"$GPMSK", GPS_STR_MSK},
    {L"PEM:", GPS_STR_PEM},
    {L"PMD:", GPS_STR_PMD},
    {L"PRTA:", GPS_STR_PRTA},
    {L"PER:", GPS_STR_PER},
    {L"$PASHR", GPS_STR_PASHR},
    {L"$PSLIR,PAR,NMEA", GPS_STR_PSLIR_NMEA},
    {L"$PSLIR,PAR,MODE", GPS_STR_PSLIR_MODE},
    {L"$PMCAG", GPS_STR_PMCAG},
    {L"$>JSHOW", GPS_STR_JSHOW},
    {L"$>JI", GPS_STR_JI},
    {L"$>JGEO", GPS_STR_JGEO},
    {L"$RD1", GPS_STR_RD1},
    {L"$BIN", GPS_STR_BIN},
    {L"#LOGLISTA", GPS_STR_LOGLIST},
    {L"#RXCONFIGA", GPS_STR_RXCONFIG},
    {L"#ECUTOFF", GPS_STR_ECUTOFF},
    {L"#OMNIINFO", GPS_STR_OMNIINFO},
    {L"#OMNISTAT", GPS_STR_OMNISTAT},
    {L"#OMNIHPPOS", GPS_STR_OMNIHPPOS},
    {L"#WAAS1", GPS_STR_WAAS1},
    {L"#RTKSOURCE", GPS_STR_RTKSOURCE},
    {L"#SBASCONTROL", GPS_STR_SBASCONTROL},
    {L"#PSRDIFFSOURCE", GPS_STR_PSRDIFFSOURCE},
    {L"$PGRME", GPS_STR_PGRME},
};
static_assert(std::size(kHeaderTable) == 45);

// Headers are a few characters: compared in place, which beats a library call per row.
bool Begins(std::wstring_view message, std::wstring_view header) {
    if (message.size() < header.size()) return false;
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (message[i] != header[i]) return false;
    }
    return true;
}

}  // namespace

// The replies that are simply handled, then published with PostNewData(false). The kinds that
// publish differently (GGA/INGGA, GSA, GSV, "$PASHR", "$BIN") and the proprietary fallback have
// their own code in Parse below. Adding a reply takes its GPSStringType, a row in kHeaderTable,
// a row here and the handler. A friend of CGPSReceiver so that its rows can name the handlers.
struct ReplyHandlers {
    using Handler = bool (*)(CGPSReceiver&, CString&);
    struct Row {
        GPSStringType type;
        Handler handler;
    };

    template <bool (CGPSReceiver::*Process)(CString&)>
    static bool Text(CGPSReceiver& receiver, CString& strMessage) {
        return (receiver.*Process)(strMessage);
    }
    // The binary records are read from the attached raw bytes, not from the text.
    template <bool (CGPSReceiver::*Process)()>
    static bool Record(CGPSReceiver& receiver, CString&) {
        return (receiver.*Process)();
    }

    static constexpr Row kRows[] = {
        {GPS_STR_VTG, Text<&CGPSReceiver::ProcessVTG>},
        {GPS_STR_MSS, Text<&CGPSReceiver::ProcessCRMSS>},
        {GPS_STR_MSK, Text<&CGPSReceiver::ProcessCRMSK>},
        {GPS_STR_PSLIR_NMEA, Text<&CGPSReceiver::ProcessPSLIRParNmea>},
        {GPS_STR_PSLIR_MODE, Text<&CGPSReceiver::ProcessPSLIRParMode>},
        {GPS_STR_PMCAG, Text<&CGPSReceiver::ProcessPMCAG>},
        {GPS_STR_PEM, Text<&CGPSReceiver::ProcessPARPEM>},
        {GPS_STR_PMD, Text<&CGPSReceiver::ProcessPARPMD>},
        {GPS_STR_PRTA, Text<&CGPSReceiver::ProcessPARPRTA>},
        {GPS_STR_PER, Text<&CGPSReceiver::ProcessPARPER>},
        {GPS_STR_JSHOW, Text<&CGPSReceiver::ProcessJSHOW>},
        {GPS_STR_JI, Text<&CGPSReceiver::ProcessJiOrJgeoOrRd1>},
        {GPS_STR_JGEO, Text<&CGPSReceiver::ProcessJiOrJgeoOrRd1>},
        {GPS_STR_RD1, Text<&CGPSReceiver::ProcessJiOrJgeoOrRd1>},
        {GPS_STR_LOGLIST, Text<&CGPSReceiver::ProcessLOGLIST>},
        {GPS_STR_RXCONFIG, Text<&CGPSReceiver::ProcessRXCONFIG>},
        {GPS_STR_ECUTOFF, Text<&CGPSReceiver::ProcessECUTOFF>},
        {GPS_STR_OMNIINFO, Text<&CGPSReceiver::ProcessOMNIINFO>},
        {GPS_STR_OMNISTAT, Text<&CGPSReceiver::ProcessOMNISTAT>},
        {GPS_STR_OMNIHPPOS, Text<&CGPSReceiver::ProcessOMNIHPPOS>},
        {GPS_STR_WAAS1, Text<&CGPSReceiver::ProcessWAAS1>},
        {GPS_STR_RTKSOURCE, Text<&CGPSReceiver::ProcessRTKSOURCE>},
        {GPS_STR_SBASCONTROL, Text<&CGPSReceiver::ProcessSBASCONTROL>},
        {GPS_STR_PSRDIFFSOURCE, Text<&CGPSReceiver::ProcessPSRDIFFSOURCE>},
        {GPS_STR_AXIS4_BIN, Record<&CGPSReceiver::ProcessAxis4BIN>},
        {GPS_STR_PGRME, Text<&CGPSReceiver::ProcessGarminEstPrecision>},
    };

    static Handler Find(GPSStringType eType) {
        for (const Row& row : kRows) {
            if (row.type == eType) return row.handler;
        }
        return nullptr;
    }
};

bool CGPSReceiver::Parse(CString& strMessage) {
    std::lock_guard lock(SharedStateLock());
    try {
        const int nTag = strMessage.Find(kPortTag);
        if (nTag >= 0) strMessage = strMessage.Mid(nTag + kPortTagLength);
        const GPSStringType eType = GetGPSStringType(strMessage);
        if (m_bMonitorNmea) GotNmea(eType);
        return Parse(strMessage, eType);
    } catch (const std::exception&) {
        // Nothing a receiver sends may end the reader thread: the message is dropped.
        return false;
    }
}

GPSStringType CGPSReceiver::GetGPSStringType(const CString& strMessage) {
    // Binary records of the log-command receivers start with a three-byte sync and carry their
    // own CRC: they are neither counted nor NMEA-tested.
    if ((strMessage.GetAt(0) & 0xFF) == 0xAA && (strMessage.GetAt(1) & 0xFF) == 0x44 &&
        (strMessage.GetAt(2) & 0xFF) == 0x12) {
        return GPS_STR_AXIS4_BIN;
    }
    const std::wstring_view message = strMessage.view();
    if (message.empty()) return GPS_STR_UNKNOWN;
    for (const HeaderRow& row : kHeaderTable) {
        if (!Begins(message, row.header)) continue;
        ++m_nMessageCount;
        if (row.type > kLastChecksummedType || IsChecksumOK(strMessage)) return row.type;
        ++m_nChecksumErrors;
        return GPS_STR_UNKNOWN;
    }
    return GPS_STR_UNKNOWN;
}

bool CGPSReceiver::IsChecksumOK(const CString& strMessage) {
    const std::wstring_view message = strMessage.view();
    const std::size_t nDollar = message.find(L'$');
    const std::size_t nStar = message.find(L'*');
    if (nDollar == std::wstring_view::npos || nStar == std::wstring_view::npos || nStar < nDollar + 1) return false;

    // Up to four hex digits; receivers that write four count by the last two.
    const std::wstring_view digits = message.substr(nStar + 1, kMaxChecksumDigits);
    std::uint16_t wExpected = 0;
    for (wchar_t c : digits) {
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
        const int nDigit = HexDigitValue(c);
        if (nDigit < 0) break;
        wExpected = static_cast<std::uint16_t>((wExpected << 4) | nDigit);
    }

    std::uint16_t wComputed = 0;
    for (std::size_t i = nDollar + 1; i < nStar; ++i) wComputed ^= static_cast<std::uint16_t>(message[i]);

    return (wComputed & 0xFF) == (wExpected & 0xFF);
}

bool CGPSReceiver::Parse(CString& strMessage, GPSStringType eType) {
    std::lock_guard lock(SharedStateLock());
    try {
        // A proprietary sentence is published with the message that brought it, never again.
        m_GPSData.m_bProprietaryValid = false;

        switch (eType) {
            case GPS_STR_GGA:
            case GPS_STR_INGGA: {
                const bool bTaken = eType == GPS_STR_GGA ? ProcessGGA(strMessage) : ProcessINGGA(strMessage);
                if (!bTaken) return false;
                if (m_GPSData.m_bPositionValid && m_bComputeMotion) m_SpeedEngine.Update(m_GPSData);
                return PostNewData(false);
            }
            case GPS_STR_GSA:
                if (!ProcessGSA(strMessage)) return false;
                m_bGSAReceived = true;
                return PostNewData(false);
            case GPS_STR_GSV:
                // Only the last sentence of a group succeeds; the completed group is an epoch.
                if (!ProcessGSV(strMessage)) return false;
                m_bGSVReceived = true;
                return PostNewData(true);
            case GPS_STR_PASHR:
                if (strMessage.StartsWith(kAckPrefix)) {
                    // The acknowledgement travels in the published copy to the waiting window.
                    m_GPSData.m_Status.m_bAckReceived = true;
                    m_GPSData.m_Status.m_bUpdated = true;
                    return PostNewData(false);
                }
                // Once the receiver sends standard GSA and GSV sentences, its "$PASHR"
                // satellite and raw replies would only repeat them.
                if (m_bGSAReceived && m_bGSVReceived) return false;
                if (!ProcessPASHR(strMessage)) return false;
                return PostNewDataRaw() || PostNewData(true);
            case GPS_STR_BIN:
                // The binary record goes to the host as WM_GPS_BINARY; it is not an epoch.
                return ProcessBIN();
            default:
                if (const ReplyHandlers::Handler handler = ReplyHandlers::Find(eType)) {
                    return handler(*this, strMessage) && PostNewData(false);
                }
                // Unknown kinds, checksum failures and the sentences nothing uses (ALM, GLL,
                // RMC, ZDA): only a proprietary "$P" sentence is worth passing on.
                if (!strMessage.StartsWith(L"$P") || strMessage.GetLength() < kMinFallbackLength) {
                    return false;
                }
                ProcessProprietary(strMessage);
                return PostNewData(false);
        }
    } catch (const std::exception&) {
        return false;
    }
}

bool CGPSReceiver::ProcessProprietary(CString& strMessage) {
    const int nLength = strMessage.GetLength();
    if (nLength > kMaxProprietaryLength || nLength < kMinProprietaryLength) return false;

    // Kept as 8-bit text; a sentence of 79 characters or more fills the field without a
    // terminating zero.
    char* pText = m_GPSData.m_szProprietary;
    for (int i = 0; i < CGPSData::kProprietaryLength; ++i) {
        pText[i] = i < nLength ? static_cast<char>(strMessage.GetAt(i) & 0xFF) : '\0';
    }
    m_GPSData.m_bProprietaryValid = true;
    m_GPSData.m_bPositionValid = false;
    m_GPSData.m_bVelocityValid = false;
    m_GPSData.m_bSVInfoValid = false;
    m_GPSData.m_bDOPValid = false;
    return true;
}

// ---- Message-kind monitoring: which kinds a receiver sends, for hosts and command sets.

void CGPSReceiver::GotNmea(GPSStringType eType) {
    if (eType < 0 || eType >= kNmeaBitCount) return;  // no bit for the later kinds
    m_wNmeaBits.fetch_or(std::uint32_t{1} << eType);
}

bool CGPSReceiver::HaveGotNmea(GPSStringType eType) {
    if (eType < 0 || eType >= kNmeaBitCount) return false;
    return (m_wNmeaBits.load() & (std::uint32_t{1} << eType)) != 0;
}

void CGPSReceiver::MonitorNmea(bool bMonitor) {
    m_bMonitorNmea = bMonitor;
    m_wNmeaBits = 0;
}

bool CGPSReceiver::MonitoringNmea() { return m_bMonitorNmea; }

}  // namespace tolvik
