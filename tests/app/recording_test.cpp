// "Play a recording into the receiver...": a recording in place of the sound card's input
// through the whole window, and how the sound card comes back.
#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include "app/control_ids.h"
#include "app/run_application.h"
#include "app/rx_screen.h"
#include "app/status_line.h"
#include "app/tx_entry.h"
#include "app_test_support.h"
#include "audio/capture_switch.h"
#include "audio/recording_capture_device.h"
#include "cli/audio_file.h"
#include "modem/tx_modulator.h"

using namespace vantrel::app;
using namespace vantrel::app::test;

namespace {

const QString kSent = QStringLiteral("DL2XYZ: CQ test de DL2XYZ");

// One transmission at 11 baud as a WAV file at `rate`, with a second of silence either side.
QString writeTransmission(const QDir& dir, int rate) {
    vantrel::modem::TxModulator tx;
    tx.setIdleText("DL2XYZ");
    tx.start("CQ test de DL2XYZ", "DL2XYZ");
    std::vector<std::int16_t> audio(11025, 0);
    std::vector<std::int16_t> block(vantrel::modem::kBlockLength);
    bool ended = false;
    tx.setEndOfTransmissionHandler([&ended] { ended = true; });
    while (!ended && audio.size() < 40 * block.size()) {
        tx.renderTxBlock(block);
        audio.insert(audio.end(), block.begin(), block.end());
    }
    audio.insert(audio.end(), 3 * 11025, 0);
    // The same audio at another rate: every sample repeated (22050 Hz) or as it is.
    std::vector<std::int16_t> out;
    for (std::int16_t s : audio) out.insert(out.end(), rate == 22050 ? 2 : 1, s);
    const QString path = dir.filePath(QStringLiteral("transmission-%1.wav").arg(rate));
    vantrel::cli::WavOutput wav;
    if (!wav.open(path.toStdString(), rate) || !wav.write(out) || !wav.close()) return {};
    return path;
}

bool paneHasLine(MainDialog& d, const QString& line) {
    const QStringList lines = d.rxScreen()->toPlainText().split(QLatin1Char('\n'));
    for (const QString& l : lines)
        if (l.trimmed() == line) return true;
    return false;
}

}  // namespace

class RecordingTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { initialiseResources(); }
    void fromTheMenuItIsDecodedAndTheSoundCardReturnsAtItsEnd();
    void recvSendOrASpeedChangeBringsBackTheSoundCard_data();
    void recvSendOrASpeedChangeBringsBackTheSoundCard();
    void aFileThatCannotBePlayedChangesNothing();
    void startedWithARecordingTheSoundCardOpensOnlyAtItsEnd();
    void notWhileTransmitting();

private:
    QTemporaryDir dir_;
};

void RecordingTest::fromTheMenuItIsDecodedAndTheSoundCardReturnsAtItsEnd() {
    auto w = makeWindow();
    MainDialog& d = *w->dialog;
    auto& capture = d.station().captureSwitch();
    QCOMPARE(w->capture->openCount(), 1);
    const QString file = writeTransmission(QDir(dir_.path()), 22050);
    QVERIFY(!file.isEmpty());
    d.setRecordingChooser([file] { return file; });
    capture.recording().setPace(40);
    // The chooser opens where the last recording was, else (not installed) the working folder.
    QCOMPARE(d.recordingFolder(), d.workDirectory().path());

    QAction* item = d.action(command::kPlayRecording);
    QVERIFY(item);
    item->trigger();
    QVERIFY(capture.playingRecording());
    QVERIFY(!w->capture->isOpen());
    QCOMPARE(d.recordingFolder(), QFileInfo(file).absolutePath());
    QLabel* state = d.statusLine()->recordingState();
    QCOMPARE(state->text(), QStringLiteral("Playing recording transmission-22050.wav"));
    QTRY_VERIFY_WITH_TIMEOUT(!capture.playingRecording(), 20000);
    QCOMPARE(state->text(), QStringLiteral("Recording ended: transmission-22050.wav"));
    QVERIFY2(paneHasLine(d, kSent), qPrintable(d.rxScreen()->toPlainText()));
    QVERIFY(w->capture->recording());
    QCOMPARE(w->capture->openCount(), 2);
    QCOMPARE(w->capture->sampleRate(), 11025);
    QVERIFY(w->messages.shown.isEmpty());
}

