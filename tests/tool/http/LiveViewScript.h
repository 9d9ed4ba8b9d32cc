// A scripted receiver session as report lines, for the live-view tests: a TOLVIK status object,
// then one TPV a second walking a loop in a park (no fix, 2D, 3D, then DGPS), a SKY every
// few seconds with a dozen satellites rising and setting, and the status again now and then.
// Written from the gpsd JSON field list (TPV: mode, status, time, lat, lon, altHAE, altMSL,
// speed, track, eph, epv; SKY: time, hdop, vdop, pdop, nSat, uSat, satellites with PRN, el, az,
// ss, used).
#pragma once

#include <string>
#include <vector>

namespace tolvik::test {

// The JSON lines, without line ends.
std::vector<std::string> LiveViewScript(int epochs);

// A SKY line with `satellites` satellites, about 60 bytes each.
std::string SkyLine(int epoch, int satellites);

}  // namespace tolvik::test
