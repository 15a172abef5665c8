// The operator's keying commands: any address and command texts give the bytes the rule says
// (HEX: pairs of characters from the left, blanks between pairs skipped, the last may be
// single, each read as the hexadecimal digits it starts with; TXT: the characters as typed;
// otherwise the CI-V frames of the address), the texts are kept only when used, and keying
// writes exactly those bytes and leaves the lines low on a port opened with any line-setting
// texts.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "radio/memory_serial_link.h"
#include "radio/ptt_controller.h"

using namespace vantrel::radio;

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The hexadecimal number a text starts with, at most `digits` digits; none gives 0.
unsigned leadingHex(const std::string& text, std::size_t digits) {
    unsigned value = 0;
    for (std::size_t i = 0; i < text.size() && i < digits && hexValue(text[i]) >= 0; ++i)
        value = value * 16 + static_cast<unsigned>(hexValue(text[i]));
    return value;
}

// Blanks (spaces, tabs) before a pair only separate pairs.
std::vector<std::uint8_t> hexRule(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0;; i += 2) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        if (i >= text.size()) break;
        bytes.push_back(static_cast<std::uint8_t>(leadingHex(text.substr(i, 2), 2)));
    }
    return bytes;
}

std::vector<std::uint8_t> civFrame(std::uint8_t address, bool transmit) {
    return {0xFE, 0xFE, address, 0xE0, 0x1C, 0x00, static_cast<std::uint8_t>(transmit ? 1 : 0), 0xFD};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const int useCommands = in.ConsumeIntegralInRange(-1, 2);
    static const char* const kKinds[] = {"HEX", "TXT", "", "hex", "CAT"};
    const std::string kind = kKinds[in.ConsumeIntegralInRange(0, 4)];
    const std::string address = in.ConsumeRandomLengthString(8);
    const std::string port = in.ConsumeRandomLengthString(12);
    const std::string baud = in.ConsumeRandomLengthString(12);
    const std::string bits = in.ConsumeRandomLengthString(4);
    const std::string tx = in.ConsumeRandomLengthString(64);
    const std::string rx = in.ConsumeRemainingBytesAsString();

    auto link = std::make_unique<MemorySerialLink>();
    const auto state = link->state();
    PttController ptt(std::move(link));
    PortSettings settings;
    settings.useCommands = useCommands;
    settings.commandKind = kind;
    settings.pttMethod = "CAT";
    ptt.setSettings(settings);
    ptt.buildCatCommands(address, tx, rx);

    std::vector<std::uint8_t> wantTx = civFrame(static_cast<std::uint8_t>(leadingHex(address, 2)), true);
    std::vector<std::uint8_t> wantRx = civFrame(static_cast<std::uint8_t>(leadingHex(address, 2)), false);
    const bool used = useCommands == 1 && (kind == "HEX" || kind == "TXT");
    if (used && kind == "HEX") {
        wantTx = hexRule(tx);
        wantRx = hexRule(rx);
    } else if (used) {
        wantTx.assign(tx.begin(), tx.end());
        wantRx.assign(rx.begin(), rx.end());
    }
    FUZZ_CHECK(ptt.txCommandBytes() == wantTx, "transmit command bytes");
    FUZZ_CHECK(ptt.rxCommandBytes() == wantRx, "receive command bytes");
    FUZZ_CHECK(ptt.settings().txCommandText == (used ? tx : settings.txCommandText), "transmit text kept");
    FUZZ_CHECK(ptt.settings().rxCommandText == (used ? rx : settings.rxCommandText), "receive text kept");

    // Keying by command bytes on a port opened with whatever the dialog's texts hold.
    if (!ptt.openPort(port, baud, bits, tx, rx)) return 0;
    FUZZ_CHECK(!state->dtr && !state->rts, "lines high after opening");
    FUZZ_CHECK(state->written == wantRx, "opening did not write the receive command alone");
    state->written.clear();
    ptt.keyTransmitter();
    FUZZ_CHECK(state->written == wantTx, "keying wrote other bytes");
    ptt.unkeyTransmitter();
    std::vector<std::uint8_t> both = wantTx;
    both.insert(both.end(), wantRx.begin(), wantRx.end());
    FUZZ_CHECK(state->written == both, "unkeying wrote other bytes");
    FUZZ_CHECK(!state->dtr && !state->rts && !ptt.isKeyed(), "lines or state keyed after unkeying");
    ptt.shutdown();
    FUZZ_CHECK(!state->open && !state->dtr && !state->rts, "port left open or keyed");
    return 0;
}
