// Mixed receiver byte streams for framing tests and benchmarks.
//
// A receiver on a serial line interleaves NMEA sentences, proprietary replies, command-log
// replies and binary records, with the odd stray byte between them. GenerateMixedStream builds
// such a stream from a seed and lists, beside it, the messages a CBinBuffer must frame from it,
// so that a test compares what the buffer found with what was sent. The same seed gives the same
// stream in the same build (field values are drawn in the compiler's argument order).
//
// Framing skips the byte after every message that starts with '$' (the LF after the CR of a
// sentence). Every '$' message written here is therefore followed by exactly one such byte; the
// "$BIN" blocks, whose own bytes end with CR LF, get an extra LF for it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/Nmea.h"
#include "sim/RawRecords.h"

namespace tolvik::sim {

enum class MixedKind {
    Nmea,           // "$GPGGA,...*hh" and other NMEA sentences
    Ack,            // "$PASHR,ACK*3D": a single comma, framed once a later comma arrives
    LogReply,       // "#...": command-log reply ending at its CR
    LogBackToBack,  // "#..." directly followed by another '#' reply, without line end
    Ashtech,        // "$PASHR,MBN/PBN/SNV/MCA/SAL," binary records of fixed length
    BinBlock,       // "$BIN" blocks 95 (140 bytes) and 96 (312 bytes)
    Axis4,          // AA 44 12 records of self-described length
};
inline constexpr int kMixedKindCount = 7;

struct MixedStreamOptions {
    std::uint32_t seed = 1;
    // Messages are added until the stream reaches this size; a plain NMEA sentence closes it,
    // so that every message before it is complete (the single-comma reply needs a later comma).
    std::size_t targetBytes = 64 * 1024;
    // Relative frequencies of the kinds, indexed by MixedKind; 0 leaves a kind out.
    std::array<int, kMixedKindCount> weights = {12, 1, 2, 1, 4, 1, 2};
    // Chance, in percent, that 1-8 stray bytes follow a message. Stray bytes never contain '$',
    // '#' or 0x44 (so never a sync AA 44 12); they may hold CR, LF, commas, zero and 0xAA.
    int strayPercent = 15;
};

struct MixedStream {
    std::string bytes;                  // the stream as the receiver sends it
    std::vector<std::string> messages;  // the bytes of each message framing must yield, in order
    std::vector<MixedKind> kinds;       // the kind of each message
    int Count(MixedKind kind) const;
};

MixedStream GenerateMixedStream(const MixedStreamOptions& options);

// Building blocks; each returns the bytes as a receiver sends them.
// "$BIN", block (LE16), data length (LE16), data, checksum (LE16), CR LF: data.size() + 12 bytes.
std::string BinBlock(int block, std::string_view data);
// AA 44 12, header length 28, message id, body length (LE16 at bytes 8-9), body, CRC-32 (LE).
std::string Axis4Record(std::uint16_t messageId, std::string_view body);
// A "#" log reply: "#" body "*" CRC-32 as 8 hex digits, then "\r\n".
std::string LogReply(std::string_view body);

}  // namespace tolvik::sim
