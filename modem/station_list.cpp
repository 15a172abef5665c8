#include "station_list.h"

#include <algorithm>
#include <cmath>

namespace vantrel::modem {
namespace {

// A slot whose squelch has stayed shut this long has finished what it was copying.
constexpr double kQuietSeconds = 4.0;
constexpr int kListAfterSymbols = 16;
constexpr double kImageLevel = 0.003;  // 50 dB down
// Bins of its place in the range by which the slot copying a station is preferred to others.
constexpr double kKeepSourceBins = 4.0;

bool callCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/';
}

template <std::size_t N>
std::uint64_t pushRing(std::array<char, N>& ring, std::uint64_t written, char c) {
    ring[static_cast<std::size_t>(written % N)] = c;
    return written + 1;
}

}  // namespace

bool looksLikeCall(std::string_view word) {
    if (word.size() < 3 || word.size() > static_cast<std::size_t>(kCallLength)) return false;
    bool letter = false, digit = false;
    for (char c : word) {
        if (!callCharacter(c)) return false;
        letter = letter || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        digit = digit || (c >= '0' && c <= '9');
    }
    return letter && digit;
}

std::string_view Station::call() const {
    if (lineCallLength_ > 0) return {lineCall_.data(), static_cast<std::size_t>(lineCallLength_)};
    return {idleCall_.data(), static_cast<std::size_t>(idleCallLength_)};
}

std::size_t Station::copyText(std::uint64_t from, std::span<char> out) const {
    const std::uint64_t oldest = written_ > kStationTextLength ? written_ - kStationTextLength : 0;
    std::uint64_t at = std::max(from, oldest);
    std::size_t n = 0;
    for (; at < written_ && n < out.size(); ++at) out[n++] = text_[static_cast<std::size_t>(at % kStationTextLength)];
    return n;
}

std::size_t Station::copyRecentText(std::span<char> out) const {
    return copyText(written_ > out.size() ? written_ - out.size() : 0, out);
}

void Station::start(int id, double frequency, double now) {
    *this = Station();
    id_ = id;
    frequency_ = frequency;
    firstHeard_ = lastHeard_ = now;
}

void Station::append(char c) {
    written_ = pushRing(text_, written_, c);
    if (c == '\n') {
        lineHeadLength_ = 0;
        lineHeadOpen_ = true;
        return;
    }
    if (!lineHeadOpen_) return;
    // A line that opens with "CALL:" names its sender.
    const std::string_view head(lineHead_.data(), static_cast<std::size_t>(lineHeadLength_));
    if (c == ':' && looksLikeCall(head)) {
        std::copy(head.begin(), head.end(), lineCall_.begin());
        lineCallLength_ = lineHeadLength_;
        lineHeadOpen_ = false;
    } else if (callCharacter(c) && lineHeadLength_ < kCallLength) {
        lineHead_[static_cast<std::size_t>(lineHeadLength_++)] = c;
    } else if (!(c == ' ' && lineHeadLength_ == 0)) {
        lineHeadOpen_ = false;
    }
}

void Station::appendIdle(char c) {
    if (callCharacter(c)) {
        if (idleWordLength_ >= 0 && idleWordLength_ < kCallLength) idleWord_[static_cast<std::size_t>(idleWordLength_++)] = c;
        else idleWordLength_ = -1;  // too long to be a call: wait for the next word
        return;
    }
    // Only a word heard from its start counts: a fragment could look like a call.
    const std::string_view word(idleWord_.data(), static_cast<std::size_t>(std::max(idleWordLength_, 0)));
    if (idleWordLength_ > 0 && looksLikeCall(word)) {
        std::copy(word.begin(), word.end(), idleCall_.begin());
        idleCallLength_ = idleWordLength_;
    }
    idleWordLength_ = c == ' ' ? 0 : -1;
}

StationList::StationList() : stations_(std::make_unique<std::array<Station, kMaxStations>>()) {}

StationList::~StationList() = default;

void StationList::clear() {
    count_ = 0;
    for (Pending& p : pending_) {
        p.delivered = p.written;
        p.idleDelivered = p.idleWritten;
    }
}

void StationList::reset() {
    count_ = 0;
    pending_.fill(Pending{});
    block_ = 0;
}

int StationList::nearestUnclaimed(double frequency, double within) const {
    int best = -1;
    for (int i = 0; i < count_; ++i) {
        const double d = std::abs(station(i).frequency() - frequency);
        if (claimed_[static_cast<std::size_t>(i)] || d >= within) continue;
        if (best < 0 || d < std::abs(station(best).frequency() - frequency)) best = i;
    }
    return best;
}

int StationList::addStation(double frequency, double now) {
    int index = count_;
    if (count_ == kMaxStations) {
        // Full: the station heard longest ago makes room.
        index = 0;
        for (int i = 1; i < count_; ++i)
            if (station(i).lastHeard() < station(index).lastHeard()) index = i;
    } else {
        ++count_;
    }
    (*stations_)[static_cast<std::size_t>(index)].start(nextId_++, frequency, now);
    return index;
}

void StationList::take(int slot, const SlotBank& bank, Pending& p) {
    const SlotChars& chars = bank.chars(slot);
    for (std::uint8_t c : chars.primaryText())
        if (c != '\r') p.written = pushRing(p.text, p.written, static_cast<char>(c));  // CR LF is one line break
    for (std::uint8_t c : chars.secondaryText()) p.idleWritten = pushRing(p.idle, p.idleWritten, static_cast<char>(c));
    p.marks[static_cast<std::size_t>(block_ % static_cast<long long>(p.marks.size()))] = p.written;
    p.idleMarks[static_cast<std::size_t>(block_ % static_cast<long long>(p.idleMarks.size()))] = p.idleWritten;
    const double blockSeconds = static_cast<double>(kBlockLength) / bank.profile().sampleRate;
    p.quietBlocks = chars.squelchOpen ? 0 : p.quietBlocks + 1;
    if (p.quietBlocks * blockSeconds > kQuietSeconds) {
        p.delivered = p.written;
        p.idleDelivered = p.idleWritten;
    }
}

