#include "block_receiver.h"

#include <algorithm>

namespace vantrel::cli {

BlockReceiver::BlockReceiver(const modem::ModeProfile& profile, const ReceiveOptions& options)
    : receiver_(std::make_unique<modem::Receiver>()), options_(options), block_(modem::kBlockLength, 0) {
    receiver_->setProfile(profile);
    options_.squelchLevel = std::max(1, options_.squelchLevel);
}

BlockReceiver::~BlockReceiver() = default;

void BlockReceiver::feed(std::span<const std::int16_t> samples) {
    while (!samples.empty()) {
        const std::size_t take = std::min(samples.size(), block_.size() - filled_);
        std::copy_n(samples.begin(), take, block_.begin() + static_cast<std::ptrdiff_t>(filled_));
        filled_ += take;
        samples = samples.subspan(take);
        if (filled_ == block_.size()) runPass();
    }
}

void BlockReceiver::finish() {
    if (filled_ > 0) {
        std::fill(block_.begin() + static_cast<std::ptrdiff_t>(filled_), block_.end(), std::int16_t{0});
        runPass();
    }
    std::fill(block_.begin(), block_.end(), std::int16_t{0});
    runPass();
}

void BlockReceiver::runPass() {
    const modem::DecodedChars chars = receiver_->processBlock(block_, options_.rx, options_.squelchLevel);
    filled_ = 0;
    ++passes_;
    if (onPass_) onPass_(chars);
}

DecodedText decodeSamples(const modem::ModeProfile& profile, const ReceiveOptions& options,
                          std::span<const std::int16_t> samples) {
    DecodedText text;
    BlockReceiver receiver(profile, options);
    receiver.setPassHandler([&](const modem::DecodedChars& chars) {
        for (std::uint8_t c : chars.primaryText()) text.primary.push_back(static_cast<char>(c));
        for (std::uint8_t c : chars.secondaryText()) text.secondary.push_back(static_cast<char>(c));
    });
    receiver.feed(samples);
    receiver.finish();
    return text;
}

}  // namespace vantrel::cli
