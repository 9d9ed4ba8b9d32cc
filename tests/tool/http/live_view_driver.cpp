// Serves the live view on a free port and feeds it report lines, for the browser test and for
// looking at the page by hand.
//
//   live_view_driver [--epochs N | --lines FILE] [--port P]
//
// Prints "port P", waits for one browser to open the stream, publishes the scripted session (or
// every line of FILE, e.g. gpsd-format output of a replay), then prints the latest TPV and SKY
// it sent ("tpv {...}", "sky {...}") and "sent N". It keeps serving until its standard input
// ends, then prints "dropped N" (lines any browser lost) and stops.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "HttpFrontEnd.h"
#include "LiveViewScript.h"

int main(int argc, char** argv) {
    int epochs = 600;
    int port = 0;
    std::string linesFile;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--epochs") {
            epochs = std::atoi(argv[i + 1]);
        } else if (option == "--lines") {
            linesFile = argv[i + 1];
        } else if (option == "--port") {
            port = std::atoi(argv[i + 1]);
        } else {
            std::cerr << "live_view_driver: unknown option " << option << "\n";
            return 2;
        }
    }
    std::vector<std::string> script;
    if (linesFile.empty()) {
        script = tolvik::test::LiveViewScript(epochs);
    } else {
        std::ifstream in(linesFile);
        if (!in) {
            std::cerr << "live_view_driver: cannot read " << linesFile << "\n";
            return 2;
        }
        for (std::string line; std::getline(in, line);) {
            if (!line.empty()) script.push_back(line);
        }
    }

    tolvik::tool::http::HttpFrontEnd frontEnd;
    if (!frontEnd.Listen("127.0.0.1", port)) {
        std::cerr << "live_view_driver: cannot listen on port " << port << "\n";
        return 1;
    }
    std::cout << "port " << frontEnd.Port() << std::endl;
    frontEnd.WaitForClientCount(1);

    std::string lastTpv, lastSky;
    for (const auto& line : script) {
        frontEnd.Publish(line);
        if (line.find("\"class\":\"TPV\"") != std::string::npos) lastTpv = line;
        if (line.find("\"class\":\"SKY\"") != std::string::npos) lastSky = line;
    }
    std::cout << "tpv " << lastTpv << "\nsky " << lastSky << "\nsent " << script.size() << std::endl;

    for (std::string ignored; std::getline(std::cin, ignored);) {}
    std::cout << "dropped " << frontEnd.Stats().dropped << std::endl;
    frontEnd.Stop();
    return 0;
}
