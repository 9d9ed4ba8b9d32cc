// The UTC date of a fix. Epochs carry the time of day only; the date comes from the latest RMC
// or ZDA sentence the receiver sent, and before the first one from the host clock's UTC date.
#pragma once

#include <cstdint>
#include <string_view>

namespace tolvik::output {

struct CivilDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

class FixDate {
public:
    // Takes the date of an RMC or ZDA sentence with a valid checksum; ignores everything else.
    void Observe(std::string_view sentence);
    // The receiver's latest date, else today's UTC date by the clock seam.
    CivilDate Date() const;
    bool FromReceiver() const { return m_known; }

private:
    CivilDate m_date;
    bool m_known = false;
};

// "2025-03-14T10:02:00.000Z": the date and the time of day (seconds since midnight, rounded to
// the millisecond). Writes 24 characters to out and returns how many.
int IsoTime(const CivilDate& date, double secondsOfDay, char* out);

// Days since 1970-01-01 and back (proleptic Gregorian).
std::int64_t DaysFromCivil(const CivilDate& date);
CivilDate CivilFromDays(std::int64_t days);

}  // namespace tolvik::output
