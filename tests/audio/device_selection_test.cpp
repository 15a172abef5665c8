// The "&Soundcard" dialogs over in-memory devices: what they show, what OK does, and how
// capture and playback fare while they are open.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

#include "audio/audio_engine.h"
#include "audio/return_release_guard.h"
#include "audio/device_selection.h"
#include "engine_fakes.h"
#include "modem/tx_modulator.h"

namespace vantrel::audio {
namespace {

using testing::settle;
using testing::Station;

QPushButton* okButton(DeviceDialog& dialog) {
    for (auto* b : dialog.findChildren<QPushButton*>())
        if (b->property("controlId").toInt() == kInputOkId || b->property("controlId").toInt() == kOutputOkId) return b;
    return nullptr;
}

TEST(DeviceDialog, ShowsTheDevicesInSystemOrderWithTheCurrentOneSelected) {
    const QStringList names{"Built-in Audio", "USB Audio CODEC", "AirMic"};
    DeviceDialog input(DeviceDialog::Kind::Input, names, 1);
    EXPECT_EQ(input.windowTitle(), QStringLiteral("Select soundcard input"));
    EXPECT_EQ(input.palette().color(QPalette::Window), QColor(224, 255, 255));
    EXPECT_EQ(input.deviceList()->property("controlId").toInt(), 1300);
    EXPECT_EQ(input.deviceList()->objectName(), QStringLiteral("inputDeviceList"));
    ASSERT_EQ(input.deviceList()->count(), 3);
    for (int i = 0; i < names.size(); ++i) EXPECT_EQ(input.deviceList()->itemText(i), names[i]);
    EXPECT_EQ(input.selectedDevice(), 1);
    ASSERT_NE(okButton(input), nullptr);
    EXPECT_EQ(okButton(input)->property("controlId").toInt(), 4321);
    EXPECT_EQ(okButton(input)->text(), QStringLiteral("OK"));

    DeviceDialog output(DeviceDialog::Kind::Output, names, -1);
    EXPECT_EQ(output.windowTitle(), QStringLiteral("Select soundcard output"));
    EXPECT_EQ(output.deviceList()->property("controlId").toInt(), 1301);
    EXPECT_EQ(okButton(output)->property("controlId").toInt(), 5321);
    EXPECT_EQ(output.selectedDevice(), -1) << "the system default selects nothing";

    // A stored number beyond the list (settings from another machine) selects nothing.
    DeviceDialog stale(DeviceDialog::Kind::Input, names.mid(0, 2), 3);
    EXPECT_EQ(stale.selectedDevice(), -1);
}

class SelectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        capture.setLog(station.logger());
        playback.setLog(station.logger());
        engine = std::make_unique<AudioEngine>(capture, playback, tx, rx, station.ports());
        selector = std::make_unique<DeviceSelector>(
            *engine, station, [this] { return inputs; }, [this] { return outputs; });
        ASSERT_TRUE(engine->openCapture());
        settle();
    }

    // Runs `steps` on the dialog once its event loop is running.
    void whenShown(std::function<void(DeviceDialog&)> steps) {
        selector->setDialogHook([steps = std::move(steps)](DeviceDialog& dialog) {
            QTimer::singleShot(0, &dialog, [&dialog, steps] { steps(dialog); });
        });
    }

    Station station;
    MemoryCaptureDevice capture;
    MemoryPlaybackDevice playback;
    modem::TxModulator tx;
    modem::Receiver rx;
    std::unique_ptr<AudioEngine> engine;
    std::unique_ptr<DeviceSelector> selector;
    QStringList inputs{"Built-in Audio", "USB Audio CODEC"};
    QStringList outputs{"Built-in Audio", "USB Audio CODEC", "HDMI"};
};

TEST_F(SelectorTest, OkReopensCaptureOnTheChosenDevice) {
    bool closedMeanwhile = false;
    whenShown([&](DeviceDialog& dialog) {
        closedMeanwhile = !capture.isOpen();
        dialog.deviceList()->setCurrentIndex(1);
        QTest::keyClick(&dialog, Qt::Key_Return);  // Enter is OK
    });
    selector->selectInputDevice(nullptr);
    EXPECT_TRUE(closedMeanwhile);
    EXPECT_EQ(engine->inputDevice(), 1);
    EXPECT_TRUE(capture.isOpen());
    EXPECT_EQ(capture.deviceIndex(), 1);
    settle();
    EXPECT_TRUE(capture.recording());
    EXPECT_TRUE(station.messages.isEmpty());
}

TEST_F(SelectorTest, ADeviceThatDoesNotOpenKeepsTheDialogOpen) {
    int attempts = 0;
    whenShown([&](DeviceDialog& dialog) {
        capture.failOpen = true;
        dialog.deviceList()->setCurrentIndex(1);
        okButton(dialog)->click();
        ++attempts;
        EXPECT_TRUE(dialog.isVisible());
        capture.failOpen = false;
        dialog.deviceList()->setCurrentIndex(0);
        okButton(dialog)->click();
        ++attempts;
    });
    selector->selectInputDevice(nullptr);
    EXPECT_EQ(attempts, 2);
    EXPECT_EQ(station.messages, QStringList{"INPUT|Can't open soundcard for input"});
    EXPECT_EQ(engine->inputDevice(), 0);
    EXPECT_TRUE(capture.isOpen());
}

TEST_F(SelectorTest, LeavingWithoutOkBringsBackTheDeviceInUse) {
    engine->setInputDevice(1);
    whenShown([](DeviceDialog& dialog) {
        dialog.deviceList()->setCurrentIndex(0);
        dialog.reject();
    });
    selector->selectInputDevice(nullptr);
    EXPECT_EQ(engine->inputDevice(), 1);
    EXPECT_TRUE(capture.isOpen());
    EXPECT_EQ(capture.deviceIndex(), 1);
}

