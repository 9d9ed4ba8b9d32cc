#include "ReportHub.h"

#include <algorithm>

namespace tolvik::output {

Subscriber::Subscriber(std::size_t capacity, std::function<void()> wake)
    : m_capacity(std::max<std::size_t>(capacity, 1)), m_wake(std::move(wake)) {}

void Subscriber::Push(Report report) {
    {
        std::lock_guard lock(m_mutex);
        if (m_queue.size() >= m_capacity) {
            m_queue.pop_front();
            ++m_dropped;
        }
        m_queue.push_back(std::move(report));
    }
    // One wake-up until the consumer takes the queue: a burst of reports costs one.
    if (!m_woken.exchange(true) && m_wake) m_wake();
}

void Subscriber::TakeAll(std::vector<Report>& out) {
    m_woken = false;
    std::lock_guard lock(m_mutex);
    for (auto& r : m_queue) out.push_back(std::move(r));
    m_queue.clear();
}

std::size_t Subscriber::Queued() const {
    std::lock_guard lock(m_mutex);
    return m_queue.size();
}

std::shared_ptr<Subscriber> ReportHub::Subscribe(std::size_t capacity, std::function<void()> wake) {
    auto subscriber = std::make_shared<Subscriber>(capacity, std::move(wake));
    std::lock_guard lock(m_mutex);
    m_subscribers.push_back(subscriber);
    return subscriber;
}

void ReportHub::Unsubscribe(const std::shared_ptr<Subscriber>& subscriber) {
    std::lock_guard lock(m_mutex);
    std::erase(m_subscribers, subscriber);
}

void ReportHub::Publish(Channel channel, std::string_view line) {
    Report report;
    {
        std::lock_guard lock(m_mutex);
        m_snapshot = m_subscribers;
    }
    for (const auto& s : m_snapshot) {
        if (!s->Wants(channel)) continue;
        if (!report) report = std::make_shared<const std::string>(line);
        s->Push(report);
    }
    m_snapshot.clear();
}

std::size_t ReportHub::Subscribers() const {
    std::lock_guard lock(m_mutex);
    return m_subscribers.size();
}

}  // namespace tolvik::output
