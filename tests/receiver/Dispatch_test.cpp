// Classification, checksum test, counters, monitoring and the dispatch rules of Parse.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/TestSupport.h"
#include "tolvik/port/CAck.h"

namespace tolvik {
namespace {

using test::Nmea;
using test::NmeaText;
using test::RecordingHost;
using test::TestReceiver;

CString Text(const std::string& bytes) { return CString::FromBytes(bytes); }

// The same sentence with its checksum changed in the lowest bit.
std::string WithWrongChecksum(const std::string& sentence) {
    std::string bad = sentence;
    const std::size_t star = bad.find('*');
    bad[star + 2] = bad[star + 2] == '0' ? '1' : '0';
    return bad;
}

const std::string kGGA = "GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";

struct HeaderCase {
    const char* header;
    GPSStringType type;
};

// The classification table in search order.
constexpr HeaderCase kHeaders[] = {
    {"$GPALM", GPS_STR_ALM},
    {"$GPGGA", GPS_STR_GGA},
    {"$INGGA", GPS_STR_INGGA},
    {"$GPGLL", GPS_STR_GLL},
    {"$GPGSA", GPS_STR_GSA},
    {"$GPGSV", GPS_STR_GSV},
    {"$GPRMC", GPS_STR_RMC},
    {"$GPVTG", GPS_STR_VTG},
    {"$GPZDA", GPS_STR_ZDA},
    {"$GNALM", GPS_STR_ALM},
    {"$GNGGA", GPS_STR_GGA},
    {"$GNGLL", GPS_STR_GLL},
    {"$GNGSA", GPS_STR_GSA},
    {"$GNGSV", GPS_STR_GSV},
    {"$GNRMC", GPS_STR_RMC},
    {"$GNVTG", GPS_STR_VTG},
    {"$GNZDA", GPS_STR_ZDA},
    {"$CRMSS", GPS_STR_MSS},
    {"$GPMSS", GPS_STR_MSS},
    {"$CRMSK", GPS_STR_MSK},
    {"$GPMSK", GPS_STR_MSK},
    {"PEM:", GPS_STR_PEM},
    {"PMD:", GPS_STR_PMD},
    {"PRTA:", GPS_STR_PRTA},
    {"PER:", GPS_STR_PER},
    {"$PASHR", GPS_STR_PASHR},
    {"$PSLIR,PAR,NMEA", GPS_STR_PSLIR_NMEA},
    {"$PSLIR,PAR,MODE", GPS_STR_PSLIR_MODE},
    {"$PMCAG", GPS_STR_PMCAG},
    {"$>JSHOW", GPS_STR_JSHOW},
    {"$>JI", GPS_STR_JI},
    {"$>JGEO", GPS_STR_JGEO},
    {"$RD1", GPS_STR_RD1},
    {"$BIN", GPS_STR_BIN},
    {"#LOGLISTA", GPS_STR_LOGLIST},
    {"#RXCONFIGA", GPS_STR_RXCONFIG},
    {"#ECUTOFF", GPS_STR_ECUTOFF},
    {"#OMNIINFO", GPS_STR_OMNIINFO},
    {"#OMNISTAT", GPS_STR_OMNISTAT},
    {"#OMNIHPPOS", GPS_STR_OMNIHPPOS},
    {"#WAAS1", GPS_STR_WAAS1},
    {"#RTKSOURCE", GPS_STR_RTKSOURCE},
    {"#SBASCONTROL", GPS_STR_SBASCONTROL},
    {"#PSRDIFFSOURCE", GPS_STR_PSRDIFFSOURCE},
    {"$PGRME", GPS_STR_PGRME},
};
static_assert(std::size(kHeaders) == 45);

// A message beginning with the header; '$' messages carry a correct NMEA checksum.
std::string MessageFor(const char* header) {
    const std::string body = std::string(header) + ",1,2";
    return body[0] == '$' ? Nmea(body.substr(1)) : body + "\r\n";
}

TEST(Classification, EveryHeaderRowWithACorrectChecksum) {
    for (const HeaderCase& row : kHeaders) {
        SCOPED_TRACE(row.header);
        TestReceiver receiver;
        EXPECT_EQ(receiver.GetGPSStringType(Text(MessageFor(row.header))), row.type);
        EXPECT_EQ(receiver.m_nMessageCount, 1);
        EXPECT_EQ(receiver.m_nChecksumErrors, 0);
    }
}

TEST(Classification, WrongChecksumRejectsOnlyTheNmeaKinds) {
    for (const HeaderCase& row : kHeaders) {
        const std::string message = MessageFor(row.header);
        if (message.find('*') == std::string::npos) continue;  // the '#' and "PxxX:" replies
        SCOPED_TRACE(row.header);
        TestReceiver receiver;
        const bool bChecksummed = row.type < 15;
        EXPECT_EQ(receiver.GetGPSStringType(Text(WithWrongChecksum(message))),
                  bChecksummed ? GPS_STR_UNKNOWN : row.type);
        EXPECT_EQ(receiver.m_nMessageCount, 1);
        EXPECT_EQ(receiver.m_nChecksumErrors, bChecksummed ? 1 : 0);
    }
}

TEST(Classification, UnrecognisedMessagesAreNotCounted) {
    const struct {
        const char* legend;
        std::string message;
    } cases[] = {
        {"other talker", Nmea("GLGSV,1,1,00")},
        {"inertial VTG", Nmea("INVTG,77.5,T,93.3,M,5.2,N,9.7,K")},
        {"lower-case header", Nmea("gpgga,1")},
        {"header not at the start", " " + Nmea(kGGA)},
        {"header without '$'", "GPGGA,1\r\n"},
        {"empty", ""},
        {"sync byte only", "\xAA\x44"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        TestReceiver receiver;
        EXPECT_EQ(receiver.GetGPSStringType(Text(c.message)), GPS_STR_UNKNOWN);
        EXPECT_EQ(receiver.m_nMessageCount, 0);
        EXPECT_EQ(receiver.m_nChecksumErrors, 0);
    }
}

TEST(Classification, BinarySyncIsType36WithoutCounting) {
    TestReceiver receiver;
    EXPECT_EQ(receiver.GetGPSStringType(Text(std::string("\xAA\x44\x12\x1C\x00\x01", 6))),
              GPS_STR_AXIS4_BIN);
    EXPECT_EQ(receiver.GetGPSStringType(Text("\xAA\x44\x13\x1C")), GPS_STR_UNKNOWN);
    EXPECT_EQ(receiver.m_nMessageCount, 0);
    EXPECT_EQ(receiver.m_nChecksumErrors, 0);
}

TEST(Checksum, DigitsAndPositions) {
    // 'A' ^ 'E' is 0x04.
    const struct {
        const char* legend;
        CString message;
        bool ok;
    } cases[] = {
        {"upper-case digits", Text(Nmea(kGGA)), true},
        {"lower-case digit", Text("$PGRMV,0.0,0.0,0.0*5c\r\n"), true},
        {"upper-case digit", Text("$PGRMV,0.0,0.0,0.0*5C\r\n"), true},
        {"two digits", Text("$AE*04\r\n"), true},
        {"one digit", Text("$AE*4\r\n"), true},
        {"four digits count by the last two", Text("$AE*1204\r\n"), true},
        {"four digits with the value in front", Text("$AE*0400\r\n"), false},
        {"a fifth digit is not read", Text("$AE*00004\r\n"), false},
        {"digits stop at a non-hex character", Text("$AE*4G\r\n"), true},
        {"wrong digits", Text("$AE*40\r\n"), false},
        {"no digits, non-zero sum", Text("$AE*\r\n"), false},
        {"no digits, zero sum", Text("$AA*\r\n"), true},
        {"nothing between '$' and '*'", Text("$*\r\n"), true},
        {"no '*'", Text("$AE04\r\n"), false},
        {"no '$'", Text("AE*04\r\n"), false},
        {"first '*' before the '$'", Text("*04$AE*04\r\n"), false},
        {"text before the '$' is not summed", Text("xy$AE*04\r\n"), true},
        {"only the low 8 bits of a wide character", CString(L"$\u0141E*04\r\n"), true},
        {"empty", CString(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        TestReceiver receiver;
        EXPECT_EQ(receiver.IsChecksumOK(c.message), c.ok);
    }
}

TEST(Parse, BadChecksumIsCountedAndNotPublished) {
    RecordingHost host;
    TestReceiver receiver;
    CString message = Text(WithWrongChecksum(Nmea(kGGA)));
    EXPECT_FALSE(receiver.Parse(message));
    EXPECT_EQ(receiver.m_nMessageCount, 1);
    EXPECT_EQ(receiver.m_nChecksumErrors, 1);
    EXPECT_FALSE(CGPSReceiver::m_GPSData.m_bPositionValid);
    EXPECT_DOUBLE_EQ(CGPSReceiver::m_GPSData.m_dLatitude, 0.0);
    EXPECT_EQ(host.Pump(), 0);
}

TEST(Parse, GoodGGAIsPublishedOnce) {
    RecordingHost host;
    TestReceiver receiver;
    CString message = NmeaText(kGGA);
    EXPECT_TRUE(receiver.Parse(message));
    host.Pump();
    ASSERT_EQ(host.epochs.size(), 1u);
    EXPECT_TRUE(host.epochs[0]->m_bPositionValid);
    EXPECT_EQ(host.epochs[0]->m_nFixStatus, UDF_SIGNAL_GPS);
    EXPECT_EQ(receiver.m_nMessageCount, 1);
    EXPECT_FALSE(CGPSReceiver::m_GPSData.m_bPositionValid);  // the next epoch has begun
}

TEST(Parse, GNTalkerIsHandledLikeGP) {
    RecordingHost host;
    TestReceiver receiver;
    CString message = NmeaText("GNGGA,123519,4807.038,N,01131.000,E,2,08,0.9,545.4,M,46.9,M,,");
    EXPECT_TRUE(receiver.Parse(message));
    host.Pump();
    ASSERT_EQ(host.epochs.size(), 1u);
    EXPECT_EQ(host.epochs[0]->m_nFixStatus, UDF_SIGNAL_CORRECTED_GPS);
}

TEST(Parse, PortTagIsRemovedFromTheCallersText) {
    const struct {
        const char* legend;
        std::string prefix;
    } cases[] = {
        {"tag only", "[COM1]"},
        {"noise before the tag", "xx[COM7]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        RecordingHost host;
        TestReceiver receiver;
        CString message = Text(c.prefix + Nmea(kGGA));
        EXPECT_TRUE(receiver.Parse(message));
        EXPECT_EQ(message, NmeaText(kGGA));
        host.Pump();
        EXPECT_EQ(host.epochs.size(), 1u);
    }
}

TEST(Parse, TruncatedPortTagLeavesNothing) {
    RecordingHost host;
    TestReceiver receiver;
    CString message = L"$PGRMZ[COM";
    EXPECT_FALSE(receiver.Parse(message));
    EXPECT_TRUE(message.IsEmpty());
    EXPECT_EQ(host.Pump(), 0);
}

TEST(Monitoring, RecordsKindsBelow32IncludingRejectedOnes) {
    TestReceiver receiver;
    receiver.MonitorNmea(true);
    EXPECT_TRUE(receiver.MonitoringNmea());
    CString gga = NmeaText(kGGA);
    CString unreadable = NmeaText("INGGA,123519,,N,,E,1");  // recorded though its handler fails
    CString bad = Text(WithWrongChecksum(Nmea("GPVTG,1,T,,M,0,N,0,K")));
    CString waas = L"#WAAS1,COM1,0;data\r\n";
    CString binary = Text(std::string("\xAA\x44\x12\x1C", 4));
    for (CString* p : {&gga, &unreadable, &bad, &waas, &binary}) receiver.Parse(*p);

    EXPECT_TRUE(receiver.HaveGotNmea(GPS_STR_GGA));
    EXPECT_TRUE(receiver.HaveGotNmea(GPS_STR_INGGA));
    EXPECT_TRUE(receiver.HaveGotNmea(GPS_STR_UNKNOWN));  // the bad checksum
    EXPECT_FALSE(receiver.HaveGotNmea(GPS_STR_VTG));
    EXPECT_FALSE(receiver.HaveGotNmea(GPS_STR_WAAS1));
    EXPECT_FALSE(receiver.HaveGotNmea(GPS_STR_AXIS4_BIN));
    EXPECT_EQ(CGPSReceiver::m_wNmeaBits.load(), (1u << 0) | (1u << 2) | (1u << 3));

    receiver.GotNmea(static_cast<GPSStringType>(31));
    EXPECT_TRUE(receiver.HaveGotNmea(static_cast<GPSStringType>(31)));
    receiver.GotNmea(static_cast<GPSStringType>(-1));
    receiver.GotNmea(static_cast<GPSStringType>(40));
    EXPECT_EQ(CGPSReceiver::m_wNmeaBits.load(), (1u << 0) | (1u << 2) | (1u << 3) | (1u << 31));

    receiver.MonitorNmea(false);
    EXPECT_EQ(CGPSReceiver::m_wNmeaBits.load(), 0u);
    receiver.Parse(gga = NmeaText(kGGA));
    EXPECT_FALSE(receiver.HaveGotNmea(GPS_STR_GGA));
}

TEST(Pashr, AcknowledgementIsPublishedEvenAfterGSAAndGSV) {
    RecordingHost host;
    TestReceiver receiver;
    CGPSReceiver::m_bGSAReceived = true;
    CGPSReceiver::m_bGSVReceived = true;
    CAck::m_bGotAck = false;
    CString message = L"$PASHR,ACK*3D\r\n";
    EXPECT_TRUE(receiver.Parse(message));
    EXPECT_TRUE(CAck::m_bGotAck);
    // The current epoch starts over; the posted copy carries the acknowledgement.
    EXPECT_FALSE(CGPSReceiver::m_GPSData.m_Status.m_bAckReceived);
    EXPECT_FALSE(CGPSReceiver::m_GPSData.m_Status.m_bUpdated);
    host.Pump();
    ASSERT_EQ(host.epochs.size(), 1u);
    EXPECT_TRUE(host.epochs[0]->m_Status.m_bAckReceived);
    EXPECT_TRUE(host.epochs[0]->m_Status.m_bUpdated);
    EXPECT_FALSE(host.epochs[0]->m_bPositionValid);
}

TEST(Pashr, OnlyTheFirstTenCharactersMakeAnAcknowledgement) {
    const struct {
        const char* legend;
        const wchar_t* message;
        bool ack;
    } cases[] = {
        {"longer word", L"$PASHR,ACKNOWLEDGED\r\n", true},
        {"no checksum needed", L"$PASHR,ACK\r\n", true},
        {"lower case", L"$PASHR,ack*3D\r\n", false},
        {"shorter", L"$PASHR,AC\r\n", false},
        {"negative acknowledgement", L"$PASHR,NAK*30\r\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        RecordingHost host;
        TestReceiver receiver;
        CGPSReceiver::m_bGSAReceived = true;  // a non-ACK reply is then dropped
        CGPSReceiver::m_bGSVReceived = true;
        CAck::m_bGotAck = false;
        CString message = c.message;
        EXPECT_EQ(receiver.Parse(message), c.ack);
        EXPECT_EQ(CAck::m_bGotAck.load(), c.ack);
        EXPECT_EQ(host.Pump(), c.ack ? 1 : 0);
    }
}

// "$PASHR,SAT" fills the satellite table when its handler runs.
const std::string kPashrSat = "PASHR,SAT,02,05,100,45,40,U,12,200,30,35,-";

TEST(Pashr, OtherRepliesAreDroppedOnceGSAAndGSVWereSeen) {
    RecordingHost host;
    TestReceiver receiver;
    CGPSReceiver::m_bGSAReceived = true;
    CGPSReceiver::m_bGSVReceived = true;
    CGPSReceiver::m_GPSData.m_nSatellitesInView = 7;
    CString message = NmeaText(kPashrSat);
    EXPECT_FALSE(receiver.Parse(message));
    EXPECT_EQ(CGPSReceiver::m_GPSData.m_nSatellitesInView, 7);
    EXPECT_EQ(CGPSReceiver::m_GPSData.m_Satellites[0].m_nPRN, 0);
    EXPECT_EQ(host.Pump(), 0);
}

// Needs the "$PASHR,SAT" handler of the Ashtech replies.
TEST(Pashr, SatelliteReplyIsTakenUntilBothGSAAndGSVWereSeen) {
    RecordingHost host;
    TestReceiver receiver;
    CGPSReceiver::m_bGSAReceived = true;
    CString message = NmeaText(kPashrSat);
    EXPECT_TRUE(receiver.Parse(message));
    EXPECT_EQ(CGPSReceiver::m_GPSData.m_nSatellitesInView, 2);
    host.Pump();
    ASSERT_EQ(host.epochs.size(), 1u);  // forced: no raw epoch was pending
    EXPECT_FALSE(host.epochs[0]->m_bPositionValid);
    EXPECT_TRUE(host.epochs[0]->m_bSVInfoValid);
}

std::string Proprietary(int nLength) {
    return "$P" + std::string(static_cast<std::size_t>(nLength - 4), 'X') + "\r\n";
}

TEST(Proprietary, LengthWindowAndCopy) {
    const struct {
        const char* legend;
        std::string text;
        bool published;
    } cases[] = {
        {"5 characters", "$PXY\n", false},
        {"6 characters", Proprietary(6), false},
        {"9 characters", Proprietary(9), false},
        {"10 characters", Proprietary(10), true},
        {"11 characters", Proprietary(11), true},
        {"78 characters", Proprietary(78), true},
        {"79 characters", Proprietary(79), true},
        {"82 characters", Proprietary(82), true},
        {"83 characters", Proprietary(83), false},
        {"a Garmin sentence", "$PGRMM,WGS 84*06\r\n", true},
        {"a known reply with a bad checksum", WithWrongChecksum(Nmea("PMCAG,005,1,10")), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        RecordingHost host;
        TestReceiver receiver;
        std::memset(CGPSReceiver::m_GPSData.m_szProprietary, 'Z', CGPSData::kProprietaryLength);
        CString message = Text(c.text);
        EXPECT_EQ(receiver.Parse(message), c.published);
        host.Pump();
        ASSERT_EQ(host.epochs.size(), c.published ? 1u : 0u);
        if (!c.published) {
            EXPECT_EQ(CGPSReceiver::m_GPSData.m_szProprietary[0], 'Z');  // untouched
            continue;
        }
        EXPECT_TRUE(host.epochs[0]->m_bProprietaryValid);
        std::string expected = c.text.substr(0, CGPSData::kProprietaryLength);
        expected.resize(CGPSData::kProprietaryLength, '\0');
        EXPECT_EQ(std::string(host.epochs[0]->m_szProprietary, CGPSData::kProprietaryLength),
                  expected);
    }
}

TEST(Proprietary, KeepsTheLow8BitsOfEachCharacter) {
    TestReceiver receiver;
    CString message = L"$PABCD\x0141\x00FF\r\n";
    ASSERT_TRUE(receiver.ProcessProprietary(message));
    EXPECT_EQ(std::string(CGPSReceiver::m_GPSData.m_szProprietary, 11),
              std::string("$PABCD\x41\xFF\r\n\0", 11));
}

TEST(Proprietary, ClearsTheMeasurementFlagsAndIsPublishedOnlyOnce) {
    RecordingHost host;
    TestReceiver receiver;
    CGPSData& data = CGPSReceiver::m_GPSData;
    data.m_bPositionValid = data.m_bVelocityValid = data.m_bSVInfoValid = data.m_bDOPValid = true;
    CString message = L"$PGRMV,0.0,0.0,0.0*5C\r\n";
    EXPECT_TRUE(receiver.Parse(message));
    host.Pump();
    ASSERT_EQ(host.epochs.size(), 1u);
    const CGPSData& posted = *host.epochs[0];
    EXPECT_TRUE(posted.m_bProprietaryValid);
    EXPECT_FALSE(posted.m_bPositionValid);
    EXPECT_FALSE(posted.m_bVelocityValid);
    EXPECT_FALSE(posted.m_bSVInfoValid);
    EXPECT_FALSE(posted.m_bDOPValid);

    // The next message, whatever it is, does not publish the sentence again.
    CString rmc = NmeaText("GPRMC,093802,A,5213.1439,N,02100.6511,E,000.0,226.0,160305,004.2,E,D");
    EXPECT_FALSE(receiver.Parse(rmc));
    EXPECT_FALSE(data.m_bProprietaryValid);
    EXPECT_EQ(host.Pump(), 0);
}

TEST(Parse, UnusedSentencesAreCountedButPublishNothing) {
    const char* bodies[] = {
        "GPRMC,093802,A,5213.1439,N,02100.6511,E,000.0,226.0,160305,004.2,E,D",
        "GPGLL,5213.1439,N,02100.6511,E,093802,A,D",
        "GPZDA,193913.00,07,09,2018,00,00",
        "GPALM,1,1,15,1159,00,441d,4e,16be,fd5e,a10c9f,4a2da4,686e81,58cbe1,0a4,001",
        "GNRMC,081411.000,A,5541.1955,N,03737.2872,E,0.60,301.29,260514,,,A",
    };
    for (const char* body : bodies) {
        SCOPED_TRACE(body);
        RecordingHost host;
        TestReceiver receiver;
        CGPSReceiver::m_GPSData.m_bPositionValid = true;  // even a pending position stays pending
        CString message = NmeaText(body);
        EXPECT_FALSE(receiver.Parse(message));
        EXPECT_EQ(receiver.m_nMessageCount, 1);
        EXPECT_EQ(receiver.m_nChecksumErrors, 0);
        EXPECT_EQ(host.Pump(), 0);
        EXPECT_TRUE(CGPSReceiver::m_GPSData.m_bPositionValid);
    }
}

TEST(Parse, BinaryBlockIsNeverPublishedAsAnEpoch) {
    RecordingHost host;
    TestReceiver receiver;
    CGPSReceiver::m_GPSData.m_bPositionValid = true;
    CString message = Text(std::string("$BIN\x5F\x00\x04\x00\x01\x02\x03\x04\x00\x00\r\n", 16));
    receiver.Parse(message);
    host.Pump();
    EXPECT_TRUE(host.epochs.empty());
}

TEST(Parse, FailedGGAPublishesNothing) {
    RecordingHost host;
    TestReceiver receiver;
    CString message = NmeaText("GPGGA,081420.000,,,,,0,0,,,M,,M,,");
    EXPECT_FALSE(receiver.Parse(message));
    EXPECT_EQ(host.Pump(), 0);
}

TEST(Parse, MalformedInputNeverThrows) {
    RecordingHost host;
    TestReceiver receiver;
    const std::string bodies[] = {
        "GPGGA",
        "GPGGA,",
        "GPGGA,1e400,4807,N",
        "INGGA,,,,,,,,,,,,,,,,,,,,,",
        "GPGSV,,,",
        "GPVTG,,,,,,,,,,",
        "GPGSA,A",
        "PASHR,SAT,99",
        "GPGGA," + std::string(5000, '9'),
    };
    for (const std::string& body : bodies) {
        SCOPED_TRACE(body.substr(0, 40));
        CString message = NmeaText(body);
        EXPECT_NO_THROW(receiver.Parse(message));
    }
}

// The speed estimator takes every GGA with a fix while motion is computed here.
TEST(Parse, GGAFeedsTheSpeedEstimatorOnlyWhileComputingMotion) {
    RecordingHost host;
    TestReceiver receiver;
    CString first = NmeaText(kGGA);
    receiver.Parse(first);
    EXPECT_EQ(CGPSReceiver::m_SpeedEngine.GetCount(), 1);
    CString noFix = NmeaText("GPGGA,123520,4807.038,N,01131.000,E,0,08,0.9,545.4,M,46.9,M,,");
    receiver.Parse(noFix);
    EXPECT_EQ(CGPSReceiver::m_SpeedEngine.GetCount(), 1);
    CGPSReceiver::m_bComputeMotion = false;
    CString second = NmeaText("GPGGA,123521,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    receiver.Parse(second);
    EXPECT_EQ(CGPSReceiver::m_SpeedEngine.GetCount(), 1);
}

// The next three need the GSA, GSV and VTG handlers of the satellite and course areas.
TEST(Parse, GSAMarksItsArrivalAndPublishesOnlyWhatIsPending) {
    RecordingHost host;
    TestReceiver receiver;
    CString message = NmeaText("GPGSA,A,3,03,06,15,,,,,,,,,,1.6,0.9,1.3");
    EXPECT_FALSE(receiver.Parse(message));  // taken, but nothing to publish
    EXPECT_TRUE(CGPSReceiver::m_bGSAReceived);
    EXPECT_EQ(host.Pump(), 0);
}

TEST(Parse, CompletedGSVGroupForcesAnEpoch) {
    RecordingHost host;
    TestReceiver receiver;
    CString message = NmeaText("GPGSV,1,1,02,05,45,100,40,12,30,200,35");
    EXPECT_TRUE(receiver.Parse(message));
    EXPECT_TRUE(CGPSReceiver::m_bGSVReceived);
    host.Pump();
    ASSERT_EQ(host.epochs.size(), 1u);
    EXPECT_FALSE(host.epochs[0]->m_bPositionValid);
    EXPECT_TRUE(host.epochs[0]->m_bSVInfoValid);
    EXPECT_EQ(host.epochs[0]->m_nSatellitesInView, 2);
}

TEST(Parse, VTGAlonePublishesNothing) {
    RecordingHost host;
    TestReceiver receiver;
    CString message = NmeaText("GPVTG,90.0,T,,M,,N,36.0,K");
    EXPECT_FALSE(receiver.Parse(message));
    EXPECT_TRUE(CGPSReceiver::m_GPSData.m_bVelocityValid);
    EXPECT_FALSE(CGPSReceiver::m_bComputeMotion);
    EXPECT_EQ(host.Pump(), 0);
}

}  // namespace
}  // namespace tolvik
