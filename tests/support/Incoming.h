// Reading what a peer sends (a loopback TCP connection, or the read end of a child's pipe) as
// records: lines, HTTP heads, Server-Sent Events. Reads block; a test that waits on several
// descriptors polls Fd() and calls ReadSome() and Take() itself.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace tolvik::test {

// A connection to a port on 127.0.0.1; -1 when nobody listens there. A receive buffer size > 0
// is set before connecting, to keep what the kernel holds for a client that never reads small.
inline int ConnectLoopback(int port, int receiveBuffer = 0) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (receiveBuffer > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Owns one descriptor and the bytes read from it that no record has taken yet.
class Incoming {
public:
    explicit Incoming(int fd) : m_fd(fd) {}
    ~Incoming() { Close(); }
    Incoming(const Incoming&) = delete;
    Incoming& operator=(const Incoming&) = delete;

    bool Connected() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    void Close() {
        if (m_fd >= 0) close(m_fd);
        m_fd = -1;
    }

    // False when the peer stopped taking bytes (a server may close a garbage connection early).
    bool Send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }
    void EndWrites() { shutdown(m_fd, SHUT_WR); }

    // One read (blocks only when nothing is there); false at the end of the stream.
    bool ReadSome() {
        char chunk[65536];
        const ssize_t n = read(m_fd, chunk, sizeof chunk);
        if (n <= 0) return false;
        m_buffer.append(chunk, static_cast<std::size_t>(n));
        return true;
    }
    // The next complete record without its separator, if it has arrived.
    std::optional<std::string> Take(std::string_view separator) {
        const auto at = m_buffer.find(separator);
        if (at == std::string::npos) return std::nullopt;
        std::string record = m_buffer.substr(0, at);
        m_buffer.erase(0, at + separator.size());
        return record;
    }
    // The next record, reading until it is complete; nullopt when the stream ends first.
    std::optional<std::string> Next(std::string_view separator) {
        for (;;) {
            if (auto record = Take(separator)) return record;
            if (!ReadSome()) return std::nullopt;
        }
    }
    // Everything until the peer closes.
    std::string ReadToEnd() {
        while (ReadSome()) {}
        return std::exchange(m_buffer, {});
    }

private:
    int m_fd;
    std::string m_buffer;
};

// The data of one Server-Sent Event (its "data: " fields, joined by newlines); nullopt for an
// event without data, such as a comment or the stream's retry time.
inline std::optional<std::string> EventData(std::string_view event) {
    std::optional<std::string> data;
    while (!event.empty()) {
        const auto end = std::min(event.find('\n'), event.size());
        const std::string_view field = event.substr(0, end);
        if (field.starts_with("data: ")) {
            if (data) {
                *data += '\n';
            } else {
                data.emplace();
            }
            *data += field.substr(6);
        }
        event.remove_prefix(std::min(end + 1, event.size()));
    }
    return data;
}

// The data of the next event on a stream that has data; nullopt when the stream ended.
inline std::optional<std::string> NextEventData(Incoming& stream) {
    while (const auto event = stream.Next("\n\n")) {
        if (auto data = EventData(*event)) return data;
    }
    return std::nullopt;
}

}  // namespace tolvik::test
