// A recording in place of the sound card's input: the file-fed capture device (rate conversion,
// pace, the end, files it cannot play) and the switch between it and the sound card.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <vector>

#include "audio/capture_switch.h"
#include "audio/memory_audio_device.h"
#include "audio/recording_capture_device.h"
#include "cli/audio_file.h"

namespace vantrel::audio {
namespace {

class RecordingTest : public ::testing::Test {
protected:
    QString writeWav(const char* name, int rate, const std::vector<std::int16_t>& samples) {
        const QString path = dir.filePath(QLatin1String(name));
        cli::WavOutput wav;
        EXPECT_TRUE(wav.open(path.toStdString(), rate) && wav.write(samples) && wav.close());
        return path;
    }

    static std::vector<std::int16_t> ramp(int count) {
        std::vector<std::int16_t> v(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) v[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(i % 20000 - 10000);
        return v;
    }

    static std::vector<std::int16_t> tone(int count, int rate, double hz) {
        std::vector<std::int16_t> v(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
            v[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(std::lrint(8000 * std::sin(2 * M_PI * hz * i / rate)));
        return v;
    }

    // Runs events until `done` or the deadline; false on the deadline.
    template <typename F>
    static bool waitFor(F done, int ms = 10000) {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > ms) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }

    QTemporaryDir dir;
};

// Plays `device` to its end with two buffers of `block` samples circulating, as the engine
// does; returns everything delivered, buffer by buffer.
std::vector<std::int16_t> playToEnd(RecordingCaptureDevice& device, std::size_t block, int& finishedCount, int& buffers) {
    std::vector<std::vector<std::int16_t>> bufs(2, std::vector<std::int16_t>(block, 1));
    std::vector<std::int16_t> out;
    QObject::connect(&device, &CaptureDevice::bufferFilled, &device, [&](int id) {
        auto& b = bufs[static_cast<std::size_t>(id)];
        out.insert(out.end(), b.begin(), b.end());
        ++buffers;
        device.queueBuffer(id, b);
    });
    QObject::connect(&device, &RecordingCaptureDevice::finished, &device, [&] { ++finishedCount; });
    device.queueBuffer(0, bufs[0]);
    device.queueBuffer(1, bufs[1]);
    device.start();
    QElapsedTimer t;
    t.start();
    while (finishedCount == 0 && t.elapsed() < 20000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    return out;
}

TEST_F(RecordingTest, DeliversTheWholeFileUnchangedAtItsOwnRateThenSilenceAndFinishesOnce) {
    const auto samples = ramp(20000);
    RecordingCaptureDevice device;
    device.setPace(200);
    ASSERT_EQ(device.load(writeWav("ramp.wav", 8000, samples), 8000), QString());
    ASSERT_TRUE(device.open(8000, kDefaultDevice));
    int finished = 0, buffers = 0;
    const auto out = playToEnd(device, 8192, finished, buffers);
    EXPECT_EQ(finished, 1);
    ASSERT_EQ(buffers, 3);  // 20000 samples: two full buffers and one completed with silence
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), out.begin()));
    EXPECT_TRUE(std::all_of(out.begin() + 20000, out.end(), [](std::int16_t s) { return s == 0; }));
}

TEST_F(RecordingTest, ConvertsTheFileToTheCaptureRate) {
    // One second of 1 kHz at 22050 Hz, heard at 8000 Hz: 8000 samples of the same tone.
    RecordingCaptureDevice device;
    device.setPace(200);
    ASSERT_EQ(device.load(writeWav("tone.wav", 22050, tone(22050, 22050, 1000)), 8000), QString());
    ASSERT_TRUE(device.open(8000, kDefaultDevice));
    int finished = 0, buffers = 0;
    const auto out = playToEnd(device, 1000, finished, buffers);
    ASSERT_EQ(finished, 1);
    EXPECT_NEAR(buffers, 8, 1);
    // Zero crossings upwards over samples 1000..7000 (six periods of the converted rate).
    int crossings = 0;
    for (std::size_t i = 1000; i < 7000; ++i) crossings += out[i - 1] < 0 && out[i] >= 0;
    EXPECT_NEAR(crossings, 750, 2);

    // Opened at another rate, the same file is read again at that rate.
    RecordingCaptureDevice again;
    again.setPace(200);
    ASSERT_EQ(again.load(writeWav("tone2.wav", 22050, tone(22050, 22050, 1000)), 8000), QString());
    ASSERT_TRUE(again.open(11025, kDefaultDevice));
    finished = buffers = 0;
    playToEnd(again, 1000, finished, buffers);
    EXPECT_NEAR(buffers, 12, 1);
}

TEST_F(RecordingTest, PlaysNoFasterThanRealTimeAndWaitsForTheReceiverWithoutLoss) {
    const auto samples = ramp(4000);  // half a second at 8000 Hz
    RecordingCaptureDevice device;
    ASSERT_EQ(device.load(writeWav("short.wav", 8000, samples), 8000), QString());
    ASSERT_TRUE(device.open(8000, kDefaultDevice));
    std::vector<std::vector<std::int16_t>> bufs(2, std::vector<std::int16_t>(800));
    std::vector<std::int16_t> heard;
    bool ended = false;
    QObject::connect(&device, &CaptureDevice::bufferFilled, &device, [&](int id) {
        heard.insert(heard.end(), bufs[static_cast<std::size_t>(id)].begin(), bufs[static_cast<std::size_t>(id)].end());
        device.queueBuffer(id, bufs[static_cast<std::size_t>(id)]);
    });
    QObject::connect(&device, &RecordingCaptureDevice::finished, &device, [&] { ended = true; });
    QElapsedTimer sinceStart;
    sinceStart.start();
    device.start();
    // Nothing queued for a while (a busy receiver): the samples wait rather than drop.
    while (sinceStart.elapsed() < 250) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_TRUE(heard.empty());
    ASSERT_TRUE(device.queueBuffer(0, bufs[0]));
    ASSERT_TRUE(device.queueBuffer(1, bufs[1]));
    ASSERT_TRUE(waitFor([&] { return ended; }));
    EXPECT_GE(sinceStart.elapsed(), 480) << "4000 samples at 8000 Hz take 500 ms";
    ASSERT_EQ(heard.size(), samples.size());
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), heard.begin()));
    EXPECT_EQ(device.droppedSamples(), 0);
}

