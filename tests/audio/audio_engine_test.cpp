// The engine's sequences over in-memory devices: what happens, in which order, and how every
// state is left.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cmath>
#include <memory>
#include <vector>

#include "audio/audio_engine.h"
#include "engine_fakes.h"
#include "modem/tx_modulator.h"
#include "modem/varicode.h"

namespace vantrel::audio {
namespace {

using testing::settle;
using testing::Station;

std::vector<std::int16_t> signalBlocks(const char* text, int blocks, const modem::ModeProfile& profile) {
    modem::TxModulator tx;
    tx.setProfile(profile);
    tx.setIdleText("DL2XYZ");
    tx.start(text, "DL2XYZ");
    std::vector<std::int16_t> out(static_cast<std::size_t>(blocks) * modem::kBlockLength);
    for (int b = 0; b < blocks; ++b)
        tx.renderTxBlock(std::span(out).subspan(static_cast<std::size_t>(b) * modem::kBlockLength, modem::kBlockLength));
    return out;
}

// What a receiver makes of played audio.
std::string decode(const std::vector<std::int16_t>& audio, const modem::ModeProfile& profile) {
    modem::Receiver rx;
    rx.setProfile(profile);
    std::string text;
    std::vector<std::int16_t> padded = audio;
    padded.resize(padded.size() + 4 * modem::kBlockLength, 0);
    for (std::size_t at = 0; at + modem::kBlockLength <= padded.size(); at += modem::kBlockLength) {
        const auto chars = rx.processBlock(std::span(padded).subspan(at, modem::kBlockLength), {}, 15);
        for (auto c : chars.primaryText()) text.push_back(static_cast<char>(c));
    }
    return text;
}

// Runs the event loop for `ms`, timers included.
void runFor(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        capture.setLog(station.logger());
        playback.setLog(station.logger());
        tx.setIdleText(station.call.toStdString());
        engine = std::make_unique<AudioEngine>(capture, playback, tx, rx, station.ports());
    }

    void startReceiving() {
        ASSERT_TRUE(engine->openCapture());
        settle();
        station.log.clear();
    }

    // Plays buffers as the sound card would until the engine is back in receive.
    int playUntilReceive(int limit = 200) {
        int played = 0;
        while (engine->transmitting() && played < limit && playback.playNext()) {
            settle();
            ++played;
        }
        return played;
    }

    void deliverBlocks(const std::vector<std::int16_t>& audio) {
        for (std::size_t at = 0; at < audio.size(); at += modem::kBlockLength) {
            capture.deliver(std::span(audio).subspan(at, modem::kBlockLength));
            settle();
        }
    }

