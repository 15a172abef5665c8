// The transmitter: frames a sentence, turns characters into nibbles, nibbles into tone steps
// and tone steps into 8192-sample blocks of phase-continuous 16-bit sine.
// Called on the GUI thread by the audio engine (start, renderTxBlock) and the command-line tool.
// renderTxBlock never allocates.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "mode_profile.h"

namespace vantrel::modem {

class TxModulator {
public:
    // Characters of the frame around the entry text: 11 spaces, CR LF, callsign, ": ", text,
    // 11 spaces, five characters of code 128.
    static constexpr int kFrameOverhead = 31;
    static constexpr std::uint8_t kSentinelChar = 128;
    static constexpr int kSentinelLength = 5;

    TxModulator();

    void setProfile(const ModeProfile& profile);
    void setTuningFrequency(int hz);  // takes effect at the next block

    // Runs the RECV sequence; called synchronously from inside renderTxBlock when the end
    // sentinel has been taken.
    void setEndOfTransmissionHandler(std::function<void()> handler);
    // Called at the start of every renderTxBlock, before any character is taken, with the
    // counts behind the characters-remaining line and the progress bar.
    void setProgressHandler(std::function<void(int txTaken, int txLength)> handler);

    // Idle text: set to the callsign at start-up.
    void setIdleText(std::string_view text);
    // The callsign dialog has closed (also when cancelled), `previous` being the callsign it
    // offered: while the idle text is still "nocall" it becomes the callsign followed by two
    // spaces; otherwise only a changed callsign replaces it (and restarts it), so an unchanged
    // one leaves the idle text and its position alone.
    void callsignChanged(std::string_view previous, std::string_view newCallsign);
    // Before every rendered block: an idle text of "nocall" becomes the callsign and one space.
    void refreshNocallIdleText(std::string_view callsign);

    // SEND: frames the entry text with the callsign. Leaves queue, prevTone, idle position alone.
    void start(std::string_view entryText, std::string_view callsign);
    // RECV: the transmission is over (txLength and txTaken back to 0).
    void stop();

    // Fills exactly kBlockLength samples. buffer.size() must be kBlockLength.
    void renderTxBlock(std::span<std::int16_t> buffer);

    int txLength() const { return txLength_; }
    int txTaken() const { return txTaken_; }
    int remaining() const { return txLength_ - txTaken_; }
    bool transmitting() const { return txLength_ > 0; }
    // Number of entry characters that the last start() took; 0 after stop().
    int sentTextLength() const { return sentTextLength_; }
    const std::string& txString() const { return txString_; }
    const std::string& idleText() const { return idleText_; }
    int prevTone() const { return prevTone_; }
    int queuedNibbles() const { return queueSize_; }
    // The symbol values of the last rendered block.
    std::span<const int> lastSymbols() const { return {symbols_.data(), static_cast<std::size_t>(symbolsPerBlock(*profile_))}; }

private:
    void fillQueue(int wanted);
    void pushDigits(std::string_view digits);
    int popNibble();

    const ModeProfile* profile_ = &defaultProfile();
    int tuningFrequency_ = kDefaultTuningFrequency;
    std::function<void()> onEnd_;
    std::function<void(int, int)> onProgress_;

    std::string txString_;
    int txLength_ = 0;
    int txTaken_ = 0;
    int sentTextLength_ = 0;
    std::string idleText_ = "nocall";
    int idlePos_ = 1;                       // 1-based
    std::array<std::uint8_t, 64> queue_{};  // ring of nibble values
    int queueHead_ = 0;
    int queueSize_ = 0;
    int sentinelRun_ = 0;  // trailing run of code-128 characters taken since the last end
    int prevTone_ = 0;
    std::array<int, kMaxSymbolsPerBlock> symbols_{};
};

// "     Characters remaining  =    " followed by the count with one leading space if not negative.
std::string remainingLineText(int remaining);

// Drawn length of the transmit progress bar for a bar control `clientWidth` pixels wide;
// nothing is drawn (nullopt) while txLength is 0.
std::optional<int> progressBarLength(int txTaken, int txLength, int clientWidth);

// A number as shown in prompts and status lines: one leading space when not negative.
std::string formatShownNumber(long long value);

}  // namespace vantrel::modem
