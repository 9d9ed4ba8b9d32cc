// Replies of the other brands: beacon MSS/MSK, "$PSLIR" parameters, "$PMCAG", "$>JSHOW", the
// kept information texts and the "$PGRME" error estimates.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace tolvik {
namespace {

using test::NmeaText;
using test::TestReceiver;

CGPSData& Data() { return CGPSReceiver::m_GPSData; }
CGPSStatusData& Status() { return CGPSReceiver::m_GPSData.m_Status; }

// The object representation of the shared epoch: equal snapshots mean nothing was written.
std::vector<unsigned char> Snapshot() {
    const auto* p = reinterpret_cast<const unsigned char*>(&CGPSReceiver::m_GPSData);
    return {p, p + sizeof(CGPSData)};
}

std::string ReplyText() {
    const char* text = Status().m_szReplyText;
    return std::string(text, strnlen(text, sizeof Status().m_szReplyText));
}

constexpr double kSurveyFoot = 1200.0 / 3937.0;

class OtherBrandRepliesTest : public ::testing::Test {
protected:
    void SetUp() override { CGPSReceiver::m_GPSData = CGPSData(); }
    using Handler = bool (TestReceiver::*)(CString&);
    bool Run(Handler handler, const CString& text) {
        CString s = text;
        return (rx.*handler)(s);
    }
    TestReceiver rx;
};

TEST_F(OtherBrandRepliesTest, BeaconStatus) {
    ASSERT_TRUE(Run(&TestReceiver::ProcessCRMSS, NmeaText("GPMSS,55,27,318.0,100,")));
    EXPECT_EQ(Status().m_nBeaconSignalStrength, 55);
    EXPECT_EQ(Status().m_nBeaconSNR, 27);
    EXPECT_DOUBLE_EQ(Status().m_dBeaconFrequency, 318.0);
    EXPECT_EQ(Status().m_nBeaconBitRate, 100);
    EXPECT_TRUE(Status().m_bBeaconStatusValid);
    EXPECT_TRUE(Status().m_bUpdated);

    // A bad frequency keeps the fields read before it and marks nothing.
    CGPSReceiver::m_GPSData = CGPSData();
    EXPECT_FALSE(Run(&TestReceiver::ProcessCRMSS, NmeaText("CRMSS,48,19,31x.5,200,")));
    EXPECT_EQ(Status().m_nBeaconSignalStrength, 48);
    EXPECT_EQ(Status().m_nBeaconSNR, 19);
    EXPECT_EQ(Status().m_dBeaconFrequency, 0.0);
    EXPECT_EQ(Status().m_nBeaconBitRate, 0);
    EXPECT_FALSE(Status().m_bBeaconStatusValid);
    EXPECT_FALSE(Status().m_bUpdated);
}

TEST_F(OtherBrandRepliesTest, BeaconModeTakesOnlyExactLetters) {
    struct Case {
        const char* legend;
        const char* body;
        bool autoTuneBefore;
        bool autoTuneAfter;
    };
    const std::vector<Case> cases = {
        {"automatic", "GPMSK,318.0,A,100,M,2", false, true},
        {"manual", "CRMSK,318.0,M,100,M,2", true, false},
        {"lower-case a keeps the flag", "GPMSK,318.0,a,100,M,2", false, false},
        {"empty keeps the flag", "GPMSK,318.0,,100,M,2", true, true},
        {"word keeps the flag", "GPMSK,318.0,AUTO,100,M,2", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        CGPSReceiver::m_GPSData = CGPSData();
        Status().m_bBeaconAutoTune = c.autoTuneBefore;
        EXPECT_TRUE(Run(&TestReceiver::ProcessCRMSK, NmeaText(c.body)));
        EXPECT_EQ(Status().m_bBeaconAutoTune, c.autoTuneAfter);
        EXPECT_TRUE(Status().m_bBeaconModeValid);
        EXPECT_TRUE(Status().m_bUpdated);
    }
}

TEST_F(OtherBrandRepliesTest, SlirNmeaSettings) {
    Status().m_NmeaStatus[NMEA_INDEX_SAT] = NMEA_MSG_OFF;
    Status().m_NmeaStatus[NMEA_INDEX_ZDA] = NMEA_MSG_ON;
    ASSERT_TRUE(Run(&TestReceiver::ProcessPSLIRParNmea,
                    NmeaText("PSLIR,PAR,NMEA,GGA:1,GSA:0.5,GSV:5,VTG:0,GLL:-1")));
    const NmeaMsgStatus* s = Status().m_NmeaStatus;
    EXPECT_EQ(s[NMEA_INDEX_GGA], NMEA_MSG_ON);
    EXPECT_EQ(s[NMEA_INDEX_GSA], NMEA_MSG_ON);
    EXPECT_EQ(s[NMEA_INDEX_GSV], NMEA_MSG_ON);
    EXPECT_EQ(s[NMEA_INDEX_VTG], NMEA_MSG_OFF);
    EXPECT_EQ(s[NMEA_INDEX_GLL], NMEA_MSG_OFF);
    EXPECT_EQ(s[NMEA_INDEX_ZDA], NMEA_MSG_UNKNOWN) << "no ZDA: item";
    EXPECT_EQ(s[NMEA_INDEX_SAT], NMEA_MSG_OFF) << "not part of this reply";
    EXPECT_TRUE(Status().m_bNmeaStatusValid);
    EXPECT_TRUE(Status().m_bUpdated);
}

TEST_F(OtherBrandRepliesTest, SlirNmeaSettingsStopAtAnUnreadableRate) {
    Status().m_NmeaStatus[NMEA_INDEX_ZDA] = NMEA_MSG_OFF;
    EXPECT_FALSE(Run(&TestReceiver::ProcessPSLIRParNmea,
                     NmeaText("PSLIR,PAR,NMEA,GGA:1,GSA:?,ZDA:1")));
    EXPECT_EQ(Status().m_NmeaStatus[NMEA_INDEX_GGA], NMEA_MSG_ON) << "read before the bad one";
    EXPECT_EQ(Status().m_NmeaStatus[NMEA_INDEX_GSA], NMEA_MSG_UNKNOWN) << "left as it was";
    EXPECT_EQ(Status().m_NmeaStatus[NMEA_INDEX_ZDA], NMEA_MSG_OFF) << "not reached";
    EXPECT_FALSE(Status().m_bNmeaStatusValid);
    EXPECT_FALSE(Status().m_bUpdated);
}

TEST_F(OtherBrandRepliesTest, SlirModeElevationMask) {
    struct Case {
        const char* legend;
        const char* body;
        bool ok;
        int mask;  // starts at 7
    };
    const std::vector<Case> cases = {
        {"mask given", "PSLIR,PAR,MODE,ELM:10,DIF:0", true, 10},
        {"no mask item confirms the mask held", "PSLIR,PAR,MODE,DIF:0", true, 7},
        {"unreadable mask", "PSLIR,PAR,MODE,ELM:,DIF:0", false, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        CGPSReceiver::m_GPSData = CGPSData();
        Status().m_nElevMask = 7;
        EXPECT_EQ(Run(&TestReceiver::ProcessPSLIRParMode, NmeaText(c.body)), c.ok);
        EXPECT_EQ(Status().m_nElevMask, c.mask);
        EXPECT_EQ(Status().m_bElevMaskValid, c.ok);
        EXPECT_EQ(Status().m_bUpdated, c.ok);
    }
}

TEST_F(OtherBrandRepliesTest, MagellanElevationMask) {
    struct Case {
        const char* legend;
        const char* body;
        bool ok;
        int mask;  // starts at 7
    };
    const std::vector<Case> cases = {
        {"truncated toward zero", "PMCAG,908,0,0,1,0,12.9,1", true, 12},
        {"negative truncated toward zero", "PMCAG,908,0,0,1,0,-3.7,1", true, -3},
        {"the query echoed", "PMCAG,004,908", false, 7},
        {"other reply", "PMCAG,9080,0,0,1,0,12.9,1", false, 7},
        {"mask as last field runs into the checksum", "PMCAG,908,0,0,1,0,12.9", false, 7},
        {"mask too large for an int", "PMCAG,908,0,0,1,0,1e300,1", false, 7},
        {"too few fields", "PMCAG,908,0,0", false, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        CGPSReceiver::m_GPSData = CGPSData();
        Status().m_nElevMask = 7;
        const auto before = Snapshot();
        EXPECT_EQ(Run(&TestReceiver::ProcessPMCAG, NmeaText(c.body)), c.ok);
        EXPECT_EQ(Status().m_nElevMask, c.mask);
        EXPECT_EQ(Status().m_bElevMaskValid, c.ok);
        EXPECT_EQ(Status().m_bUpdated, c.ok);
        if (!c.ok) {
            EXPECT_EQ(Snapshot(), before) << "a refused reply changes nothing";
        }
    }
}

TEST_F(OtherBrandRepliesTest, JshowSettingsReport) {
    struct Case {
        const char* legend;
        const wchar_t* line;
        bool ok;
        DgpsMode mode;  // starts as CDGPS with the valid flag clear
        bool modeValid;
        int mask;       // starts at 7
        int lbandTune;  // starts at 0
    };
    const std::vector<Case> cases = {
        {"beacon and more", L"$>JSHOW,DIFF,BEACON_RTCM\r\n", true, DGPS_MODE_BEACON, true, 7, 0},
        {"L-band", L"$>JSHOW,DIFF,LBAND\r\n", true, DGPS_MODE_LBAND, true, 7, 0},
        {"WAAS", L"$>JSHOW,DIFF,WAAS\r\n", true, DGPS_MODE_WAAS, true, 7, 0},
        {"unknown source is none", L"$>JSHOW,DIFF,X\r\n", true, DGPS_MODE_NONE, true, 7, 0},
        {"lower-case source is none", L"$>JSHOW,DIFF,beacon\r\n", true, DGPS_MODE_NONE, true, 7, 0},
        {"mask", L"$>JSHOW,MASK,5\r\n", true, DGPS_MODE_CDGPS, false, 5, 0},
        {"unreadable mask", L"$>JSHOW,MASK,low\r\n", false, DGPS_MODE_CDGPS, false, 7, 0},
        {"automatic frequency", L"$>JSHOW,FREQ,0.0,1200\r\n", true, DGPS_MODE_CDGPS, false, 7, 1},
        {"manual frequency", L"$>JSHOW,FREQ,1557.8450,1200\r\n", true, DGPS_MODE_CDGPS, false, 7,
         2},
        {"unreadable frequency", L"$>JSHOW,FREQ,,1200\r\n", false, DGPS_MODE_CDGPS, false, 7, 0},
        {"keyword case matters", L"$>JSHOW,diff,BEACON\r\n", false, DGPS_MODE_CDGPS, false, 7, 0},
        {"other keyword", L"$>JSHOW,BAUD,9600\r\n", false, DGPS_MODE_CDGPS, false, 7, 0},
        {"keyword without value", L"$>JSHOW,DIFF", false, DGPS_MODE_CDGPS, false, 7, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        CGPSReceiver::m_GPSData = CGPSData();
        Status().m_nDgpsMode = DGPS_MODE_CDGPS;
        Status().m_nElevMask = 7;
        EXPECT_EQ(Run(&TestReceiver::ProcessJSHOW, c.line), c.ok);
        EXPECT_EQ(Status().m_nDgpsMode, c.mode);
        EXPECT_EQ(Status().m_bDgpsModeValid, c.modeValid);
        EXPECT_EQ(Status().m_nElevMask, c.mask);
        EXPECT_EQ(Status().m_bElevMaskValid, c.mask != 7);
        EXPECT_EQ(Status().m_nLbandTuneMode, c.lbandTune);
        EXPECT_EQ(Status().m_bUpdated, c.ok);
    }
}

TEST_F(OtherBrandRepliesTest, JshowSentenceLinesOnlySwitchStatusesOn) {
    Status().m_NmeaStatus[NMEA_INDEX_GSA] = NMEA_MSG_OFF;
    ASSERT_TRUE(Run(&TestReceiver::ProcessJSHOW, L"$>JSHOW,ASC,GPGGA,1.0,PORTA\r\n"));
    ASSERT_TRUE(Run(&TestReceiver::ProcessJSHOW, L"$>JSHOW,ASC,GPGSV,5.0,PORTA\r\n"));
    EXPECT_EQ(Status().m_NmeaStatus[NMEA_INDEX_GGA], NMEA_MSG_ON);
    EXPECT_EQ(Status().m_NmeaStatus[NMEA_INDEX_GSV], NMEA_MSG_ON);
    EXPECT_EQ(Status().m_NmeaStatus[NMEA_INDEX_GSA], NMEA_MSG_OFF) << "not listed, kept";
    EXPECT_TRUE(Status().m_bNmeaStatusValid);

    CGPSReceiver::m_GPSData = CGPSData();
    Status().m_bNmeaStatusValid = true;
    EXPECT_FALSE(Run(&TestReceiver::ProcessJSHOW, L"$>JSHOW,ASC,GPRMC,1.0,PORTA\r\n"));
    EXPECT_FALSE(Status().m_bNmeaStatusValid) << "a sentence we do not track clears the flag";
    EXPECT_FALSE(Status().m_bUpdated);
    for (NmeaMsgStatus s : Status().m_NmeaStatus) EXPECT_EQ(s, NMEA_MSG_UNKNOWN);
}

TEST_F(OtherBrandRepliesTest, InformationTextsAreKeptWithinTheField) {
    std::wstring overlong = L"$>JI,";
    for (int i = 0; overlong.size() < 5000; ++i) overlong += std::to_wstring(i) + L",";
    struct Case {
        const char* legend;
        std::wstring text;
        std::string stored;
    };
    const std::vector<Case> cases = {
        {"kept whole, line end included", L"$>JI,311204,1,3,09091999,6.4Mar22b,96\r\n",
         "$>JI,311204,1,3,09091999,6.4Mar22b,96\r\n"},
        {"geoid reply", L"$>JGEO,Geoid=EGM96\r\n", "$>JGEO,Geoid=EGM96\r\n"},
        {"79 characters fit", L"$RD1," + std::wstring(74, L'x'), "$RD1," + std::string(74, 'x')},
        {"80 characters are cut", L"$RD1," + std::wstring(75, L'x'),
         "$RD1," + std::string(74, 'x')},
        {"overlong is cut", overlong, std::string(overlong.begin(), overlong.begin() + 79)},
        {"8-bit characters survive", L"$>JI,\x00E9\x00FF", "$>JI,\xE9\xFF"},
        {"wider characters become '?'", L"$>JI,\x20AC\x4E2D.", "$>JI,??."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        CGPSReceiver::m_GPSData = CGPSData();
        std::memset(Status().m_szReplyText, 'Z', sizeof Status().m_szReplyText);
        EXPECT_TRUE(Run(&TestReceiver::ProcessJiOrJgeoOrRd1, CString(c.text)));
        EXPECT_EQ(Status().m_szReplyText[79], '\0') << "always terminated inside the field";
        EXPECT_EQ(ReplyText(), c.stored);
        EXPECT_TRUE(Status().m_bReplyTextValid);
        EXPECT_TRUE(Status().m_bUpdated);
    }
}

TEST_F(OtherBrandRepliesTest, GarminErrorEstimates) {
    struct Case {
        const char* legend;
        const char* body;
        double horizontal, vertical, spherical;  // each starts at 9.0
    };
    const double ft = kSurveyFoot;
    const std::vector<Case> cases = {
        {"metres", "PGRME,15.0,M,45.0,M,25.0,M", 15.0, 45.0, 25.0},
        {"survey feet", "PGRME,10.0,F,20.0,f,30.0,F", 10.0 * ft, 20.0 * ft, 30.0 * ft},
        {"other unit left as is", "PGRME,10.0,K,20.0,,30.0,FT", 10.0, 20.0, 30.0},
        {"missing vertical keeps the old one", "PGRME,15.0,M,,M,25.0,M", 15.0, 9.0, 25.0},
        {"unread value is not converted again", "PGRME,15.0,F,x,F,25.0,M", 15.0 * ft, 9.0, 25.0},
        {"cut after the first value", "PGRME,15.0", 15.0, 9.0, 9.0},
        {"nothing readable", "PGRME", 9.0, 9.0, 9.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        CGPSReceiver::m_GPSData = CGPSData();
        Data().m_dHorzError = Data().m_dVertError = Data().m_dPosError = 9.0;
        EXPECT_TRUE(Run(&TestReceiver::ProcessGarminEstPrecision, NmeaText(c.body)));
        EXPECT_DOUBLE_EQ(Data().m_dHorzError, c.horizontal);
        EXPECT_DOUBLE_EQ(Data().m_dVertError, c.vertical);
        EXPECT_DOUBLE_EQ(Data().m_dPosError, c.spherical);
        EXPECT_FALSE(Status().m_bUpdated) << "travels with the next epoch posted";
    }
}

TEST_F(OtherBrandRepliesTest, GarminRecordingGivesMetres) {
    TOLVIK_REQUIRE_SHARED_DATA();
    int seen = 0;
    for (const std::string& line : test::ReadLines(test::SharedData("receivers/garmin17n.log"))) {
        if (line.rfind("$PGRME", 0) != 0) continue;
        ++seen;
        CString text = CString::FromBytes(line + "\r\n");
        EXPECT_TRUE(rx.ProcessGarminEstPrecision(text));
        EXPECT_DOUBLE_EQ(Data().m_dHorzError, 1.7);
        EXPECT_DOUBLE_EQ(Data().m_dVertError, 2.4);
        EXPECT_DOUBLE_EQ(Data().m_dPosError, 3.0);
    }
    EXPECT_GT(seen, 0);
}

TEST_F(OtherBrandRepliesTest, HostileTextsNeverBreakTheRecord) {
    std::mt19937 random(7);
    std::wstring garbage;
    for (int i = 0; i < 4000; ++i) garbage += static_cast<wchar_t>(random() % 256);
    const std::vector<std::pair<const wchar_t*, Handler>> handlers = {
        {L"$GPMSS", &TestReceiver::ProcessCRMSS},
        {L"$GPMSK", &TestReceiver::ProcessCRMSK},
        {L"$PSLIR,PAR,NMEA", &TestReceiver::ProcessPSLIRParNmea},
        {L"$PSLIR,PAR,MODE", &TestReceiver::ProcessPSLIRParMode},
        {L"$PMCAG", &TestReceiver::ProcessPMCAG},
        {L"$>JSHOW", &TestReceiver::ProcessJSHOW},
    };
    for (const auto& [header, handler] : handlers) {
        const std::wstring h = header;
        for (const std::wstring& text :
             {std::wstring(), h, h + std::wstring(5000, L','), h + std::wstring(5000, L'*'),
              h + L"," + std::wstring(5000, L'9'), h + garbage, garbage,
              h + L",GGA:" + std::wstring(4000, L'1') + L",ELM:" + std::wstring(4000, L'9')}) {
            SCOPED_TRACE(CString(header).ToBytes() + " text of " + std::to_string(text.size()));
            CGPSReceiver::m_GPSData = CGPSData();
            const bool ok = Run(handler, CString(text));
            EXPECT_EQ(Status().m_bUpdated, ok) << "published exactly when taken";
            EXPECT_EQ(Status().m_szReplyText[0], '\0');
        }
    }
    // The text handler keeps whatever comes, always terminated inside its field.
    for (const std::wstring& text : {std::wstring(), garbage, std::wstring(100000, L'\x2603')}) {
        EXPECT_TRUE(Run(&TestReceiver::ProcessJiOrJgeoOrRd1, CString(text)));
        EXPECT_LE(strnlen(Status().m_szReplyText, 80), 79u);
    }
}

}  // namespace
}  // namespace tolvik
