#include "LiveViewScript.h"

#include <cmath>
#include <cstdio>
#include <numbers>

#include <nlohmann/json.hpp>

#include "StatusLine.h"

namespace tolvik::test {

namespace {

using Json = nlohmann::ordered_json;

constexpr double kDeg = std::numbers::pi / 180.0;
constexpr double kOriginLat = 60.3879;  // degrees
constexpr double kOriginLon = 5.3324;
constexpr double kMetresPerDegreeLat = 111'200.0;
constexpr double kStartSeconds = 9 * 3600 + 5 * 60 + 7;  // 09:05:07 UTC on 2026-03-14

double Round(double value, double digits) {
    const double scale = std::pow(10.0, digits);
    return std::round(value * scale) / scale;
}

std::string IsoTime(int epoch) {
    const int t = static_cast<int>(kStartSeconds) + epoch;
    char text[40];
    std::snprintf(text, sizeof text, "2026-03-14T%02d:%02d:%02d.000Z", (t / 3600) % 24, (t / 60) % 60, t % 60);
    return text;
}

// East and north metres along the walk: a loop of about 80 m by 50 m with a slow drift.
void Walk(int epoch, double& east, double& north) {
    const double a = epoch * 2.0 * std::numbers::pi / 240.0;
    east = 40.0 * std::sin(a) + 6.0 * std::sin(3.1 * a) + 0.02 * epoch;
    north = 25.0 * (1.0 - std::cos(a)) + 4.0 * std::cos(2.3 * a);
}

std::string TpvLine(int epoch) {
    Json tpv;
    tpv["class"] = "TPV";
    tpv["device"] = "/dev/ttyUSB0";
    const int mode = epoch < 2 ? 1 : epoch < 5 ? 2 : 3;
    if (mode >= 2) tpv["status"] = epoch < 40 ? 1 : 2;
    tpv["mode"] = mode;
    tpv["time"] = IsoTime(epoch);
    if (mode >= 2) {
        double east = 0, north = 0, nextEast = 0, nextNorth = 0;
        Walk(epoch, east, north);
        Walk(epoch + 1, nextEast, nextNorth);
        const double lat = kOriginLat + north / kMetresPerDegreeLat;
        const double lon = kOriginLon + east / (kMetresPerDegreeLat * std::cos(kOriginLat * kDeg));
        tpv["lat"] = Round(lat, 9);
        tpv["lon"] = Round(lon, 9);
        if (mode == 3) {
            tpv["altHAE"] = Round(62.4 + 1.5 * std::sin(epoch / 30.0), 3);
            tpv["altMSL"] = Round(20.1 + 1.5 * std::sin(epoch / 30.0), 3);
        }
        const double de = nextEast - east, dn = nextNorth - north;
        tpv["speed"] = Round(std::hypot(de, dn), 3);
        double track = std::atan2(de, dn) / kDeg;
        if (track < 0) track += 360.0;
        tpv["track"] = Round(track, 1);
        tpv["eph"] = epoch < 40 ? 4.2 : 1.3;
        if (mode == 3) tpv["epv"] = epoch < 40 ? 6.8 : 2.1;
    }
    return tpv.dump();
}

}  // namespace

std::string SkyLine(int epoch, int satellites) {
    Json sky;
    sky["class"] = "SKY";
    sky["device"] = "/dev/ttyUSB0";
    sky["time"] = IsoTime(epoch);
    sky["hdop"] = epoch < 40 ? 1.9 : 0.9;
    sky["vdop"] = epoch < 40 ? 2.6 : 1.4;
    sky["pdop"] = epoch < 40 ? 3.2 : 1.7;
    Json list = Json::array();
    int used = 0;
    for (int i = 0; i < satellites; ++i) {
        const int prn = 2 + (i * 7) % 31 + (i >= 31 ? 33 : 0);
        const double phase = std::fmod(i * 0.618 + epoch / 3000.0, 1.0);
        const double el = Round(4.0 + 82.0 * phase * phase, 0);
        const double az = Round(std::fmod(i * 137.5 + epoch / 20.0, 360.0), 0);
        const double ss = el < 10 ? 0 : Round(22.0 + el / 4.0 + (i % 3) * 3.0, 0);
        const bool isUsed = epoch >= 2 && ss >= 28;
        used += isUsed ? 1 : 0;
        list.push_back({{"PRN", prn}, {"el", el}, {"az", az}, {"ss", ss}, {"used", isUsed}});
    }
    sky["nSat"] = satellites;
    sky["uSat"] = used;
    sky["satellites"] = list;
    return sky.dump();
}

std::vector<std::string> LiveViewScript(int epochs) {
    std::vector<std::string> lines;
    tool::http::LiveStatus status;
    status.device = "/dev/ttyUSB0";
    status.model = "Ashtech";
    status.bps = 4800;
    for (int epoch = 0; epoch < epochs; ++epoch) {
        if (epoch % 60 == 0) {
            status.messagesPerSecond = 6.0 - (epoch % 120 == 0 ? 0.0 : 0.5);
            status.checksumErrors = static_cast<std::uint64_t>(epoch / 150);
            if (epoch >= 60) {
                status.elevationMaskDeg = 10;
                status.dgpsMode = 1;  // beacon
                status.beacon = tool::http::BeaconStatus{313.5, 200, true, 87, 18};
            }
            lines.push_back(tool::http::StatusLine(status));
        }
        if (epoch % 5 == 0) lines.push_back(SkyLine(epoch, 12 + (epoch / 100) % 3));
        lines.push_back(TpvLine(epoch));
    }
    return lines;
}

}  // namespace tolvik::test
