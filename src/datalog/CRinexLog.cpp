#include "tolvik/datalog/CRinexLog.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <numbers>

#include "tolvik/platform/CTime.h"
#include "tolvik/platform/Calendar.h"

namespace tolvik {

namespace rinex {

namespace {

constexpr double kSecondsPerWeek = 604800.0;
constexpr double kHalfWeek = kSecondsPerWeek / 2.0;
constexpr int kMaxPrn = 32;
constexpr int kExponentWidth = 19;             // D19.12
constexpr int kObservationWidth = 14;          // F14.3, then the loss-of-lock and strength digits
constexpr const char* kVersion = "     3.04";  // F9.2
// The receiver's units of the SNV record to RINEX units.
constexpr double kSemicircle = std::numbers::pi;                // radians
constexpr double kSemicirclePerMs = std::numbers::pi * 1000.0;  // radians per second

std::string PadRight(std::string_view text, std::size_t width) {
    std::string s(text.substr(0, width));
    s.resize(width, ' ');
    return s;
}

std::string PadLeft(std::string_view text, std::size_t width) {
    return text.size() >= width ? std::string(text) : std::string(width - text.size(), ' ') + std::string(text);
}

std::string TwoDigits(int value) {
    const char digits[] = {static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10), '\0'};
    return digits;
}

// The week a reference time of week belongs to, given the week of a time of week near it.
int WeekOf(int week, double reference, double timeOfWeek) {
    if (reference - timeOfWeek > kHalfWeek) return week - 1;
    if (reference - timeOfWeek < -kHalfWeek) return week + 1;
    return week;
}

std::string EpochFields(const Calendar& c) {
    return Integer(c.year, 4) + " " + TwoDigits(c.month) + " " + TwoDigits(c.day) + " " + TwoDigits(c.hour) + " " +
           TwoDigits(c.minute);
}

std::string Orbit(double a, double b, double c, double d) {
    return "    " + Exponent(a) + Exponent(b) + Exponent(c) + Exponent(d);
}

void TrimRight(std::string& s) { s.erase(s.find_last_not_of(' ') + 1); }

}  // namespace

std::string Fixed(double value, int width, int decimals) {
    const auto w = static_cast<std::size_t>(width);
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (!std::isfinite(value) || ec != std::errc()) return std::string(w, ' ');
    std::string text(buffer, end);
    if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);  // no "-0.000"
    return text.size() > w ? std::string(w, ' ') : PadLeft(text, w);
}

std::string Integer(long long value, int width) {
    const auto w = static_cast<std::size_t>(width);
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
    return text.size() > w ? std::string(w, ' ') : PadLeft(text, w);
}

std::string Exponent(double value) {
    if (!std::isfinite(value) || std::fabs(value) >= 1e100) return std::string(kExponentWidth, ' ');
    if (std::fabs(value) < 1e-99) value = 0.0;
    char buffer[40];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 12).ptr;
    std::string text(buffer, end);
    text[text.find('e')] = 'D';
    return PadLeft(text, kExponentWidth);
}

std::string HeaderLine(std::string_view content, std::string_view label) {
    return PadRight(content, 60) + PadRight(label, 20);
}

Calendar CalendarOf(int week, double secondOfWeek) {
    constexpr long long kTicksPerSecond = 10000000;  // 0.1 us, the finest the epoch line shows
    constexpr long long kTicksPerDay = 86400 * kTicksPerSecond;
    const auto ticks = std::llround(secondOfWeek * static_cast<double>(kTicksPerSecond));
    const long long days = ticks >= 0 ? ticks / kTicksPerDay : (ticks - kTicksPerDay + 1) / kTicksPerDay;
    const long long ofDay = ticks - days * kTicksPerDay;
    Calendar c;
    const CivilDate date = CivilFromDays(kGpsEpochDay + 7 * static_cast<std::int64_t>(week) + days);
    c.year = date.year;
    c.month = date.month;
    c.day = date.day;
    c.hour = static_cast<int>(ofDay / (3600 * kTicksPerSecond));
    c.minute = static_cast<int>(ofDay / (60 * kTicksPerSecond) % 60);
    c.second = static_cast<double>(ofDay % (60 * kTicksPerSecond)) / static_cast<double>(kTicksPerSecond);
    return c;
}

