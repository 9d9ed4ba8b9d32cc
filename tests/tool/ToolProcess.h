// Running the tool and the gpsd peers (gpsdecode, gpspipe, gpsbabel, the gps Python module) as
// a user runs them, for the output-format and server tests.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/TestSupport.h"

namespace tolvik::test {

struct Run {
    int exitCode;
    std::string out;
    std::string err;
};

// A shell-quoted word.
inline std::string Quote(const std::string& s) {
    std::string q = "'";
    for (const char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a shell command line with stdin from /dev/null (or inputFile), capturing both outputs.
inline Run Shell(const std::string& commandLine, const std::string& inputFile = "/dev/null") {
    TempDir dir;
    // An empty settings folder: the user's own stored baud rates do not leak into the test.
    const std::string command = "XDG_CONFIG_HOME=" + Quote(dir.Path()) + " " + commandLine + " <" + Quote(inputFile) +
                                " >" + Quote(dir.File("out")) + " 2>" + Quote(dir.File("err"));
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir.File("out")), ReadFile(dir.File("err"))};
}

// The tool with these arguments, and this text on its standard input (none when empty).
inline Run Tolvik(const std::vector<std::string>& args, const std::string& input = "") {
    std::string command = Quote(TOLVIK_TOOL_PATH);
    for (const auto& a : args) command += " " + Quote(a);
    if (input.empty()) return Shell(command);
    TempDir dir;
    WriteFile(dir.File("in"), input);
    return Shell(command, dir.File("in"));
}

// Starts the tool with these arguments in the background, its standard error on a pipe whose
// read end goes to errFd; the child's process id.
inline pid_t SpawnTool(std::vector<std::string> args, int& errFd) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe");
    args.insert(args.begin(), TOLVIK_TOOL_PATH);
    std::vector<char*> argv;
    for (auto& w : args) argv.push_back(w.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDERR_FILENO);
        close(fds[0]);
        close(fds[1]);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    errFd = fds[0];
    return pid;
}

// Every line of text parsed as JSON (a bad line fails the parse with an exception).
inline std::vector<nlohmann::json> JsonLines(const std::string& text) {
    std::vector<nlohmann::json> objects;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) objects.push_back(nlohmann::json::parse(line));
    return objects;
}

// `tolvik serve` in the background on a free port, stopped (Ctrl-C) and reaped on destruction.
class Server {
public:
    explicit Server(const std::vector<std::string>& args) {
        std::vector<std::string> words = {"serve", "--listen", "127.0.0.1:0"};
        words.insert(words.end(), args.begin(), args.end());
        m_pid = SpawnTool(words, m_err);
        // The first line names the port; reading it blocks until the server listens.
        const std::string first = ReadErrLine();
        const auto colon = first.rfind("127.0.0.1:");
        if (colon == std::string::npos) throw std::runtime_error("server did not start: " + first);
        m_port = std::atoi(first.c_str() + colon + 10);
    }
    ~Server() { Stop(); }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;
    int Port() const { return m_port; }
    // Stops the server as Ctrl-C does and returns what it wrote to standard error after the
    // line with its port.
    std::string Stop() {
        if (m_pid <= 0) return {};
        kill(m_pid, SIGINT);
        std::string rest;
        char buffer[4096];
        ssize_t n;
        while ((n = read(m_err, buffer, sizeof buffer)) > 0) rest.append(buffer, static_cast<std::size_t>(n));
        int status = 0;
        waitpid(m_pid, &status, 0);
        close(m_err);
        m_pid = -1;
        return rest;
    }

private:
    std::string ReadErrLine() {
        std::string line;
        char c;
        while (read(m_err, &c, 1) == 1 && c != '\n') line += c;
        return line;
    }

    pid_t m_pid = -1;
    int m_err = -1;
    int m_port = 0;
};

// A plain TCP client of the server.
class Client {
public:
    explicit Client(int port) {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            throw std::runtime_error("cannot connect");
        }
    }
    ~Client() { Close(); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    void Send(const std::string& bytes) {
        if (send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size())) {
            throw std::runtime_error("short write");
        }
    }
    // The next line, without its '\n' (blocks until it is complete); empty at end of stream.
    std::string Line() {
        while (true) {
            const auto end = m_pending.find('\n');
            if (end != std::string::npos) {
                std::string line = m_pending.substr(0, end);
                m_pending.erase(0, end + 1);
                return line;
            }
            char buffer[4096];
            const ssize_t n = read(m_fd, buffer, sizeof buffer);
            if (n <= 0) return {};
            m_pending.append(buffer, static_cast<std::size_t>(n));
        }
    }
    // Shrinks the receive buffer so that a client that never reads backs up quickly.
    void SmallReceiveBuffer() {
        const int size = 4096;
        setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    void Close() {
        if (m_fd >= 0) close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
    std::string m_pending;
};

}  // namespace tolvik::test
