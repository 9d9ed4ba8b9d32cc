#include "sim/Nmea.h"

namespace tolvik::sim {

std::string NmeaWithChecksum(std::string_view body) {
    unsigned sum = 0;
    for (const char c : body) sum ^= static_cast<unsigned char>(c);
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(body.size() + 4);
    out += '$';
    out += body;
    out += '*';
    out += kHex[(sum >> 4) & 0xF];
    out += kHex[sum & 0xF];
    return out;
}

std::string NmeaSentence(std::string_view body) { return NmeaWithChecksum(body) + "\r\n"; }

}  // namespace tolvik::sim
