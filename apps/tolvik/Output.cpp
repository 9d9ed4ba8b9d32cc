#include "Output.h"

#include <cmath>
#include <cstdarg>
#include <numbers>

namespace tolvik::tool {

namespace {

constexpr double kDeg = 180.0 / std::numbers::pi;

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

// Course counter-clockwise from east (either convention of the library) as a compass bearing.
double Bearing(double course) {
    double b = std::fmod(90.0 - course * kDeg, 360.0);
    return b < 0 ? b + 360.0 : b;
}

std::string FixedText(const char* bytes, std::size_t max) {
    std::size_t n = 0;
    while (n < max && bytes[n] != '\0') ++n;
    return ToUtf8(CString::FromBytes(bytes, static_cast<int>(n)));
}

}  // namespace

std::string ToUtf8(const CString& text) {
    std::string out;
    for (const wchar_t wc : text.view()) {
        const auto c = static_cast<std::uint32_t>(wc);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            if (c >= 0xD800 && c <= 0xDFFF) {
                out += "\xEF\xBF\xBD";  // a lone surrogate has no UTF-8 form
                continue;
            }
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x110000) {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += "\xEF\xBF\xBD";
        }
    }
    return out;
}

const char* FixName(int nFixStatus) {
    static const char* const kNames[kFixStatusCount] = {
        "NONE", "GPS", "DGPS", "DR", "MANUAL", "RTK-CODE", "RTK-FIXED", "RTK-FLOAT", "POSTPROC", "WAAS", "UNKNOWN",
    };
    return (nFixStatus >= 0 && nFixStatus < kFixStatusCount) ? kNames[nFixStatus] : "?";
}

nlohmann::ordered_json StatusJson(const CGPSStatusData& s) {
    nlohmann::ordered_json nmea = nlohmann::ordered_json::array();
    for (const auto status : s.m_NmeaStatus) nmea.push_back(static_cast<int>(status));
    return {
        {"updated", s.m_bUpdated},
        {"beaconStatusValid", s.m_bBeaconStatusValid},
        {"beaconSignalStrength", s.m_nBeaconSignalStrength},
        {"beaconSnr", s.m_nBeaconSNR},
        {"beaconFrequency", s.m_dBeaconFrequency},
        {"beaconBitRate", s.m_nBeaconBitRate},
        {"beaconModeValid", s.m_bBeaconModeValid},
        {"beaconAutoTune", s.m_bBeaconAutoTune},
        {"elevMaskFlag", s.m_bElevMaskFlag},
        {"elevMaskValid", s.m_bElevMaskValid},
        {"elevMask", s.m_nElevMask},
        {"elevMaskSaved", s.m_bElevMaskSaved},
        {"nmeaStatusValid", s.m_bNmeaStatusValid},
        {"nmeaStatus", nmea},
        {"posModeValid", s.m_bPosModeValid},
        {"fixedAltitude", s.m_dFixedAltitude},
        {"posMode", s.m_nPosMode},
        {"pdopMask", s.m_nPDOPMask},
        {"hdopMask", s.m_nHDOPMask},
        {"vdopMask", s.m_nVDOPMask},
        {"outputPeriod", s.m_dOutputPeriod},
        {"ackReceived", s.m_bAckReceived},
        {"dgpsModeValid", s.m_bDgpsModeValid},
        {"dgpsMode", static_cast<int>(s.m_nDgpsMode)},
        {"lbandTuneMode", s.m_nLbandTuneMode},
        {"replyTextValid", s.m_bReplyTextValid},
        {"replyText", FixedText(s.m_szReplyText, sizeof s.m_szReplyText)},
    };
}

