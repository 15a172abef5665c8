// One over-the-air trial: a transmission rendered as the chat window plays it, passed through
// the channel simulator and decoded as the chat window receives it.
#pragma once

#include <string>
#include <string_view>

#include "cli/block_receiver.h"
#include "modem/mode_profile.h"
#include "tests/support/channel.h"

namespace vantrel::testsupport {

struct TrialSetup {
    std::string text;
    std::string callsign = "N0CALL";
    int txFrequency = 1000;  // Hz, the sending station's tuning frequency
    ChannelSettings channel;
    cli::ReceiveOptions receive;  // receive.rx.tuningFrequency is the receiving station's
};

struct TrialResult {
    std::string received;  // primary text as decoded
    double cer = 0;        // characterErrorRate(text, received)
    bool callsignDecoded = false;   // "CALL: " came through
    bool firstWordDecoded = false;  // the text's first word came through as a whole word
    bool callAndFirstWordDecoded = false;  // "CALL: first " came through exactly
};

TrialResult runTrial(const modem::ModeProfile& profile, const TrialSetup& setup);

// How well `received` carries the trial's text.
TrialResult judgeTrial(const TrialSetup& setup, std::string received);

}  // namespace vantrel::testsupport
