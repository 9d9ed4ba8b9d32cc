// Framing must not depend on where the serial reads happen to end: the same bytes fed whole, one
// at a time or in chunks of any size give the same messages.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "sim/MixedStream.h"
#include "support/TestSupport.h"
#include "tolvik/framing/CBinBuffer.h"

namespace tolvik {
namespace {

using ChunkSizes = std::function<std::size_t()>;

// Feeds the stream as the engine does: append a read, walk the complete messages, drop the
// consumed bytes. Returns the bytes of every message framed, and checks on the way that each
// message lies inside the buffer and reads as text up to its first zero byte plus "\n".
std::vector<std::string> FrameStream(const std::string& stream, const ChunkSizes& nextSize,
                                     int* pLeftover = nullptr) {
    CBinBuffer buffer;
    std::vector<std::string> messages;
    for (std::size_t pos = 0; pos < stream.size();) {
        const std::size_t n = std::min(std::max<std::size_t>(nextSize(), 1), stream.size() - pos);
        buffer += CBinBuffer(stream.data() + pos, static_cast<int>(n));
        pos += n;
        buffer.GetCurrentMessage();
        while (buffer.HasMessage()) {
            int length = -1;
            const char* p = buffer.GetMessageBin(length);
            if (!p || buffer.m_nCurrent + length > buffer.m_nLength) {
                ADD_FAILURE() << "message outside the buffer at stream byte " << pos;
                return messages;
            }
            const std::string bytes(p, static_cast<std::size_t>(length));
            const std::string text = bytes.substr(0, bytes.find('\0')) + "\n";
            if (buffer.GetMessage() != CString::FromBytes(text)) {
                ADD_FAILURE() << "text of message " << messages.size() << " differs from its bytes";
            }
            messages.push_back(bytes);
            buffer.Next();
        }
        buffer.Resize();
        if (buffer.m_nLength != buffer.GetSize() || buffer.m_nCurrent < 0 ||
            buffer.m_nCurrent > buffer.m_nLength + 1) {
            ADD_FAILURE() << "broken buffer fields after Resize at stream byte " << pos;
            return messages;
        }
    }
    if (pLeftover)
        *pLeftover = buffer.GetLength();
    return messages;
}

std::string Printable(const std::string& bytes) {
    std::string out;
    for (const unsigned char c : bytes) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += (c >= 0x20 && c < 0x7F) ? std::string(1, static_cast<char>(c)) : std::string(hex);
    }
    return out;
}

// Reports the first message that differs rather than two lists of thousands of messages.
::testing::AssertionResult SameMessages(const std::vector<std::string>& actual,
                                        const std::vector<std::string>& expected) {
    const std::size_t n = std::min(actual.size(), expected.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (actual[i] != expected[i]) {
            return ::testing::AssertionFailure()
                   << "message " << i << " is \"" << Printable(actual[i]) << "\", expected \""
                   << Printable(expected[i]) << "\"";
        }
    }
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure()
               << actual.size() << " messages, expected " << expected.size();
    }
    return ::testing::AssertionSuccess();
}

ChunkSizes Whole() {
    return [] { return std::size_t{1} << 30; };
}
ChunkSizes Bytewise() {
    return [] { return std::size_t{1}; };
}
// Mostly short reads, now and then a long one, as a serial port delivers them.
ChunkSizes RandomSizes(std::uint32_t seed) {
    auto rng = std::make_shared<std::mt19937>(seed);
    return [rng] {
        const int kind = std::uniform_int_distribution<int>(0, 9)(*rng);
        return static_cast<std::size_t>(
            std::uniform_int_distribution<int>(1, kind < 6 ? 16 : (kind < 9 ? 300 : 5000))(*rng));
    };
}

// What a correct framer finds in a recording replayed line by line with "\r\n" appended: every
// line starting with '$' up to its CR, every '#' line up to its CR and cut before any later '#'
// in it. A message with one comma of its own needs a second comma somewhere later for its tags;
// when none comes it waits, and so does everything after it.
std::vector<std::string> ExpectedFromLines(const std::vector<std::string>& lines,
                                           const std::string& stream) {
    std::vector<std::string> expected;
    std::size_t offset = 0;
    for (const std::string& line : lines) {
        const std::size_t start = offset;
        offset += line.size() + 2;
        if (line.empty() || (line[0] != '$' && line[0] != '#'))
            continue;
        std::vector<std::size_t> cuts = {0};
        for (std::size_t hash = line.find('#', 1); line[0] == '#' && hash != std::string::npos;
             hash = line.find('#', hash + 1)) {
            cuts.push_back(hash);
        }
        cuts.push_back(line.size());
        for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
            std::string message = line.substr(cuts[i], cuts[i + 1] - cuts[i]);
            const std::size_t comma = message.find(',');
            if (comma != std::string::npos &&
                stream.find(',', start + cuts[i] + comma + 1) == std::string::npos) {
                return expected;
            }
            expected.push_back(i + 2 == cuts.size() ? message + "\r" : message);
        }
    }
    return expected;
}