TEST_F(SelectorTest, NoInputsWarnsAndOkMeansTheDefaultDevice) {
    inputs.clear();
    int shownCount = -1;
    whenShown([&](DeviceDialog& dialog) {
        shownCount = dialog.deviceList()->count();
        okButton(dialog)->click();
    });
    selector->selectInputDevice(nullptr);
    EXPECT_EQ(shownCount, 0);
    EXPECT_EQ(station.messages, QStringList{"Warning|You have no audio input devices!"});
    EXPECT_EQ(engine->inputDevice(), -1);
    EXPECT_EQ(capture.deviceIndex(), -1);
}

TEST_F(SelectorTest, InputDialogLeavesATransmissionAloneOutputDialogEndsIt) {
    station.entry = QStringLiteral("hello");
    engine->send();
    ASSERT_TRUE(station.keyed);

    whenShown([](DeviceDialog& dialog) {
        dialog.deviceList()->setCurrentIndex(1);
        okButton(dialog)->click();
    });
    selector->selectInputDevice(nullptr);
    EXPECT_EQ(engine->inputDevice(), 1);
    EXPECT_FALSE(capture.isOpen());
    EXPECT_TRUE(playback.isOpen()) << "the input dialog leaves the transmission alone";

    // The output dialog silences the transmission at once and ends it: no carrier without
    // audio. Capture comes back on the input chosen meanwhile.
    bool keyedWhileShown = true;
    whenShown([&](DeviceDialog& dialog) {
        keyedWhileShown = station.keyed;
        dialog.deviceList()->setCurrentIndex(2);
        okButton(dialog)->click();
    });
    selector->selectOutputDevice(nullptr);
    EXPECT_FALSE(keyedWhileShown);
    EXPECT_FALSE(playback.isOpen());
    EXPECT_FALSE(station.keyed);
    EXPECT_FALSE(engine->transmitting());
    EXPECT_EQ(engine->outputDevice(), 2);
    EXPECT_TRUE(capture.isOpen());
    EXPECT_EQ(capture.deviceIndex(), 1);
    EXPECT_TRUE(station.sendEnabled);
    station.entry = QStringLiteral("again");
    engine->send();
    EXPECT_EQ(playback.deviceIndex(), 2);
}

// Records the key releases a widget gets.
struct ReleaseCounter : QObject {
    int releases = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyRelease) ++releases;
        return false;
    }
};

TEST_F(SelectorTest, TheReturnThatClosesTheDialogDoesNotReachTheEntry) {
    // In the chat window the release of Return in the entry means SEND.
    QLineEdit entry;
    ReleaseCounter counter;
    entry.installEventFilter(&counter);
    new ReturnReleaseGuard(&entry, {});
    whenShown([](DeviceDialog& dialog) { QTest::keyPress(dialog.deviceList(), Qt::Key_Return); });
    selector->selectInputDevice(nullptr);
    EXPECT_TRUE(capture.isOpen()) << "Return pressed OK";
    QTest::keyRelease(&entry, Qt::Key_Return);
    EXPECT_EQ(counter.releases, 0);
    // The next Return typed in the entry is the operator's again.
    QTest::keyClick(&entry, Qt::Key_Return);
    EXPECT_EQ(counter.releases, 1);
}

// Return as the window system delivers it, to the entry (E) or a box of its own window (B):
// p/r press/release, P/R the same marked as auto-repeat, then the moment in ms.
TEST(ReturnReleaseGuard, SendsOnlyForAReturnPressedAndReleasedInTheEntry) {
    const std::pair<const char*, int> cases[] = {
        {"pE1 rE2", 1},                          // a tap
        {"rE1", 0},                              // a release whose press went elsewhere
        {"pE1 PE700 PE740 rE800", 1},            // held, repeats marked
        {"pE1 rE700 pE700 rE740 pE740 rE800", 1},  // held, repeats as pairs of one moment
        {"pB1 PE700 PE740 rE800", 0},            // taken by a box that closed, repeats marked
        {"pB1 rE700 pE700 rE740 pE740 rE800", 0},  // the same with pairs
        {"pB1 rB2 pE3 rE4", 1},                  // a box, then a tap in the entry
        {"pE1 PB700 rE800", 0},                  // a box came up while it was held
    };
    for (const auto& [script, sends] : cases) {
        SCOPED_TRACE(script);
        QLineEdit entry, box;
        int sent = 0;
        new ReturnReleaseGuard(&entry, [&sent] { ++sent; });
        for (const QString& word : QString::fromLatin1(script).split(QLatin1Char(' '))) {
            const bool press = word[0].toLower() == QLatin1Char('p');
            QKeyEvent key(press ? QEvent::KeyPress : QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier,
                          QStringLiteral("\r"), word[0].isUpper());
            key.setTimestamp(word.mid(2).toULongLong());
            QApplication::sendEvent(word[1] == QLatin1Char('E') ? &entry : &box, &key);
        }
        EXPECT_EQ(sent, sends);
        EXPECT_TRUE(entry.text().isEmpty());
    }
}

TEST_F(SelectorTest, MissingControlPanelIsExplained) {
    QTemporaryDir emptyPath;
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", emptyPath.path().toLocal8Bit());
    selector->openAudioControlPanel();
    qputenv("PATH", savedPath);
    ASSERT_EQ(station.messages.size(), 1);
    EXPECT_TRUE(station.messages[0].startsWith(QStringLiteral("Audio control panel|")));
    EXPECT_TRUE(station.messages[0].contains(QStringLiteral("pavucontrol")));
}

}  // namespace
}  // namespace vantrel::audio

int main(int argc, char** argv) {
    // Listing the tests at build time happens without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
