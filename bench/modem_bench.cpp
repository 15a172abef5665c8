// One receive pass with decoding (for Sensitive receive also with a steady carrier in the band),
// one pass of the signal browser's slot bank and station list, and one transmit block per speed.
// The "x_realtime" counter is how many times faster than real time the work runs: block duration
// over time per block; "core_percent" is the share of one core it takes to keep up.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "modem/mode_profile.h"
#include "modem/receiver.h"
#include "modem/slot_bank.h"
#include "modem/station_list.h"
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

// The same blocks with a steady carrier in the signal's band as strong as the signal; its
// frequency repeats whole periods over the blocks, so it runs on without a break.
std::vector<std::array<std::int16_t, kBlockLength>> withCarrier(const ModeProfile& p,
                                                                std::vector<std::array<std::int16_t, kBlockLength>> blocks) {
    const double total = static_cast<double>(blocks.size() * kBlockLength);
    const double cycles = std::round((txBaseFrequency(p, 1000) + 7.3 * p.sampleRate / 1024.0) * total / p.sampleRate);
    std::size_t n = 0;
    for (auto& b : blocks)
        for (auto& s : b)
            s = static_cast<std::int16_t>(std::clamp(s / 2 + 12500.0 * std::sin(2.0 * M_PI * cycles * static_cast<double>(n++) / total), -32768.0, 32767.0));
    return blocks;
}

void receivePass(benchmark::State& state, bool sensitive, bool carrier = false) {
    const ModeProfile& p = *profileByBaud(static_cast<int>(state.range(0)));
    const auto blocks = carrier ? withCarrier(p, signalBlocks(p)) : signalBlocks(p);
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
void BM_ReceivePassSensitiveCarrier(benchmark::State& state) { receivePass(state, true, true); }

// Every slot of the bank through one block, with a station on the air, and the list after it.
void BM_SlotBank(benchmark::State& state) {
    const ModeProfile& p = *profileByBaud(static_cast<int>(state.range(0)));
    const auto blocks = signalBlocks(p);
    SlotBank bank;
    bank.setProfile(p);
    StationList list;
    std::size_t i = 0;
    for (auto _ : state) {
        bank.processBlock(blocks[i++ % blocks.size()], 15);
        list.update(bank, static_cast<double>(i));
    }
    state.counters["slots"] = bank.slotCount();
    state.counters["x_realtime"] = benchmark::Counter(blockSeconds(p), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["core_percent"] =
        benchmark::Counter(blockSeconds(p) / 100.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

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
BENCHMARK(BM_ReceivePassSensitiveCarrier)->Apply(speeds);
BENCHMARK(BM_SlotBank)->Apply(speeds);
BENCHMARK(BM_RenderTxBlock)->Apply(speeds);
