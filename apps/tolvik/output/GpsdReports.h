// The report objects of gpsd's JSON protocol (gpsd_json(5)) for the epochs Tolvik posts: a TPV
// for every epoch with a position, a SKY whenever the satellite table changed. Units are
// gpsd's: degrees, metres, metres per second, ISO-8601 UTC time with the date.
#pragma once

#include <string>
#include <string_view>

#include "FixDate.h"
#include "Format.h"
#include "JsonLine.h"
#include "tolvik/records/GPSData.h"

namespace tolvik::output {

// gpsd's "mode": 1 no fix, 2 two-dimensional, 3 three-dimensional.
int GpsdMode(const CGPSData& data);
// gpsd's "status" for a fix status code: 1 plain, 2 differential, 3 RTK fixed, 4 RTK float,
// 5 dead reckoning, 7 surveyed/manual; 0 unknown.
int GpsdStatus(int nFixStatus);

// The satellites of an epoch's table a receiver lists (in view or used), in table order.
bool SameSatellites(const CGPSData& a, const CGPSData& b);

class GpsdReporter {
public:
    explicit GpsdReporter(std::string device) : m_device(std::move(device)) {}

    // Every framed message: RMC and ZDA carry the date.
    void Message(std::string_view bytes) { m_date.Observe(bytes); }
    // Writes the epoch's TPV and SKY lines (either, both or none) to the sink.
    void Epoch(const CGPSData& data, Sink& sink);

    // The last TPV and SKY objects written, without line end; empty before the first.
    const std::string& LastTpv() const { return m_lastTpv; }
    const std::string& LastSky() const { return m_lastSky; }
    const std::string& Device() const { return m_device; }
    const FixDate& Date() const { return m_date; }

private:
    void WriteTpv(const CGPSData& d);
    void WriteSky(const CGPSData& d);

    std::string m_device;
    FixDate m_date;
    JsonLine m_json;
    CGPSData m_lastSatellites;
    bool m_haveSky = false;
    std::string m_lastTpv;
    std::string m_lastSky;
};

}  // namespace tolvik::output
