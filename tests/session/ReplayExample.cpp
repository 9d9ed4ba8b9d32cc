// The README's session example: replays a recording and prints every position in degrees. The
// Python tests compare its output with the Python module's.
#include <tolvik/Session.h>

#include <cstdio>
#include <numbers>

int main(int argc, char** argv) {
    tolvik::SessionOptions options;
    options.replayFile = argc > 1 ? argv[1] : "data/sample.log";
    tolvik::Session session(options);
    session.OnEpoch([](const tolvik::CGPSData& epoch) {
        if (!epoch.m_bPositionValid) return;
        constexpr double deg = 180.0 / std::numbers::pi;
        std::printf("%.9f %.9f %.2f m\n", epoch.m_dLatitude * deg, epoch.m_dLongitude * deg, epoch.m_dAltitude);
    });
    if (!session.Run()) {
        std::fprintf(stderr, "%s\n", session.LastError().c_str());
        return 1;
    }
    return 0;
}
