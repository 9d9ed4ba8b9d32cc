// Parse and publishing: classification, checksum test, counters, monitoring, the dispatch rules,
// posted epochs and notifications (whole recordings: tests/golden).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "tolvik/port/CAck.h"

namespace tolvik {
namespace {

using test::Nmea;

// The same sentence with the last checksum digit changed.
std::string Spoiled(std::string sentence) {
    char& digit = sentence[sentence.find('*') + 2];
    digit = digit == '0' ? '1' : '0';
    return sentence;
}

const std::string kGGA = Nmea("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
const std::string kGSA = Nmea("GPGSA,A,3,03,06,15,,,,,,,,,,1.6,0.9,1.3");

// Every test and table row starts from fresh shared state, also when one process runs them all.
class DispatchTest : public ::testing::Test {
protected:
    static CGPSData& Current() { return CGPSReceiver::m_GPSData; }
    void SetUp() override { Fresh(); }
    void Fresh() {
        Current() = CGPSData();
        CGPSReceiver::m_SpeedEngine.Reset();
        CGPSReceiver::m_bGSAReceived = CGPSReceiver::m_bGSVReceived = false;
        CAck::m_bGotAck = false;
        rx.m_nMessageCount = rx.m_nChecksumErrors = 0;
        host.Pump();
        host.epochs.clear();
    }
    bool Parse(const std::string& bytes) {
        CString message = CString::FromBytes(bytes);
        return rx.Parse(message);
    }
    GPSStringType Type(const std::string& s) { return rx.GetGPSStringType(CString::FromBytes(s)); }
    test::RecordingHost host;
    test::TestReceiver rx;
};

// The classification table in search order; the common NMEA kinds of both talkers are also in
// every golden recording.
// clang-format off
constexpr std::pair<const char*, GPSStringType> kHeaders[] = {
    {"$GPALM", GPS_STR_ALM}, {"$GPGGA", GPS_STR_GGA}, {"$INGGA", GPS_STR_INGGA},
    {"$GNGSA", GPS_STR_GSA}, {"$GNZDA", GPS_STR_ZDA}, {"$CRMSS", GPS_STR_MSS},
    {"$GPMSS", GPS_STR_MSS}, {"$CRMSK", GPS_STR_MSK}, {"$GPMSK", GPS_STR_MSK},
    {"PEM:", GPS_STR_PEM}, {"PMD:", GPS_STR_PMD}, {"PRTA:", GPS_STR_PRTA}, {"PER:", GPS_STR_PER},
    {"$PASHR", GPS_STR_PASHR}, {"$PSLIR,PAR,NMEA", GPS_STR_PSLIR_NMEA},
    {"$PSLIR,PAR,MODE", GPS_STR_PSLIR_MODE}, {"$PMCAG", GPS_STR_PMCAG},
    {"$>JSHOW", GPS_STR_JSHOW}, {"$>JI", GPS_STR_JI}, {"$>JGEO", GPS_STR_JGEO},
    {"$RD1", GPS_STR_RD1}, {"$BIN", GPS_STR_BIN}, {"#LOGLISTA", GPS_STR_LOGLIST},
    {"#RXCONFIGA", GPS_STR_RXCONFIG}, {"#ECUTOFF", GPS_STR_ECUTOFF},
    {"#OMNIINFO", GPS_STR_OMNIINFO}, {"#OMNISTAT", GPS_STR_OMNISTAT},
    {"#OMNIHPPOS", GPS_STR_OMNIHPPOS}, {"#WAAS1", GPS_STR_WAAS1},
    {"#RTKSOURCE", GPS_STR_RTKSOURCE}, {"#SBASCONTROL", GPS_STR_SBASCONTROL},
    {"#PSRDIFFSOURCE", GPS_STR_PSRDIFFSOURCE}, {"$PGRME", GPS_STR_PGRME}};
// clang-format on
TEST_F(DispatchTest, ClassificationCountsAndChecksumRule) {
    for (const auto& [header, type] : kHeaders) {
        SCOPED_TRACE(header);
        Fresh();
        const bool nmea = header[0] == '$';
        const bool checked = nmea && type < 15;  // the replies after the NMEA kinds go untested
        const std::string good = nmea ? Nmea(header + 1 + std::string(",1")) : header;
        EXPECT_EQ(Type(good), type);
        EXPECT_EQ(Type(nmea ? Spoiled(good) : good), checked ? GPS_STR_UNKNOWN : type);
        EXPECT_EQ(rx.m_nMessageCount, 2);
        EXPECT_EQ(rx.m_nChecksumErrors, checked ? 1 : 0);
    }
    Fresh();  // not counted: what no header begins, and binary records with their own CRC
    for (const char* other : {"$GLGSV,1*5B", "$gpgga,1*", " $GPGGA", "GPGGA", "", "\xAA\x44"})
        EXPECT_EQ(Type(other), GPS_STR_UNKNOWN) << other;
    EXPECT_EQ(Type(std::string("\xAA\x44\x12\x1C\x00\x01", 6)), GPS_STR_AXIS4_BIN);
    EXPECT_EQ(rx.m_nMessageCount + rx.m_nChecksumErrors, 0);
    rx.MonitorNmea(true);  // records rejected kinds too; those from 32 on have no bit
    for (const std::string& message : {Spoiled(kGGA), std::string("\xAA\x44\x12\x1C")}) Parse(message);
    EXPECT_TRUE(rx.HaveGotNmea(GPS_STR_UNKNOWN) && !rx.HaveGotNmea(GPS_STR_AXIS4_BIN));
    EXPECT_EQ(CGPSReceiver::m_wNmeaBits.load(), 1u << GPS_STR_UNKNOWN);
}

TEST_F(DispatchTest, ChecksumDigitsAndPositions) {
    // clang-format off
    const std::pair<CString, bool> cases[] = {  // 'A' ^ 'E' is 0x04
        {CString::FromBytes(kGGA), true}, {L"$PGRMV,0.0,0.0,0.0*5c\r\n", true},  // lower case
        {L"$AE*4\r\n", true},      {L"$AE*1204\r\n", true},  // four digits count by the last two
        {L"$AE*0400\r\n", false},  {L"$AE*00004\r\n", false},  // a fifth digit is not read
        {L"$AE*4G\r\n", true},     {L"$AE*40\r\n", false},  {L"$AE*\r\n", false},
        {L"$AA*\r\n", true},       {L"$AE04\r\n", false},   {L"AE*04\r\n", false},
        {L"*04$AE*04\r\n", false}, {L"xy$AE*04\r\n", true}, {CString(), false},
        {L"$AE*14\r\n", false},  {L"$AE*F4\r\n", false},  // the high digit counts too
        {L"$\u0141E*04\r\n", true}};  // the low 8 bits of a wide character
    // clang-format on
    for (const auto& [message, ok] : cases) EXPECT_EQ(rx.IsChecksumOK(message), ok) << message.ToBytes();
}

TEST_F(DispatchTest, WhatParsePublishes) {
    const struct {
        std::string message;
        bool pending, result;
        int epochs;
    } cases[] = {{kGGA, false, true, 1},  // pending: a position already waits for publication
                 {Spoiled(kGGA), true, false, 0},
                 {"[COM1]" + kGGA, false, true, 1},  // the tag of a serial multiplexer
                 {"$PGRMZ[COM", true, false, 0},
                 {Nmea("GPRMC,093802,A,5213.1439,N,02100.6511,E,000.0,226.0,160305,,,D"), true, false, 0},
                 {std::string("$BIN\x5F\x00\x04\x00\x01\x02\r\n", 12), true, false, 0},
                 {kGSA, false, false, 0},
                 {kGSA, true, true, 1},
                 {Nmea("GPVTG,90.0,T,,M,,N,36.0,K"), false, false, 0},
                 {Nmea("GPGSV,1,1,02,05,45,100,40"), false, true, 1}};  // the last of a group is forced out
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        Fresh();
        Current().m_bPositionValid = c.pending;
        EXPECT_EQ(Parse(c.message), c.result);
        EXPECT_EQ(host.Pump(), c.epochs);
    }
}

TEST_F(DispatchTest, PashrAcknowledgementIsTheFirstTenCharacters) {
    const std::pair<const char*, bool> cases[] = {{"$PASHR,ACK*3D\r\n", true},
                                                  {"$PASHR,ACKNOWLEDGED\r\n", true},
                                                  {"$PASHR,ack*3D\r\n", false},
                                                  {"$PASHR,AC\r\n", false},
                                                  {"$PASHR,NAK*30\r\n", false}};
    for (const auto& [message, ack] : cases) {
        SCOPED_TRACE(message);
        Fresh();
        CGPSReceiver::m_bGSAReceived = CGPSReceiver::m_bGSVReceived = true;  // others are dropped
        EXPECT_TRUE(Parse(message) == ack && CAck::m_bGotAck == ack);
        ASSERT_EQ(host.Pump(), ack ? 1 : 0);  // a copy with the acknowledgement; this one restarts
        EXPECT_TRUE(!ack || host.epochs[0]->m_Status.m_bAckReceived);
        EXPECT_FALSE(Current().m_Status.m_bAckReceived || Current().m_Status.m_bUpdated);
    }
}

TEST_F(DispatchTest, PashrSatelliteReplyIsDroppedOnceGSAAndGSVWereParsed) {
    for (const bool withGSV : {false, true}) {
        Fresh();
        Parse(kGSA);
        Parse(withGSV ? Nmea("GPGSV,1,1,07") : "");
        host.Pump();
        EXPECT_EQ(Parse(Nmea("PASHR,SAT,02,05,100,45,40,U,12,200,30,35,-")), !withGSV);
        EXPECT_EQ(host.Pump(), withGSV ? 0 : 1);  // a taken reply is forced out
        EXPECT_EQ(Current().m_nSatellitesInView, withGSV ? 7 : 2);
    }
}

TEST_F(DispatchTest, ProprietarySentencesWithinTheLengthWindowArePublishedOnce) {
    const auto text = [](std::size_t n) { return "$P" + std::string(n - 4, 'X') + "\r\n"; };
    // Lengths include the line end; 79 characters fill the field without a terminator.
    const std::pair<std::string, bool> cases[] = {
        {"$PXY\n", false},
        {text(9), false},
        {text(10), true},
        {text(79), true},
        {text(82), true},
        {text(83), false},
        {Spoiled(Nmea("PMCAG,005,1,10")), true}};  // known reply, bad checksum
    constexpr int kLength = CGPSData::kProprietaryLength;
    for (const auto& [message, published] : cases) {
        SCOPED_TRACE(message);
        Fresh();
        Current().m_bVelocityValid = Current().m_bSVInfoValid = Current().m_bDOPValid = true;
        Current().m_bPositionValid = published;  // a published sentence clears it, too
        EXPECT_EQ(Parse(message), published);
        ASSERT_EQ(host.Pump(), published ? 1 : 0);
        const CGPSData& d = published ? *host.epochs[0] : Current();
        std::string expected = published ? message.substr(0, kLength) : "";
        expected.resize(kLength, '\0');
        EXPECT_EQ(std::string(d.m_szProprietary, kLength), expected);
        EXPECT_EQ(d.m_bProprietaryValid, published);
        EXPECT_NE(d.m_bPositionValid || d.m_bVelocityValid || d.m_bDOPValid, published);
        // The next message that publishes what is pending does not find the sentence again.
        EXPECT_FALSE(Parse(kGSA));
    }
}

// Below 0.3 m/s a standing receiver reports neither speed nor course. The recordings show the
// rest of what a posted copy holds and what the next epoch keeps, but not this edge.
TEST_F(DispatchTest, APostedPositionHasASpeedFromThreeTenthsOfAMetreASecond) {
    for (const auto& [speed, posted] : {std::pair(0.29, 0.0), std::pair(0.3, 0.3)}) {
        Current().m_bPositionValid = true;
        Current().m_dSpeed = speed;
        Current().m_dCourse = 2.0;
        ASSERT_TRUE(rx.PostNewData(false));
        ASSERT_EQ(host.Pump(), 1);
        EXPECT_EQ(host.epochs.back()->m_dSpeed, posted);
        EXPECT_EQ(host.epochs.back()->m_dCourse, posted == 0.0 ? 0.0 : 2.0);
    }
}

// The user value of a registration is the record its callback fills; a record may ask its
// callback to register again, for its own kind, while it runs.
struct Call {
    int count = 0;
    test::TestReceiver* reenter = nullptr;
    Call* next = nullptr;
};
void Record(GPSNotificationType eType, CGPSNotification*, void* pUser) {
    Call& call = *static_cast<Call*>(pUser);
    if (call.count++ == 0 && call.reenter) call.reenter->AddNotificationCallback(eType, Record, call.next);
}

TEST_F(DispatchTest, NotificationRegistryKeepsOneCallbackPerKind) {
    Call first, second, positions, again;
    Call reentering{.reenter = &rx, .next = &again};
    rx.AddNotificationCallback(GPS_NOTIFY_EPHEMERIS, Record, &first);
    rx.AddNotificationCallback(GPS_NOTIFY_EPHEMERIS, Record, &second);
    rx.AddNotificationCallback(GPS_NOTIFY_RAW, Record, &first);
    rx.AddNotificationCallback(GPS_NOTIFY_RAW, nullptr, nullptr);
    rx.AddNotificationCallback(GPS_NOTIFY_POSITION, Record, &positions);
    EXPECT_TRUE(rx.HasNotificationCallback(GPS_NOTIFY_EPHEMERIS) && !rx.HasNotificationCallback(GPS_NOTIFY_RAW));
    CGPSNotification notification;
    rx.BroadcastNotification(GPS_NOTIFY_EPHEMERIS, &notification);
    rx.BroadcastNotification(GPS_NOTIFY_RAW, &notification);
    EXPECT_TRUE(first.count == 0 && second.count == 1);
    EXPECT_TRUE(Parse(kGGA));
    EXPECT_EQ(positions.count, 0) << "publishing a position raises no notification";
    rx.AddNotificationCallback(GPS_NOTIFY_RAW, Record, &reentering);
    rx.BroadcastNotification(GPS_NOTIFY_RAW, &notification);
    rx.BroadcastNotification(GPS_NOTIFY_RAW, &notification);
    EXPECT_TRUE(reentering.count == 1 && again.count == 1);
}

}  // namespace
}  // namespace tolvik
