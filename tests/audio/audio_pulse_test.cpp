// The engine on a real sound server: one station sends a sentence into the null sink, another
// decodes it from the source remapped from the sink's monitor. The sender survives being stopped
// (SIGSTOP/SIGCONT) in the middle of a transmission, as a busy desktop stalls a GUI thread.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMediaDevices>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

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
        station.receive.sensitive = true;  // the chat window's default receiver
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
    std::printf("the server holds %lld of %d samples\n", playback.framesHandedOver(), 2 * modem::kBlockLength);
    EXPECT_EQ(playback.framesHandedOver(), 2 * modem::kBlockLength) << "the server does not hold both blocks";
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

TEST(AudioOverPulse, TheLastBufferOfADrainedStreamIsReportedPlayed) {
    // The sink's processed time is a frame count rounded down to microseconds; at these rates
    // a block is not a whole number of microseconds.
    for (const int rate : {11025, 22050}) {
        for (const long long frames : {8192LL, 16384LL, 8192LL * 137}) {
            EXPECT_EQ(framesPlayed(frames * 1'000'000 / rate, rate), frames) << rate << " Hz";
            EXPECT_EQ(framesPlayed((frames - 1) * 1'000'000 / rate, rate), frames - 1) << rate << " Hz";
        }
        QtPlaybackDevice playback;
        ASSERT_TRUE(playback.open(rate, kDefaultDevice));
        bool played = false;
        QObject::connect(&playback, &PlaybackDevice::bufferPlayed, [&](int) { played = true; });
        const std::vector<std::int16_t> block(modem::kBlockLength, 1000);
        ASSERT_TRUE(playback.queueBuffer(0, block));
        EXPECT_TRUE(runUntil([&] { return played; }, 8192 * 1000 / rate + 3000)) << rate << " Hz: never reported";
    }
}

// The sink as a listener hears it, recorded by parec, a process of its own that goes on while
// this one is stopped: 16-bit mono at the sender's rate.
class AirRecorder {
public:
    AirRecorder(const QString& path, int sampleRate) : path_(path) {
        recorder_.setStandardOutputFile(path);
        recorder_.start(QStringLiteral("parec"), {QStringLiteral("--device=air.monitor"), QStringLiteral("--raw"),
                                                  QStringLiteral("--format=s16le"), QStringLiteral("--channels=1"),
                                                  QStringLiteral("--rate=%1").arg(sampleRate), QStringLiteral("--latency-msec=50")});
    }
    ~AirRecorder() { stop(); }
    bool started() { return recorder_.waitForStarted(5000); }
    std::vector<std::int16_t> stop() {
        if (recorder_.state() != QProcess::NotRunning) {
            recorder_.terminate();
            if (!recorder_.waitForFinished(5000)) recorder_.kill();
            recorder_.waitForFinished(2000);
        }
        QFile file(path_);
        if (!file.open(QIODevice::ReadOnly)) return {};
        const QByteArray bytes = file.readAll();
        std::vector<std::int16_t> samples(static_cast<std::size_t>(bytes.size() / 2));
        std::memcpy(samples.data(), bytes.constData(), samples.size() * 2);
        return samples;
    }

private:
    QString path_;
    QProcess recorder_;
};

// Stops this process for `stallSeconds` at each of `startsAfter` (seconds from now), from a
// child process, so the stall is as long as asked whatever this process is doing.
class Staller {
public:
    Staller(std::vector<double> startsAfter, double stallSeconds) {
        const pid_t target = ::getpid();
        child_ = ::fork();
        if (child_ != 0) return;
        // Only async-signal-safe calls from here on.
        timespec origin{};
        ::clock_gettime(CLOCK_MONOTONIC, &origin);
        for (const double start : startsAfter) {
            sleepUntil(origin, start);
            ::kill(target, SIGSTOP);
            sleepUntil(origin, start + stallSeconds);
            ::kill(target, SIGCONT);
        }
        ::_exit(0);
    }
    ~Staller() { finish(); }
    bool started() const { return child_ > 0; }
    // Waits for the last stall to be over.
    void finish() {
        if (child_ <= 0) return;
        int status = 0;
        ::waitpid(child_, &status, 0);
        child_ = -1;
    }

private:
    static void sleepUntil(const timespec& origin, double seconds) {
        timespec at = origin;
        const auto whole = static_cast<long>(seconds);
        at.tv_sec += whole;
        at.tv_nsec += static_cast<long>((seconds - static_cast<double>(whole)) * 1e9);
        if (at.tv_nsec >= 1'000'000'000L) {
            at.tv_sec += 1;
            at.tv_nsec -= 1'000'000'000L;
        }
        while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
        }
    }
    pid_t child_ = -1;
};

struct AirSound {
    std::size_t firstTone = 0;
    std::size_t lastTone = 0;
    std::size_t longestGap = 0;  // samples below the silence level between first and last tone
};

// Silence is anything below a twentieth of the transmit level; a tone dips there for a sample
// or two at its zero crossings only.
AirSound measureAir(const std::vector<std::int16_t>& air) {
    constexpr int kSilence = modem::kTxAmplitude / 20;
    AirSound sound;
    bool seen = false;
    std::size_t run = 0;
    for (std::size_t i = 0; i < air.size(); ++i) {
        if (std::abs(air[i]) >= kSilence) {
            if (seen) sound.longestGap = std::max(sound.longestGap, run);
            if (!seen) sound.firstTone = i;
            seen = true;
            sound.lastTone = i;
            run = 0;
        } else {
            ++run;
        }
    }
    return sound;
}

