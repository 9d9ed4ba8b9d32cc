// The one NMEA 0183 sentence writer of the simulator, the sample generators and the tests.
#pragma once

#include <string>
#include <string_view>

namespace tolvik::sim {

// "$" + body + "*hh": the checksum is the exclusive-or of the body's bytes (everything between
// "$" and "*"), written as two upper-case hexadecimal digits. No line end.
std::string NmeaWithChecksum(std::string_view body);

// The sentence as a receiver sends it: NmeaWithChecksum(body) + "\r\n".
std::string NmeaSentence(std::string_view body);

}  // namespace tolvik::sim
