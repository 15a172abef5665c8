// vantrel-guardian: started by vantrel-chat with its standard input joined to the window. It
// reads the window's words (how the radio is unkeyed, whether it is keyed) until the window says
// goodbye or its end closes. An end without goodbye while keyed means the window died on the
// air: the radio is put back in receive through every way it was told of, then it leaves.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "radio/hamlib_rig.h"
#include "radio/keying_guardian.h"

using namespace vantrel::radio;

namespace {

// A radio that does not answer is given this long in all; the guardian never lingers.
constexpr unsigned kGiveUpSeconds = 20;

speed_t speedOf(int baud) {
    static const std::pair<int, speed_t> speeds[] = {
        {110, B110},     {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
        {4800, B4800},   {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
        {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600}};
    for (const auto& [rate, speed] : speeds)
        if (rate == baud) return speed;
    return B9600;
}

void setLineFormat(int fd, const CatUnkey& cat) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return;
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, speedOf(cat.baud));
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD | HUPCL;
    t.c_cflag |= cat.dataBits == 5 ? CS5 : cat.dataBits == 6 ? CS6 : cat.dataBits == 7 ? CS7 : CS8;
    if (cat.parity != Parity::None) t.c_cflag |= PARENB;
    if (cat.parity == Parity::Odd || cat.parity == Parity::Mark) t.c_cflag |= PARODD;
    if (cat.parity == Parity::Mark || cat.parity == Parity::Space) t.c_cflag |= CMSPAR;
    if (cat.stopBits != StopBits::One) t.c_cflag |= CSTOPB;
    ::tcsetattr(fd, TCSANOW, &t);
}

bool unkeyByCat(const CatUnkey& cat) {
    const int fd = ::open(cat.devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    // Opening raised DTR and RTS; a keying interface on the same port must not key the radio.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIC, &lines);
    setLineFormat(fd, cat);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::size_t sent = 0;
    while (sent < cat.bytes.size()) {
        const ssize_t n = ::write(fd, cat.bytes.data() + sent, cat.bytes.size() - sent);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    ::tcdrain(fd);
    ::close(fd);
    return sent == cat.bytes.size();
}

std::string unkeyByRig(const RigConfig& config) {
    HamlibRig rig;
    RigAnswer answer = rig.open(config);
    if (answer.ok) answer = rig.setPtt(false);
    return answer.ok ? std::string() : answer.error;
}

}  // namespace

int main(int argc, char**) {
    if (argc > 1 || ::isatty(STDIN_FILENO)) {
        std::fprintf(stderr, "vantrel-guardian: vantrel-chat starts this program itself; it is not run by hand\n");
        return 2;
    }
    // Ctrl+C and a closed terminal are the window's to handle; the guardian stays to watch it.
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGHUP, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);

    GuardianOrders orders;
    std::string pending;
    char chunk[512];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        pending.append(chunk, static_cast<std::size_t>(n));
        for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
            readGuardianWord(std::string_view(pending).substr(0, end), orders);
            pending.erase(0, end + 1);
        }
        if (orders.farewell) return 0;
    }
    if (!orders.keyed) return 0;

    ::alarm(kGiveUpSeconds);
    std::fprintf(stderr, "vantrel-guardian: the chat window ended while transmitting; unkeying the radio\n");
    int status = 0;
    if (orders.cat && !unkeyByCat(*orders.cat)) {
        std::fprintf(stderr, "vantrel-guardian: %s: %s\n", orders.cat->devicePath.c_str(), std::strerror(errno));
        status = 1;
    }
    if (orders.rig) {
        const std::string error = unkeyByRig(*orders.rig);
        if (!error.empty()) {
            std::fprintf(stderr, "vantrel-guardian: %s\n", error.c_str());
            status = 1;
        }
    }
    return status;
}
