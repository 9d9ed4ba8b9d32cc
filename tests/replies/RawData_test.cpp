// Raw records through the decoders to the host.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "sim/MixedStream.h"
#include "sim/RawRecords.h"
#include "support/CommandTrace.h"
#include "support/TestSupport.h"

namespace tolvik {
namespace {

constexpr double kC = 299792458.0;

// An SNV record of PRN 17 whose fields are printable bytes: every real is then a normal number,
// so decoding and encoding again must give the payload back byte for byte.
std::string SnvRecord(int week) {
    std::string body(130, '\0');  // the unused bytes 122-127 and 129 stay zero
    for (std::size_t i = 2; i < 122; ++i) body[i] = char('#' + i * 7 % 89);
    body[0] = char(week >> 8);
    body[1] = char(week);
    body[128] = 16;
    return sim::AshtechRecord("SNV", body);
}

struct RawReceiver : test::TestReceiver {
    bool HasRawData() override { return true; }  // as the Ashtech-style models
};

class RawDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        Raw().Clear();
        CGPSReceiver::m_GPSEphemeris = {};
    }
    static CGPSDataRaw& Raw() { return CGPSReceiver::m_GPSDataRaw; }
    static auto* Bytes(const std::string& s) { return reinterpret_cast<const BYTE*>(s.data()); }
    bool Mbn(const sim::MbnValues& v) { return rx.ProcessPASHR_MBN(Bytes(sim::MbnPayload(v))); }
    bool Pbn(const sim::PbnValues& v) { return rx.ProcessPASHR_PBN(Bytes(sim::PbnPayload(v))); }
    bool Attach(const std::string& s) { return rx.AttachRawData(s.data(), int(s.size())); }
    test::CommandTrace trace{7};
    test::RecordingHost host;
    RawReceiver rx;
};

TEST_F(RawDataTest, MbnValuesAreScaledAndRefusedRecordsChangeNothing) {
    ASSERT_TRUE(Mbn({7, true, 12345, 0.07, 123456, 1234.5}));  // PRN, last, tag, t, Doppler, phase
    const CGPSSatelliteDataRaw& s = Raw().m_Satellites[0];
    EXPECT_EQ(std::tuple(Raw().m_nNumSV, Raw().m_bLastRecord, s.m_nPRN, s.m_nTag, s.m_dPhase),
              std::tuple(1, true, 7, 24, -1234.5));  // tag 24.69 truncated
    EXPECT_DOUBLE_EQ(s.m_dDoppler, -12.3456);
    std::string badSum = sim::MbnPayload({.prn = 7});
    badSum[30] ^= 0x01;
    for (const std::string& refused :
         {badSum, sim::MbnPayload({.prn = 7, .headMark = 2}), sim::MbnPayload({.prn = 7, .flagsMark = 23}),
          sim::MbnPayload({.prn = 0, .lastOfEpoch = true})}) {
        EXPECT_FALSE(rx.ProcessPASHR_MBN(Bytes(refused)));
        EXPECT_EQ(std::tuple(Raw().m_nNumSV, Raw().m_bLastRecord, s.m_dPhase), std::tuple(1, true, -1234.5));
    }
    EXPECT_FALSE(rx.ProcessPASHR_MBN(nullptr));
    // The time t becomes 1 - t, folded back towards [-1, 1].
    for (const auto& [t, wrapped] :
         {std::pair{0.07, 0.93}, {2.5, 0.5}, {-0.5, 0.5}, {1.0, 0.0}, {3.0, 1.0}, {-1.25, 0.25}}) {
        ASSERT_TRUE(Mbn({.prn = 3, .time = t}));
        EXPECT_DOUBLE_EQ(Raw().m_Satellites[1].m_dRange, wrapped * kC) << t;
    }
    EXPECT_FALSE(Raw().m_bLastRecord);
}

