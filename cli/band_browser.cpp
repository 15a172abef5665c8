#include "band_browser.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace vantrel::cli {
namespace {

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c >= 0x7f) {
            std::array<char, 8> code{};
            std::snprintf(code.data(), code.size(), "\\u%04x", c);
            out += code.data();
        } else {
            out += ch;
        }
    }
    out += '"';
}

}  // namespace

BandBrowser::BandBrowser(const modem::ModeProfile& profile, int squelchLevel)
    : bank_(std::make_unique<modem::SlotBank>()), list_(std::make_unique<modem::StationList>()),
      squelchLevel_(std::max(1, squelchLevel)), block_(modem::kBlockLength, 0) {
    bank_->setProfile(profile);
}

BandBrowser::~BandBrowser() = default;

void BandBrowser::feed(std::span<const std::int16_t> samples) {
    while (!samples.empty()) {
        const std::size_t take = std::min(samples.size(), block_.size() - filled_);
        std::copy_n(samples.begin(), take, block_.begin() + static_cast<std::ptrdiff_t>(filled_));
        filled_ += take;
        samples = samples.subspan(take);
        if (filled_ == block_.size()) runPass();
    }
}

void BandBrowser::finish() {
    if (filled_ > 0) {
        std::fill(block_.begin() + static_cast<std::ptrdiff_t>(filled_), block_.end(), std::int16_t{0});
        runPass();
    }
    std::fill(block_.begin(), block_.end(), std::int16_t{0});
    runPass();
}

void BandBrowser::runPass() {
    filled_ = 0;
    bank_->processBlock(block_, squelchLevel_);
    const double now = static_cast<double>(bank_->blocks()) * modem::kBlockLength / bank_->profile().sampleRate;
    list_->update(*bank_, now);
    std::array<char, 1024> chunk{};
    for (int i = 0; i < list_->count(); ++i) {
        const modem::Station& s = list_->station(i);
        auto it = std::find_if(seen_.begin(), seen_.end(), [&](const BrowsedStation& b) { return b.id == s.id(); });
        if (it == seen_.end()) {
            seen_.push_back({s.id(), 0, {}, 0, 0, {}});
            taken_.push_back(0);
            it = seen_.end() - 1;
        }
        std::uint64_t& taken = taken_[static_cast<std::size_t>(it - seen_.begin())];
        it->frequency = static_cast<int>(std::nearbyint(s.frequency()));
        it->call = std::string(s.call());
        it->snr = s.snr();
        it->lastHeard = s.lastHeard();
        for (std::size_t n; (n = s.copyText(taken, chunk)) > 0; taken += n) it->text.append(chunk.data(), n);
        taken = s.textEnd();
    }
    list_->expire(now);
}

std::vector<BrowsedStation> BandBrowser::stations() const {
    std::vector<BrowsedStation> out = seen_;
    std::stable_sort(out.begin(), out.end(), [](const BrowsedStation& a, const BrowsedStation& b) { return a.frequency < b.frequency; });
    return out;
}

std::string stationLines(const std::vector<BrowsedStation>& stations) {
    std::string out;
    for (const BrowsedStation& s : stations) {
        std::array<char, 64> head{};
        std::snprintf(head.data(), head.size(), "%5d Hz  %-12s S/N %3d  ", s.frequency, s.call.empty() ? "-" : s.call.c_str(), s.snr);
        out += head.data();
        for (char c : s.text) {
            if (c == '\n') out += "\\n";
            else if (c == '\\') out += "\\\\";
            else out += c;
        }
        out += '\n';
    }
    return out;
}

std::string stationsJson(const std::vector<BrowsedStation>& stations) {
    std::string out = "[";
    for (std::size_t i = 0; i < stations.size(); ++i) {
        const BrowsedStation& s = stations[i];
        std::array<char, 96> numbers{};
        std::snprintf(numbers.data(), numbers.size(), "%s\n  {\"frequency\": %d, \"snr\": %d, \"heard\": %.1f, \"call\": ",
                      i ? "," : "", s.frequency, s.snr, s.lastHeard);
        out += numbers.data();
        appendJsonString(out, s.call);
        out += ", \"text\": ";
        appendJsonString(out, s.text);
        out += '}';
    }
    out += stations.empty() ? "]\n" : "\n]\n";
    return out;
}

}  // namespace vantrel::cli
