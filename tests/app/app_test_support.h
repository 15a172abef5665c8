// Shared pieces of the chat-window tests: a main window on in-memory sound devices and serial
// port, message boxes recorded instead of shown, and a watcher that closes modal windows.
#pragma once

#include <QApplication>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <memory>

#include "app/chat_station.h"
#include "app/main_dialog.h"
#include "audio/engine_ports.h"
#include "audio/memory_audio_device.h"
#include "radio/memory_serial_link.h"

namespace vantrel::app::test {

class RecordedMessages : public audio::MessageBoxes {
public:
    void showMessage(audio::MessageIcon, const QString& caption, const QString& text) override {
        shown << caption + QStringLiteral(": ") + text;
    }
    QStringList shown;
};

struct TestWindow {
    std::unique_ptr<MainDialog> dialog;
    audio::MemoryCaptureDevice* capture = nullptr;
    audio::MemoryPlaybackDevice* playback = nullptr;
    std::shared_ptr<radio::MemorySerialLinkState> serial;
    RecordedMessages messages;
};

// A window with the given settings on in-memory hardware, initialised (with `recording` played
// into the receiver first, when given). `settingsPath` empty writes no settings at close-down;
// `rig` empty is Hamlib.
inline std::unique_ptr<TestWindow> makeWindow(AppSettings settings = {}, const QString& settingsPath = {},
                                              const QString& recording = {},
                                              std::unique_ptr<radio::RigControl> rig = nullptr) {
    auto window = std::make_unique<TestWindow>();
    StationParts parts;
    auto capture = std::make_unique<audio::MemoryCaptureDevice>();
    auto playback = std::make_unique<audio::MemoryPlaybackDevice>();
    auto serial = std::make_unique<radio::MemorySerialLink>();
    window->capture = capture.get();
    window->playback = playback.get();
    window->serial = serial->state();
    parts.capture = std::move(capture);
    parts.playback = std::move(playback);
    parts.serial = std::move(serial);
    parts.rig = std::move(rig);
    parts.inputNames = [] { return QStringList{QStringLiteral("Line in"), QStringLiteral("USB Audio CODEC")}; };
    parts.outputNames = [] { return QStringList{QStringLiteral("Speakers"), QStringLiteral("USB Audio CODEC")}; };
    window->dialog = std::make_unique<MainDialog>(std::move(settings), settingsPath, std::move(parts));
    window->dialog->setMessageBoxes(&window->messages);
    window->dialog->initialise(recording);
    return window;
}

// Closes every modal window that opens while it lives, noting its title.
class ModalCloser {
public:
    ModalCloser() {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                titles << modal->windowTitle();
                modal->close();
            }
        });
        timer_.start();
    }
    QStringList titles;

private:
    QTimer timer_;
};

}  // namespace vantrel::app::test
