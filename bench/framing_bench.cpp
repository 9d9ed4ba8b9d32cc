// Framing throughput: a generated mixed receiver stream of several megabytes (NMEA sentences,
// "#" log replies, Ashtech binary records, "$BIN" blocks and AA 44 12 records) is appended in
// serial-port-sized reads, every message is walked as the engine walks it, and the consumed bytes
// are dropped after each read.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

#include "sim/MixedStream.h"
#include "tolvik/framing/CBinBuffer.h"

namespace tolvik {
namespace {

const sim::MixedStream& Stream() {
    static const sim::MixedStream stream = [] {
        sim::MixedStreamOptions options;
        options.seed = 2024;
        options.targetBytes = 8u << 20;
        return sim::GenerateMixedStream(options);
    }();
    return stream;
}

// Arguments: read size in bytes; 1 to take each message as text (as the receiver's Parse gets
// it), 0 to take its bytes only.
void BM_FrameMixedStream(benchmark::State& state) {
    const std::string& bytes = Stream().bytes;
    const auto readSize = static_cast<std::size_t>(state.range(0));
    const bool asText = state.range(1) != 0;
    std::size_t messages = 0;
    for (auto _ : state) {
        CBinBuffer buffer;
        messages = 0;
        for (std::size_t pos = 0; pos < bytes.size(); pos += readSize) {
            buffer += CBinBuffer(bytes.data() + pos, static_cast<int>(std::min(readSize, bytes.size() - pos)));
            buffer.GetCurrentMessage();
            while (buffer.HasMessage()) {
                if (asText) {
                    const std::unique_ptr<CString> text(buffer.GetMessageAsPtr());
                    benchmark::DoNotOptimize(text->GetLength());
                } else {
                    int length = 0;
                    benchmark::DoNotOptimize(buffer.GetMessageBin(length));
                }
                ++messages;
                buffer.Next();
            }
            buffer.Resize();
        }
    }
    if (messages != Stream().messages.size()) state.SkipWithError("framed a different number of messages");
    state.SetBytesProcessed(static_cast<std::int64_t>(static_cast<std::size_t>(state.iterations()) * bytes.size()));
    state.counters["messages"] = static_cast<double>(messages);
}
BENCHMARK(BM_FrameMixedStream)
    ->ArgsProduct({{512, 4096}, {0, 1}})
    ->ArgNames({"read", "text"})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tolvik
