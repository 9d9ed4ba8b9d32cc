#include "HttpFrontEnd.h"

#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include <httplib.h>

namespace tolvik::tool::http {

namespace {

// Written first on every stream: a comment (so the browser sees the stream open at once) and
// the reconnection delay a browser uses after the tool restarts.
constexpr std::string_view kStreamPreamble = ": tolvik live view\nretry: 2000\n\n";

// Report classes whose latest line a newly connected browser receives first, in this order.
constexpr std::string_view kKeptClasses[] = {"TOLVIK", "SKY", "TPV"};

// The value of the top-level "class" member. Report writers put it first, so a scan for the
// member name is enough; an object without one is simply not kept.
std::string_view ClassOf(std::string_view line) {
    constexpr std::string_view kKey = "\"class\":\"";
    const auto start = line.find(kKey);
    if (start == std::string_view::npos) return {};
    const auto begin = start + kKey.size();
    const auto end = line.find('"', begin);
    return end == std::string_view::npos ? std::string_view{} : line.substr(begin, end - begin);
}

// One Server-Sent Event carrying the line: a "data:" field for each physical line (a JSON line
// has one; the browser joins several with '\n'), then the blank line that ends the event.
std::string EncodeEvent(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    std::string event;
    event.reserve(line.size() + 8);
    std::size_t begin = 0;
    for (;;) {
        const auto end = line.find_first_of("\r\n", begin);
        event += "data: ";
        event += line.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin);
        event += '\n';
        if (end == std::string_view::npos) break;
        begin = (line[end] == '\r' && end + 1 < line.size() && line[end + 1] == '\n') ? end + 2 : end + 1;
    }
    event += '\n';
    return event;
}

using Event = std::shared_ptr<const std::string>;

}  // namespace

class HttpFrontEnd::Impl {
public:
    explicit Impl(HttpFrontEndOptions options) : m_options(options) {}

    bool Listen(const std::string& host, int port);
    int Port() const { return m_port; }
    void Publish(std::string_view line);
    void Stop();
    FrontEndStats Stats() const;
    void WaitForClientCount(std::size_t count);

private:
    using Response = httplib::Response;

    struct Client {
        std::uint64_t id = 0;
        std::deque<Event> queue;
        std::uint64_t delivered = 0;
        std::uint64_t dropped = 0;
        std::condition_variable wake;
    };

    void ServeEvents(Response& response);
    // Blocks until the client has a line or the front end stops; null when it stops.
    Event NextEvent(Client& client);
    void Unregister(std::uint64_t id);

    const HttpFrontEndOptions m_options;
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;  // running, client count
    bool m_running = false;             // the server's accept loop has started
    bool m_stopping = false;
    std::uint64_t m_nextId = 1;
    std::map<std::uint64_t, std::shared_ptr<Client>> m_clients;
    std::map<std::string, Event, std::less<>> m_latest;  // by class
    std::uint64_t m_published = 0;
    std::uint64_t m_dropped = 0;
    std::uint64_t m_rejected = 0;
};

bool HttpFrontEnd::Impl::Listen(const std::string& host, int port) {
    {
        std::lock_guard lock(m_mutex);
        if (m_thread.joinable() || m_stopping) return false;
    }
    const int sendBuffer = m_options.sendBufferBytes;
    const timeval writeTimeout{m_options.writeTimeoutSeconds, 0};
    // Options of the listening socket; accepted connections inherit the buffer size and the send
    // time-out, which bounds a send() into a full buffer of a browser that stopped reading.
    m_server.set_socket_options([sendBuffer, writeTimeout](int sock) {
        const int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (sendBuffer > 0) setsockopt(sock, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
        setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, &writeTimeout, sizeof writeTimeout);
    });
    m_server.set_write_timeout(m_options.writeTimeoutSeconds, 0);
    // One request a connection: the page and a 404 close at once, so no idle keep-alive
    // connection holds a worker thread (or Stop) for the keep-alive time-out.
    m_server.set_keep_alive_max_count(1);
    // Streams hold a worker each; the extra workers keep the page answering when all stream.
    const std::size_t workers = m_options.maxClients + 4;
    m_server.new_task_queue = [this, workers]() -> httplib::TaskQueue* {
        // Called by the accept loop once it is running: from here on stop() reaches it.
        {
            std::lock_guard lock(m_mutex);
            m_running = true;
        }
        m_changed.notify_all();
        return new httplib::ThreadPool(workers);
    };

    m_server.Get("/", [](const httplib::Request&, Response& response) {
        const auto page = LiveViewPage();
        response.set_content(page.data(), page.size(), "text/html; charset=utf-8");
        response.set_header("Cache-Control", "no-store");
        // The page fetches nothing but its own stream.
        response.set_header("Content-Security-Policy",
                            "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                            "connect-src 'self'; img-src data:");
    });
    m_server.Get("/events", [this](const httplib::Request&, Response& response) { ServeEvents(response); });
    m_server.set_error_handler([](const httplib::Request&, Response& response) {
        if (response.body.empty()) {
            response.set_content(std::to_string(response.status) + "\n", "text/plain; charset=utf-8");
        }
    });

    const int bound = port == 0 ? m_server.bind_to_any_port(host) : (m_server.bind_to_port(host, port) ? port : -1);
    if (bound <= 0) return false;
    m_port = bound;
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_running; });
    return true;
}