// The lines the receiver prints from a recording, trailing blanks removed.
std::vector<std::string> decodedLines(const std::vector<std::int16_t>& air, const modem::ModeProfile& profile) {
    modem::Receiver rx;
    rx.setProfile(profile);
    std::vector<std::int16_t> padded = air;
    padded.resize((padded.size() / modem::kBlockLength + 3) * modem::kBlockLength, 0);
    std::string text;
    modem::RxSettings settings;
    settings.sensitive = true;
    for (std::size_t at = 0; at + modem::kBlockLength <= padded.size(); at += modem::kBlockLength) {
        const auto chars = rx.processBlock(std::span(padded).subspan(at, modem::kBlockLength), settings, 15);
        for (auto c : chars.primaryText()) text.push_back(static_cast<char>(c));
    }
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        while (!line.empty() && line.back() == ' ') line.pop_back();
        if (!line.empty()) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

struct StalledSend {
    std::vector<std::int16_t> air;
    qint64 onAirMs = 0;
    bool ended = false;
    bool keyedAfter = true;
    bool listensAfter = false;
    std::string listenerHeard;      // what a station in the same (stopped) process decoded
    long long listenerDropped = -1;
};

// One sentence at 11 baud from a station that is stopped for `stall` seconds at each of
// `stallsAt` seconds after SEND.
StalledSend sendWithStalls(const QString& sentence, std::vector<double> stallsAt, double stall) {
    StalledSend result;
    QTemporaryDir dir;
    RealStation sender("DL1ABC");
    RealStation listener("DL2XYZ");
    const auto& profile = *modem::profileByBaud(11);
    for (RealStation* s : {&sender, &listener}) s->engine->changeSpeed(profile);
    EXPECT_TRUE(sender.engine->captureOpen());
    EXPECT_TRUE(listener.engine->captureOpen());
    AirRecorder recorder(dir.filePath(QStringLiteral("air.raw")), profile.sampleRate);
    EXPECT_TRUE(recorder.started()) << "parec did not start";
    runUntil([] { return false; }, 300);

    sender.station.entry = sentence;
    QElapsedTimer clock;
    clock.start();
    sender.engine->send();
    Staller staller(std::move(stallsAt), stall);
    EXPECT_TRUE(staller.started());
    result.ended = runUntil([&] { return !sender.engine->transmitting(); }, 60000);
    result.onAirMs = clock.elapsed();
    staller.finish();
    result.keyedAfter = sender.station.keyed;
    const int before = sender.station.blocks;
    result.listensAfter = runUntil([&] { return sender.station.blocks > before; }, 5000);
    // The listener needs up to two more blocks to see the end of it.
    const std::string expected = "DL1ABC: " + sentence.toStdString();
    runUntil([&] { return listener.station.decoded.find(expected) != std::string::npos; }, 3000);
    result.listenerHeard = listener.station.decoded;
    result.listenerDropped = listener.engine->droppedCaptureSamples();
    EXPECT_TRUE(sender.station.messages.isEmpty()) << sender.station.messages.join(';').toStdString();
    for (RealStation* s : {&sender, &listener}) s->engine->shutDown();
    result.air = recorder.stop();
    return result;
}

TEST(AudioOverPulse, StallsShorterThanABlockAreNeverHeard) {
    // Two stops of 0.45 s, at different points of the 0.743 s block cycle, both after the
    // lead-in, while the sentence is on the air.
    const QString sentence = QStringLiteral("TEST: the quick brown fox jumps over");
    const StalledSend sent = sendWithStalls(sentence, {3.1, 6.4}, 0.45);
    ASSERT_TRUE(sent.ended) << "no end of transmission";
    EXPECT_FALSE(sent.keyedAfter);
    EXPECT_TRUE(sent.listensAfter);

    const AirSound sound = measureAir(sent.air);
    const int rate = modem::profileByBaud(11)->sampleRate;
    ASSERT_GT(sound.lastTone, sound.firstTone + static_cast<std::size_t>(7 * rate)) << "the recording holds no transmission";
    std::printf("on the air %lld ms, longest silent gap %zu ms\n", static_cast<long long>(sent.onAirMs),
                sound.longestGap * 1000 / static_cast<std::size_t>(rate));
    EXPECT_LE(sound.longestGap * 1000, static_cast<std::size_t>(20 * rate))
        << "silent gap of " << sound.longestGap * 1000 / static_cast<std::size_t>(rate) << " ms on the air";

    const std::string expected = "DL1ABC: " + sentence.toStdString();
    const std::vector<std::string> lines = decodedLines(sent.air, *modem::profileByBaud(11));
    std::string heard;
    for (const auto& line : lines) heard += "[" + line + "]";
    EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << "heard " << heard;

    // A station receiving in a stopped process loses nothing either: the server kept what it
    // captured meanwhile.
    EXPECT_NE(sent.listenerHeard.find(expected), std::string::npos) << "listener heard [" << sent.listenerHeard << "]";
    EXPECT_EQ(sent.listenerDropped, 0);
}

TEST(AudioOverPulse, StallLongerThanABlockStillEndsInReceiveUnkeyed) {
    const double block = static_cast<double>(modem::kBlockLength) / modem::profileByBaud(11)->sampleRate;
    const StalledSend sent = sendWithStalls(QStringLiteral("TEST de DL1ABC"), {2.6}, 1.2 * block);
    EXPECT_TRUE(sent.ended) << "the transmission never ended";
    EXPECT_FALSE(sent.keyedAfter);
    EXPECT_TRUE(sent.listensAfter);
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

    const std::string stop = testing::soundServerScript("stop") + " " + qgetenv("XDG_RUNTIME_DIR").toStdString();
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
        fprintf(stderr, "could not start the test sound server\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
