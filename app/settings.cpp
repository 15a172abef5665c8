#include "app/settings.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel::app {
namespace {

constexpr char kEndOfData = 26;

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

// Reads the file as a sequence of fields, the way the classic sequential-file reader does:
// a field ends at a comma or a line end, a quoted field runs to its closing quote.
class FieldReader {
public:
    explicit FieldReader(std::string_view text) : text_(text.substr(0, text.find(kEndOfData))) {}

    // nullopt once the data is exhausted.
    std::optional<std::string> next() {
        while (pos_ < text_.size() && isBlank(text_[pos_])) ++pos_;
        if (pos_ >= text_.size()) return std::nullopt;
        std::string field;
        if (text_[pos_] == '"') {
            const std::size_t close = text_.find('"', pos_ + 1);
            const std::size_t end = close == std::string_view::npos ? text_.size() : close;
            field.assign(text_.substr(pos_ + 1, end - pos_ - 1));
            pos_ = close == std::string_view::npos ? text_.size() : close + 1;
            while (pos_ < text_.size() && text_[pos_] != ',' && !isLineEnd(text_[pos_])) ++pos_;
        } else {
            const std::size_t start = pos_;
            while (pos_ < text_.size() && text_[pos_] != ',' && !isLineEnd(text_[pos_])) ++pos_;
            field.assign(text_.substr(start, pos_ - start));
            while (!field.empty() && isBlank(field.back())) field.pop_back();
        }
        skipDelimiter();
        return field;
    }

private:
    void skipDelimiter() {
        if (pos_ >= text_.size()) return;
        if (text_[pos_] == ',') {
            ++pos_;
        } else if (text_[pos_] == '\r') {
            ++pos_;
            if (pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
        } else if (text_[pos_] == '\n') {
            ++pos_;
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

// The longest decimal number at the start of the field, rounded half to even; nullopt when there
// is none. Values beyond the 32-bit range are held at its ends rather than wrapping.
std::optional<int> readNumber(std::string_view field) {
    std::size_t i = 0;
    while (i < field.size() && isBlank(field[i])) ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '-' || field[i] == '+')) negative = field[i++] == '-';
    double value = 0;
    bool digits = false;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
        value = value * 10 + (field[i] - '0');
        digits = true;
    }
    if (i < field.size() && field[i] == '.') {
        double scale = 0.1;
        for (++i; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i, scale /= 10) {
            value += (field[i] - '0') * scale;
            digits = true;
        }
    }
    if (!digits) return std::nullopt;
    value = std::nearbyint(negative ? -value : value);
    constexpr double lo = std::numeric_limits<int>::min();
    constexpr double hi = std::numeric_limits<int>::max();
    return static_cast<int>(value < lo ? lo : (value > hi ? hi : value));
}

int parseNumber(std::string_view field) { return readNumber(field).value_or(0); }

void applyDefaults(AppSettings& s) {
    if (s.callsign.empty()) s.callsign = "nocall";
    if (s.squelchLevel < 1) s.squelchLevel = 15;
    if (s.captureTop < 7) s.captureTop = 122;
    if (s.portIndex < 1) s.portIndex = 1;
    if (s.pttMethod.empty()) s.pttMethod = "PTT";
    if (s.radioAddress.empty()) s.radioAddress = "  ";
    if (s.baudIndex == 0) s.baudIndex = 7;
    if (s.dataBitsIndex == 0) s.dataBitsIndex = 4;
    if (s.parityIndex == 0) s.parityIndex = 3;
    if (s.stopBitsIndex == 0) s.stopBitsIndex = 1;
    if (s.addressIndex == 0) s.addressIndex = 1;
    if (s.txCommandText.empty()) s.txCommandText = "FEFEnnE01C0001FD";
    if (s.rxCommandText.empty()) s.rxCommandText = "FEFEnnE01C0000FD";
    if (s.useCommands < 0 || s.useCommands > 1) s.useCommands = 0;
    if (s.commandKind.empty()) s.commandKind = "HEX";
    if (s.inputDevice < 0) s.inputDevice = -1;
    if (s.outputDevice < 0) s.outputDevice = -1;
    if (s.lastClientHeight < 100) s.lastClientHeight = 100;
    if (s.lastClientWidth < 100) s.lastClientWidth = 100;
    if (s.rigEnabled < 0 || s.rigEnabled > 1) s.rigEnabled = 0;
    if (s.rigModel < 1) s.rigModel = 1;
    if (s.rigSerialSpeed < 0) s.rigSerialSpeed = 0;
}

void putText(std::string& out, std::string_view text) {
    out += '"';
    out += settingsTextOnly(text);
    out += "\"\r\n";
}

void putNumber(std::string& out, int value) {
    out += std::to_string(value);
    out += "\r\n";
}

// Writes `data` to a fresh file beside `target` with permission bits `mode` and returns its
// path, or empty (with errno set) on any failure.
std::filesystem::path writeTemporary(const std::filesystem::path& target, const std::string& data, mode_t mode) {
    std::string pattern = (target.parent_path() / (target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return {};
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<std::size_t>(n);
    }
    ok = ok && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    if (!ok) {
        const int saved = errno;
        ::close(fd);
        ::unlink(pattern.c_str());
        errno = saved;
        return {};
    }
    if (::close(fd) != 0) {
        const int saved = errno;
        ::unlink(pattern.c_str());
        errno = saved;
        return {};
    }
    return pattern;
}

void syncDirectory(const std::filesystem::path& dir) {
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

bool fitsSettingsText(std::string_view text) {
    return text.find_first_of(std::string_view("\"\r\n\x1a", 4)) == std::string_view::npos;
}

std::string settingsTextOnly(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '"' && c != '\r' && c != '\n' && c != kEndOfData) out += c;
    return out;
}

AppSettings parseSettings(std::string_view text) {
    // A byte-order mark put there by an editor is not part of the call sign.
    constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
    if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
    FieldReader in(text);
    // An unquoted field may hold a double quote, which the file could not give back once written.
    auto str = [&in] { return settingsTextOnly(in.next().value_or(std::string())); };
    auto num = [&in] { return parseNumber(in.next().value_or(std::string())); };
    // A device line that is not in the file at all means the system default, not device 0.
    auto device = [&in] {
        const auto field = in.next();
        return field ? parseNumber(*field) : -1;
    };
    // Sensitive receive and keying through Hamlib stay on unless the operator turned them off:
    // only a line that reads 0 or 1 is a choice; a missing or unreadable line is not.
    auto onOff = [&in] {
        const auto value = readNumber(in.next().value_or(std::string()));
        return value == 0 ? 0 : 1;
    };
    AppSettings s;
    s.callsign = str();
    s.squelchLevel = num();
    s.captureTop = num();
    s.portIndex = num();
    s.pttMethod = str();
    s.radioAddress = str();
    s.baudIndex = num();
    s.dataBitsIndex = num();
    s.parityIndex = num();
    s.stopBitsIndex = num();
    s.addressIndex = num();
    s.txCommandText = str();
    s.rxCommandText = str();
    s.useCommands = num();
    s.commandKind = str();
    s.inputDevice = device();
    s.outputDevice = device();
    s.lastClientHeight = num();
    s.lastClientWidth = num();
    s.sensitiveReceive = onOff();
    s.portDevice = str();
    s.rigEnabled = num();
    s.rigModel = num();
    s.rigPort = str();
    s.rigSerialSpeed = num();
    // Keying through Hamlib is what an operator who turns Hamlib on expects.
    s.rigKeyThrough = onOff();
    applyDefaults(s);
    return s;
}

std::string formatSettings(const AppSettings& s) {
    std::string out;
    putText(out, s.callsign);
    putNumber(out, s.squelchLevel);
    putNumber(out, s.captureTop);
    putNumber(out, s.portIndex);
    putText(out, s.pttMethod);
    putText(out, s.radioAddress);
    putNumber(out, s.baudIndex);
    putNumber(out, s.dataBitsIndex);
    putNumber(out, s.parityIndex);
    putNumber(out, s.stopBitsIndex);
    putNumber(out, s.addressIndex);
    putText(out, s.txCommandText);
    putText(out, s.rxCommandText);
    putNumber(out, s.useCommands);
    putText(out, s.commandKind);
    putNumber(out, s.inputDevice);
    putNumber(out, s.outputDevice);
    out += std::to_string(s.lastClientHeight) + ',' + std::to_string(s.lastClientWidth) + "\r\n";
    putNumber(out, s.sensitiveReceive ? 1 : 0);
    putText(out, s.portDevice);
    putNumber(out, s.rigEnabled ? 1 : 0);
    putNumber(out, s.rigModel);
    putText(out, s.rigPort);
    putNumber(out, s.rigSerialSpeed);
    putNumber(out, s.rigKeyThrough ? 1 : 0);
    return out;
}

AppSettings loadSettings(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return parseSettings({});
    // A settings file is a few hundred bytes; anything past 64 KiB is not ours.
    std::string text;
    text.resize(64 * 1024);
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    return parseSettings(text);
}

SaveResult saveSettings(const AppSettings& settings, const std::filesystem::path& link) {
    // A settings file kept elsewhere through a symbolic link stays there, and the link stays.
    std::error_code ec;
    const std::filesystem::path resolved = std::filesystem::is_symlink(link, ec) ? std::filesystem::canonical(link, ec) : link;
    const std::filesystem::path& path = ec || resolved.empty() ? link : resolved;
    // The file the operator keeps keeps its permission bits; one made read-only (no write bit
    // left, or not writable by this user) is left as it is.
    mode_t mode = 0644;
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0) {
        if ((existing.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0) return {false, std::strerror(EACCES)};
        mode = existing.st_mode & 07777;
    }
    errno = 0;
    const std::filesystem::path temporary = writeTemporary(path, formatSettings(settings), mode);
    if (temporary.empty()) return {false, std::strerror(errno ? errno : EIO)};
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temporary.c_str());
        return {false, std::strerror(saved)};
    }
    syncDirectory(path.parent_path());
    return {true, {}};
}

}  // namespace vantrel::app
