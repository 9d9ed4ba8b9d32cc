#include "Text.h"

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <numbers>

namespace tolvik::output {

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

std::string FixedText(const char* bytes, std::size_t max) {
    std::size_t n = 0;
    while (n < max && bytes[n] != '\0') ++n;
    return ToUtf8(CString::FromBytes(bytes, static_cast<int>(n)));
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
    std::string line =
        Printf("%02d:%02d:%05.2f %-9s %s %11.7f %12.7f %8.2f m %2d/%-2d HDOP %4.1f %6.2f m/s %s", h, m, s,
               FixName(d.m_nFixStatus), flags.c_str(), d.m_dLatitude * kDeg, d.m_dLongitude * kDeg, d.m_dAltitude,
               d.m_nSatellitesUsed, d.m_nSatellitesInView, d.m_dHDOP, d.m_dSpeed, course.c_str());
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

}  // namespace tolvik::output
