#include "loopback_trial.h"

#include "cli/transmission.h"
#include "tests/support/text_metrics.h"

namespace vantrel::testsupport {

TrialResult runTrial(const modem::ModeProfile& profile, const TrialSetup& setup) {
    cli::TransmitRequest request;
    request.text = setup.text;
    request.callsign = setup.callsign;
    request.tuningFrequency = setup.txFrequency;
    const auto sent = cli::renderTransmission(profile, request);
    const auto heard = applyChannel(sent, profile.sampleRate, setup.channel);
    return judgeTrial(setup, cli::decodeSamples(profile, setup.receive, heard).primary);
}

TrialResult judgeTrial(const TrialSetup& setup, std::string received) {
    TrialResult r;
    r.received = std::move(received);
    r.cer = characterErrorRate(setup.text, r.received);
    r.callsignDecoded = r.received.find(setup.callsign + ": ") != std::string::npos;
    // The first word as a whole word: after the space of ": ", before a space or the tail.
    const std::string firstWord = setup.text.substr(0, setup.text.find(' '));
    r.firstWordDecoded = !firstWord.empty() && r.received.find(" " + firstWord + " ") != std::string::npos;
    r.callAndFirstWordDecoded =
        !firstWord.empty() && r.received.find(setup.callsign + ": " + firstWord + " ") != std::string::npos;
    return r;
}

}  // namespace vantrel::testsupport
