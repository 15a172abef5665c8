// The stations the signal browser lists, built block by block from what the SlotBank's slots
// copy: each signal once (a signal inside two slots is one station, copied by the better placed
// slot), with the tuning frequency that reaches it, its call sign, its S/N reading, when it was
// last heard and its recent text. Fixed capacity; update never allocates.
//
// Times are seconds on the caller's clock (the chat window: UTC; the command line: seconds into
// the file). Text is as the receive pane prints it, with line breaks as a single '\n'. One
// thread at a time.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "slot_bank.h"

namespace vantrel::modem {

inline constexpr int kMaxStations = 32;
inline constexpr int kStationTextLength = 4096;       // characters of recent text kept
inline constexpr int kCallLength = 12;                // longest call sign taken
inline constexpr double kStationSilenceSeconds = 180; // a silent station leaves the list then

class Station {
public:
    int id() const { return id_; }  // never reused within one list
    // Hz: the tuning frequency that puts its tones where our transmitter at that F puts them.
    double frequency() const { return frequency_; }
    int snr() const { return snr_; }  // smoothed S/N reading, in the squelch level's unit
    double firstHeard() const { return firstHeard_; }
    double lastHeard() const { return lastHeard_; }
    // From the "CALL:" that opens its lines, else from its idle text; empty until known.
    std::string_view call() const;

    // Characters received since it was listed; the newest kStationTextLength are kept.
    std::uint64_t textEnd() const { return written_; }
    // Copies the kept text from position `from` on into `out`; returns the count copied.
    std::size_t copyText(std::uint64_t from, std::span<char> out) const;
    // The last characters, up to out.size(); returns the count copied.
    std::size_t copyRecentText(std::span<char> out) const;

private:
    friend class StationList;
    void start(int id, double frequency, double now);
    void append(char c);
    void appendIdle(char c);

    int id_ = 0;
    double frequency_ = 0;
    int snr_ = 0;
    double firstHeard_ = 0, lastHeard_ = 0;
    int sourceSlot_ = -1;
    long long lastDelivery_ = -1;  // the last block its slot copied it with the squelch open

    std::array<char, kStationTextLength> text_{};
    std::uint64_t written_ = 0;

    // Call sign readers: the start of the current line, and the idle text's current word.
    std::array<char, kCallLength> lineHead_{};
    int lineHeadLength_ = 0;
    bool lineHeadOpen_ = true;
    std::array<char, kCallLength> lineCall_{};
    int lineCallLength_ = 0;
    std::array<char, kCallLength> idleWord_{};
    int idleWordLength_ = -1;  // -1: inside a word whose start was not heard
    std::array<char, kCallLength> idleCall_{};
    int idleCallLength_ = 0;
};

// Whether `word` may be a call sign: 3 to kCallLength letters, digits and '/', with at least
// one letter and one digit.
bool looksLikeCall(std::string_view word);

class StationList {
public:
    StationList();
    ~StationList();
    StationList(const StationList&) = delete;
    StationList& operator=(const StationList&) = delete;

    // After every SlotBank::processBlock; `now` in seconds.
    void update(const SlotBank& bank, double now);
    // Stations not heard for longer than `silence` seconds leave the list.
    void expire(double now, double silence = kStationSilenceSeconds);
    // The operator's clear: the list is emptied; signals still on the air come back with
    // what they send from now on.
    void clear();
    // A new speed: everything, including what the slots had not yet handed over, is dropped.
    void reset();

    int count() const { return count_; }
    // In the order they were first heard.
    const Station& station(int index) const { return (*stations_)[static_cast<std::size_t>(index)]; }

private:
    // What a slot copied that no station has taken yet.
    struct Pending {
        std::array<char, 512> text{};
        std::uint64_t written = 0, delivered = 0;
        std::array<char, 64> idle{};
        std::uint64_t idleWritten = 0, idleDelivered = 0;
        std::array<std::uint64_t, 16> marks{}, idleMarks{};  // written, after each recent block
        int quietBlocks = 0;  // since its squelch was last open
    };
    struct Claim {
        int slot = -1;
        double frequency = 0;
        double rank = 0;  // lower is better: bins from the middle of its range
    };

    void take(int slot, const SlotBank& bank, Pending& pending);
    void hand(Pending& pending, Station& station, long long sinceBlock);
    int nearestUnclaimed(double frequency, double within) const;
    int addStation(double frequency, double now);

    std::unique_ptr<std::array<Station, kMaxStations>> stations_;
    int count_ = 0;
    int nextId_ = 1;
    std::array<Pending, kMaxSlots> pending_{};
    std::array<Claim, kMaxSlots> claims_{};
    std::array<bool, kMaxStations> claimed_{};
    long long block_ = 0;
};

}  // namespace vantrel::modem
