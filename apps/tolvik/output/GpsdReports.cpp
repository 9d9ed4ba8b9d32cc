#include "GpsdReports.h"

#include <cmath>
#include <numbers>

namespace tolvik::output {

namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;
constexpr int kMinSatellites3D = 4;

// gpsd prints these many decimals; rounding to them keeps the shortest text short.
constexpr int kAngleDecimals = 9;
constexpr int kHeightDecimals = 4;
constexpr int kSpeedDecimals = 3;
constexpr int kTrackDecimals = 4;
constexpr int kDopDecimals = 2;
constexpr int kSkyAngleDecimals = 1;
constexpr int kErrorDecimals = 3;

// Course counter-clockwise from east (the library's convention) as a bearing from true north.
double TrackDegrees(double course) {
    const double bearing = std::fmod(90.0 - course * kDegrees, 360.0);
    return bearing < 0 ? bearing + 360.0 : bearing;
}

bool Listed(const CGPSSatelliteData& sv) { return sv.m_nPRN != 0 && sv.m_bInView; }

std::string_view WithoutLineEnd(std::string_view line) { return line.substr(0, line.size() - 1); }

}  // namespace

int GpsdMode(const CGPSData& d) {
    if (!d.m_bPositionValid || d.m_nFixStatus == UDF_SIGNAL_NONE) return 1;
    return d.m_nSatellitesUsed >= kMinSatellites3D || d.m_nSatellitesUsed == 0 ? 3 : 2;
}

int GpsdStatus(int nFixStatus) {
    switch (nFixStatus) {
        case UDF_SIGNAL_GPS:
            return 1;
        case UDF_SIGNAL_CORRECTED_GPS:
        case UDF_SIGNAL_WAAS:
        case UDF_SIGNAL_RTK_CODE:
            return 2;
        case UDF_SIGNAL_RTK_FIXED:
            return 3;
        case UDF_SIGNAL_RTK_FLOAT:
            return 4;
        case UDF_SIGNAL_CALCULATED:
            return 5;
        case UDF_SIGNAL_MANUAL:
        case UDF_SIGNAL_POSTPROCESSED:
            return 7;
        default:
            return 0;
    }
}

bool SameSatellites(const CGPSData& a, const CGPSData& b) {
    for (int i = 0; i < CGPSData::kMaxSatellites; ++i) {
        const CGPSSatelliteData& x = a.m_Satellites[i];
        const CGPSSatelliteData& y = b.m_Satellites[i];
        if (Listed(x) != Listed(y)) return false;
        if (!Listed(x)) continue;
        if (x.m_nPRN != y.m_nPRN || x.m_dElevation != y.m_dElevation || x.m_dAzimuth != y.m_dAzimuth ||
            x.m_nSNR != y.m_nSNR || x.m_bUsed != y.m_bUsed || x.m_bInView != y.m_bInView) {
            return false;
        }
    }
    return true;
}

void GpsdReporter::Epoch(const CGPSData& data, Sink& sink) {
    if (data.m_bPositionValid) {
        WriteTpv(data);
        const std::string_view line = m_json.End();
        m_lastTpv.assign(WithoutLineEnd(line));
        sink.Write(line);
    }
    // Until a whole GSV group arrived the table holds only what GSA said is used: no sky yet.
    if (data.m_bSVInfoValid && (!m_haveSky || !SameSatellites(data, m_lastSatellites))) {
        WriteSky(data);
        const std::string_view line = m_json.End();
        m_lastSky.assign(WithoutLineEnd(line));
        sink.Write(line);
        std::copy(std::begin(data.m_Satellites), std::end(data.m_Satellites),
                  std::begin(m_lastSatellites.m_Satellites));
        m_haveSky = true;
    }
}

void GpsdReporter::WriteTpv(const CGPSData& d) {
    JsonLine& j = m_json;
    j.Begin();
    j.Field("class", "TPV");
    j.Field("device", m_device);
    const int mode = GpsdMode(d);
    if (mode > 1) j.Field("status", GpsdStatus(d.m_nFixStatus));
    j.Field("mode", mode);
    char time[32];
    const int n = IsoTime(m_date.Date(), d.m_dUTCTime, time);
    j.Field("time", std::string_view(time, static_cast<std::size_t>(n)));
    if (mode > 1) {
        j.Key("lat").Rounded(d.m_dLatitude * kDegrees, kAngleDecimals);
        j.Key("lon").Rounded(d.m_dLongitude * kDegrees, kAngleDecimals);
        j.Key("alt").Rounded(d.m_dAltitude, kHeightDecimals);
        j.Key("altMSL").Rounded(d.m_dAltitude, kHeightDecimals);
        if (d.m_dHorzError > 0.0) j.Key("eph").Rounded(d.m_dHorzError, kErrorDecimals);
        if (d.m_dVertError > 0.0) j.Key("epv").Rounded(d.m_dVertError, kErrorDecimals);
        if (d.m_dPosError > 0.0) j.Key("sep").Rounded(d.m_dPosError, kErrorDecimals);
        if (d.m_bVelocityValid) {
            if (d.m_dSpeed > 0.0) j.Key("track").Rounded(TrackDegrees(d.m_dCourse), kTrackDecimals);
            j.Key("speed").Rounded(d.m_dSpeed, kSpeedDecimals);
        }
    }
}

void GpsdReporter::WriteSky(const CGPSData& d) {
    JsonLine& j = m_json;
    j.Begin();
    j.Field("class", "SKY");
    j.Field("device", m_device);
    if (d.m_dHDOP > 0.0) j.Key("hdop").Rounded(d.m_dHDOP, kDopDecimals);
    if (d.m_dVDOP > 0.0) j.Key("vdop").Rounded(d.m_dVDOP, kDopDecimals);
    if (d.m_dPDOP > 0.0) j.Key("pdop").Rounded(d.m_dPDOP, kDopDecimals);
    int listed = 0;
    int used = 0;
    for (const auto& sv : d.m_Satellites) {
        if (!Listed(sv)) continue;
        ++listed;
        if (sv.m_bUsed) ++used;
    }
    j.Field("nSat", listed);
    j.Field("uSat", used);
    j.Key("satellites").StartArray();
    for (const auto& sv : d.m_Satellites) {
        if (!Listed(sv)) continue;
        j.StartObject();
        j.Field("PRN", sv.m_nPRN);
        j.Key("el").Rounded(sv.m_dElevation * kDegrees, kSkyAngleDecimals);
        j.Key("az").Rounded(sv.m_dAzimuth * kDegrees, kSkyAngleDecimals);
        j.Field("ss", sv.m_nSNR);
        j.Field("used", sv.m_bUsed);
        j.EndObject();
    }
    j.EndArray();
}

}  // namespace tolvik::output
