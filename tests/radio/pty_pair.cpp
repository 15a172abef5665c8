#include "pty_pair.h"

#include <QFileInfo>
#include <QThread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace vantrel::radio::testsupport {

PtyPair::PtyPair()
{
    if (!dir_.isValid()) return;
    socat_.setProgram(QStringLiteral(VANTREL_SOURCE_DIR "/scripts/pty-pair"));
    socat_.setArguments({dir_.path()});
    socat_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    socat_.start();
    if (!socat_.waitForStarted(5000)) return;
    for (int i = 0; i < 100; ++i) {
        if (QFileInfo::exists(programSide()) && QFileInfo::exists(radioSide())) break;
        QThread::msleep(20);
    }
    radioFd_ = ::open(radioSide().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ready_ = radioFd_ >= 0;
}

PtyPair::~PtyPair()
{
    if (radioFd_ >= 0) ::close(radioFd_);
    if (socat_.state() != QProcess::NotRunning) {
        socat_.terminate();
        if (!socat_.waitForFinished(3000)) {
            socat_.kill();
            socat_.waitForFinished(3000);
        }
    }
}

std::vector<std::uint8_t> PtyPair::read(std::size_t count, std::chrono::milliseconds timeout)
{
    std::vector<std::uint8_t> bytes;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (bytes.size() < count && radioFd_ >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd pfd{radioFd_, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) break;
        std::uint8_t buffer[256];
        const ssize_t got = ::read(radioFd_, buffer, std::min(sizeof buffer, count - bytes.size()));
        if (got <= 0) break;
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
}

std::vector<std::uint8_t> PtyPair::drain(std::chrono::milliseconds quiet)
{
    return read(4096, quiet);
}

}  // namespace vantrel::radio::testsupport
