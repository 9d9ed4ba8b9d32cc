// Command-log replies: the log list, the elevation cut-off, the kept text logs and the correction
// source logs, including logs that are cut short or carry no data part.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace tolvik {
namespace {

using test::TestReceiver;

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

// A log as the receiver frames it: "#NAMEA,<header>;<data>*<crc>\r\n".
std::wstring Log(const std::wstring& name, const std::wstring& data) {
    return L"#" + name + L"A,COM1,0,80.0,FINESTEERING,1337,404600.000,00000000,0e4c,1984;" + data +
           L"*1a2b3c4d\r\n";
}

class LogRepliesTest : public ::testing::Test {
protected:
    void SetUp() override { CGPSReceiver::m_GPSData = CGPSData(); }
    using Handler = bool (TestReceiver::*)(CString&);
    bool Run(Handler handler, const std::wstring& text) {
        CString s(text);
        return (rx.*handler)(s);
    }
    TestReceiver rx;
};

TEST_F(LogRepliesTest, LogListMarksNamedSentencesOnAndTheRestOff) {
    struct Case {
        const char* legend;
        std::wstring data;
        std::vector<NmeaMsgStatus> expected;  // GGA GSA ZDA GLL VTG SAT GSV
    };
    const NmeaMsgStatus on = NMEA_MSG_ON;
    const NmeaMsgStatus off = NMEA_MSG_OFF;
    const std::vector<Case> cases = {
        {"a longer name counts", L"1,COM1,GPGGALONG,ONTIME,1.0,0.0,NOHOLD",
         {on, off, off, off, off, off, off}},
        {"all seven",
         L"7,COM1,GPGGA,ONTIME,1,COM1,GPGSA,ONTIME,1,COM1,GPZDA,ONTIME,1,COM1,GPGLL,ONTIME,1,"
         L"COM1,GPVTG,ONTIME,1,COM1,GPSAT,ONTIME,1,COM1,GPGSV,ONTIME,5",
         {on, on, on, on, on, on, on}},
        {"none", L"1,COM1,RXSTATUSEVENTA,ONNEW,0.0,0.0,HOLD", {off, off, off, off, off, off, off}},
        {"case matters", L"2,COM1,gpgga,ONTIME,1,COM1,GPGSV,ONTIME,5",
         {off, off, off, off, off, off, on}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        CGPSReceiver::m_GPSData = CGPSData();
        EXPECT_TRUE(Run(&TestReceiver::ProcessLOGLIST, Log(L"LOGLIST", c.data)));
        EXPECT_EQ(std::vector<NmeaMsgStatus>(Status().m_NmeaStatus, Status().m_NmeaStatus + 7),
                  c.expected);
        EXPECT_TRUE(Status().m_bNmeaStatusValid);
        EXPECT_TRUE(Status().m_bUpdated);
    }
}

TEST_F(LogRepliesTest, ReceiverConfigurationIsTakenAndIgnored) {
    const auto before = Snapshot();
    EXPECT_TRUE(Run(&TestReceiver::ProcessRXCONFIG, Log(L"RXCONFIG", L"#ECUTOFFA,COM1;5.0")));
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(LogRepliesTest, ElevationCutoff) {
    struct Case {
        const char* legend;
        std::wstring text;
        bool ok;
        int mask;  // starts at 7
    };
    const std::vector<Case> cases = {
        {"truncated toward zero", Log(L"ECUTOFF", L"5.5"), true, 5},
        {"negative", Log(L"ECUTOFF", L"-2.5"), true, -2},
        {"blanks before the value", Log(L"ECUTOFF", L" 10.0"), true, 10},
        {"no end mark", L"#ECUTOFFA,COM1,0,77.5,FINESTEERING;5.5\r\n", false, 7},
        {"end mark only before the data", L"#ECUTOFFA,COM1*0;5.5\r\n", false, 7},
        {"no header end reads from the start", L"#ECUTOFFA,COM1,5.5*1a2b3c4d\r\n", false, 7},
        {"no value", Log(L"ECUTOFF", L""), false, 7},
        {"letters", Log(L"ECUTOFF", L"high"), false, 7},
        {"too large for an int", Log(L"ECUTOFF", L"1e10"), false, 7},
        {"overflow", Log(L"ECUTOFF", L"1e999"), false, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        CGPSReceiver::m_GPSData = CGPSData();
        Status().m_nElevMask = 7;
        const auto before = Snapshot();
        EXPECT_EQ(Run(&TestReceiver::ProcessECUTOFF, c.text), c.ok);
        EXPECT_EQ(Status().m_nElevMask, c.mask);
        EXPECT_EQ(Status().m_bElevMaskValid, c.ok);
        EXPECT_EQ(Status().m_bUpdated, c.ok);
        if (!c.ok) {
            EXPECT_EQ(Snapshot(), before) << "a refused log changes nothing";
        }
    }
}

TEST_F(LogRepliesTest, TextLogsAreKeptBehindTheirHead) {
    struct Case {
        const char* legend;
        Handler handler;
        std::wstring text;
        std::string stored;
    };
    const std::wstring hp = L"SOL_COMPUTED,OMNISTAR_HP,51.11636937989,-114.03825348307,1064.3470,"
                            L"-16.2708,WGS84,0.0108,0.0091,0.0199";
    const std::vector<Case> cases = {
        {"OmniSTAR information", &TestReceiver::ProcessOMNIINFO,
         Log(L"OMNIINFO", L"1557845000,1200,FFFF"), "$OMNII,1557845000,1200,FFFF*"},
        {"OmniSTAR status", &TestReceiver::ProcessOMNISTAT, Log(L"OMNISTAT", L"LOCKED,45.2"),
         "$OMNIS,LOCKED,45.2*"},
        {"WAAS message", &TestReceiver::ProcessWAAS1, Log(L"WAAS1", L"122,0"), "$WAAS1,122,0*"},
        {"HP position keeps five fields", &TestReceiver::ProcessOMNIHPPOS, Log(L"OMNIHPPOS", hp),
         "$OMNIP,SOL_COMPUTED,OMNISTAR_HP,51.11636937989,-114.03825348307,1064.3470,"},
        {"empty data", &TestReceiver::ProcessWAAS1, Log(L"WAAS1", L""), "$WAAS1,*"},
        {"first end mark after the header end", &TestReceiver::ProcessOMNISTAT,
         L"#OMNISTATA,COM1*77;LOCKED*1a2b3c4d\r\n", "$OMNIS,LOCKED*"},
        {"overlong data is cut", &TestReceiver::ProcessOMNIINFO,
         Log(L"OMNIINFO", std::wstring(5000, L'7')), "$OMNII," + std::string(72, '7')},
        {"wide characters become '?'", &TestReceiver::ProcessOMNIINFO,
         Log(L"OMNIINFO", L"\x263A,\x00E9"), "$OMNII,?,\xE9*"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        CGPSReceiver::m_GPSData = CGPSData();
        EXPECT_TRUE(Run(c.handler, c.text));
        EXPECT_EQ(ReplyText(), c.stored);
        EXPECT_EQ(Status().m_szReplyText[79], '\0');
        EXPECT_TRUE(Status().m_bReplyTextValid);
        EXPECT_TRUE(Status().m_bUpdated);
    }
}

TEST_F(LogRepliesTest, TextLogsWithoutDataPartOrEndAreRefusedUntouched) {
    struct Case {
        const char* legend;
        Handler handler;
        std::wstring text;
    };
    const std::vector<Case> cases = {
        {"no header end", &TestReceiver::ProcessOMNIINFO, L"#OMNIINFOA,COM1,0,81.0*1c2d3e4f\r\n"},
        {"no end mark", &TestReceiver::ProcessOMNISTAT, L"#OMNISTATA,COM1;LOCKED,45.2\r\n"},
        {"end mark before the header end", &TestReceiver::ProcessWAAS1, L"#WAAS1A,COM1*0;122\r\n"},
        {"fewer than five fields", &TestReceiver::ProcessOMNIHPPOS,
         Log(L"OMNIHPPOS", L"SOL_COMPUTED,OMNISTAR_HP,51.1,-114.0")},
        {"empty", &TestReceiver::ProcessOMNIHPPOS, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        CGPSReceiver::m_GPSData = CGPSData();
        std::strcpy(Status().m_szReplyText, "$OMNIS,earlier*");
        const auto before = Snapshot();
        EXPECT_FALSE(Run(c.handler, c.text));
        EXPECT_EQ(Snapshot(), before);
    }
}

TEST_F(LogRepliesTest, CorrectionSourceLogsMatchTheFirstFieldWithItsComma) {
    const Handler rtk = &TestReceiver::ProcessRTKSOURCE;
    const Handler sbas = &TestReceiver::ProcessSBASCONTROL;
    const Handler psr = &TestReceiver::ProcessPSRDIFFSOURCE;
    constexpr int kKept = -1;  // the mode, WAAS before, stays and nothing is written
    struct Case {
        const char* legend;
        Handler handler;
        std::wstring text;
        bool ok;
        int mode;
    };
    const std::vector<Case> cases = {
        {"RTK from OmniSTAR", rtk, Log(L"RTKSOURCE", L"OMNISTAR,ANY"), true, DGPS_MODE_LBAND},
        {"RTK automatic", rtk, Log(L"RTKSOURCE", L"AUTO,ANY"), true, DGPS_MODE_BEACON},
        {"RTK none", rtk, Log(L"RTKSOURCE", L"NONE,ANY"), true, kKept},
        {"RTK without comma", rtk, Log(L"RTKSOURCE", L"AUTO"), true, kKept},
        {"RTK lower case", rtk, Log(L"RTKSOURCE", L"auto,ANY"), true, kKept},
        {"SBAS enabled automatic", sbas, Log(L"SBASCONTROL", L"ENABLE,AUTO,0,NONE"), true,
         DGPS_MODE_WAAS},
        {"SBAS enabled for one system", sbas, Log(L"SBASCONTROL", L"ENABLE,WAAS,0,NONE"), true,
         kKept},
        {"SBAS automatic prefix only", sbas, Log(L"SBASCONTROL", L"ENABLE,AUTOMATIC,0"), true,
         kKept},
        {"SBAS disabled", sbas, Log(L"SBASCONTROL", L"DISABLE,AUTO,0,NONE"), true, kKept},
        {"pseudorange OmniSTAR", psr, Log(L"PSRDIFFSOURCE", L"OMNISTAR,\"ANY\""), true,
         DGPS_MODE_OMNISTAR},
        {"pseudorange CDGPS", psr, Log(L"PSRDIFFSOURCE", L"CDGPS,\"ANY\""), true,
         DGPS_MODE_CDGPS},
        {"pseudorange longer name", psr, Log(L"PSRDIFFSOURCE", L"OMNISTARXP,\"ANY\""), true,
         kKept},
        {"pseudorange SBAS", psr, Log(L"PSRDIFFSOURCE", L"SBAS,\"ANY\""), true, kKept},
        {"comma only past the end mark", psr, L"#PSRDIFFSOURCEA,COM1;CDGPS*1a,2b\r\n", true,
         kKept},
        {"RTK without header end", rtk, L"#RTKSOURCEA,COM1,OMNISTAR,ANY*1a2b3c4d\r\n", false,
         kKept},
        {"SBAS without end mark", sbas, L"#SBASCONTROLA,COM1;ENABLE,AUTO,0\r\n", false, kKept},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        CGPSReceiver::m_GPSData = CGPSData();
        Status().m_nDgpsMode = DGPS_MODE_WAAS;
        const auto before = Snapshot();
        EXPECT_EQ(Run(c.handler, c.text), c.ok);
        if (c.mode == kKept) {
            EXPECT_EQ(Snapshot(), before) << "an unknown source changes nothing";
        } else {
            EXPECT_EQ(Status().m_nDgpsMode, c.mode);
            EXPECT_TRUE(Status().m_bDgpsModeValid);
            EXPECT_TRUE(Status().m_bUpdated);
        }
    }
}

TEST_F(LogRepliesTest, HostileLogsNeverBreakTheRecord) {
    std::mt19937 random(11);
    std::wstring garbage;
    for (int i = 0; i < 4000; ++i) garbage += static_cast<wchar_t>(random() % 256);
    const std::vector<Handler> handlers = {
        &TestReceiver::ProcessLOGLIST,    &TestReceiver::ProcessRXCONFIG,
        &TestReceiver::ProcessECUTOFF,    &TestReceiver::ProcessOMNIINFO,
        &TestReceiver::ProcessOMNISTAT,   &TestReceiver::ProcessOMNIHPPOS,
        &TestReceiver::ProcessWAAS1,      &TestReceiver::ProcessRTKSOURCE,
        &TestReceiver::ProcessSBASCONTROL, &TestReceiver::ProcessPSRDIFFSOURCE,
    };
    const std::vector<std::wstring> texts = {
        L"",
        L";",
        L"*",
        L"*;",
        L";*",
        std::wstring(5000, L';'),
        std::wstring(5000, L','),
        L";" + std::wstring(5000, L',') + L"*",
        L"#X;" + std::wstring(100000, L'A') + L"*",
        L"#X;" + std::wstring(3000, L'\x2603') + L",,,,,*",
        garbage,
        L"#X;" + garbage,
    };
    for (std::size_t h = 0; h < handlers.size(); ++h) {
        for (const std::wstring& text : texts) {
            SCOPED_TRACE("handler " + std::to_string(h) + ", text of " +
                         std::to_string(text.size()) + " characters");
            CGPSReceiver::m_GPSData = CGPSData();
            std::memset(Status().m_szReplyText, 'Z', sizeof Status().m_szReplyText);
            Status().m_szReplyText[79] = '\0';
            const bool ok = Run(handlers[h], text);
            EXPECT_EQ(Status().m_szReplyText[79], '\0');
            if (Status().m_bReplyTextValid) {
                EXPECT_TRUE(ok);
                EXPECT_LE(std::strlen(Status().m_szReplyText), 79u);
            } else {
                EXPECT_EQ(ReplyText(), std::string(79, 'Z')) << "text untouched unless taken";
            }
            if (!ok) {
                EXPECT_FALSE(Status().m_bUpdated);
            }
        }
    }
}

}  // namespace
}  // namespace tolvik