void GeodeticToEcef(double latDegrees, double lonDegrees, double height, double& x, double& y, double& z) {
    constexpr double a = 6378137.0;
    constexpr double f = 1.0 / 298.257223563;
    constexpr double e2 = f * (2.0 - f);
    const double lat = latDegrees * std::numbers::pi / 180.0, lon = lonDegrees * std::numbers::pi / 180.0;
    const double n = a / std::sqrt(1.0 - e2 * std::sin(lat) * std::sin(lat));
    x = (n + height) * std::cos(lat) * std::cos(lon);
    y = (n + height) * std::cos(lat) * std::sin(lon);
    z = (n * (1.0 - e2) + height) * std::sin(lat);
}

std::vector<std::string> ObservationHeaderLines(const ObservationHeader& h) {
    const Calendar& t = h.firstObservation;
    std::vector<std::string> lines = {
        HeaderLine(kVersion + std::string(11, ' ') + PadRight("OBSERVATION DATA", 20) + "G: GPS",
                   "RINEX VERSION / TYPE"),
        HeaderLine(PadRight(h.program, 20) + PadRight(h.runBy, 20) + h.date, "PGM / RUN BY / DATE"),
        HeaderLine(h.markerName, "MARKER NAME"),
        HeaderLine("NON_GEODETIC", "MARKER TYPE"),
        HeaderLine("", "OBSERVER / AGENCY"),
        HeaderLine(std::string(20, ' ') + PadRight(h.receiverType, 20) + h.receiverVersion, "REC # / TYPE / VERS"),
        HeaderLine("", "ANT # / TYPE"),
        HeaderLine(Fixed(h.x, 14, 4) + Fixed(h.y, 14, 4) + Fixed(h.z, 14, 4), "APPROX POSITION XYZ"),
        HeaderLine(Fixed(h.antennaHeight, 14, 4) + Fixed(0.0, 14, 4) + Fixed(0.0, 14, 4), "ANTENNA: DELTA H/E/N"),
        HeaderLine("G    3 C1C L1C D1C", "SYS / # / OBS TYPES"),
    };
    if (h.interval > 0.0) lines.push_back(HeaderLine(Fixed(h.interval, 10, 3), "INTERVAL"));
    lines.push_back(HeaderLine(Integer(t.year, 6) + Integer(t.month, 6) + Integer(t.day, 6) + Integer(t.hour, 6) +
                                   Integer(t.minute, 6) + Fixed(t.second, 13, 7) + "     GPS",
                               "TIME OF FIRST OBS"));
    lines.push_back(HeaderLine("G L1C " + Fixed(0.0, 8, 5), "SYS / PHASE SHIFT"));
    lines.push_back(HeaderLine("", "END OF HEADER"));
    return lines;
}

std::vector<std::string> NavigationHeaderLines(std::string_view program, std::string_view runBy,
                                               std::string_view date) {
    return {HeaderLine(kVersion + std::string(11, ' ') + PadRight("N: GNSS NAV DATA", 20) + "G: GPS",
                       "RINEX VERSION / TYPE"),
            HeaderLine(PadRight(program, 20) + PadRight(runBy, 20) + std::string(date), "PGM / RUN BY / DATE"),
            HeaderLine("", "END OF HEADER")};
}

