// The keying guardian: a small process of ours (vantrel-guardian) started with the window and
// joined to it by a socket. The window tells it how the radio goes back to receive (the CAT port
// and receive bytes, the Hamlib rig) and whether the radio is keyed; each word is one short
// write that never waits, so keying is not held up. When the window dies while keyed (a crash,
// kill -9), the guardian sees the socket close and unkeys the radio through those ways at once.
// A window that ends normally says goodbye and the guardian leaves without a word to the radio.
// DTR and RTS need no guardian: the port's hang-up on close drops them.
//
// Plain C++ on the POSIX interfaces; the window's side is called from the GUI thread only.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

#include "radio/ptt_controller.h"
#include "radio/rig_control.h"

namespace vantrel::radio {

// What the guardian knows, built up from the window's words (one line each).
struct GuardianOrders {
    std::optional<CatUnkey> cat;
    std::optional<RigConfig> rig;
    bool keyed = false;
    bool farewell = false;  // the window ended normally
};

// The words, as the window writes them and the guardian reads them.
std::string catWord(const std::optional<CatUnkey>& cat);
std::string rigWord(const std::optional<RigConfig>& rig);
std::string keyedWord(bool keyed);
std::string farewellWord();
// Takes one line (without its line end) into `orders`; false for a line it does not know, which
// changes nothing.
bool readGuardianWord(std::string_view line, GuardianOrders& orders);

class KeyingGuardian {
public:
    KeyingGuardian() = default;
    // Closes the window's end: a guardian not yet told goodbye acts if the radio is keyed.
    ~KeyingGuardian();
    KeyingGuardian(const KeyingGuardian&) = delete;
    KeyingGuardian& operator=(const KeyingGuardian&) = delete;

    // Starts the guardian program in a session of its own; false when it cannot be started.
    bool start(const std::string& program);
    bool running() const { return socket_ >= 0; }

    // The ways back to receive in force; only changes are written.
    void describe(const std::optional<CatUnkey>& cat, const std::optional<RigConfig>& rig);
    void setKeyed(bool keyed);
    // The window ends with the radio in receive.
    void sayGoodbye();

private:
    void send(const std::string& word);

    int socket_ = -1;
    pid_t pid_ = -1;
    std::string cat_, rig_, keyed_;
};

}  // namespace vantrel::radio
