// The signal browser's receivers on a sample stream: every block through the SlotBank and the
// StationList exactly as the chat window's browser runs them, keeping every station ever
// listed with all the text it was handed. Used by `vantrel-modem browse` and the tests.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "modem/slot_bank.h"
#include "modem/station_list.h"

namespace vantrel::cli {

struct BrowsedStation {
    int id = 0;
    int frequency = 0;       // Hz, whole, as a click tunes to it
    std::string call;        // empty when none was heard
    int snr = 0;             // S/N reading when last heard
    double lastHeard = 0;    // seconds from the start of the stream
    std::string text;        // everything it was handed, line breaks as '\n'
};

class BandBrowser {
public:
    BandBrowser(const modem::ModeProfile& profile, int squelchLevel);
    ~BandBrowser();
    BandBrowser(const BandBrowser&) = delete;
    BandBrowser& operator=(const BandBrowser&) = delete;

    // Samples at the profile's rate, in any chunk size.
    void feed(std::span<const std::int16_t> samples);
    // End of the stream: the partial block padded with silence, then one silent block, since a
    // pass decodes the symbols of the pass before it.
    void finish();

    // Every station listed so far, lowest frequency first.
    std::vector<BrowsedStation> stations() const;

private:
    void runPass();

    std::unique_ptr<modem::SlotBank> bank_;
    std::unique_ptr<modem::StationList> list_;
    int squelchLevel_;
    std::vector<std::int16_t> block_;
    std::size_t filled_ = 0;
    std::vector<BrowsedStation> seen_;
    std::vector<std::uint64_t> taken_;  // per seen station: how much of its text is in seen_
};

// One line per station: frequency, call ("-" when unknown), S/N and the text with '\' written
// as "\\" and line breaks as "\n".
std::string stationLines(const std::vector<BrowsedStation>& stations);
// One JSON array of objects: frequency, call, snr, heard (seconds) and text.
std::string stationsJson(const std::vector<BrowsedStation>& stations);

}  // namespace vantrel::cli
