// The engine on a real sound server: one station sends a sentence into the null sink, another
// decodes it from the source remapped from the sink's monitor.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QTemporaryDir>

#include <memory>

#include "audio/audio_engine.h"
#include "audio/qt_audio_devices.h"
#include "engine_fakes.h"
#include "modem/tx_modulator.h"
#include "pulse_fixture.h"

namespace vantrel::audio {
namespace {

using testing::runUntil;
using testing::Station;

struct RealStation {
    explicit RealStation(const char* call) {
        station.call = QString::fromLatin1(call);
        tx.setIdleText(call);
        engine = std::make_unique<AudioEngine>(capture, playback, tx, rx, station.ports());
    }
    Station station;
    QtCaptureDevice capture;
    QtPlaybackDevice playback;
    modem::TxModulator tx;
    modem::Receiver rx;
    std::unique_ptr<AudioEngine> engine;
};

TEST(AudioOverPulse, TheServerListsTheRemappedMonitorAsInput) {
    const auto inputs = QMediaDevices::audioInputs();
    ASSERT_FALSE(inputs.isEmpty());
    EXPECT_EQ(QMediaDevices::defaultAudioInput().description(), QStringLiteral("AirMic"));
    EXPECT_FALSE(QMediaDevices::audioOutputs().isEmpty());
    EXPECT_TRUE(audioInputAt(inputs.size()).isNull());
}

TEST(AudioOverPulse, PlaybackBufferCountsAsPlayedOnlyOnceHeard) {
    QtPlaybackDevice playback;
    ASSERT_TRUE(playback.open(8000, kDefaultDevice));
    std::vector<qint64> doneAt;
    QElapsedTimer clock;
    QObject::connect(&playback, &PlaybackDevice::bufferPlayed, [&](int) { doneAt.push_back(clock.elapsed()); });
    const std::vector<std::int16_t> block(modem::kBlockLength, 1000);  // 1.024 s each
    clock.start();
    ASSERT_TRUE(playback.queueBuffer(0, block));
    ASSERT_TRUE(playback.queueBuffer(1, block));
    EXPECT_FALSE(playback.queueBuffer(1, block)) << "a buffer already queued is refused";
    ASSERT_TRUE(runUntil([&] { return doneAt.size() == 2; }, 6000));
    // Each block takes its full second to be heard (a fresh server may start a little late).
    EXPECT_GE(doneAt[0], 950);
    EXPECT_GE(doneAt[1] - doneAt[0], 950);
    EXPECT_LT(doneAt[1], 5000);
    playback.close();
    EXPECT_FALSE(playback.queueBuffer(0, block));
}

void sendAndDecode(int baud, const QString& sentence) {
    RealStation sender("DL1ABC");
    RealStation listener("DL2XYZ");
    for (RealStation* s : {&sender, &listener}) s->engine->changeSpeed(*modem::profileByBaud(baud));
    ASSERT_TRUE(sender.engine->captureOpen());
    ASSERT_TRUE(listener.engine->captureOpen());
    // Let the listener hear some silence first.
    ASSERT_TRUE(runUntil([&] { return listener.station.blocks >= 2; }, 10000));

    sender.station.entry = sentence;
    QElapsedTimer clock;
    clock.start();
    sender.engine->send();
    ASSERT_TRUE(sender.engine->transmitting());
    ASSERT_TRUE(runUntil([&] { return !sender.engine->transmitting(); }, 60000)) << "no end of transmission";
    const qint64 onAir = clock.elapsed();
    EXPECT_FALSE(sender.station.keyed);
    EXPECT_TRUE(sender.station.messages.isEmpty()) << sender.station.messages.join(';').toStdString();
    EXPECT_TRUE(sender.station.entry.isEmpty());

    // The listener needs up to two more blocks to see the end of it.
    const std::string expected = "DL1ABC: " + sentence.toStdString();
    runUntil([&] { return listener.station.decoded.find(expected) != std::string::npos; }, 5000);
    EXPECT_NE(listener.station.decoded.find(expected), std::string::npos)
        << "heard: [" << listener.station.decoded << "] after " << onAir << " ms on air";
    EXPECT_EQ(listener.engine->droppedCaptureSamples(), 0);
    EXPECT_TRUE(listener.station.messages.isEmpty());

    // The sender listens again.
    const int before = sender.station.blocks;
    EXPECT_TRUE(runUntil([&] { return sender.station.blocks > before; }, 5000));
    for (RealStation* s : {&sender, &listener}) s->engine->shutDown();
}

TEST(AudioOverPulse, SentenceCrossesTheServerAt11Baud) {
    sendAndDecode(11, QStringLiteral("CQ CQ de DL1ABC, the quick brown fox jumps over 123 lazy dogs"));
}

TEST(AudioOverPulse, SentenceCrossesTheServerAt22Baud) {
    sendAndDecode(22, QStringLiteral("73 and good DX from the null sink"));
}

// Last: it takes the server away from every test after it.
TEST(AudioOverPulseZLast, ServerGoingAwayMidTransmissionUnkeysAndIsReported) {
    RealStation sender("DL1ABC");
    RealStation listener("DL2XYZ");
    ASSERT_TRUE(sender.engine->openCapture());
    ASSERT_TRUE(listener.engine->openCapture());
    sender.station.entry = QStringLiteral("this sentence never reaches its end because the server goes away");
    sender.engine->send();
    ASSERT_TRUE(runUntil([&] { return sender.station.blocks >= 0 && sender.playback.isOpen(); }, 1000));
    runUntil([] { return false; }, 1500);
    ASSERT_TRUE(sender.engine->transmitting());

    const std::string stop = std::string(VANTREL_SOURCE_DIR) + "/scripts/pulse-stop " + qgetenv("XDG_RUNTIME_DIR").toStdString();
    ASSERT_EQ(std::system(stop.c_str()), 0);
    EXPECT_TRUE(runUntil([&] { return !sender.station.keyed; }, 10000)) << "the radio stayed keyed";
    EXPECT_FALSE(sender.engine->playbackOpen());
    EXPECT_TRUE(sender.station.messages.contains(QStringLiteral("OUTPUT|The soundcard output has stopped")))
        << sender.station.messages.join(';').toStdString();
    EXPECT_TRUE(runUntil([&] { return !listener.engine->captureOpen(); }, 10000));
    EXPECT_TRUE(listener.station.messages.contains(QStringLiteral("INPUT|The soundcard input has stopped")))
        << listener.station.messages.join(';').toStdString();
}

}  // namespace
}  // namespace vantrel::audio

int main(int argc, char** argv) {
    // Listing the tests at build time happens without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    vantrel::audio::testing::PulseServer server(dir.path().toStdString() + "/pulse-runtime");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    if (!server.ok()) {
        fprintf(stderr, "could not start the PulseAudio test server\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