void StationList::hand(Pending& p, Station& station, long long sinceBlock) {
    const auto kept = static_cast<long long>(p.marks.size());
    p.delivered = std::max(p.delivered, p.written > p.text.size() ? p.written - p.text.size() : 0);
    if (sinceBlock >= 0 && block_ - sinceBlock < kept) {
        // Another slot copied this signal up to then: what this one kept from before is the
        // same text.
        const auto at = static_cast<std::size_t>(sinceBlock % kept);
        p.delivered = std::max(p.delivered, p.marks[at]);
        p.idleDelivered = std::max(p.idleDelivered, p.idleMarks[at]);
    } else if (station.textEnd() == 0) {
        // A new station's text starts at the line its transmission opens with: what came before
        // is the noise and the blank run of the squelch opening.
        for (std::uint64_t i = p.delivered; i < p.written; ++i) {
            if (p.text[static_cast<std::size_t>(i % p.text.size())] != '\n') continue;
            p.delivered = i + 1;
            station.lineHeadOpen_ = true;
            break;
        }
    }
    for (; p.delivered < p.written; ++p.delivered) station.append(p.text[static_cast<std::size_t>(p.delivered % p.text.size())]);
    p.idleDelivered = std::max(p.idleDelivered, p.idleWritten > p.idle.size() ? p.idleWritten - p.idle.size() : 0);
    for (; p.idleDelivered < p.idleWritten; ++p.idleDelivered)
        station.appendIdle(p.idle[static_cast<std::size_t>(p.idleDelivered % p.idle.size())]);
}

void StationList::update(const SlotBank& bank, double now) {
    ++block_;
    // Two places whose tone bands overlap by more than half are one signal: stations that close
    // cannot both be copied, and a slot that holds only part of a signal misplaces it by a few
    // tones.
    const double sameSignal = kToneCount / 2.0 * toneSpacing(bank.profile());
    int claims = 0;
    for (int k = 0; k < bank.slotCount(); ++k) {
        take(k, bank, pending_[static_cast<std::size_t>(k)]);
        // A slot claims a signal only while it hears it: once the squelch has shut, what is
        // left of its place is stale.
        const SlotSignal& s = bank.signal(k);
        if (!s.contained || !bank.chars(k).squelchOpen) continue;
        Claim c;
        c.slot = k;
        c.frequency = tuningForLowestTone(bank.profile(), s.lowestTone);
        c.rank = s.fromMiddle;
        for (int i = 0; i < count_; ++i)
            if (station(i).sourceSlot_ == k && station(i).lastDelivery_ >= block_ - 2) c.rank -= kKeepSourceBins;
        claims_[static_cast<std::size_t>(claims++)] = c;
    }
    // Each signal is copied by the slot that holds it nearest its middle; the slot copying it
    // already keeps it unless another holds it clearly better.
    std::sort(claims_.begin(), claims_.begin() + claims, [](const Claim& a, const Claim& b) { return a.rank < b.rank; });
    int accepted = 0;
    for (int i = 0; i < claims; ++i) {
        const Claim c = claims_[static_cast<std::size_t>(i)];
        // A strong signal leaves a faint image far off in other slots, which only a band
        // without noise lets through.
        if (bank.signal(c.slot).level < kImageLevel * bank.loudest()) continue;
        bool taken = false;
        for (int j = 0; j < accepted && !taken; ++j) taken = std::abs(claims_[static_cast<std::size_t>(j)].frequency - c.frequency) < sameSignal;
        if (!taken) claims_[static_cast<std::size_t>(accepted++)] = c;
    }

    claimed_.fill(false);
    for (int i = 0; i < accepted; ++i) {
        const Claim& c = claims_[static_cast<std::size_t>(i)];
        Pending& p = pending_[static_cast<std::size_t>(c.slot)];
        int index = nearestUnclaimed(c.frequency, sameSignal);
        long long since = -1;
        if (index < 0) {
            // Listed once it has been heard, and held whole long enough that a slot holding only
            // part of it (and misplacing it) would have shown that.
            if (p.delivered == p.written || bank.signal(c.slot).containedSymbols < kListAfterSymbols) continue;
            index = addStation(c.frequency, now);
        } else if (station(index).sourceSlot_ != c.slot) {
            since = station(index).lastDelivery_;
        }
        claimed_[static_cast<std::size_t>(index)] = true;
        Station& s = (*stations_)[static_cast<std::size_t>(index)];
        s.sourceSlot_ = c.slot;
        s.frequency_ = c.frequency;
        hand(p, s, since);
        s.lastDelivery_ = block_;
        s.lastHeard_ = now;
        s.snr_ = bank.receiver(c.slot).analyzer().snrSmoothed();
    }
}

void StationList::expire(double now, double silence) {
    int kept = 0;
    for (int i = 0; i < count_; ++i) {
        if (now - station(i).lastHeard() > silence) continue;
        if (kept != i) (*stations_)[static_cast<std::size_t>(kept)] = (*stations_)[static_cast<std::size_t>(i)];
        ++kept;
    }
    count_ = kept;
}

}  // namespace vantrel::modem
