// CDataLog: file naming, readiness, the elapsed-time clock and the status line, through a small
// logger derived from it. Local time is UTC here so that dates in file names are predictable.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>

#include "support/TestSupport.h"
#include "tolvik/datalog/CDataLog.h"
#include "tolvik/platform/Clock.h"

namespace tolvik {
namespace {

class CountingLog : public CDataLog {
public:
    CountingLog() : CDataLog(nullptr) {}
    bool Open() override { return m_bOpen = true; }
    void Close() override { m_bOpen = false; }
    bool IsOpen() const override { return m_bOpen; }
    CString GetFileExtension() const override { return L".raw"; }
    bool LogEpoch(const CGPSDataRaw&) override { return ++m_nEpochs > 0; }
    bool LogEphemeris(const CGPSDataEphemeris&) override { return true; }
    int GetNumEpochs() const override { return m_nEpochs; }

    const CString& Port() const { return m_strPort; }
    const CString& Base() const { return m_strBaseFilename; }
    bool m_bOpen = false;
    int m_nEpochs = 0;
};

class DataLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
    platform::VirtualClock clock{1773479107};  // Saturday 2026-03-14 09:05:07 UTC
    platform::ScopedClock guard{clock};
    test::RecordingHost host;
    CountingLog log;
};

TEST_F(DataLogTest, DefaultNameCarriesTheLocalDateAndTime) {
    const struct {
        const char* legend;
        CString base, expected;
    } cases[] = {
        {"extension replaced", L"log.raw", L"log_14Mar_9h5m7s.raw"},
        {"no extension", L"log", L"log_14Mar_9h5m7s.raw"},
        {"cut at a folder's dot", L"\\data.old\\site.raw", L"\\data_14Mar_9h5m7s.raw"},
        {"empty base", L"", L"_14Mar_9h5m7s.raw"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        EXPECT_EQ(log.GenerateDefaultFilename(c.base), c.expected);
        EXPECT_TRUE(log.GetFilename().IsEmpty()) << "generating changes nothing";
    }
    EXPECT_TRUE(log.SetDefaultFilename(L"log.raw"));
    EXPECT_EQ(log.GetFilename(), L"log_14Mar_9h5m7s.raw");
    EXPECT_EQ(log.Base(), L"log.raw");

    const wchar_t* months[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                               L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
    for (int month = 1; month <= 12; ++month) {
        clock.SetNow(CTime(2025, month, 1, 0, 0, 0).GetTime());
        EXPECT_EQ(log.GenerateDefaultFilename(L"a"),
                  CString(L"a_1") + months[month - 1] + L"_0h0m0s.raw");
    }
    clock.SetNow(CTime(2025, 12, 31, 23, 59, 58).GetTime());
    EXPECT_EQ(log.GenerateDefaultFilename(L"a"), L"a_31Dec_23h59m58s.raw");
}

TEST_F(DataLogTest, SetFilenameKeepsTheTextBeforeTheFirstDot) {
    EXPECT_TRUE(log.SetFilename(L"survey.2026.txt"));
    EXPECT_EQ(log.GetFilename(), L"survey.raw");
    EXPECT_TRUE(log.SetFilename(L""));
    EXPECT_EQ(log.GetFilename(), L".raw");
}

TEST_F(DataLogTest, DefaultsPortAndCopies) {
    EXPECT_EQ(log.GetLogInterval(), 5.0);
    EXPECT_EQ(log.GetAntennaHeight(), 0.0);
    EXPECT_EQ(log.Port(), L"COM1");
    EXPECT_FALSE(log.IsReady());
    for (const auto& [port, text] :
         {std::pair{1, L"COM1"}, {2, L"COM2"}, {3, L"COM1"}, {0, L"COM1"}}) {
        log.SetPort(port);
        EXPECT_EQ(log.Port(), text) << port;
    }
    log.SetAntennaHeight(1.75);
    log.SetLogInterval(2.0);
    log.SetFilename(L"x");
    const CountingLog copy = log;
    EXPECT_EQ(copy.GetAntennaHeight(), 1.75);
    EXPECT_EQ(copy.GetLogInterval(), 2.0);
    EXPECT_EQ(copy.GetFilename(), L"x.raw");
    EXPECT_EQ(copy.Port(), L"COM1");
}

TEST_F(DataLogTest, ReadyNeedsNameIntervalAndEnable) {
    const struct {
        const char* legend;
        const wchar_t* name;
        double interval;
        bool enabled, ready;
    } cases[] = {
        {"all set", L"a", 1.0, true, true},
        {"interval exactly 0.1", L"a", 0.1, true, true},
        {"interval 0.05", L"a", 0.05, true, false},
        {"interval not a number", L"a", NAN, true, false},
        {"no name", nullptr, 1.0, true, false},
        {"not enabled", L"a", 1.0, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        CountingLog l;
        if (c.name)
            l.SetFilename(c.name);
        l.SetLogInterval(c.interval);
        l.Enable(c.enabled);
        EXPECT_EQ(l.IsReady(), c.ready);
    }
}

TEST_F(DataLogTest, MinutesElapsedDropWholeDays) {
    const struct {
        std::int64_t seconds;
        int minutes;
    } cases[] = {
        {0, 0},         {59, 0},         {60, 1},    {3 * 60 + 59, 3}, {23 * 3600 + 59 * 60, 1439},
        {24 * 3600, 0}, {25 * 3600, 60}, {-60, 387},  // clock set back: 2^32 - 60 s is 49710 days
                                                      // and 387 minutes
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        clock.SetNow(1773479107);
        log.SetTimeMark();
        clock.SetNow(1773479107 + c.seconds);
        EXPECT_EQ(log.GetMinutesElapsed(), c.minutes);
    }
}

TEST_F(DataLogTest, StatusLineShowsEpochsAndMinutes) {
    CountingLog fresh;  // the clock starts at construction
    fresh.m_nEpochs = 12;
    clock.Advance(3 * 60 * 1000 + 30 * 1000);
    EXPECT_EQ(fresh.GetStatusString(), L"Num Epochs: 12, Time: 3 min.");
    EXPECT_TRUE(host.MessageBoxes().empty());
}

}  // namespace
}  // namespace tolvik