void RecordingTest::recvSendOrASpeedChangeBringsBackTheSoundCard_data() {
    QTest::addColumn<int>("commandId");
    QTest::addColumn<int>("rate");
    QTest::newRow("RECV") << command::kRecv << 11025;
    QTest::newRow("SEND") << command::kSend << 11025;
    QTest::newRow("16 baud") << 1504 << 16000;
    QTest::newRow("Input") << command::kInput << 11025;
}

void RecordingTest::recvSendOrASpeedChangeBringsBackTheSoundCard() {
    QFETCH(int, commandId);
    QFETCH(int, rate);
    auto w = makeWindow();
    MainDialog& d = *w->dialog;
    const QString file = writeTransmission(QDir(dir_.path()), 11025);
    d.setRecordingChooser([file] { return file; });
    d.dispatchCommand(command::kPlayRecording);
    QVERIFY(d.station().captureSwitch().playingRecording());

    ModalCloser closer;  // the input device dialog
    d.dispatchCommand(commandId);
    if (commandId == command::kSend) {
        QVERIFY(!d.station().captureSwitch().playingRecording());
        QVERIFY(!w->capture->isOpen());
        d.dispatchCommand(command::kRecv);
    }
    QVERIFY(!d.station().captureSwitch().playingRecording());
    QVERIFY(!d.station().captureSwitch().recording().loaded());
    QCOMPARE(d.statusLine()->recordingState()->text(), QStringLiteral("Recording stopped: transmission-11025.wav"));
    QVERIFY(w->capture->recording());
    QCOMPARE(w->capture->sampleRate(), rate);
}

void RecordingTest::aFileThatCannotBePlayedChangesNothing() {
    auto w = makeWindow();
    MainDialog& d = *w->dialog;
    const QString missing = QDir(dir_.path()).filePath(QStringLiteral("no-such-recording.flac"));
    d.setRecordingChooser([missing] { return missing; });
    d.dispatchCommand(command::kPlayRecording);
    QCOMPARE(w->messages.shown.size(), 1);
    QVERIFY(w->messages.shown.front().startsWith(QStringLiteral("Play a recording: This recording cannot be played:")));
    QVERIFY(w->messages.shown.front().contains(missing));
    QVERIFY(w->capture->recording());
    QCOMPARE(w->capture->openCount(), 1);

    // Cancelling the file chooser does nothing at all.
    d.setRecordingChooser([] { return QString(); });
    d.dispatchCommand(command::kPlayRecording);
    QCOMPARE(w->messages.shown.size(), 1);
    QCOMPARE(w->capture->openCount(), 1);
}

void RecordingTest::startedWithARecordingTheSoundCardOpensOnlyAtItsEnd() {
    const QString file = writeTransmission(QDir(dir_.path()), 11025);
    auto w = makeWindow({}, {}, file);
    MainDialog& d = *w->dialog;
    auto& capture = d.station().captureSwitch();
    QVERIFY(capture.playingRecording());
    QCOMPARE(w->capture->openCount(), 0);
    capture.recording().setPace(40);
    QTRY_VERIFY_WITH_TIMEOUT(!capture.playingRecording(), 20000);
    QVERIFY2(paneHasLine(d, kSent), qPrintable(d.rxScreen()->toPlainText()));
    QCOMPARE(w->capture->openCount(), 1);
    QVERIFY(w->capture->recording());

    // A recording that cannot be read at start: said once, and the sound card at once.
    auto w2 = makeWindow({}, {}, QDir(dir_.path()).filePath(QStringLiteral("missing.wav")));
    QCOMPARE(w2->messages.shown.size(), 1);
    QCOMPARE(w2->capture->openCount(), 1);
}

void RecordingTest::notWhileTransmitting() {
    auto w = makeWindow();
    MainDialog& d = *w->dialog;
    const QString file = writeTransmission(QDir(dir_.path()), 11025);
    d.setRecordingChooser([file] { return file; });
    d.txEntry()->setPlainText(QStringLiteral("hello"));
    d.dispatchCommand(command::kSend);
    d.dispatchCommand(command::kPlayRecording);
    QCOMPARE(w->messages.shown.size(), 1);
    QVERIFY(w->messages.shown.front().startsWith(QStringLiteral("Play a recording: ")));
    QVERIFY(!d.station().captureSwitch().playingRecording());
    QVERIFY(!w->capture->isOpen());
    d.dispatchCommand(command::kRecv);
    QVERIFY(w->capture->recording());
}

QTEST_MAIN(RecordingTest)
#include "recording_test.moc"
