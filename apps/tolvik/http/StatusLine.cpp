#include "StatusLine.h"

#include <nlohmann/json.hpp>

#include "tolvik/records/GPSData.h"

namespace tolvik::tool::http {

const char* DgpsModeName(int mode) {
    switch (mode) {
        case DGPS_MODE_NONE:
            return "none";
        case DGPS_MODE_BEACON:
            return "beacon";
        case DGPS_MODE_LBAND:
            return "L-band";
        case DGPS_MODE_WAAS:
            return "WAAS";
        case DGPS_MODE_CDGPS:
            return "CDGPS";
        case DGPS_MODE_OMNISTAR:
            return "OmniSTAR";
        default:
            return "unknown";
    }
}

std::string StatusLine(const LiveStatus& s) {
    nlohmann::ordered_json object;
    object["class"] = "TOLVIK";
    object["device"] = s.device;
    if (!s.model.empty()) object["model"] = s.model;
    if (s.bps > 0) object["bps"] = s.bps;
    object["msgRate"] = s.messagesPerSecond;
    object["checksumErrors"] = s.checksumErrors;
    object["overflows"] = s.overflows;
    if (s.elevationMaskDeg) object["elevMask"] = *s.elevationMaskDeg;
    if (s.dgpsMode) object["dgpsMode"] = DgpsModeName(*s.dgpsMode);
    if (s.beacon) {
        auto& beacon = object["beacon"] = nlohmann::ordered_json::object();
        if (s.beacon->frequencyKHz) beacon["frequency"] = *s.beacon->frequencyKHz;
        if (s.beacon->bitRate) beacon["bitRate"] = *s.beacon->bitRate;
        if (s.beacon->autoTune) beacon["autoTune"] = *s.beacon->autoTune;
        if (s.beacon->strength) beacon["strength"] = *s.beacon->strength;
        if (s.beacon->snr) beacon["snr"] = *s.beacon->snr;
    }
    return object.dump();
}

}  // namespace tolvik::tool::http
