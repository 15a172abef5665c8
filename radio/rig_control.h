// A transceiver reached through a rig-control library: open it, switch its PTT, read its dial.
// RigControl is the small interface the keying worker drives; HamlibRig is the real one, tests
// hand in doubles. Every call of a RigControl comes from the one worker thread that owns it
// (RigWorker), never from the GUI thread: a radio may take seconds to answer.
#pragma once

#include <string>

namespace vantrel::radio {

// The operator's rig-control choices, as kept in lines 21-25 of "Settings.ini".
struct RigSettings {
    int enabled = 0;        // 1 = open the radio through the rig-control library
    int model = 1;          // the library's model number; 2 = a shared rigctld on the network
    std::string port;       // serial device, or host:port for the network model
    int serialSpeed = 0;    // bits per second; 0 = the model's own default
    int keyThrough = 1;     // 1 = SEND and RECV switch the radio's PTT through the library

    bool operator==(const RigSettings&) const = default;
};

struct RigConfig {
    int model = 1;
    std::string port;     // empty = the model's default port
    int serialSpeed = 0;  // 0 = the model's default
};

// The dial as read from the radio.
struct DialReading {
    double frequencyHz = 0;
    std::string mode;  // the library's mode name ("USB", "PKTUSB"); empty when unknown
};

// What one call achieved; `error` says why it failed, in words for the operator.
struct RigAnswer {
    bool ok = false;
    std::string error;
    DialReading dial;  // readFrequency fills the frequency, readMode the mode
};

class RigControl {
public:
    virtual ~RigControl() = default;
    // Opens the radio (closing one that is open). Fails with the library's reason.
    virtual RigAnswer open(const RigConfig& config) = 0;
    // Closes the radio if open; never fails.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual RigAnswer setPtt(bool on) = 0;
    // The dial in two calls of one radio round trip each, so a key or unkey never waits long
    // behind a reading.
    virtual RigAnswer readFrequency() = 0;
    virtual RigAnswer readMode() = 0;
};

// "14.078.500 USB": MHz, kHz and Hz groups of the dial rounded to the hertz, then the mode.
std::string formatDial(const DialReading& dial);

}  // namespace vantrel::radio
