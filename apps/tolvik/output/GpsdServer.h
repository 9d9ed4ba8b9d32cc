// A server of gpsd's JSON protocol (gpsd_json(5)) over TCP, so that gpsd clients (gpspipe, cgps,
// the gps Python module, libgps) read a receiver Tolvik drives.
//
// Standalone Asio runs the sockets on a thread of the server's own; the receiver side publishes
// into a ReportHub and never waits for a client. Each connection is a hub subscriber with a
// bounded queue: a client that stops reading loses its oldest reports (counted), nothing else.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "ReportHub.h"

namespace tolvik::output {

// A JSON line as gpsd sends it: CR LF at the end (the gps Python module insists on it).
std::string WireLine(std::string_view line);

struct ServerInfo {
    std::string release;  // our version, in VERSION
    std::string device;   // the device (or replayed file) in DEVICES and the reports
    std::string driver;   // the receiver model
    int baud = 0;         // 0: not a serial line
};

// What the server answers ?POLL with: the latest TPV and SKY the stream carried.
class LatestReports {
public:
    void Set(const std::string& tpv, const std::string& sky);
    void Get(std::string& tpv, std::string& sky) const;

private:
    mutable std::mutex m_mutex;
    std::string m_tpv;
    std::string m_sky;
};

class GpsdServer {
public:
    static constexpr std::size_t kDefaultQueue = 1024;  // reports per client
    static constexpr std::size_t kMaxCommand = 4096;    // bytes of one unfinished command

    // Binds and listens at once (port 0 picks a free one); std::runtime_error when it cannot.
    GpsdServer(ReportHub& hub, const LatestReports& latest, ServerInfo info, const std::string& host,
               std::uint16_t port, std::size_t queue = kDefaultQueue);
    ~GpsdServer();
    GpsdServer(const GpsdServer&) = delete;
    GpsdServer& operator=(const GpsdServer&) = delete;

    std::uint16_t Port() const;
    // Accepts and serves clients on a thread of its own until Stop (or destruction).
    void Start();
    void Stop();

    // Reports dropped for slow clients, over all connections so far.
    std::uint64_t Dropped() const;
    std::uint64_t Connections() const;

    struct Impl;  // the sockets' side, shared with the connections

private:
    std::unique_ptr<Impl> m_impl;
    std::thread m_thread;
};

}  // namespace tolvik::output
