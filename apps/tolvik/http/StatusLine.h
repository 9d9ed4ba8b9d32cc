// The TOLVIK report object: what the live view shows about the receiver and the link to it,
// beside gpsd's TPV and SKY. One line, published when the counters or settings change (about
// once a second is plenty). Fields (the README in this folder has the same list with examples):
//
//   class           "TOLVIK"
//   device          string   serial device path, or the replayed file
//   model           string   receiver display name ("Ashtech G12", ...); absent when unknown
//   bps             integer  serial speed; absent for a replay
//   msgRate         number   messages (sentences and binary records) per second, recent average
//   checksumErrors  integer  messages dropped for a bad checksum since the start
//   overflows       integer  input buffer overflows since the start
//   elevMask        integer  elevation mask in degrees, when the receiver reported it
//   dgpsMode        string   differential source when reported: "none", "beacon", "L-band",
//                            "WAAS", "CDGPS", "OmniSTAR"
//   beacon          object   beacon receiver when reported: "frequency" (kHz), "bitRate" (bps),
//                            "autoTune" (bool), "strength" and "snr" (as the receiver reports)
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tolvik::tool::http {

struct BeaconStatus {
    std::optional<double> frequencyKHz;
    std::optional<int> bitRate;
    std::optional<bool> autoTune;
    std::optional<int> strength;
    std::optional<int> snr;
};

struct LiveStatus {
    std::string device;
    std::string model;
    int bps = 0;  // 0: not a serial link
    double messagesPerSecond = 0.0;
    std::uint64_t checksumErrors = 0;
    std::uint64_t overflows = 0;
    std::optional<int> elevationMaskDeg;
    std::optional<int> dgpsMode;  // a DgpsMode value of the records
    std::optional<BeaconStatus> beacon;
};

// Name of a DgpsMode value as the TOLVIK object writes it; "unknown" for other values.
const char* DgpsModeName(int mode);

// The TOLVIK object as one JSON line without a line end; absent values are left out.
std::string StatusLine(const LiveStatus& status);

}  // namespace tolvik::tool::http
