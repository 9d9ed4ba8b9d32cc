// Session: the library for hosts that are not window programs.
//
// A Session reads one receiver (or replays one recording) and calls plain functions with the
// results: no window class, no message pump and no records to delete. Underneath it is the
// ordinary engine and receiver model; the session is a host of the library like any other. It
// owns a delivery thread with its own window: the engine posts its records there as it posts to
// any host, and the delivery thread calls the callbacks. So callbacks never run on the reader
// thread (a slow callback cannot make the reader miss bytes), they run one at a time, and the
// record a callback receives belongs to the session and is valid until the callback returns.
//
//     tolvik::SessionOptions options;
//     options.replayFile = "drive.log";
//     tolvik::Session session(options);
//     session.OnEpoch([](const tolvik::CGPSData& epoch) { ... });
//     if (!session.Run()) std::cerr << session.LastError() << '\n';
//
// Register the callbacks before Start. The receiver's connection state is shared by the whole
// process (one physical connection), and a session installs itself as the library's host: one
// session runs at a time; starting a second while one runs fails with a clear LastError. Create
// sessions while none runs: building the receiver catalogue sets up one model's port.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tolvik/platform/CString.h"
#include "tolvik/platform/Types.h"
#include "tolvik/receiver/CGPSReceiver.h"
#include "tolvik/records/GPSData.h"
#include "tolvik/records/GPSDataRaw.h"

namespace tolvik {

enum class ReplayMode {
    Fast,   // the recording's lines at once, one pass; Run returns at its end
    Paced,  // one line every 500 ms, endlessly, as the engine's emulation replays; until Stop
    Raw,    // a raw byte log captured from a port (binary records included), at once, one pass
};

struct SessionOptions {
    std::string receiver = "Other";  // display name, as `tolvik receivers` lists them
    std::string device;              // serial device path, or
    int port = 0;                    // COM port number (through the port map)
    int baud = 0;                    // 0: the model's stored or default rate
    std::string replayFile;          // replay this recording instead of a device
    ReplayMode replayMode = ReplayMode::Fast;
    int geoidMode = 0;           // 0 ignore, 1 add, other subtract the geoid separation
    double antennaHeight = 0.0;  // metres, subtracted from reported altitudes
    int minSatellites = 4;       // fewer satellites used: no position (at least 3)
    std::string settingsFile;    // default: the tool's settings file
};

class Session {
public:
    explicit Session(SessionOptions options);
    // Stops the session. Do not destroy a session from inside one of its callbacks.
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void OnEpoch(std::function<void(const CGPSData&)> callback);
    void OnRawEpoch(std::function<void(const CGPSDataRaw&)> callback);
    void OnEphemeris(std::function<void(const CGPSDataEphemeris&)> callback);
    // The words of one binary record.
    void OnBinary(std::function<void(const std::vector<WORD>&)> callback);
    // Every framed message as received (registering this switches raw text forwarding on).
    void OnText(std::function<void(const CString&)> callback);
    // Why the session ended early: the device was lost, or a paced replay stopped.
    void OnError(std::function<void(const std::string&)> callback);

    // Opens the device (or the recording) and starts delivering. False: LastError() says why.
    bool Start();
    // Ends the session from any thread, a callback included. Called elsewhere than in a callback,
    // it returns when no callback runs any more and the device is closed; inside a callback it
    // only asks, and no further callback follows the one that asked.
    void Stop();
    // Starts if needed, then blocks until the replay ends, Stop() is called or the device fails.
    // True when it ended by the end of the replay or Stop(). An exception thrown by a callback
    // ends the session and is thrown again here.
    bool Run();
    bool IsRunning() const;
    std::string LastError() const;
    // The receiver model, for its command operations (run them on any thread but a callback's
    // while the session runs: they wait for the receiver's answers).
    CGPSReceiver& Receiver();

private:
    class Impl;
    std::unique_ptr<Impl> m_pImpl;
};

}  // namespace tolvik