std::vector<std::string> RecordingFiles() {
    std::vector<std::string> files;
    const std::string dir = test::SharedData("receivers");
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > 4 && name.substr(name.size() - 4) == ".log")
                files.push_back(dir + "/" + name);
        }
        closedir(d);
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(Chunking, RecordingsFrameTheSameWhateverTheChunkSizes) {
    TOLVIK_REQUIRE_SHARED_DATA();
    const auto files = RecordingFiles();
    ASSERT_GE(files.size(), 8u);
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const auto lines = test::ReadLines(file);
        std::string stream;
        for (const auto& line : lines)
            stream += line + "\r\n";
        const auto expected = ExpectedFromLines(lines, stream);
        ASSERT_GT(expected.size(), 20u);

        EXPECT_TRUE(SameMessages(FrameStream(stream, Whole()), expected));
        EXPECT_TRUE(SameMessages(FrameStream(stream, Bytewise()), expected));
        for (std::uint32_t seed = 1; seed <= 3; ++seed) {
            SCOPED_TRACE("seed " + std::to_string(seed));
            EXPECT_TRUE(SameMessages(FrameStream(stream, RandomSizes(seed)), expected));
        }
    }
}

TEST(Chunking, GeneratedMixedStreamsFrameExactlyTheMessagesSent) {
    for (std::uint32_t seed = 1; seed <= 4; ++seed) {
        SCOPED_TRACE("stream seed " + std::to_string(seed));
        sim::MixedStreamOptions options;
        options.seed = seed;
        options.targetBytes = 40 * 1024;
        const sim::MixedStream stream = sim::GenerateMixedStream(options);
        for (int kind = 0; kind < sim::kMixedKindCount; ++kind) {
            EXPECT_GT(stream.Count(static_cast<sim::MixedKind>(kind)), 0) << "kind " << kind;
        }

        int leftover = -1;
        EXPECT_TRUE(SameMessages(FrameStream(stream.bytes, Whole(), &leftover), stream.messages));
        EXPECT_EQ(leftover, 0);
        EXPECT_TRUE(
            SameMessages(FrameStream(stream.bytes, Bytewise(), &leftover), stream.messages));
        EXPECT_EQ(leftover, 0);
        for (const std::size_t port : {512u, 4096u}) {
            EXPECT_TRUE(
                SameMessages(FrameStream(stream.bytes, [port] { return port; }), stream.messages))
                << port;
        }
        for (std::uint32_t seed2 = 10; seed2 < 14; ++seed2) {
            SCOPED_TRACE("chunk seed " + std::to_string(seed2));
            EXPECT_TRUE(
                SameMessages(FrameStream(stream.bytes, RandomSizes(seed2)), stream.messages));
        }
    }
}

// Arbitrary bytes, rich in message starts, syncs, commas and line ends: framing never leaves the
// buffer (checked by FrameStream and, in the sanitizer build, by AddressSanitizer) and keeps
// making progress.
TEST(Chunking, ArbitraryBytesNeverBreakTheBuffer) {
    std::mt19937 rng(7);
    const std::string pieces[] = {"$",
                                  "#",
                                  ",",
                                  "\r",
                                  "\n",
                                  "\r\n",
                                  "$BIN",
                                  "_",
                                  "`",
                                  "MBN",
                                  "SNV",
                                  "ACK",
                                  std::string(1, '\0'),
                                  "\xAA",
                                  "\xFF",
                                  std::string("\xAA\x44\x12", 3)};
    for (int round = 0; round < 40; ++round) {
        // Without sync sequences most rounds frame many messages; with them, a corrupt length
        // soon holds everything up, as it does on a real line until the engine's size limit.
        const bool syncs = round % 4 == 0;
        std::string stream;
        while (stream.size() < 6000) {
            const std::size_t pick = std::uniform_int_distribution<std::size_t>(
                0, std::size(pieces) - (syncs ? 1 : 2))(rng);
            stream += std::uniform_int_distribution<int>(0, 2)(rng) == 0
                          ? std::string(1, static_cast<char>(rng() % 0xAA))
                          : pieces[pick];
        }
        const auto whole = FrameStream(stream, Whole());
        const auto chunked = FrameStream(stream, RandomSizes(static_cast<std::uint32_t>(round)));
        EXPECT_TRUE(SameMessages(chunked, whole)) << round;
        if (!syncs) {
            EXPECT_GT(whole.size(), 100u) << round;
        }
    }
}

}  // namespace
}  // namespace tolvik
