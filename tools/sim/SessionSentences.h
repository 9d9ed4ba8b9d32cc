// The sentences of the sample sessions (SessionGenerator.h): what a receiver writes for the
// values of an epoch, rounded as receivers round them.
#pragma once

#include <string>
#include <vector>

#include "SessionGenerator.h"

namespace tolvik::sim {

// "hhmmss.ss" of a UTC second of the day.
std::string TimeField(double secondOfDay);

// The NMEA session's sentences of one epoch: RMC, VTG, GGA, GSA and the GSV group, every fifth
// epoch with a fix a "$PGRME", and a "$PTLVK" status when the fix changes or every 30 epochs.
void AppendSentences(std::vector<std::string>& lines, const SessionEpoch& e, int previousQuality);

// The "VEK PAUSE" line before an epoch.
std::string PauseLine(const SessionEpoch& e);

// The raw session's GGA, VTG and ZDA of one epoch, each with "\r\n".
std::string RawNmea(const RawEpoch& epoch, const RawSessionOptions& options, double hdop, const CivilDate& date);

}  // namespace tolvik::sim
