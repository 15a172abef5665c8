// One transmission as the chat window plays it after a single SEND from a fresh start, rendered
// to a sample stream instead of a sound card. Used by the command-line encoder, the loopback
// tests and the measurement tools.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "modem/mode_profile.h"

namespace vantrel::cli {

struct TransmitRequest {
    std::string text;                                   // entry text, bytes sent as they are
    std::string callsign = "nocall";
    int tuningFrequency = modem::kDefaultTuningFrequency;  // Hz
    bool leadIn = true;  // the two silent buffers that playback starts with after a fresh start
};

// Blocks of kBlockLength samples, in playing order.
using BlockSink = std::function<void(std::span<const std::int16_t> block)>;

// Hands every block the sound card would have played to `sink`: the lead-in, then each rendered
// block up to the one that was playing when the end sentinel cut playback. Returns the number of
// blocks handed over.
long long renderTransmission(const modem::ModeProfile& profile, const TransmitRequest& request,
                             const BlockSink& sink);

// The same, collected in memory.
std::vector<std::int16_t> renderTransmission(const modem::ModeProfile& profile, const TransmitRequest& request);

}  // namespace vantrel::cli
