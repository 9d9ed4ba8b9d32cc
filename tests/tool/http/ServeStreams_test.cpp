// tolvik serve with --http: the browsers' stream at /events carries the same report objects as
// the gpsd-protocol port. One gpsd client and one browser stream watch the same replay to its
// end; every wait is a blocking poll on the two sockets and the tool's standard error.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "support/Incoming.h"
#include "support/TestSupport.h"
#include "tool/ToolProcess.h"

namespace tolvik::test {
namespace {

using nlohmann::json;

// `tolvik serve` with both protocols on free ports; its standard error stays readable, and it is
// stopped as Ctrl-C stops it.
class ServeProcess {
public:
    explicit ServeProcess(const std::vector<std::string>& args) {
        std::vector<std::string> words = {"serve", "--listen", "127.0.0.1:0", "--http", "127.0.0.1:0"};
        words.insert(words.end(), args.begin(), args.end());
        int err = -1;
        m_pid = SpawnTool(words, err);
        m_err.emplace(err);
        // The browsers' address comes first, then the gpsd port; the replay starts after it.
        m_httpPort = PortAfter("live view on http://127.0.0.1:");
        m_gpsdPort = PortAfter("serving gpsd protocol on 127.0.0.1:");
    }
    ~ServeProcess() { Stop(); }
    ServeProcess(const ServeProcess&) = delete;
    ServeProcess& operator=(const ServeProcess&) = delete;

    int HttpPort() const { return m_httpPort; }
    int GpsdPort() const { return m_gpsdPort; }
    Incoming& Err() { return *m_err; }
    // After Stop: 0 when Ctrl-C ended a clean run (a sanitizer report in the tool makes it fail).
    int ExitCode() const { return m_exitCode; }

    // Interrupts the tool and returns the rest of what it wrote to standard error.
    std::string Stop() {
        if (m_pid <= 0) return {};
        kill(m_pid, SIGINT);
        std::string rest;
        while (const auto line = m_err->Next("\n")) rest += *line + "\n";
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        m_pid = -1;
        return rest;
    }

private:
    int PortAfter(const std::string& prefix) {
        const std::string line = m_err->Next("\n").value_or("");
        const auto at = line.find(prefix);
        if (at == std::string::npos) throw std::runtime_error("serve did not start: " + line);
        return std::atoi(line.c_str() + at + prefix.size());
    }

    pid_t m_pid = -1;
    std::optional<Incoming> m_err;
    int m_httpPort = 0;
    int m_gpsdPort = 0;
    int m_exitCode = -1;
};

bool IsReport(const json& o) { return o["class"] == "TPV" || o["class"] == "SKY"; }

// The report objects of the Server-Sent Events that have arrived complete ("data: " fields; the
// stream's other fields, such as its retry time, carry none).
void TakeEvents(Incoming& stream, std::vector<json>& reports) {
    while (const auto event = stream.Take("\n\n")) {
        if (const auto data = EventData(*event)) {
            json o = json::parse(*data);
            if (IsReport(o)) reports.push_back(std::move(o));
        }
    }
}

// True once the final TPV has arrived and the final SKY after it.
bool HasTheEnd(const std::vector<json>& reports, const json& tpv, const json& sky) {
    for (std::size_t i = reports.size(); i-- > 0;) {
        if (reports[i] == tpv) {
            for (std::size_t j = i + 1; j < reports.size(); ++j) {
                if (reports[j] == sky) return true;
            }
            return false;
        }
    }
    return false;
}

std::size_t Positions(const std::vector<json>& reports) {
    std::size_t n = 0;
    for (const auto& o : reports) n += o["class"] == "TPV" && o.contains("lat") ? 1 : 0;
    return n;
}

// Both clients watch from the start of the replay to its end. The browser stream opens with the
// latest TPV and SKY there were (if any); after those, both sequences are the same objects to
// the last one. The end is known from the tool: it reports the end of the file, after which the
// gpsd client asks ?POLL, whose answer comes after everything queued for it and names the final
// TPV and SKY.
TEST(ServeHttp, TheBrowserStreamCarriesTheSameObjectsAsTheGpsdPort) {
    // About three seconds of replay: both clients are watching long before the sample's first fix.
    ServeProcess serve({"--replay", ProjectFile("data/sample.log"), "--rate", "1000"});
    Incoming gpsd(ConnectLoopback(serve.GpsdPort()));
    Incoming browser(ConnectLoopback(serve.HttpPort()));
    ASSERT_TRUE(gpsd.Send("?WATCH={\"enable\":true,\"json\":true};\n"));
    ASSERT_TRUE(browser.Send("GET /events HTTP/1.1\r\nHost: localhost\r\nAccept: text/event-stream\r\n\r\n"));

    std::vector<json> fromGpsd;
    std::vector<json> fromBrowser;
    std::optional<json> polled;
    bool pollSent = false;
    bool headRead = false;
    while (!polled || !HasTheEnd(fromBrowser, (*polled)["tpv"][0], (*polled)["sky"][0])) {
        pollfd fds[] = {{serve.Err().Fd(), POLLIN, 0}, {gpsd.Fd(), POLLIN, 0}, {browser.Fd(), POLLIN, 0}};
        ASSERT_GT(poll(fds, 3, -1), 0);
        Incoming* sources[] = {&serve.Err(), &gpsd, &browser};
        for (int i = 0; i < 3; ++i) {
            if (fds[i].revents != 0) {
                ASSERT_TRUE(sources[i]->ReadSome()) << "stream " << i << " ended early";
            }
        }
        while (const auto line = serve.Err().Take("\n")) {
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
        if (!headRead) {
            const auto head = browser.Take("\r\n\r\n");
            if (!head) continue;
            ASSERT_TRUE(head->starts_with("HTTP/1.1 200")) << *head;
            ASSERT_NE(head->find("Content-Type: text/event-stream"), std::string::npos) << *head;
            headRead = true;
        }
        TakeEvents(browser, fromBrowser);
    }

    // What the gpsd client received last is the final pair, and so is what the browser did.
    ASSERT_GE(fromGpsd.size(), 2u);
    EXPECT_EQ(fromGpsd[fromGpsd.size() - 2], (*polled)["tpv"][0]);
    EXPECT_EQ(fromGpsd.back(), (*polled)["sky"][0]);
    EXPECT_EQ(fromBrowser.back(), (*polled)["sky"][0]);

    // The common tail: all of the later client's objects but the browser's two catch-up ones.
    ASSERT_GE(fromBrowser.size(), 2u);
    const std::size_t common = std::min(fromGpsd.size(), fromBrowser.size() - 2);
    const std::vector<json> gpsdTail(fromGpsd.end() - static_cast<std::ptrdiff_t>(common), fromGpsd.end());
    const std::vector<json> browserTail(fromBrowser.end() - static_cast<std::ptrdiff_t>(common), fromBrowser.end());
    for (std::size_t i = 0; i < common; ++i) {
        ASSERT_EQ(browserTail[i], gpsdTail[i]) << "object " << i << " of the last " << common;
    }
    // The sample has 333 fixes, the first after 129 lines; the clients connect within moments of
    // the start, so the tail holds nearly all (at least 100 even on a machine that is very busy).
    EXPECT_GE(Positions(gpsdTail), 100u) << common << " objects in common";

    const std::string summary = serve.Stop();
    EXPECT_NE(summary.find(" 0 reports dropped"), std::string::npos) << summary;
    EXPECT_EQ(serve.ExitCode(), 0) << summary;
}

}  // namespace
}  // namespace tolvik::test
