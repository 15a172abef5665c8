// The radio through Hamlib: any model the library knows, on a serial device or, with model 2,
// through a running rigctld ("host:port"). Call only from the worker thread that owns it
// (RigWorker); hamlibModels() may be called from any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "radio/rig_control.h"

struct s_rig;

namespace vantrel::radio {

inline constexpr int kHamlibDummyModel = 1;
inline constexpr int kHamlibNetworkModel = 2;

struct HamlibModel {
    int number = 0;
    std::string shown;  // "Maker Model (number)"
};

// Every model of the installed Hamlib, sorted by the text shown (case-insensitive). Made once.
const std::vector<HamlibModel>& hamlibModels();

class HamlibRig : public RigControl {
public:
    HamlibRig();
    ~HamlibRig() override;
    HamlibRig(const HamlibRig&) = delete;
    HamlibRig& operator=(const HamlibRig&) = delete;

    RigAnswer open(const RigConfig& config) override;
    void close() override;
    bool isOpen() const override { return rig_ != nullptr; }
    RigAnswer setPtt(bool on) override;
    RigAnswer readFrequency() override;
    RigAnswer readMode() override;
    // The radio's own PTT state as Hamlib reads it; nullopt when it does not answer.
    std::optional<bool> readPtt();

private:
    s_rig* rig_ = nullptr;
};

}  // namespace vantrel::radio
