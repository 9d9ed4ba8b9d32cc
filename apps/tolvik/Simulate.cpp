// tolvik simulate: a receiver on a pseudo-terminal, for trying the tool without hardware.
#include <cstdio>

#include "Cli.h"
#include "sim/SimulatedReceiver.h"
#include "tolvik/platform/Window.h"

namespace tolvik::tool {

namespace {

std::vector<std::string> ReadLines(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw std::runtime_error(path + ": cannot open");
    std::vector<std::string> lines;
    std::string line;
    int c = 0;
    while ((c = std::fgetc(f)) != EOF) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty()) lines.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(c);
        }
    }
    if (!line.empty()) lines.push_back(line);
    std::fclose(f);
    return lines;
}

// A raw byte log (binary records in it) cut into one burst per epoch: each burst starts at a
// "$GPGGA" sentence, as the bundled raw sample's epochs do.
std::vector<std::string> ReadBursts(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw std::runtime_error(path + ": cannot open");
    std::string bytes;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.append(buffer, n);
    std::fclose(f);
    std::vector<std::string> bursts;
    std::size_t start = 0;
    for (std::size_t next; (next = bytes.find("$GPGGA", start + 1)) != std::string::npos; start = next)
        bursts.push_back(bytes.substr(start, next - start));
    if (start < bytes.size()) bursts.push_back(bytes.substr(start));
    return bursts;
}

// Sends the bursts one a second (at once with fast), once or endlessly, until Ctrl-C.
int StreamRaw(sim::SimulatedReceiver& receiver, const std::vector<std::string>& bursts, bool fast, bool once) {
    InstallInterruptHandler();
    const platform::Event* events[] = {&InterruptEvent()};
    std::size_t sent = 0;
    do {
        for (const std::string& burst : bursts) {
            if (!receiver.Send(burst)) return kExitFailure;
            ++sent;
            if (platform::WaitForMultipleObjects(events, 1, fast ? 0 : 1000) == platform::WAIT_OBJECT_0) {
                std::fprintf(stderr, "tolvik: %zu raw epochs sent\n", sent);
                return kExitOk;
            }
        }
    } while (!once);
    std::fprintf(stderr, "tolvik: %zu raw epochs sent\n", sent);
    return kExitOk;
}

}  // namespace

int RunSimulate(const SimulateOptions& options) {
    const std::string path = ResolveInputFile(options.file);
    sim::SimulatedReceiver::Options simOptions;
    simOptions.lineBaud = options.baud;
    std::string dialectNote = "Ashtech-family commands";
    std::string model = "Ashtech";
    if (!options.receiver.empty()) {
        CGPSEngine engine;  // the catalogue, to check the name
        model = ReceiverByName(engine, options.receiver)->GetName().ToBytes();
        simOptions.dialect = sim::SimulatedReceiver::DialectOf(model);
        dialectNote = simOptions.dialect == sim::SimulatedReceiver::Dialect::None ? "no commands (plain NMEA)"
                                                                                  : "the commands of \"" + model + "\"";
    }
    const std::vector<std::string> lines = options.raw ? ReadBursts(path) : ReadLines(path);
    if (lines.empty()) {
        std::fprintf(stderr, "tolvik: %s holds no sentences\n", path.c_str());
        return kExitFailure;
    }
    sim::SimulatedReceiver::Pace pace = sim::SimulatedReceiver::Pace::Timestamps;
    if (options.rate > 0) pace = sim::SimulatedReceiver::Pace::FixedRate;
    if (options.fast) pace = sim::SimulatedReceiver::Pace::AsFastAsPossible;

    sim::SimulatedReceiver receiver(simOptions);
    if (!receiver.IsOpen()) {
        std::fprintf(stderr, "tolvik: no pseudo-terminal available\n");
        return kExitFailure;
    }
    std::printf("%s\n", receiver.DevicePath().c_str());
    std::fflush(stdout);
    std::fprintf(stderr,
                 "tolvik: simulated receiver on %s, streaming %s and answering %s (Ctrl-C stops)\n"
                 "        try: tolvik monitor --receiver \"%s\" --device %s\n",
                 receiver.DevicePath().c_str(), options.file == "-" ? "standard input" : path.c_str(),
                 dialectNote.c_str(), model.c_str(), receiver.DevicePath().c_str());
    if (options.raw) return StreamRaw(receiver, lines, options.fast, options.once);
    receiver.StartStreaming(lines, pace, options.rate, !options.once);

    InstallInterruptHandler();
    const platform::Event* events[] = {&InterruptEvent()};
    while (!receiver.WaitStreamDone(std::chrono::milliseconds(0))) {
        if (platform::WaitForMultipleObjects(events, 1, 200) == platform::WAIT_OBJECT_0) break;
    }
    receiver.StopStreaming();
    std::fprintf(stderr, "tolvik: %zu lines sent\n", receiver.LinesSent());
    return kExitOk;
}

}  // namespace tolvik::tool
