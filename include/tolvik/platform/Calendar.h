// Calendar arithmetic without the C library: proleptic Gregorian dates as days since
// 1970-01-01, and GPS time (weeks and seconds since 1980-01-06 00:00, no leap seconds).
//
// Receivers give dates as day, month and year, and raw data as GPS week and seconds of the
// week; the RINEX writer, the tool's timestamps and the sample generators all convert between
// them. The host's gmtime and timegm would work, but they depend on the host's time zone set-up
// and stop at the range of time_t; these never do.
#pragma once

#include <cstdint>

namespace tolvik {

struct CivilDate {
    int year = 1970;
    int month = 1;  // 1 to 12
    int day = 1;    // 1 to 31
};

// Days since 1970-01-01 of a date (negative before it); the algorithm of H. Hinnant's
// "chrono-Compatible Low-Level Date Algorithms".
constexpr std::int64_t DaysFromCivil(const CivilDate& date) {
    const std::int64_t y = date.year - (date.month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * ((date.month + 9) % 12) + 2) / 5 + date.day - 1;
    return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

constexpr CivilDate CivilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    CivilDate date;
    date.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    date.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    date.year = static_cast<int>(yoe + era * 400 + (date.month <= 2 ? 1 : 0));
    return date;
}

inline constexpr std::int64_t kSecondsPerDay = 86400;
inline constexpr std::int64_t kSecondsPerGpsWeek = 7 * kSecondsPerDay;
// The first day of GPS week 0, in days since 1970-01-01.
inline constexpr std::int64_t kGpsEpochDay = DaysFromCivil(CivilDate{1980, 1, 6});
// GPS time minus UTC since the leap second at the end of 2016.
inline constexpr int kGpsMinusUtcSeconds = 18;

// Seconds since the GPS epoch of a UTC moment (leap seconds as since 2017).
constexpr double GpsSecondsOfUtc(const CivilDate& date, double utcSecondOfDay) {
    const std::int64_t days = DaysFromCivil(date) - kGpsEpochDay;
    return static_cast<double>(days) * static_cast<double>(kSecondsPerDay) + utcSecondOfDay + kGpsMinusUtcSeconds;
}

}  // namespace tolvik
