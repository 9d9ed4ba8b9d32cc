// tolvik: replay recordings, read live receivers and simulate one, with the Tolvik library.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "Cli.h"

namespace {

constexpr const char* kUsage = R"(usage: tolvik <command> [options]

Commands:
  replay [FILE]      replay a recording (default: the bundled sample) and print its epochs
      --fast             feed every line at once, one pass, instead of one line per 500 ms
      --raw              FILE is a raw byte log from a port (binary records included); one pass
      --format F         records (one JSON object per posted message), gpsd (TPV and SKY
                         objects of gpsd's JSON protocol), gpx (a GPX 1.1 track), nmea (the
                         sentences as received) or table (default)
      --json             the same as --format records
      --text             also print every framed message ("text" objects with --json)
      --epochs N         stop after N epochs with a position (paced replay)
      --receiver NAME    receiver model (default "Other"); see 'tolvik receivers'
      --geoid-mode N     0 ignore the geoid separation, 1 add it, 2 subtract it
      --antenna-height M antenna height in metres, subtracted from altitudes
      --min-sats N       fewest satellites for a usable fix (at least 3; default 4)
      --log-raw-epochs BASE  write raw measurement epochs and ephemerides to a raw epoch log
                         named BASE_<day><Mon>_<h>h<m>m<s>s.tvr (see the README)
      --log-interval S   seconds between logged raw epochs (default 1)
      --rinex BASE       write the raw epochs and ephemerides as RINEX 3.04 files BASE.obs and
                         BASE.nav (at --log-interval)
  monitor            read a live receiver and print its epochs until Ctrl-C
      --receiver NAME    receiver model (required)
      --port N           serial port number (COM<N>: is /dev/ttyS<N-1>)
      --device PATH      serial device to use (with --port, the device of that port number)
      --baud B           line speed (default: the model's stored or default rate)
      --format, --json, --text, --geoid-mode, --antenna-height, --min-sats as for replay
      --log-raw FILE     write every byte read to FILE (a later 'replay --raw' input)
      --log-raw-epochs BASE, --rinex BASE, --log-interval S as for replay
      --seconds N        stop after N seconds
  simulate [FILE]    a simulated receiver on a pseudo-terminal, streaming FILE (default: the
                     bundled sample) and answering commands; prints the device path
      --rate R           R lines per second instead of the pace of the recording's timestamps
      --fast             as fast as the line allows
      --once             stop at the end of the file instead of starting again
      --raw              FILE is a raw byte log (binary records included): one epoch a second
  serve              serve a receiver to gpsd clients (gpsd's JSON protocol) until Ctrl-C
      --listen HOST:PORT where to listen (default 127.0.0.1:2947; port 0 picks a free one)
      --replay FILE      serve a recording instead of a device, paced by its own timestamps
      --rate R           R lines per second instead (with --replay)
      --realtime         pace by the recording's timestamps (the default)
      --loop             start the recording again at its end
      --queue N          reports kept for a client that does not keep up (default 1024)
      --receiver, --port, --device, --baud, --geoid-mode, --antenna-height, --min-sats
                         as for monitor
  receivers          list the receiver models with their capabilities and default baud rates

  --help             this text
  --version          the tool's version

Exit codes: 0 success, 1 failure (file, device or receiver), 2 wrong command line.
)";

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty()) {
        std::fputs(kUsage, stderr);
        return tolvik::tool::kExitUsage;
    }
    const std::string command = words.front();
    words.erase(words.begin());
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return tolvik::tool::kExitOk;
    }
    if (command == "--version") {
        std::printf("tolvik %s\n", TOLVIK_VERSION);
        return tolvik::tool::kExitOk;
    }
    for (const auto& w : words) {
        if (w == "--help" || w == "-h") {
            std::fputs(kUsage, stdout);
            return tolvik::tool::kExitOk;
        }
    }
    try {
        if (command == "replay") return tolvik::tool::RunReplay(words);
        if (command == "monitor") return tolvik::tool::RunMonitor(words);
        if (command == "simulate") return tolvik::tool::RunSimulate(words);
        if (command == "receivers") return tolvik::tool::RunReceivers(words);
        if (command == "serve") return tolvik::tool::RunServe(words);
        throw tolvik::tool::UsageError("unknown command '" + command + "'");
    } catch (const tolvik::tool::UsageError& e) {
        std::fprintf(stderr, "tolvik: %s\ntry 'tolvik --help'\n", e.what());
        return tolvik::tool::kExitUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tolvik: %s\n", e.what());
        return tolvik::tool::kExitFailure;
    }
}
