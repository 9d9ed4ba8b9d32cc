#include "tolvik/platform/Clock.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <ctime>
#include <limits>

namespace tolvik::platform {

namespace {

RealClock g_realClock;
std::atomic<Clock*> g_clock{&g_realClock};

int FirstReady(const pollfd* pfds, int count) {
    for (int i = 0; i < count; ++i) {
        if (pfds[i].revents != 0) return i;
    }
    return -1;
}

std::uint64_t SteadyMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

}  // namespace

Clock& GetClock() { return *g_clock.load(std::memory_order_acquire); }

void SetClock(Clock* clock) { g_clock.store(clock ? clock : &g_realClock, std::memory_order_release); }

// ---- RealClock

std::uint64_t RealClock::MonotonicMs() { return SteadyMs(); }

std::int64_t RealClock::Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

void RealClock::Sleep(DWORD ms) {
    timespec req{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&req, &req) != 0 && errno == EINTR) {}
}

int RealClock::WaitReadable(const int* fds, int count, DWORD timeoutMs) {
    std::vector<pollfd> pfds(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) pfds[static_cast<std::size_t>(i)] = pollfd{fds[i], POLLIN, 0};
    const std::uint64_t deadline = timeoutMs == INFINITE ? 0 : SteadyMs() + timeoutMs;
    while (true) {
        int wait = -1;
        if (timeoutMs != INFINITE) {
            const std::uint64_t now = SteadyMs();
            wait = now >= deadline ? 0 : static_cast<int>(std::min<std::uint64_t>(deadline - now, INT_MAX));
        }
        const int r = poll(pfds.data(), static_cast<nfds_t>(count), wait);
        if (r > 0) return FirstReady(pfds.data(), count);
        if (r == 0) return -1;
        if (errno != EINTR) return -1;
    }
}

// ---- VirtualClock

struct VirtualClock::Waiter {
    std::uint64_t deadline;  // UINT64_MAX: none
    int wakeFd;
};

VirtualClock::VirtualClock(std::int64_t wallStart) : m_wallStart(wallStart) {}

VirtualClock::~VirtualClock() = default;

std::uint64_t VirtualClock::MonotonicMs() {
    std::lock_guard lock(m_mutex);
    return m_monotonicMs;
}

std::int64_t VirtualClock::Now() {
    std::lock_guard lock(m_mutex);
    return m_wallStart + (static_cast<std::int64_t>(m_monotonicMs) + m_wallOffsetMs) / 1000;
}

void VirtualClock::Sleep(DWORD ms) {
    std::lock_guard lock(m_mutex);
    m_sleeps.push_back({ms, std::this_thread::get_id()});
    m_monotonicMs += ms;
    WakeExpiredLocked();
}

void VirtualClock::Advance(DWORD ms) {
    std::lock_guard lock(m_mutex);
    m_monotonicMs += ms;
    WakeExpiredLocked();
}

bool VirtualClock::AdvanceToNextDeadline(DWORD maxStepMs) {
    std::lock_guard lock(m_mutex);
    std::uint64_t next = std::numeric_limits<std::uint64_t>::max();
    for (const Waiter* w : m_waiters) next = std::min(next, w->deadline);
    if (next == std::numeric_limits<std::uint64_t>::max()) return false;
    if (maxStepMs != INFINITE && next > m_monotonicMs + maxStepMs) return false;
    m_monotonicMs = std::max(m_monotonicMs, next);
    WakeExpiredLocked();
    return true;
}

void VirtualClock::SetNow(std::int64_t wallSeconds) {
    std::lock_guard lock(m_mutex);
    m_wallStart = wallSeconds;
    m_wallOffsetMs = -static_cast<std::int64_t>(m_monotonicMs);
}

void VirtualClock::SetMonotonicMs(std::uint64_t ms) {
    std::lock_guard lock(m_mutex);
    m_wallOffsetMs += static_cast<std::int64_t>(m_monotonicMs) - static_cast<std::int64_t>(ms);
    m_monotonicMs = ms;
    WakeExpiredLocked();
}

void VirtualClock::WakeExpiredLocked() {
    for (const Waiter* w : m_waiters) {
        if (w->deadline <= m_monotonicMs) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const auto n = write(w->wakeFd, &one, sizeof one);
        }
    }
}

