// The live view in a browser: one embedded page at "/" and the report stream at "/events".
//
// The producer (the thread that turns epochs into report objects) calls Publish with every JSON
// line it sends to gpsd-protocol clients: TPV, SKY and our TOLVIK status object (StatusLine.h).
// Each connected browser has its own bounded queue; when a browser does not keep up, the oldest
// lines in its queue are dropped and counted, so a browser that stalls or goes away never holds
// up the producer or the other browsers. The stream is Server-Sent Events: one "data:" field a
// line, the line's bytes unchanged.
//
// The HTTP side is cpp-httplib (Debian libcpp-httplib-dev). We need a GET of one page and a
// long-lived one-way stream; Server-Sent Events give that over plain HTTP, and cpp-httplib
// serves them with a content provider on its worker threads. Boost.Beast would have us write the
// accept loop, the parser driving and the timers ourselves on top of Asio, and websocketpp only
// speaks WebSocket (we would still need a page server beside it) and is barely maintained.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tolvik::tool::http {

struct HttpFrontEndOptions {
    // Lines waiting for one browser; at 1 Hz with TPV, SKY and TOLVIK that is five minutes.
    std::size_t queueCapacity = 1024;
    // Browsers streaming at once; a further /events request gets 503. Each one holds a thread.
    std::size_t maxClients = 16;
    // Kernel send buffer of each connection, so a stalled browser pins little kernel memory.
    int sendBufferBytes = 64 * 1024;
    // A write that cannot go on for this long ends the connection (the browser went away).
    int writeTimeoutSeconds = 5;
};

struct ClientStats {
    std::uint64_t id = 0;
    std::size_t queued = 0;       // lines waiting now (never more than queueCapacity)
    std::uint64_t delivered = 0;  // lines written to the connection
    std::uint64_t dropped = 0;    // oldest lines dropped because the queue was full
};

struct FrontEndStats {
    std::uint64_t published = 0;       // lines given to Publish
    std::uint64_t dropped = 0;         // dropped over all browsers, also those gone since
    std::uint64_t rejected = 0;        // /events requests refused because maxClients were streaming
    std::vector<ClientStats> clients;  // browsers streaming now, in the order they came
};

class HttpFrontEnd {
public:
    explicit HttpFrontEnd(HttpFrontEndOptions options = {});
    ~HttpFrontEnd();  // stops
    HttpFrontEnd(const HttpFrontEnd&) = delete;
    HttpFrontEnd& operator=(const HttpFrontEnd&) = delete;

    // Binds HOST:PORT (port 0 picks a free port) and serves on threads of its own until Stop.
    // False when the address cannot be bound or the front end already listens.
    bool Listen(const std::string& host, int port);
    // The bound port; 0 before Listen.
    int Port() const;

    // Queues one report line (a trailing line end is removed) for every streaming browser. Never
    // blocks on a browser. The latest TPV, SKY and TOLVIK lines are also kept, and a browser that
    // connects later receives those first, so its page is filled at once.
    void Publish(std::string_view jsonLine);

    // Ends every stream, stops listening and joins the server threads. Safe to call twice.
    void Stop();

    FrontEndStats Stats() const;
    // Blocks until exactly `count` browsers are streaming (for tools and tests that must know a
    // browser is there before they publish).
    void WaitForClientCount(std::size_t count);

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

// The page served at "/": HTML with its style and script inline (generated at build time from
// the files in apps/tolvik/http/page).
std::string_view LiveViewPage();

}  // namespace tolvik::tool::http
