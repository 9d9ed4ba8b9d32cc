#include "tolvik/platform/Window.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace tolvik {

namespace {

struct QueuedMessage {
    MSG msg;
    PayloadDeleter deleter;
};

struct SentMessage {
    MSG msg;
    LRESULT result = 0;
    bool done = false;
};

void Free(const QueuedMessage& m) {
    if (m.deleter) m.deleter(m.msg.wParam, m.msg.lParam);
}

class ThreadQueue {
public:
    std::mutex mu;
    std::condition_variable sentDone;
    std::deque<QueuedMessage> posted;
    std::deque<SentMessage*> sent;
    platform::Event wake{true, false};  // set while anything waits in the queue
    bool wakeSet = false;               // what wake says, so that only a change costs a system call
    bool alive = true;

    void UpdateWakeLocked() {
        const bool pending = !posted.empty() || !sent.empty();
        if (pending == wakeSet) return;
        wakeSet = pending;
        if (pending) {
            wake.Set();
        } else {
            wake.Reset();
        }
    }

    // The owning thread ends: nothing queued can be delivered any more.
    void Shutdown() {
        std::deque<QueuedMessage> dropped;
        {
            std::lock_guard lock(mu);
            alive = false;
            dropped.swap(posted);
            for (SentMessage* s : sent) s->done = true;
            sent.clear();
            UpdateWakeLocked();
        }
        sentDone.notify_all();
        for (const auto& m : dropped) Free(m);
    }
};

struct WindowEntry {
    CWnd* wnd;
    std::shared_ptr<ThreadQueue> queue;
};

struct Registry {
    std::mutex mu;
    std::unordered_map<HWND, WindowEntry> windows;
    std::uintptr_t nextHandle = 0x1000;
    std::unordered_map<std::wstring, UINT> names;
    UINT nextMessage = 0xC000;
};

Registry& Reg() {
    static auto* reg = new Registry;  // lives until exit: windows may be posted to from any thread
    return *reg;
}

struct QueueHolder {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueHolder() {
        if (queue) queue->Shutdown();
    }
};

thread_local QueueHolder t_queue;

std::shared_ptr<ThreadQueue> CurrentQueue() {
    if (!t_queue.queue) t_queue.queue = std::make_shared<ThreadQueue>();
    return t_queue.queue;
}

bool Lookup(HWND hWnd, WindowEntry& out) {
    std::lock_guard lock(Reg().mu);
    const auto it = Reg().windows.find(hWnd);
    if (it == Reg().windows.end()) return false;
    out = it->second;
    return true;
}

// Dispatches the messages sent to this thread's windows from other threads.
void ProcessSentMessages(ThreadQueue& q) {
    while (true) {
        SentMessage* s = nullptr;
        {
            std::lock_guard lock(q.mu);
            if (q.sent.empty()) return;
            s = q.sent.front();
            q.sent.pop_front();
            q.UpdateWakeLocked();
        }
        LRESULT result = 0;
        WindowEntry entry{};
        if (Lookup(s->msg.hwnd, entry)) result = entry.wnd->WindowProc(s->msg.message, s->msg.wParam, s->msg.lParam);
        {
            std::lock_guard lock(q.mu);
            s->result = result;
            s->done = true;
        }
        q.sentDone.notify_all();
    }
}

// Takes the next posted message whose window still exists; undeliverable ones are freed.
bool TakePosted(ThreadQueue& q, QueuedMessage& out, bool bRemove) {
    while (true) {
        QueuedMessage m{};
        {
            std::lock_guard lock(q.mu);
            if (q.posted.empty()) return false;
            m = q.posted.front();
            WindowEntry entry{};
            const bool deliverable = m.msg.hwnd == nullptr || Lookup(m.msg.hwnd, entry);
            if (deliverable && !bRemove) {
                out = m;
                return true;
            }
            q.posted.pop_front();
            q.UpdateWakeLocked();
            if (deliverable) {
                out = m;
                return true;
            }
        }
        Free(m);
    }
}

}  // namespace

CWnd::CWnd() = default;

CWnd::~CWnd() {
    if (m_hWnd) CWnd::DestroyWindow();
}

bool CWnd::CreateOnThisThread() {
    if (m_hWnd) return false;
    auto queue = CurrentQueue();
    std::lock_guard lock(Reg().mu);
    m_hWnd = reinterpret_cast<HWND>(Reg().nextHandle++);
    Reg().windows[m_hWnd] = WindowEntry{this, std::move(queue)};
    return true;
}

