#include "tolvik/platform/CTime.h"

#include "tolvik/platform/Clock.h"

namespace tolvik {

CTime::CTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec) {
    std::tm tm{};
    tm.tm_year = nYear - 1900;
    tm.tm_mon = nMonth - 1;
    tm.tm_mday = nDay;
    tm.tm_hour = nHour;
    tm.tm_min = nMin;
    tm.tm_sec = nSec;
    tm.tm_isdst = -1;
    m_time = static_cast<std::int64_t>(std::mktime(&tm));
}

CTime CTime::GetCurrentTime() { return CTime(platform::GetClock().Now()); }

std::tm CTime::GetLocalTm() const {
    std::tm tm{};
    const std::time_t t = static_cast<std::time_t>(m_time);
    localtime_r(&t, &tm);
    return tm;
}

std::tm CTime::GetGmtTm() const {
    std::tm tm{};
    const std::time_t t = static_cast<std::time_t>(m_time);
    gmtime_r(&t, &tm);
    return tm;
}

}  // namespace tolvik
