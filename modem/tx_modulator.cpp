#include "tx_modulator.h"

#include <cmath>

#include "dsp_math.h"

#include "varicode.h"

namespace vantrel::modem {

TxModulator::TxModulator() { txString_.reserve(256); }

void TxModulator::setProfile(const ModeProfile& profile) { profile_ = &profile; }

void TxModulator::setTuningFrequency(int hz) { tuningFrequency_ = hz; }

void TxModulator::setEndOfTransmissionHandler(std::function<void()> handler) { onEnd_ = std::move(handler); }

void TxModulator::setProgressHandler(std::function<void(int, int)> handler) { onProgress_ = std::move(handler); }

void TxModulator::setIdleText(std::string_view text) {
    // An empty idle text would leave the queue with nothing to refill from.
    idleText_ = text.empty() ? std::string("nocall") : std::string(text);
    if (idlePos_ > static_cast<int>(idleText_.size()) + 1) idlePos_ = 1;
}

void TxModulator::callsignChanged(std::string_view previous, std::string_view newCallsign) {
    if (newCallsign.empty()) return;
    if (idleText_ == "nocall") {
        idleText_ = std::string(newCallsign) + "  ";
    } else if (newCallsign != previous) {
        // Identify with the new call sign at once, not with the old one until the next start.
        idleText_ = std::string(newCallsign);
        idlePos_ = 1;
    }
}

void TxModulator::refreshNocallIdleText(std::string_view callsign) {
    if (idleText_ == "nocall") idleText_ = std::string(callsign) + " ";
}

void TxModulator::start(std::string_view entryText, std::string_view callsign) {
    txString_.assign(11, ' ');
    txString_ += "\r\n";
    txString_ += callsign;
    txString_ += ": ";
    txString_ += entryText;
    txString_.append(11, ' ');
    txString_.append(kSentinelLength, static_cast<char>(kSentinelChar));
    txLength_ = static_cast<int>(txString_.size());
    txTaken_ = 0;
    sentinelRun_ = 0;
    sentTextLength_ = static_cast<int>(entryText.size());
}

void TxModulator::stop() {
    txLength_ = 0;
    txTaken_ = 0;
    sentTextLength_ = 0;
}

void TxModulator::pushDigits(std::string_view digits) {
    for (char d : digits) {
        const int tail = (queueHead_ + queueSize_) % static_cast<int>(queue_.size());
        queue_[static_cast<std::size_t>(tail)] = static_cast<std::uint8_t>(hexDigitValue(d));
        ++queueSize_;
    }
}

int TxModulator::popNibble() {
    const int v = queue_[static_cast<std::size_t>(queueHead_)];
    queueHead_ = (queueHead_ + 1) % static_cast<int>(queue_.size());
    --queueSize_;
    return v;
}

void TxModulator::fillQueue(int wanted) {
    const VaricodeTable& codes = varicodeTable();
    while (queueSize_ < wanted) {
        if (txTaken_ < txLength_) {
            ++txTaken_;
            const auto c = static_cast<std::uint8_t>(txString_[static_cast<std::size_t>(txTaken_ - 1)]);
            pushDigits(codes.encodePrimary(c));
            // Only the frame's own closing characters count as the end sentinel: code-128
            // characters typed into the text must not end the transmission half-way.
            const bool closing = txTaken_ > txLength_ - kSentinelLength;
            sentinelRun_ = (c == kSentinelChar && closing) ? sentinelRun_ + 1 : 0;
        } else {
            if (idlePos_ > static_cast<int>(idleText_.size())) idlePos_ = 1;
            const auto c = static_cast<std::uint8_t>(idleText_[static_cast<std::size_t>(idlePos_ - 1)]);
            pushDigits(codes.encodeSecondary(c));
            ++idlePos_;
        }
        if (sentinelRun_ >= kSentinelLength) {
            sentinelRun_ = 0;
            if (onEnd_) onEnd_();
            else stop();
        }
    }
}

void TxModulator::renderTxBlock(std::span<std::int16_t> buffer) {
    if (onProgress_) onProgress_(txTaken_, txLength_);

    const int perBlock = symbolsPerBlock(*profile_);
    fillQueue(perBlock);
    for (int i = 0; i < perBlock; ++i) symbols_[static_cast<std::size_t>(i)] = popNibble();

    const int rate = profile_->sampleRate;
    const double base = static_cast<double>(rate) * txBaseToneIndex(*profile_, tuningFrequency_) / 1024.0;
    const int symbolLen = symbolLength(*profile_);
    const std::size_t count = buffer.size() < static_cast<std::size_t>(kBlockLength) ? buffer.size() : kBlockLength;

    // Sample 0 of every block is the silent phase-zero point that the previous block ended on;
    // the 8192th computed sample (phase back at zero) is not handed over.
    if (count > 0) buffer[0] = 0;
    float phase = 0.0f;
    int n = 0;
    for (int i = 0; i < perBlock; ++i) {
        const int tone = (symbols_[static_cast<std::size_t>(i)] + prevTone_ + kToneOffset) % kToneCount;
        prevTone_ = tone;
        const float f = static_cast<float>(static_cast<double>(rate) * tone / 1024.0 + base);
        const double step = static_cast<double>(f) * kTwoPi / rate;
        for (int s = 0; s < symbolLen; ++s) {
            ++n;
            phase = static_cast<float>(phase + step);
            if (phase > kTwoPi) phase = static_cast<float>(phase - kTwoPi);
            if (static_cast<std::size_t>(n) < count)
                buffer[static_cast<std::size_t>(n)] =
                    static_cast<std::int16_t>(std::nearbyint(kTxAmplitude * std::sin(static_cast<double>(phase))));
        }
    }
}

std::string formatShownNumber(long long value) {
    std::string digits = std::to_string(value);
    return value < 0 ? digits : " " + digits;
}

std::string remainingLineText(int remaining) {
    return "     Characters remaining  =    " + formatShownNumber(remaining);
}

std::optional<int> progressBarLength(int txTaken, int txLength, int clientWidth) {
    if (txLength == 0) return std::nullopt;
    const double full = std::nearbyint(0.61 * clientWidth);
    return static_cast<int>(std::nearbyint((1.0 - static_cast<double>(txTaken) / txLength) * full));
}

}  // namespace vantrel::modem
