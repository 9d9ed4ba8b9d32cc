// Windows, thread message queues and the host seam. Windows belong to threads; the tests drive
// those threads step by step with semaphores, never with sleeps.
#include "tolvik/platform/Window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <semaphore>
#include <thread>
#include <vector>

#include "support/TestSupport.h"
#include "tolvik/platform/Clock.h"
#include "tolvik/platform/Host.h"

namespace tolvik {
namespace {

struct Received {
    UINT message;
    WPARAM wParam;
    std::thread::id thread;
    int order;
};

std::atomic<int> g_order{0};

// Records what it is given and answers with twice the wParam.
class RecordingWindow : public CWnd {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override {
        std::lock_guard lock(m_mutex);
        m_received.push_back({message, wParam, std::this_thread::get_id(), ++g_order});
        return static_cast<LRESULT>(wParam) * 2;
    }
    std::vector<Received> Messages() {
        std::lock_guard lock(m_mutex);
        return m_received;
    }

private:
    std::mutex m_mutex;
    std::vector<Received> m_received;
};

std::atomic<int> g_freed{0};
void FreeInt(WPARAM w, LPARAM) {
    delete reinterpret_cast<int*>(w);
    ++g_freed;
}
WPARAM NewInt(int v) {
    return reinterpret_cast<WPARAM>(new int(v));
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { g_freed = 0; }
    platform::VirtualClock clock;
    platform::ScopedClock guard{clock};
    std::binary_semaphore created{0}, go{0}, done{0};
};

TEST_F(WindowTest, PostedMessagesWaitUntilTheOwningThreadPumps) {
    RecordingWindow* window = nullptr;
    std::thread::id ownerId;
    int pumped = -1;
    std::thread owner([&] {
        RecordingWindow w;
        EXPECT_TRUE(w.CreateOnThisThread());
        EXPECT_FALSE(w.CreateOnThisThread());
        window = &w;
        ownerId = std::this_thread::get_id();
        created.release();
        go.acquire();
        pumped = PumpWaitingMessages();
        done.release();
        go.acquire();
    });
    created.acquire();
    const HWND hWnd = window->GetSafeHwnd();
    EXPECT_TRUE(IsWindow(hWnd));
    EXPECT_EQ(CWnd::FromHandle(hWnd), window);
    EXPECT_TRUE(PostMessage(hWnd, WM_USER + 1, 7, 0));
    EXPECT_TRUE(window->PostMessage(WM_USER + 2, 9));
    MSG msg{};
    EXPECT_FALSE(PeekMessage(&msg, true));  // not this thread's queue
    EXPECT_TRUE(window->Messages().empty());

    go.release();
    done.acquire();
    EXPECT_EQ(pumped, 2);
    const auto received = window->Messages();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].message, WM_USER + 1);
    EXPECT_EQ(received[0].wParam, 7u);
    EXPECT_EQ(received[1].message, WM_USER + 2);
    EXPECT_EQ(received[0].thread, ownerId);
    go.release();
    owner.join();
    EXPECT_FALSE(IsWindow(hWnd));  // destroyed with its object
    EXPECT_FALSE(PostMessage(hWnd, WM_USER, NewInt(1), 0, FreeInt));
    EXPECT_EQ(g_freed.load(), 1);
}

TEST_F(WindowTest, SendMessageAcrossThreadsWaitsForTheDispatchAndItsResult) {
    RecordingWindow* window = nullptr;
    platform::Event stop(true, false);
    std::thread owner([&] {
        RecordingWindow w;
        w.CreateOnThisThread();
        window = &w;
        created.release();
        go.acquire();
        const platform::Event* events[] = {&stop};
        while (MsgWaitForMultipleObjects(events, 1, INFINITE) == platform::WAIT_OBJECT_0 + 1)
            PumpWaitingMessages();
    });
    created.acquire();
    LRESULT result = -1;
    int returnedAt = 0;
    std::thread sender([&] {
        result = SendMessage(window->GetSafeHwnd(), WM_USER, 21, 0);
        returnedAt = ++g_order;
    });
    go.release();  // only now does the owner look at its queue
    sender.join();
    EXPECT_EQ(result, 42);
    const auto received = window->Messages();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_LT(received[0].order, returnedAt);
    EXPECT_NE(received[0].thread, std::this_thread::get_id());
    stop.Set();
    owner.join();
}

