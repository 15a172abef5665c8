// The genie: a receiver told exactly where the wanted transmission's symbols lie in a recording
// and where its 18 tones sit, which decides every symbol by the strongest of the 18 tone
// energies and decodes the tone steps as the chat window does. It is the yardstick the
// measurement tools set the receiver's figures beside, on the very same recordings.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "modem/mode_profile.h"

namespace vantrel::bench {

// What the channel did to the transmission, as the genie is told it.
struct GenieKnowledge {
    int txFrequency = modem::kDefaultTuningFrequency;  // the sending station's tuning, Hz
    double firstSymbol = 0;        // sample of the recording where the first symbol starts
    long long symbols = 0;         // symbols in the transmission
    double clockPpm = 0;           // the recording's sample clock runs this much fast
    double frequencyOffsetHz = 0;  // every tone is heard this much higher
};

// The primary text the genie reads from `heard` (samples at profile.sampleRate).
std::string genieDecode(const modem::ModeProfile& profile, std::span<const std::int16_t> heard,
                        const GenieKnowledge& knowledge);

}  // namespace vantrel::bench
