// A real rigctld (Hamlib's dummy radio, PTT by its own commands) on a free loopback port,
// started and stopped by the test that owns it, and rigctl to ask it what the radio does.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <chrono>
#include <csignal>
#include <optional>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vantrel::test {

class RigctldServer {
public:
    RigctldServer() = default;
    RigctldServer(const RigctldServer&) = delete;
    RigctldServer& operator=(const RigctldServer&) = delete;
    ~RigctldServer() { stop(); }

    // Starts rigctld and waits until it accepts connections; false when it does not.
    bool start() {
        port_ = freePort();
        if (port_ == 0) return false;
        process_.setProgram(QStringLiteral("rigctld"));
        process_.setArguments({QStringLiteral("-m"), QStringLiteral("1"), QStringLiteral("-P"), QStringLiteral("RIG"),
                               QStringLiteral("-T"), QStringLiteral("127.0.0.1"), QStringLiteral("-t"),
                               QString::number(port_)});
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start();
        if (!process_.waitForStarted(5000)) return false;
        for (int i = 0; i < 100; ++i) {
            if (accepts()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    void stop() {
        if (process_.state() == QProcess::NotRunning) return;
        signal(SIGCONT);
        process_.terminate();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }

    void signal(int sig) {
        if (process_.state() != QProcess::NotRunning) ::kill(static_cast<pid_t>(process_.processId()), sig);
    }

    int port() const { return port_; }
    QString address() const { return QStringLiteral("localhost:%1").arg(port_); }

    // rigctl's answer to `command` (such as "t"), trimmed; nothing when rigctl failed.
    std::optional<QString> ask(const QStringList& command) const {
        QProcess rigctl;
        rigctl.setProcessChannelMode(QProcess::SeparateChannels);
        rigctl.start(QStringLiteral("rigctl"), QStringList{QStringLiteral("-m"), QStringLiteral("2"), QStringLiteral("-r"), address()} + command);
        if (!rigctl.waitForFinished(10000) || rigctl.exitStatus() != QProcess::NormalExit || rigctl.exitCode() != 0) {
            rigctl.kill();
            rigctl.waitForFinished(1000);
            return std::nullopt;
        }
        return QString::fromLatin1(rigctl.readAllStandardOutput()).trimmed();
    }

    // The radio's PTT as rigctld reports it: 1 keyed, 0 not; -1 when it could not be asked.
    int ptt() const {
        const auto answer = ask({QStringLiteral("t")});
        return answer ? answer->toInt() : -1;
    }

private:
    static int freePort() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0) return 0;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        int port = 0;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
        ::close(fd);
        return port;
    }

    bool accepts() const {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0) return false;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port_));
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return ok;
    }

    QProcess process_;
    int port_ = 0;
};

}  // namespace vantrel::test
