// What the audio engine needs from the rest of the program, as small interfaces the main
// window (or a test) implements. All are called on the GUI thread, from inside the engine's
// sequences; none of them may call back into the engine.
// Text crossing these interfaces is the operator's 8-bit text held in QString, one QChar per
// character (Latin-1).
#pragma once

#include <QString>

#include <cstdint>
#include <span>

namespace vantrel::modem {
class Receiver;
struct DecodedChars;
struct RxSettings;
}  // namespace vantrel::modem

namespace vantrel::audio {

// Keys the transceiver. The app connects it to the radio layer's PttController; with no open
// port both calls do nothing.
class Keyer {
public:
    virtual ~Keyer() = default;
    virtual void keyTransmitter() = 0;
    virtual void unkeyTransmitter() = 0;
    // Asked by SEND before anything else changes: false when the port or radio that keys the
    // transmitter has gone away, after telling the operator so. SEND is then refused rather
    // than sent unkeyed.
    virtual bool readyToKey() { return true; }
};

// The receive pane and the transmit entry.
class ChatPanes {
public:
    virtual ~ChatPanes() = default;
    // Receive pane: old text + CR LF + callsign + ": " + text + 12 spaces, caret to the end.
    virtual void echoSent(const QString& text) = 0;
    // Transmit entry: its whole current text (may be empty).
    virtual QString takeText() const = 0;
    // Transmit entry: loses its first `count` characters when it holds at least that many,
    // else stays unchanged; caret to the end.
    virtual void dropSentPrefix(int count) = 0;
    // RECV stopped a sentence of `count` characters after its first `sent` had gone out: the
    // entry loses only those (when it holds at least `count`, as dropSentPrefix), the unsent
    // rest stays at its front, selected; the receive pane's echo shows where it stopped.
    virtual void transmissionCut(int count, int sent) = 0;
    // Transmit entry gets the keyboard focus, caret scrolled into view.
    virtual void focusEntry() = 0;
    // At the end of every transmission that began (RECV, the end of the text, a lost device,
    // the time limit): exactly the part of the operator's text that was played on the air (may
    // be empty). For the record of what was sent.
    virtual void transmissionEnded(const QString& sent) { (void)sent; }
};

// The "SEND" (313) and "RECV" (314) buttons.
class ButtonStates {
public:
    virtual ~ButtonStates() = default;
    virtual void setSendEnabled(bool enabled) = 0;
    virtual void setRecvEnabled(bool enabled) = 0;
};

// The characters-remaining line (800) and the transmit progress bar (1429).
class ProgressDisplay {
public:
    virtual ~ProgressDisplay() = default;
    // Before every rendered transmit block: line and bar from the modulator's counts.
    virtual void showProgress(int txTaken, int txLength) = 0;
    // After every received block: the bar is cleared (the line keeps its text).
    virtual void clearProgressBar() = 0;
};

// Everything the app draws and prints from one received block: timing panel, decoded
// characters into the receive pane, S/N meter, waterfall columns. Called once per captured
// block, right after the receiver has analysed and decoded it.
class ReceiveSink {
public:
    virtual ~ReceiveSink() = default;
    virtual void blockAnalysed(const modem::Receiver& receiver, const modem::DecodedChars& chars) = 0;
    // Then the captured block itself, for receivers of the program's own beside the main one.
    virtual void blockCaptured(std::span<const std::int16_t> block) { (void)block; }
};

// The operator's current choices that the engine reads on every block and at SEND.
class StationInfo {
public:
    virtual ~StationInfo() = default;
    virtual QString callsign() const = 0;
    virtual modem::RxSettings rxSettings() const = 0;  // tuning frequency, captureTop, attack, sensitive
    virtual int squelchLevel() const = 0;
};

// Message boxes, so tests can record them instead of blocking on a modal box.
enum class MessageIcon { Error, Warning, Information };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual void showMessage(MessageIcon icon, const QString& caption, const QString& text) = 0;
    // The same in a box that does not hold up the window; returns at once.
    virtual void showNotice(const QString& caption, const QString& text) {
        showMessage(MessageIcon::Warning, caption, text);
    }
};

// The ports handed to the engine; every pointer must stay valid for the engine's life.
struct EnginePorts {
    Keyer* keyer = nullptr;
    ChatPanes* panes = nullptr;
    ButtonStates* buttons = nullptr;
    ProgressDisplay* progress = nullptr;
    ReceiveSink* receiveSink = nullptr;
    StationInfo* station = nullptr;
    MessageBoxes* messages = nullptr;
};

}  // namespace vantrel::audio
