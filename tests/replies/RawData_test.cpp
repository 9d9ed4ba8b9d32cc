// Raw data for post-processing: records encoded byte by byte with the sim encoders, decoded by
// the receiver's handlers, and the copies the host receives.
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "sim/MixedStream.h"
#include "sim/RawRecords.h"
#include "support/TestSupport.h"
#include "tolvik/platform/Clock.h"

namespace tolvik {
namespace {

constexpr double kC = 299792458.0;
constexpr std::int64_t kGpsEpochUnix = 315964800;  // 1980-01-06 00:00:00 UTC

const unsigned char* Bytes(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

// A receiver that streams raw data, as the Ashtech-style models do.
class RawReceiver : public test::TestReceiver {
public:
    bool HasRawData() override { return true; }
};

// A pseudo-terminal standing in for the receiver's port: the library writes the slave, the test
// reads the master. A mark written to the slave after a call ends what that call wrote, so a
// read never depends on timing.
class PseudoTerminal {
public:
    PseudoTerminal() {
        char name[256] = {};
        if (openpty(&m_master, &m_slave, name, nullptr, nullptr) == 0)
            m_path = name;
    }
    ~PseudoTerminal() {
        if (m_slave >= 0)
            close(m_slave);
        if (m_master >= 0)
            close(m_master);
    }
    const std::string& Path() const { return m_path; }
    void Mark(const std::string& text) const {
        EXPECT_EQ(write(m_slave, text.data(), text.size()), ssize_t(text.size()));
    }
    // What arrived before the mark; the bound on the wait only turns a hang into a failure.
    std::string ReadThrough(const std::string& mark) const {
        std::string got;
        for (std::size_t at; (at = got.find(mark)) == std::string::npos;) {
            pollfd pfd{m_master, POLLIN, 0};
            char buffer[512];
            const ssize_t n = poll(&pfd, 1, 20000) > 0 ? read(m_master, buffer, sizeof buffer) : -1;
            if (n <= 0) {
                ADD_FAILURE() << "mark never arrived; got " << got;
                return got;
            }
            got.append(buffer, std::size_t(n));
        }
        return got.substr(0, got.find(mark));
    }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
};

class RawDataTest : public ::testing::Test {
protected:
    // The shared records are statics: start each test from the state the library loads with,
    // also when the tests run in one process.
    void SetUp() override {
        CGPSReceiver::m_GPSDataRaw.Clear();
        CGPSReceiver::m_GPSEphemeris = CGPSDataEphemeris();
        CGPSReceiver::m_GPSMessageRaw.Clear();
        s_dBinOutputInterval = 0.2;
    }
    // Opens the shared port on a pseudo-terminal mapped as COM7.
    void OpenPort() {
        ASSERT_FALSE(pty.Path().empty());
        CSerialPort::SetPortDevice(7, pty.Path());
        rx.SetupReceiver(7, 0, 0.0, L"", false);
        ASSERT_TRUE(rx.Initialize()) << "port on " << pty.Path() << " did not open";
        clock.ClearSleeps();
    }
    std::string Written() {
        pty.Mark("<end>");
        return pty.ReadThrough("<end>");
    }
    bool Mbn(const sim::MbnValues& v) { return rx.ProcessPASHR_MBN(Bytes(sim::MbnPayload(v))); }
    bool Pbn(const sim::PbnValues& v) { return rx.ProcessPASHR_PBN(Bytes(sim::PbnPayload(v))); }
    void AddSatellites(int n) {
        for (int prn = 1; prn <= n; ++prn)
            ASSERT_TRUE(Mbn({.prn = prn, .time = 0.07 + prn * 1e-3}));
    }
    bool Attach(const std::string& bytes) {
        return rx.AttachRawData(bytes.data(), int(bytes.size()));
    }

    platform::VirtualClock clock;
    platform::ScopedClock guard{clock};
    test::RecordingHost host;
    RawReceiver rx;
    PseudoTerminal pty;
};

TEST_F(RawDataTest, MbnRoundTripScalesIntoTheSatelliteSlot) {
    ASSERT_TRUE(Mbn({.prn = 7,
                     .lastOfEpoch = true,
                     .tag = 12345,
                     .time = 0.07,
                     .doppler = 123456,
                     .phase = 1234.5}));
    const CGPSDataRaw& raw = CGPSReceiver::m_GPSDataRaw;
    ASSERT_EQ(raw.m_nNumSV, 1);
    const CGPSSatelliteDataRaw& s = raw.m_Satellites[0];
    EXPECT_EQ(s.m_nPRN, 7);
    EXPECT_EQ(s.m_nTag, 24);  // 24.69 truncated
    EXPECT_DOUBLE_EQ(s.m_dRange, (1.0 - 0.07) * kC);
    EXPECT_DOUBLE_EQ(s.m_dPhase, -1234.5);
    EXPECT_DOUBLE_EQ(s.m_dDoppler, -12.3456);
    EXPECT_TRUE(raw.m_bLastRecord);
    ASSERT_TRUE(Mbn({.prn = 8}));
    EXPECT_FALSE(raw.m_bLastRecord);
}

TEST_F(RawDataTest, MbnTimeIsWrappedIntoOneSecond) {
    const struct {
        double t, wrapped;
    } cases[] = {{0.07, 0.93}, {2.5, 0.5},    {-0.5, 0.5}, {1.0, 0.0},
                 {3.0, 1.0},   {-1.25, 0.25}, {0.5, 0.5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.t);
        CGPSReceiver::m_GPSDataRaw.Clear();
        ASSERT_TRUE(Mbn({.prn = 3, .time = c.t}));
        EXPECT_NEAR(CGPSReceiver::m_GPSDataRaw.m_Satellites[0].m_dRange, c.wrapped * kC, 1e-6);
    }
}

TEST_F(RawDataTest, MbnRefusedRecordsChangeNothing) {
    ASSERT_TRUE(Mbn({.prn = 5, .lastOfEpoch = true, .phase = 9.0}));
    std::string badSum = sim::MbnPayload({.prn = 6});
    badSum[30] ^= 0x01;
    const struct {
        const char* legend;
        std::string payload;
    } cases[] = {
        {"bad checksum", badSum},
        {"head byte 2", sim::MbnPayload({.prn = 6, .headMark = 2})},
        {"byte 9 is 23", sim::MbnPayload({.prn = 6, .flagsMark = 23})},
        {"satellite 0", sim::MbnPayload({.prn = 0, .lastOfEpoch = true})},
        {"same satellite, bad checksum",
         [] {
             auto p = sim::MbnPayload({.prn = 5});
             p[40] ^= 0x80;
             return p;
         }()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        EXPECT_FALSE(rx.ProcessPASHR_MBN(Bytes(c.payload)));
        EXPECT_EQ(CGPSReceiver::m_GPSDataRaw.m_nNumSV, 1);
        EXPECT_TRUE(CGPSReceiver::m_GPSDataRaw.m_bLastRecord);
        EXPECT_EQ(CGPSReceiver::m_GPSDataRaw.m_Satellites[0].m_dPhase, -9.0);
    }
    EXPECT_FALSE(rx.ProcessPASHR_MBN(nullptr));
}

// Against points built by an independent closed-form geodetic -> ECEF conversion. One Bowring
// step is exact to well below a millimetre near the Earth's surface; the tolerance is 1e-9
// degrees (0.1 mm) and 1 mm of height.
TEST_F(RawDataTest, PbnPositionIsConvertedToDegreesAndHeight) {
    const struct {
        const char* legend;
        sim::Ecef ecef;
        double lat, lon, height;
    } cases[] = {
        {"equator, Greenwich", {6378137.0, 0, 0}, 0, 0, 0},
        {"equator, 90 E", {0, 6378137.0, 0}, 0, 90, 0},
        {"equator, 90 W", {0, -6378137.0, 0}, 0, -90, 0},
        {"equator, date line", {-6378137.0, 0, 0}, 0, 180, 0},
        {"north pole", {0, 0, 6356752.31414 + 20}, 90, 0, 20},
        {"near the north pole", sim::GeodeticToEcef(89.999, 30, 2800), 89.999, 30, 2800},
        {"near the south pole", sim::GeodeticToEcef(-89.98, -150, 2835), -89.98, -150, 2835},
        {"mid-latitude at altitude", sim::GeodeticToEcef(47.3769, 8.5417, 4158), 47.3769, 8.5417,
         4158},
        {"south-west, below the ellipsoid", sim::GeodeticToEcef(-33.86, -70.6, -35), -33.86, -70.6,
         -35},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        ASSERT_TRUE(Pbn({.x = c.ecef.x, .y = c.ecef.y, .z = c.ecef.z}));
        const CGPSDataRaw& raw = CGPSReceiver::m_GPSDataRaw;
        EXPECT_TRUE(raw.m_bPositionValid);
        EXPECT_NEAR(raw.m_dLatitude, c.lat, 1e-9);
        EXPECT_NEAR(raw.m_dLongitude, c.lon, 1e-9);
        EXPECT_NEAR(raw.m_dHeight, c.height, 1e-3);
    }
}

TEST_F(RawDataTest, PbnClockFieldsAndBadChecksumDropsTheEpoch) {
    ASSERT_TRUE(
        Pbn({.towMs = 345600123, .x = 6378137.0, .clockOffset = 1500.5f, .clockDrift = -0.25f}));
    const CGPSDataRaw& raw = CGPSReceiver::m_GPSDataRaw;
    EXPECT_DOUBLE_EQ(raw.m_dReceiverTime, 345600.123);
    EXPECT_DOUBLE_EQ(raw.m_dClockOffset, 1500.5);
    EXPECT_DOUBLE_EQ(raw.m_dCorrectedTime, 345600.123 - 1500.5 / kC);
    EXPECT_DOUBLE_EQ(raw.m_dClockDrift, -0.25);

    AddSatellites(3);
    std::string bad = sim::PbnPayload({.towMs = 1, .x = 6378137.0});
    bad[20] ^= 0x10;
    EXPECT_FALSE(rx.ProcessPASHR_PBN(Bytes(bad)));
    EXPECT_FALSE(raw.m_bPositionValid);
    EXPECT_EQ(raw.m_nNumSV, 0);
    EXPECT_EQ(raw.m_dReceiverTime, 0.0);
}

TEST_F(RawDataTest, FourSatellitesAndAPositionPostOneEpoch) {
    for (int prn : {3, 9, 14, 22})
        ASSERT_TRUE(Mbn(
            {.prn = prn, .tag = 5000 * prn, .time = 0.07, .doppler = -prn, .phase = prn * 10.0}));
    EXPECT_FALSE(rx.PostNewDataRaw()) << "no position yet";
    const sim::Ecef at = sim::GeodeticToEcef(60.2, 24.9, 30);
    ASSERT_TRUE(Pbn({.towMs = 3600000, .x = at.x, .y = at.y, .z = at.z}));
    ASSERT_TRUE(rx.PostNewDataRaw());
    EXPECT_EQ(CGPSReceiver::m_GPSDataRaw.m_nNumSV, 0) << "cleared once posted";
    EXPECT_FALSE(CGPSReceiver::m_GPSDataRaw.m_bPositionValid);

    host.Pump();
    ASSERT_EQ(host.rawEpochs.size(), 1u);
    const CGPSDataRaw& posted = *host.rawEpochs[0];
    EXPECT_EQ(posted.m_nNumSV, 4);
    EXPECT_EQ(posted.m_Time.GetTime(), clock.Now());
    EXPECT_NEAR(posted.m_dLatitude, 60.2, 1e-9);
    EXPECT_DOUBLE_EQ(posted.m_dReceiverTime, 3600.0);
    EXPECT_EQ(posted.m_Satellites[3].m_nPRN, 22);
    EXPECT_EQ(posted.m_Satellites[3].m_nTag, 220);
    EXPECT_DOUBLE_EQ(posted.m_Satellites[3].m_dRange, 0.93 * kC);
    EXPECT_DOUBLE_EQ(posted.m_Satellites[3].m_dDoppler, 0.0022);
    EXPECT_DOUBLE_EQ(posted.m_Satellites[3].m_dPhase, -220.0);
}

TEST_F(RawDataTest, FewerThanFourSatellitesDiscardTheEpoch) {
    AddSatellites(3);
    ASSERT_TRUE(Pbn({.x = 6378137.0}));
    EXPECT_FALSE(rx.PostNewDataRaw());
    EXPECT_EQ(CGPSReceiver::m_GPSDataRaw.m_nNumSV, 0);
    AddSatellites(4);
    ASSERT_TRUE(Pbn({.x = 6378137.0}));
    ASSERT_TRUE(rx.PostNewDataRaw());
    host.Pump();
    ASSERT_EQ(host.rawEpochs.size(), 1u);
    EXPECT_EQ(host.rawEpochs[0]->m_nNumSV, 4)
        << "the discarded epoch's satellites do not carry over";
}

// With no ephemeris seen, the week comes from the clock in UTC: local time in a zone 14 hours
// ahead would already be Sunday for the Saturday cases.
TEST_F(RawDataTest, WeekComesFromTheEphemerisOrFromTheClock) {
    const char* oldTz = std::getenv("TZ");
    const std::string savedTz = oldTz ? oldTz : "";
    setenv("TZ", "<+14>-14", 1);
    tzset();
    const struct {
        const char* legend;
        std::int64_t now;
        int week;
    } cases[] = {
        {"Saturday 2026-03-14 23:59:59", 1773532799, 2409},
        {"Sunday 2026-03-15 00:00:00", 1773532800, 2410},
        {"first rollover, 1999-08-22", 935280000, 1024},
        {"GPS start", kGpsEpochUnix + 3600, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        EXPECT_EQ((c.now - kGpsEpochUnix) / 604800, c.week);  // the table checks itself
        clock.SetNow(c.now);
        AddSatellites(4);
        ASSERT_TRUE(Pbn({.x = 6378137.0}));
        ASSERT_TRUE(rx.PostNewDataRaw());
        host.Pump();
        EXPECT_EQ(host.rawEpochs.back()->m_nGPSWeek, c.week);
    }
    oldTz ? setenv("TZ", savedTz.c_str(), 1) : unsetenv("TZ");
    tzset();

    CGPSReceiver::m_GPSEphemeris.m_nWeek = 1234;
    AddSatellites(4);
    ASSERT_TRUE(Pbn({.x = 6378137.0}));
    ASSERT_TRUE(rx.PostNewDataRaw());
    host.Pump();
    EXPECT_EQ(host.rawEpochs.back()->m_nGPSWeek, 1234);
}

CGPSDataEphemeris SampleEphemeris(std::int16_t week) {
    CGPSDataEphemeris e;
    e.m_nPRN = 17;
    e.m_nWeek = week;
    e.m_nTOW = 345600;
    e.m_dTgd = -1.1641532e-08;
    e.m_nAODC = 201;
    e.m_nToc = 352800;
    e.m_dAf2 = 2.5e-19;
    e.m_dAf1 = -3.4106051e-12;
    e.m_dAf0 = 1.2345e-4;
    e.m_nAODE = 77;
    e.m_dDeltaN = 4.5e-9;
    e.m_dM0 = 1.0471975511965976;
    e.m_dE = 0.0123456789;
    e.m_dRootA = 5153.7954998;
    e.m_nToe = 360000;
    e.m_dCic = 1.1e-7;
    e.m_dCrc = 250.5;
    e.m_dCis = -2.2e-7;
    e.m_dCrs = -40.25;
    e.m_dCuc = 3.3e-6;
    e.m_dCus = 4.4e-6;
    e.m_dOmega0 = -2.5;
    e.m_dOmega = 0.75;
    e.m_dI0 = 0.9599310885968813;
    e.m_dOmegaDot = -8.1e-9;
    e.m_dIDot = 3.2e-10;
    return e;
}

struct NotificationLog {
    test::RecordingHost* host;
    int calls = 0;
    std::size_t postedBeforeCall = 99;
    CGPSNotification* seen = nullptr;
};

void OnEphemeris(GPSNotificationType, CGPSNotification* pNotification, void* pUser) {
    auto* log = static_cast<NotificationLog*>(pUser);
    log->host->Pump();  // delivers whatever was already posted
    log->postedBeforeCall = log->host->ephemerides.size();
    log->seen = pNotification;
    ++log->calls;
}

TEST_F(RawDataTest, SnvRoundTripNotifiesThenPosts) {
    NotificationLog log{&host};
    rx.AddNotificationCallback(GPS_NOTIFY_EPHEMERIS, OnEphemeris, &log);
    const CGPSDataEphemeris in = SampleEphemeris(2409);
    ASSERT_TRUE(rx.ProcessPASHR_SNV(Bytes(sim::SnvPayload(in))));
    EXPECT_EQ(log.calls, 1);
    EXPECT_EQ(log.postedBeforeCall, 0u) << "the record must be posted after the callback";
    EXPECT_EQ(log.seen, &rx.m_Notification);
    host.Pump();
    ASSERT_EQ(host.ephemerides.size(), 1u);

    // Every field survives: encoding the decoded record gives the same bytes again.
    for (const CGPSDataEphemeris* e : {&CGPSReceiver::m_GPSEphemeris, host.ephemerides[0].get()}) {
        EXPECT_EQ(sim::SnvPayload(*e), sim::SnvPayload(in));
        EXPECT_EQ(e->m_nPRN, 17);
        EXPECT_EQ(e->m_nWeek, 2409);
        EXPECT_EQ(e->m_dTgd, double(float(in.m_dTgd)));
        EXPECT_EQ(e->m_dI0, in.m_dI0);
    }
}

TEST_F(RawDataTest, SnvWithoutWeekOrWithBadChecksumPostsNothing) {
    NotificationLog log{&host};
    rx.AddNotificationCallback(GPS_NOTIFY_EPHEMERIS, OnEphemeris, &log);
    EXPECT_TRUE(rx.ProcessPASHR_SNV(Bytes(sim::SnvPayload(SampleEphemeris(0)))));
    EXPECT_EQ(CGPSReceiver::m_GPSEphemeris.m_nPRN, 17);
    std::string bad = sim::SnvPayload(SampleEphemeris(1500));
    bad[129] ^= 0x04;
    EXPECT_FALSE(rx.ProcessPASHR_SNV(Bytes(bad)));
    EXPECT_EQ(CGPSReceiver::m_GPSEphemeris.m_nWeek, 1500) << "unverified values stay";
    host.Pump();
    EXPECT_TRUE(host.ephemerides.empty());
    EXPECT_EQ(log.calls, 0);
}

// Arbitrary payloads with good checksums reach every decoding step (NaN and infinite values,
// any satellite number); under the sanitizers this shows that no input reads or computes
// outside what is defined.
TEST_F(RawDataTest, ArbitraryPayloadsWithGoodChecksumsAreHandled) {
    std::mt19937 rng(20260314);
    auto payload = [&rng](int size, bool marked) {
        std::string p(std::size_t(size), '\0');
        for (char& c : p)
            c = char(rng());
        if (marked)
            p[0] = 1, p[2] = char(1 + rng() % 40), p[9] = 24;
        const std::uint16_t sum = sim::PashrWordSum(p, size / 2 - 1);
        p[size - 2] = char(sum >> 8), p[size - 1] = char(sum);
        return p;
    };
    for (int round = 0; round < 1000; ++round) {
        for (int i = 0; i < 5; ++i)
            rx.ProcessPASHR_MBN(Bytes(payload(sim::kMbnPayloadBytes, i > 0)));
        EXPECT_LE(CGPSReceiver::m_GPSDataRaw.m_nNumSV, 11);
        ASSERT_TRUE(rx.ProcessPASHR_PBN(Bytes(payload(sim::kPbnPayloadBytes, false))));
        rx.ProcessPASHR_SNV(Bytes(payload(sim::kSnvPayloadBytes, false)));
        rx.PostNewDataRaw();
    }
    host.Pump();
    EXPECT_FALSE(host.rawEpochs.empty());
    EXPECT_FALSE(host.ephemerides.empty());
}

TEST_F(RawDataTest, AttachedBytesBecomeTheCurrentMessage) {
    EXPECT_TRUE(Attach("$BIN12345"));
    int n = 0;
    const char* p = CGPSReceiver::m_GPSMessageRaw.GetMessageBin(n);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p, std::size_t(n)), "$BIN12345");
    EXPECT_FALSE(rx.AttachRawData(nullptr, 5));
    EXPECT_FALSE(rx.AttachRawData("x", 0));
    EXPECT_EQ(CGPSReceiver::m_GPSMessageRaw.GetLength(), 0);
}

TEST_F(RawDataTest, BinRecordBecomesLittleEndianWords) {
    const std::string record = sim::BinBlock(95, std::string("\x01\x02\xFF\x80", 4));
    ASSERT_EQ(record.size(), 16u);
    ASSERT_TRUE(Attach(record));
    ASSERT_TRUE(rx.ProcessBIN());
    const std::vector<WORD> expected = {0x4224, 0x4E49, 95, 4, 0x0201, 0x80FF, 0x0182, 0x0A0D};
    EXPECT_EQ(std::vector<WORD>(rx.m_BinaryMessage.begin(), rx.m_BinaryMessage.end()), expected);
    EXPECT_EQ(rx.m_nRawMessageCount, 1);
    host.Pump();
    EXPECT_EQ(host.binaryMessages, 1);

    for (const std::string& shortRecord : {record.substr(0, 15), record.substr(0, 7)}) {
        SCOPED_TRACE(shortRecord.size());
        ASSERT_TRUE(Attach(shortRecord));
        EXPECT_FALSE(rx.ProcessBIN());
    }
    CGPSReceiver::m_GPSMessageRaw.Clear();
    EXPECT_FALSE(rx.ProcessBIN());
    EXPECT_EQ(rx.m_nRawMessageCount, 1);
    EXPECT_EQ(rx.m_BinaryMessage.GetSize(), 8);
    host.Pump();
    EXPECT_EQ(host.binaryMessages, 1);
}

// Which "$BIN" records (1-based) pause 200 ms after re-sending the output command; the count
// behind the cadence includes every raw message taken before.
TEST_F(RawDataTest, BinOutputCommandIsRepeatedAboutEveryThreeSeconds) {
    const struct {
        double interval;
        int priorRawMessages;
        std::vector<int> pauses;
    } cases[] = {
        {1.0, 0, {3, 6, 9, 12, 15}},
        {1.0, 1, {2, 5, 8, 11, 14}},
        {0.2, 0, {15, 30}},
        {5.0, 0, {1, 2, 3, 4, 5}},  // longer than the three seconds: every record
    };
    ASSERT_TRUE(Attach(sim::BinBlock(95, std::string(128, '\x11'))));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.interval);
        s_dBinOutputInterval = c.interval;
        rx.m_nRawMessageCount = c.priorRawMessages;
        std::vector<int> pauses;
        for (int record = 1; record <= 30; ++record) {
            clock.ClearSleeps();
            ASSERT_TRUE(rx.ProcessBIN());
            if (clock.SleepDurations() == std::vector<DWORD>{200})
                pauses.push_back(record);
            if (record >= c.pauses.back())
                break;
        }
        EXPECT_EQ(pauses, c.pauses);
    }
}

TEST_F(RawDataTest, BinOutputCommandTextOnThePort) {
    OpenPort();
    ASSERT_TRUE(Attach(sim::BinBlock(95, std::string(128, '\x22'))));
    const struct {
        double interval;
        int records;
        const char* text;
    } cases[] = {
        {1.0, 3, "$JBIN,95,1\r\n"}, {0.2, 15, "$JBIN,95,0.2\r\n"}, {0.25, 12, "$JBIN,95,1\r\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.interval);
        s_dBinOutputInterval = c.interval;
        rx.m_nRawMessageCount = 0;
        for (int i = 1; i < c.records; ++i)
            ASSERT_TRUE(rx.ProcessBIN());
        EXPECT_EQ(Written(), "");
        ASSERT_TRUE(rx.ProcessBIN());
        EXPECT_EQ(Written(), c.text);
    }
}

TEST_F(RawDataTest, Axis4RecordBecomesWordsWithoutCounting) {
    const std::string record = sim::Axis4Record(42, "\x10\x20\x30\x40\x50");
    ASSERT_EQ(record.size(), 37u);
    ASSERT_TRUE(Attach(record));
    ASSERT_TRUE(rx.ProcessAxis4BIN());
    ASSERT_EQ(rx.m_BinaryMessage.GetSize(), 18);
    EXPECT_EQ(rx.m_BinaryMessage[0], 0x44AA);
    EXPECT_EQ(rx.m_BinaryMessage[1], 0x1C12);
    EXPECT_EQ(rx.m_BinaryMessage[14], 0x2010);
    EXPECT_EQ(rx.m_nRawMessageCount, 0);
    host.Pump();
    EXPECT_EQ(host.binaryMessages, 1);
    CGPSReceiver::m_GPSMessageRaw.Clear();
    EXPECT_FALSE(rx.ProcessAxis4BIN());
}

TEST_F(RawDataTest, EnablePostProcessingNeedsAnOpenPort) {
    EXPECT_FALSE(rx.EnablePostProcessing(true));
    EXPECT_TRUE(clock.SleepDurations().empty());
}

TEST_F(RawDataTest, EnablePostProcessingSendsTheThreeRawCommands) {
    OpenPort();
    ASSERT_TRUE(rx.EnablePostProcessing(true));
    EXPECT_EQ(Written(), "$PASHS,RAW,MBN,A,ON\r\n$PASHS,RAW,PBN,A,ON\r\n$PASHS,RAW,SNV,A,ON\r\n");
    ASSERT_TRUE(rx.EnablePostProcessing(false));
    EXPECT_EQ(Written(),
              "$PASHS,RAW,MBN,A,OFF\r\n$PASHS,RAW,PBN,A,OFF\r\n$PASHS,RAW,SNV,A,OFF\r\n");
    EXPECT_EQ(clock.SleepDurations(), std::vector<DWORD>(6, 200));

    test::TestReceiver plain;  // no raw data: nothing to switch
    EXPECT_TRUE(plain.EnablePostProcessing(true));
    EXPECT_EQ(Written(), "");
}

TEST_F(RawDataTest, RawDataOutputInterval) {
    OpenPort();
    const struct {
        double seconds;
        bool result;
        const char* text;
    } cases[] = {
        {0.2, false, ""},
        {0.25, true, "$PASHS,RCI,0.250000\r\n"},
        {1.5, true, "$PASHS,RCI,1.500000\r\n"},
        {NAN, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        clock.ClearSleeps();
        EXPECT_EQ(rx.SetRawDataOutputInterval(c.seconds), c.result);
        if (std::isnan(c.seconds)) {
            EXPECT_TRUE(std::isnan(rx.m_dRawDataInterval));
        } else {
            EXPECT_EQ(rx.m_dRawDataInterval, c.seconds) << "stored whatever the result";
        }
        EXPECT_EQ(Written(), c.text);
        EXPECT_EQ(clock.SleepDurations(),
                  c.result ? std::vector<DWORD>{200} : std::vector<DWORD>{});
    }
    test::TestReceiver plain;
    EXPECT_FALSE(plain.SetRawDataOutputInterval(1.0));
    EXPECT_EQ(plain.m_dRawDataInterval, 1.0);
    EXPECT_EQ(Written(), "");
}

TEST_F(RawDataTest, RawDataOutputIntervalWithThePortClosed) {
    EXPECT_TRUE(rx.SetRawDataOutputInterval(0.5));
    EXPECT_TRUE(clock.SleepDurations().empty());
}

// The whole road: records framed from a byte stream cut in two at every point, attached and
// parsed as the engine does.
TEST_F(RawDataTest, FramedStreamPostsEphemerisAndRawEpochs) {
    std::string stream =
        test::Nmea("GPZDA,090507.00,14,03,2026,00,00") + sim::SnvRecord(SampleEphemeris(2409));
    for (int prn : {2, 5, 12, 29})
        stream += sim::MbnRecord({.prn = prn, .lastOfEpoch = prn == 29, .time = 0.07});
    stream += sim::PbnRecord({.towMs = 33000, .x = 6378137.0});
    stream += sim::MbnRecord({.prn = 3, .headMark = 2});  // refused: counted as an error

    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        SCOPED_TRACE(cut);
        rx.m_nRawMessageErrors = 0;
        CBinBuffer buffer;
        for (const std::string& part : {stream.substr(0, cut), stream.substr(cut)}) {
            buffer.Append(part.data(), int(part.size()));
            for (buffer.GetCurrentMessage(); buffer.HasMessage(); buffer.Next()) {
                int n = 0;
                const char* bytes = buffer.GetMessageBin(n);
                rx.AttachRawData(bytes, n);
                CString text = buffer.GetMessage();
                rx.Parse(text);
            }
            buffer.Resize();
        }
        EXPECT_EQ(rx.m_nRawMessageErrors, 1);
    }
    host.Pump();
    ASSERT_EQ(host.rawEpochs.size(), stream.size() + 1);
    ASSERT_EQ(host.ephemerides.size(), stream.size() + 1);
    for (const auto& epoch : host.rawEpochs) {
        EXPECT_EQ(epoch->m_nNumSV, 4);
        EXPECT_EQ(epoch->m_nGPSWeek, 2409);
        EXPECT_TRUE(epoch->m_bLastRecord);
        EXPECT_DOUBLE_EQ(epoch->m_dReceiverTime, 33.0);
    }
    EXPECT_EQ(host.ephemerides.back()->m_nPRN, 17);
}

}  // namespace
}  // namespace tolvik
