#include "app/band_watch.h"

#include <QDateTime>

#include <algorithm>

namespace vantrel::app {

BandWatch::BandWatch(QObject* parent)
    : QObject(parent), bank_(std::make_unique<modem::SlotBank>()), stations_(std::make_unique<modem::StationList>()) {}

BandWatch::~BandWatch() = default;

void BandWatch::setRunning(bool running) {
    if (running == running_) return;
    running_ = running;
    blockProfile_ = nullptr;
    if (!running) return;
    // What the receivers held from before they stopped no longer joins up with the air.
    bank_->reset();
    stations_->reset();
    waterfall_.clear();
}

void BandWatch::feed(std::span<const std::int16_t> block, const modem::ModeProfile& profile, int squelchLevel, int squelchAttack) {
    if (!running_) return;
    processWaiting();
    const std::size_t n = std::min(block.size(), block_.size());
    std::copy_n(block.begin(), n, block_.begin());
    std::fill(block_.begin() + static_cast<std::ptrdiff_t>(n), block_.end(), std::int16_t{0});
    blockProfile_ = &profile;
    squelchLevel_ = squelchLevel;
    squelchAttack_ = squelchAttack;
    QMetaObject::invokeMethod(this, [this] { processWaiting(); }, Qt::QueuedConnection);
}

void BandWatch::processWaiting() {
    if (!blockProfile_ || !running_) return;
    if (&bank_->profile() != blockProfile_) {
        bank_->setProfile(*blockProfile_);
        stations_->reset();
        waterfall_.setProfile(*blockProfile_);
    }
    blockProfile_ = nullptr;
    bank_->processBlock(block_, squelchLevel_, squelchAttack_);
    const double now = static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    stations_->update(*bank_, now);
    stations_->expire(now);
    waterfall_.addBlock(*bank_);
    emit blockDone();
}

void BandWatch::clearStations() { stations_->clear(); }

}  // namespace vantrel::app