nlohmann::ordered_json EpochJson(const CGPSData& d) {
    nlohmann::ordered_json satellites = nlohmann::ordered_json::array();
    for (const auto& sv : d.m_Satellites) {
        if (sv.m_nPRN == 0) continue;
        satellites.push_back({{"prn", sv.m_nPRN},
                              {"elevation", sv.m_dElevation},
                              {"azimuth", sv.m_dAzimuth},
                              {"used", sv.m_bUsed},
                              {"inView", sv.m_bInView},
                              {"snr", sv.m_nSNR}});
    }
    return {
        {"type", "epoch"},
        {"latitude", d.m_dLatitude},
        {"longitude", d.m_dLongitude},
        {"altitude", d.m_dAltitude},
        {"hdop", d.m_dHDOP},
        {"pdop", d.m_dPDOP},
        {"vdop", d.m_dVDOP},
        {"meanSnr", d.m_dMeanSNR},
        {"horzError", d.m_dHorzError},
        {"vertError", d.m_dVertError},
        {"posError", d.m_dPosError},
        {"time", d.m_Time.GetTime()},
        {"satellites", satellites},
        {"satellitesUsed", d.m_nSatellitesUsed},
        {"satellitesInView", d.m_nSatellitesInView},
        {"fixStatus", d.m_nFixStatus},
        {"course", d.m_dCourse},
        {"speed", d.m_dSpeed},
        {"positionValid", d.m_bPositionValid},
        {"velocityValid", d.m_bVelocityValid},
        {"dopValid", d.m_bDOPValid},
        {"svInfoValid", d.m_bSVInfoValid},
        {"satellitesChanged", d.m_bSatellitesChanged},
        {"proprietaryValid", d.m_bProprietaryValid},
        {"utcTime", d.m_dUTCTime},
        {"northOffset", d.m_dNorthOffset},
        {"eastOffset", d.m_dEastOffset},
        {"proprietary", FixedText(d.m_szProprietary, sizeof d.m_szProprietary)},
        {"status", StatusJson(d.m_Status)},
    };
}

nlohmann::ordered_json RawEpochJson(const CGPSDataRaw& r) {
    nlohmann::ordered_json satellites = nlohmann::ordered_json::array();
    for (int i = 0; i < r.m_nNumSV && i < CGPSDataRaw::kSlots; ++i) {
        const auto& sv = r.m_Satellites[i];
        satellites.push_back({{"prn", sv.m_nPRN},
                              {"tag", sv.m_nTag},
                              {"range", sv.m_dRange},
                              {"phase", sv.m_dPhase},
                              {"doppler", sv.m_dDoppler},
                              {"valid", sv.m_bValid}});
    }
    return {
        {"type", "raw"},
        {"time", r.m_Time.GetTime()},
        {"latitude", r.m_dLatitude},
        {"longitude", r.m_dLongitude},
        {"height", r.m_dHeight},
        {"positionValid", r.m_bPositionValid},
        {"lastRecord", r.m_bLastRecord},
        {"receiverTime", r.m_dReceiverTime},
        {"correctedTime", r.m_dCorrectedTime},
        {"clockOffset", r.m_dClockOffset},
        {"clockDrift", r.m_dClockDrift},
        {"gpsWeek", r.m_nGPSWeek},
        {"numSv", r.m_nNumSV},
        {"satellites", satellites},
    };
}

nlohmann::ordered_json EphemerisJson(const CGPSDataEphemeris& e) {
    return {
        {"type", "ephemeris"}, {"prn", e.m_nPRN},       {"week", e.m_nWeek},         {"tow", e.m_nTOW},
        {"tgd", e.m_dTgd},     {"aodc", e.m_nAODC},     {"toc", e.m_nToc},           {"af2", e.m_dAf2},
        {"af1", e.m_dAf1},     {"af0", e.m_dAf0},       {"aode", e.m_nAODE},         {"deltaN", e.m_dDeltaN},
        {"m0", e.m_dM0},       {"e", e.m_dE},           {"rootA", e.m_dRootA},       {"toe", e.m_nToe},
        {"cic", e.m_dCic},     {"crc", e.m_dCrc},       {"cis", e.m_dCis},           {"crs", e.m_dCrs},
        {"cuc", e.m_dCuc},     {"cus", e.m_dCus},       {"omega0", e.m_dOmega0},     {"omega", e.m_dOmega},
        {"i0", e.m_dI0},       {"omegaDot", e.m_dOmegaDot}, {"iDot", e.m_dIDot},
    };
}

