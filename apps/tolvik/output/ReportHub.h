// The report stream of a server: what the receiver produces, fanned out to every subscribed
// client through a bounded queue of its own.
//
// The publisher (the thread that takes the engine's posted records) never waits for a client:
// a full queue drops its oldest report and counts it. Reports are shared immutable strings, so a
// report sent to many clients exists once. The stream does not know about sockets: the
// gpsd-protocol server subscribes each connection, another front end (HTTP, server-sent events)
// can subscribe the same way.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tolvik::output {

using Report = std::shared_ptr<const std::string>;

// What a report carries: decoded JSON objects, or a message exactly as the receiver sent it.
enum class Channel { Json, Nmea };

class Subscriber {
public:
    // wake is called (on the publisher's thread, without locks held) when reports arrive in an
    // empty queue that nobody was told about yet; it must not block.
    Subscriber(std::size_t capacity, std::function<void()> wake);

    void SetChannels(bool json, bool nmea) {
        m_json = json;
        m_nmea = nmea;
    }
    bool Wants(Channel channel) const { return channel == Channel::Json ? m_json.load() : m_nmea.load(); }

    // Queues a report; a full queue drops its oldest first.
    void Push(Report report);
    // Moves everything queued to out (appending) and rearms the wake-up.
    void TakeAll(std::vector<Report>& out);
    std::uint64_t Dropped() const { return m_dropped.load(); }
    std::size_t Capacity() const { return m_capacity; }
    std::size_t Queued() const;

private:
    const std::size_t m_capacity;
    const std::function<void()> m_wake;
    mutable std::mutex m_mutex;
    std::deque<Report> m_queue;
    std::atomic<bool> m_woken{false};
    std::atomic<bool> m_json{false};
    std::atomic<bool> m_nmea{false};
    std::atomic<std::uint64_t> m_dropped{0};
};

class ReportHub {
public:
    std::shared_ptr<Subscriber> Subscribe(std::size_t capacity, std::function<void()> wake);
    void Unsubscribe(const std::shared_ptr<Subscriber>& subscriber);

    // One line (line end included) to every subscriber that wants the channel.
    void Publish(Channel channel, std::string_view line);
    std::size_t Subscribers() const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::shared_ptr<Subscriber>> m_subscribers;
    std::vector<std::shared_ptr<Subscriber>> m_snapshot;  // publisher's copy, reused
};

}  // namespace tolvik::output
