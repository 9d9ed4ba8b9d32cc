// What the tool prints for each posted message: one readable line, or one JSON object a line.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "tolvik/platform/CString.h"
#include "tolvik/records/GPSData.h"
#include "tolvik/records/GPSDataRaw.h"

namespace tolvik::tool {

// UTF-8 text of a string (characters are Latin-1 receiver bytes or wide text).
std::string ToUtf8(const CString& text);

// JSON objects with every field of the records, named without the "m_" and type prefix.
nlohmann::ordered_json EpochJson(const CGPSData& data);
nlohmann::ordered_json StatusJson(const CGPSStatusData& status);
nlohmann::ordered_json RawEpochJson(const CGPSDataRaw& raw);
nlohmann::ordered_json EphemerisJson(const CGPSDataEphemeris& ephemeris);

// Short name of a fix status code: "NONE", "GPS", "DGPS", "RTK-FIXED" ...
const char* FixName(int nFixStatus);

// One readable line for an epoch: time, fix, position, altitude, satellites, HDOP, speed, course.
std::string EpochLine(const CGPSData& data);
std::string RawEpochLine(const CGPSDataRaw& raw);
std::string EphemerisLine(const CGPSDataEphemeris& ephemeris);

// Counts and prints what the library posts.
class Printer {
public:
    Printer(std::FILE* out, bool json) : m_out(out), m_json(json) {}

    void Epoch(const CGPSData& data);
    void RawEpoch(const CGPSDataRaw& raw);
    void Ephemeris(const CGPSDataEphemeris& ephemeris);
    void Binary(const std::vector<unsigned>& words);
    void Text(const CString& text);

    long epochs = 0;
    long positions = 0;
    long rawEpochs = 0;
    long ephemerides = 0;
    long binaries = 0;
    long texts = 0;

private:
    void Emit(const nlohmann::ordered_json& object);
    std::FILE* m_out;
    bool m_json;
};

}  // namespace tolvik::tool
