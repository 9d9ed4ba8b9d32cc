// Command-log replies (with the "$>JI" texts and "$>JSHOW,DIFF" sources of the other brands, which
// fill the same fields), and one sweep of hostile texts through every text reply handler.
#include <random>

#include "replies/ReplyTest.h"

namespace tolvik::test {
namespace {

using LogRepliesTest = ReplyTest;
// A log as the receiver frames it, "#NAMEA,<header>;<data>*<crc>\r\n", with a short header.
CString Log(const wchar_t* name, const wchar_t* data) {
    return L"#" + std::wstring(name) + L"A,COM1,0;" + data + L"*1a2b3c4d\r\n";
}

TEST_F(LogRepliesTest, LogListAndTextReplies) {
    // A log name anywhere means on, even inside a longer one; case matters. Text logs keep their
    // data behind a head, up to the first "*" after the ";" (the fifth "," for the HP position);
    // texts keep at most 79 characters; 8-bit characters survive, wider ones become '?'.
    const Handler list = &Rx::ProcessLOGLIST, info = &Rx::ProcessOMNIINFO, stat = &Rx::ProcessOMNISTAT,
                  waas = &Rx::ProcessWAAS1, hp = &Rx::ProcessOMNIHPPOS, ji = &Rx::ProcessJiOrJgeoOrRd1;
    const std::string on = " nmeaValid=1 updated=1", kept = " textValid=1 updated=1";
    Check({{list, Log(L"LOGLIST", L"1,COM1,GPGGALONG,ONTIME"), true, "nmea=NFFFFFF" + on},
           {list, Log(L"LOGLIST", L"7,GPGGA,GPGSA,GPZDA,GPGLL,GPVTG,GPSAT,GPGSV"), true, "nmea=NNNNNNN" + on},
           {list, Log(L"LOGLIST", L"2,gpgga,GPVTX,GPSA,GPZDA,GPGSV"), true, "nmea=FFNFFFN" + on},
           {info, Log(L"OMNIINFO", L"1557845000,1200"), true, "text=$OMNII,1557845000,1200*" + kept},
           {waas, Log(L"WAAS1", L""), true, "text=$WAAS1,*" + kept},
           {hp, Log(L"OMNIHPPOS", L"SOL_COMPUTED,OMNISTAR_HP,51.11,-114.03,1064.3,-16.2"), true,
            "text=$OMNIP,SOL_COMPUTED,OMNISTAR_HP,51.11,-114.03,1064.3," + kept},
           {stat, L"#OMNISTATA,COM1*77;LOCKED*1a2b3c4d\r\n", true, "text=$OMNIS,LOCKED*" + kept},
           {info, L"#OMNIINFOA,COM1,0,81.0*1c2d3e4f\r\n", false, ""},  // no header end
           {stat, L"#OMNISTATA,COM1;LOCKED,45.2\r\n", false, ""},      // no end mark
           {waas, L"#WAAS1A,COM1*0;122\r\n", false, ""},               // end mark before ";"
           {hp, Log(L"OMNIHPPOS", L"SOL_COMPUTED,OMNISTAR_HP,51.1,-114.0"), false, ""},
           {ji, L"$>JI,311204,1,3,96\r\n", true, "text=$>JI,311204,1,3,96\r\n" + kept},
           {ji, L"$RD1," + std::wstring(75, L'x'), true, "text=$RD1," + std::string(74, 'x') + kept},
           {ji, L"$>JGEO,\x00E9\x00FF\x20AC\x4E2D.", true, "text=$>JGEO,\xE9\xFF??." + kept}});
}

TEST_F(LogRepliesTest, CorrectionSourcesMatchTheFirstFieldsWithTheirCommas) {
    // The mode starts as one no reply gives; a source none of the handlers knows leaves it.
    const Handler rtk = &Rx::ProcessRTKSOURCE, sbas = &Rx::ProcessSBASCONTROL, psr = &Rx::ProcessPSRDIFFSOURCE,
                  jshow = &Rx::ProcessJSHOW;
    const auto mode = [](int m) { return "dgps=" + std::to_string(m) + " dgpsValid=1 updated=1"; };
    Check({{rtk, Log(L"RTKSOURCE", L"OMNISTAR,ANY"), true, mode(DGPS_MODE_LBAND)},
           {rtk, Log(L"RTKSOURCE", L"AUTO,ANY"), true, mode(DGPS_MODE_BEACON)},
           {rtk, Log(L"RTKSOURCE", L"NONE,ANY"), true, ""},
           {sbas, Log(L"SBASCONTROL", L"ENABLE,AUTO,0,NONE"), true, mode(DGPS_MODE_WAAS)},
           {sbas, Log(L"SBASCONTROL", L"ENABLE,AUTOMATIC,0"), true, ""},
           {psr, Log(L"PSRDIFFSOURCE", L"OMNISTAR,\"ANY\""), true, mode(DGPS_MODE_OMNISTAR)},
           {psr, Log(L"PSRDIFFSOURCE", L"CDGPS,\"ANY\""), true, mode(DGPS_MODE_CDGPS)},
           {psr, Log(L"PSRDIFFSOURCE", L"OMNISTARXP,\"ANY\""), true, ""},
           {psr, L"#PSRDIFFSOURCEA,COM1;CDGPS*1a,2b\r\n", true, ""},         // comma only past the "*"
           {rtk, L"#RTKSOURCEA,COM1,OMNISTAR,ANY*1a2b3c4d\r\n", false, ""},  // no header end
           {sbas, L"#SBASCONTROLA,COM1;ENABLE,AUTO,0\r\n", false, ""},       // no end mark
           {&Rx::ProcessRXCONFIG, Log(L"RXCONFIG", L"#ECUTOFFA,COM1;5.0"), true, ""},
           // "$>JSHOW,DIFF": by the first letters of the source, anything else none
           {jshow, L"$>JSHOW,DIFF,BEACON_RTCM\r\n", true, mode(DGPS_MODE_BEACON)},
           {jshow, L"$>JSHOW,DIFF,beacon\r\n", true, mode(DGPS_MODE_NONE)}},
          [](CGPSData& d) { d.m_Status.m_nDgpsMode = static_cast<DgpsMode>(-1); });
}

// Cut, overlong, separator-only and binary texts through every text reply handler. The records
// are statics, so AddressSanitizer catches a write past them; what stays documented is checked.
TEST_F(LogRepliesTest, HostileTextsNeverBreakTheRecord) {
    std::mt19937 random(20240611);
    std::wstring binary, wide;
    // clang-format off
    for (int i = 0; i < 4000; ++i) binary += static_cast<wchar_t>(random() % 256);
    for (int i = 0; i < 500; ++i) wide += static_cast<wchar_t>(0x100 + random() % 0xFF00);
    const Handler handlers[] = {&Rx::ProcessPASHR, &Rx::ProcessPARPMD, &Rx::ProcessPARPER,
        &Rx::ProcessPARPEM, &Rx::ProcessPARPRTA, &Rx::ProcessCRMSS, &Rx::ProcessCRMSK,
        &Rx::ProcessPSLIRParNmea, &Rx::ProcessPSLIRParMode, &Rx::ProcessPMCAG, &Rx::ProcessJSHOW,
        &Rx::ProcessJiOrJgeoOrRd1, &Rx::ProcessGarminEstPrecision, &Rx::ProcessLOGLIST,
        &Rx::ProcessRXCONFIG, &Rx::ProcessECUTOFF, &Rx::ProcessOMNIINFO, &Rx::ProcessOMNISTAT,
        &Rx::ProcessOMNIHPPOS, &Rx::ProcessWAAS1, &Rx::ProcessRTKSOURCE, &Rx::ProcessSBASCONTROL,
        &Rx::ProcessPSRDIFFSOURCE};
    const std::wstring heads[] = {L"", L"$PASHR,SAT,", L"$>JSHOW,ASC,", L"#X;", L"PMD:ALT:PDP:"};
    const std::wstring bodies[] = {L"", std::wstring(5000, L','), std::wstring(5000, L';'),
        std::wstring(5000, L' ') + L"*", std::wstring(5000, L'9'), L"2147483646,1,2,3,4,U,5*00\r\n",
        L"GGA:" + std::wstring(4000, L'1') + L",ELM:" + std::wstring(4000, L'9'),
        std::wstring(100000, L'A') + L"*", wide + L",,,,,*", binary};
    // clang-format on
    CGPSStatusData& s = CGPSReceiver::m_GPSData.m_Status;
    for (const Handler handler : handlers) {
        for (const std::wstring& head : heads) {
            for (const std::wstring& body : bodies) {
                CGPSReceiver::m_GPSData = CGPSData();
                std::memset(s.m_szReplyText, 'Z', 79);
                const bool ok = Run(handler, head + body);
                const std::string text(s.m_szReplyText, 80);  // always terminated in the field
                EXPECT_TRUE(s.m_bReplyTextValid ? text.back() == '\0' : text == std::string(79, 'Z') + '\0');
                EXPECT_TRUE(ok || !s.m_bUpdated) << "published only when taken";
            }
        }
    }
    EXPECT_EQ(rx.m_nRawMessageCount, 0);
}

}  // namespace
}  // namespace tolvik::test
