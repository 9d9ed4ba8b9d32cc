#include "tolvik/platform/Sync.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

#include "tolvik/platform/Clock.h"

namespace tolvik::platform {

Event::Event(bool bManualReset, bool bInitialState)
    : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), m_bManualReset(bManualReset) {
    if (m_fd < 0) throw std::runtime_error("eventfd failed");
    if (bInitialState) Set();
}

Event::~Event() { close(m_fd); }

void Event::Set() {
    // The counter only ever needs to be non-zero; repeated signals collapse into one.
    m_nSignals.fetch_add(1, std::memory_order_release);
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = write(m_fd, &one, sizeof one);
}

void Event::Reset() {
    std::uint64_t value = 0;
    [[maybe_unused]] const auto n = read(m_fd, &value, sizeof value);
}

bool Event::IsSet() const {
    pollfd p{m_fd, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN)) return false;
    m_nSignals.load(std::memory_order_acquire);
    return true;
}

bool Event::TryAcquire() {
    if (m_bManualReset) return IsSet();
    // Reading an eventfd returns its whole counter and clears it in one step, so of several
    // threads woken by one signal exactly one gets a non-zero value.
    std::uint64_t value = 0;
    const auto n = read(m_fd, &value, sizeof value);
    if (n != static_cast<ssize_t>(sizeof value) || value == 0) return false;
    m_nSignals.load(std::memory_order_acquire);
    return true;
}

Event* CreateEvent(bool bManualReset, bool bInitialState) { return new Event(bManualReset, bInitialState); }

bool SetEvent(Event* pEvent) {
    if (!pEvent) return false;
    pEvent->Set();
    return true;
}

bool ResetEvent(Event* pEvent) {
    if (!pEvent) return false;
    pEvent->Reset();
    return true;
}

bool CloseHandle(Event* pEvent) {
    if (!pEvent) return false;
    delete pEvent;
    return true;
}

DWORD WaitForEventsOrDescriptors(const Event* const* ppEvents, int nEvents, const int* fds, int nFds, DWORD timeoutMs) {
    if (nEvents < 0 || nFds < 0 || nEvents + nFds == 0) return WAIT_FAILED;
    std::vector<int> all;
    all.reserve(static_cast<std::size_t>(nEvents + nFds));
    for (int i = 0; i < nEvents; ++i) {
        if (!ppEvents[i]) return WAIT_FAILED;
        all.push_back(ppEvents[i]->Descriptor());
    }
    for (int i = 0; i < nFds; ++i) all.push_back(fds[i]);

    Clock& clock = GetClock();
    const std::uint64_t start = clock.MonotonicMs();
    while (true) {
        DWORD remaining = timeoutMs;
        if (timeoutMs != INFINITE) {
            const std::uint64_t elapsed = clock.MonotonicMs() - start;
            remaining = elapsed >= timeoutMs ? 0 : static_cast<DWORD>(timeoutMs - elapsed);
        }
        const int ready = clock.WaitReadable(all.data(), static_cast<int>(all.size()), remaining);
        if (ready < 0) return WAIT_TIMEOUT;
        if (ready >= nEvents) return WAIT_OBJECT_0 + static_cast<DWORD>(ready);
        // An event: take its signal. Another waiter may have taken an automatic-reset signal
        // between the wake-up and here; then wait again for what is left of the time-out.
        if (const_cast<Event*>(ppEvents[ready])->TryAcquire()) return WAIT_OBJECT_0 + static_cast<DWORD>(ready);
        if (remaining == 0) return WAIT_TIMEOUT;
    }
}

DWORD WaitForMultipleObjects(const Event* const* ppEvents, int count, DWORD timeoutMs) {
    return WaitForEventsOrDescriptors(ppEvents, count, nullptr, 0, timeoutMs);
}

DWORD WaitForSingleObject(Event* pEvent, DWORD timeoutMs) {
    const Event* events[] = {pEvent};
    return WaitForMultipleObjects(events, 1, timeoutMs);
}

}  // namespace tolvik::platform
