// Windows belong to threads; the tests drive those threads step by step with semaphores.
#include "tolvik/platform/Window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <semaphore>
#include <thread>
#include <tuple>
#include <vector>

#include "tolvik/platform/Clock.h"
#include "tolvik/platform/Host.h"

namespace tolvik {
namespace {

std::atomic<int> g_freed{0};

void FreeInt(WPARAM w, LPARAM) {
    delete reinterpret_cast<int*>(w);
    ++g_freed;
}
WPARAM NewInt(int v) { return reinterpret_cast<WPARAM>(new int(v)); }

// Records each wParam it is given with the thread that handled it; answers twice the wParam.
class RecordingWindow : public CWnd {
public:
    LRESULT WindowProc(UINT, WPARAM wParam, LPARAM) override {
        received.emplace_back(static_cast<int>(wParam), std::this_thread::get_id());
        return static_cast<LRESULT>(wParam) * 2;
    }
    std::vector<std::pair<int, std::thread::id>> received;  // read only while its thread waits
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { g_freed = 0; }
    platform::VirtualClock clock;
    platform::ScopedClock guard{clock};
    std::binary_semaphore created{0}, go{0}, done{0};
};

TEST_F(WindowTest, PostsWaitForThePumpAndASendWaitsForItsDispatch) {
    RecordingWindow w;  // lives on past its thread, to be looked at afterwards
    platform::Event stop(true, false);
    std::thread owner([&] {
        EXPECT_TRUE(w.CreateOnThisThread());
        EXPECT_FALSE(w.CreateOnThisThread());
        EXPECT_EQ(w.SendMessage(WM_USER, 4), 8);  // on its own thread: called directly
        created.release();
        go.acquire();
        const platform::Event* events[] = {&stop};
        while (MsgWaitForMultipleObjects(events, 1, INFINITE) == platform::WAIT_OBJECT_0 + 1) PumpWaitingMessages();
    });
    created.acquire();
    const HWND hWnd = w.GetSafeHwnd();
    EXPECT_TRUE(PostMessage(hWnd, WM_USER, 7, 0));
    EXPECT_TRUE(w.PostMessage(WM_USER, 9));
    MSG msg{};
    EXPECT_FALSE(PeekMessage(&msg, true));  // not this thread's queue
    EXPECT_EQ(w.received.size(), 1u);       // the owner does not pump yet
    LRESULT result = -1;
    std::thread sender([&] { result = SendMessage(hWnd, WM_USER, 21, 0); });
    go.release();
    sender.join();
    EXPECT_EQ(result, 42);  // the answer of the dispatch: the send waited for it
    stop.Set();
    const std::thread::id ownerId = owner.get_id();
    owner.join();
    // Every message handled on the owner's thread, the posts in their order.
    std::vector<int> posted;
    for (const auto& [wParam, thread] : w.received) {
        EXPECT_EQ(thread, ownerId) << wParam;
        if (wParam == 7 || wParam == 9) posted.push_back(wParam);
    }
    EXPECT_EQ(std::pair(w.received.size(), posted), std::pair(std::size_t{4}, std::vector<int>{7, 9}));
    // Its thread has ended: nothing reaches the window any more, and a payload is freed at once.
    EXPECT_FALSE(PostMessage(hWnd, WM_USER, NewInt(1), 0, FreeInt));
    EXPECT_EQ(std::pair(g_freed.load(), SendMessage(hWnd, WM_USER, 3, 0)), std::pair(1, LRESULT{0}));
}

TEST_F(WindowTest, PayloadsThatCannotBeDeliveredAreFreedAndSendersReleased) {
    RecordingWindow w;
    std::thread owner([&] {
        w.CreateOnThisThread();
        created.release();
        // Wait until something is queued (the sent message), but dispatch nothing.
        EXPECT_EQ(MsgWaitForMultipleObjects(nullptr, 0, INFINITE), platform::WAIT_OBJECT_0);
        done.release();
        go.acquire();
        EXPECT_TRUE(w.DestroyWindow());
        EXPECT_FALSE(w.DestroyWindow());
    });
    created.acquire();
    const HWND hWnd = w.GetSafeHwnd();
    LRESULT result = -1;
    std::thread sender([&] { result = SendMessage(hWnd, WM_USER, 5, 0); });
    done.acquire();
    EXPECT_TRUE(PostMessage(hWnd, WM_APP + 1, NewInt(1), 0, FreeInt) &&
                PostMessage(hWnd, WM_APP + 2, NewInt(2), 0, FreeInt));
    go.release();
    sender.join();
    owner.join();
    EXPECT_EQ(std::tuple(result, g_freed.load(), IsWindow(hWnd)), std::tuple(LRESULT{0}, 2, false));

    // The default host has no main window: what is posted to it is freed at once.
    ASSERT_EQ(AfxGetApp()->GetMainWnd(), nullptr);
    EXPECT_FALSE(PostRecordToMainWindow(WM_APP + 1, std::make_unique<CString>(L"$GP")));  // ASan
    EXPECT_FALSE(PostToMainWindow(WM_APP, NewInt(3), 0, FreeInt));
    EXPECT_EQ(g_freed.load(), 3);
}

}  // namespace
}  // namespace tolvik
