// Events with automatic-reset and manual-reset semantics, and waits on one or several of them.
//
// An event is a readable descriptor while it is set (an eventfd), so waits go through the clock
// seam's WaitReadable and compose with serial ports and message queues. An automatic-reset
// event releases exactly one waiter per signal and is then clear again; a manual-reset event
// stays set until ResetEvent.
#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>

#include "tolvik/platform/Types.h"

namespace tolvik::platform {

class Event {
public:
    Event(bool bManualReset, bool bInitialState);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    // Takes the signal if the event is set: clears an automatic-reset event, leaves a
    // manual-reset one set. False when it was not set (or another waiter took it first).
    bool TryAcquire();
    bool IsSet() const;
    bool IsManualReset() const { return m_bManualReset; }
    int Descriptor() const { return m_fd; }

private:
    int m_fd;
    bool m_bManualReset;
    // Released by Set and acquired by a wait that sees the event set, so that what the setting
    // thread wrote before Set is visible to the woken thread (a poll alone does not promise it,
    // and ThreadSanitizer rightly reports the difference).
    std::atomic<std::uint32_t> m_nSignals{0};
};

inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

// Handle-style operations, for code that keeps events as members that may be null.
Event* CreateEvent(bool bManualReset, bool bInitialState);
bool SetEvent(Event* pEvent);
bool ResetEvent(Event* pEvent);
bool CloseHandle(Event* pEvent);  // deletes the event; null is refused

// WAIT_OBJECT_0 + index of the event that ended the wait (the lowest when several are set),
// WAIT_TIMEOUT, or WAIT_FAILED for a null event or an empty list.
DWORD WaitForSingleObject(Event* pEvent, DWORD timeoutMs);
DWORD WaitForMultipleObjects(const Event* const* ppEvents, int count, DWORD timeoutMs);
inline DWORD WaitForMultipleObjects(std::initializer_list<Event*> events, DWORD timeoutMs) {
    return WaitForMultipleObjects(events.begin(), static_cast<int>(events.size()), timeoutMs);
}

// Waits on the events and, after them, on extra descriptors (a serial port, a message queue).
// Returns WAIT_OBJECT_0 + index in the combined list (events first), or WAIT_TIMEOUT.
DWORD WaitForEventsOrDescriptors(const Event* const* ppEvents, int nEvents, const int* fds, int nFds, DWORD timeoutMs);

}  // namespace tolvik::platform