TEST_F(WindowTest, DestroyWindowReleasesSendersAndFreesUndeliveredPayloads) {
    RecordingWindow* window = nullptr;
    std::thread owner([&] {
        RecordingWindow w;
        w.CreateOnThisThread();
        window = &w;
        created.release();
        // Wait until something is queued (the sent message), but dispatch nothing.
        EXPECT_EQ(MsgWaitForMultipleObjects(nullptr, 0, INFINITE), platform::WAIT_OBJECT_0);
        done.release();
        go.acquire();
        EXPECT_TRUE(w.DestroyWindow());
        EXPECT_FALSE(w.DestroyWindow());
    });
    created.acquire();
    const HWND hWnd = window->GetSafeHwnd();
    LRESULT result = -1;
    std::thread sender([&] { result = SendMessage(hWnd, WM_USER, 5, 0); });
    done.acquire();
    EXPECT_TRUE(PostMessage(hWnd, WM_APP + 1, NewInt(1), 0, FreeInt));
    EXPECT_TRUE(PostMessage(hWnd, WM_APP + 2, NewInt(2), 0, FreeInt));
    go.release();
    sender.join();
    owner.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(g_freed.load(), 2);
}

TEST_F(WindowTest, MessagesForAThreadThatEndedAreFreed) {
    auto* window = new RecordingWindow;
    std::thread owner([&] {
        window->CreateOnThisThread();
        EXPECT_TRUE(PostMessage(window->GetSafeHwnd(), WM_APP, NewInt(1), 0, FreeInt));
    });
    owner.join();  // the queued payload goes with the thread
    EXPECT_EQ(g_freed.load(), 1);
    EXPECT_FALSE(PostMessage(window->GetSafeHwnd(), WM_APP, NewInt(2), 0, FreeInt));
    EXPECT_EQ(g_freed.load(), 2);
    EXPECT_EQ(SendMessage(window->GetSafeHwnd(), WM_USER, 3, 0), 0);
    delete window;
}

TEST_F(WindowTest, OnItsOwnThreadAWindowIsCalledDirectlyOrThroughTheQueue) {
    RecordingWindow w;
    ASSERT_TRUE(w.CreateOnThisThread());
    EXPECT_EQ(w.SendMessage(WM_USER, 4), 8);
    ASSERT_EQ(w.Messages().size(), 1u);

    const platform::Event never(false, false);
    const platform::Event* events[] = {&never};
    EXPECT_EQ(MsgWaitForMultipleObjects(events, 1, 0), platform::WAIT_TIMEOUT);
    EXPECT_TRUE(w.PostMessage(WM_USER + 5, 1));
    EXPECT_EQ(MsgWaitForMultipleObjects(events, 1, 0), platform::WAIT_OBJECT_0 + 1);
    MSG msg{};
    ASSERT_TRUE(PeekMessage(&msg, false));  // look without taking
    EXPECT_EQ(msg.message, WM_USER + 5u);
    ASSERT_TRUE(PeekMessage(&msg, true));
    EXPECT_EQ(msg.hwnd, w.GetSafeHwnd());
    DispatchMessage(msg);
    EXPECT_FALSE(PeekMessage(&msg, true));
    EXPECT_EQ(w.Messages().size(), 2u);

    EXPECT_EQ(SendMessage(nullptr, WM_USER, 1, 0), 0);
    EXPECT_FALSE(PostMessage(nullptr, WM_USER, NewInt(3), 0, FreeInt));
    EXPECT_EQ(g_freed.load(), 1);
}

