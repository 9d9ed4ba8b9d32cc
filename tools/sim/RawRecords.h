// Encoders of the binary raw-data records receivers send, byte for byte as they appear on the
// serial line, for tests, generated recordings and simulations.
//
//   "$PASHR,MBN," + 42-byte payload + "\r\n"   55 bytes on the wire, framed as 54
//   "$PASHR,PBN," + 56-byte payload + "\r\n"   69 bytes on the wire, framed as 68
//   "$PASHR,SNV," + 132-byte payload + "\r\n"  145 bytes on the wire, framed as 144
//
// "$BIN" blocks and AA 44 12 records are built by BinBlock and Axis4Record in MixedStream.h.
//
// The "$PASHR" payloads are big-endian and end with a 16-bit checksum, the sum of the payload's
// big-endian words before it. Framing takes a "$PASHR" record up to its CR and skips the LF, so
// the records here can be concatenated with each other and with NMEA sentences.
//
// All results are std::string byte strings (any byte value, zeros included).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tolvik/records/GPSDataRaw.h"

namespace tolvik::sim {

using pashr::kMbnPayloadBytes;
using pashr::kPbnPayloadBytes;
using pashr::kSnvPayloadBytes;

// One satellite's measurement.
struct MbnValues {
    int prn = 1;               // signed byte on the wire
    bool lastOfEpoch = false;  // byte 1 of the head is 0 on the epoch's last record
    std::int32_t tag = 0;      // tag value (the receiver scales it by 0.002)
    double time = 0.0;         // seconds, before the decoder's wrap (1 - t)
    std::int32_t doppler = 0;  // 0.0001 Hz, the receiver's sign
    double phase = 0.0;        // cycles, the receiver's sign
    // Marks the decoder insists on; change them to build records it must refuse.
    std::uint8_t headMark = 1;    // byte 0
    std::uint8_t flagsMark = 24;  // byte 9
};

// The receiver's position and clock for an epoch.
struct PbnValues {
    std::int32_t towMs = 0;  // time of week, milliseconds
    double x = 0.0;          // ECEF metres
    double y = 0.0;
    double z = 0.0;
    float clockOffset = 0.0f;  // metres
    float clockDrift = 0.0f;   // metres per second
};

// Payloads alone (what the decoders get a pointer to), checksum included.
std::string MbnPayload(const MbnValues& values);
std::string PbnPayload(const PbnValues& values);
// Every field of the ephemeris; the single-precision fields are narrowed to float, and
// m_nPRN goes on the wire as PRN - 1.
std::string SnvPayload(const CGPSDataEphemeris& ephemeris);

// Whole records as sent: head, payload, "\r\n".
std::string MbnRecord(const MbnValues& values);
std::string PbnRecord(const PbnValues& values);
std::string SnvRecord(const CGPSDataEphemeris& ephemeris);

// Any "$PASHR" record: head, the payload, its word-sum checksum, "\r\n". A payload of odd
// length counts its last byte as the high byte of a final word. The records above are these.
std::string AshtechRecord(std::string_view type, std::string_view payloadWithoutChecksum);

// The 16-bit word sum of the "$PASHR" payloads over the first 2 * nWords bytes (a lone last
// byte as a high byte).
std::uint16_t PashrWordSum(std::string_view bytes, int nWords);

// Geodetic point (degrees, metres above the ellipsoid) to ECEF metres, for building test
// positions. Uses the axes of the library's own conversion: a = 6378137 m, b = 6356752.31414 m
// (GRS 80; WGS 84 differs by a tenth of a millimetre).
struct Ecef {
    double x;
    double y;
    double z;
};
Ecef GeodeticToEcef(double latDegrees, double lonDegrees, double height);

}  // namespace tolvik::sim
