#include "GpsdServer.h"

#include <rapidjson/document.h>
#include <asio.hpp>

#include <atomic>
#include <set>
#include <stdexcept>
#include <utility>

#include "FixDate.h"
#include "JsonLine.h"
#include "tolvik/platform/Clock.h"

namespace tolvik::output {

namespace {

using asio::ip::tcp;

// The protocol level of the objects we send: what gpsd 3.22 speaks.
constexpr int kProtoMajor = 3;
constexpr int kProtoMinor = 14;
constexpr std::size_t kReadChunk = 1024;

std::string NowIso() {
    const std::int64_t now = platform::GetClock().Now();
    char text[32];
    const int n = IsoTime(CivilFromDays(now / 86400), static_cast<double>(now % 86400), text);
    return {text, static_cast<std::size_t>(n)};
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

}  // namespace

std::string WireLine(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    std::string wire;
    wire.reserve(line.size() + 2);
    wire.append(line);
    wire.append("\r\n");
    return wire;
}

void LatestReports::Set(const std::string& tpv, const std::string& sky) {
    std::lock_guard lock(m_mutex);
    m_tpv = tpv;
    m_sky = sky;
}

void LatestReports::Get(std::string& tpv, std::string& sky) const {
    std::lock_guard lock(m_mutex);
    tpv = m_tpv;
    sky = m_sky;
}

class Session;

struct GpsdServer::Impl {
    Impl(ReportHub& h, const LatestReports& l, ServerInfo i, std::size_t q)
        : hub(h), latest(l), info(std::move(i)), queue(q) {}

    void Accept();

    asio::io_context io;
    tcp::acceptor acceptor{io};
    ReportHub& hub;
    const LatestReports& latest;
    const ServerInfo info;
    const std::size_t queue;
    std::set<std::shared_ptr<Session>> sessions;  // touched on the server's thread only
    std::atomic<std::uint64_t> dropped{0};
    std::atomic<std::uint64_t> connections{0};
};

// One client connection: reads commands, answers them, and writes what its queue collects.
class Session : public std::enable_shared_from_this<Session> {
public:
    Session(GpsdServer::Impl& server, tcp::socket socket) : m_server(server), m_socket(std::move(socket)) {}

    void Start() {
        std::weak_ptr<Session> weak = weak_from_this();
        asio::io_context& io = m_server.io;
        m_subscriber = m_server.hub.Subscribe(m_server.queue, [weak, &io] {
            asio::post(io, [weak] {
                if (auto self = weak.lock()) self->Flush();
            });
        });
        Version();
        Read();
    }

    void Close() {
        if (m_closed) return;
        m_closed = true;
        m_server.hub.Unsubscribe(m_subscriber);
        m_server.dropped += m_subscriber->Dropped();
        asio::error_code ignored;
        m_socket.shutdown(tcp::socket::shutdown_both, ignored);
        m_socket.close(ignored);
        m_server.sessions.erase(shared_from_this());
    }

private:
    void Read() {
        m_socket.async_read_some(asio::buffer(m_in), [self = shared_from_this()](asio::error_code ec, std::size_t n) {
            if (ec || self->m_closed) {
                self->Close();
                return;
            }
            self->Received(std::string_view(self->m_in.data(), n));
            self->Read();
        });
    }

    // Commands end with ';' or a line end; an unfinished one waits for more bytes, up to a limit.
    void Received(std::string_view bytes) {
        // The rest of a command that was too long is dropped up to its end, however it arrives.
        if (m_skipping) {
            const auto end = bytes.find_first_of(";\n");
            if (end == std::string_view::npos) return;
            bytes.remove_prefix(end + 1);
            m_skipping = false;
        }
        m_pending.append(bytes);
        std::size_t start = 0;
        while (true) {
            const std::size_t end = m_pending.find_first_of(";\n", start);
            if (end == std::string::npos) break;
            Command(Trim(std::string_view(m_pending).substr(start, end - start)));
            start = end + 1;
        }
        m_pending.erase(0, start);
        if (m_pending.size() > GpsdServer::kMaxCommand) {
            m_pending.clear();
            m_skipping = true;
            Error("request too long");
        }
    }