    Station station;
    MemoryCaptureDevice capture;
    MemoryPlaybackDevice playback;
    modem::TxModulator tx;
    modem::Receiver rx;
    std::unique_ptr<AudioEngine> engine;
};

TEST_F(EngineTest, CaptureCycleAnalysesEveryBlockAndDropsWhatFindsNoBuffer) {
    ASSERT_TRUE(engine->openCapture());
    EXPECT_EQ(capture.sampleRate(), 11025);
    EXPECT_EQ(capture.deviceIndex(), -1);
    // The buffers are queued by the open notification, never inside the open call.
    EXPECT_EQ(capture.queuedCount(), 0);
    settle();
    EXPECT_EQ(capture.queuedCount(), 2);

    // Three blocks arrive before the GUI thread gets a turn: the third finds no buffer.
    const std::vector<std::int16_t> audio(3 * modem::kBlockLength, 100);
    capture.deliver(audio);
    EXPECT_EQ(station.blocks, 0);
    EXPECT_EQ(engine->droppedCaptureSamples(), modem::kBlockLength);
    settle();
    EXPECT_EQ(station.blocks, 2);
    EXPECT_EQ(capture.queuedCount(), 2);

    deliverBlocks(std::vector<std::int16_t>(4 * modem::kBlockLength, 0));
    EXPECT_EQ(station.blocks, 6);
    EXPECT_EQ(engine->droppedCaptureSamples(), modem::kBlockLength);
}

TEST_F(EngineTest, SendIsRefusedWhileTheChannelIsBusy) {
    startReceiving();
    station.squelch = 1;
    deliverBlocks(signalBlocks("CQ CQ CQ de DL2XYZ DL2XYZ pse k", 12, engine->profile()));
    ASSERT_GT(rx.analyzer().snrSmoothed(), station.squelch) << "the test signal should open the squelch";

    station.entry = QStringLiteral("hello");
    engine->send();
    EXPECT_TRUE(station.log.isEmpty()) << station.log.join(QLatin1Char(',')).toStdString();
    EXPECT_FALSE(engine->transmitting());
    EXPECT_TRUE(capture.recording());
    EXPECT_FALSE(playback.isOpen());
    EXPECT_TRUE(station.messages.isEmpty());
}

TEST_F(EngineTest, SendAndRecvRunTheirStepsInOrder) {
    startReceiving();
    station.entry = QStringLiteral("hello world");
    engine->send();
    const QStringList sendSteps{"capture close", "echo hello world", "key", "recv on", "playback open", "focus", "send off"};
    EXPECT_EQ(station.log, sendSteps);
    EXPECT_TRUE(engine->transmitting());
    EXPECT_EQ(playback.queuedCount(), 2);
    EXPECT_EQ(playback.sampleRate(), 11025);
    EXPECT_EQ(station.rxPane, QStringLiteral("\r\nDL1ABC: hello world            "));

    // Text typed while sending stays for the next sentence; none of this one was played yet.
    playback.playNext();
    settle();
    station.entry += QStringLiteral(" next");
    station.log.clear();
    engine->receive();
    const QStringList recvSteps{"playback close", "capture open", "cut 0 of 11", "unkey", "send on", "capture start", "recv off", "focus"};
    EXPECT_EQ(station.log, recvSteps);
    EXPECT_EQ(station.entry, QStringLiteral("hello world next"));
    EXPECT_FALSE(engine->transmitting());
    EXPECT_FALSE(station.keyed);
    settle();
    EXPECT_EQ(capture.queuedCount(), 2);
    EXPECT_TRUE(capture.recording());
}

TEST_F(EngineTest, EndSentinelReturnsToReceiveAfterTheWholeSentence) {
    startReceiving();
    station.entry = QStringLiteral("the quick brown fox");
    engine->send();
    // The two lead-in buffers are silence.
    playback.playNext();
    playback.playNext();
    EXPECT_TRUE(std::all_of(playback.played().begin(), playback.played().end(), [](auto s) { return s == 0; }));
    settle();

    const int played = playUntilReceive();
    EXPECT_LT(played, 100);
    EXPECT_FALSE(engine->transmitting());
    EXPECT_EQ(station.log.count(QStringLiteral("unkey")), 1);
    EXPECT_FALSE(station.keyed);
    EXPECT_TRUE(station.entry.isEmpty());
    EXPECT_TRUE(station.sendEnabled);
    EXPECT_FALSE(station.recvEnabled);
    // The block rendered when the sentinel was met is not queued on the closed device.
    EXPECT_FALSE(playback.isOpen());
    EXPECT_EQ(playback.queuedCount(), 0);
    settle();
    EXPECT_TRUE(capture.recording());
    EXPECT_EQ(capture.queuedCount(), 2);

    const std::string heard = decode(playback.played(), engine->profile());
    EXPECT_NE(heard.find("DL1ABC: the quick brown fox"), std::string::npos) << heard;
    // The other buffer, still queued when the sentinel ran RECV, came back rendered: the
    // characters-remaining line no longer shows the sentinel's count.
    EXPECT_EQ(station.shownRemaining, 0);

    // A second sentence goes out the same way.
    station.entry = QStringLiteral("second");
    engine->send();
    EXPECT_TRUE(engine->transmitting());
    playUntilReceive();
    EXPECT_FALSE(engine->transmitting());
    EXPECT_EQ(station.log.count(QStringLiteral("unkey")), 2);
}

TEST_F(EngineTest, RecvInMidTextStopsAtOnceAndKeepsWhatWasNotPlayed) {
    startReceiving();
    const QString sentence = QStringLiteral("a long sentence that needs many blocks to leave the station");
    station.entry = sentence;
    engine->send();
    for (int i = 0; i < 8; ++i) {
        playback.playNext();
        settle();
    }
    ASSERT_TRUE(engine->transmitting());
    station.entry += QStringLiteral("typed meanwhile");
    const auto playedBefore = playback.played().size();

    engine->receive();
    EXPECT_FALSE(playback.isOpen());
    EXPECT_FALSE(playback.playNext());
    EXPECT_EQ(playback.played().size(), playedBefore);
    EXPECT_FALSE(station.keyed);
    EXPECT_EQ(tx.txLength(), 0);

    // Only the characters played whole went out, and exactly those are reported and leave the
    // entry; the rest of the sentence stays in front of what was typed meanwhile.
    const qsizetype sent = station.onAir.size();
    ASSERT_TRUE(sent > 0 && sent < sentence.size()) << sent;
    EXPECT_EQ(station.onAir, sentence.left(sent));
    EXPECT_EQ(station.entry, sentence.mid(sent) + QStringLiteral("typed meanwhile"));
    // Counted against the frame's nibbles in the symbols played after the two lead-in blocks.
    const auto& profile = engine->profile();
    auto symbols = static_cast<long>(playback.played().size() / modem::kBlockLength - 2) * modem::symbolsPerBlock(profile);
    long whole = -21;  // the frame before the text: 11 spaces, CR LF, "DL1ABC: "
    for (char c : "           \r\nDL1ABC: " + sentence.toStdString()) {
        symbols -= static_cast<long>(modem::varicodeTable().encodePrimary(static_cast<std::uint8_t>(c)).size());
        if (symbols < 0) break;
        ++whole;
    }
    EXPECT_EQ(sent, whole);
    // A receiver hears no more of it than was reported.
    const QString heard = QString::fromStdString(decode(playback.played(), profile)).section(QStringLiteral("DL1ABC: "), 1);
    EXPECT_TRUE(!heard.isEmpty() && station.onAir.startsWith(heard.trimmed())) << heard.toStdString();

    // The two buffers RECV took back from the sound card come back later and are rendered,
    // never played: the modulator moves on by two blocks of idle text and the
    // characters-remaining line shows that nothing is left.
    const int tone = tx.prevTone();
    const int calls = station.progressCalls;
    settle();
    EXPECT_EQ(station.progressCalls, calls + 2);
    EXPECT_EQ(station.shownRemaining, 0);
    EXPECT_NE(tx.prevTone(), tone);
    EXPECT_EQ(playback.played().size(), playedBefore);
    EXPECT_FALSE(engine->transmitting());
    EXPECT_EQ(station.log.count(QStringLiteral("unkey")), 1);
}

TEST_F(EngineTest, TimeLimitEndsATransmissionAndRefusedKeyingSendsNothing) {
    startReceiving();
    engine->setTimeLimit(std::chrono::milliseconds(150));
    station.entry = QStringLiteral("a sentence longer than the limit lets it be");
    engine->send();
    playback.playNext();
    settle();
    ASSERT_TRUE(engine->transmitting());
    for (int i = 0; i < 50 && engine->transmitting(); ++i) runFor(10);
    EXPECT_FALSE(engine->transmitting());
    EXPECT_FALSE(station.keyed);
    EXPECT_LT(station.at("unkey"), station.at("message Transmit time limit"));
    EXPECT_EQ(station.entry, QStringLiteral("a sentence longer than the limit lets it be"));

    // The keying is gone: SEND is refused before anything changes.
    station.keyingGone = true;
    station.log.clear();
    engine->send();
    EXPECT_EQ(station.log, QStringList{"refused"});
    EXPECT_FALSE(engine->transmitting());
    EXPECT_TRUE(capture.isOpen());
}

TEST_F(EngineTest, HandedBackBuffersNeverTakeTheNextSentence) {
    startReceiving();
    station.entry = QStringLiteral("first");
    engine->send();
    playback.playNext();
    settle();
    engine->receive();
    // SEND before the handed-back buffers come round: they belong to the new transmission,
    // which must start from its first character when its own buffers are played.
    station.entry = QStringLiteral("second");
    engine->send();
    settle();
    EXPECT_EQ(tx.txTaken(), 0);
    EXPECT_EQ(playback.queuedCount(), 2);

    // A RECV that cannot reopen capture keeps the text for the next RECV: nothing is rendered.
    capture.failOpen = true;
    engine->receive();
    const int calls = station.progressCalls;
    settle();
    EXPECT_EQ(station.progressCalls, calls);
    EXPECT_EQ(tx.txTaken(), 0);
}

TEST_F(EngineTest, SpeedChangeReopensCaptureAtTheNewRate) {
    startReceiving();
    ASSERT_TRUE(engine->changeSpeed(*modem::profileByBaud(22)));
    EXPECT_EQ(capture.sampleRate(), 22050);
    settle();
    EXPECT_TRUE(capture.recording());
    EXPECT_EQ(capture.queuedCount(), 2);

    // Capture refuses the new rate: said once, the speed is current all the same.
    capture.failOpen = true;
    EXPECT_FALSE(engine->changeSpeed(*modem::profileByBaud(4)));
    EXPECT_EQ(station.messages, QStringList{"INPUT|Can't open soundcard for input"});
    EXPECT_EQ(engine->profile().sampleRate, 8000);
    EXPECT_EQ(tx.txLength(), 0);
    EXPECT_FALSE(capture.isOpen());
}

TEST_F(EngineTest, SpeedChangeDuringTransmissionEndsItUnkeyed) {
    startReceiving();
    station.entry = QStringLiteral("cut short by a speed change");
    engine->send();
    playback.playNext();
    settle();
    station.log.clear();

    ASSERT_TRUE(engine->changeSpeed(*modem::profileByBaud(16)));
    EXPECT_FALSE(engine->transmitting());
    EXPECT_FALSE(playback.isOpen());
    EXPECT_FALSE(station.keyed);
    EXPECT_LT(station.at("playback close"), station.at("capture open"));
    EXPECT_LT(station.at("capture open"), station.at("unkey"));
    EXPECT_EQ(capture.sampleRate(), 16000);
    EXPECT_TRUE(station.sendEnabled);
    EXPECT_FALSE(station.recvEnabled);

    // The next transmission plays at the new rate, starting from silence.
    station.entry = QStringLiteral("now at 16 baud");
    engine->send();
    EXPECT_EQ(playback.sampleRate(), 16000);
    const auto lead = engine->playbackBuffer(0);
    EXPECT_TRUE(std::all_of(lead.begin(), lead.end(), [](auto s) { return s == 0; }));
}

TEST_F(EngineTest, FailedPlaybackOpenUnkeysAndKeepsTheSentence) {
    startReceiving();
    playback.failOpen = true;
    station.entry = QStringLiteral("not sent");
    engine->send();
    EXPECT_EQ(station.messages, QStringList{"OUTPUT|Can't open soundcard for output"});
    // Nothing can be played, so the radio is not left keyed; the rest of the state waits for
    // the operator: capture closed, both buttons usable.
    EXPECT_LT(station.at("key"), station.at("unkey"));
    EXPECT_LT(station.at("unkey"), station.at("message OUTPUT"));
    EXPECT_FALSE(station.keyed);
    EXPECT_TRUE(engine->transmitting());
    EXPECT_FALSE(capture.isOpen());
    EXPECT_FALSE(playback.isOpen());
    EXPECT_TRUE(station.sendEnabled);
    EXPECT_TRUE(station.recvEnabled);

    // Left by RECV: back to receive, the entry still holds the sentence.
    engine->receive();
    EXPECT_FALSE(engine->transmitting());
    EXPECT_EQ(station.entry, QStringLiteral("not sent"));
    EXPECT_TRUE(capture.isOpen());
    EXPECT_FALSE(station.recvEnabled);

    // Left by SEND once the output works again.
    playback.failOpen = true;
    engine->send();
    playback.failOpen = false;
    engine->send();
    EXPECT_TRUE(playback.isOpen());
    EXPECT_TRUE(station.keyed);
    EXPECT_FALSE(station.sendEnabled);
    playUntilReceive();
    EXPECT_FALSE(station.keyed);
    EXPECT_TRUE(station.entry.isEmpty());
}

TEST_F(EngineTest, FailedCaptureReopenAtRecvUnkeysAndWaitsForRecv) {
    startReceiving();
    station.entry = QStringLiteral("hello");
    engine->send();
    playback.playNext();
    settle();
    capture.failOpen = true;
    station.log.clear();

    engine->receive();
    EXPECT_EQ(station.messages, QStringList{"INPUT|Can't open soundcard for input"});
    EXPECT_LT(station.at("unkey"), station.at("message INPUT"));
    EXPECT_FALSE(station.keyed);
    EXPECT_TRUE(engine->transmitting());
    EXPECT_FALSE(capture.isOpen());
    EXPECT_FALSE(playback.isOpen());
    EXPECT_FALSE(station.sendEnabled);
    EXPECT_TRUE(station.recvEnabled);
    EXPECT_EQ(station.entry, QStringLiteral("hello"));

    // RECV again once an input opens: receive; none of the sentence had been played, so the
    // entry keeps it.
    capture.failOpen = false;
    engine->receive();
    EXPECT_FALSE(engine->transmitting());
    EXPECT_EQ(station.entry, QStringLiteral("hello"));
    EXPECT_TRUE(station.sendEnabled);
    EXPECT_FALSE(station.recvEnabled);
    settle();
    EXPECT_TRUE(capture.recording());
}

TEST_F(EngineTest, EndSentinelWithNoInputLeavesTheRadioUnkeyed) {
    startReceiving();
    station.entry = QStringLiteral("x");
    engine->send();
    capture.failOpen = true;
    playUntilReceive(60);
    EXPECT_EQ(station.messages, QStringList{"INPUT|Can't open soundcard for input"});
    EXPECT_FALSE(station.keyed);
    EXPECT_FALSE(playback.isOpen());
    EXPECT_EQ(playback.queuedCount(), 0);
}

TEST_F(EngineTest, NoInputAtStartUpIsSaidOnceAndTheProgramRunsOn) {
    capture.failOpen = true;
    EXPECT_FALSE(engine->openCapture());
    settle();
    EXPECT_EQ(station.messages, QStringList{"INPUT|Can't open soundcard for input"});
    // Sending still works; the end of the transmission tries capture again.
    station.entry = QStringLiteral("no ears");
    engine->send();
    EXPECT_TRUE(station.keyed);
    capture.failOpen = false;
    playUntilReceive();
    EXPECT_FALSE(station.keyed);
    EXPECT_TRUE(capture.isOpen());
    EXPECT_EQ(station.messages.size(), 1);
}

TEST_F(EngineTest, LostDevicesAreReportedAndNeverLeaveTheRadioKeyed) {
    startReceiving();
    capture.loseDevice();
    settle();
    EXPECT_EQ(station.messages, QStringList{"INPUT|The soundcard input has stopped"});
    EXPECT_FALSE(capture.isOpen());

    ASSERT_TRUE(engine->openCapture());
    settle();
    station.entry = QStringLiteral("going down");
    engine->send();
    playback.playNext();
    settle();
    station.messages.clear();
    station.log.clear();
    playback.loseDevice();
    settle();
    EXPECT_LT(station.at("unkey"), station.at("message OUTPUT"));
    EXPECT_FALSE(station.keyed);
    EXPECT_FALSE(engine->transmitting());
    EXPECT_EQ(station.messages, QStringList{"OUTPUT|The soundcard output has stopped"});
    EXPECT_TRUE(capture.isOpen());
}

TEST_F(EngineTest, ShutDownClosesBothDevicesAndUnkeys) {
    startReceiving();
    station.entry = QStringLiteral("interrupted by exit");
    engine->send();
    engine->shutDown();
    EXPECT_FALSE(capture.isOpen());
    EXPECT_FALSE(playback.isOpen());
    EXPECT_FALSE(station.keyed);
    settle();
    EXPECT_TRUE(station.messages.isEmpty());
}


// What one sentence puts on the air at a transmit level.
std::vector<std::int16_t> onAirAt(int levelDb) {
    Station station;
    MemoryCaptureDevice capture;
    MemoryPlaybackDevice playback;
    modem::TxModulator tx;
    modem::Receiver rx;
    tx.setIdleText("DL1ABC");
    AudioEngine engine(capture, playback, tx, rx, station.ports());
    engine.setTransmitLevelDb(levelDb);
    engine.openCapture();
    settle();
    station.entry = QStringLiteral("level test");
    engine.send();
    while (engine.transmitting() && playback.playNext()) settle();
    return playback.played();
}

TEST(TransmitLevel, ScalesTheSamplesByTheSetDecibelsAndNothingElse) {
    const std::vector<std::int16_t> full = onAirAt(0);
    // Outside -30..0 the level is held at its end.
    for (const auto& [db, held] : std::vector<std::pair<int, int>>{{-1, -1}, {-6, -6}, {-20, -20}, {-30, -30}, {-45, -30}, {3, 0}}) {
        const std::vector<std::int16_t> air = onAirAt(db);
        ASSERT_EQ(air.size(), full.size()) << db << " dB";
        // The same waveform, sample for sample, at the lower amplitude, and its energy down by the level.
        const double gain = std::pow(10.0, held / 20.0);
        double energy = 0, fullEnergy = 0;
        for (std::size_t i = 0; i < air.size(); ++i) {
            ASSERT_EQ(air[i], std::nearbyint(full[i] * gain)) << db << " dB, sample " << i;
            energy += static_cast<double>(air[i]) * air[i];
            fullEnergy += static_cast<double>(full[i]) * full[i];
        }
        EXPECT_NEAR(10 * std::log10(energy / fullEnergy), held, 0.1) << db << " dB";
    }
}

}  // namespace
}  // namespace vantrel::audio

int main(int argc, char** argv) {
    // Listing the tests at build time happens without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