void HttpFrontEnd::Impl::ServeEvents(Response& response) {
    auto client = std::make_shared<Client>();
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping || m_clients.size() >= m_options.maxClients) {
            ++m_rejected;
            response.status = 503;
            response.set_content("too many live views\n", "text/plain; charset=utf-8");
            return;
        }
        client->id = m_nextId++;
        std::vector<Event> kept;
        for (const auto name : kKeptClasses) {
            if (const auto found = m_latest.find(name); found != m_latest.end()) kept.push_back(found->second);
        }
        client->queue.assign(kept.begin(), kept.end());
        m_clients.emplace(client->id, client);
    }
    m_changed.notify_all();

    response.set_header("Cache-Control", "no-cache");
    // No length and no chunking: the stream ends when the connection closes.
    response.set_content_provider(
        "text/event-stream",
        [this, client](std::size_t offset, httplib::DataSink& sink) {
            if (offset == 0 && !sink.write(kStreamPreamble.data(), kStreamPreamble.size())) return false;
            const Event event = NextEvent(*client);
            if (!event) return false;
            if (!sink.write(event->data(), event->size())) return false;
            std::lock_guard lock(m_mutex);
            ++client->delivered;
            return true;
        },
        [this, id = client->id](bool) { Unregister(id); });
}

Event HttpFrontEnd::Impl::NextEvent(Client& client) {
    std::unique_lock lock(m_mutex);
    client.wake.wait(lock, [&] { return m_stopping || !client.queue.empty(); });
    if (m_stopping) return nullptr;
    Event event = std::move(client.queue.front());
    client.queue.pop_front();
    return event;
}

void HttpFrontEnd::Impl::Unregister(std::uint64_t id) {
    {
        std::lock_guard lock(m_mutex);
        m_clients.erase(id);
    }
    m_changed.notify_all();
}

void HttpFrontEnd::Impl::Publish(std::string_view line) {
    // Encoded once, shared by every queue.
    const auto event = std::make_shared<const std::string>(EncodeEvent(line));
    const std::string_view cls = ClassOf(line);
    std::lock_guard lock(m_mutex);
    ++m_published;
    if (std::find(std::begin(kKeptClasses), std::end(kKeptClasses), cls) != std::end(kKeptClasses)) {
        m_latest.insert_or_assign(std::string(cls), event);
    }
    for (auto& [id, client] : m_clients) {
        if (m_options.queueCapacity == 0) {
            ++client->dropped;
            ++m_dropped;
            continue;
        }
        if (client->queue.size() >= m_options.queueCapacity) {
            client->queue.pop_front();
            ++client->dropped;
            ++m_dropped;
        }
        client->queue.push_back(event);
        client->wake.notify_one();
    }
}

void HttpFrontEnd::Impl::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        for (auto& [id, client] : m_clients) client->wake.notify_all();
    }
    m_changed.notify_all();
    if (m_thread.joinable()) {
        m_server.stop();
        m_thread.join();
    }
}

FrontEndStats HttpFrontEnd::Impl::Stats() const {
    std::lock_guard lock(m_mutex);
    FrontEndStats stats;
    stats.published = m_published;
    stats.dropped = m_dropped;
    stats.rejected = m_rejected;
    for (const auto& [id, client] : m_clients) {
        stats.clients.push_back({id, client->queue.size(), client->delivered, client->dropped});
    }
    return stats;
}

void HttpFrontEnd::Impl::WaitForClientCount(std::size_t count) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_clients.size() == count; });
}

HttpFrontEnd::HttpFrontEnd(HttpFrontEndOptions options) : m_impl(std::make_unique<Impl>(options)) {}
HttpFrontEnd::~HttpFrontEnd() { Stop(); }
bool HttpFrontEnd::Listen(const std::string& host, int port) { return m_impl->Listen(host, port); }
int HttpFrontEnd::Port() const { return m_impl->Port(); }
void HttpFrontEnd::Publish(std::string_view jsonLine) { m_impl->Publish(jsonLine); }
void HttpFrontEnd::Stop() { m_impl->Stop(); }
FrontEndStats HttpFrontEnd::Stats() const { return m_impl->Stats(); }
void HttpFrontEnd::WaitForClientCount(std::size_t count) { m_impl->WaitForClientCount(count); }

}  // namespace tolvik::tool::http
