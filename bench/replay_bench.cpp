// Whole-pipeline throughput: the bundled six-minute drive goes through the engine's buffer update
// as the reader thread hands it over (framing, classification, checksums, handlers, the speed
// estimator and publication of heap copies). With no host window the posted copies are freed at
// once, so the figure includes their allocation and release.
#include <benchmark/benchmark.h>

#include <string>

#include "sim/SessionGenerator.h"
#include "tolvik/engine/CGPSEngine.h"

namespace tolvik {
namespace {

const std::string& SessionBytes() {
    static const std::string bytes = [] {
        std::string all;
        for (const auto& line : sim::GenerateSession(sim::SessionOptions{})) all += line + "\r\n";
        return all;
    }();
    return bytes;
}

void BM_ReplaySession(benchmark::State& state) {
    const std::string& bytes = SessionBytes();
    const auto readSize = static_cast<std::size_t>(state.range(0));
    CGPSEngine engine;
    CGPSReceiver* receiver = engine.FindReceiver(L"Other");
    receiver->SetupReceiver(0, 1, 0.0, L"", true);
    engine.SetReceiver(receiver);
    receiver->Initialize();
    for (auto _ : state) {
        for (std::size_t pos = 0; pos < bytes.size(); pos += readSize) {
            CBinBuffer burst(bytes.data() + pos, static_cast<int>(std::min(readSize, bytes.size() - pos)));
            benchmark::DoNotOptimize(engine.UpdateGPSBuffer(burst));
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(static_cast<std::size_t>(state.iterations()) * bytes.size()));
    state.counters["messages"] =
        benchmark::Counter(static_cast<double>(receiver->m_nMessageCount), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReplaySession)->Arg(512)->Arg(4096)->ArgName("read")->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tolvik
