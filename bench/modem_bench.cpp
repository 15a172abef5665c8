// One receive pass with decoding and one transmit block per speed. The "x_realtime" counter is
// how many times faster than real time the work runs: block duration over time per block.

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <vector>

#include "modem/mode_profile.h"
#include "modem/receiver.h"
#include "modem/tx_modulator.h"

namespace {

using namespace vantrel::modem;

double blockSeconds(const ModeProfile& p) { return static_cast<double>(kBlockLength) / p.sampleRate; }

// A few blocks of a transmission, so the receiver works on a real signal with the squelch open.
std::vector<std::array<std::int16_t, kBlockLength>> signalBlocks(const ModeProfile& p) {
    TxModulator tx;
    tx.setProfile(p);
    tx.setIdleText("N0CALL");
    tx.start("Thanks for the call, the name is Pat and the QTH is near the coast. 73", "N0CALL");
    std::vector<std::array<std::int16_t, kBlockLength>> blocks(16);
    for (auto& b : blocks) tx.renderTxBlock(b);
    return blocks;
}

void receivePass(benchmark::State& state, bool sensitive) {
    const ModeProfile& p = *profileByBaud(static_cast<int>(state.range(0)));
    const auto blocks = signalBlocks(p);
    Receiver rx;
    rx.setProfile(p);
    RxSettings settings;
    settings.sensitive = sensitive;
    std::size_t i = 0;
    for (auto _ : state) {
        const DecodedChars chars = rx.processBlock(blocks[i++ % blocks.size()], settings, 15);
        benchmark::DoNotOptimize(chars);
    }
    state.counters["x_realtime"] = benchmark::Counter(blockSeconds(p), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ReceivePass(benchmark::State& state) { receivePass(state, false); }
void BM_ReceivePassSensitive(benchmark::State& state) { receivePass(state, true); }

void BM_RenderTxBlock(benchmark::State& state) {
    const ModeProfile& p = *profileByBaud(static_cast<int>(state.range(0)));
    TxModulator tx;
    tx.setProfile(p);
    tx.setIdleText("N0CALL");
    std::array<std::int16_t, kBlockLength> block{};
    for (auto _ : state) {
        tx.renderTxBlock(block);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    state.counters["x_realtime"] = benchmark::Counter(blockSeconds(p), benchmark::Counter::kIsIterationInvariantRate);
}

void speeds(benchmark::internal::Benchmark* b) {
    b->ArgName("baud");
    for (int baud : {4, 5, 8, 11, 16, 22}) b->Arg(baud);
}

}  // namespace

BENCHMARK(BM_ReceivePass)->Apply(speeds);
BENCHMARK(BM_ReceivePassSensitive)->Apply(speeds);
BENCHMARK(BM_RenderTxBlock)->Apply(speeds);
