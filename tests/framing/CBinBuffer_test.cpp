// Framing: the rules per message kind, and independence from where the serial reads end.
#include "tolvik/framing/CBinBuffer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "sim/MixedStream.h"
#include "support/TestSupport.h"

namespace tolvik {
namespace {

using Messages = std::vector<std::string>;

// One read as the engine handles it: append, walk the messages, drop the consumed bytes. Each
// message must lie inside the buffer and read as text up to its first zero byte plus "\n", into
// a new string or into one reused from message to message.
Messages Feed(CBinBuffer& buffer, const std::string& read) {
    buffer += CBinBuffer(read.data(), static_cast<int>(read.size()));
    Messages found;
    for (buffer.GetCurrentMessage(); buffer.HasMessage(); buffer.Next()) {
        int length = -1;
        const char* p = buffer.GetMessageBin(length);
        if (!p || buffer.m_nCurrent + length > buffer.m_nLength) {
            ADD_FAILURE() << "message outside the buffer";
            break;
        }
        const std::string& bytes = found.emplace_back(p, static_cast<std::size_t>(length));
        EXPECT_EQ(buffer.GetMessage().ToBytes(), bytes.substr(0, bytes.find('\0')) + "\n");
        // The engine's way: one text for every message, whatever the one before it left.
        static CString reused;
        buffer.GetMessageInto(reused);
        EXPECT_EQ(reused, buffer.GetMessage());
    }
    buffer.Resize();
    EXPECT_EQ(buffer.m_nLength, buffer.GetSize());
    return found;
}

// Frames the stream in reads cut one way: 0 whole, 1 byte by byte, any other value seeds random
// reads, mostly short and now and then long, as a serial port delivers them.
Messages FrameInReads(const std::string& stream, std::uint32_t way) {
    std::mt19937 rng(way);
    CBinBuffer buffer;
    Messages all;
    for (std::size_t pos = 0, n = 0; pos < stream.size(); pos += n) {
        const std::size_t cap = rng() % 3 ? 16 : 1500;
        n = way == 0 ? stream.size() : way == 1 ? 1 : 1 + rng() % cap;
        const Messages found = Feed(buffer, stream.substr(pos, n));
        all.insert(all.end(), found.begin(), found.end());
    }
    if (buffer.GetLength() > 0)  // what still waits is part of the result
        all.push_back("(" + std::to_string(buffer.GetLength()) + " bytes waiting)");
    return all;
}

std::string Cr(const std::string& sentence) {  // a sentence as framed: without its LF
    return sentence.substr(0, sentence.size() - 1);
}
// An AA 44 12 record: header length at byte 3, body length at bytes 8-9, 4 CRC bytes.
std::string Axis4(char headerLength, char bodyLength) {
    std::string s = {'\xAA', '\x44', '\x12', headerLength, 1, 0, 0, 0, bodyLength, 0};
    s.resize(static_cast<std::size_t>(headerLength), 'h');
    return s + std::string(static_cast<std::size_t>(bodyLength), '$') + "CRC!";
}
// A binary payload of the given size holding every byte a text framer would stop at.
std::string Hostile(std::size_t size) {
    const std::string bytes("\r\n$GPGGA,#A,\0\xAA\x44\x12\r\n,,,", 21);
    return (bytes + std::string(size, '*')).substr(0, size);
}

const std::string kGga = test::Nmea("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
const std::string kAck = test::Nmea("PASHR,ACK");

TEST(CBinBuffer, FramesMessagesAsTheReceiversSendThem) {
    struct Case {
        std::string legend;
        std::vector<std::string> reads;
        std::vector<Messages> expected;  // per read
    };
    const std::string g = Cr(kGga), mbn = sim::AshtechRecord("MBN", Hostile(40));
    const std::string bin95 = sim::BinBlock(95, std::string(128, '\r'));
    const std::string bin96 = sim::BinBlock(96, std::string(300, ','));
    const std::string mixedCase = "$PASHR,mbn," + mbn.substr(11);
    const std::string a100 = Axis4(28, 100), a40 = Axis4(40, 10);
    // Header length 4 and body length 0 (bytes 8-9, after the record): 8 bytes, framed only
    // once more than 28 bytes are there.
    const std::string aShort("\xAA\x44\x12\x04\x01\x02\x03\x04", 8);
    // Each kind of message in the usual way, in any reads, is the mixed streams' test below; here
    // the edges.
    // clang-format off
    const Case cases[] = {
        {"stray bytes before a sentence dropped", {"\x01Z" + kGga}, {{g}}},
        {"single-comma reply waits for a later comma", {kAck, kGga}, {{}, {Cr(kAck), g}}},
        {"lone '#' at the buffer start", {"##B,3,4\r\n"}, {{"#", "#B,3,4\r"}}},
        {"lone '#' moved to the start", {"xx##B", ",3,4\r\n"}, {{}, {"#", "#B,3,4\r"}}},
        {"comma-less '#' line borrows no tags", {"#x\r\n" + mbn + kGga}, {{"#x\r", Cr(mbn), g}}},
        {"comma-less '$' line before a record", {"$PGRMO\r\n" + mbn}, {{"$PGRMO\r", Cr(mbn)}}},
        {"record type compares without case", {mixedCase}, {{Cr(mixedCase)}}},
        // A block's own bytes end with CR LF: what follows it directly is the next message.
        {"four $BIN blocks back to back", {bin95 + bin96 + bin95 + bin96}, {{bin95, bin96, bin95, bin96}}},
        {"GGA right after a $BIN block", {bin96 + kGga}, {{bin96, g}}},
        {"GGA after a block, split at the '$'", {bin95, kGga}, {{bin95}, {g}}},
        {"record then a sync at once", {mbn.substr(0, 54) + a100}, {{Cr(mbn), a100}}},
        {"$BIN with another block byte is text", {"$BINa\x01,\r\n"}, {{"$BINa\x01,\r"}}},
        {"AA 44 12, 40-byte header", {a40.substr(0, 29), a40.substr(29) + kGga}, {{}, {a40, g}}},
        {"short AA 44 12 waits for more than 28 bytes", {aShort + std::string(20, '\0'), "z"},
         {{}, {aShort}}},
        {"AA ending a read waits", {"zz\xAA", a100.substr(1)}, {{}, {a100}}},
        {"AA 44 ending a read waits", {a100.substr(0, 2), a100.substr(2)}, {{}, {a100}}},
        {"AA ending a read, then another byte: dropped", {"zz\xAA", "Q" + kGga}, {{}, {g}}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        CBinBuffer buffer;
        std::vector<Messages> framed;
        for (const std::string& read : c.reads) framed.push_back(Feed(buffer, read));
        EXPECT_EQ(framed, c.expected);
        EXPECT_EQ(buffer.GetLength(), 0);
    }
}

TEST(CBinBuffer, AccessorsStayInsideTheBytes) {
    CBinBuffer buffer;
    int length = 1234;
    EXPECT_EQ(buffer.GetMessageBin(length), nullptr);
    EXPECT_EQ(length, 1234);
    // A message length beyond the bytes would hand the caller bytes that are not there.
    ASSERT_TRUE(buffer.Set("$GP,A,B\r\n", 9, 50));
    ASSERT_NE(buffer.GetMessageBin(length), nullptr);
    EXPECT_EQ(length, 9);
    const std::pair<int, int> ranges[] = {{4, 100}, {4, -5}, {-1, 3}, {9, 1}, {8, 1}, {0, 3}};
    const std::wstring texts[] = {L"A,B\r\n\n", L"A,B\r\n\n", L"", L"", L"\n\n", L"$GP\n"};
    for (std::size_t i = 0; i < std::size(ranges); ++i)
        EXPECT_EQ(buffer.Mid(ranges[i].first, ranges[i].second).str(), texts[i]) << i;
    // What a longer message left in the storage behind the bytes is not part of them.
    ASSERT_TRUE(buffer.Set("$GP,LONGER,MESSAGE\r\n", 20, 20));
    ASSERT_TRUE(buffer.Set("$GP,A\r\n", 7, 7));
    for (const int count : {100, -5}) EXPECT_EQ(buffer.Mid(4, count).str(), L"A\r\n\n") << count;
}

TEST(CBinBuffer, GeneratedMixedStreamsFrameExactlyTheMessagesSentInAnyReads) {
    for (std::uint32_t seed = 1; seed <= 3; ++seed) {
        SCOPED_TRACE("stream seed " + std::to_string(seed));
        const sim::MixedStream stream = sim::GenerateMixedStream({seed, 40 * 1024});
        for (int kind = 0; kind < sim::kMixedKindCount; ++kind)
            EXPECT_GT(stream.Count(static_cast<sim::MixedKind>(kind)), 0) << "kind " << kind;
        for (const std::uint32_t way : {0u, 1u, 2u, 3u, 4u})
            EXPECT_EQ(FrameInReads(stream.bytes, way), stream.messages) << "reads cut way " << way;
    }
}

}  // namespace
}  // namespace tolvik
