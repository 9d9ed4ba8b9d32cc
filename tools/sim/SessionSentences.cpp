#include "SessionSentences.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "Nmea.h"
#include "SkyModel.h"

namespace tolvik::sim {

namespace {

constexpr double kMetresPerKnotSecond = 1852.0 / 3600.0;

__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return std::string(buffer, n < 0 ? 0 : std::min(static_cast<std::size_t>(n), sizeof buffer - 1));
}

// "ddmm.mmmm,N" or "dddmm.mmmm,W" (ten-thousandths of a minute).
std::string AngleField(double degrees, int degreeDigits, char positive, char negative) {
    const long long units = std::llround(std::fabs(degrees) * 600000.0);
    const long long minutes = units % 600000;
    return Format("%0*lld%02lld.%04lld,%c", degreeDigits, units / 600000, minutes / 10000, minutes % 10000,
                  degrees < 0.0 ? negative : positive);
}

std::string CourseField(double degrees) {
    const long long tenths = std::llround(Wrap360(degrees) * 10.0) % 3600;
    return Format("%03lld.%lld", tenths / 10, tenths % 10);
}

std::string DateField(const CivilDate& date) { return Format("%02d%02d%02d", date.day, date.month, date.year % 100); }

std::string Sentence(const std::string& body) { return NmeaWithChecksum(body); }

const char* ModeLetter(int quality) {
    switch (quality) {
        case 1:
            return "A";
        case 2:
            return "D";
        case 4:
            return "R";
        case 5:
            return "F";
        default:
            return "N";
    }
}

const char* ModeName(int quality) {
    switch (quality) {
        case 1:
            return "GPS";
        case 2:
            return "DGPS";
        case 4:
            return "FIXED";
        case 5:
            return "FLOAT";
        default:
            return "NOFIX";
    }
}

constexpr double kMagneticVariation = -9.8;  // degrees, west

// $GPRMC,094312.00,A,6407.6980,N,02151.4200,W,013.6,164.2,140325,9.8,W,R*hh
std::string Rmc(const SessionEpoch& e) {
    const std::string time = TimeField(e.utcSecondOfDay), date = DateField(e.date);
    if (!e.HasFix()) return Sentence("GPRMC," + time + ",V,,,,,,," + date + ",,,N");
    return Sentence("GPRMC," + time + ",A," + AngleField(e.latitude, 2, 'N', 'S') + "," +
                    AngleField(e.longitude, 3, 'E', 'W') + "," + Format("%05.1f", e.speed / kMetresPerKnotSecond) +
                    "," + CourseField(e.course) + "," + date +
                    Format(",%.1f,%c,", std::fabs(kMagneticVariation), kMagneticVariation < 0.0 ? 'W' : 'E') +
                    ModeLetter(e.quality));
}

// $GPVTG,164.2,T,174.0,M,013.6,N,025.2,K,R*hh
std::string Vtg(const SessionEpoch& e) {
    if (!e.HasFix()) return Sentence("GPVTG,,T,,M,,N,,K,N");
    return Sentence("GPVTG," + CourseField(e.course) + ",T," + CourseField(e.course - kMagneticVariation) + ",M," +
                    Format("%05.1f,N,%05.1f,K,", e.speed / kMetresPerKnotSecond, e.speed * 3.6) +
                    ModeLetter(e.quality));
}

// $GPGGA,094312.00,6407.6980,N,02151.4200,W,4,09,0.98,24.6,M,65.8,M,0.7,0042*hh
std::string Gga(const SessionEpoch& e) {
    const std::string time = TimeField(e.utcSecondOfDay);
    if (!e.HasFix()) return Sentence("GPGGA," + time + ",,,,,0,00,99.99,,,,,,");
    std::string correction = ",";
    if (e.quality == 2) correction = Format("%.1f,0120", e.correctionAge);
    if (e.quality == 4 || e.quality == 5) correction = Format("%.1f,0042", e.correctionAge);
    return Sentence(
        "GPGGA," + time + "," + AngleField(e.latitude, 2, 'N', 'S') + "," + AngleField(e.longitude, 3, 'E', 'W') +
        Format(",%d,%02d,%.2f,%.1f,M,%.1f,M,", e.quality, e.satellitesUsed, e.hdop, e.altitude, e.geoidSeparation) +
        correction);
}

// $GPGSA,A,3,02,05,07,12,19,25,30,,,,,,1.71,0.98,1.40*hh
std::string Gsa(const SessionEpoch& e) {
    std::string body = e.HasFix() ? "GPGSA,A,3" : "GPGSA,A,1";
    int listed = 0;
    for (const SatelliteView& s : e.satellites)
        if (s.used) body += Format(",%02d", s.prn), ++listed;
    for (; listed < 12; ++listed) body += ",";
    return Sentence(body + Format(",%.2f,%.2f,%.2f", e.pdop, e.hdop, e.vdop));
}

// $GPGSV,3,1,11,02,48,113,44,05,23,061,38,07,71,204,46,12,05,318,*hh
std::vector<std::string> Gsv(const SessionEpoch& e) {
    const int count = static_cast<int>(e.satellites.size());
    const int total = std::max(1, (count + 3) / 4);
    std::vector<std::string> group;
    for (int n = 1; n <= total; ++n) {
        std::string body = Format("GPGSV,%d,%d,%02d", total, n, count);
        for (int i = 4 * (n - 1); i < std::min(count, 4 * n); ++i) {
            const SatelliteView& s = e.satellites[static_cast<std::size_t>(i)];
            body += Format(",%02d,%02ld,%03ld,", s.prn, std::lround(s.elevation), std::lround(s.azimuth) % 360);
            if (s.snr > 0) body += Format("%02d", s.snr);
        }
        group.push_back(Sentence(body));
    }
    return group;
}

// $PGRME,1.9,M,3.3,M,3.8,M*hh (Garmin-style estimated errors, metres)
std::string Pgrme(const SessionEpoch& e) {
    return Sentence(Format("PGRME,%.1f,M,%.1f,M,%.1f,M", e.horizontalError, e.verticalError, e.sphericalError));
}

// $PTLVK,STAT,FIXED,11,0.7*hh (our own status sentence: mode, satellites heard, correction age)
std::string Ptlvk(const SessionEpoch& e) {
    int heard = 0;
    for (const SatelliteView& s : e.satellites) heard += s.snr > 0 ? 1 : 0;
    const std::string age = e.correctionAge > 0.0 ? Format("%.1f", e.correctionAge) : "";
    return Sentence(Format("PTLVK,STAT,%s,%02d,", ModeName(e.quality), heard) + age);
}

}  // namespace

