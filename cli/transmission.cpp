#include "transmission.h"

#include <array>
#include <deque>

#include "modem/tx_modulator.h"

namespace vantrel::cli {

long long renderTransmission(const modem::ModeProfile& profile, const TransmitRequest& request,
                             const BlockSink& sink) {
    using Block = std::array<std::int16_t, modem::kBlockLength>;

    modem::TxModulator modulator;
    modulator.setProfile(profile);
    modulator.setTuningFrequency(request.tuningFrequency);
    modulator.setIdleText(request.callsign);
    bool ended = false;
    modulator.setEndOfTransmissionHandler([&] {
        ended = true;
        modulator.stop();
    });
    modulator.start(request.text, request.callsign);

    // Playback keeps two buffers queued: block k is rendered when the buffer two places earlier
    // has been played. When block k takes the end sentinel, everything from the buffer queued
    // just before it on is cut, so only the first k buffers of the stream are heard.
    long long handed = 0;
    std::deque<Block> queued;
    if (request.leadIn) {
        queued.emplace_back();
        queued.emplace_back();
        for (auto& b : queued) b.fill(0);
    }
    // The lead-in buffers count as the two queued ones; without them only the rendered blocks
    // reach the output, with the same cut.
    const std::size_t depth = 2;
    std::size_t leadInLeft = request.leadIn ? 0 : depth;

    Block block{};
    // A frame of n characters needs at most 3n digits; bound the loop well beyond that.
    const long long maxBlocks = (3LL * (static_cast<long long>(modulator.txLength()) + 8)) /
                                    modem::symbolsPerBlock(profile) + 16;
    for (long long k = 1; k <= maxBlocks && !ended; ++k) {
        modulator.refreshNocallIdleText(request.callsign);
        modulator.renderTxBlock(block);
        // Rendering block k means the oldest queued buffer has just finished playing.
        if (leadInLeft > 0) {
            --leadInLeft;
        } else if (!queued.empty()) {
            sink(queued.front());
            ++handed;
            queued.pop_front();
        }
        if (ended) break;
        queued.push_back(block);
    }
    return handed;
}

std::vector<std::int16_t> renderTransmission(const modem::ModeProfile& profile, const TransmitRequest& request) {
    std::vector<std::int16_t> samples;
    renderTransmission(profile, request, [&](std::span<const std::int16_t> b) {
        samples.insert(samples.end(), b.begin(), b.end());
    });
    return samples;
}

}  // namespace vantrel::cli
