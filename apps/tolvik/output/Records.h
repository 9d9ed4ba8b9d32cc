// The tool's own JSON objects ("records"): every field of the posted records in the library's
// units, named without the "m_" and type prefix.
#pragma once

#include <string_view>
#include <vector>

#include "JsonLine.h"
#include "tolvik/records/GPSData.h"
#include "tolvik/records/GPSDataRaw.h"

namespace tolvik::output {

// Each writes one whole object (Begin to End) and returns the line.
std::string_view EpochRecord(JsonLine& j, const CGPSData& d, bool withSatellites, bool withStatus);
std::string_view StatusRecord(JsonLine& j, const CGPSStatusData& s);
std::string_view RawEpochRecord(JsonLine& j, const CGPSDataRaw& r);
std::string_view EphemerisRecord(JsonLine& j, const CGPSDataEphemeris& e);
std::string_view BinaryRecord(JsonLine& j, const std::vector<unsigned>& words);
std::string_view TextRecord(JsonLine& j, std::string_view bytes);

}  // namespace tolvik::output
