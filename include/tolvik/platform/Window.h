// Windows and thread message queues: the channel through which the library reaches the host.
//
// A window belongs to the thread that created it; messages posted to it wait in that thread's
// queue until the thread pumps them. Results cross from the reader thread to the host this way,
// as heap records that the receiving window owns. A message may carry a payload deleter: if the
// message can never be delivered (no window, window destroyed, thread gone) the deleter frees the
// payload, so a record is never leaked because nobody was there to take it.
//
// SendMessage to a window of another thread blocks until that thread dispatches it, as the
// precise timer's worker relies on (port/CAck.h); destroying the window releases such senders.
#pragma once

#include "tolvik/platform/Sync.h"
#include "tolvik/platform/Types.h"

namespace tolvik {

inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT WM_APP = 0x8000;

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Frees the payload of a message that could not be delivered.
using PayloadDeleter = void (*)(WPARAM wParam, LPARAM lParam);

class CWnd {
public:
    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // Creates the window on the calling thread. False if it already exists.
    bool CreateOnThisThread();
    // Destroys the window: undelivered posted messages are freed, pending senders released.
    virtual bool DestroyWindow();

    HWND GetSafeHwnd() const { return m_hWnd; }
    static CWnd* FromHandle(HWND hWnd);

    bool PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    // Called on the owning thread for every message dispatched to the window. A payload
    // message hands its payload to the window: the override must take ownership.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd = nullptr;
};

bool IsWindow(HWND hWnd);
bool PostMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, PayloadDeleter deleter = nullptr);
LRESULT SendMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
// A message id in 0xC000-0xFFFF, the same for the same name for the life of the process.
UINT RegisterWindowMessage(const wchar_t* pszName);

// The calling thread's queue. Messages sent from other threads are dispatched inside these
// calls before any posted message is looked at.
bool PeekMessage(MSG* pMsg, bool bRemove);
void DispatchMessage(const MSG& msg);
// Dispatches every message waiting now; returns how many posted messages were dispatched.
int PumpWaitingMessages();
// Blocks until one of the events is set (WAIT_OBJECT_0 + index) or a message arrives for this
// thread (WAIT_OBJECT_0 + count), or the time-out passes (WAIT_TIMEOUT). Goes through the clock.
DWORD MsgWaitForMultipleObjects(const platform::Event* const* ppEvents, int count, DWORD timeoutMs);

}  // namespace tolvik
