// The engine's whole byte path for one model: bytes in arbitrary reads through UpdateGPSBuffer
// (framing, raw-data attachment, Parse, raw text forwarding), or the same bytes as the lines of an
// emulation file through ReplayLine ("VEK PAUSE" lines included). Beyond not crashing, the
// framing buffer must stay bounded by the engine's limit whatever arrives.
#include <algorithm>
#include <string>

#include "FuzzSupport.h"
#include "FuzzTargets.h"

namespace tolvik::fuzz {

namespace {

constexpr std::size_t kControlBytes = 3;
constexpr std::uint8_t kAsLines = 0x03;  // mode & 3 == 3: emulation lines
constexpr std::uint8_t kAttachRawData = 0x20;
constexpr std::uint8_t kForwardText = 0x40;
constexpr std::size_t kMaxChunks = 256;

void CheckBounded(const CGPSEngine& engine) {
    if (engine.m_Buffer.GetLength() > CGPSEngine::kBufferLimit) {
        Fail("framing buffer holds " + std::to_string(engine.m_Buffer.GetLength()) + " bytes, above the limit");
    }
}

void ReplayAsLines(CGPSEngine& engine, const std::string& text) {
    // As the emulation file reader cuts them: at line feeds, a CR before the LF dropped.
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::size_t stop = end;
        if (stop > start && text[stop - 1] == '\r') --stop;
        engine.ReplayLine(CString::FromBytes(std::string_view(text).substr(start, stop - start)));
        CheckBounded(engine);
        start = end + 1;
    }
}

}  // namespace

int FuzzEngine(const std::uint8_t* data, std::size_t size) {
    if (size < kControlBytes) return 0;
    CGPSEngine& engine = Engine();
    const std::uint8_t mode = data[1];
    // Not SetReceiver: that suspends the previous model, whose raw-output commands are no part of
    // the byte path.
    engine.m_pReceiver = ModelFor(data[0]);
    engine.m_Buffer.Clear();
    engine.m_bAttachRawData = (mode & kAttachRawData) != 0;
    engine.m_ComBuffer.ClearData();
    engine.m_ComBuffer.SetStopped((mode & kForwardText) == 0);
    const std::string bytes(reinterpret_cast<const char*>(data + kControlBytes), size - kControlBytes);
    // At most kMaxChunks reads per pass: every read rescans an incomplete message from its start.
    const std::size_t maxChunk =
        std::max<std::size_t>(1 + static_cast<std::size_t>(data[2]) * 16, bytes.size() / kMaxChunks);

    if ((mode & 0x03) == kAsLines) {
        ReplayAsLines(engine, bytes);
        return 0;
    }
    // Repeating the input reaches the buffer limit with inputs of a few kilobytes.
    const int repeats = 1 + ((mode >> 2) & 0x07);
    for (int r = 0; r < repeats; ++r) {
        std::size_t offset = 0;
        for (const std::size_t n : ChunkLengths(bytes.size(), maxChunk, mode + 257u * static_cast<unsigned>(r))) {
            CBinBuffer burst(bytes.data() + offset, static_cast<int>(n));
            offset += n;
            engine.UpdateGPSBuffer(burst);
            CheckBounded(engine);
        }
    }
    return 0;
}

}  // namespace tolvik::fuzz
