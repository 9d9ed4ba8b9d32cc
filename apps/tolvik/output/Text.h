// Readable text of the records: one line per epoch, raw epoch and ephemeris.
#pragma once

#include <string>

#include "tolvik/platform/CString.h"
#include "tolvik/records/GPSData.h"
#include "tolvik/records/GPSDataRaw.h"

namespace tolvik::output {

// UTF-8 text of a string (characters are Latin-1 receiver bytes or wide text).
std::string ToUtf8(const CString& text);
// A zero-filled character field of a record, read up to max bytes, as UTF-8.
std::string FixedText(const char* bytes, std::size_t max);

// Short name of a fix status code: "NONE", "GPS", "DGPS", "RTK-FIXED" ...
const char* FixName(int nFixStatus);

// One readable line for an epoch: time, fix, position, altitude, satellites, HDOP, speed, course.
std::string EpochLine(const CGPSData& data);
std::string RawEpochLine(const CGPSDataRaw& raw);
std::string EphemerisLine(const CGPSDataEphemeris& ephemeris);

}  // namespace tolvik::output
