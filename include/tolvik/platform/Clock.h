// The clock seam: every sleep, every reading of the time and every timed wait in the library
// goes through one Clock object.
//
// Receiver command sequences are paced by fixed sleeps (a factory reset takes 23 seconds) and the
// reader thread runs on time-outs (1000 ms first-byte wait, 500 ms replay pace, 10 s estimator
// reset). Replacing the clock with a VirtualClock runs all of that in virtual time: sleeps return
// at once and are recorded, and timed waits end when the test advances the clock.
//
// Waiting is built on readable file descriptors: events are eventfds (Sync.h), a serial port is
// a descriptor, and a thread's message queue has one too. So a thread can block on any mix of
// them in one call, and nothing polls in a loop.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "tolvik/platform/Types.h"

namespace tolvik::platform {

class Clock {
public:
    virtual ~Clock() = default;

    // Milliseconds since an arbitrary start; never goes backwards.
    virtual std::uint64_t MonotonicMs() = 0;
    // Wall-clock time in seconds since 1970-01-01 UTC.
    virtual std::int64_t Now() = 0;
    virtual void Sleep(DWORD ms) = 0;
    // Blocks until one of the descriptors is readable (or reports hang-up or an error) or the
    // time-out passes. Returns the index of the first ready descriptor, or -1 on time-out.
    // A time-out of 0 only looks; INFINITE waits without limit.
    virtual int WaitReadable(const int* fds, int count, DWORD timeoutMs) = 0;
};

// The clock in use; the real clock unless a test installed another.
Clock& GetClock();
// Installs a clock (nullptr restores the real one). Install before starting threads that use it.
void SetClock(Clock* clock);

// Shorthands through the current clock.
inline void Sleep(DWORD ms) { GetClock().Sleep(ms); }
inline DWORD GetTickCount() { return static_cast<DWORD>(GetClock().MonotonicMs()); }

class RealClock final : public Clock {
public:
    std::uint64_t MonotonicMs() override;
    std::int64_t Now() override;
    void Sleep(DWORD ms) override;
    int WaitReadable(const int* fds, int count, DWORD timeoutMs) override;
};

// Virtual time for tests and simulations.
//
// Sleep records its duration and advances the clock at once. A timed wait blocks (really, on its
// descriptors) until a descriptor is ready or virtual time reaches its deadline; virtual time
// moves only through Advance, SetNow and Sleep. WaitForBlockedWaiters lets a test step a thread
// from one wait to the next deterministically.
class VirtualClock final : public Clock {
public:
    struct SleepRecord {
        DWORD ms;
        std::thread::id thread;
    };

    // Starts at the given wall-clock time (default 2026-03-14 09:05:07 UTC).
    explicit VirtualClock(std::int64_t wallStart = 1773479107);
    ~VirtualClock() override;

    std::uint64_t MonotonicMs() override;
    std::int64_t Now() override;
    void Sleep(DWORD ms) override;
    int WaitReadable(const int* fds, int count, DWORD timeoutMs) override;

    // Moves virtual time forward and wakes every wait whose deadline has come.
    void Advance(DWORD ms);
    // Moves virtual time to the earliest deadline of the blocked waits (if any is finite and, with
    // maxStepMs, no further away than that); false when time did not move.
    bool AdvanceToNextDeadline(DWORD maxStepMs = INFINITE);
    // Sets the wall-clock seconds without moving the monotonic clock.
    void SetNow(std::int64_t wallSeconds);
    // Sets the monotonic milliseconds (for tick-count wrap tests); wakes expired waits.
    void SetMonotonicMs(std::uint64_t ms);

    std::vector<SleepRecord> Sleeps() const;
    // Durations of the sleeps made so far (by any thread, or by one thread), oldest first.
    std::vector<DWORD> SleepDurations() const;
    std::vector<DWORD> SleepDurationsOf(std::thread::id thread) const;
    void ClearSleeps();

    // Number of threads inside a blocking WaitReadable now.
    int BlockedWaiters() const;
    // Blocks (in real time) until at least n threads are inside a blocking wait; false when
    // realTimeout passes first, which a test reports as a failure.
    bool WaitForBlockedWaiters(int n, std::chrono::milliseconds realTimeout = std::chrono::seconds(20));
    // The same for waits with a time limit only (a thread blocked without limit, such as one
    // waiting for messages, is not counted).
    int TimedWaiters() const;
    bool WaitForTimedWaiters(int n, std::chrono::milliseconds realTimeout = std::chrono::seconds(20));
    // Blocks (in real time) until at least minTimed threads wait with a time limit and none of
    // those limits has passed: every thread woken by the last advance has run on to its next
    // wait. The usual step of a test is Advance(ms) followed by Settle().
    bool Settle(int minTimed = 1, std::chrono::milliseconds realTimeout = std::chrono::seconds(20));
    // Blocks (in real time) until condition(blocked, timed) holds for the current waiters.
    bool WaitForWaiters(const std::function<bool(int blocked, int timed)>& condition,
                        std::chrono::milliseconds realTimeout = std::chrono::seconds(20));

private:
    struct Waiter;
    void WakeExpiredLocked();
    int CountTimedLocked() const;

    mutable std::mutex m_mutex;
    std::condition_variable m_blockedChanged;
    std::uint64_t m_monotonicMs = 0;
    std::int64_t m_wallStart;
    std::int64_t m_wallOffsetMs = 0;
    std::vector<Waiter*> m_waiters;
    std::vector<SleepRecord> m_sleeps;
};

// Installs a clock for the lifetime of the guard.
class ScopedClock {
public:
    explicit ScopedClock(Clock& clock) { SetClock(&clock); }
    ~ScopedClock() { SetClock(nullptr); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;
};

}  // namespace tolvik::platform
