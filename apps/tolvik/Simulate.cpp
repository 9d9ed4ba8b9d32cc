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
    const std::vector<std::string> lines = ReadLines(path);
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
