// The UTC date of a fix. Epochs carry the time of day only; the date comes from the latest RMC
// or ZDA sentence the receiver sent, and before the first one from the host clock's UTC date.
#pragma once

#include <cstdint>
#include <string_view>

#include "tolvik/platform/Calendar.h"

namespace tolvik::output {

using tolvik::CivilDate;
using tolvik::CivilFromDays;
using tolvik::DaysFromCivil;

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

}  // namespace tolvik::output