std::string EpochLine(const CGPSData& d) {
    const double t = d.m_dUTCTime;
    const int h = static_cast<int>(t / 3600.0);
    const int m = static_cast<int>((t - h * 3600.0) / 60.0);
    const double s = t - h * 3600.0 - m * 60.0;
    std::string flags;
    flags += d.m_bPositionValid ? 'P' : '-';
    flags += d.m_bVelocityValid ? 'V' : '-';
    flags += d.m_bDOPValid ? 'D' : '-';
    flags += d.m_bSVInfoValid ? 'S' : '-';
    flags += d.m_Status.m_bUpdated ? 'U' : '-';
    // Below walking speed the library reports no course; show none rather than "east".
    const std::string course = d.m_dSpeed > 0.0 ? Printf("%5.1f deg", Bearing(d.m_dCourse)) : "    - deg";
    std::string line = Printf("%02d:%02d:%05.2f %-9s %s %11.7f %12.7f %8.2f m %2d/%-2d HDOP %4.1f %6.2f m/s %s", h, m,
                              s, FixName(d.m_nFixStatus), flags.c_str(), d.m_dLatitude * kDeg, d.m_dLongitude * kDeg,
                              d.m_dAltitude, d.m_nSatellitesUsed, d.m_nSatellitesInView, d.m_dHDOP, d.m_dSpeed,
                              course.c_str());
    if (d.m_bProprietaryValid) {
        std::string text = FixedText(d.m_szProprietary, sizeof d.m_szProprietary);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        line += "  " + text;
    }
    if (d.m_Status.m_bAckReceived) line += "  ACK";
    return line;
}

std::string RawEpochLine(const CGPSDataRaw& r) {
    return Printf("raw  week %d tow %.3f s  %11.7f %12.7f %8.2f m  %d satellites  clock %.3f m", r.m_nGPSWeek,
                  r.m_dReceiverTime, r.m_dLatitude, r.m_dLongitude, r.m_dHeight, r.m_nNumSV, r.m_dClockOffset);
}

std::string EphemerisLine(const CGPSDataEphemeris& e) {
    return Printf("ephemeris  PRN %d week %d toe %d e %.6f sqrtA %.3f", e.m_nPRN, e.m_nWeek, e.m_nToe, e.m_dE,
                  e.m_dRootA);
}

void Printer::Emit(const nlohmann::ordered_json& object) {
    const std::string text = object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    std::fprintf(m_out, "%s\n", text.c_str());
}

void Printer::Epoch(const CGPSData& data) {
    ++epochs;
    if (data.m_bPositionValid) ++positions;
    if (m_json) {
        Emit(EpochJson(data));
    } else {
        std::fprintf(m_out, "%s\n", EpochLine(data).c_str());
    }
}

void Printer::RawEpoch(const CGPSDataRaw& raw) {
    ++rawEpochs;
    if (m_json) {
        Emit(RawEpochJson(raw));
    } else {
        std::fprintf(m_out, "%s\n", RawEpochLine(raw).c_str());
    }
}

void Printer::Ephemeris(const CGPSDataEphemeris& ephemeris) {
    ++ephemerides;
    if (m_json) {
        Emit(EphemerisJson(ephemeris));
    } else {
        std::fprintf(m_out, "%s\n", EphemerisLine(ephemeris).c_str());
    }
}

void Printer::Binary(const std::vector<unsigned>& words) {
    ++binaries;
    if (m_json) {
        Emit({{"type", "binary"}, {"words", words}});
    } else {
        std::fprintf(m_out, "binary  %zu words\n", words.size());
    }
}

void Printer::Text(const CString& text) {
    ++texts;
    CString line = text;
    line.TrimRight();
    if (m_json) {
        Emit({{"type", "text"}, {"text", ToUtf8(text)}});
    } else {
        std::fprintf(m_out, "text  %s\n", ToUtf8(line).c_str());
    }
}

}  // namespace tolvik::tool
