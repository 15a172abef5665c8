#include "radio/keying_guardian.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace vantrel::radio {
namespace {

constexpr char kSeparator = '\t';

// A field that would break the line cannot be told: the way it belongs to is left out.
bool fits(std::string_view field) { return field.find_first_of("\t\r\n") == std::string_view::npos; }

char parityLetter(Parity parity) {
    switch (parity) {
    case Parity::Even: return 'E';
    case Parity::Odd: return 'O';
    case Parity::Mark: return 'M';
    case Parity::Space: return 'S';
    case Parity::None: break;
    }
    return 'N';
}

std::optional<Parity> parityOf(std::string_view text) {
    if (text == "N") return Parity::None;
    if (text == "E") return Parity::Even;
    if (text == "O") return Parity::Odd;
    if (text == "M") return Parity::Mark;
    if (text == "S") return Parity::Space;
    return std::nullopt;
}

const char* stopText(StopBits stop) {
    return stop == StopBits::Two ? "2" : stop == StopBits::OneAndHalf ? "1.5" : "1";
}

std::optional<StopBits> stopOf(std::string_view text) {
    if (text == "1") return StopBits::One;
    if (text == "1.5") return StopBits::OneAndHalf;
    if (text == "2") return StopBits::Two;
    return std::nullopt;
}

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> out;
    for (;;) {
        const auto at = line.find(kSeparator);
        out.push_back(line.substr(0, at));
        if (at == std::string_view::npos) return out;
        line.remove_prefix(at + 1);
    }
}

std::optional<int> number(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<std::vector<std::uint8_t>> bytesOf(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(hex.data() + i, hex.data() + i + 2, value, 16);
        if (error != std::errc() || end != hex.data() + i + 2) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return bytes;
}

}  // namespace

std::string catWord(const std::optional<CatUnkey>& cat) {
    if (!cat || !fits(cat->devicePath)) return "cat";
    std::string word = "cat";
    for (const std::string& field : {cat->devicePath, std::to_string(cat->baud), std::to_string(cat->dataBits),
                                     std::string(1, parityLetter(cat->parity)), std::string(stopText(cat->stopBits))})
        word += kSeparator + field;
    word += kSeparator;
    for (std::uint8_t b : cat->bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", b);
        word += pair;
    }
    return word;
}

std::string rigWord(const std::optional<RigConfig>& rig) {
    if (!rig || !fits(rig->port)) return "rig";
    return "rig" + std::string(1, kSeparator) + std::to_string(rig->model) + kSeparator + rig->port + kSeparator +
           std::to_string(rig->serialSpeed);
}

std::string keyedWord(bool keyed) { return keyed ? "keyed\t1" : "keyed\t0"; }
std::string farewellWord() { return "bye"; }

bool readGuardianWord(std::string_view line, GuardianOrders& orders) {
    const std::vector<std::string_view> f = fields(line);
    if (f[0] == "bye" && f.size() == 1) {
        orders.farewell = true;
    } else if (f[0] == "keyed" && f.size() == 2 && (f[1] == "0" || f[1] == "1")) {
        orders.keyed = f[1] == "1";
    } else if ((f[0] == "cat" || f[0] == "rig") && f.size() == 1) {
        (f[0] == "cat" ? orders.cat.reset() : orders.rig.reset());
    } else if (f[0] == "cat" && f.size() == 7) {
        const auto baud = number(f[2]), bits = number(f[3]);
        const auto parity = parityOf(f[4]);
        const auto stop = stopOf(f[5]);
        auto bytes = bytesOf(f[6]);
        if (f[1].empty() || !baud || !bits || !parity || !stop || !bytes) return false;
        orders.cat = CatUnkey{std::string(f[1]), *baud, *bits, *parity, *stop, std::move(*bytes)};
    } else if (f[0] == "rig" && f.size() == 4) {
        const auto model = number(f[1]), speed = number(f[3]);
        if (!model || !speed) return false;
        orders.rig = RigConfig{*model, std::string(f[2]), *speed};
    } else {
        return false;
    }
    return true;
}

KeyingGuardian::~KeyingGuardian() {
    if (socket_ >= 0) ::close(socket_);
}

bool KeyingGuardian::start(const std::string& program) {
    if (running()) return true;
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    // Its end of the socket is its standard input; a session of its own keeps it out of the
    // terminal's Ctrl+C and hang-up, which are the window's to handle.
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    const int spawned = ::posix_spawn(&pid_, program.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(ends[1]);
    if (spawned != 0) {
        ::close(ends[0]);
        pid_ = -1;
        return false;
    }
    socket_ = ends[0];
    ::fcntl(socket_, F_SETFL, ::fcntl(socket_, F_GETFL) | O_NONBLOCK);
    return true;
}

void KeyingGuardian::send(const std::string& word) {
    if (!running()) return;
    const std::string line = word + '\n';
    if (::send(socket_, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size())) return;
    // The guardian is gone (or stopped reading): nothing more is told.
    std::fprintf(stderr, "vantrel-chat: the keying guardian stopped listening (%s)\n", errno ? std::strerror(errno) : "short write");
    ::close(socket_);
    socket_ = -1;
}

void KeyingGuardian::describe(const std::optional<CatUnkey>& cat, const std::optional<RigConfig>& rig) {
    std::string word = catWord(cat);
    if (word != cat_) send(cat_ = word);
    word = rigWord(rig);
    if (word != rig_) send(rig_ = word);
}

void KeyingGuardian::setKeyed(bool keyed) {
    const std::string word = keyedWord(keyed);
    if (word != keyed_) send(keyed_ = word);
}

void KeyingGuardian::sayGoodbye() {
    if (!running()) return;
    send(farewellWord());
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
    // Reaped if it has left already; otherwise it leaves with nobody waiting for it.
    if (pid_ > 0) ::waitpid(pid_, nullptr, WNOHANG);
}

}  // namespace vantrel::radio
