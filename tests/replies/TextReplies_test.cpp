// The text reply handlers through tables: each row states every field a reply changes, stray
// writes too. Ashtech-style readers, "$PASHR" satellites and raw routing, parameter lines; the
// other brands (beacon MSS/MSK, "$PSLIR", "$>JSHOW", elevation masks, "$PGRME"); command-log
// replies; and one sweep of hostile texts through every text handler.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "sim/RawRecords.h"
#include "support/TestSupport.h"

namespace tolvik::test {
namespace {

using Rx = TestReceiver;
using Handler = bool (Rx::*)(CString&);

// The fields the reply handlers write, as "name=value". The NMEA statuses are one letter each for
// GGA GSA ZDA GLL VTG SAT GSV: N on, F off, ? unknown. A satellite slot "s<i>" is
// "PRN/azimuth/elevation/SNR/used/in view", the angles in whole degrees.
using S = CGPSStatusData;
using D = CGPSData;
std::string NmeaStatuses(const S& s) {
    std::string nmea;
    for (const NmeaMsgStatus status : s.m_NmeaStatus) nmea += unsigned(status) < 3 ? "NF?"[status] : '#';
    return nmea;
}
std::string ReplyText(const S& s) {
    return std::string(s.m_szReplyText, strnlen(s.m_szReplyText, sizeof s.m_szReplyText));
}
using Field = std::variant<std::int32_t S::*, double S::*, bool S::*, DgpsMode S::*, std::string (*)(const S&),
                           std::int32_t D::*, double D::*, bool D::*>;
// clang-format off
const std::pair<const char*, Field> kFields[] = {
    {"strength", &S::m_nBeaconSignalStrength}, {"snr", &S::m_nBeaconSNR}, {"freq", &S::m_dBeaconFrequency},
    {"rate", &S::m_nBeaconBitRate}, {"beaconValid", &S::m_bBeaconStatusValid}, {"autoTune", &S::m_bBeaconAutoTune},
    {"modeValid", &S::m_bBeaconModeValid}, {"mask", &S::m_nElevMask}, {"saved", &S::m_bElevMaskSaved},
    {"maskValid", &S::m_bElevMaskValid}, {"maskFlag", &S::m_bElevMaskFlag}, {"nmea", &NmeaStatuses},
    {"nmeaValid", &S::m_bNmeaStatusValid}, {"alt", &S::m_dFixedAltitude}, {"pmd", &S::m_nPosMode},
    {"pdop", &S::m_nPDOPMask}, {"hdop", &S::m_nHDOPMask}, {"vdop", &S::m_nVDOPMask},
    {"posValid", &S::m_bPosModeValid}, {"period", &S::m_dOutputPeriod}, {"ack", &S::m_bAckReceived},
    {"dgps", &S::m_nDgpsMode}, {"dgpsValid", &S::m_bDgpsModeValid}, {"lband", &S::m_nLbandTuneMode},
    {"text", &ReplyText}, {"textValid", &S::m_bReplyTextValid}, {"updated", &S::m_bUpdated},
    {"horz", &D::m_dHorzError}, {"vert", &D::m_dVertError}, {"err", &D::m_dPosError},
    {"inView", &D::m_nSatellitesInView}, {"meanSNR", &D::m_dMeanSNR}, {"svValid", &D::m_bSVInfoValid},
    {"changed", &D::m_bSatellitesChanged}};
// clang-format on

std::vector<std::string> Fields(const D& d) {
    std::vector<std::string> fields;
    for (const auto& [name, field] : kFields) {
        std::ostringstream text;
        text << name << "=";
        std::visit(
            [&](auto member) {
                if constexpr (std::is_invocable_v<decltype(member), const S&>)
                    text << std::invoke(member, d.m_Status);
                else
                    text << std::invoke(member, d);
            },
            field);
        fields.push_back(text.str());
    }
    for (int i = 0; i < D::kMaxSatellites; ++i) {
        const CGPSSatelliteData& sat = d.m_Satellites[i];
        const double degrees = 180 / std::numbers::pi;
        std::ostringstream slot;
        slot << "s" << i << "=" << sat.m_nPRN << "/" << std::lround(sat.m_dAzimuth * degrees) << "/"
             << std::lround(sat.m_dElevation * degrees) << "/" << sat.m_nSNR << (sat.m_bUsed ? "/U" : "/-")
             << (sat.m_bInView ? "/v" : "/-");
        fields.push_back(slot.str());
    }
    return fields;
}

// The fields of the epoch record that differ from before, in the order of Fields.
std::string Changes(const CGPSData& before) {
    const std::vector<std::string> was = Fields(before), now = Fields(CGPSReceiver::m_GPSData);
    std::string changes;
    for (std::size_t i = 0; i < now.size(); ++i) {
        if (now[i] != was[i]) changes += (changes.empty() ? "" : " ") + now[i];
    }
    return changes;
}

// A reply: the handler, the text, what the handler returns and what it changes ("" nothing).
using Reply = std::tuple<Handler, CString, bool, std::string>;

class ReplyTest : public ::testing::Test {
protected:
    static CString N(const std::string& body) { return NmeaText(body); }  // "$" body "*hh\r\n"
    bool Run(Handler handler, CString text) { return (rx.*handler)(text); }
    // Runs every reply on a fresh epoch record set up by prepare.
    void Check(std::initializer_list<Reply> replies, void (*prepare)(CGPSData&) = nullptr) {
        for (const auto& [handler, text, ok, changes] : replies) {
            CGPSReceiver::m_GPSData = CGPSData();
            if (prepare) prepare(CGPSReceiver::m_GPSData);
            const CGPSData before = CGPSReceiver::m_GPSData;
            EXPECT_EQ(Run(handler, text), ok) << text.ToBytes();
            EXPECT_EQ(Changes(before), changes) << text.ToBytes();
        }
    }
    TestReceiver rx;
};

constexpr NmeaMsgStatus ON = NMEA_MSG_ON, OFF = NMEA_MSG_OFF, UNKNOWN = NMEA_MSG_UNKNOWN;

TEST_F(ReplyTest, NumberAndOnOffReaders) {
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

TEST_F(ReplyTest, SatelliteReplyFillsSlotsAndTheMeanOfUsedSnr) {
    // "U" in any case is used; the mean SNR is over the slots marked used. Other types are not
    // read; a reply cut short keeps the slots already replaced.
    const Handler pashr = &Rx::ProcessPASHR;
    Check({{pashr, N("PASHR,SAT,00"), true, "svValid=1"},
           {pashr, N("PASHR,sat,04,03,103,56,50,U,23,225,61,52,u,16,045,12,38,-,19,310,33,47,X"), true,
            "inView=4 meanSNR=51 svValid=1 changed=1 s0=3/103/56/50/U/v s1=23/225/61/52/U/v s2=16/45/12/38/-/v "
            "s3=19/310/33/47/-/v"},
           {pashr, N("PASHR,MCA,garbage"), false, ""},
           {pashr, N("PASHR,SATX,01,7,1,4,40,U"), false, ""},
           {pashr, N("PASHR,SAT,03,03,103,56,50,U,23,225"), false, "inView=3 changed=1 s0=3/103/56/50/U/v"}});
    EXPECT_EQ(rx.m_nRawMessageCount, 0) << "MCA is no raw record here";
    // Slots hold PRNs 1-12, used, SNR 40, slot 0 in view: a known PRN keeps its slot, unlisted
    // slots leave the view but count for the mean, and a group without a slot is skipped.
    Check({{pashr, N("PASHR,SAT,01,05,270,10,33,-"), true,
            "inView=1 meanSNR=40 svValid=1 changed=1 s0=1/0/0/40/U/- s4=5/270/10/33/-/v"},
           {pashr, N("PASHR,SAT,04,30,010,10,20,U,05,050,50,44,U,31,020,20,21,U,07,070,70,46,U"), true,
            "inView=4 meanSNR=40.8333 svValid=1 changed=1 s0=1/0/0/40/U/- s4=5/50/50/44/U/v "
            "s6=7/70/70/46/U/v"}},
          [](CGPSData& d) {
              for (int i = 0; i < CGPSData::kMaxSatellites; ++i) {
                  CGPSSatelliteData& s = d.m_Satellites[i];
                  s.m_nPRN = i + 1;
                  s.m_bUsed = true;
                  s.m_nSNR = 40;
                  s.m_bInView = i == 0;
              }
          });
}

TEST_F(ReplyTest, RawRecordsAreRoutedCountedAndGuarded) {
    std::string badPbn = sim::PbnRecord({}), badSnv = sim::SnvRecord(CGPSDataEphemeris());
    badPbn[20] ^= 1;
    badSnv[20] ^= 1;
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

TEST_F(ReplyTest, ParameterLinesKeepWhatWasReadBeforeAFailure) {
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
              d.m_Status.m_dFixedAltitude = -7;
              d.m_Status.m_nElevMask = 77;
              d.m_Status.m_bElevMaskSaved = true;
              d.m_Status.m_bElevMaskFlag = false;
          });
}

TEST_F(ReplyTest, NmeaTableLineFoldsBlankPairsAndReadsFixedColumns) {
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

TEST_F(ReplyTest, BeaconSlirAndJshowSettings) {
    const Handler mss = &Rx::ProcessCRMSS, msk = &Rx::ProcessCRMSK, slir = &Rx::ProcessPSLIRParNmea,
                  jshow = &Rx::ProcessJSHOW;
    // A frequency of 0 means automatic tuning (1), any other manual (2).
    Check({{mss, N("GPMSS,55,27,318.0,100,"), true, "strength=55 snr=27 freq=318 rate=100 beaconValid=1 updated=1"},
           {mss, N("CRMSS,48,19,31x.5,200,"), false, "strength=48 snr=19"},
           {msk, N("GPMSK,318.0,A,100,M,2"), true, "autoTune=1 modeValid=1 updated=1"},
           {msk, N("GPMSK,318.0,a,100,M,2"), true, "modeValid=1 updated=1"},
           {jshow, L"$>JSHOW,FREQ,0.0,1200\r\n", true, "lband=1 updated=1"},
           {jshow, L"$>JSHOW,FREQ,1557.8450\r\n", true, "lband=2 updated=1"},
           {jshow, L"$>JSHOW,FREQ,,1200\r\n", false, ""}});
    // Automatic tuning on, ZDA and SAT off at first: no "ZDA:" reads as unknown, SAT is not part
    // of the reply. "$>JSHOW" lists the sentences that are on, so its "ASC" lines only ever switch
    // statuses on; a sentence we do not track leaves the flag clear.
    Check(
        {{msk, N("CRMSK,318.0,M,100,M,2"), true, "autoTune=0 modeValid=1 updated=1"},
         {msk, N("GPMSK,318.0,,100,M,2"), true, "modeValid=1 updated=1"},
         {slir, N("PSLIR,PAR,NMEA,GGA:1,GSA:0.5,GSV:5,VTG:0,GLL:-1,GGA:0"), true, "nmea=NN?FFFN nmeaValid=1 updated=1"},
         {slir, N("PSLIR,PAR,NMEA,GGA:1,GSA:?,ZDA:1"), false, "nmea=N?F??F?"},
         {jshow, L"$>JSHOW,ASC,GPGGA,1.0,PORTA\r\n", true, "nmea=N?F??F? nmeaValid=1 updated=1"},
         {jshow, L"$>JSHOW,ASC,GPGSV,5.0,PORTA\r\n", true, "nmea=??F??FN nmeaValid=1 updated=1"},
         {jshow, L"$>JSHOW,ASC,GPRMC,1.0,PORTA\r\n", false, ""}},
        [](CGPSData& d) {
            CGPSStatusData& s = d.m_Status;
            s.m_bBeaconAutoTune = true;
            s.m_NmeaStatus[NMEA_INDEX_ZDA] = s.m_NmeaStatus[NMEA_INDEX_SAT] = NMEA_MSG_OFF;
        });
}

TEST_F(ReplyTest, ElevationMasksOfEveryBrandAndGarminErrors) {
    // No "ELM:" confirms the mask held; "$PMCAG" is split at "," only, so a mask in its last
    // field runs into the checksum; a log needs a "*" after its ";"; real values are truncated
    // toward zero and must fit an int. The errors start at 9; "F" in any case is the US survey
    // foot, 1200/3937 m; an unread error keeps the old one, which its unit does not convert.
    const Handler slir = &Rx::ProcessPSLIRParMode, pmcag = &Rx::ProcessPMCAG, jshow = &Rx::ProcessJSHOW,
                  ecutoff = &Rx::ProcessECUTOFF, pgrme = &Rx::ProcessGarminEstPrecision;
    const auto mask = [](int m) { return "mask=" + std::to_string(m) + " maskValid=1 updated=1"; };
    Check({{slir, N("PSLIR,PAR,MODE,ELM:10,DIF:0"), true, mask(10)},
           {slir, N("PSLIR,PAR,MODE,DIF:0"), true, "maskValid=1 updated=1"},
           {slir, N("PSLIR,PAR,MODE,ELM:,DIF:0"), false, ""},
           {pmcag, N("PMCAG,908,0,0,1,0,12.9,1"), true, mask(12)},
           {pmcag, N("PMCAG,004,908"), false, ""},
           {pmcag, N("PMCAG,9080,0,0,1,0,12.9,1"), false, ""},
           {pmcag, N("PMCAG,908,0,0,1,0,12.9"), false, ""},
           {pmcag, N("PMCAG,908,0,0,1,0,1e300,1"), false, ""},
           {jshow, L"$>JSHOW,MASK,5\r\n", true, mask(5)},
           {jshow, L"$>JSHOW,MASK,low\r\n", false, ""},
           {ecutoff, L"#ECUTOFFA,COM1,0;5.5*1a\r\n", true, mask(5)},
           {ecutoff, L"#ECUTOFFA; -2.5*1a", true, mask(-2)},
           {ecutoff, L"#ECUTOFFA;5.5\r\n", false, ""},
           {ecutoff, L"#ECUTOFFA,COM1*0;5.5\r\n", false, ""},
           {pgrme, N("PGRME,15.0,M,45.0,M,25.0,M"), true, "horz=15 vert=45 err=25"},
           {pgrme, N("PGRME,10,F,20,f,30,F"), true, "horz=3.04801 vert=6.09601 err=9.14402"},
           {pgrme, N("PGRME,10.0,K,20.0,,30.0,FT"), true, "horz=10 vert=20 err=30"},
           {pgrme, N("PGRME,15.0,F,x,F,25.0,M"), true, "horz=4.57201 err=25"}},
          [](CGPSData& d) { d.m_dHorzError = d.m_dVertError = d.m_dPosError = 9.0; });
}

// A log as the receiver frames it, "#NAMEA,<header>;<data>*<crc>\r\n", with a short header.
CString Log(const wchar_t* name, const wchar_t* data) {
    return L"#" + std::wstring(name) + L"A,COM1,0;" + data + L"*1a2b3c4d\r\n";
}

TEST_F(ReplyTest, LogListAndTextReplies) {
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

TEST_F(ReplyTest, CorrectionSourcesMatchTheFirstFieldsWithTheirCommas) {
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
TEST_F(ReplyTest, HostileTextsNeverBreakTheRecord) {
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
