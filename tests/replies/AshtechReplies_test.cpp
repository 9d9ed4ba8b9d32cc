// Ashtech-style replies: the shared readers, "$PASHR" satellites and raw routing, parameter lines.
#include "replies/ReplyTest.h"
#include "sim/RawRecords.h"

namespace tolvik::test {
namespace {

constexpr NmeaMsgStatus ON = NMEA_MSG_ON, OFF = NMEA_MSG_OFF, UNKNOWN = NMEA_MSG_UNKNOWN;

using AshtechRepliesTest = ReplyTest;

TEST_F(AshtechRepliesTest, NumberAndOnOffReaders) {
    // The 32-bit limits are wcstol's overflow marks and refused; longer numbers saturate to them.
    // A real is stored before it is judged: 0 when none was read, HUGE_VAL on overflow.
    const std::wstring zeros(400, L'0');
    // clang-format off
    const std::tuple<std::wstring, bool, int> ints[] = {{L"2147483647", false, 0},
        {L"2147483646", true, 2147483646}, {L"-2147483648", false, 0}, {L"99999999999", false, 0},
        {zeros + L"12", true, 12}, {L" 0", true, 0}, {L"\t\r\n\v\f +13", true, 13}, {L"", false, 0},
        {L"x", false, 0}, {L"10 ALT:5", true, 10}, {L"0x1A", true, 0}, {L"\x0661", false, 0}};
    const std::tuple<std::wstring, bool, double> doubles[] = {{L" \t+.5e", true, 0.5},
        {L"", false, 0.0}, {L"abc", false, 0.0}, {L"+-5", false, 0.0}, {L"1e400", false, HUGE_VAL},
        {L"-1e400", false, -HUGE_VAL}, {L"1" + zeros, false, HUGE_VAL}, {L"inf", false, HUGE_VAL},
        {L"0." + zeros + L"1", true, 0.0}, {L"0x1p3", true, 8.0}};
    const std::tuple<const wchar_t*, bool, NmeaMsgStatus> words[] = {{L"ON\r\n", true, ON},
        {L"OFF", true, OFF}, {L"OFFLINE", true, OFF}, {L"on", false, UNKNOWN},
        {L"OF", false, UNKNOWN}};
    // clang-format on
    for (const auto& [text, ok, expected] : ints) {
        int value = 1234;  // written only on success
        const bool got = rx.ReadIntValue(text, value);
        EXPECT_EQ(std::tuple(got, value), std::tuple(ok, ok ? expected : 1234)) << CString(text).ToBytes();
    }
    for (const auto& [text, ok, stored] : doubles) {
        double value = 1234.5;
        const bool got = rx.ReadDoubleValue(text, value);
        EXPECT_EQ(std::tuple(got, value), std::tuple(ok, stored)) << CString(text).ToBytes();
    }
    for (const auto& [word, ok, expected] : words) {
        NmeaMsgStatus status = expected == ON ? OFF : ON;  // the other one
        const bool got = rx.GetNmeaMsgStatus(word, status);
        EXPECT_EQ(std::tuple(got, status), std::tuple(ok, expected)) << CString(word).ToBytes();
    }
}

TEST_F(AshtechRepliesTest, SatelliteReplyFillsSlotsAndTheMeanOfUsedSnr) {
    // "U" in any case is used; the mean SNR is over the slots marked used. Other types are not
    // read; a reply cut short keeps the slots already replaced.
    const Handler pashr = &Rx::ProcessPASHR;
    Check({{pashr, N("PASHR,SAT,00"), true, "svValid=1"},
           {pashr, N("PASHR,sat,04,03,103,56,50,U,23,225,61,52,u,16,045,12,38,-,19,310,33,47,X"), true,
            "s0=3/103/56/50/U/v s1=23/225/61/52/U/v s2=16/45/12/38/-/v s3=19/310/33/47/-/v "
            "inView=4 meanSNR=51 svValid=1 changed=1"},
           {pashr, N("PASHR,MCA,garbage"), false, ""},
           {pashr, N("PASHR,SATX,01,7,1,4,40,U"), false, ""},
           {pashr, N("PASHR,SAT,03,03,103,56,50,U,23,225"), false, "s0=3/103/56/50/U/v inView=3 changed=1"}});
    EXPECT_EQ(rx.m_nRawMessageCount, 0) << "MCA is no raw record here";
    // Slots hold PRNs 1-12, used, SNR 40, slot 0 in view: a known PRN keeps its slot, unlisted
    // slots leave the view but count for the mean, and a group without a slot is skipped.
    Check({{pashr, N("PASHR,SAT,01,05,270,10,33,-"), true,
            "s0=1/0/0/40/U/- s4=5/270/10/33/-/v inView=1 meanSNR=40 svValid=1 changed=1"},
           {pashr, N("PASHR,SAT,04,30,010,10,20,U,05,050,50,44,U,31,020,20,21,U,07,070,70,46,U"), true,
            "s0=1/0/0/40/U/- s4=5/50/50/44/U/v s6=7/70/70/46/U/v inView=4 meanSNR=40.8333 "
            "svValid=1 changed=1"}},
          [](CGPSData& d) {
              for (int i = 0; i < CGPSData::kMaxSatellites; ++i) {
                  CGPSSatelliteData& s = d.m_Satellites[i];
                  s.m_nPRN = i + 1, s.m_bUsed = true, s.m_nSNR = 40, s.m_bInView = i == 0;
              }
          });
}

TEST_F(AshtechRepliesTest, RawRecordsAreRoutedCountedAndGuarded) {
    std::string badPbn = sim::PbnRecord({}), badSnv = sim::SnvRecord(CGPSDataEphemeris());
    badPbn[20] ^= 1, badSnv[20] ^= 1;
    const std::string good = sim::MbnRecord({.prn = 17}), refused = sim::MbnRecord({.headMark = 2});
    // Type, record, bytes handed over (-1 none, 11 the head), length claimed, result, errors.
    // clang-format off
    const std::tuple<const char*, const std::string&, int, int, bool, int> cases[] = {
        {"PBN", badPbn, 68, 68, false, 1}, {"MBN", good, 54, 54, true, 0},
        {"mbn", refused, 54, 54, false, 1}, {"Snv", badSnv, 144, 144, false, 1},
        {"MBN", good, -1, 0, false, 0}, {"MBN", good, 11, 11, false, 0},
        {"MBN", good, 52, 52, false, 0}, {"MBN", good, 20, 54, false, 0}};
    // clang-format on
    for (const auto& [type, record, attached, claimed, ok, errors] : cases) {
        rx.m_nRawMessageCount = rx.m_nRawMessageErrors = 0;
        CGPSReceiver::m_GPSMessageRaw.Set(record.data(), attached, claimed);  // -1 clears it
        const std::string text = std::string("$PASHR,") + type + ",\n";       // ends at the first 0
        const bool got = Run(&Rx::ProcessPASHR, CString::FromBytes(text));
        EXPECT_EQ(std::tuple(got, rx.m_nRawMessageCount, rx.m_nRawMessageErrors), std::tuple(ok, 1, errors))
            << type << " " << attached;
    }
    EXPECT_EQ(CGPSReceiver::m_GPSDataRaw.m_Satellites[0].m_nPRN, 17) << "payload from byte 11";
}

TEST_F(AshtechRepliesTest, ParameterLinesKeepWhatWasReadBeforeAFailure) {
    // The altitude starts at -7, the mask at 77 and saved; a refused value stays as converted.
    const Handler pmd = &Rx::ProcessPARPMD, per = &Rx::ProcessPARPER, pem = &Rx::ProcessPARPEM;
    const std::string set = " maskValid=1 maskFlag=1 updated=1";
    Check({{pmd, L"PMD:1 ALT:+00123.50 PDP:40 HDP:04 VDP:06 FIX:0\r\n", true,
            "alt=123.5 pmd=1 pdop=40 hdop=4 vdop=6 posValid=1 updated=1"},
           {pmd, L"VDP:06 HDP:04 PDP:40 ALT:-5 PMD:2", true, "alt=-5 pmd=2 pdop=40 hdop=4 vdop=6 posValid=1 updated=1"},
           {pmd, L"PMD:2 ALT:15.0 PDP:30 HDP:x VDP:04", false, "alt=15 pmd=2 pdop=30"},
           {pmd, L"PMD:3 ALT:abc PDP:30", false, "alt=0 pmd=3"},
           {pmd, L"ALT:15.0 PDP:30 HDP:05 VDP:04", false, ""},
           {per, L"PER:001.00 ELM:10\r\n", true, "period=1 updated=1"},
           {per, L"PER:***", false, "period=0"},
           {pem, L"PEM:10 SAV:Y\r\n", true, "mask=10" + set},
           {pem, L"PEM:10 SAV:N\r\n", true, "mask=10 saved=0" + set},
           {pem, L"PEM:05 SAV:N SAV:Y", true, "mask=5" + set},
           {pem, L"PEM:10\r\n", false, "mask=10"},
           {pem, L"PEM:high SAV:N", false, ""}},
          [](CGPSData& d) {
              d.m_Status.m_dFixedAltitude = -7, d.m_Status.m_nElevMask = 77;
              d.m_Status.m_bElevMaskSaved = true, d.m_Status.m_bElevMaskFlag = false;
          });
}

TEST_F(AshtechRepliesTest, NmeaTableLineFoldsBlankPairsAndReadsFixedColumns) {
    // Fields 5 GLL, 7 GGA, 8 VTG, 11 GSA, 12 SAT, 16 ZDA each differ from their neighbours; GSV
    // is not in this line. Pairs of blanks are folded in one pass, into the caller's string.
    CString line = L"PRTA:  ON  ON  OFF ON  OFF ON  OFF ON  ON  OFF ON  OFF OFF OFF ON  OFF   \r\n";
    ASSERT_TRUE(rx.ProcessPARPRTA(line));
    EXPECT_EQ(line, L"PRTA: ON ON OFF ON OFF ON OFF ON ON OFF ON OFF OFF OFF ON OFF  \r\n");
    const Handler prta = &Rx::ProcessPARPRTA;
    Check({{prta, L"PRTA:  ON  ON  OFF ON  OFF ON  OFF ON  ON  OFF ON  OFF OFF OFF ON  OFF", true,
            "nmea=NFNNFNF nmeaValid=1 updated=1"},
           {prta, L"PRTA: ON OFF ON OFF ON on OFF OFF ON ON OFF OFF ON", false, "nmea=???FN?F"}},
          [](CGPSData& d) {  // GSV off, VTG on; lower-case "on" is refused, VTG not reached
              d.m_Status.m_NmeaStatus[NMEA_INDEX_GSV] = OFF;
              d.m_Status.m_NmeaStatus[NMEA_INDEX_VTG] = ON;
          });
}

}  // namespace
}  // namespace tolvik::test