int VirtualClock::WaitReadable(const int* fds, int count, DWORD timeoutMs) {
    std::vector<pollfd> pfds(static_cast<std::size_t>(std::max(count, 0)) + 1);
    for (int i = 0; i < count; ++i) pfds[static_cast<std::size_t>(i)] = pollfd{fds[i], POLLIN, 0};
    // Something ready already: no wait at all. Only a wait that really blocks is registered, so
    // a test counting blocked threads never counts one that is about to run on.
    {
        const int r = poll(pfds.data(), static_cast<nfds_t>(count), 0);
        if (r > 0) return FirstReady(pfds.data(), count);
        if (timeoutMs == 0) return -1;
    }

    Waiter waiter{std::numeric_limits<std::uint64_t>::max(), eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
    {
        std::lock_guard lock(m_mutex);
        if (timeoutMs != INFINITE) waiter.deadline = m_monotonicMs + timeoutMs;
        m_waiters.push_back(&waiter);
    }
    m_blockedChanged.notify_all();
    pfds[static_cast<std::size_t>(count)] = pollfd{waiter.wakeFd, POLLIN, 0};

    int result = -1;
    while (true) {
        const int r = poll(pfds.data(), static_cast<nfds_t>(count) + 1, -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            break;
        }
        const int ready = FirstReady(pfds.data(), count);
        if (ready >= 0) {
            result = ready;
            break;
        }
        std::uint64_t drained = 0;
        [[maybe_unused]] const auto n = read(waiter.wakeFd, &drained, sizeof drained);
        std::lock_guard lock(m_mutex);
        if (m_monotonicMs >= waiter.deadline) break;
    }

    {
        std::lock_guard lock(m_mutex);
        std::erase(m_waiters, &waiter);
    }
    m_blockedChanged.notify_all();
    close(waiter.wakeFd);
    return result;
}

std::vector<VirtualClock::SleepRecord> VirtualClock::Sleeps() const {
    std::lock_guard lock(m_mutex);
    return m_sleeps;
}

std::vector<DWORD> VirtualClock::SleepDurations() const {
    std::lock_guard lock(m_mutex);
    std::vector<DWORD> out;
    for (const auto& s : m_sleeps) out.push_back(s.ms);
    return out;
}

std::vector<DWORD> VirtualClock::SleepDurationsOf(std::thread::id thread) const {
    std::lock_guard lock(m_mutex);
    std::vector<DWORD> out;
    for (const auto& s : m_sleeps) {
        if (s.thread == thread) out.push_back(s.ms);
    }
    return out;
}

void VirtualClock::ClearSleeps() {
    std::lock_guard lock(m_mutex);
    m_sleeps.clear();
}

int VirtualClock::BlockedWaiters() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_waiters.size());
}

bool VirtualClock::WaitForBlockedWaiters(int n, std::chrono::milliseconds realTimeout) {
    std::unique_lock lock(m_mutex);
    return m_blockedChanged.wait_for(lock, realTimeout, [&] { return static_cast<int>(m_waiters.size()) >= n; });
}

int VirtualClock::TimedWaiters() const {
    std::lock_guard lock(m_mutex);
    return CountTimedLocked();
}

int VirtualClock::CountTimedLocked() const {
    int n = 0;
    for (const Waiter* w : m_waiters) {
        if (w->deadline != std::numeric_limits<std::uint64_t>::max()) ++n;
    }
    return n;
}

bool VirtualClock::WaitForWaiters(const std::function<bool(int, int)>& condition,
                                  std::chrono::milliseconds realTimeout) {
    std::unique_lock lock(m_mutex);
    return m_blockedChanged.wait_for(lock, realTimeout,
                                     [&] { return condition(static_cast<int>(m_waiters.size()), CountTimedLocked()); });
}

bool VirtualClock::Settle(int minTimed, std::chrono::milliseconds realTimeout) {
    std::unique_lock lock(m_mutex);
    return m_blockedChanged.wait_for(lock, realTimeout, [&] {
        for (const Waiter* w : m_waiters) {
            if (w->deadline <= m_monotonicMs) return false;
        }
        return CountTimedLocked() >= minTimed;
    });
}

bool VirtualClock::WaitForTimedWaiters(int n, std::chrono::milliseconds realTimeout) {
    std::unique_lock lock(m_mutex);
    return m_blockedChanged.wait_for(lock, realTimeout, [&] { return CountTimedLocked() >= n; });
}

}  // namespace tolvik::platform
