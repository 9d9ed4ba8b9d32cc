// The live view's HTTP side, driven over raw sockets: what a browser (or a broken client) sends
// and receives byte for byte. Every wait is a blocking read or a wait on the front end's own
// state; nothing sleeps.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "HttpFrontEnd.h"
#include "LiveViewScript.h"
#include "StatusLine.h"
#include "support/Incoming.h"

namespace tolvik::test {
namespace {

using tool::http::FrontEndStats;
using tool::http::HttpFrontEnd;
using tool::http::HttpFrontEndOptions;

struct Reply {
    int status = 0;  // 0: closed without a response
    std::string head;
    std::string body;
};

Reply Parse(const std::string& raw) {
    Reply reply;
    const auto headEnd = raw.find("\r\n\r\n");
    if (!raw.starts_with("HTTP/1.1 ") || headEnd == std::string::npos) return reply;
    reply.status = std::stoi(raw.substr(9, 3));
    reply.head = raw.substr(0, headEnd);
    reply.body = raw.substr(headEnd + 4);
    return reply;
}

Reply Request(int port, std::string_view request) {
    Incoming client(ConnectLoopback(port));
    client.Send(request);
    return Parse(client.ReadToEnd());
}

Reply Get(int port, const std::string& path) {
    return Request(port, "GET " + path + " HTTP/1.1\r\nHost: localhost\r\n\r\n");
}

// Opens /events and reads the response head, after which the front end counts the browser.
std::unique_ptr<Incoming> OpenStream(int port) {
    auto client = std::make_unique<Incoming>(ConnectLoopback(port));
    client->Send("GET /events HTTP/1.1\r\nHost: localhost\r\nAccept: text/event-stream\r\n\r\n");
    const std::string head = client->Next("\r\n\r\n").value_or("");
    EXPECT_TRUE(head.starts_with("HTTP/1.1 200")) << head;
    EXPECT_NE(head.find("Content-Type: text/event-stream"), std::string::npos) << head;
    return client;
}

struct Listening : HttpFrontEnd {
    explicit Listening(const HttpFrontEndOptions& options = {}) : HttpFrontEnd(options) {
        EXPECT_TRUE(Listen("127.0.0.1", 0));
    }
};

TEST(HttpFrontEnd, ServesThePageAtRootAndNotFoundForEverythingElse) {
    Listening frontEnd;
    const Reply page = Get(frontEnd.Port(), "/");
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.head.find("Content-Type: text/html; charset=utf-8"), std::string::npos) << page.head;
    EXPECT_NE(page.head.find("Content-Security-Policy: default-src 'none'"), std::string::npos) << page.head;
    EXPECT_EQ(page.body, tool::http::LiveViewPage());
    // The page reaches for nothing outside the tool.
    for (const char* outside : {"http://", "https://", "src=\"", "href=\""}) {
        const auto at = page.body.find(outside);
        // The SVG namespace is a name, not a fetch.
        const bool isNamespace =
            at != std::string::npos && page.body.compare(at, 26, "http://www.w3.org/2000/svg") == 0;
        EXPECT_TRUE(at == std::string::npos || isNamespace) << outside;
    }

