// Ashtech-style replies: the number readers, the on/off readers, the "$PASHR" satellite reply and
// raw routing, and the lines of the parameter reply.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
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
CString Text(const std::string& s) { return CString::FromBytes(s); }
double Rad(int degrees) { return degrees * std::numbers::pi / 180.0; }

// The object representation of the shared epoch: equal snapshots mean nothing was written.
std::vector<unsigned char> Snapshot() {
    const auto* p = reinterpret_cast<const unsigned char*>(&CGPSReceiver::m_GPSData);
    return {p, p + sizeof(CGPSData)};
}

class AshtechRepliesTest : public ::testing::Test {
protected:
    void SetUp() override {
        CGPSReceiver::m_GPSData = CGPSData();
        CGPSReceiver::m_GPSMessageRaw.Clear();
    }
    bool Pashr(const std::string& body) {
        CString s = NmeaText(body);
        return rx.ProcessPASHR(s);
    }
    TestReceiver rx;
};

// ---- Number readers

TEST_F(AshtechRepliesTest, ReadIntValueFollowsWcstolWith32BitLimits) {
    struct Case {
        const char* legend;
        std::wstring text;
        bool ok;
        int value;  // expected when ok
    };
    const std::vector<Case> cases = {
        {"plain", L"42", true, 42},
        {"largest value is the overflow mark", L"2147483647", false, 0},
        {"one below the largest", L"2147483646", true, 2147483646},
        {"smallest value is the overflow mark", L"-2147483648", false, 0},
        {"one above the smallest", L"-2147483647", true, -2147483647},
        {"beyond 32 bits saturates", L"99999999999", false, 0},
        {"leading zeros do not saturate", L"000000000000000000000012", true, 12},
        {"blank then zero", L" 0", true, 0},
        {"minus zero", L"-0", true, 0},
        {"empty", L"", false, 0},
        {"letter", L"x", false, 0},
        {"sign alone", L"-", false, 0},
        {"two signs", L"--5", false, 0},
        {"plus sign", L"+7", true, 7},
        {"C blanks skipped", L"\t\r\n\v\f 13", true, 13},
        {"stops at blank", L"10 ALT:5", true, 10},
        {"stops at point", L"12.9", true, 12},
        {"base 10 only", L"0x1A", true, 0},
        {"wide digit is not a digit", L"\x0661", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        int value = 1234;
        EXPECT_EQ(rx.ReadIntValue(CString(c.text), value), c.ok);
        EXPECT_EQ(value, c.ok ? c.value : 1234) << "written only on success";
    }
}

TEST_F(AshtechRepliesTest, ReadDoubleValueFollowsWcstodAndStoresBeforeJudging) {
    const double inf = HUGE_VAL;
    const std::wstring manyZeros(400, L'0');
    struct Case {
        const char* legend;
        std::wstring text;
        bool ok;
        double stored;
    };
    const std::vector<Case> cases = {
        {"plain", L"5.5", true, 5.5},
        {"blanks, sign, no integer part, dangling exponent", L" \t+.5e", true, 0.5},
        {"exponent", L"-1.25E2xyz", true, -125.0},
        {"stops at comma", L"12,5", true, 12.0},
        {"empty stores zero", L"", false, 0.0},
        {"letter stores zero", L"abc", false, 0.0},
        {"two signs", L"+-5", false, 0.0},
        {"overflow", L"1e400", false, inf},
        {"negative overflow", L"-1e400", false, -inf},
        {"overflow without exponent", L"1" + manyZeros, false, inf},
        {"underflow reads as zero", L"1e-400", true, 0.0},
        {"underflow without exponent", L"0." + manyZeros + L"1", true, 0.0},
        {"smallest denormal survives", L"4.9406564584124654e-324", true,
         std::numeric_limits<double>::denorm_min()},
        {"infinity equals the overflow value", L"inf", false, inf},
        {"hexadecimal", L"0x1p3", true, 8.0},
        {"hexadecimal prefix without digits is the zero", L"0x", true, 0.0},
        {"no sign after hexadecimal prefix", L"0x-5", true, 0.0},
        {"non-ASCII ends the number", L"7\x00B7" L"5", true, 7.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        double value = 1234.5;
        EXPECT_EQ(rx.ReadDoubleValue(CString(c.text), value), c.ok);
        EXPECT_EQ(value, c.stored);
    }
    double value = 0.0;
    EXPECT_TRUE(rx.ReadDoubleValue(L"nan", value)) << "a number was consumed";
    EXPECT_TRUE(std::isnan(value));
}

// ---- On/off readers

TEST_F(AshtechRepliesTest, OnOffWordsAreUpperCasePrefixes) {
    struct Case {
        const char* legend;
        const wchar_t* word;
        bool ok;
        NmeaMsgStatus status;
    };
    const std::vector<Case> cases = {
        {"on", L"ON", true, NMEA_MSG_ON},
        {"on with line end", L"ON\r\n", true, NMEA_MSG_ON},
        {"off", L"OFF", true, NMEA_MSG_OFF},
        {"off prefix", L"OFFLINE", true, NMEA_MSG_OFF},
        {"lower case", L"on", false, NMEA_MSG_UNKNOWN},
        {"too short", L"OF", false, NMEA_MSG_UNKNOWN},
        {"empty", L"", false, NMEA_MSG_UNKNOWN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        NmeaMsgStatus status = NMEA_MSG_ON;
        if (c.status == NMEA_MSG_ON) status = NMEA_MSG_OFF;
        EXPECT_EQ(rx.GetNmeaMsgStatus(CString(c.word), status), c.ok);
        EXPECT_EQ(status, c.status);
    }
}

TEST_F(AshtechRepliesTest, KeyedStatusReadsTheRateAfterTheKey) {
    struct Case {
        const char* legend;
        const wchar_t* text;
        bool ok;
        NmeaMsgStatus status;  // the status starts as NMEA_MSG_ON
    };
    const std::vector<Case> cases = {
        {"key absent", L"$PSLIR,PAR,NMEA,GSA:1*00", true, NMEA_MSG_UNKNOWN},
        {"fraction above zero", L"GSA:1,GGA:0.5,VTG:0", true, NMEA_MSG_ON},
        {"zero", L"GGA:0,GSA:1", true, NMEA_MSG_OFF},
        {"unreadable value leaves the status", L"GGA:x,GSA:1", false, NMEA_MSG_ON},
        {"key at the end", L"GGA:", false, NMEA_MSG_ON},
        {"first occurrence counts", L"GGA:0 GGA:1", true, NMEA_MSG_OFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        NmeaMsgStatus status = NMEA_MSG_ON;
        EXPECT_EQ(rx.GetNmeaMsgStatus(CString(c.text), status, CString(L"GGA:")), c.ok);
        EXPECT_EQ(status, c.status);
    }
}

// ---- "$PASHR,SAT"

TEST_F(AshtechRepliesTest, SatelliteReplyFillsTheTable) {
    ASSERT_TRUE(Pashr("PASHR,SAT,04,03,103,56,50,U,23,225,61,52,u,16,045,12,38,-,19,310,33,47,X"));

    EXPECT_EQ(Data().m_nSatellitesInView, 4);
    struct Expected {
        int prn, azimuth, elevation, snr;
        bool used;
    };
    const Expected expected[] = {
        {3, 103, 56, 50, true}, {23, 225, 61, 52, true}, {16, 45, 12, 38, false},
        {19, 310, 33, 47, false}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const CGPSSatelliteData& sat = Data().m_Satellites[i];
        EXPECT_EQ(sat.m_nPRN, expected[i].prn);
        EXPECT_DOUBLE_EQ(sat.m_dAzimuth, Rad(expected[i].azimuth));
        EXPECT_DOUBLE_EQ(sat.m_dElevation, Rad(expected[i].elevation));
        EXPECT_EQ(sat.m_nSNR, expected[i].snr);
        EXPECT_EQ(sat.m_bUsed, expected[i].used) << "\"U\" in any case is used, all else not";
        EXPECT_TRUE(sat.m_bInView);
    }
    EXPECT_EQ(Data().m_Satellites[4].m_nPRN, 0);
    EXPECT_DOUBLE_EQ(Data().m_dMeanSNR, 51.0);
    EXPECT_TRUE(Data().m_bSVInfoValid);
    EXPECT_TRUE(Data().m_bSatellitesChanged);
}

TEST_F(AshtechRepliesTest, EmptySatelliteReplyKeepsSlotsButClearsInView) {
    for (int i = 0; i < 3; ++i) {
        Data().m_Satellites[i].m_nPRN = 10 + i;
        Data().m_Satellites[i].m_bInView = true;
        Data().m_Satellites[i].m_nSNR = 30 + 10 * i;
        Data().m_Satellites[i].m_bUsed = i != 1;
    }
    Data().m_nSatellitesInView = 3;

    ASSERT_TRUE(Pashr("PASHR,SAT,00"));
    EXPECT_EQ(Data().m_nSatellitesInView, 0);
    for (const CGPSSatelliteData& sat : Data().m_Satellites) EXPECT_FALSE(sat.m_bInView);
    EXPECT_EQ(Data().m_Satellites[2].m_nPRN, 12);
    EXPECT_DOUBLE_EQ(Data().m_dMeanSNR, 40.0) << "slots still marked used count: (30 + 50) / 2";
    EXPECT_TRUE(Data().m_bSVInfoValid);
    EXPECT_FALSE(Data().m_bSatellitesChanged);
}

TEST_F(AshtechRepliesTest, KnownSatelliteKeepsItsSlot) {
    Data().m_Satellites[0].m_nPRN = 5;
    Data().m_Satellites[3].m_nPRN = 9;
    Data().m_Satellites[3].m_bUsed = true;

    ASSERT_TRUE(Pashr("PASHR,sat,01,09,270,10,33,-")) << "the type ignores case";
    EXPECT_EQ(Data().m_Satellites[3].m_nPRN, 9);
    EXPECT_FALSE(Data().m_Satellites[3].m_bUsed) << "the whole slot is replaced";
    EXPECT_EQ(Data().m_Satellites[3].m_nSNR, 33);
    EXPECT_EQ(Data().m_Satellites[1].m_nPRN, 0) << "no second slot taken";
}

TEST_F(AshtechRepliesTest, GroupsWithoutASlotAreDroppedAndReadingGoesOn) {
    for (int i = 0; i < CGPSData::kMaxSatellites; ++i) {
        Data().m_Satellites[i].m_nPRN = i + 1;
        Data().m_Satellites[i].m_bUsed = true;
        Data().m_Satellites[i].m_nSNR = 40;
    }
    ASSERT_TRUE(Pashr("PASHR,SAT,04,30,010,10,20,U,05,050,50,44,U,31,020,20,21,U,07,070,70,46,U"));

    for (int i = 0; i < CGPSData::kMaxSatellites; ++i) {
        EXPECT_EQ(Data().m_Satellites[i].m_nPRN, i + 1) << "30 and 31 found no slot";
    }
    EXPECT_EQ(Data().m_Satellites[4].m_nSNR, 44);
    EXPECT_EQ(Data().m_Satellites[6].m_nSNR, 46) << "the group after a dropped one is read";
    EXPECT_DOUBLE_EQ(Data().m_dMeanSNR, (10 * 40 + 44 + 46) / 12.0);
}

TEST_F(AshtechRepliesTest, CutSatelliteReplyKeepsWhatWasStored) {
    EXPECT_FALSE(Pashr("PASHR,SAT,03,03,103,56,50,U,23,225"));
    EXPECT_EQ(Data().m_nSatellitesInView, 3);
    EXPECT_EQ(Data().m_Satellites[0].m_nPRN, 3);
    EXPECT_EQ(Data().m_Satellites[1].m_nPRN, 0);
    EXPECT_FALSE(Data().m_bSVInfoValid);
}

TEST_F(AshtechRepliesTest, RepliesThatAreNotSatOrRawAreRefusedUntouched) {
    const auto before = Snapshot();
    for (const char* body : {"PASHR,MCA,garbage", "PASHR,SAL,garbage", "PASHR,POS,3,12",
                             "PASHR,SATX,01,07,180,45,40,U", "PASHR"}) {
        SCOPED_TRACE(body);
        EXPECT_FALSE(Pashr(body));
    }
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(rx.m_nRawMessageCount, 0);
}

// ---- Raw routing

// A raw record as the receiver sends it: head, payload with its word sum, one trailing byte.
std::string RawRecord(const std::string& type, std::vector<unsigned char> payload) {
    unsigned sum = 0;
    for (std::size_t i = 0; i + 2 < payload.size(); i += 2) {
        sum += payload[i] << 8 | payload[i + 1];
    }
    payload[payload.size() - 2] = static_cast<unsigned char>(sum >> 8);
    payload[payload.size() - 1] = static_cast<unsigned char>(sum);
    return "$PASHR," + type + "," + std::string(payload.begin(), payload.end()) + "\n";
}

// A record no decoder accepts: zero payload whose checksum says 1.
std::string BadRawRecord(const std::string& type, int payloadBytes) {
    std::string record = "$PASHR," + type + "," + std::string(payloadBytes, '\0') + "\n";
    record[11 + payloadBytes - 1] = '\x01';
    return record;
}

TEST_F(AshtechRepliesTest, RawRecordsAreCountedAndRefusedWhenShort) {
    struct Case {
        const char* legend;
        std::string bytes;
        int attached;  // bytes handed to the buffer; -1 none at all
        int claimed;   // message length the buffer reports
        int errors;
    };
    const std::string mbn = BadRawRecord("MBN", 42);
    const std::vector<Case> cases = {
        {"MBN refused by its decoder", mbn, 54, 54, 1},
        {"PBN refused by its decoder", BadRawRecord("PBN", 56), 68, 68, 1},
        {"SNV refused by its decoder", BadRawRecord("SNV", 132), 144, 144, 1},
        {"type in lower case", BadRawRecord("mbn", 42), 54, 54, 1},
        {"no bytes attached", mbn, -1, 0, 0},
        {"head alone", mbn, 11, 11, 0},
        {"one payload byte short", mbn, 52, 52, 0},
        {"buffer claims more than it holds", mbn, 20, 54, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        rx.m_nRawMessageCount = 0;
        rx.m_nRawMessageErrors = 0;
        if (c.attached < 0) {
            CGPSReceiver::m_GPSMessageRaw.Clear();
        } else {
            // An exact-size copy, so that AddressSanitizer sees any read past the attached bytes.
            std::vector<char> bytes(c.bytes.begin(), c.bytes.begin() + c.attached);
            CGPSReceiver::m_GPSMessageRaw.Set(bytes.data(), c.attached, c.claimed);
        }
        CString text = Text(c.bytes.substr(0, c.bytes.find('\0'))) + L"\n";
        EXPECT_FALSE(rx.ProcessPASHR(text));
        EXPECT_EQ(rx.m_nRawMessageCount, 1);
        EXPECT_EQ(rx.m_nRawMessageErrors, c.errors);
    }
}

TEST_F(AshtechRepliesTest, RawPayloadStartsAfterTheHead) {
    std::vector<unsigned char> payload(42, 0);
    payload[0] = 1;    // first byte of an MBN head
    payload[2] = 17;   // PRN
    payload[9] = 24;   // required flag value
    const std::string record = RawRecord("MBN", payload);
    CGPSReceiver::m_GPSMessageRaw.Set(record.data(), static_cast<int>(record.size()), 54);
    CString text = CGPSReceiver::m_GPSMessageRaw.GetMessage();

    EXPECT_TRUE(rx.ProcessPASHR(text)) << "the decoder saw a valid record at byte 11";
    EXPECT_EQ(rx.m_nRawMessageCount, 1);
    EXPECT_EQ(rx.m_nRawMessageErrors, 0);
}

// ---- Parameter reply lines

TEST_F(AshtechRepliesTest, PositionModeLineStopsAtTheFirstBadItem) {
    struct Case {
        const char* legend;
        const wchar_t* line;
        bool ok;
        int posMode, pdop, hdop, vdop;
        double altitude;  // starts at -7
    };
    const std::vector<Case> cases = {
        {"complete", L"PMD:1 ALT:+00123.50 PDP:40 HDP:04 VDP:06 FIX:0 UNH:OFF ION:N\r\n", true,
         1, 40, 4, 6, 123.5},
        {"keys in any order", L"VDP:06 HDP:04 PDP:40 ALT:-5 PMD:2", true, 2, 40, 4, 6, -5.0},
        {"bad HDP keeps what came before", L"PMD:2 ALT:15.0 PDP:30 HDP:x VDP:04", false, 2, 30, 0,
         0, 15.0},
        {"missing VDP", L"PMD:2 ALT:15.0 PDP:30 HDP:05", false, 2, 30, 5, 0, 15.0},
        {"bad altitude stored as converted", L"PMD:3 ALT:abc PDP:30", false, 3, 0, 0, 0, 0.0},
        {"no PMD key", L"ALT:15.0 PDP:30 HDP:05 VDP:04", false, 0, 0, 0, 0, -7.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        CGPSReceiver::m_GPSData = CGPSData();
        Status().m_dFixedAltitude = -7.0;
        CString line = c.line;
        EXPECT_EQ(rx.ProcessPARPMD(line), c.ok);
        EXPECT_EQ(Status().m_nPosMode, c.posMode);
        EXPECT_EQ(Status().m_nPDOPMask, c.pdop);
        EXPECT_EQ(Status().m_nHDOPMask, c.hdop);
        EXPECT_EQ(Status().m_nVDOPMask, c.vdop);
        EXPECT_EQ(Status().m_dFixedAltitude, c.altitude);
        EXPECT_EQ(Status().m_bPosModeValid, c.ok);
        EXPECT_EQ(Status().m_bUpdated, c.ok);
    }
}

TEST_F(AshtechRepliesTest, OutputPeriodLine) {
    CString line = L"PER:001.00 ELM:10\r\n";
    ASSERT_TRUE(rx.ProcessPARPER(line));
    EXPECT_DOUBLE_EQ(Status().m_dOutputPeriod, 1.0);
    EXPECT_TRUE(Status().m_bUpdated);

    CGPSReceiver::m_GPSData = CGPSData();
    line = L"PER:***";
    EXPECT_FALSE(rx.ProcessPARPER(line));
    EXPECT_EQ(Status().m_dOutputPeriod, 0.0) << "the converted value replaces -1";
    EXPECT_FALSE(Status().m_bUpdated);
}

TEST_F(AshtechRepliesTest, ElevationMaskLine) {
    struct Case {
        const char* legend;
        const wchar_t* line;
        bool ok;
        int mask;
        bool saved;  // m_bElevMaskSaved starts true
    };
    const std::vector<Case> cases = {
        {"saved", L"PEM:10 SAV:Y\r\n", true, 10, true},
        {"not saved", L"PEM:10 SAV:N\r\n", true, 10, false},
        {"Y looked for first", L"PEM:05 SAV:N SAV:Y", true, 5, true},
        {"no SAV item keeps the mask read", L"PEM:10\r\n", false, 10, true},
        {"unreadable mask", L"PEM:high SAV:N", false, 77, true},
        {"blank field 2", L"PEM: 10 SAV:Y", false, 77, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        CGPSReceiver::m_GPSData = CGPSData();
        Status().m_nElevMask = 77;
        Status().m_bElevMaskSaved = true;
        Status().m_bElevMaskFlag = false;
        CString line = c.line;
        EXPECT_EQ(rx.ProcessPARPEM(line), c.ok);
        EXPECT_EQ(Status().m_nElevMask, c.mask);
        EXPECT_EQ(Status().m_bElevMaskSaved, c.saved);
        EXPECT_EQ(Status().m_bElevMaskValid, c.ok);
        EXPECT_EQ(Status().m_bElevMaskFlag, c.ok);
        EXPECT_EQ(Status().m_bUpdated, c.ok);
    }
}

TEST_F(AshtechRepliesTest, NmeaTableLineReadsItsColumns) {
    CString line = L"PRTA:  ON  OFF ON  OFF ON  ON  OFF OFF ON  ON  OFF OFF OFF OFF ON  OFF\r\n";
    Status().m_NmeaStatus[NMEA_INDEX_GSV] = NMEA_MSG_OFF;
    ASSERT_TRUE(rx.ProcessPARPRTA(line));
    EXPECT_EQ(line, L"PRTA: ON OFF ON OFF ON ON OFF OFF ON ON OFF OFF OFF OFF ON OFF\r\n")
        << "the caller's string holds the folded line";
    const NmeaMsgStatus* s = Status().m_NmeaStatus;
    EXPECT_EQ(s[NMEA_INDEX_GLL], NMEA_MSG_OFF);  // field 5
    EXPECT_EQ(s[NMEA_INDEX_GGA], NMEA_MSG_ON);   // field 7
    EXPECT_EQ(s[NMEA_INDEX_VTG], NMEA_MSG_OFF);  // field 8
    EXPECT_EQ(s[NMEA_INDEX_GSA], NMEA_MSG_ON);   // field 11
    EXPECT_EQ(s[NMEA_INDEX_SAT], NMEA_MSG_OFF);  // field 12
    EXPECT_EQ(s[NMEA_INDEX_ZDA], NMEA_MSG_ON);   // field 16
    EXPECT_EQ(s[NMEA_INDEX_GSV], NMEA_MSG_OFF) << "GSV is not in this line";
    EXPECT_TRUE(Status().m_bNmeaStatusValid);
    EXPECT_TRUE(Status().m_bUpdated);
}

TEST_F(AshtechRepliesTest, NmeaTableFoldingIsOnePassOverPairs) {
    // Three blanks become two, which leaves an empty field: the columns shift by one.
    CString line = L"PRTA: a b c   ON e ON ON g h ON OFF i j k ON";
    EXPECT_FALSE(rx.ProcessPARPRTA(line));
    EXPECT_EQ(line, L"PRTA: a b c  ON e ON ON g h ON OFF i j k ON");
    EXPECT_EQ(Status().m_NmeaStatus[NMEA_INDEX_GLL], NMEA_MSG_UNKNOWN) << "field 5 is empty";
}

TEST_F(AshtechRepliesTest, NmeaTableLineStopsAtAWordThatIsNeitherOnNorOff) {
    CString line = L"PRTA: ON OFF ON OFF ON on OFF OFF ON ON OFF OFF OFF OFF ON OFF";
    Status().m_NmeaStatus[NMEA_INDEX_VTG] = NMEA_MSG_ON;
    EXPECT_FALSE(rx.ProcessPARPRTA(line));
    EXPECT_EQ(Status().m_NmeaStatus[NMEA_INDEX_GLL], NMEA_MSG_OFF) << "read before the bad word";
    EXPECT_EQ(Status().m_NmeaStatus[NMEA_INDEX_GGA], NMEA_MSG_UNKNOWN) << "lower-case \"on\"";
    EXPECT_EQ(Status().m_NmeaStatus[NMEA_INDEX_VTG], NMEA_MSG_ON) << "not reached";
    EXPECT_FALSE(Status().m_bNmeaStatusValid);

    line = L"PRTA: ON OFF ON OFF ON ON";  // too few columns
    EXPECT_FALSE(rx.ProcessPARPRTA(line));
}

// ---- Robustness

// Texts no receiver sends on purpose: cut, overlong, without separators, binary.
std::vector<CString> HostileTexts(const std::wstring& header) {
    std::mt19937 random(20240611);
    std::wstring garbage;
    for (int i = 0; i < 4000; ++i) garbage += static_cast<wchar_t>(random() % 256);
    std::wstring wide;
    for (int i = 0; i < 500; ++i) wide += static_cast<wchar_t>(0x100 + random() % 0x10000);
    return {
        L"",
        header,
        header + L",",
        header + std::wstring(5000, L','),
        header + std::wstring(5000, L' '),
        header + std::wstring(5000, L'9'),
        header + L"," + std::wstring(5000, L'U'),
        header + L",SAT,2147483646,1,2,3,4,U,5,6,7,8,U*00\r\n",
        header + garbage,
        garbage,
        wide,
        L"PMD:PMD:PMD:ALT:PDP:HDP:VDP:" + std::wstring(3000, L':'),
    };
}

TEST_F(AshtechRepliesTest, HostileTextsNeverBreakTheRecord) {
    using Handler = bool (TestReceiver::*)(CString&);
    const std::vector<std::pair<const wchar_t*, Handler>> handlers = {
        {L"$PASHR", &TestReceiver::ProcessPASHR}, {L"PMD:", &TestReceiver::ProcessPARPMD},
        {L"PER:", &TestReceiver::ProcessPARPER},  {L"PEM:", &TestReceiver::ProcessPARPEM},
        {L"PRTA:", &TestReceiver::ProcessPARPRTA},
    };
    for (const auto& [header, handler] : handlers) {
        for (CString text : HostileTexts(header)) {
            SCOPED_TRACE(CString(header).ToBytes() + " text of " +
                         std::to_string(text.GetLength()) + " characters");
            CGPSReceiver::m_GPSData = CGPSData();
            EXPECT_FALSE((rx.*handler)(text));
            EXPECT_FALSE(Data().m_bSVInfoValid);
            EXPECT_FALSE(Status().m_bUpdated);
            EXPECT_FALSE(Status().m_bPosModeValid);
            EXPECT_FALSE(Status().m_bNmeaStatusValid);
            EXPECT_FALSE(Status().m_bElevMaskValid);
        }
    }
    EXPECT_EQ(rx.m_nRawMessageCount, 0);
}

}  // namespace
}  // namespace tolvik
