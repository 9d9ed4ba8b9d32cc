// Framing must not depend on how the stream is cut into reads: a receiver's bytes arrive in
// bursts that end anywhere. The buffer is driven exactly as the engine drives it (append, walk the
// complete messages, drop the consumed bytes), once with all bytes in one append and once in
// chunks; both must frame the same messages, byte for byte, in the same order.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "tolvik/framing/CBinBuffer.h"

namespace tolvik::fuzz {

namespace {

constexpr std::size_t kControlBytes = 4;
// Every append rescans an incomplete message from its start, so the cost of an input grows with
// its length times its number of chunks. Single bytes are tried on short inputs only, and long
// inputs are cut into at most kMaxChunks pieces, which keeps a run fast enough to explore.
constexpr std::size_t kByteWiseLimit = 512;
constexpr std::size_t kMaxChunks = 256;

std::string Escaped(const std::string& bytes) {
    std::string out;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

void CheckState(const CBinBuffer& buffer) {
    if (buffer.m_nLength != buffer.GetSize() || buffer.m_nCurrent < 0 || buffer.m_nMsgLength < 0 ||
        (buffer.HasMessage() && buffer.m_nCurrent + buffer.m_nMsgLength > buffer.m_nLength)) {
        Fail("buffer state out of its bounds: current " + std::to_string(buffer.m_nCurrent) + ", message " +
             std::to_string(buffer.m_nMsgLength) + ", length " + std::to_string(buffer.m_nLength));
    }
}

std::vector<std::string> FrameInChunks(const std::uint8_t* data, const std::vector<std::size_t>& lengths) {
    std::vector<std::string> messages;
    CBinBuffer buffer;
    std::size_t offset = 0;
    for (const std::size_t n : lengths) {
        buffer += CBinBuffer(reinterpret_cast<const char*>(data + offset), static_cast<int>(n));
        offset += n;
        buffer.GetCurrentMessage();
        while (buffer.HasMessage()) {
            CheckState(buffer);
            int length = -1;
            const char* bytes = buffer.GetMessageBin(length);
            if (!bytes || length != buffer.m_nMsgLength) Fail("GetMessageBin disagrees with the framed message");
            // The text the receiver gets: the bytes up to the first zero, then a line feed.
            const CString text = buffer.GetMessage();
            if (text.IsEmpty() || text[text.GetLength() - 1] != L'\n') Fail("message text without its line feed");
            messages.emplace_back(bytes, static_cast<std::size_t>(length));
            buffer.Next();
        }
        buffer.Resize();
        CheckState(buffer);
    }
    return messages;
}

}  // namespace

int FuzzFraming(const std::uint8_t* data, std::size_t size) {
    if (size <= kControlBytes) return 0;
    std::size_t maxChunk = 1 + data[0];
    const std::uint32_t seed = static_cast<std::uint32_t>(data[1] | (data[2] << 8) | (data[3] << 16));
    data += kControlBytes;
    size -= kControlBytes;

    maxChunk = std::max(maxChunk, size / kMaxChunks);
    const std::vector<std::string> whole = FrameInChunks(data, {size});
    std::vector<std::vector<std::size_t>> cuts = {ChunkLengths(size, maxChunk, seed)};
    if (size <= kByteWiseLimit) cuts.emplace_back(size, 1);
    for (const auto& lengths : cuts) {
        const std::vector<std::string> chunked = FrameInChunks(data, lengths);
        const std::size_t common = std::min(whole.size(), chunked.size());
        for (std::size_t i = 0; i <= common; ++i) {
            if (i < common && whole[i] == chunked[i]) continue;
            if (i == common && whole.size() == chunked.size()) break;
            Fail("chunks of at most " + std::to_string(lengths.size() == size ? 1 : maxChunk) +
                 " bytes frame differently at message " + std::to_string(i) + ": one append \"" +
                 (i < whole.size() ? Escaped(whole[i]) : "(none)") + "\", chunks \"" +
                 (i < chunked.size() ? Escaped(chunked[i]) : "(none)") + "\"");
        }
    }
    return 0;
}

}  // namespace tolvik::fuzz
