// CTime: a point in time in whole seconds since 1970-01-01 UTC.
//
// The current time is read through the clock seam (Clock.h), so tests that set the clock see
// their own time in every record stamp and file name. The value is 64 bits wide: a 32-bit
// count of seconds runs out in January 2038, well within the service life of field equipment.
#pragma once

#include <compare>
#include <cstdint>
#include <ctime>

namespace tolvik {

class CTime {
public:
    CTime() = default;
    explicit CTime(std::int64_t t) : m_time(t) {}
    // A local calendar time (month 1-12); normalised like mktime.
    CTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec);

    static CTime GetCurrentTime();

    std::int64_t GetTime() const { return m_time; }

    // Broken-down fields; the plain getters are local time, as the host's clock shows it.
    std::tm GetLocalTm() const;
    std::tm GetGmtTm() const;
    int GetYear() const { return GetLocalTm().tm_year + 1900; }
    int GetMonth() const { return GetLocalTm().tm_mon + 1; }
    int GetDay() const { return GetLocalTm().tm_mday; }
    int GetHour() const { return GetLocalTm().tm_hour; }
    int GetMinute() const { return GetLocalTm().tm_min; }
    int GetSecond() const { return GetLocalTm().tm_sec; }
    int GetDayOfWeek() const { return GetLocalTm().tm_wday + 1; }  // 1 = Sunday

    friend std::int64_t operator-(const CTime& a, const CTime& b) { return a.m_time - b.m_time; }
    friend auto operator<=>(const CTime&, const CTime&) = default;

private:
    std::int64_t m_time = 0;
};

static_assert(sizeof(CTime) == 8);

}  // namespace tolvik