    void Command(std::string_view c) {
        if (c.empty()) return;
        if (c == "?VERSION") {
            Version();
        } else if (c == "?DEVICES") {
            Devices();
        } else if (c.substr(0, 6) == "?WATCH" && (c.size() == 6 || c[6] == '=')) {
            Watch(c.size() > 7 ? c.substr(7) : std::string_view{});
        } else if (c == "?POLL") {
            Poll();
        } else {
            Error("Unrecognized request '" + std::string(c.substr(0, 80)) + "'");
        }
    }

    void Version() {
        m_json.Begin();
        m_json.Field("class", "VERSION");
        m_json.Field("release", m_server.info.release);
        m_json.Field("rev", m_server.info.release);
        m_json.Field("proto_major", kProtoMajor);
        m_json.Field("proto_minor", kProtoMinor);
        Send(m_json.End());
    }

    void DeviceObject() {
        const ServerInfo& info = m_server.info;
        m_json.StartObject();
        m_json.Field("class", "DEVICE");
        m_json.Field("path", info.device);
        m_json.Field("driver", info.driver);
        m_json.Field("activated", NowIso());
        m_json.Field("flags", 1);
        if (info.baud > 0) {
            m_json.Field("bps", info.baud);
            m_json.Field("parity", "N");
            m_json.Field("stopbits", 1);
        }
        m_json.EndObject();
    }

    void Devices() {
        m_json.Begin();
        m_json.Field("class", "DEVICES");
        m_json.Key("devices").StartArray();
        DeviceObject();
        m_json.EndArray();
        Send(m_json.End());
    }

    void Watch(std::string_view argument) {
        if (!argument.empty()) {
            rapidjson::Document d;
            d.Parse(argument.data(), argument.size());
            if (d.HasParseError() || !d.IsObject()) {
                Error("Invalid WATCH: " + std::string(argument.substr(0, 80)));
                return;
            }
            const auto flag = [&d](const char* name, bool& value) {
                // Const iterators on both sides: RapidJSON's operator== is ambiguous in C++20 otherwise.
                const auto it = std::as_const(d).FindMember(name);
                if (it == std::as_const(d).MemberEnd()) return false;
                if (it->value.IsBool()) value = it->value.GetBool();
                if (it->value.IsInt()) value = it->value.GetInt() != 0;
                return true;
            };
            bool raw = false;
            const bool saidJson = flag("json", m_watchJson);
            const bool saidNmea = flag("nmea", m_watchNmea);
            if (flag("raw", raw) && raw) m_watchNmea = true;
            flag("enable", m_enabled);
            // Enabling without choosing means the JSON reports, as gpsd does.
            if (m_enabled && !saidJson && !saidNmea && !raw && !m_watchNmea) m_watchJson = true;
        } else {
            m_enabled = true;
            if (!m_watchNmea) m_watchJson = true;
        }
        if (m_enabled) Devices();
        m_json.Begin();
        m_json.Field("class", "WATCH");
        m_json.Field("enable", m_enabled);
        m_json.Field("json", m_watchJson);
        m_json.Field("nmea", m_watchNmea);
        m_json.Field("raw", 0);
        m_json.Field("scaled", false);
        m_json.Field("timing", false);
        m_json.Field("split24", false);
        m_json.Field("pps", false);
        Send(m_json.End());
        // Reports start only after the DEVICES and WATCH replies are queued: a client reads them
        // first, as gpsd's clients expect.
        m_subscriber->SetChannels(m_enabled && m_watchJson, m_enabled && m_watchNmea);
    }

