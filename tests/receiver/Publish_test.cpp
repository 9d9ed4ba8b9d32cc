// Publishing epochs: when a copy is posted, what it carries, what the current epoch keeps; and
// the notification registry.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "support/TestSupport.h"
#include "tolvik/platform/Clock.h"
#include "tolvik/port/CAck.h"

namespace tolvik {
namespace {

using test::NmeaText;
using test::RecordingHost;
using test::TestReceiver;

CGPSData& Current() { return CGPSReceiver::m_GPSData; }

void SetMeasurementFlags(bool bValue) {
    Current().m_bVelocityValid = bValue;
    Current().m_bDOPValid = bValue;
    Current().m_bSVInfoValid = bValue;
    Current().m_bSatellitesChanged = bValue;
}

TEST(PostNewData, OnlyPendingEpochsArePosted) {
    const struct {
        const char* legend;
        void (*pending)();
        bool force;
        bool posted;
    } cases[] = {
        {"nothing", [] {}, false, false},
        {"measurement flags are no reason", [] { SetMeasurementFlags(true); }, false, false},
        {"new position", [] { Current().m_bPositionValid = true; }, false, true},
        {"forced", [] {}, true, true},
        {"status reply", [] { Current().m_Status.m_bUpdated = true; }, false, true},
        {"proprietary sentence", [] { Current().m_bProprietaryValid = true; }, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        RecordingHost host;
        TestReceiver receiver;
        Current() = CGPSData();
        c.pending();
        EXPECT_EQ(receiver.PostNewData(c.force), c.posted);
        EXPECT_EQ(host.Pump(), c.posted ? 1 : 0);
    }
}

TEST(PostNewData, ForcedEpochWithoutPositionKeepsTheCurrentFlags) {
    RecordingHost host;
    TestReceiver receiver;
    SetMeasurementFlags(true);
    Current().m_dSpeed = 0.1;
    Current().m_dCourse = 1.0;
    ASSERT_TRUE(receiver.PostNewData(true));
    host.Pump();
    ASSERT_EQ(host.epochs.size(), 1u);
    const CGPSData& posted = *host.epochs[0];
    EXPECT_FALSE(posted.m_bPositionValid);
    EXPECT_TRUE(posted.m_bVelocityValid && posted.m_bDOPValid && posted.m_bSVInfoValid &&
                posted.m_bSatellitesChanged);
    // The low-speed rule applies to epochs with a new position only.
    EXPECT_DOUBLE_EQ(posted.m_dSpeed, 0.1);
    EXPECT_DOUBLE_EQ(posted.m_dCourse, 1.0);
    EXPECT_TRUE(Current().m_bVelocityValid && Current().m_bDOPValid && Current().m_bSVInfoValid &&
                Current().m_bSatellitesChanged);
}

TEST(PostNewData, EpochWithPositionStartsTheNextOne) {
    RecordingHost host;
    TestReceiver receiver;
    SetMeasurementFlags(true);
    Current().m_bPositionValid = true;
    Current().m_bProprietaryValid = true;
    Current().m_dLatitude = 0.5;
    ASSERT_TRUE(receiver.PostNewData(false));
    host.Pump();
    ASSERT_EQ(host.epochs.size(), 1u);
    const CGPSData& posted = *host.epochs[0];
    EXPECT_TRUE(posted.m_bPositionValid && posted.m_bVelocityValid && posted.m_bDOPValid &&
                posted.m_bSVInfoValid && posted.m_bSatellitesChanged && posted.m_bProprietaryValid);
    EXPECT_DOUBLE_EQ(posted.m_dLatitude, 0.5);

    EXPECT_FALSE(Current().m_bPositionValid);
    EXPECT_FALSE(Current().m_bVelocityValid);
    EXPECT_FALSE(Current().m_bDOPValid);
    EXPECT_FALSE(Current().m_bSatellitesChanged);
    EXPECT_FALSE(Current().m_bProprietaryValid);
    EXPECT_TRUE(Current().m_bSVInfoValid);         // lasts until the next GSV group
    EXPECT_DOUBLE_EQ(Current().m_dLatitude, 0.5);  // values are never cleared by publishing
    EXPECT_FALSE(receiver.PostNewData(false));
}

TEST(PostNewData, StandingReceiverReportsNoSpeedOrCourse) {
    const struct {
        double speed;
        double postedSpeed;
        double postedCourse;
    } cases[] = {
        {0.29, 0.0, 0.0}, {0.3, 0.3, 2.0},  {0.31, 0.31, 2.0},
        {0.0, 0.0, 0.0},  {-1.0, 0.0, 0.0}, {25.0, 25.0, 2.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.speed);
        RecordingHost host;
        TestReceiver receiver;
        Current().m_bPositionValid = true;
        Current().m_dSpeed = c.speed;
        Current().m_dCourse = 2.0;
        ASSERT_TRUE(receiver.PostNewData(false));
        host.Pump();
        ASSERT_EQ(host.epochs.size(), 1u);
        EXPECT_DOUBLE_EQ(host.epochs[0]->m_dSpeed, c.postedSpeed);
        EXPECT_DOUBLE_EQ(host.epochs[0]->m_dCourse, c.postedCourse);
        EXPECT_DOUBLE_EQ(Current().m_dSpeed, c.speed);  // only the copy is changed
        EXPECT_DOUBLE_EQ(Current().m_dCourse, 2.0);
    }
}

TEST(PostNewData, SatellitesInViewAreAtLeastTheUsedOnes) {
    const struct {
        int used;
        int inView;
        int postedInView;
    } cases[] = {{9, 7, 9}, {5, 7, 7}, {0, 0, 0}, {4, 4, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.used) + " of " + std::to_string(c.inView));
        RecordingHost host;
        TestReceiver receiver;
        Current().m_nSatellitesUsed = c.used;
        Current().m_nSatellitesInView = c.inView;
        ASSERT_TRUE(receiver.PostNewData(true));
        host.Pump();
        ASSERT_EQ(host.epochs.size(), 1u);
        EXPECT_EQ(host.epochs[0]->m_nSatellitesInView, c.postedInView);
        EXPECT_EQ(host.epochs[0]->m_nSatellitesUsed, c.used);
        EXPECT_EQ(Current().m_nSatellitesInView, c.inView);
    }
}

TEST(PostNewData, CopyIsStampedWithThePublishingTime) {
    platform::VirtualClock clock(1800000000);
    platform::ScopedClock guard(clock);
    RecordingHost host;
    TestReceiver receiver;
    Current().m_Time = CTime(1000);
    clock.Advance(5000);
    ASSERT_TRUE(receiver.PostNewData(true));
    host.Pump();
    ASSERT_EQ(host.epochs.size(), 1u);
    EXPECT_EQ(host.epochs[0]->m_Time.GetTime(), 1800000005);
    EXPECT_EQ(Current().m_Time.GetTime(), 1000);
}

TEST(PostNewData, StatusReplyIsPostedOnceAndEndsTheAcknowledgementWait) {
    RecordingHost host;
    TestReceiver receiver;
    CAck::m_bGotAck = false;
    CGPSStatusData& status = Current().m_Status;
    status.m_bUpdated = true;
    status.m_bAckReceived = true;
    status.m_bElevMaskValid = true;
    status.m_nElevMask = 10;
    status.m_dOutputPeriod = 0.5;
    ASSERT_TRUE(receiver.PostNewData(false));
    EXPECT_TRUE(CAck::m_bGotAck);
    host.Pump();
    ASSERT_EQ(host.epochs.size(), 1u);
    const CGPSStatusData& posted = host.epochs[0]->m_Status;
    EXPECT_TRUE(posted.m_bUpdated && posted.m_bAckReceived && posted.m_bElevMaskValid);
    EXPECT_DOUBLE_EQ(posted.m_dOutputPeriod, 0.5);

    EXPECT_FALSE(status.m_bUpdated);
    EXPECT_FALSE(status.m_bAckReceived);
    EXPECT_FALSE(status.m_bElevMaskValid);
    EXPECT_DOUBLE_EQ(status.m_dOutputPeriod, -1.0);
    EXPECT_EQ(status.m_nElevMask, 10);  // the reported value itself stays
    EXPECT_FALSE(receiver.PostNewData(false));
}

TEST(PostNewData, WithoutAcknowledgementTheWaitGoesOn) {
    RecordingHost host;
    TestReceiver receiver;
    CAck::m_bGotAck = false;
    Current().m_bPositionValid = true;
    Current().m_Status.m_bUpdated = true;
    ASSERT_TRUE(receiver.PostNewData(false));
    EXPECT_FALSE(CAck::m_bGotAck);
}

TEST(PostNewData, WithoutMainWindowTheCopyIsFreed) {
    // No host installed: the default one has no window. The sanitizer build catches a leak.
    TestReceiver receiver;
    Current().m_bPositionValid = true;
    EXPECT_TRUE(receiver.PostNewData(false));
    EXPECT_FALSE(Current().m_bPositionValid);
}

// ---- Notification registry

struct CallRecord {
    int calls = 0;
    GPSNotificationType type = GPS_NOTIFY_POSITION;
    CGPSNotification* notification = nullptr;
    void* userData = nullptr;
};
CallRecord g_first;
CallRecord g_second;

void Record(CallRecord& record, GPSNotificationType eType, CGPSNotification* p, void* user) {
    ++record.calls;
    record.type = eType;
    record.notification = p;
    record.userData = user;
}
void FirstCallback(GPSNotificationType t, CGPSNotification* p, void* u) {
    Record(g_first, t, p, u);
}
void SecondCallback(GPSNotificationType t, CGPSNotification* p, void* u) {
    Record(g_second, t, p, u);
}

TEST(Notifications, RegisteringAgainReplacesTheEntry) {
    TestReceiver receiver;
    int firstUser = 1;
    int secondUser = 2;
    EXPECT_FALSE(receiver.HasNotificationCallback(GPS_NOTIFY_EPHEMERIS));
    receiver.AddNotificationCallback(GPS_NOTIFY_EPHEMERIS, FirstCallback, &firstUser);
    receiver.AddNotificationCallback(GPS_NOTIFY_EPHEMERIS, SecondCallback, &secondUser);
    EXPECT_TRUE(receiver.HasNotificationCallback(GPS_NOTIFY_EPHEMERIS));
    EXPECT_FALSE(receiver.HasNotificationCallback(GPS_NOTIFY_RAW));

    CGPSNotification notification;
    receiver.BroadcastNotification(GPS_NOTIFY_EPHEMERIS, &notification);
    EXPECT_EQ(g_first.calls, 0);
    EXPECT_EQ(g_second.calls, 1);
    EXPECT_EQ(g_second.type, GPS_NOTIFY_EPHEMERIS);
    EXPECT_EQ(g_second.notification, &notification);
    EXPECT_EQ(g_second.userData, &secondUser);

    receiver.BroadcastNotification(GPS_NOTIFY_RAW, &notification);  // nobody registered
    EXPECT_EQ(g_second.calls, 1);
}

TEST(Notifications, NullCallbackMakesTheKindSilent) {
    TestReceiver receiver;
    receiver.AddNotificationCallback(GPS_NOTIFY_EPHEMERIS, FirstCallback, nullptr);
    receiver.AddNotificationCallback(GPS_NOTIFY_EPHEMERIS, nullptr, nullptr);
    EXPECT_FALSE(receiver.HasNotificationCallback(GPS_NOTIFY_EPHEMERIS));
    CGPSNotification notification;
    receiver.BroadcastNotification(GPS_NOTIFY_EPHEMERIS, &notification);
    EXPECT_EQ(g_first.calls, 0);
}

TEST(Notifications, EachReceiverHasItsOwnRegistry) {
    TestReceiver first;
    TestReceiver second;
    first.AddNotificationCallback(GPS_NOTIFY_EPHEMERIS, FirstCallback, nullptr);
    EXPECT_FALSE(second.HasNotificationCallback(GPS_NOTIFY_EPHEMERIS));
    CGPSNotification notification;
    second.BroadcastNotification(GPS_NOTIFY_EPHEMERIS, &notification);
    EXPECT_EQ(g_first.calls, 0);
}

TEST(Notifications, PositionsRaiseNoNotification) {
    RecordingHost host;
    TestReceiver receiver;
    receiver.AddNotificationCallback(GPS_NOTIFY_POSITION, FirstCallback, nullptr);
    receiver.AddNotificationCallback(GPS_NOTIFY_PROPRIETARY, SecondCallback, nullptr);
    CString gga = NmeaText("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    CString proprietary = L"$PGRMM,WGS 84*06\r\n";
    EXPECT_TRUE(receiver.Parse(gga));
    EXPECT_TRUE(receiver.Parse(proprietary));
    EXPECT_EQ(host.Pump(), 2);
    EXPECT_EQ(g_first.calls, 0);
    EXPECT_EQ(g_second.calls, 0);
}

TestReceiver* g_pReentered = nullptr;
void ReregisteringCallback(GPSNotificationType t, CGPSNotification* p, void* u) {
    Record(g_first, t, p, u);
    g_pReentered->AddNotificationCallback(t, SecondCallback, nullptr);
}

TEST(Notifications, CallbackMayCallBackIntoItsReceiver) {
    TestReceiver receiver;
    g_pReentered = &receiver;
    receiver.AddNotificationCallback(GPS_NOTIFY_EPHEMERIS, ReregisteringCallback, nullptr);
    CGPSNotification notification;
    receiver.BroadcastNotification(GPS_NOTIFY_EPHEMERIS, &notification);
    receiver.BroadcastNotification(GPS_NOTIFY_EPHEMERIS, &notification);
    EXPECT_EQ(g_first.calls, 1);
    EXPECT_EQ(g_second.calls, 1);
}

// The host registers callbacks and marks satellite data stale while the reader thread parses.
TEST(Notifications, HostCallsWhileTheReaderParses) {
    RecordingHost host;
    TestReceiver receiver;
    std::thread reader([&receiver] {
        for (int i = 0; i < 200; ++i) {
            CString gga = NmeaText("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
            CString proprietary = L"$PGRMV,0.0,0.0,0.0*5C\r\n";
            receiver.Parse(gga);
            receiver.Parse(proprietary);
        }
    });
    for (int i = 0; i < 200; ++i) {
        receiver.AddNotificationCallback(static_cast<GPSNotificationType>(i % 4 + 1), FirstCallback,
                                         nullptr);
        receiver.HasNotificationCallback(GPS_NOTIFY_EPHEMERIS);
        receiver.InvalidateSVInfo();
    }
    reader.join();
    EXPECT_EQ(host.Pump(), 400);
    EXPECT_EQ(g_first.calls, 0);
}

}  // namespace
}  // namespace tolvik
