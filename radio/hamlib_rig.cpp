#include "radio/hamlib_rig.h"

#include <hamlib/rig.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <strings.h>
#include <unistd.h>

namespace vantrel::radio {
namespace {

// Hamlib keeps its backends and debug level in process-wide state: set them up once, before
// any rig is made, and silence the library's chatter on standard error.
void prepareHamlib() {
    static std::once_flag once;
    std::call_once(once, [] {
        rig_set_debug(RIG_DEBUG_NONE);
        rig_load_all_backends();
    });
}

std::string errorText(int code) {
    const char* text = rigerror2(code);
    std::string shown = text ? text : "unknown error";
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r' || shown.back() == ' ')) shown.pop_back();
    return shown.empty() ? "error " + std::to_string(code) : shown;
}

RigAnswer failure(const std::string& what, int code) { return RigAnswer{false, what + ": " + errorText(code), {}}; }

int collectModel(const rig_caps* caps, rig_ptr_t data) {
    auto* models = static_cast<std::vector<HamlibModel>*>(data);
    std::string shown = caps->mfg_name ? caps->mfg_name : "";
    if (caps->model_name && *caps->model_name) shown += (shown.empty() ? "" : " ") + std::string(caps->model_name);
    shown += " (" + std::to_string(caps->rig_model) + ")";
    models->push_back({static_cast<int>(caps->rig_model), shown});
    return 1;  // go on
}

bool setConf(RIG* rig, const char* name, const std::string& value) {
    const token_t token = rig_token_lookup(rig, name);
    return token != RIG_CONF_END && rig_set_conf(rig, token, value.c_str()) == RIG_OK;
}

}  // namespace

const std::vector<HamlibModel>& hamlibModels() {
    static const std::vector<HamlibModel> models = [] {
        prepareHamlib();
        std::vector<HamlibModel> list;
        rig_list_foreach(collectModel, &list);
        std::sort(list.begin(), list.end(), [](const HamlibModel& a, const HamlibModel& b) {
            const int c = ::strcasecmp(a.shown.c_str(), b.shown.c_str());
            return c != 0 ? c < 0 : a.number < b.number;
        });
        return list;
    }();
    return models;
}

HamlibRig::HamlibRig() = default;

HamlibRig::~HamlibRig() { close(); }

RigAnswer HamlibRig::open(const RigConfig& config) {
    close();
    prepareHamlib();
    RIG* rig = rig_init(static_cast<rig_model_t>(config.model));
    if (!rig) return {false, "Hamlib does not know radio model " + std::to_string(config.model), {}};
    // Hamlib says only "IO error" for a device the operator may not open; say why.
    if (rig->caps->port_type == RIG_PORT_SERIAL && config.port.starts_with('/') &&
        ::access(config.port.c_str(), R_OK | W_OK) != 0) {
        const int error = errno;
        rig_cleanup(rig);
        std::string why = config.port + ": " + std::strerror(error);
        if (error == EACCES) why += " (is your user in the dialout group?)";
        return {false, why, {}};
    }
    if (!config.port.empty() && !setConf(rig, "rig_pathname", config.port)) {
        rig_cleanup(rig);
        return {false, "Hamlib refused the port " + config.port, {}};
    }
    if (config.serialSpeed > 0 && !setConf(rig, "serial_speed", std::to_string(config.serialSpeed))) {
        rig_cleanup(rig);
        return {false, "Hamlib refused the serial speed " + std::to_string(config.serialSpeed), {}};
    }
    // A model that names no PTT method of its own (the dummy radio among them) is keyed by
    // command, which is what "Key the transmitter through Hamlib" asks for.
    if (rig->state.pttport.type.ptt == RIG_PTT_NONE) setConf(rig, "ptt_type", "RIG");
    const int code = rig_open(rig);
    if (code != RIG_OK) {
        rig_cleanup(rig);
        const std::string where = config.port.empty() ? std::string("the radio") : config.port;
        return failure("Hamlib could not open " + where, code);
    }
    rig_ = rig;
    return {true, {}, {}};
}

void HamlibRig::close() {
    if (!rig_) return;
    rig_close(rig_);
    rig_cleanup(rig_);
    rig_ = nullptr;
}

RigAnswer HamlibRig::setPtt(bool on) {
    if (!rig_) return {false, "no radio is open", {}};
    const int code = rig_set_ptt(rig_, RIG_VFO_CURR, on ? RIG_PTT_ON : RIG_PTT_OFF);
    if (code != RIG_OK) return failure(on ? "The radio did not key" : "The radio did not unkey", code);
    return {true, {}, {}};
}

RigAnswer HamlibRig::readFrequency() {
    if (!rig_) return {false, "no radio is open", {}};
    freq_t frequency = 0;
    const int code = rig_get_freq(rig_, RIG_VFO_CURR, &frequency);
    if (code != RIG_OK) return failure("The radio did not tell its frequency", code);
    RigAnswer answer{true, {}, {}};
    answer.dial.frequencyHz = frequency;
    return answer;
}

RigAnswer HamlibRig::readMode() {
    if (!rig_) return {false, "no radio is open", {}};
    rmode_t mode = RIG_MODE_NONE;
    pbwidth_t width = 0;
    const int code = rig_get_mode(rig_, RIG_VFO_CURR, &mode, &width);
    if (code != RIG_OK) return failure("The radio did not tell its mode", code);
    RigAnswer answer{true, {}, {}};
    if (const char* name = mode != RIG_MODE_NONE ? rig_strrmode(mode) : nullptr) answer.dial.mode = name;
    return answer;
}

std::optional<bool> HamlibRig::readPtt() {
    ptt_t ptt = RIG_PTT_OFF;
    if (!rig_ || rig_get_ptt(rig_, RIG_VFO_CURR, &ptt) != RIG_OK) return std::nullopt;
    return ptt != RIG_PTT_OFF;
}

}  // namespace vantrel::radio
