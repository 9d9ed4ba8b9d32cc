// tolvik serve with --http: the browsers' stream at /events carries the same report objects as
// the gpsd-protocol port. One gpsd client and one browser stream watch the same replay to its
// end; every wait is a blocking poll on the two sockets and the tool's standard error.
#include <poll.h>

#include <gtest/gtest.h>

#include "tool/ToolProcess.h"

namespace tolvik::test {
namespace {

using nlohmann::json;

bool IsReport(const json& o) { return o["class"] == "TPV" || o["class"] == "SKY"; }

// True once the final TPV has arrived and the final SKY after it.
bool HasTheEnd(const std::vector<json>& reports, const json& tpv, const json& sky) {
    const auto lastTpv = std::find(reports.rbegin(), reports.rend(), tpv);
    return lastTpv != reports.rend() && std::find(reports.rbegin(), lastTpv, sky) != lastTpv;
}

// The browser stream opens with the latest TPV and SKY there were (if any); after those, both
// sequences are the same objects to the last one. When the tool reports the end of the file, the
// gpsd client asks ?POLL, whose answer comes after all queued for it and names the final pair.
TEST(ServeHttp, TheBrowserStreamCarriesTheSameObjectsAsTheGpsdPort) {
    // About three seconds of replay: both clients are watching long before the sample's first fix.
    Server serve({"--replay", ProjectFile("data/sample.log"), "--rate", "1000"}, true);
    Incoming gpsd(ConnectLoopback(serve.Port()));
    Incoming browser(ConnectLoopback(serve.HttpPort()));
    ASSERT_TRUE(gpsd.Send("?WATCH={\"enable\":true,\"json\":true};\n"));
    ASSERT_TRUE(browser.Send("GET /events HTTP/1.1\r\nHost: localhost\r\nAccept: text/event-stream\r\n\r\n"));
    const std::string head = browser.Next("\r\n\r\n").value_or("");
    ASSERT_TRUE(head.starts_with("HTTP/1.1 200")) << head;
    ASSERT_NE(head.find("Content-Type: text/event-stream"), std::string::npos) << head;

    std::vector<json> fromGpsd;
    std::vector<json> fromBrowser;
    std::optional<json> polled;
    bool pollSent = false;
    while (!polled || !HasTheEnd(fromBrowser, (*polled)["tpv"][0], (*polled)["sky"][0])) {
        pollfd fds[] = {{serve.Output().Fd(), POLLIN, 0}, {gpsd.Fd(), POLLIN, 0}, {browser.Fd(), POLLIN, 0}};
        ASSERT_GT(poll(fds, 3, -1), 0);
        Incoming* sources[] = {&serve.Output(), &gpsd, &browser};
        for (int i = 0; i < 3; ++i) {
            if (fds[i].revents != 0) {
                ASSERT_TRUE(sources[i]->ReadSome()) << "stream " << i << " ended early";
            }
        }
        while (const auto line = serve.Output().Take("\n")) {
            if (line->starts_with("tolvik: end of ") && !pollSent) {
                ASSERT_TRUE(gpsd.Send("?POLL;\n"));
                pollSent = true;
            }
        }
        while (const auto line = gpsd.Take("\n")) {
            json o = json::parse(*line);
            if (IsReport(o)) {
                fromGpsd.push_back(std::move(o));
            } else if (o["class"] == "POLL") {
                ASSERT_EQ(o["tpv"].size(), 1u) << o;
                ASSERT_EQ(o["sky"].size(), 1u) << o;
                polled = std::move(o);
            }
        }
        // Events without data (the stream's retry time) carry no object.
        while (const auto event = browser.Take("\n\n")) {
            if (const auto data = EventData(*event); data && IsReport(json::parse(*data))) {
                fromBrowser.push_back(json::parse(*data));
            }
        }
    }

    // What the gpsd client received last is the final pair, and so is what the browser did.
    ASSERT_GE(fromGpsd.size(), 2u);
    EXPECT_EQ(fromGpsd[fromGpsd.size() - 2], (*polled)["tpv"][0]);
    EXPECT_EQ(fromGpsd.back(), (*polled)["sky"][0]);
    EXPECT_EQ(fromBrowser.back(), (*polled)["sky"][0]);

    // The common tail: all of the later client's objects but the browser's two catch-up ones.
    ASSERT_GE(fromBrowser.size(), 2u);
    const auto common = static_cast<std::ptrdiff_t>(std::min(fromGpsd.size(), fromBrowser.size() - 2));
    const std::vector<json> gpsdTail(fromGpsd.end() - common, fromGpsd.end());
    EXPECT_EQ(std::vector<json>(fromBrowser.end() - common, fromBrowser.end()), gpsdTail);
    // The sample has 333 fixes, the first after 129 lines; the clients connect within moments of
    // the start, so the tail holds nearly all (at least 100 even on a machine that is very busy).
    const auto positions =
        std::count_if(gpsdTail.begin(), gpsdTail.end(), [](const json& o) { return o.contains("lat"); });
    EXPECT_GE(positions, 100) << common << " objects in common";

    const std::string summary = serve.Stop();
    EXPECT_NE(summary.find(" 0 reports dropped"), std::string::npos) << summary;
    EXPECT_EQ(serve.ExitCode(), 0) << summary;
}

}  // namespace
}  // namespace tolvik::test