std::vector<std::string> ObservationRecord(const CGPSDataRaw& epoch) {
    std::vector<std::string> lines(1);
    const int n = std::min(epoch.m_nNumSV, CGPSDataRaw::kSlots);
    for (int i = 0; i < n; ++i) {
        const CGPSSatelliteDataRaw& sv = epoch.m_Satellites[i];
        if (!sv.m_bValid || sv.m_nPRN < 1 || sv.m_nPRN > kMaxPrn) continue;
        std::string line = "G" + TwoDigits(sv.m_nPRN);
        for (const double value : {sv.m_dRange, sv.m_dPhase, sv.m_dDoppler}) {
            // Loss-of-lock and signal-strength digits stay blank: the records carry neither.
            line += (value == 0.0 ? std::string(kObservationWidth, ' ') : Fixed(value, kObservationWidth, 3)) + "  ";
        }
        TrimRight(line);
        lines.push_back(std::move(line));
    }
    if (lines.size() == 1) return {};
    const Calendar t = CalendarOf(epoch.m_nGPSWeek, epoch.m_dReceiverTime);
    lines[0] =
        "> " + EpochFields(t) + Fixed(t.second, 11, 7) + "  0" + Integer(static_cast<long long>(lines.size() - 1), 3);
    return lines;
}

std::vector<std::string> NavigationRecord(const CGPSDataEphemeris& e) {
    const int tocWeek = WeekOf(e.m_nWeek, e.m_nToc, e.m_nTOW);
    const int toeWeek = WeekOf(e.m_nWeek, e.m_nToe, e.m_nTOW);
    const Calendar toc = CalendarOf(tocWeek, e.m_nToc);
    const double transmission = e.m_nTOW + (e.m_nWeek - toeWeek) * kSecondsPerWeek;
    return {
        "G" + TwoDigits(e.m_nPRN) + " " + EpochFields(toc) + " " + TwoDigits(static_cast<int>(toc.second)) +
            Exponent(e.m_dAf0) + Exponent(e.m_dAf1) + Exponent(e.m_dAf2),
        Orbit(e.m_nAODE, e.m_dCrs, e.m_dDeltaN * kSemicirclePerMs, e.m_dM0 * kSemicircle),
        Orbit(e.m_dCuc, e.m_dE, e.m_dCus, e.m_dRootA),
        Orbit(e.m_nToe, e.m_dCic, e.m_dOmega0 * kSemicircle, e.m_dCis),
        Orbit(e.m_dI0 * kSemicircle, e.m_dCrc, e.m_dOmega * kSemicircle, e.m_dOmegaDot * kSemicirclePerMs),
        // Codes on L2 and the L2 P data flag are not in the record: 0.
        Orbit(e.m_dIDot * kSemicirclePerMs, 0.0, toeWeek, 0.0),
        // Accuracy and health are not decoded: 0 m (best index) and healthy; fit interval unknown: 0.
        Orbit(0.0, 0.0, e.m_dTgd, e.m_nAODC),
        "    " + Exponent(transmission) + Exponent(0.0),
    };
}

}  // namespace rinex

// ---------------------------------------------------------------------------------------------

CRinexLog::~CRinexLog() { CRinexLog::Close(); }

CString CRinexLog::GetNavigationFilename() const {
    std::string name = m_strFilename.ToBytes();
    const std::string obs = CString(kObservationExtension).ToBytes();
    if (name.size() >= obs.size() && name.compare(name.size() - obs.size(), obs.size(), obs) == 0)
        name.resize(name.size() - obs.size());
    return CString::FromBytes(name) + kNavigationExtension;
}

std::string CRinexLog::CreationDate() const {
    const std::tm t = CTime::GetCurrentTime().GetGmtTm();
    return rinex::Integer(t.tm_year + 1900, 4) + rinex::TwoDigits(t.tm_mon + 1) + rinex::TwoDigits(t.tm_mday) + " " +
           rinex::TwoDigits(t.tm_hour) + rinex::TwoDigits(t.tm_min) + rinex::TwoDigits(t.tm_sec) + " UTC";
}

