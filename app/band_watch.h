// The signal browser's receivers as the chat window runs them: the slot bank and the station
// list, fed a copy of every captured block once the main receiver has finished with it (they
// never touch the main receiver), and the wide waterfall drawn from them. They run only while
// the browser's window is open or the operator's setting keeps them running. GUI thread only.
#pragma once

#include <QObject>

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "display/wide_waterfall.h"
#include "modem/slot_bank.h"
#include "modem/station_list.h"

namespace vantrel::app {

class BandWatch : public QObject {
    Q_OBJECT
public:
    explicit BandWatch(QObject* parent = nullptr);
    ~BandWatch() override;

    // Started afresh each time it starts running; stopped, it drops every block.
    void setRunning(bool running);
    bool running() const { return running_; }

    // One captured block at the speed it was captured at, with the operator's squelch level
    // and attack. Copied; the work runs from the event loop, after the caller's block is done.
    void feed(std::span<const std::int16_t> block, const modem::ModeProfile& profile, int squelchLevel, int squelchAttack);
    // Runs a block that feed() left waiting (tests, and before a new block arrives).
    void processWaiting();
    // The operator's clear: the list is emptied.
    void clearStations();

    const modem::SlotBank& bank() const { return *bank_; }
    const modem::StationList& stations() const { return *stations_; }
    display::WideWaterfall& waterfall() { return waterfall_; }

signals:
    // A block has been through the receivers: the list and the waterfall are new.
    void blockDone();

private:
    std::unique_ptr<modem::SlotBank> bank_;
    std::unique_ptr<modem::StationList> stations_;
    display::WideWaterfall waterfall_;
    std::array<std::int16_t, modem::kBlockLength> block_{};
    const modem::ModeProfile* blockProfile_ = nullptr;  // set while a block waits
    int squelchLevel_ = 15;
    int squelchAttack_ = 1;
    bool running_ = false;
};

}  // namespace vantrel::app
