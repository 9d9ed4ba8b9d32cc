// Replies of the non-Ashtech brands that the receiver base understands: beacon status and mode
// (NMEA MSS / MSK), the "$PSLIR" parameter replies, the "$PMCAG" elevation mask, the "$>JSHOW"
// settings report, the information texts "$>JI", "$>JGEO" and "$RD1", and the estimated position
// errors of "$PGRME".
//
// Every handler except the text replies and "$PGRME" reads under one exception guard: a field
// that is missing or not a number ends it with false, and whatever it stored before stays.
#include <exception>

#include "replies/ReplyFields.h"
#include "tolvik/framing/CParser.h"
#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

namespace {

const wchar_t* const kNmeaSeparators = L",*";
const wchar_t* const kCommaSeparator = L",";

// 1200/3937: the US survey foot in metres, the unit "F" of "$PGRME".
constexpr double kSurveyFootMetres = 0.30480060960121924;

}  // namespace

// $GPMSS,55,27,318.0,100,*66   (also "$CRMSS")
//   2 signal strength   3 signal-to-noise ratio   4 beacon frequency, kHz (real)
//   5 bit rate, bits per second; the channel number after it is not read
bool CGPSReceiver::ProcessCRMSS(CString& strMessage) {
    try {
        CGPSStatusData& status = m_GPSData.m_Status;
        CParser parser(strMessage, kNmeaSeparators, true);
        CString strHeader;
        parser.GetNextString(strHeader);                // 1
        parser.GetInt(status.m_nBeaconSignalStrength);  // 2
        parser.GetInt(status.m_nBeaconSNR);             // 3
        parser.GetDouble(status.m_dBeaconFrequency);    // 4
        parser.GetInt(status.m_nBeaconBitRate);         // 5
        status.m_bBeaconStatusValid = true;
        status.m_bUpdated = true;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// $GPMSK,318.0,A,100,M,2*45   (also "$CRMSK")
//   3 frequency selection: "A" automatic, "M" manual (exactly; anything else keeps the old value)
bool CGPSReceiver::ProcessCRMSK(CString& strMessage) {
    try {
        CGPSStatusData& status = m_GPSData.m_Status;
        CParser parser(strMessage, kNmeaSeparators, true);
        CString strField;
        parser.GetNextString(strField);  // 1
        parser.GetNextString(strField);  // 2 frequency, not read
        parser.GetNextString(strField);  // 3 tuning
        if (strField == L"A") {
            status.m_bBeaconAutoTune = true;
        } else if (strField == L"M") {
            status.m_bBeaconAutoTune = false;
        }
        status.m_bBeaconModeValid = true;
        status.m_bUpdated = true;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// $PSLIR,PAR,NMEA,GGA:1,GSA:1,GSV:5,VTG:0,GLL:0,ZDA:0*3F
//   keys anywhere in the sentence, each followed by an output rate (> 0 on, <= 0 off):
//   "GGA:" "GSA:" "ZDA:" "GLL:" "VTG:" "GSV:"; a missing key reads as unknown
bool CGPSReceiver::ProcessPSLIRParNmea(CString& strMessage) {
    struct Key {
        const wchar_t* pszKey;
        int nStatusIndex;
    };
    static constexpr Key kKeys[] = {
        {L"GGA:", NMEA_INDEX_GGA}, {L"GSA:", NMEA_INDEX_GSA}, {L"ZDA:", NMEA_INDEX_ZDA},
        {L"GLL:", NMEA_INDEX_GLL}, {L"VTG:", NMEA_INDEX_VTG}, {L"GSV:", NMEA_INDEX_GSV},
    };
    try {
        CGPSStatusData& status = m_GPSData.m_Status;
        for (const Key& key : kKeys) {
            if (!GetNmeaMsgStatus(strMessage, status.m_NmeaStatus[key.nStatusIndex], key.pszKey)) {
                return false;  // the statuses set so far stay
            }
        }
        status.m_bNmeaStatusValid = true;
        status.m_bUpdated = true;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// $PSLIR,PAR,MODE,ELM:10,DIF:0*4A
//   "ELM:" elevation mask, whole degrees; without it the reply still confirms the mask we hold
bool CGPSReceiver::ProcessPSLIRParMode(CString& strMessage) {
    try {
        CGPSStatusData& status = m_GPSData.m_Status;
        const int nPos = strMessage.Find(L"ELM:");
        if (nPos >= 0 && !ReadIntValue(strMessage.Mid(nPos + 4), status.m_nElevMask)) return false;
        status.m_bElevMaskValid = true;
        status.m_bUpdated = true;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// $PMCAG,908,0,0,1,0,12.9,1*4E   (reply to "$PMCAG,004,908")
//   split at "," only:  2 "908" exactly   7 elevation mask, degrees (real, truncated)
// A mask that does not fit an int is refused.
bool CGPSReceiver::ProcessPMCAG(CString& strMessage) {
    try {
        CParser parser(strMessage, kCommaSeparator, true);
        CString strField;
        parser.GetNextString(strField);  // 1
        parser.GetNextString(strField);  // 2
        if (strField != L"908") return false;
        for (int nField = 3; nField <= 6; ++nField) parser.GetNextString(strField);
        double dMask = 0.0;
        parser.GetDouble(dMask);  // 7
        CGPSStatusData& status = m_GPSData.m_Status;
        if (!replies::TruncateToInt(dMask, status.m_nElevMask)) return false;
        status.m_bElevMaskValid = true;
        status.m_bUpdated = true;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// $>JSHOW,ASC,GPGGA,1.0,PORTA
//   split at "," only:  2 keyword   3 its value:
//   "DIFF" correction source ("BEACON...", "LBAND...", "WAAS..." or other -> none)
//   "ASC"  a sentence that is on ("GPGGA", "GPGSA", "GPZDA", "GPGLL", "GPVTG", "GPGSV")
//   "MASK" elevation mask (int)        "FREQ" L-band frequency (real; 0 means automatic)
bool CGPSReceiver::ProcessJSHOW(CString& strMessage) {
    struct Sentence {
        const wchar_t* pszName;
        int nStatusIndex;
    };
    static constexpr Sentence kSentences[] = {
        {L"GPGGA", NMEA_INDEX_GGA}, {L"GPGSA", NMEA_INDEX_GSA}, {L"GPZDA", NMEA_INDEX_ZDA},
        {L"GPGLL", NMEA_INDEX_GLL}, {L"GPVTG", NMEA_INDEX_VTG}, {L"GPGSV", NMEA_INDEX_GSV},
    };
    try {
        CGPSStatusData& status = m_GPSData.m_Status;
        CParser parser(strMessage, kCommaSeparator, true);
        CString strKeyword;
        CString strValue;
        parser.GetNextString(strKeyword);  // 1
        parser.GetNextString(strKeyword);  // 2
        if (strKeyword == L"DIFF") {
            parser.GetNextString(strValue);  // 3
            status.m_bDgpsModeValid = true;
            if (strValue.StartsWith(L"BEACON")) {
                status.m_nDgpsMode = DGPS_MODE_BEACON;
            } else if (strValue.StartsWith(L"LBAND")) {
                status.m_nDgpsMode = DGPS_MODE_LBAND;
            } else if (strValue.StartsWith(L"WAAS")) {
                status.m_nDgpsMode = DGPS_MODE_WAAS;
            } else {
                status.m_nDgpsMode = DGPS_MODE_NONE;
            }
        } else if (strKeyword == L"ASC") {
            parser.GetNextString(strValue);  // 3
            // One "ASC" line per sentence that is on: a report only ever switches statuses on.
            status.m_bNmeaStatusValid = true;
            const Sentence* pMatch = nullptr;
            for (const Sentence& sentence : kSentences) {
                if (strValue.Left(5) == sentence.pszName) {
                    pMatch = &sentence;
                    break;
                }
            }
            if (!pMatch) {
                status.m_bNmeaStatusValid = false;
                return false;
            }
            status.m_NmeaStatus[pMatch->nStatusIndex] = NMEA_MSG_ON;
        } else if (strKeyword == L"MASK") {
            parser.GetNextString(strValue);  // 3
            if (!ReadIntValue(strValue, status.m_nElevMask)) return false;
            status.m_bElevMaskValid = true;
        } else if (strKeyword == L"FREQ") {
            parser.GetNextString(strValue);  // 3
            double dFrequency = 0.0;
            if (!ReadDoubleValue(strValue, dFrequency)) return false;
            status.m_nLbandTuneMode = dFrequency == 0.0 ? 1 : 2;
        } else {
            return false;
        }
        status.m_bUpdated = true;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// $>JI,311204,1,3,09091999,01/01/1900,01/01/3002,6.4Mar22b,96
//   the whole text, header and line end included, is kept for the host: at most 79 characters
//   as 8-bit bytes (the rest is cut); "$>JGEO" and "$RD1" share the field, the last one wins
bool CGPSReceiver::ProcessJiOrJgeoOrRd1(CString& strMessage) {
    CGPSStatusData& status = m_GPSData.m_Status;
    replies::StoreFieldText(strMessage, status.m_szReplyText);
    status.m_bUpdated = true;
    status.m_bReplyTextValid = true;
    return true;
}

// $PGRME,1.7,M,2.4,M,3.0,M*2D
//   2 horizontal error   3 its unit   4 vertical error   5 its unit
//   6 spherical error    7 its unit   ("F"/"f" survey feet, converted; anything else metres)
// Never fails: an unreadable value keeps the previous estimate, and its unit is then ignored so
// that an old value is not converted a second time.
bool CGPSReceiver::ProcessGarminEstPrecision(CString& strMessage) {
    CParser parser = CParser::Borrowing(strMessage, kNmeaSeparators, true);
    parser.SkipField();  // 1: there is always a first field
    parser.SetExceptionThrowing(false);
    for (double* pError : {&m_GPSData.m_dHorzError, &m_GPSData.m_dVertError, &m_GPSData.m_dPosError}) {
        const bool bRead = parser.GetDouble(*pError);
        CString strUnit;
        parser.GetNextString(strUnit);
        if (bRead && strUnit.CompareNoCase(L"F") == 0) *pError *= kSurveyFootMetres;
    }
    return true;
}

}  // namespace tolvik