bool CRinexLog::Open() {
    Close();
    m_strError.clear();
    if (m_strFilename.IsEmpty()) {
        m_strError = "no file name";
        return false;
    }
    m_strObsName = m_strFilename.ToBytes();
    m_strNavName = GetNavigationFilename().ToBytes();
    m_pObs = std::fopen(m_strObsName.c_str(), "we");
    if (!m_pObs) {
        m_strError = m_strObsName + ": " + std::strerror(errno);
        return false;
    }
    m_pNav = std::fopen(m_strNavName.c_str(), "we");
    if (!m_pNav) {
        m_strError = m_strNavName + ": " + std::strerror(errno);
        std::fclose(m_pObs);
        m_pObs = nullptr;
        std::remove(m_strObsName.c_str());  // an empty file of a log that never started
        return false;
    }
    if (m_strMarker.empty()) {
        const std::size_t slash = m_strObsName.find_last_of("/\\");
        const std::string file = slash == std::string::npos ? m_strObsName : m_strObsName.substr(slash + 1);
        m_strMarker = file.substr(0, file.rfind('.'));
    }
    m_bHeaderWritten = false;
    m_nEpochs = m_nEphemerides = 0;
    m_dLastEpoch = -1.0;
    m_Issues.clear();
    SetTimeMark();
    if (!WriteLines(m_pNav, m_strNavName, rinex::NavigationHeaderLines(m_strProgram, "", CreationDate()))) {
        Close();
        return false;
    }
    return true;
}

void CRinexLog::Close() {
    for (auto [file, name] : {std::pair{&m_pObs, &m_strObsName}, std::pair{&m_pNav, &m_strNavName}}) {
        if (*file && std::fclose(*file) != 0 && m_strError.empty()) m_strError = *name + ": " + std::strerror(errno);
        *file = nullptr;
    }
}

bool CRinexLog::WriteLines(std::FILE* pFile, const std::string& name, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        if (std::fputs(line.c_str(), pFile) == EOF || std::fputc('\n', pFile) == EOF) break;
    }
    // Flushed at once: a host that dies mid-session leaves complete records behind.
    if (std::fflush(pFile) == 0 && !std::ferror(pFile)) return true;
    m_strError = name + ": " + std::strerror(errno ? errno : EIO);
    return false;
}

bool CRinexLog::LogEpoch(const CGPSDataRaw& epoch) {
    if (!m_pObs || !epoch.m_bPositionValid) return false;
    const double t = epoch.m_nGPSWeek * 604800.0 + epoch.m_dReceiverTime;
    // Epochs go out at the logging interval and in time order, as the format requires.
    if (m_dLastEpoch >= 0.0 && t - m_dLastEpoch + 1e-6 < std::max(m_dLogInterval, 1e-6)) return false;
    const std::vector<std::string> record = rinex::ObservationRecord(epoch);
    if (record.empty()) return false;
    if (!m_bHeaderWritten) {
        rinex::ObservationHeader h;
        h.program = m_strProgram;
        h.date = CreationDate();
        h.markerName = m_strMarker;
        h.receiverType = m_strReceiver;
        rinex::GeodeticToEcef(epoch.m_dLatitude, epoch.m_dLongitude, epoch.m_dHeight, h.x, h.y, h.z);
        h.antennaHeight = m_dAntennaHeight;
        h.interval = m_dLogInterval;
        h.firstObservation = rinex::CalendarOf(epoch.m_nGPSWeek, epoch.m_dReceiverTime);
        if (!WriteLines(m_pObs, m_strObsName, rinex::ObservationHeaderLines(h))) return false;
        m_bHeaderWritten = true;
    }
    if (!WriteLines(m_pObs, m_strObsName, record)) return false;
    m_dLastEpoch = t;
    ++m_nEpochs;
    return true;
}

bool CRinexLog::LogEphemeris(const CGPSDataEphemeris& e) {
    if (!m_pNav || e.m_nWeek < 1 || e.m_nPRN < 1 || e.m_nPRN > 32) return false;
    if (!m_Issues.insert({e.m_nPRN, e.m_nAODE, e.m_nToe}).second) return false;
    if (!WriteLines(m_pNav, m_strNavName, rinex::NavigationRecord(e))) return false;
    ++m_nEphemerides;
    return true;
}

}  // namespace tolvik
