// A linked pair of pseudo-terminals for serial tests, run by scripts/pty-pair (socat) in a
// temporary folder of its own and stopped when the pair goes out of scope.
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <cstdint>
#include <vector>

namespace vantrel::radio::testsupport {

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ready() const { return ready_; }
    QString programSide() const { return dir_.filePath(QStringLiteral("a")); }  // what the program opens
    QString radioSide() const { return dir_.filePath(QStringLiteral("b")); }    // where the radio listens

    // Reads from the radio side until count bytes have come or the time is up.
    std::vector<std::uint8_t> read(std::size_t count,
                                   std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
    // Whatever else arrives within the time: for checking that nothing stray was sent.
    std::vector<std::uint8_t> drain(std::chrono::milliseconds quiet = std::chrono::milliseconds(150));

private:
    QTemporaryDir dir_;
    QProcess socat_;
    int radioFd_ = -1;
    bool ready_ = false;
};

}  // namespace vantrel::radio::testsupport
