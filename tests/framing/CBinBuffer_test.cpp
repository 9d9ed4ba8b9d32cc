#include "tolvik/framing/CBinBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/MixedStream.h"
#include "support/TestSupport.h"

namespace tolvik {
namespace {

using Messages = std::vector<std::string>;

// Feeds the reads one by one as the engine does (append, walk the messages, drop the consumed
// bytes) and returns, per read, the bytes of the messages framed after it.
std::vector<Messages> Feed(CBinBuffer& buffer, const std::vector<std::string>& reads) {
    std::vector<Messages> out;
    for (const std::string& read : reads) {
        buffer += CBinBuffer(read.data(), static_cast<int>(read.size()));
        Messages found;
        buffer.GetCurrentMessage();
        while (buffer.HasMessage()) {
            int length = -1;
            const char* p = buffer.GetMessageBin(length);
            found.emplace_back(p, static_cast<std::size_t>(length));
            buffer.Next();
        }
        buffer.Resize();
        out.push_back(found);
    }
    return out;
}

std::string Framed(const std::string& sentence) {
    return sentence.substr(0, sentence.size() - 1);
}  // without LF
std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (const int v : values)
        s += static_cast<char>(v);
    return s;
}
// An AA 44 12 record: header length byte, body length at bytes 8-9, header padded to its length
// (at least 10).
std::string Axis4(int headerLength, int bodyLength) {
    std::string s =
        Bytes({0xAA, 0x44, 0x12, headerLength, 1, 0, 0, 0, bodyLength & 0xFF, bodyLength >> 8});
    s.resize(static_cast<std::size_t>(headerLength), 'h');
    return s + std::string(static_cast<std::size_t>(bodyLength), '$') + "CRC!";
}

const std::string kGga =
    test::Nmea("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
const std::string kVtg = test::Nmea("GPVTG,054.7,T,034.4,M,005.5,N,010.2,K");
const std::string kGsa = test::Nmea("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1");
const std::string kAck = test::Nmea("PASHR,ACK");
// A measurement record whose payload holds every byte a text framer would stop at.
std::string HostilePayload(std::size_t size) {
    static const char kBytes[] = "\r\n$GPGGA,#A,\0\xAA\x44\x12\r\n,,,";
    std::string s(kBytes, sizeof kBytes - 1);
    s.resize(size, '*');
    return s;
}
const std::string kMbn = sim::AshtechRecord("MBN", HostilePayload(40));

struct FramingCase {
    const char* legend;
    std::vector<std::string> reads;
    std::vector<Messages> expected;  // per read
    int leftover;                    // bytes waiting in the buffer at the end
};

TEST(CBinBuffer, FramesMessagesAsTheReceiversSendThem) {
    const std::string bin95 = sim::BinBlock(95, std::string(128, '\r'));
    const std::string bin96 = sim::BinBlock(96, std::string(300, ','));
    const std::string mixedCase = "$PASHR,mbn," + kMbn.substr(11);
    const std::string axis100 = Axis4(28, 100);
    const std::string axisLongHeader = Axis4(40, 10);
    // Header length 4, and the body length bytes 8-9 (after the record) 0: an 8-byte record,
    // framed only once more than 28 bytes are there.
    const std::string axisShort = Bytes({0xAA, 0x44, 0x12, 4, 1, 2, 3, 4});
    const FramingCase cases[] = {
        {"stray bytes before a sentence are dropped", {"\x01Z" + kGga}, {{Framed(kGga)}}, 0},
        {"a sentence split over two reads is framed after the second",
         {kGga.substr(0, 20), kGga.substr(20)},
         {{}, {Framed(kGga)}},
         0},
        {"a single-comma reply waits for a later comma",
         {kAck, kVtg},
         {{}, {Framed(kAck), Framed(kVtg)}},
         0},
        {"a single-comma reply alone stays in the buffer",
         {kAck},
         {{}},
         static_cast<int>(kAck.size())},
        {"the byte after the CR is skipped: a '$' right after the CR is lost",
         {Framed(kGga) + kVtg + kGsa},
         {{Framed(kGga), Framed(kGsa)}},
         0},
        {"a CR as last byte of a read still owes its terminator",
         {Framed(kGga), "\n" + kVtg},
         {{Framed(kGga)}, {Framed(kVtg)}},
         0},
        {"a CR as last byte, the next read starting with '$'",
         {Framed(kGga), kVtg + kGsa},
         {{Framed(kGga)}, {Framed(kGsa)}},
         0},
        {"a '#' reply ends at its CR, the LF after it is dropped",
         {"#LOGLIST,COM1,0\r\n"},
         {{"#LOGLIST,COM1,0\r"}},
         0},
        {"a '#' reply is cut just before the next '#'",
         {"#A,1,2#B,3,4\r\n"},
         {{"#A,1,2", "#B,3,4\r"}},
         0},
        {"a lone '#' before a reply, at the buffer start", {"##B,3,4\r\n"}, {{"#", "#B,3,4\r"}}, 0},
        {"a lone '#' before a reply, moved to the start while waiting for more bytes",
         {"xx##B", ",3,4\r\n"},
         {{}, {"#", "#B,3,4\r"}},
         0},
        {"a '#' reply waits for its CR or the next '#'",
         {"#A,1,2", "3\r\n"},
         {{}, {"#A,1,23\r"}},
         0},
        {"a comma-less line never borrows the tags of the record after it",
         {"#comment\r\n" + kMbn + kGga},
         {{"#comment\r", kMbn.substr(0, 54), Framed(kGga)}},
         0},
        {"a comma-less '$' line before a record, in one read and in two",
         {"$PGRMO\r\n" + kMbn, "$PGRMO\r\n", kMbn},
         {{"$PGRMO\r", kMbn.substr(0, 54)}, {"$PGRMO\r"}, {kMbn.substr(0, 54)}},
         0},
        {"MBN is 54 bytes whatever its payload holds",
         {kMbn.substr(0, 53), kMbn.substr(53) + kGga},
         {{}, {kMbn.substr(0, 54), Framed(kGga)}},
         0},
        {"the record type compares without case", {mixedCase}, {{mixedCase.substr(0, 54)}}, 0},
        {"$BIN block 95 is 140 bytes",
         {bin95.substr(0, 139), bin95.substr(139) + "\n"},
         {{}, {bin95.substr(0, 140)}},
         0},
        {"$BIN block 96 is 312 bytes",
         {bin96 + "\n" + kGga},
         {{bin96.substr(0, 312), Framed(kGga)}},
         0},
        {"$BIN with another block byte is text up to the CR",
         {"$BINa\x01,\r\n"},
         {{"$BINa\x01,\r"}},
         0},
        {"AA 44 12 with a 28-byte header and 100 body bytes: 132 once all are there",
         {axis100.substr(0, 131), axis100.substr(131)},
         {{}, {axis100}},
         0},
        {"AA 44 12 with a 40-byte header",
         {axisLongHeader.substr(0, 29), axisLongHeader.substr(29) + kGga},
         {{}, {axisLongHeader, Framed(kGga)}},
         0},
        {"a short AA 44 12 record waits for more than 28 bytes",
         {axisShort + std::string(2, '\0') + std::string(18, 'z'), "z"},
         {{}, {axisShort}},
         0},
        {"AA at the end of a read waits for the next byte",
         {"zz\xAA", axis100.substr(1)},
         {{}, {axis100}},
         0},
        {"AA 44 at the end of a read waits for the next byte",
         {axis100.substr(0, 2), axis100.substr(2)},
         {{}, {axis100}},
         0},
        {"AA at the end followed by another byte is dropped",
         {"zz\xAA", "Q" + kGga},
         {{}, {Framed(kGga)}},
         0},
    };
    for (const FramingCase& c : cases) {
        SCOPED_TRACE(c.legend);
        CBinBuffer buffer;
        EXPECT_EQ(Feed(buffer, c.reads), c.expected);
        EXPECT_EQ(buffer.GetLength(), c.leftover);
        EXPECT_EQ(buffer.GetSize(), buffer.GetLength());
    }
}

TEST(CBinBuffer, FixedRecordLengthsBySecondField) {
    const std::pair<const char*, std::size_t> records[] = {
        {"MBN", 54}, {"MCA", 49}, {"PBN", 68}, {"SAL", 82}, {"SNV", 144}};
    for (const auto& [type, length] : records) {
        SCOPED_TRACE(type);
        // Payload of CRs only: a text framer would stop at the first one.
        const std::string record = sim::AshtechRecord(type, std::string(length - 14, '\r'));
        ASSERT_EQ(record.size(), length + 1);
        CBinBuffer buffer(record.data(), static_cast<int>(length) - 1);
        EXPECT_FALSE(buffer.GetCurrentMessage());
        EXPECT_EQ(buffer.m_nCurrent, 0);
        buffer += CBinBuffer(record.data() + length - 1, 2);
        ASSERT_TRUE(buffer.GetCurrentMessage());
        EXPECT_EQ(buffer.m_nMsgLength, static_cast<int>(length));
        EXPECT_FALSE(buffer.Next());
        EXPECT_EQ(buffer.m_nCurrent, buffer.GetLength());  // the LF after the record was skipped
    }
}

TEST(CBinBuffer, MessageTextStopsAtTheFirstZeroByteAndEndsWithLineFeed) {
    struct {
        const char* legend;
        std::string bytes;
        std::wstring expected;
    } cases[] = {
        {"sentence", "$GPZDA,1,2*00\r\n", L"$GPZDA,1,2*00\r\n"},
        {"binary record with a zero byte",
         "$PASHR,MBN,\x01\xAA" + std::string(1, '\0') + std::string(40, 'x') + "\r\n",
         L"$PASHR,MBN,\x01\xAA\n"},
        {"record starting with a sync", Axis4(28, 0), L"\xAA\x44\x12\x1C\x01\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        CBinBuffer buffer(c.bytes.data(), static_cast<int>(c.bytes.size()));
        ASSERT_TRUE(buffer.GetCurrentMessage());
        EXPECT_EQ(buffer.GetMessage().str(), c.expected);
        CString* heap = buffer.GetMessageAsPtr();
        EXPECT_EQ(heap->str(), c.expected);
        delete heap;
    }
}

TEST(CBinBuffer, WithoutAMessageTextIsEmptyAndBytesAreNull) {
    CBinBuffer empty;
    int length = 1234;
    EXPECT_EQ(empty.GetMessageBin(length), nullptr);
    EXPECT_EQ(length, 1234);
    EXPECT_TRUE(empty.GetMessage().IsEmpty());
    CString* heap = empty.GetMessageAsPtr();
    ASSERT_NE(heap, nullptr);
    EXPECT_TRUE(heap->IsEmpty());
    delete heap;
    EXPECT_FALSE(empty.GetCurrentMessage());
    EXPECT_FALSE(empty.Next());
    EXPECT_FALSE(empty.First());

    CBinBuffer waiting(kAck.data(), static_cast<int>(kAck.size()));
    EXPECT_FALSE(waiting.GetCurrentMessage());
    EXPECT_EQ(waiting.GetMessageBin(length), nullptr);
    EXPECT_EQ(length, 1234);
}

TEST(CBinBuffer, MidCutsTheRangeToTheBytesPresent) {
    const std::string bytes = "$GP,A,B\r\n";
    CBinBuffer buffer(bytes.data(), static_cast<int>(bytes.size()));
    struct {
        int start, count;
        std::wstring expected;
    } cases[] = {
        {0, 3, L"$GP\n"},      {4, 100, L"A,B\r\n\n"}, {4, 0, L"A,B\r\n\n"},
        {4, -5, L"A,B\r\n\n"}, {-1, 3, L""},           {9, 1, L""},
        {8, 1, L"\n\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.start) + "," + std::to_string(c.count));
        EXPECT_EQ(buffer.Mid(c.start, c.count).str(), c.expected);
        CString* heap = buffer.Mid2(c.start, c.count);
        EXPECT_EQ(heap->str(), c.expected);
        delete heap;
    }
}

TEST(CBinBuffer, ResizeDropsOnlyTheConsumedBytes) {
    const std::string stream = kGga + kVtg + kAck;
    CBinBuffer buffer(stream.data(), static_cast<int>(stream.size()));
    ASSERT_TRUE(buffer.GetCurrentMessage());
    buffer.Resize();  // nothing consumed yet: the framed message stays framed
    EXPECT_EQ(buffer.GetLength(), static_cast<int>(stream.size()));
    EXPECT_EQ(buffer.m_nMsgLength, static_cast<int>(kGga.size()) - 1);

    ASSERT_TRUE(buffer.Next());
    buffer.Resize();
    EXPECT_EQ(buffer.m_nCurrent, 0);
    EXPECT_EQ(buffer.m_nMsgLength, 0);
    EXPECT_EQ(buffer.GetLength(), static_cast<int>(kVtg.size() + kAck.size()));
    EXPECT_EQ(buffer.GetSize(), buffer.GetLength());
    ASSERT_TRUE(buffer.GetCurrentMessage());
    EXPECT_EQ(buffer.GetMessage().ToBytes(), kVtg);

    EXPECT_FALSE(buffer.Next());  // the reply waits for a later comma
    buffer.Resize();
    EXPECT_EQ(buffer.GetLength(), static_cast<int>(kAck.size()));
    EXPECT_EQ(buffer.Mid(0, 13).ToBytes(), "$PASHR,ACK*3D\n");
}

TEST(CBinBuffer, ResizeKeepsTheTerminatorOwedByASentenceEndingTheBuffer) {
    const std::string sentence = Framed(kGga);
    CBinBuffer buffer(sentence.data(), static_cast<int>(sentence.size()));
    ASSERT_TRUE(buffer.GetCurrentMessage());
    EXPECT_FALSE(buffer.Next());
    buffer.Resize();
    EXPECT_EQ(buffer.GetLength(), 0);
    EXPECT_EQ(buffer.m_nCurrent, 1);
    buffer.Resize();  // an empty buffer stays as it is
    EXPECT_EQ(buffer.m_nCurrent, 1);
}

TEST(CBinBuffer, SetClearAndConstruction) {
    CBinBuffer buffer;
    EXPECT_EQ(buffer.GetLength(), 0);
    EXPECT_EQ(buffer.m_nCurrent, 0);
    EXPECT_EQ(buffer.m_nMsgLength, 0);

    const std::string bytes = "$X,Y\r";
    ASSERT_TRUE(buffer.Set(bytes.data(), 5, 5));  // the whole content as one message
    int length = 0;
    EXPECT_EQ(std::string(buffer.GetMessageBin(length), 5), bytes);
    EXPECT_EQ(length, 5);
    EXPECT_FALSE(buffer.Set(bytes.data(), 0, 0));
    EXPECT_EQ(buffer.GetLength(), 0);
    EXPECT_FALSE(buffer.HasMessage());
    EXPECT_FALSE(buffer.Set(nullptr, 5, 5));
    EXPECT_EQ(buffer.GetLength(), 0);

    // A message length beyond the bytes would hand the caller bytes that are not there.
    ASSERT_TRUE(buffer.Set(bytes.data(), 5, 50));
    EXPECT_LE(buffer.m_nCurrent + buffer.m_nMsgLength, buffer.GetLength());

    // Characters become their low 8 bits, so a sync survives the trip through text.
    const CBinBuffer fromText(CString(L"\x1AA\x44\x12$"));
    ASSERT_EQ(fromText.GetLength(), 4);
    EXPECT_EQ(fromText[0], 0xAA);
    EXPECT_EQ(fromText.Find('$', 0), 3);
    EXPECT_EQ(fromText.Find('$', 4), -1);
    EXPECT_EQ(fromText.Find('#', -3), -1);

    buffer.Clear();
    const std::string two = kGga + kVtg;
    buffer += CBinBuffer(two.data(), static_cast<int>(two.size()));
    buffer += CBinBuffer();
    EXPECT_EQ(buffer.GetLength(), static_cast<int>(two.size()));
    ASSERT_TRUE(buffer.GetCurrentMessage());
    ASSERT_TRUE(buffer.Next());
    ASSERT_TRUE(buffer.First());  // back to the first message
    EXPECT_EQ(buffer.GetMessage().ToBytes(), kGga);
}

}  // namespace
}  // namespace tolvik