    void Poll() {
        std::string tpv;
        std::string sky;
        m_server.latest.Get(tpv, sky);
        m_json.Begin();
        m_json.Field("class", "POLL");
        m_json.Field("time", NowIso());
        m_json.Field("active", 1);
        // The stored objects are complete JSON already: embedded as they are.
        m_json.Key("tpv").StartArray();
        if (!tpv.empty()) m_json.Raw(tpv);
        m_json.EndArray();
        m_json.Key("sky").StartArray();
        if (!sky.empty()) m_json.Raw(sky);
        m_json.EndArray();
        Send(m_json.End());
    }

    void Error(const std::string& message) {
        m_json.Begin();
        m_json.Field("class", "ERROR");
        m_json.Field("message", message);
        Send(m_json.End());
    }

    // Replies share the client's queue with the reports, so they arrive in order.
    void Send(std::string_view line) { m_subscriber->Push(std::make_shared<const std::string>(WireLine(line))); }

    void Flush() {
        if (m_writing || m_closed) return;
        m_out.clear();
        m_subscriber->TakeAll(m_out);
        if (m_out.empty()) return;
        m_buffers.clear();
        for (const auto& r : m_out) m_buffers.emplace_back(r->data(), r->size());
        m_writing = true;
        asio::async_write(m_socket, m_buffers, [self = shared_from_this()](asio::error_code ec, std::size_t) {
            self->m_writing = false;
            if (ec) {
                self->Close();
                return;
            }
            self->Flush();
        });
    }

    GpsdServer::Impl& m_server;
    tcp::socket m_socket;
    std::shared_ptr<Subscriber> m_subscriber;
    std::array<char, kReadChunk> m_in{};
    std::string m_pending;
    JsonLine m_json;
    std::vector<Report> m_out;  // being written; kept alive until the write ends
    std::vector<asio::const_buffer> m_buffers;
    bool m_writing = false;
    bool m_closed = false;
    bool m_skipping = false;
    bool m_enabled = false;
    bool m_watchJson = false;
    bool m_watchNmea = false;
};

void GpsdServer::Impl::Accept() {
    acceptor.async_accept([this](asio::error_code ec, tcp::socket socket) {
        if (ec) {
            if (ec == asio::error::operation_aborted) return;
        } else {
            ++connections;
            auto session = std::make_shared<Session>(*this, std::move(socket));
            sessions.insert(session);
            session->Start();
        }
        Accept();
    });
}

GpsdServer::GpsdServer(ReportHub& hub, const LatestReports& latest, ServerInfo info, const std::string& host,
                       std::uint16_t port, std::size_t queue)
    : m_impl(std::make_unique<Impl>(hub, latest, std::move(info), queue)) {
    asio::error_code ec;
    const auto address = asio::ip::make_address(host, ec);
    if (ec) throw std::runtime_error("cannot listen on '" + host + "': not an IP address");
    const tcp::endpoint endpoint(address, port);
    auto& a = m_impl->acceptor;
    a.open(endpoint.protocol(), ec);
    if (!ec) a.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec) a.bind(endpoint, ec);
    if (!ec) a.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) throw std::runtime_error("cannot listen on " + host + ":" + std::to_string(port) + ": " + ec.message());
}

GpsdServer::~GpsdServer() { Stop(); }

std::uint16_t GpsdServer::Port() const { return m_impl->acceptor.local_endpoint().port(); }

void GpsdServer::Start() {
    m_impl->Accept();
    m_thread = std::thread([this] { m_impl->io.run(); });
}

void GpsdServer::Stop() {
    if (!m_thread.joinable()) return;
    m_impl->io.stop();
    m_thread.join();
    // The server's thread has ended: its sessions are ours to close now, which takes them off
    // the report stream before the io_context their wake-ups post to goes away.
    while (!m_impl->sessions.empty()) (*m_impl->sessions.begin())->Close();
}

std::uint64_t GpsdServer::Dropped() const { return m_impl->dropped.load(); }
std::uint64_t GpsdServer::Connections() const { return m_impl->connections.load(); }

}  // namespace tolvik::output
