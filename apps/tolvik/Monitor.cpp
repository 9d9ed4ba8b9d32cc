// tolvik monitor: a live receiver on a serial device.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Cli.h"
#include "ConsoleHost.h"
#include "RawEpochLog.h"
#include "RinexOutput.h"
#include "tolvik/platform/Clock.h"

namespace tolvik::tool {

namespace {

// Opens the device once on its own to tell the user precisely what is wrong with it.
bool CheckDevice(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "tolvik: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    const bool tty = isatty(fd);
    ::close(fd);
    if (!tty) {
        std::fprintf(stderr, "tolvik: %s is not a serial device\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int RunMonitor(const std::vector<std::string>& words) {
    const Args args(words,
                    {"receiver", "port", "device", "baud", "geoid-mode", "antenna-height", "min-sats", "log-raw",
                     "log-raw-epochs", "log-interval", "seconds", "rinex", "format"},
                    {"json", "text"}, 0);
    if (!args.Has("receiver")) throw UsageError("monitor needs --receiver NAME");
    if (!args.Has("port") && !args.Has("device")) throw UsageError("monitor needs --port N or --device PATH");
    const int port = args.Int("port", 1);
    if (port <= 0 || port == CSerialPort::kBluetoothPort) throw UsageError("--port needs a serial port number from 1");
    if (args.Has("device")) CSerialPort::SetPortDevice(port, args.Value("device"));
    const std::string device = CSerialPort::DevicePath(port);
    const int baud = args.Int("baud", 0);
    if (args.Has("baud") && baud <= 0) throw UsageError("--baud needs a positive line speed");
    const ReceiverSettings settings = ReadReceiverSettings(args);
    const int seconds = args.Int("seconds", 0);
    const std::string format = FormatOption(args.Has("json"), args.Value("format"));
    if (!CheckDevice(device)) return kExitFailure;

    Printer printer(stdout, format, args.Has("text"));
    ConsoleHost host(printer, false);
    host.SetProfilePath(DefaultSettingsPath());
    CGPSEngine engine;
    CGPSReceiver* receiver = ReceiverByName(engine, args.Value("receiver"));
    receiver->SetupReceiver(port, settings.geoidMode, settings.antennaHeight, L"", false);
    engine.SetMinSatRequierment(settings.minSatellites);
    engine.SetReceiver(receiver);
    host.SetReceiver(receiver);
    engine.InitReceivers();
    if (baud > 0) receiver->m_nBaudRate = baud;  // for this run; the stored rate stays
    if (printer.WantsMessages()) engine.m_ComBuffer.SetStopped(false);
    CRawEpochLog rawLog;
    if (!OpenRawEpochLog(args, rawLog, port, settings.antennaHeight)) return kExitFailure;
    if (rawLog.IsOpen()) host.SetRawLog(&rawLog);
    RinexOutput rinex;
    if (!rinex.Open(args.Value("rinex"), args.Double("log-interval", 1.0), settings.antennaHeight, *receiver)) return kExitFailure;
    host.SetRawLog(rinex.Log());
    // The binary records reach the raw decoders only with their bytes attached.
    if (rawLog.IsOpen() || rinex.Log()) engine.m_bAttachRawData = true;
    if (args.Has("log-raw")) {
        engine.m_strRawLogFile = CString::FromBytes(args.Value("log-raw"));
        engine.m_bLogRawData = true;
    }

    if (!engine.Start()) {
        std::fprintf(stderr, "tolvik: cannot read %s at %d baud: %s\n", device.c_str(), receiver->m_nBaudRate,
                     engine.GetLastErrorString().ToBytes().c_str());
        return kExitFailure;
    }
    std::fprintf(stderr, "tolvik: reading \"%s\" on %s at %d baud (Ctrl-C stops)\n", receiver->GetName().ToBytes().c_str(),
                 device.c_str(), receiver->m_nBaudRate);
    InstallInterruptHandler();
    const platform::Event* events[] = {&InterruptEvent()};
    const DWORD start = platform::GetTickCount();
    while (true) {
        const DWORD r = MsgWaitForMultipleObjects(events, 1, 250);
        host.Pump();
        // Emptied every time, the collected text never reaches the limit that stops forwarding.
        const bool limitReached = engine.m_ComBuffer.LimitReached();
        engine.m_ComBuffer.ClearData();
        if (limitReached) engine.m_ComBuffer.SetStopped(false);
        if (r == platform::WAIT_OBJECT_0) break;
        if (seconds > 0 && platform::GetTickCount() - start >= static_cast<DWORD>(seconds) * 1000u) break;
    }
    engine.Stop();  // the reader thread ends and the port is closed
    const bool finished = FinishRun(host, engine, *receiver, printer, rawLog);
    return rinex.Finish() && finished ? kExitOk : kExitFailure;
}

}  // namespace tolvik::tool
