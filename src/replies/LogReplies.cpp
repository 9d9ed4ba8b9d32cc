// Command-log replies: ASCII logs of the form "#NAMEA,<header fields>;<data fields>*<crc>", the
// answers to "LOG ... ONCE" queries. The header ends at the first ";", data fields are separated
// by ",", and the data end at the first "*". The CRC is not checked.
//
// Logs without ";" or without their end character after it are refused by the text and source
// handlers: return false, nothing changed. Such a log is cut short or not a reply at all, and
// guessing a data part from it would publish garbage as the receiver's setting.
#include <exception>

#include "replies/ReplyFields.h"
#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

namespace {

// Where the data fields of a log begin: just after the first ";". False when there is no ";".
bool DataStart(const CString& strLog, int& nStart) {
    const int nSemicolon = strLog.Find(L';');
    if (nSemicolon < 0) return false;
    nStart = nSemicolon + 1;
    return true;
}

// The data fields of a log, between the first ";" and the first "*" after it (both excluded).
bool DataFields(const CString& strLog, CString& strData) {
    int nStart = 0;
    if (!DataStart(strLog, nStart)) return false;
    const int nEnd = strLog.Find(L'*', nStart);
    if (nEnd < 0) return false;
    strData = strLog.Mid(nStart, nEnd - nStart);
    return true;
}

// The data part of a text log up to and including its end character: the first "*" after the
// ";", or, with nCommas > 0, the nCommas-th "," after it.
bool TextLogData(const CString& strLog, int nCommas, CString& strData) {
    int nStart = 0;
    if (!DataStart(strLog, nStart)) return false;
    int nEnd = -1;
    if (nCommas <= 0) {
        nEnd = strLog.Find(L'*', nStart);
    } else {
        nEnd = nStart - 1;
        for (int i = 0; i < nCommas; ++i) {
            nEnd = strLog.Find(L',', nEnd + 1);
            if (nEnd < 0) return false;
        }
    }
    if (nEnd < 0) return false;
    strData = strLog.Mid(nStart, nEnd + 1 - nStart);
    return true;
}

// Head + data part into m_szReplyText (cut to 79 characters), marking a new reply. False, with
// nothing stored, for a log it cannot cut; it never throws.
bool StoreTextLog(const CString& strLog, const wchar_t* pszHead, int nCommas, CGPSStatusData& status) {
    try {
        CString strData;
        if (!TextLogData(strLog, nCommas, strData)) return false;
        replies::StoreFieldText(pszHead + strData, status.m_szReplyText);
        status.m_bReplyTextValid = true;
        status.m_bUpdated = true;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void StoreReportedDgpsMode(CGPSStatusData& status, DgpsMode eMode) {
    status.m_nDgpsMode = eMode;
    status.m_bDgpsModeValid = true;
    status.m_bUpdated = true;
}

}  // namespace

// #LOGLISTA,COM1,0,60.5,FINESTEERING,1337,404600.000,00000000,c00c,1984;
//     3,COM1,GPGGA,ONTIME,1.000000,0.000000,NOHOLD,COM1,GPGSV,ONTIME,5.000000,...*a3a4b2cd
// Each of "GPGGA" "GPGSA" "GPZDA" "GPGLL" "GPVTG" "GPSAT" "GPGSV" anywhere in the log means on,
// absent means off. A substring is enough: "GPGGALONG" counts as "GPGGA".
bool CGPSReceiver::ProcessLOGLIST(CString& strMessage) {
    struct Log {
        const wchar_t* pszName;
        int nStatusIndex;
    };
    static constexpr Log kLogs[] = {
        {L"GPGGA", NMEA_INDEX_GGA}, {L"GPGSA", NMEA_INDEX_GSA}, {L"GPZDA", NMEA_INDEX_ZDA}, {L"GPGLL", NMEA_INDEX_GLL},
        {L"GPVTG", NMEA_INDEX_VTG}, {L"GPSAT", NMEA_INDEX_SAT}, {L"GPGSV", NMEA_INDEX_GSV},
    };
    CGPSStatusData& status = m_GPSData.m_Status;
    for (const Log& log : kLogs) {
        status.m_NmeaStatus[log.nStatusIndex] = strMessage.Find(log.pszName) >= 0 ? NMEA_MSG_ON : NMEA_MSG_OFF;
    }
    status.m_bNmeaStatusValid = true;
    status.m_bUpdated = true;
    return true;
}

// #RXCONFIGA,COM1,0,60.5,FINESTEERING,1337,404600.000,00000000,f702,1984;#ECUTOFFA,...*5e4c7a16
// Taken and ignored: the receiver's whole configuration has nothing we keep.
bool CGPSReceiver::ProcessRXCONFIG(CString& /*strMessage*/) { return true; }

// #ECUTOFFA,COM1,0,77.5,FINESTEERING,1337,400920.000,00000000,b8ed,1984;5.5*e7b0dc9e
//   data 1: elevation cut-off, degrees (real, truncated toward zero)
// Refused without a "*" after the ";" (or anywhere, when there is no ";"), when the value cannot
// be read, and when it does not fit an int.
bool CGPSReceiver::ProcessECUTOFF(CString& strMessage) {
    try {
        const int nSemicolon = strMessage.Find(L';');
        const int nStart = nSemicolon < 0 ? 0 : nSemicolon + 1;
        if (strMessage.Find(L'*', nStart) < 0) return false;
        double dCutoff = 0.0;
        if (!ReadDoubleValue(strMessage.Mid(nStart), dCutoff)) return false;
        CGPSStatusData& status = m_GPSData.m_Status;
        if (!replies::TruncateToInt(dCutoff, status.m_nElevMask)) return false;
        status.m_bElevMaskValid = true;
        status.m_bUpdated = true;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// #OMNIINFOA,COM1,0,81.0,FINESTEERING,1337,404000.000,00000000,6a39,1984;
//     1557845000,1200,FFFF,12,0,OMNISTAR_VBS,...*1c2d3e4f
// Kept for the host as "$OMNII," + data fields + "*", at most 79 characters.
bool CGPSReceiver::ProcessOMNIINFO(CString& strMessage) {
    return StoreTextLog(strMessage, L"$OMNII,", 0, m_GPSData.m_Status);
}

// #OMNISTATA,COM1,0,81.0,FINESTEERING,1337,404000.000,00000000,1f9e,1984;
//     LOCKED,45.2,1557845000,...*2b3c4d5e
// Kept for the host as "$OMNIS," + data fields + "*", at most 79 characters.
bool CGPSReceiver::ProcessOMNISTAT(CString& strMessage) {
    return StoreTextLog(strMessage, L"$OMNIS,", 0, m_GPSData.m_Status);
}

// #OMNIHPPOSA,COM1,0,80.0,FINESTEERING,1337,404000.000,00000000,2d1f,1984;
//     SOL_COMPUTED,OMNISTAR_HP,51.11636937989,-114.03825348307,1064.3470,-16.2708,...*8e3f2a1b
//   data 1-5: solution status, position type, latitude, longitude, height
// Kept for the host as "$OMNIP," + the first five data fields, each with its comma.
bool CGPSReceiver::ProcessOMNIHPPOS(CString& strMessage) {
    return StoreTextLog(strMessage, L"$OMNIP,", 5, m_GPSData.m_Status);
}

// #WAAS1A,COM1,0,73.5,FINESTEERING,1337,404100.000,00000000,8f22,1984;
//     122,...*c2d3e4f5
// Kept for the host as "$WAAS1," + data fields + "*", at most 79 characters.
bool CGPSReceiver::ProcessWAAS1(CString& strMessage) {
    return StoreTextLog(strMessage, L"$WAAS1,", 0, m_GPSData.m_Status);
}

// #RTKSOURCEA,COM1,0,80.0,FINESTEERING,1337,404600.000,00000000,0e4c,1984;OMNISTAR,ANY*1a2b3c4d
//   data 1 with its comma: "OMNISTAR," -> L-band, "AUTO," -> beacon; anything else keeps the
//   previous mode and is still taken
bool CGPSReceiver::ProcessRTKSOURCE(CString& strMessage) {
    try {
        CString strData;
        if (!DataFields(strMessage, strData)) return false;
        if (strData.StartsWith(L"OMNISTAR,")) {
            StoreReportedDgpsMode(m_GPSData.m_Status, DGPS_MODE_LBAND);
        } else if (strData.StartsWith(L"AUTO,")) {
            StoreReportedDgpsMode(m_GPSData.m_Status, DGPS_MODE_BEACON);
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// #SBASCONTROLA,COM1,0,80.0,FINESTEERING,1337,404600.000,00000000,a1b2,1984;
//     ENABLE,AUTO,0,NONE*3c4d5e6f
//   data 1 "ENABLE," and data 2 "AUTO," (each with its comma) -> WAAS; otherwise nothing changes
bool CGPSReceiver::ProcessSBASCONTROL(CString& strMessage) {
    try {
        CString strData;
        if (!DataFields(strMessage, strData)) return false;
        if (strData.StartsWith(L"ENABLE,AUTO,")) {
            StoreReportedDgpsMode(m_GPSData.m_Status, DGPS_MODE_WAAS);
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// #PSRDIFFSOURCEA,COM1,0,80.0,FINESTEERING,1337,404600.000,00000000,c3d4,1984;
//     OMNISTAR,"ANY"*4d5e6f70
//   data 1 with its comma: "OMNISTAR," -> OmniSTAR, "CDGPS," -> CDGPS; "OMNISTARXP," and any
//   other source keep the previous mode and are still taken
bool CGPSReceiver::ProcessPSRDIFFSOURCE(CString& strMessage) {
    try {
        CString strData;
        if (!DataFields(strMessage, strData)) return false;
        if (strData.StartsWith(L"OMNISTAR,")) {
            StoreReportedDgpsMode(m_GPSData.m_Status, DGPS_MODE_OMNISTAR);
        } else if (strData.StartsWith(L"CDGPS,")) {
            StoreReportedDgpsMode(m_GPSData.m_Status, DGPS_MODE_CDGPS);
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace tolvik
