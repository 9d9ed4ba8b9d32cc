// A simulated GPS receiver on the far end of a pseudo-terminal.
//
// The library opens the terminal's device path as its serial port, exactly as it would open a
// receiver's port. The simulator streams recorded sentences to it, records every byte the library
// sends, and answers commands in the dialect of one receiver family: "$PASHR,ACK" after every
// "$PASHS" command and the parameter reply lines after "$PASHQ,PAR" (Ashtech family, the
// default), "$PSLIR" replies (Starlink), "$PMCAG" mask replies (Sokkia), "$>JSHOW" reports
// ("$J" receivers), the SiRF binary protocol switch, and "#" logs (LOG/UNLOG receivers). It
// keeps the settings the commands change (elevation mask, NMEA outputs, differential source,
// beacon) and reports them back, and streams only the sentences that are switched on.
//
// The simulator is the outside world: it runs on real time of its own, not on the library's
// clock seam, and answers at once whatever the library's clock is doing.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tolvik::sim {

class SimulatedReceiver {
public:
    enum class Pace {
        AsFastAsPossible,  // every line at once (still limited by the line's baud rate)
        FixedRate,         // linesPerSecond
        Timestamps,        // the pace of the recording: wait when a sentence's UTC time moves on
    };

    // The command languages it can answer in.
    enum class Dialect {
        Ashtech,      // "$PASHS"/"$PASHQ", beacon "$GPCRQ"/"$GPMSK" (Ashtech, CSI, Racal)
        Starlink,     // "$PSLIS"/"$PSLIQ" and "$PSLIR" replies
        Sokkia,       // "$PMCAG" (Sokkia Axis)
        JCommands,    // "$J..." and "$>J..." replies (Sokkia Axis3, CSI - MAX)
        Sirf,         // "$PSRF1xx" and the SiRF binary protocol (SiRF, Toughbook GPS01, Holux)
        LogCommands,  // LOG/UNLOG and "#...A" logs (GSR2650 LB)
        None,         // a plain NMEA receiver: reads nothing it is sent
    };

    struct Options {
        bool answerCommands = true;  // replies in the dialect below
        bool honourBaudRate = true;  // pace output at the baud rate the library set
        Dialect dialect = Dialect::Ashtech;
        int lineBaud = 0;  // the receiver's own rate; others read garbage (0: any)
    };

    // The dialect of a receiver model by its display name (None for plain NMEA receivers).
    static Dialect DialectOf(const std::string& modelName);
    // Whether the simulator is in the SiRF binary protocol now.
    bool InBinaryProtocol() const { return m_binary.load(); }
    // The elevation mask the commands left (degrees).
    int ElevationMask() const;

    SimulatedReceiver();
    explicit SimulatedReceiver(Options options);
    ~SimulatedReceiver();
    SimulatedReceiver(const SimulatedReceiver&) = delete;
    SimulatedReceiver& operator=(const SimulatedReceiver&) = delete;

    // False when no pseudo-terminal could be opened.
    bool IsOpen() const { return m_master >= 0; }
    // The device path the library opens (the terminal's slave side).
    const std::string& DevicePath() const { return m_slavePath; }

    // Writes bytes towards the library now. False once unplugged or on a write error.
    bool Send(std::string_view bytes);
    // Streams the lines ("\r\n" is appended to each) in the background, once or endlessly.
    void StartStreaming(std::vector<std::string> lines, Pace pace, double linesPerSecond = 10.0, bool loop = false);
    void StopStreaming();
    // Waits (real time) until a started stream has sent everything (not for loops).
    bool WaitStreamDone(std::chrono::milliseconds timeout);
    std::size_t LinesSent() const { return m_linesSent.load(); }

    // Everything the library has written so far, and the complete lines among it (without CR LF).
    std::string Received() const;
    std::vector<std::string> ReceivedLines() const;
    void ClearReceived();
    // Waits (real time) until the received bytes contain the text.
    bool WaitForReceived(std::string_view text, std::chrono::milliseconds timeout) const;

    // The line speed the library configured on its side (0 if unknown).
    int BaudRate() const;

    // Closes the receiver's side, as if the cable were pulled.
    void Unplug();

    // Called for every complete line the library sends (on the simulator's thread), after the
    // automatic answer to it went out.
    void OnLine(std::function<void(const std::string&)> handler);

    // The parameter reply sent after "$PASHQ,PAR".
    static std::vector<std::string> ParameterReply();
    // "$" + body + "*hh" with the NMEA checksum.
    static std::string WithChecksum(const std::string& body);
    // Seconds of the day of a sentence's UTC time field (GGA, RMC, GLL, ZDA); false if none.
    static bool SentenceTime(const std::string& line, double& seconds);

private:
    void ReadLoop();
    void StreamLoop(std::vector<std::string> lines, Pace pace, double linesPerSecond, bool loop);
    void Answer(const std::string& line);
    void AnswerInDialect(const std::string& line);
    void Consume(std::string& pending, std::vector<std::string>& lines, std::vector<std::string>& frames);
    void TakeBinaryFrame(const std::string& payload);
    void Reply(const std::string& text);
    bool Streams(const std::string& line) const;
    void SetOutput(const std::string& type, bool on);
    void SetAllOutputs(bool on);
    std::vector<std::string> ParameterReplyNow() const;
    std::string LogReply(const std::string& name, const std::string& data) const;
    bool WritePaced(std::string_view bytes);
    void CloseMaster();

    Options m_options;
    std::atomic<int> m_master{-1};
    int m_slave = -1;  // kept open so the terminal survives the library closing and reopening
    std::string m_slavePath;
    int m_wakeFd = -1;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::string m_received;
    std::string m_partialLine;
    std::function<void(const std::string&)> m_onLine;
    std::mutex m_writeMutex;

    std::thread m_reader;
    std::thread m_streamer;
    std::atomic<bool> m_stopStream{false};
    std::atomic<bool> m_streamDone{true};
    std::atomic<std::size_t> m_linesSent{0};
    std::atomic<bool> m_quit{false};
    bool m_unplugRequested = false;  // guarded by m_mutex

    // What the commands have set, as a receiver keeps it (guarded by m_stateMutex).
    struct State {
        int elevMask = 10;
        bool maskSaved = true;
        std::vector<std::string> off;  // sentence types switched off ("GSV", ...)
        int dgpsMode = 1;              // 0 none, 1 beacon, 2 L-band, 3 WAAS, 4 CDGPS, 5 OmniSTAR
        double beaconKHz = 304.0;
        int beaconBitRate = 100;
        bool beaconAuto = true;
        double lbandKHz = 1557845.0;
    };
    mutable std::mutex m_stateMutex;
    State m_state;
    std::atomic<bool> m_binary{false};  // SiRF binary protocol: frames in, no NMEA out
};

}  // namespace tolvik::sim