TEST_F(RawDataTest, PbnPositionClockWeekAndRefusedRecords) {
    // Against an independent closed-form geodetic -> ECEF conversion: 1e-9 degrees, 1 mm.
    const double a = 6378137.0, b = 6356752.31414;
    // clang-format off
    const std::tuple<sim::Ecef, double, double, double> cases[] = {
        {{a, 0, 0}, 0, 0, 0}, {{0, a, 0}, 0, 90, 0}, {{-a, 0, 0}, 0, 180, 0},
        {{0, 0, b + 20}, 90, 0, 20}, {{0, 0, -b - 5}, -90, 0, 5},
        {sim::GeodeticToEcef(47.3769, 8.5417, 4158), 47.3769, 8.5417, 4158}};
    // clang-format on
    for (const auto& [at, lat, lon, height] : cases) {
        ASSERT_TRUE(Pbn({.x = at.x, .y = at.y, .z = at.z}) && Raw().m_bPositionValid);
        EXPECT_NEAR(Raw().m_dLatitude, lat, 1e-9) << lon;
        EXPECT_NEAR(Raw().m_dLongitude, lon, 1e-9) << lat;
        EXPECT_NEAR(Raw().m_dHeight, height, 1e-3) << lat << " " << lon;
    }
    ASSERT_TRUE(Mbn({.prn = 3}));
    std::string bad = sim::PbnPayload({.towMs = 1, .x = a});
    bad[20] ^= 0x10;  // a bad position drops the epoch
    EXPECT_FALSE(rx.ProcessPASHR_PBN(Bytes(bad)));
    EXPECT_EQ(std::tuple(Raw().m_bPositionValid, Raw().m_nNumSV, Raw().m_dReceiverTime), std::tuple(false, 0, 0.0));
    // Three satellites are too few to post: the epoch is dropped whole.
    for (int prn = 1; prn <= 3; ++prn) Mbn({.prn = prn});
    EXPECT_FALSE(Pbn({.x = a}) && rx.PostNewDataRaw());
    EXPECT_EQ(Raw().m_nNumSV, 0);
    // With no ephemeris seen the week comes from the clock in UTC: local time 14 hours ahead
    // would already be Sunday in the first row (2026-03-14 23:59:59; then Sunday, GPS start).
    setenv("TZ", "<+14>-14", 1);
    tzset();
    for (const auto& [now, week] :
         {std::pair<std::int64_t, int>{1773532799, 2409}, {1773532800, 2410}, {315968400, 0}}) {
        trace.Clock().SetNow(now);
        for (int prn = 1; prn <= 4; ++prn) Mbn({.prn = prn});
        EXPECT_FALSE(rx.PostNewDataRaw()) << "no position yet";
        ASSERT_TRUE(Pbn({.x = a}) && rx.PostNewDataRaw() && host.Pump() > 0);
        const CGPSDataRaw& posted = *host.rawEpochs.back();
        EXPECT_EQ(std::tuple(posted.m_nGPSWeek, posted.m_Time.GetTime()), std::tuple(week, now));
    }
    setenv("TZ", "UTC", 1);
    tzset();
    // SNV: week 0 is taken but neither notified nor posted; a bad checksum is refused, values kept.
    // Callbacks hear of a good ephemeris before the host gets it, which decodes back to its bytes.
    static int heard = 0;
    static std::size_t postedBefore = 99;  // how many the host had at the callback
    const auto onEphemeris = [](GPSNotificationType, CGPSNotification*, void* context) {
        auto* h = static_cast<test::RecordingHost*>(context);
        h->Pump();
        postedBefore = h->ephemerides.size();
        ++heard;
    };
    rx.AddNotificationCallback(GPS_NOTIFY_EPHEMERIS, onEphemeris, &host);
    bad = SnvRecord(1500);
    bad[140] ^= 0x04;
    EXPECT_TRUE(rx.ProcessPASHR_SNV(Bytes(SnvRecord(0)) + 11) && !rx.ProcessPASHR_SNV(Bytes(bad) + 11));
    EXPECT_EQ(std::tuple(CGPSReceiver::m_GPSEphemeris.m_nWeek, host.Pump(), heard), std::tuple(1500, 0, 0));
    EXPECT_TRUE(rx.ProcessPASHR_SNV(Bytes(SnvRecord(1500)) + 11));
    EXPECT_EQ(std::tuple(heard, postedBefore, host.Pump()), std::tuple(1, std::size_t{0}, 1));
    EXPECT_EQ(sim::SnvPayload(*host.ephemerides.back()), SnvRecord(1500).substr(11, 132));
}

// The "$BIN" records as words, and how often the handler repeats the Axis3 raw-output command.
TEST_F(RawDataTest, BinRecordsAndTheirRepeatedCommand) {
    rx.SetupReceiver(trace.Port(), 0, 0.0, L"", false);
    ASSERT_TRUE(rx.Initialize());
    trace.Take();
    const std::string record = sim::BinBlock(95, std::string("\x01\x02\xFF\x80", 4));  // 16 bytes
    EXPECT_FALSE(Attach(record.substr(0, 15)) && rx.ProcessBIN());
    EXPECT_FALSE(Attach(record) && (rx.AttachRawData(nullptr, 5) || rx.ProcessBIN()));
    ASSERT_TRUE(Attach(record) && rx.ProcessBIN());
    EXPECT_EQ(std::vector<WORD>(rx.m_BinaryMessage.begin(), rx.m_BinaryMessage.end()),
              (std::vector<WORD>{0x4224, 0x4E49, 95, 4, 0x0201, 0x80FF, 0x0182, 0x0A0D}));
    // An AA 44 12 record of 37 bytes: words too, the odd last byte dropped, and not counted.
    ASSERT_TRUE(Attach(sim::Axis4Record(42, "\x10\x20\x30\x40\x50")) && rx.ProcessAxis4BIN());
    const CWordArray& words = rx.m_BinaryMessage;
    EXPECT_EQ(std::tuple(words.GetSize(), words[0], words[14]), std::tuple(18, 0x44AA, 0x2010));
    host.Pump();
    EXPECT_EQ(std::tuple(host.binaryMessages, rx.m_nRawMessageCount, trace.Take()), std::tuple(2, 1, ""));
    // About every three seconds of records, counting all raw messages taken before: interval,
    // earlier count, what follows each record ("." nothing, "!" the command and a pause).
    const std::string r1 = "$JBIN,95,1\r\n[200]", r02 = "$JBIN,95,0.2\r\n[200]";
    // clang-format off
    const std::tuple<double, int, std::string, std::string> cases[] = {
        {1.0, 0, "..!..!..!", r1}, {1.0, 1, ".!..!", r1}, {5.0, 0, "!!", r1},
        {0.2, 0, std::string(14, '.') + "!" + std::string(14, '.') + "!", r02},
        {0.25, 0, std::string(11, '.') + "!", r1}};
    // clang-format on
    ASSERT_TRUE(Attach(record));
    for (const auto& [interval, earlier, pattern, text] : cases) {
        s_dBinOutputInterval = interval;
        rx.m_nRawMessageCount = earlier;
        std::string seen;
        for (std::size_t n = 0; n < pattern.size() && rx.ProcessBIN(); ++n) {
            const std::string sent = trace.Take();
            seen += sent.empty() ? '.' : sent == text ? '!' : '?';
        }
        EXPECT_EQ(seen, pattern) << interval;
    }
}

}  // namespace
}  // namespace tolvik
