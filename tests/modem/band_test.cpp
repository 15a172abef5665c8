// The signal browser's receivers: slots laid across the passband, the tuning frequency found
// from a signal's tones, and a station listed from a transmission, without allocating per block.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "modem/slot_bank.h"
#include "modem/station_list.h"
#include "modem/tx_modulator.h"

namespace {

std::atomic<bool> countAllocations{false};
std::atomic<int> allocations{0};

}  // namespace

// Counts every allocation while asked to; GCC takes the malloc and free pairing here for a
// mismatch.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    if (countAllocations) ++allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace vantrel::modem {
namespace {

TEST(SlotBank, EverySignalInThePassbandLiesWhollyInsideSomeSlot) {
    for (const ModeProfile& p : kProfiles) {
        const SlotPlan plan = planSlots(p);
        ASSERT_LE(plan.count, kMaxSlots) << p.menuCaption;
        const double bin = p.sampleRate / 4096.0;
        const double span = kSignalSpanBins * bin;
        for (double lowest = kPassbandLow; lowest + span <= kPassbandHigh; lowest += 1.0) {
            bool inside = false;
            for (int k = 0; k < plan.count && !inside; ++k) {
                const double first = (lowest - plan.tuning[static_cast<std::size_t>(k)]) / bin;
                inside = first >= kCaptureBottom + 4 && first + kSignalSpanBins <= kMaxCaptureTop - 4;
            }
            ASSERT_TRUE(inside) << p.menuCaption << ": lowest tone at " << lowest << " Hz";
        }
    }
}

TEST(SlotBank, TheTuningFrequencyFoundFromTheLowestToneIsTheTransmitters) {
    for (const ModeProfile& p : kProfiles) {
        // Every F in a range of 1100 / txBaseScale Hz puts the tones in the same place.
        const double range = 1100.0 / p.txBaseScale;
        for (int f = kMinTuningFrequency; f <= kMaxTuningFrequency; f += 7)
            ASSERT_NEAR(tuningForLowestTone(p, txBaseFrequency(p, f)), f, range / 2 + 0.01) << p.menuCaption << " F " << f;
    }
}

TEST(StationList, CallSignsAreLettersAndDigits) {
    for (const char* call : {"DL1ABC", "G4XYZ", "VK2/G4XYZ", "k1abc", "2E0AAA"}) EXPECT_TRUE(looksLikeCall(call)) << call;
    for (const char* word : {"", "K1", "CQ", "12:30", "ABCDEFGHIJK1M", "DL1-ABC", "HELLO"}) EXPECT_FALSE(looksLikeCall(word)) << word;
}

std::vector<std::int16_t> transmission(const ModeProfile& p, int tuning, std::string_view call, std::string_view text) {
    TxModulator tx;
    tx.setProfile(p);
    tx.setTuningFrequency(tuning);
    tx.setIdleText(call);
    bool ended = false;
    tx.setEndOfTransmissionHandler([&] { ended = true; });
    tx.start(text, call);
    std::vector<std::int16_t> air(kBlockLength, 0);
    std::vector<std::int16_t> block(kBlockLength);
    while (!ended) {
        tx.renderTxBlock(block);
        air.insert(air.end(), block.begin(), block.end());
    }
    air.resize(air.size() + 3 * kBlockLength, 0);
    return air;
}

std::string textOf(const Station& s) {
    std::string text(kStationTextLength, '\0');
    text.resize(s.copyText(0, {text.data(), text.size()}));
    return text;
}

// One station on the air at 11 baud, heard through the whole bank block by block as the chat
// window feeds it: listed once with its call, F and text, without allocating; cleared while it
// is still sending, it comes back with what it sends from then on; silent, it leaves the list.
TEST(StationList, AStationIsListedOnceWithItsCallFrequencyAndText) {
    const ModeProfile& p = *profileByBaud(11);
    const std::string text = "CQ CQ de G4XYZ, testing the signal browser on a quiet band. K";
    const std::vector<std::int16_t> air = transmission(p, 1234, "G4XYZ", text);
    SlotBank bank;
    bank.setProfile(p);
    StationList list;
    const double blockSeconds = static_cast<double>(kBlockLength) / p.sampleRate;
    const auto run = [&](std::size_t from, std::size_t to) {
        for (std::size_t at = from; at < to; at += kBlockLength) {
            countAllocations = true;
            bank.processBlock({air.data() + at, kBlockLength}, 15);
            list.update(bank, static_cast<double>(bank.blocks()) * blockSeconds);
            countAllocations = false;
        }
    };
    run(0, air.size());
    EXPECT_EQ(allocations, 0) << "the bank and the list allocated while receiving";
    ASSERT_EQ(list.count(), 1);
    const Station& s = list.station(0);
    EXPECT_EQ(s.call(), "G4XYZ");
    EXPECT_NEAR(s.frequency(), 1234, 1.5 * toneSpacing(p));
    EXPECT_EQ(textOf(s).substr(0, text.size() + 7), "G4XYZ: " + text);
    EXPECT_GE(s.snr(), 15);

    // Cleared half-way through the transmission: listed again with only the rest of it.
    bank.reset();
    list.reset();
    const std::size_t half = air.size() / 2 / kBlockLength * kBlockLength;
    run(0, half);
    ASSERT_EQ(list.count(), 1);
    list.clear();
    EXPECT_EQ(list.count(), 0);
    run(half, air.size());
    ASSERT_EQ(list.count(), 1);
    const std::string rest = textOf(list.station(0));
    EXPECT_NE(text.find(rest.substr(0, 10)), std::string::npos) << rest;
    EXPECT_LT(rest.size(), text.size());

    const double heard = list.station(0).lastHeard();
    list.expire(heard + kStationSilenceSeconds - 1);
    EXPECT_EQ(list.count(), 1);
    list.expire(heard + kStationSilenceSeconds + 1);
    EXPECT_EQ(list.count(), 0);
}

}  // namespace
}  // namespace vantrel::modem
