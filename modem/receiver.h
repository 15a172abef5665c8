// The whole receive chain of one captured block, as the chat window and the command-line
// decoder both run it: analysis pass, then decoding with the squelch.
#pragma once

#include <cstdint>
#include <span>

#include "rx_analyzer.h"
#include "rx_decoder.h"

namespace vantrel::modem {

class Receiver {
public:
    void setProfile(const ModeProfile& profile) {
        analyzer_.setProfile(profile);
        decoder_.setProfile(profile);
    }
    void reset() {
        analyzer_.reset();
        decoder_.reset();
    }
    DecodedChars processBlock(std::span<const std::int16_t> block, const RxSettings& settings, int squelchLevel) {
        analyzer_.processBlock(block, settings);
        return decoder_.decode(analyzer_.slotPeaks(), analyzer_.snrSmoothed(), squelchLevel);
    }
    const RxAnalyzer& analyzer() const { return analyzer_; }
    const RxDecoder& decoder() const { return decoder_; }

private:
    RxAnalyzer analyzer_;
    RxDecoder decoder_;
};

}  // namespace vantrel::modem
