#include "sim/MixedStream.h"

#include <cstdio>
#include <random>

namespace tolvik::sim {

namespace {

using Rng = std::mt19937;

int Uniform(Rng& rng, int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

void PutLE16(std::string& out, unsigned v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

// CRC-32 (reflected polynomial 0xEDB88320, start 0, no final inversion), as the AA 44 12
// records and the "#" log replies carry it.
std::uint32_t Crc32(std::string_view bytes) {
    std::uint32_t crc = 0;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return crc;
}

// Binary content that is hard on a framer: besides random bytes, it is rich in line ends, message
// starts, commas, zero bytes and whole sync sequences, none of which may cut a record short.
std::string HostileBytes(Rng& rng, std::size_t n) {
    static constexpr std::string_view kSnippets[] = {
        "\r\n", "$GPGGA,", "#LOG,A,", std::string_view("\xAA\x44\x12", 3), std::string_view("\0", 1), ",,", "*", "$BIN",
    };
    std::string out;
    while (out.size() < n) {
        if (Uniform(rng, 0, 5) == 0) {
            out += kSnippets[Uniform(rng, 0, static_cast<int>(std::size(kSnippets)) - 1)];
        } else {
            out += static_cast<char>(Uniform(rng, 0, 255));
        }
    }
    out.resize(n);
    return out;
}

std::string Stray(Rng& rng) {
    std::string out;
    const int n = Uniform(rng, 1, 8);
    while (static_cast<int>(out.size()) < n) {
        const char c = static_cast<char>(Uniform(rng, 0, 255));
        if (c == '$' || c == '#' || c == '\x44') continue;
        out += c;
    }
    return out;
}

std::string Fmt(const char* format, auto... args) {
    char buffer[256];
    const int n = std::snprintf(buffer, sizeof buffer, format, args...);
    return std::string(buffer, static_cast<std::size_t>(n < 0 ? 0 : n));
}

std::string NmeaBody(Rng& rng) {
    const int hh = Uniform(rng, 0, 23);
    const int mm = Uniform(rng, 0, 59);
    const int ss = Uniform(rng, 0, 59);
    switch (Uniform(rng, 0, 6)) {
        case 0:
            return Fmt(
                "GPGGA,%02d%02d%02d.00,%02d%02d.%04d,N,%03d%02d.%04d,W,%d,%02d,%d.%d,%d.%d,M,%d.%d,"
                "M,,",
                hh, mm, ss, Uniform(rng, 0, 89), Uniform(rng, 0, 59), Uniform(rng, 0, 9999), Uniform(rng, 0, 179),
                Uniform(rng, 0, 59), Uniform(rng, 0, 9999), Uniform(rng, 0, 9), Uniform(rng, 0, 12), Uniform(rng, 0, 9),
                Uniform(rng, 0, 9), Uniform(rng, -50, 3000), Uniform(rng, 0, 9), Uniform(rng, -40, 60),
                Uniform(rng, 0, 9));
        case 1:
            return Fmt("GPRMC,%02d%02d%02d,A,%04d.%03d,S,%05d.%03d,E,%03d.%d,%03d.%d,%02d%02d%02d,,", hh, mm, ss,
                       Uniform(rng, 0, 8959), Uniform(rng, 0, 999), Uniform(rng, 0, 17959), Uniform(rng, 0, 999),
                       Uniform(rng, 0, 200), Uniform(rng, 0, 9), Uniform(rng, 0, 359), Uniform(rng, 0, 9),
                       Uniform(rng, 1, 28), Uniform(rng, 1, 12), Uniform(rng, 0, 99));
        case 2:
            return Fmt("GPGSA,A,3,%02d,%02d,%02d,%02d,,,,,,,,,%d.%d,%d.%d,%d.%d", Uniform(rng, 1, 32),
                       Uniform(rng, 1, 32), Uniform(rng, 1, 32), Uniform(rng, 1, 32), Uniform(rng, 1, 9),
                       Uniform(rng, 0, 9), Uniform(rng, 1, 9), Uniform(rng, 0, 9), Uniform(rng, 1, 9),
                       Uniform(rng, 0, 9));
        case 3:
            return Fmt("GPGSV,3,%d,%02d,%02d,%02d,%03d,%02d,%02d,%02d,%03d,,%02d,%02d,%03d,%02d", Uniform(rng, 1, 3),
                       Uniform(rng, 4, 12), Uniform(rng, 1, 32), Uniform(rng, 0, 90), Uniform(rng, 0, 359),
                       Uniform(rng, 0, 55), Uniform(rng, 1, 32), Uniform(rng, 0, 90), Uniform(rng, 0, 359),
                       Uniform(rng, 1, 32), Uniform(rng, 0, 90), Uniform(rng, 0, 359), Uniform(rng, 0, 55));
        case 4:
            return Fmt("GPVTG,%03d.%d,T,,M,%03d.%d,N,%03d.%d,K,A", Uniform(rng, 0, 359), Uniform(rng, 0, 9),
                       Uniform(rng, 0, 99), Uniform(rng, 0, 9), Uniform(rng, 0, 180), Uniform(rng, 0, 9));
        case 5:
            return Fmt("GPZDA,%02d%02d%02d.00,%02d,%02d,20%02d,00,00", hh, mm, ss, Uniform(rng, 1, 28),
                       Uniform(rng, 1, 12), Uniform(rng, 0, 40));
        default:
            return Fmt("PGRME,%d.%d,M,%d.%d,M,%d.%d,M", Uniform(rng, 0, 99), Uniform(rng, 0, 9), Uniform(rng, 0, 99),
                       Uniform(rng, 0, 9), Uniform(rng, 0, 99), Uniform(rng, 0, 9));
    }
}

std::string LogBody(Rng& rng) {
    switch (Uniform(rng, 0, 2)) {
        case 0:
            return Fmt(
                "BESTPOSA,COM1,0,55.0,FINESTEERING,%d,%d.000,00000040,4ca6,2724;SOL_COMPUTED,"
                "SINGLE,"
                "51.%05d,-114.%05d,%d.%d,-16.2,WGS84,1.6,1.3,2.4,\"\",0.0,0.0,12,11,0,0,0,06,0,03",
                Uniform(rng, 1400, 2400), Uniform(rng, 0, 604799), Uniform(rng, 0, 99999), Uniform(rng, 0, 99999),
                Uniform(rng, 900, 1200), Uniform(rng, 0, 9));
        case 1:
            return Fmt("RXCONFIGA,COM2,0,67.5,FINESTEERING,1337,%d.000,00000000,9691,1984;SBASCONTROLA,%s",
                       Uniform(rng, 0, 604799), Uniform(rng, 0, 1) ? "ENABLE,WAAS" : "DISABLE,NONE");
        default:
            return Fmt("PSRDIFFSOURCEA,COM1,0,%d.0,FINESTEERING,1400,%d.000,00000000,4f3c,1985;%s,\"ANY\"",
                       Uniform(rng, 20, 90), Uniform(rng, 0, 604799), Uniform(rng, 0, 1) ? "SBAS" : "RTCM");
    }
}

struct Piece {
    std::string wire;
    std::size_t framed;  // the leading bytes of wire that form the message
    MixedKind kind;
};

Piece AshtechPiece(Rng& rng) {
    struct Type {
        const char* name;
        std::size_t length;  // framed bytes from '$' to the CR
    };
    static constexpr Type kTypes[] = {{"MBN", pashr::kMbnFramedBytes},
                                      {"PBN", pashr::kPbnFramedBytes},
                                      {"SNV", pashr::kSnvFramedBytes},
                                      {"MCA", 49},
                                      {"SAL", 82}};
    // The receivers stream mostly measurements; almanac and MCA records are rare.
    static constexpr int kPick[] = {0, 0, 0, 0, 1, 1, 2, 3, 4};
    const Type& t = kTypes[kPick[Uniform(rng, 0, static_cast<int>(std::size(kPick)) - 1)]];
    std::string wire = AshtechRecord(t.name, HostileBytes(rng, t.length - 14));
    return Piece{wire, t.length, MixedKind::Ashtech};
}

Piece NextPiece(Rng& rng, const MixedStreamOptions& options) {
    int total = 0;
    for (const int w : options.weights) total += w > 0 ? w : 0;
    int pick = total > 0 ? Uniform(rng, 0, total - 1) : 0;
    int kind = 0;
    for (; kind < kMixedKindCount - 1; ++kind) {
        const int w = options.weights[static_cast<std::size_t>(kind)];
        if (w > 0 && pick < w) break;
        pick -= w > 0 ? w : 0;
    }
    switch (static_cast<MixedKind>(kind)) {
        case MixedKind::Ack: {
            const std::string s = NmeaSentence("PASHR,ACK");
            return Piece{s, s.size() - 1, MixedKind::Ack};
        }
        case MixedKind::LogReply: {
            const std::string s = LogReply(LogBody(rng));
            return Piece{s, s.size() - 1, MixedKind::LogReply};
        }
        case MixedKind::LogBackToBack: {
            // Without its line end, the reply ends just before the next '#'.
            std::string s = LogReply(LogBody(rng));
            s.resize(s.size() - 2);
            return Piece{s, s.size(), MixedKind::LogBackToBack};
        }
        case MixedKind::Ashtech:
            return AshtechPiece(rng);
        case MixedKind::BinBlock: {
            const bool big = Uniform(rng, 0, 1) == 1;
            std::string s = BinBlock(big ? 96 : 95, HostileBytes(rng, big ? 300 : 128));
            const std::size_t framed = s.size();
            s += '\n';  // the byte framing skips after a '$' message
            return Piece{s, framed, MixedKind::BinBlock};
        }
        case MixedKind::Axis4: {
            const std::string s = Axis4Record(static_cast<std::uint16_t>(Uniform(rng, 1, 1500)),
                                              HostileBytes(rng, static_cast<std::size_t>(Uniform(rng, 0, 200))));
            return Piece{s, s.size(), MixedKind::Axis4};
        }
        case MixedKind::Nmea:
        default: {
            const std::string s = NmeaSentence(NmeaBody(rng));
            return Piece{s, s.size() - 1, MixedKind::Nmea};
        }
    }
}

}  // namespace

int MixedStream::Count(MixedKind kind) const {
    int n = 0;
    for (const MixedKind k : kinds) n += k == kind ? 1 : 0;
    return n;
}

std::string BinBlock(int block, std::string_view data) {
    std::string out = "$BIN";
    PutLE16(out, static_cast<unsigned>(block));
    PutLE16(out, static_cast<unsigned>(data.size()));
    out += data;
    unsigned sum = 0;
    for (const char c : data) sum += static_cast<unsigned char>(c);
    PutLE16(out, sum & 0xFFFF);
    out += "\r\n";
    return out;
}

std::string Axis4Record(std::uint16_t messageId, std::string_view body) {
    std::string out("\xAA\x44\x12\x1C", 4);  // sync, header length 28
    PutLE16(out, messageId);
    out += '\0';    // message type: binary
    out += '\x20';  // port
    PutLE16(out, static_cast<unsigned>(body.size()));
    out.append(18, '\0');  // sequence, status, week, milliseconds ...
    out += body;
    const std::uint32_t crc = Crc32(out);
    PutLE16(out, crc & 0xFFFF);
    PutLE16(out, crc >> 16);
    return out;
}

std::string LogReply(std::string_view body) {
    std::string out(1, '#');
    out += body;
    out += Fmt("*%08x\r\n", Crc32(body));
    return out;
}

MixedStream GenerateMixedStream(const MixedStreamOptions& options) {
    Rng rng(options.seed);
    MixedStream stream;
    auto add = [&](const Piece& piece) {
        stream.bytes += piece.wire;
        stream.messages.push_back(piece.wire.substr(0, piece.framed));
        stream.kinds.push_back(piece.kind);
    };
    while (stream.bytes.size() < options.targetBytes) {
        const Piece piece = NextPiece(rng, options);
        add(piece);
        if (piece.kind == MixedKind::LogBackToBack) {
            const std::string s = LogReply(LogBody(rng));
            add(Piece{s, s.size() - 1, MixedKind::LogReply});
        }
        if (Uniform(rng, 0, 99) < options.strayPercent) stream.bytes += Stray(rng);
    }
    const std::string last = NmeaSentence(NmeaBody(rng));
    add(Piece{last, last.size() - 1, MixedKind::Nmea});
    return stream;
}

}  // namespace tolvik::sim
