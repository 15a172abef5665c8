// A private sound server for one test program: started before the Qt application exists
// (Qt Multimedia finds its server once), stopped when the program ends. PulseAudio, or PipeWire
// with pipewire-pulse when VANTREL_SOUND_SERVER=pipewire.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cstdlib>
#include <functional>
#include <string>

namespace vantrel::audio::testing {

// The start or stop script of the server the tests run under ("start" or "stop").
inline std::string soundServerScript(const char* verb) {
    const char* server = std::getenv("VANTREL_SOUND_SERVER");
    const std::string name = server && std::string(server) == "pipewire" ? "pipewire-" : "pulse-";
    return std::string(VANTREL_SOURCE_DIR) + "/scripts/" + name + verb;
}

class PulseServer {
public:
    // dir: the server's XDG_RUNTIME_DIR, created by the start script.
    explicit PulseServer(std::string dir) : dir_(std::move(dir)) {
        const std::string start = soundServerScript("start") + " " + dir_ + " >/dev/null";
        ok_ = std::system(start.c_str()) == 0;
        setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
        unsetenv("PULSE_SERVER");
    }
    ~PulseServer() {
        const std::string stop = soundServerScript("stop") + " " + dir_;
        [[maybe_unused]] const int rc = std::system(stop.c_str());
    }
    bool ok() const { return ok_; }
    const std::string& dir() const { return dir_; }
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

private:
    std::string dir_;
    bool ok_ = false;
};

// Runs the event loop until `done` holds or `ms` milliseconds have passed.
inline bool runUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

}  // namespace vantrel::audio::testing
