// Hosts that behave like GUI hosts: a notification callback hands its news to the UI thread and
// waits for it (SendMessage), while that UI thread calls into the receiver. Host code must never
// run under the shared-state lock, or the two threads wait for each other for ever.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "sim/RawRecords.h"
#include "support/CommandTrace.h"
#include "support/TestSupport.h"
#include "tolvik/models/Cgsr2650lb.h"
#include "tolvik/platform/Window.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;

constexpr UINT kRunOperation = WM_APP + 1;  // posted: the UI thread runs the operation
constexpr UINT kFromCallback = WM_APP + 2;  // sent by the callback: it waits for the UI thread

struct RawReceiver : test::TestReceiver {
    bool HasRawData() override { return true; }  // as the Ashtech-style models
};

// A UI thread with one window: it runs the operation when told to and answers sent messages.
class UiThread : public CWnd {
public:
    explicit UiThread(std::function<void()> operation) : m_operation(std::move(operation)) {
        m_thread = std::thread([this] {
            CreateOnThisThread();
            m_ready.Set();
            const platform::Event* events[] = {&m_quit};
            while (MsgWaitForMultipleObjects(events, 1, INFINITE) != platform::WAIT_OBJECT_0) PumpWaitingMessages();
            DestroyWindow();
        });
        platform::WaitForSingleObject(&m_ready, INFINITE);
    }
    ~UiThread() override {
        m_quit.Set();
        m_thread.join();
    }
    LRESULT WindowProc(UINT message, WPARAM, LPARAM) override {
        if (message == kRunOperation) {
            started.Set();
            m_operation();
            done.Set();
        }
        if (message == kFromCallback) ++answered;
        return 0;
    }
    platform::Event started{true, false};
    std::atomic<int> answered{0};
    platform::Event done{true, false};

private:
    std::function<void()> m_operation;
    platform::Event m_ready{true, false}, m_quit{true, false};
    std::thread m_thread;
};

// The callback of a GUI host, at the moment its UI thread is busy in a call to the library: hand
// the news to the UI thread and wait for it.
void MarshalToUi(GPSNotificationType, CGPSNotification*, void* pUserData) {
    auto* ui = static_cast<UiThread*>(pUserData);
    PostMessage(ui->GetSafeHwnd(), kRunOperation, 0, 0);
    platform::WaitForSingleObject(&ui->started, INFINITE);
    SendMessage(ui->GetSafeHwnd(), kFromCallback, 0, 0);
}

void IgnoreNotification(GPSNotificationType, CGPSNotification*, void*) {}

// The framed SNV record and its text, as the engine hands them to the receiver.
struct Framed {
    std::string bytes;
    CString text;
};
Framed EphemerisMessage() {
    CGPSDataEphemeris ephemeris;
    ephemeris.m_nPRN = 17;
    ephemeris.m_nWeek = 2409;
    ephemeris.m_nTOW = 345600;
    const std::string record = sim::SnvRecord(ephemeris);
    CBinBuffer buffer(record.data(), static_cast<int>(record.size()));
    buffer.GetCurrentMessage();
    int n = 0;
    const char* bytes = buffer.GetMessageBin(n);
    return {std::string(bytes, static_cast<std::size_t>(n)), buffer.GetMessage()};
}

TEST(HostLock, ACallbackWaitingForTheUiThreadDoesNotDeadlockItsCall) {
    test::CommandTrace trace{6};
    test::RecordingHost host;
    RawReceiver rx;
    Cgsr2650lb model;
    rx.SetupReceiver(trace.Port(), 0, 0.0, L"", false);  // the model's status change needs an open port
    ASSERT_TRUE(rx.Initialize());
    const std::pair<const char*, std::function<void()>> operations[] = {
        {"InvalidateSVInfo", [&] { rx.InvalidateSVInfo(); }},
        {"ResetSpeedEngine", [&] { rx.ResetSpeedEngine(); }},
        {"HasNotificationCallback", [&] { EXPECT_TRUE(rx.HasNotificationCallback(GPS_NOTIFY_EPHEMERIS)); }},
        {"AddNotificationCallback", [&] { rx.AddNotificationCallback(GPS_NOTIFY_RAW, IgnoreNotification, nullptr); }},
        {"ModelStatusChange", [&] { model.QuerySatElevMask(); }}};
    const Framed message = EphemerisMessage();
    std::size_t posted = 0;
    for (const auto& [legend, operation] : operations) {
        SCOPED_TRACE(legend);
        UiThread ui(operation);
        rx.AddNotificationCallback(GPS_NOTIFY_EPHEMERIS, MarshalToUi, &ui);
        auto parsed = std::async(std::launch::async, [&] {
            rx.AttachRawData(message.bytes.data(), static_cast<int>(message.bytes.size()));
            CString text = message.text;
            return rx.Parse(text);
        });
        // A deadlock never resolves: give up after a generous real-time bound, without waiting on
        // threads that can never be joined.
        if (parsed.wait_for(20s) != std::future_status::ready) {
            ADD_FAILURE() << legend << ": the reader and the UI thread wait for each other";
            std::fflush(stdout);
            std::_Exit(1);
        }
        EXPECT_TRUE(parsed.get());
        EXPECT_EQ(ui.answered.load(), 1) << "the callback ran and was answered";
        platform::WaitForSingleObject(&ui.done, INFINITE);  // the operation ends once its callback was answered
        host.Pump();
        EXPECT_EQ(host.ephemerides.size(), ++posted) << "the record is still posted after its callback";
    }
}

// Every call into host code raised under the lock waits until the lock is let go, keeps its
// order, and a box raised there is shown after it.
TEST(HostCalls, QueuedUnderTheLockAndRunInOrderOnceItIsReleased) {
    test::RecordingHost host;
    std::vector<std::string> order;
    {
        std::lock_guard outer(CGPSReceiver::SharedStateLock());
        {
            std::lock_guard inner(CGPSReceiver::SharedStateLock());
            CallHost([&] { order.push_back("first"); });
            EXPECT_EQ(AfxMessageBox(L"from under the lock"), IDOK);
        }
        CallHost([&] {
            // A host call may take the lock itself.
            std::lock_guard again(CGPSReceiver::SharedStateLock());
            order.push_back("second");
        });
        EXPECT_TRUE(order.empty()) << "nothing runs while the lock is held";
        EXPECT_TRUE(host.MessageBoxes().empty());
    }
    EXPECT_EQ(order, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(host.MessageBoxes(), std::vector<CString>{CString(L"from under the lock")});
    CallHost([&] { order.push_back("at once"); });
    EXPECT_EQ(order.back(), "at once");
}

}  // namespace
}  // namespace tolvik
