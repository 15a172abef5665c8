// Recording stand-ins for the ports the audio engine talks to: every effect becomes one line of
// a shared log, so tests can check what happened and in which order.
#pragma once

#include <QCoreApplication>
#include <QStringList>

#include <string>

#include "audio/engine_ports.h"
#include "audio/memory_audio_device.h"
#include "modem/receiver.h"

namespace vantrel::audio::testing {

struct Station : Keyer, ChatPanes, ButtonStates, ProgressDisplay, ReceiveSink, StationInfo, MessageBoxes {
    QStringList log;
    QString entry;          // the transmit entry's text
    QString rxPane;         // echoes and decoded characters
    QString call = QStringLiteral("DL1ABC");
    int squelch = 15;
    bool keyed = false;
    bool sendEnabled = true;
    bool recvEnabled = false;
    int blocks = 0;
    QStringList messages;   // "caption|text"
    std::string decoded;    // primary characters, in order

    void keyTransmitter() override { keyed = true; log << QStringLiteral("key"); }
    void unkeyTransmitter() override { keyed = false; log << QStringLiteral("unkey"); }

    void echoSent(const QString& text) override {
        rxPane += QStringLiteral("\r\n") + call + QStringLiteral(": ") + text + QString(12, QLatin1Char(' '));
        log << QStringLiteral("echo ") + text;
    }
    QString takeText() const override { return entry; }
    void dropSentPrefix(int count) override {
        if (entry.size() >= count) entry.remove(0, count);
        log << QStringLiteral("drop %1").arg(count);
    }
    QString onAir;          // what transmissionEnded said went out
    void transmissionCut(int count, int sent) override {
        if (entry.size() >= count) entry.remove(0, sent);
        log << QStringLiteral("cut %1 of %2").arg(sent).arg(count);
    }
    void transmissionEnded(const QString& sent) override { onAir = sent; }
    void focusEntry() override { log << QStringLiteral("focus"); }

    void setSendEnabled(bool on) override { sendEnabled = on; log << (on ? QStringLiteral("send on") : QStringLiteral("send off")); }
    void setRecvEnabled(bool on) override { recvEnabled = on; log << (on ? QStringLiteral("recv on") : QStringLiteral("recv off")); }

    int progressCalls = 0;
    int shownRemaining = -1;  // the characters-remaining line's count
    void showProgress(int taken, int length) override {
        ++progressCalls;
        shownRemaining = length - taken;
    }
    void clearProgressBar() override {}

    void blockAnalysed(const modem::Receiver&, const modem::DecodedChars& chars) override {
        ++blocks;
        for (auto c : chars.primaryText()) decoded.push_back(static_cast<char>(c));
    }

    QString callsign() const override { return call; }
    modem::RxSettings receive;  // what the station's receiver is set to
    modem::RxSettings rxSettings() const override { return receive; }
    int squelchLevel() const override { return squelch; }

    void showMessage(MessageIcon, const QString& caption, const QString& text) override {
        messages << caption + QLatin1Char('|') + text;
        log << QStringLiteral("message ") + caption;
    }
    bool keyingGone = false;  // the keyer refuses SEND
    bool readyToKey() override {
        if (keyingGone) log << QStringLiteral("refused");
        return !keyingGone;
    }

    EnginePorts ports() {
        return {this, this, this, this, this, this, this};
    }
    EffectLog logger() {
        return [this](const QString& line) { log << line; };
    }
    // Position of the first line equal to `line` in the log, or -1.
    int at(const QString& line) const { return static_cast<int>(log.indexOf(line)); }
};

// Runs the queued notifications, including those they post in turn.
inline void settle() {
    for (int i = 0; i < 8; ++i) QCoreApplication::processEvents();
}

}  // namespace vantrel::audio::testing
