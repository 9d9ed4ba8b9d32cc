// CDataLog through a small derived logger; local time is UTC so that file name stamps are known.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>

#include "support/TestSupport.h"
#include "tolvik/datalog/CDataLog.h"
#include "tolvik/platform/Clock.h"

namespace tolvik {
namespace {

struct CountingLog : CDataLog {
    CountingLog() : CDataLog(nullptr) {}
    bool Open() override { return true; }
    void Close() override {}
    bool IsOpen() const override { return false; }
    CString GetFileExtension() const override { return L".raw"; }
    bool LogEpoch(const CGPSDataRaw&) override { return true; }
    bool LogEphemeris(const CGPSDataEphemeris&) override { return true; }
    int GetNumEpochs() const override { return 12; }
    const CString& Port() const { return m_strPort; }
};

TEST(DataLogTest, NamingPortReadinessMinutesAndStatusLine) {
    setenv("TZ", "UTC", 1);
    tzset();
    platform::VirtualClock clock{1773479107};  // Saturday 2026-03-14 09:05:07 UTC
    platform::ScopedClock guard{clock};
    test::RecordingHost host;
    CountingLog log;
    EXPECT_EQ(log.GenerateDefaultFilename(L"log.raw"), L"log_14Mar_9h5m7s.raw");
    // The extension of the file name goes, not whatever follows the first dot of the path.
    const std::pair<const wchar_t*, const wchar_t*> names[] = {
        {L"\\data.old\\site.raw", L"\\data.old\\site_14Mar_9h5m7s.raw"},
        {L"/tmp/my.logs/run", L"/tmp/my.logs/run_14Mar_9h5m7s.raw"},
        {L"/tmp/my.logs/run.a.b", L"/tmp/my.logs/run_14Mar_9h5m7s.raw"},
        {L"logs/.hidden", L"logs/.hidden_14Mar_9h5m7s.raw"},
    };
    for (const auto& [base, name] : names) EXPECT_EQ(log.GenerateDefaultFilename(base), name) << base;
    EXPECT_TRUE(log.SetFilename(L"/tmp/my.logs/survey.txt") && log.GetFilename() == L"/tmp/my.logs/survey.raw");
    EXPECT_EQ(log.GenerateDefaultFilename(L""), L"_14Mar_9h5m7s.raw");
    EXPECT_TRUE(log.SetDefaultFilename(L"a") && log.GetFilename() == L"a_14Mar_9h5m7s.raw");
    EXPECT_FALSE(log.IsReady()) << "not enabled";
    for (int port : {1, 2, 3, 0}) {
        log.SetPort(port);
        EXPECT_EQ(log.Port(), port == 2 ? L"COM2" : L"COM1") << port;
    }
    // Ready needs a name, an interval of at least 0.1 s and logging enabled.
    CountingLog fresh;  // its elapsed-time clock starts now
    fresh.Enable(true);
    EXPECT_FALSE(fresh.IsReady()) << "no name yet";
    EXPECT_TRUE(fresh.SetFilename(L"survey.2026.txt") && fresh.GetFilename() == L"survey.raw");
    for (const auto& [interval, ready] : {std::pair{0.1, true}, {0.05, false}, {NAN, false}}) {
        fresh.SetLogInterval(interval);
        EXPECT_EQ(fresh.IsReady(), ready) << interval;
    }
    clock.Advance(3 * 60 * 1000 + 30 * 1000);
    EXPECT_EQ(fresh.GetStatusString(), L"Num Epochs: 12, Time: 3 min.");
    EXPECT_TRUE(host.MessageBoxes().empty());
    // Whole days drop out; a clock set back 60 s gives 2^32 - 60 s: 49710 days and 387 minutes.
    for (const auto& [seconds, minutes] :
         {std::pair<std::int64_t, int>{86340, 1439}, {86400, 0}, {90000, 60}, {-60, 387}}) {
        clock.SetNow(1773479107);
        log.SetTimeMark();
        clock.SetNow(1773479107 + seconds);
        EXPECT_EQ(log.GetMinutesElapsed(), minutes) << seconds;
    }
}

}  // namespace
}  // namespace tolvik