    const struct {
        const char* legend;
        std::string request;
    } kMissing[] = {
        {"unknown path", "GET /missing HTTP/1.1\r\nHost: x\r\n\r\n"},
        {"page under another name", "GET /index.html HTTP/1.1\r\nHost: x\r\n\r\n"},
        {"below the stream", "GET /events/more HTTP/1.1\r\nHost: x\r\n\r\n"},
        {"escaping the root", "GET /../../etc/passwd HTTP/1.1\r\nHost: x\r\n\r\n"},
        {"another method", "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\n\r\n{}"},
    };
    for (const auto& row : kMissing) {
        const Reply reply = Request(frontEnd.Port(), row.request);
        EXPECT_EQ(reply.status, 404) << row.legend;
        EXPECT_EQ(reply.body.find("<html"), std::string::npos) << row.legend;
    }
}

TEST(HttpFrontEnd, MalformedRequestsHarmNeitherTheServerNorAStreamingBrowser) {
    Listening frontEnd;
    const int port = frontEnd.Port();
    auto browser = OpenStream(port);
    frontEnd.WaitForClientCount(1);
    const struct {
        const char* legend;
        std::string bytes;
        bool endWrites;  // the client stops sending (mid-line, or after the request)
    } kMalformed[] = {
        {"not HTTP", "HELLO THERE\r\n\r\n", false},
        {"request line without version", "GET /\r\n\r\n", false},
        {"unknown version", "GET / HTTP/7.3\r\n\r\n", false},
        {"binary bytes", std::string("\x00\xff\x13\x37\r\n\r\n", 8), false},
        {"header line too long", "GET / HTTP/1.1\r\nX-Long: " + std::string(20000, 'a') + "\r\n\r\n", false},
        {"cut off in the request line", "GET /ev", true},
        {"cut off in a header", "GET /events HTTP/1.1\r\nHost: loc", true},
    };
    int sequence = 0;
    for (const auto& row : kMalformed) {
        Incoming client(ConnectLoopback(port));
        ASSERT_TRUE(client.Connected()) << row.legend;
        client.Send(row.bytes);
        if (row.endWrites) client.EndWrites();
        const Reply reply = Parse(client.ReadToEnd());
        // Refused or closed, never served.
        EXPECT_TRUE(reply.status == 0 || reply.status == 400 || reply.status == 404)
            << row.legend << ": " << reply.status;

        const std::string line = R"({"class":"TPV","mode":1,"seq":)" + std::to_string(++sequence) + "}";
        frontEnd.Publish(line);
        EXPECT_EQ(NextEventData(*browser), line) << row.legend;
        EXPECT_EQ(Get(port, "/").status, 200) << row.legend;
    }
    const FrontEndStats stats = frontEnd.Stats();
    ASSERT_EQ(stats.clients.size(), 1u);  // no malformed request became a stream
    EXPECT_EQ(stats.dropped, 0u);
}

// Up to the limit of streams, every browser receives every line as published; one more is refused
// while the page is still served, and a closed stream's place is free again.
TEST(HttpFrontEnd, BrowsersUpToTheLimitReceiveEveryLineAsPublished) {
    Listening frontEnd({.maxClients = 2});
    auto first = OpenStream(frontEnd.Port());
    auto second = OpenStream(frontEnd.Port());
    frontEnd.WaitForClientCount(2);

    // The gpsd-protocol writer ends its lines with CR LF; the stream carries the line without.
    const auto script = LiveViewScript(300);
    ASSERT_LT(script.size(), HttpFrontEndOptions{}.queueCapacity);  // so nothing may be dropped
    for (std::size_t i = 0; i < script.size(); ++i) {
        frontEnd.Publish(i % 2 ? script[i] + "\r\n" : script[i]);
    }
    for (Incoming* client : {first.get(), second.get()}) {
        for (const auto& expected : script) {
            const auto data = NextEventData(*client);
            ASSERT_TRUE(data.has_value());
            ASSERT_EQ(*data, expected);
        }
    }
    EXPECT_EQ(frontEnd.Stats().published, script.size());
    EXPECT_EQ(frontEnd.Stats().dropped, 0u);

    EXPECT_EQ(Get(frontEnd.Port(), "/events").status, 503);
    EXPECT_EQ(Get(frontEnd.Port(), "/").status, 200);
    EXPECT_EQ(frontEnd.Stats().rejected, 1u);
    second.reset();
    frontEnd.Publish(R"({"class":"TPV","mode":1})");  // the closed stream notices on its next write
    EXPECT_EQ(NextEventData(*first), R"({"class":"TPV","mode":1})");
    frontEnd.WaitForClientCount(1);
    OpenStream(frontEnd.Port());
}

TEST(HttpFrontEnd, ABrowserThatNeverReadsCostsOnlyItsOwnBoundedQueue) {
    // The stalled connection must stay for the whole test: no write time-out.
    Listening frontEnd({.queueCapacity = 32, .sendBufferBytes = 16 * 1024, .writeTimeoutSeconds = 3600});

    Incoming stalled(ConnectLoopback(frontEnd.Port(), 4096));
    stalled.Send("GET /events HTTP/1.1\r\nHost: localhost\r\n\r\n");  // and never reads a byte
    frontEnd.WaitForClientCount(1);
    const std::uint64_t stalledId = frontEnd.Stats().clients.at(0).id;
    auto reader = OpenStream(frontEnd.Port());
    frontEnd.WaitForClientCount(2);

    // About 2 MB, far more than the kernel buffers of the stalled connection can hold. The
    // reading browser takes each line before the next is published, so it keeps up exactly.
    constexpr int kLines = 2000;
    const std::string sky = SkyLine(100, 24);
    for (int i = 0; i < kLines; ++i) {
        const std::string line = sky.substr(0, sky.size() - 1) + ",\"seq\":" + std::to_string(i) + "}";
        frontEnd.Publish(line);
        const auto data = NextEventData(*reader);
        ASSERT_TRUE(data.has_value()) << i;
        ASSERT_EQ(*data, line);
    }

    FrontEndStats stats = frontEnd.Stats();
    ASSERT_EQ(stats.clients.size(), 2u);
    for (const auto& client : stats.clients) {
        // The stalled one's queue is full, never more; the reader lost nothing.
        EXPECT_TRUE(client.id != stalledId || client.queued == 32u) << client.queued;
        EXPECT_EQ(client.dropped, client.id == stalledId ? stats.dropped : 0u);
    }
    EXPECT_GT(stats.dropped, static_cast<std::uint64_t>(kLines / 2));

    // The stalled browser goes away: its connection ends and the other one streams on.
    stalled.Close();
    frontEnd.Publish(R"({"class":"TPV","mode":3})");
    EXPECT_EQ(NextEventData(*reader), R"({"class":"TPV","mode":3})");
    frontEnd.WaitForClientCount(1);
    stats = frontEnd.Stats();
    EXPECT_NE(stats.clients.at(0).id, stalledId);
    EXPECT_GT(stats.dropped, static_cast<std::uint64_t>(kLines / 2));  // counted after it left
}

// A browser that connects late, even to reports published before the front end listened, gets
// the latest status, SKY and TPV first (not older ones, nor other classes); Stop ends its stream.
TEST(HttpFrontEnd, ListenLateBrowsersAndStop) {
    HttpFrontEnd frontEnd;
    const std::string kLines[] = {
        R"({"class":"TOLVIK","device":"/dev/ttyS0","msgRate":1.0,"checksumErrors":0,"overflows":0})",
        R"({"class":"SKY","satellites":[{"PRN":5,"used":true}]})",
        R"({"class":"TPV","mode":3,"lat":1.5,"lon":2.5})",
        R"({"class":"SKY","satellites":[{"PRN":7,"used":false}]})",
        R"({"class":"TPV","mode":2,"lat":1.25,"lon":2.75})",
        R"({"class":"DEVICE","path":"/dev/ttyS0"})",
    };
    for (const auto& line : kLines) frontEnd.Publish(line);
    ASSERT_TRUE(frontEnd.Listen("127.0.0.1", 0));
    EXPECT_FALSE(frontEnd.Listen("127.0.0.1", 0)) << "listens once";

    HttpFrontEnd sameAddress;
    EXPECT_FALSE(sameAddress.Listen("127.0.0.1", frontEnd.Port()));
    EXPECT_EQ(sameAddress.Port(), 0);
    HttpFrontEnd badHost;
    EXPECT_FALSE(badHost.Listen("192.0.2.1", 0));

    auto late = OpenStream(frontEnd.Port());
    for (const int latest : {0, 3, 4}) EXPECT_EQ(NextEventData(*late), kLines[latest]);
    frontEnd.Publish(kLines[2]);
    EXPECT_EQ(NextEventData(*late), kLines[2]);
    frontEnd.Stop();
    EXPECT_EQ(NextEventData(*late), std::nullopt) << "the stream ends with the front end";
    frontEnd.Stop();
    EXPECT_FALSE(Incoming(ConnectLoopback(frontEnd.Port())).Connected());

    // Stopping right after listening must not miss the server's start.
    for (int i = 0; i < 10; ++i) {
        HttpFrontEnd quick;
        ASSERT_TRUE(quick.Listen("127.0.0.1", 0));
        quick.Stop();
    }
}

// Absent values are left out; a DGPS mode is written by name.
TEST(StatusLine, WritesTheKnownFieldsOnly) {
    using tool::http::StatusLine;
    EXPECT_EQ(StatusLine({"data/sample.log", {}, 0, 2.5, 0, 0, {}, {}, {}}),
              R"({"class":"TOLVIK","device":"data/sample.log","msgRate":2.5,"checksumErrors":0,"overflows":0})");
    EXPECT_EQ(StatusLine({"/dev/ttyUSB0", "Ashtech", 4800, 6.0, 3, 1, 10, 1,
                          tool::http::BeaconStatus{313.5, 200, true, std::nullopt, 18}}),
              R"({"class":"TOLVIK","device":"/dev/ttyUSB0","model":"Ashtech","bps":4800,"msgRate":6.0,)"
              R"("checksumErrors":3,"overflows":1,"elevMask":10,"dgpsMode":"beacon",)"
              R"("beacon":{"frequency":313.5,"bitRate":200,"autoTune":true,"snr":18}})");
}

}  // namespace
}  // namespace tolvik::test
