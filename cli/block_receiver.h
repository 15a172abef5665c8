// The chat window's receive chain on a sample stream: samples are cut into kBlockLength blocks
// and every block runs one Receiver pass with the operator's settings. Used by the command-line
// decoder, the loopback tests and the measurement tools.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "modem/receiver.h"

namespace vantrel::cli {

struct ReceiveOptions {
    modem::RxSettings rx;   // tuning frequency, capture top, attack, sensitive
    int squelchLevel = 15;  // at least 1
};

class BlockReceiver {
public:
    // Called after every pass with that pass's characters.
    using PassHandler = std::function<void(const modem::DecodedChars&)>;

    BlockReceiver(const modem::ModeProfile& profile, const ReceiveOptions& options);
    ~BlockReceiver();
    BlockReceiver(const BlockReceiver&) = delete;
    BlockReceiver& operator=(const BlockReceiver&) = delete;

    void setPassHandler(PassHandler handler) { onPass_ = std::move(handler); }

    // Samples at the profile's sample rate, in any chunk size.
    void feed(std::span<const std::int16_t> samples);
    // End of the stream: the partial block is padded with silence, and one more silent block is
    // run, because a pass decodes the symbols of the pass before it.
    void finish();

    long long passes() const { return passes_; }

private:
    void runPass();

    std::unique_ptr<modem::Receiver> receiver_;
    ReceiveOptions options_;
    PassHandler onPass_;
    std::vector<std::int16_t> block_;
    std::size_t filled_ = 0;
    long long passes_ = 0;
};

struct DecodedText {
    std::string primary;    // typed text as the receive pane gets it (CR LF kept)
    std::string secondary;  // idle text
};

// Decodes a whole recording held in memory.
DecodedText decodeSamples(const modem::ModeProfile& profile, const ReceiveOptions& options,
                          std::span<const std::int16_t> samples);

}  // namespace vantrel::cli
