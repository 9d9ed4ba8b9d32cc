#include "RawRecords.h"

#include <cmath>
#include <cstring>

namespace tolvik::sim {

namespace {

// Writers at fixed offsets of a payload that is already sized.
void PutBE16(std::string& out, int offset, std::uint16_t v) {
    out[static_cast<std::size_t>(offset)] = static_cast<char>(v >> 8);
    out[static_cast<std::size_t>(offset + 1)] = static_cast<char>(v);
}

void PutBE32(std::string& out, int offset, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[static_cast<std::size_t>(offset + i)] = static_cast<char>(v >> (24 - 8 * i));
}

void PutBEInt32(std::string& out, int offset, std::int32_t v) { PutBE32(out, offset, static_cast<std::uint32_t>(v)); }

void PutBEFloat(std::string& out, int offset, double v) {
    const float f = static_cast<float>(v);
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    PutBE32(out, offset, bits);
}

void PutBEDouble(std::string& out, int offset, double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    PutBE32(out, offset, static_cast<std::uint32_t>(bits >> 32));
    PutBE32(out, offset + 4, static_cast<std::uint32_t>(bits));
}

// Puts the word sum of everything before the last two bytes into those two bytes.
void SealPayload(std::string& payload) {
    const int nWords = static_cast<int>(payload.size()) / 2 - 1;
    PutBE16(payload, 2 * nWords, PashrWordSum(payload, nWords));
}

std::string PashrRecord(std::string_view type, std::string_view payload) {
    std::string out = "$PASHR,";
    out += type;
    out += ',';
    out += payload;
    out += "\r\n";
    return out;
}

}  // namespace

std::uint16_t PashrWordSum(std::string_view bytes, int nWords) {
    std::uint16_t sum = 0;
    const int nBytes = static_cast<int>(bytes.size());
    for (int i = 0; i < nWords && 2 * i < nBytes; ++i) {
        const auto hi = static_cast<unsigned char>(bytes[static_cast<std::size_t>(2 * i)]);
        const auto lo = 2 * i + 1 < nBytes ? static_cast<unsigned char>(bytes[static_cast<std::size_t>(2 * i + 1)]) : 0;
        sum = static_cast<std::uint16_t>(sum + ((hi << 8) | lo));
    }
    return sum;
}

std::string MbnPayload(const MbnValues& v) {
    std::string p(kMbnPayloadBytes, '\0');
    p[0] = static_cast<char>(v.headMark);
    p[1] = v.lastOfEpoch ? 0 : 1;
    p[2] = static_cast<char>(static_cast<std::int8_t>(v.prn));
    PutBEInt32(p, 4, v.tag);
    p[9] = static_cast<char>(v.flagsMark);
    PutBEDouble(p, 12, v.time);    // s
    PutBEInt32(p, 20, v.doppler);  // 0.0001 Hz
    PutBEDouble(p, 24, v.phase);   // cycles
    SealPayload(p);                // at 40
    return p;
}

std::string PbnPayload(const PbnValues& v) {
    std::string p(kPbnPayloadBytes, '\0');
    PutBEInt32(p, 0, v.towMs);         // ms
    PutBEDouble(p, 8, v.x);            // m
    PutBEDouble(p, 16, v.y);           // m
    PutBEDouble(p, 24, v.z);           // m
    PutBEFloat(p, 32, v.clockOffset);  // m
    PutBEFloat(p, 48, v.clockDrift);   // m/s
    SealPayload(p);                    // at 54
    return p;
}

std::string SnvPayload(const CGPSDataEphemeris& e) {
    std::string p(kSnvPayloadBytes, '\0');
    PutBE16(p, 0, static_cast<std::uint16_t>(e.m_nWeek));
    PutBEInt32(p, 2, e.m_nTOW);
    PutBEFloat(p, 6, e.m_dTgd);
    PutBEInt32(p, 10, e.m_nAODC);
    PutBEInt32(p, 14, e.m_nToc);
    PutBEFloat(p, 18, e.m_dAf2);
    PutBEFloat(p, 22, e.m_dAf1);
    PutBEFloat(p, 26, e.m_dAf0);
    PutBEInt32(p, 30, e.m_nAODE);
    PutBEFloat(p, 34, e.m_dDeltaN);
    PutBEDouble(p, 38, e.m_dM0);
    PutBEDouble(p, 46, e.m_dE);
    PutBEDouble(p, 54, e.m_dRootA);
    PutBEInt32(p, 62, e.m_nToe);
    PutBEFloat(p, 66, e.m_dCic);
    PutBEFloat(p, 70, e.m_dCrc);
    PutBEFloat(p, 74, e.m_dCis);
    PutBEFloat(p, 78, e.m_dCrs);
    PutBEFloat(p, 82, e.m_dCuc);
    PutBEFloat(p, 86, e.m_dCus);
    PutBEDouble(p, 90, e.m_dOmega0);
    PutBEDouble(p, 98, e.m_dOmega);
    PutBEDouble(p, 106, e.m_dI0);
    PutBEFloat(p, 114, e.m_dOmegaDot);
    PutBEFloat(p, 118, e.m_dIDot);
    p[128] = static_cast<char>(static_cast<std::int8_t>(e.m_nPRN - 1));
    SealPayload(p);  // at 130
    return p;
}

std::string AshtechRecord(std::string_view type, std::string_view payloadWithoutChecksum) {
    const int nWords = static_cast<int>((payloadWithoutChecksum.size() + 1) / 2);
    const std::uint16_t sum = PashrWordSum(payloadWithoutChecksum, nWords);
    std::string payload(payloadWithoutChecksum);
    payload += static_cast<char>(sum >> 8);
    payload += static_cast<char>(sum & 0xFF);
    return PashrRecord(type, payload);
}

std::string MbnRecord(const MbnValues& values) { return PashrRecord("MBN", MbnPayload(values)); }
std::string PbnRecord(const PbnValues& values) { return PashrRecord("PBN", PbnPayload(values)); }
std::string SnvRecord(const CGPSDataEphemeris& ephemeris) { return PashrRecord("SNV", SnvPayload(ephemeris)); }

Ecef GeodeticToEcef(double latDegrees, double lonDegrees, double height) {
    constexpr double a = 6378137.0;
    constexpr double b = 6356752.31414;
    constexpr double e2 = 1.0 - (b * b) / (a * a);
    const double pi = std::acos(-1.0);
    const double lat = latDegrees * pi / 180.0;
    const double lon = lonDegrees * pi / 180.0;
    const double n = a / std::sqrt(1.0 - e2 * std::sin(lat) * std::sin(lat));
    return {(n + height) * std::cos(lat) * std::cos(lon), (n + height) * std::cos(lat) * std::sin(lon),
            (n * (1.0 - e2) + height) * std::sin(lat)};
}

}  // namespace tolvik::sim