TEST_F(RecordingTest, FilesItCannotPlayAreRefusedWithAReasonAndKeepWhatWasLoaded) {
    RecordingCaptureDevice device;
    const QString good = writeWav("good.wav", 8000, ramp(9000));
    ASSERT_EQ(device.load(good, 8000), QString());

    QFile text(dir.filePath(QStringLiteral("notes.wav")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("these are not sound samples\n");
    text.close();
    QFile(dir.filePath(QStringLiteral("empty.flac"))).open(QIODevice::WriteOnly);
    const QString silentHeader = writeWav("no-samples.wav", 8000, {});

    for (const QString& bad : {dir.filePath(QStringLiteral("missing.wav")), text.fileName(),
                               dir.filePath(QStringLiteral("empty.flac")), dir.path(), silentHeader}) {
        const QString why = device.load(bad, 8000);
        EXPECT_FALSE(why.isEmpty()) << bad.toStdString();
        EXPECT_TRUE(why.contains(bad)) << why.toStdString();
        EXPECT_TRUE(device.loaded());
        EXPECT_EQ(device.path(), good);
    }
    RecordingCaptureDevice fresh;
    EXPECT_FALSE(fresh.load(text.fileName(), 8000).isEmpty());
    EXPECT_FALSE(fresh.loaded());
    EXPECT_FALSE(fresh.open(8000, kDefaultDevice)) << "nothing loaded, nothing to open";
}

TEST_F(RecordingTest, SwitchPlaysAnArmedRecordingOnceThenTheSoundCardAgain) {
    auto card = std::make_unique<MemoryCaptureDevice>();
    MemoryCaptureDevice* soundCard = card.get();
    CaptureSwitch capture(std::move(card));
    int opened = 0, filled = 0, ended = 0;
    QObject::connect(&capture, &CaptureDevice::opened, [&] { ++opened; });
    QObject::connect(&capture, &CaptureDevice::bufferFilled, [&](int) { ++filled; });
    QObject::connect(&capture, &CaptureSwitch::recordingEnded, [&] { ++ended; });

    ASSERT_TRUE(capture.open(8000, 2));
    EXPECT_EQ(soundCard->openCount(), 1);
    EXPECT_EQ(soundCard->deviceIndex(), 2);
    capture.close();

    capture.recording().setPace(200);
    ASSERT_EQ(capture.recording().load(writeWav("r.wav", 8000, ramp(3000)), 8000), QString());
    capture.armRecording();
    ASSERT_TRUE(capture.open(8000, 2));
    EXPECT_TRUE(capture.playingRecording());
    EXPECT_FALSE(capture.recordingArmed());
    EXPECT_EQ(soundCard->openCount(), 1) << "the sound card stays closed while the recording plays";
    EXPECT_EQ(opened, 2);
    std::vector<std::int16_t> buffer(2000);
    const auto requeue = QObject::connect(&capture, &CaptureDevice::bufferFilled, [&](int id) { capture.queueBuffer(id, buffer); });
    ASSERT_TRUE(capture.queueBuffer(0, buffer));
    capture.start();
    ASSERT_TRUE(waitFor([&] { return ended == 1; }));
    EXPECT_EQ(filled, 2) << "2000 samples, then the last 1000 completed with silence";
    EXPECT_EQ(buffer[999], static_cast<std::int16_t>(2999 % 20000 - 10000));
    EXPECT_EQ(buffer[1000], 0);
    QObject::disconnect(requeue);

    // Closing the recording drops it: the next open is the sound card again.
    capture.close();
    EXPECT_FALSE(capture.recording().loaded());
    ASSERT_TRUE(capture.open(8000, 2));
    EXPECT_FALSE(capture.playingRecording());
    EXPECT_EQ(soundCard->openCount(), 2);
    ASSERT_TRUE(capture.queueBuffer(1, buffer));
    capture.start();
    soundCard->deliver(std::vector<std::int16_t>(2000, 7));
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(filled, 3);
    EXPECT_EQ(buffer.front(), 7);
}

}  // namespace
}  // namespace vantrel::audio

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