bool CWnd::DestroyWindow() {
    if (!m_hWnd) return false;
    const HWND hWnd = m_hWnd;
    m_hWnd = nullptr;
    std::shared_ptr<ThreadQueue> queue;
    {
        std::lock_guard lock(Reg().mu);
        const auto it = Reg().windows.find(hWnd);
        if (it == Reg().windows.end()) return false;
        queue = it->second.queue;
        Reg().windows.erase(it);
    }
    std::vector<QueuedMessage> dropped;
    {
        std::lock_guard lock(queue->mu);
        std::erase_if(queue->posted, [&](const QueuedMessage& m) {
            if (m.msg.hwnd != hWnd) return false;
            dropped.push_back(m);
            return true;
        });
        std::erase_if(queue->sent, [&](SentMessage* s) {
            if (s->msg.hwnd != hWnd) return false;
            s->done = true;
            return true;
        });
        queue->UpdateWakeLocked();
    }
    queue->sentDone.notify_all();
    for (const auto& m : dropped) Free(m);
    return true;
}

CWnd* CWnd::FromHandle(HWND hWnd) {
    WindowEntry entry{};
    return Lookup(hWnd, entry) ? entry.wnd : nullptr;
}

bool CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return tolvik::PostMessage(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return tolvik::SendMessage(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT, WPARAM, LPARAM) { return 0; }

bool IsWindow(HWND hWnd) {
    WindowEntry entry{};
    return hWnd && Lookup(hWnd, entry);
}

bool PostMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, PayloadDeleter deleter) {
    const QueuedMessage m{MSG{hWnd, message, wParam, lParam}, deleter};
    WindowEntry entry{};
    if (!hWnd || !Lookup(hWnd, entry)) {
        Free(m);
        return false;
    }
    {
        std::lock_guard lock(entry.queue->mu);
        if (entry.queue->alive) {
            entry.queue->posted.push_back(m);
            entry.queue->UpdateWakeLocked();
            return true;
        }
    }
    Free(m);
    return false;
}

LRESULT SendMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowEntry entry{};
    if (!hWnd || !Lookup(hWnd, entry)) return 0;
    if (entry.queue == t_queue.queue) return entry.wnd->WindowProc(message, wParam, lParam);

    SentMessage s{MSG{hWnd, message, wParam, lParam}};
    std::unique_lock lock(entry.queue->mu);
    if (!entry.queue->alive) return 0;
    entry.queue->sent.push_back(&s);
    entry.queue->UpdateWakeLocked();
    entry.queue->sentDone.wait(lock, [&] { return s.done; });
    return s.result;
}

UINT RegisterWindowMessage(const wchar_t* pszName) {
    if (!pszName || !*pszName) return 0;
    std::lock_guard lock(Reg().mu);
    const auto [it, inserted] = Reg().names.try_emplace(pszName, Reg().nextMessage);
    if (inserted) ++Reg().nextMessage;
    return it->second;
}

bool PeekMessage(MSG* pMsg, bool bRemove) {
    auto queue = CurrentQueue();
    ProcessSentMessages(*queue);
    QueuedMessage m{};
    if (!TakePosted(*queue, m, bRemove)) return false;
    if (pMsg) *pMsg = m.msg;
    return true;
}

void DispatchMessage(const MSG& msg) {
    WindowEntry entry{};
    if (msg.hwnd && Lookup(msg.hwnd, entry)) entry.wnd->WindowProc(msg.message, msg.wParam, msg.lParam);
}

int PumpWaitingMessages() {
    auto queue = CurrentQueue();
    int n = 0;
    while (true) {
        ProcessSentMessages(*queue);
        QueuedMessage m{};
        if (!TakePosted(*queue, m, true)) return n;
        WindowEntry entry{};
        if (m.msg.hwnd && Lookup(m.msg.hwnd, entry)) {
            entry.wnd->WindowProc(m.msg.message, m.msg.wParam, m.msg.lParam);
        } else {
            Free(m);
        }
        ++n;
    }
}

DWORD MsgWaitForMultipleObjects(const platform::Event* const* ppEvents, int count, DWORD timeoutMs) {
    auto queue = CurrentQueue();
    const int fd = queue->wake.Descriptor();
    return platform::WaitForEventsOrDescriptors(ppEvents, count, &fd, 1, timeoutMs);
}

}  // namespace tolvik
