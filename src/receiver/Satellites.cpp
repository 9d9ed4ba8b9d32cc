// Satellite tracking: the GSA and GSV handlers and the slot finders that place satellites in the
// epoch's table of 12 slots.
//
// A satellite keeps its slot for as long as nothing else needs it: slots are never emptied, a
// satellite that leaves view only loses m_bInView when the next GSV group starts. A newcomer
// takes, in this order, the slot already holding its PRN, the first empty slot, or the first
// slot of a satellite not used in the fix.
#include "replies/ReplyFields.h"
#include "tolvik/framing/CParser.h"
#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

namespace {

constexpr int kSlots = CGPSData::kMaxSatellites;
constexpr int kGSAPrnFields = 12;
constexpr int kGSVBlocks = 4;

const CString& NmeaSeparators() {
    static const CString separators(L",*");
    return separators;
}

}  // namespace

bool CGPSReceiver::GetSatellite(int nPRN, int& nSlot) {
    for (int i = 0; i < kSlots; ++i) {
        if (m_GPSData.m_Satellites[i].m_nPRN == nPRN) {
            nSlot = i;
            return true;
        }
    }
    return false;
}

bool CGPSReceiver::GetEmptySatellite(int& nSlot) {
    for (int i = 0; i < kSlots; ++i) {
        if (m_GPSData.m_Satellites[i].m_nPRN == 0) {
            nSlot = i;
            return true;
        }
    }
    return false;
}

bool CGPSReceiver::GetUnusedSatellite(int& nSlot) {
    for (int i = 0; i < kSlots; ++i) {
        if (!m_GPSData.m_Satellites[i].m_bUsed) {
            nSlot = i;
            return true;
        }
    }
    return false;
}

// $GPGSA,A,3,10,28,09,13,,,,,,,,,03.4,01.7,03.0*00
//  1. mode (skipped)
//  2. fix type (skipped)
//  3-14. PRNs of the satellites used in the fix; empty or unreadable fields are skipped
//  15. PDOP
//  16. HDOP
//  17. VDOP
// Nothing in the sentence makes it fail: receivers leave the PRN and DOP fields empty while they
// have no fix, and an unreadable DOP keeps the value we had.
bool CGPSReceiver::ProcessGSA(CString& strMessage) {
    CParser parser = CParser::Borrowing(strMessage, NmeaSeparators(), false);
    parser.SkipField();  // header
    parser.SkipField();  // mode
    parser.SkipField();  // fix type

    for (CGPSSatelliteData& sat : m_GPSData.m_Satellites) sat.m_bUsed = false;

    for (int i = 0; i < kGSAPrnFields; ++i) {
        int nPRN = 0;
        if (!parser.GetInt(nPRN)) continue;
        int nSlot = 0;
        if (!GetSatellite(nPRN, nSlot) && !GetEmptySatellite(nSlot) && !GetUnusedSatellite(nSlot)) {
            continue;
        }
        CGPSSatelliteData& sat = m_GPSData.m_Satellites[nSlot];
        sat.m_nPRN = nPRN;
        sat.m_bUsed = true;
        sat.m_bInView = true;
        m_GPSData.m_bSatellitesChanged = true;
    }

    parser.GetDouble(m_GPSData.m_dPDOP);
    parser.GetDouble(m_GPSData.m_dHDOP);
    m_GPSData.m_bDOPValid = true;
    parser.GetDouble(m_GPSData.m_dVDOP);
    return true;
}

// $GPGSV,3,3,12,05,15,318,,24,02,246,,33,08,096,39,35,45,118,*77
//  1. number of sentences in the group
//  2. number of this sentence
//  3. satellites in view
//  4-19. up to four blocks of: PRN, elevation (degrees), azimuth (degrees), SNR (dB-Hz)
// Returns true only for the last sentence of a complete group, so one epoch is published per
// group. A sentence out of sequence abandons the group; sentence 1 always starts a new one.
bool CGPSReceiver::ProcessGSV(CString& strMessage) {
    m_GPSData.m_bSVInfoValid = false;
    CParser parser = CParser::Borrowing(strMessage, NmeaSeparators(), true);
    bool bLast = false;
    try {
        parser.SkipField();  // header
        parser.GetInt(m_nTotalGSV);
        int n = 0;
        parser.GetInt(n);

        if (n != m_nNextGSV && n != 1) {
            m_nNextGSV = 1;
            return false;
        }
        if (n == 1) {
            for (CGPSSatelliteData& sat : m_GPSData.m_Satellites) sat.m_bInView = false;
        }
        bLast = (n == m_nTotalGSV);
        // Written as a comparison rather than n + 1 > total so that no count the receiver sends
        // can overflow.
        m_nNextGSV = (n >= m_nTotalGSV) ? 1 : n + 1;

        parser.GetInt(m_GPSData.m_nSatellitesInView);
    } catch (const CParserException&) {
        return false;
    }
    parser.SetExceptionThrowing(false);

    // One record serves all blocks of the sentence: every field of it is set again before a
    // block is stored.
    CGPSSatelliteData record;
    for (int block = 0; block < kGSVBlocks; ++block) {
        if (!parser.GetInt(record.m_nPRN)) break;
        int nElevation = 0;
        if (!parser.GetInt(nElevation)) break;
        record.m_dElevation = replies::DegreesToRadians(nElevation);
        int nAzimuth = 0;
        if (!parser.GetInt(nAzimuth)) break;
        record.m_dAzimuth = replies::DegreesToRadians(nAzimuth);
        // Receivers leave the SNR empty for a satellite they see in the almanac but do not
        // track; that satellite gets 0 rather than the SNR of the block before it.
        int nSNR = 0;
        if (!parser.GetInt(nSNR)) nSNR = 0;
        record.m_nSNR = nSNR;

        int nSlot = 0;
        if (GetSatellite(record.m_nPRN, nSlot)) {
            record.m_bUsed = m_GPSData.m_Satellites[nSlot].m_bUsed;
        } else if (GetEmptySatellite(nSlot) || GetUnusedSatellite(nSlot)) {
            record.m_bUsed = false;
        } else {
            break;
        }
        record.m_bInView = true;
        m_GPSData.m_Satellites[nSlot] = record;
        m_GPSData.m_bSatellitesChanged = true;
    }

    m_GPSData.m_dMeanSNR = replies::MeanUsedSnr(m_GPSData);

    if (!bLast) return false;
    m_GPSData.m_bSVInfoValid = true;
    return true;
}

}  // namespace tolvik
