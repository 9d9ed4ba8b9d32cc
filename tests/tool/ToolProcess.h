// Running the tool and the gpsd peers (gpsdecode, gpspipe, gpsbabel, the gps Python module) as
// a user runs them, for the output-format and server tests.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/Incoming.h"
#include "support/TestSupport.h"

namespace tolvik::test {

struct Run {
    int exitCode;
    std::string out;
    std::string err;
};

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

// Every line of text parsed as JSON (a bad line fails the parse with an exception).
inline std::vector<nlohmann::json> JsonLines(const std::string& text) {
    std::vector<nlohmann::json> objects;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) objects.push_back(nlohmann::json::parse(line));
    return objects;
}

// The objects replay --format gpsd writes for a recording (the bundled sample when none is named).
inline std::vector<nlohmann::json> GpsdReplay(const std::string& path = "") {
    std::vector<std::string> args = {"replay", "--fast", "--format", "gpsd"};
    if (!path.empty()) args.push_back(path);
    const Run r = Tolvik(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return JsonLines(r.out);
}

// The tool in the background with an empty settings folder and one of its outputs on a pipe;
// stopped as Ctrl-C stops it, and reaped, at the latest on destruction.
class ToolProcess {
public:
    explicit ToolProcess(std::vector<std::string> args, int output = STDERR_FILENO) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        args.insert(args.begin(), TOLVIK_TOOL_PATH);
        std::vector<char*> argv;
        for (auto& w : args) argv.push_back(w.data());
        argv.push_back(nullptr);
        // Built before the fork: the child of a threaded test may only exec.
        std::string home = "XDG_CONFIG_HOME=" + m_config.Path();
        std::vector<char*> env = {home.data()};
        for (char** e = environ; *e != nullptr; ++e) env.push_back(*e);
        env.push_back(nullptr);
        m_pid = fork();
        if (m_pid == 0) {
            dup2(fds[1], output);
            execve(argv[0], argv.data(), env.data());
            _exit(127);
        }
        close(fds[1]);
        m_output.emplace(fds[0]);
    }
    ~ToolProcess() { Stop(); }
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    Incoming& Output() { return *m_output; }
    bool Exited() {
        if (m_pid <= 0 || waitpid(m_pid, &m_status, WNOHANG) != m_pid) return m_pid <= 0;
        m_pid = -1;
        return true;
    }
    // Interrupts the tool and returns the rest of its output.
    std::string Stop() {
        if (m_pid <= 0) return {};
        kill(m_pid, SIGINT);
        std::string rest = m_output->ReadToEnd();
        waitpid(m_pid, &m_status, 0);
        m_pid = -1;
        return rest;
    }
    // After Stop: 0 when Ctrl-C ended a clean run (a sanitizer report in the tool makes it fail).
    int ExitCode() const { return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1; }

private:
    TempDir m_config;
    pid_t m_pid = -1;
    int m_status = -1;
    std::optional<Incoming> m_output;
};

// `tolvik serve` on free ports of 127.0.0.1, with the live view when http is set.
class Server : public ToolProcess {
public:
    explicit Server(const std::vector<std::string>& args, bool http = false) : ToolProcess(Words(args, http)) {
        // The browsers' address comes first, then the gpsd port; the replay starts after it.
        if (http) m_httpPort = PortAfter("live view on http://127.0.0.1:");
        m_port = PortAfter("serving gpsd protocol on 127.0.0.1:");
    }
    int Port() const { return m_port; }
    int HttpPort() const { return m_httpPort; }

private:
    static std::vector<std::string> Words(const std::vector<std::string>& args, bool http) {
        std::vector<std::string> words = {"serve", "--listen", "127.0.0.1:0"};
        if (http) words.insert(words.end(), {"--http", "127.0.0.1:0"});
        words.insert(words.end(), args.begin(), args.end());
        return words;
    }
    int PortAfter(const std::string& prefix) {
        const std::string line = Output().Next("\n").value_or("");
        const auto at = line.find(prefix);
        if (at == std::string::npos) throw std::runtime_error("serve did not start: " + line);
        return std::atoi(line.c_str() + at + prefix.size());
    }

    int m_port = 0;
    int m_httpPort = 0;
};

}  // namespace tolvik::test