std::string TimeField(double secondOfDay) {
    const long long cs = std::llround(secondOfDay * 100.0) % (86400LL * 100);
    return Format("%02lld%02lld%02lld.%02lld", cs / 360000, cs / 6000 % 60, cs / 100 % 60, cs % 100);
}

std::string PauseLine(const SessionEpoch& e) {
    return "VEK PAUSE,Sample session paused before " + TimeField(e.utcSecondOfDay).substr(0, 6) + " UTC";
}

void AppendSentences(std::vector<std::string>& lines, const SessionEpoch& e, int previousQuality) {
    lines.push_back(Rmc(e));
    lines.push_back(Vtg(e));
    lines.push_back(Gga(e));
    lines.push_back(Gsa(e));
    for (std::string& s : Gsv(e)) lines.push_back(std::move(s));
    if (e.HasFix() && e.index % 5 == 0) lines.push_back(Pgrme(e));
    if (e.quality != previousQuality || e.index % 30 == 0) lines.push_back(Ptlvk(e));
}

std::string RawNmea(const RawEpoch& epoch, const RawSessionOptions& options, double hdop, const CivilDate& date) {
    const std::string time = TimeField(epoch.utcSecondOfDay);
    std::string out;
    out += Sentence("GPGGA," + time + "," + AngleField(epoch.latitude, 2, 'N', 'S') + "," +
                    AngleField(epoch.longitude, 3, 'E', 'W') +
                    Format(",1,%02d,%.2f,%.1f,M,%.1f,M,,", static_cast<int>(epoch.measurements.size()), hdop,
                           epoch.height - options.geoidSeparation, options.geoidSeparation)) +
           "\r\n";
    out += Sentence("GPVTG,000.0,T,009.8,M,000.0,N,000.0,K,A") + "\r\n";
    out += Sentence("GPZDA," + time + Format(",%02d,%02d,%04d,00,00", date.day, date.month, date.year)) + "\r\n";
    return out;
}

}  // namespace tolvik::sim