TEST(RegisterWindowMessage, SameNameSameIdInTheRegisteredRange) {
    const UINT a = RegisterWindowMessage(L"Tolvik test message A");
    const UINT b = RegisterWindowMessage(L"Tolvik test message B");
    EXPECT_GE(a, 0xC000u);
    EXPECT_LE(a, 0xFFFFu);
    EXPECT_GE(b, 0xC000u);
    EXPECT_NE(a, b);
    EXPECT_EQ(RegisterWindowMessage(L"Tolvik test message A"), a);
    EXPECT_EQ(RegisterWindowMessage(L""), 0u);
    EXPECT_EQ(RegisterWindowMessage(nullptr), 0u);
}

struct Payload {
    static inline std::atomic<int> alive{0};
    Payload() { ++alive; }
    ~Payload() { --alive; }
};

TEST(Host, WithoutAMainWindowAPostedRecordIsFreed) {
    ASSERT_EQ(AfxGetApp()->GetMainWnd(), nullptr);  // the default host has none
    EXPECT_FALSE(PostRecordToMainWindow(WM_APP + 0xA, std::make_unique<Payload>()));
    EXPECT_EQ(Payload::alive.load(), 0);
    EXPECT_FALSE(PostToMainWindow(WM_APP + 0xA, NewInt(1), 0, FreeInt));
}

TEST(Host, TheMainWindowReceivesPostedRecordsWhenItsThreadPumps) {
    platform::VirtualClock clock;
    platform::ScopedClock guard(clock);
    {
        test::RecordingHost host;
        EXPECT_EQ(AfxGetApp(), &host);
        auto epoch = std::make_unique<CGPSData>();
        epoch->m_nFixStatus = UDF_SIGNAL_GPS;
        EXPECT_TRUE(PostRecordToMainWindow(WM_GPS_NEWDATA, std::move(epoch)));
        EXPECT_TRUE(PostRecordToMainWindow(WM_GPS_RAWSTRING, std::make_unique<CString>(L"$GPGGA")));
        EXPECT_TRUE(host.epochs.empty());
        EXPECT_EQ(host.Pump(), 2);
        ASSERT_EQ(host.epochs.size(), 1u);
        EXPECT_EQ(host.epochs[0]->m_nFixStatus, UDF_SIGNAL_GPS);
        ASSERT_EQ(host.rawStrings.size(), 1u);
        // Not pumped before the host goes: freed with its window (AddressSanitizer checks it).
        EXPECT_TRUE(PostRecordToMainWindow(WM_GPS_NEWDATA, std::make_unique<CGPSData>()));

        host.BeginWaitCursor();
        host.BeginWaitCursor();
        host.EndWaitCursor();
        EXPECT_EQ(host.WaitCursorDepth(), 1);
        host.EndWaitCursor();
        host.EndWaitCursor();
        EXPECT_EQ(host.WaitCursorDepth(), 0);
        EXPECT_EQ(AfxMessageBox(L"Could not open file to log raw data!"), IDOK);
        EXPECT_EQ(host.MessageBoxes(),
                  std::vector<CString>{L"Could not open file to log raw data!"});
    }
    EXPECT_NE(AfxGetApp(), nullptr);  // the default host is back
    EXPECT_EQ(AfxGetApp()->GetMainWnd(), nullptr);
}

TEST(Host, SettingsGoToTheProfileFile) {
    test::TempDir dir;
    CWinApp app;
    EXPECT_EQ(app.GetProfileInt(L"Garmin 17N", L"Baud", 4800), 4800);
    EXPECT_TRUE(app.WriteProfileInt(L"Garmin 17N", L"Baud", 9600));  // in memory until bound
    EXPECT_EQ(app.GetProfileInt(L"Garmin 17N", L"Baud", 4800), 9600);
    ASSERT_TRUE(app.SetProfilePath(dir.File("host.ini")));
    EXPECT_TRUE(app.WriteProfileInt(L"Garmin 17N", L"Baud", 19200));
    EXPECT_NE(test::ReadFile(dir.File("host.ini")).find("Baud=19200"), std::string::npos);
    EXPECT_FALSE(app.GetModuleFileName().IsEmpty());
}

}  // namespace
}  // namespace tolvik
