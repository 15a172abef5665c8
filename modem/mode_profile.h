// The six speeds and the signal constants shared by transmitter and receiver.
// Pure data and small integer helpers; safe to call from anywhere.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace vantrel::modem {

struct ModeProfile {
    std::string_view menuCaption;  // entry in the "&Mode" menu
    int commandId;                 // menu command identifier
    std::string_view windowTitle;  // main window caption while current
    int sampleRate;                // Hz, capture and playback
    int spacingFactor;             // 1 single spaced, 2 double spaced
    int txBaseScale;               // places the lowest transmit tone
};

inline constexpr std::array<ModeProfile, 6> kProfiles{{
    {"4 baud double spaced", 1500, "Vantrel 4 Baud Chat mode", 8000, 2, 135},
    {"5 baud double spaced", 1501, "Vantrel 5 Baud Chat mode", 11025, 2, 99},
    {"8 baud double spaced", 1502, "Vantrel 8 Baud Chat mode", 16000, 2, 71},
    {"11 baud single spaced", 1503, "Vantrel 11 Baud Chat mode", 11025, 1, 99},
    {"16 baud single spaced", 1504, "Vantrel 16 Baud Chat mode", 16000, 1, 71},
    {"22 baud single spaced", 1505, "Vantrel 22 Baud Chat mode", 22050, 1, 53},
}};

inline constexpr int kDefaultProfileIndex = 3;  // 11 baud single spaced
inline constexpr int kToneCount = 18;
inline constexpr int kToneOffset = 2;
inline constexpr int kToneGridLength = 1024;     // samples; tone spacing = sampleRate / 1024
inline constexpr int kBlockLength = 8192;        // samples per capture or playback buffer
inline constexpr int kDecimation = 8;
inline constexpr int kDecimatedLength = kBlockLength * 2 / kDecimation;  // 2048
inline constexpr int kSymbolFftLength = 512;
inline constexpr int kSymbolBins = 256;          // bins kept of the 512-point spectrum
inline constexpr int kTimingFftLength = 256;
inline constexpr int kTimingBins = 64;           // bins kept of the 256-point spectrum
inline constexpr int kTimingSteps = 128;
inline constexpr int kCaptureBottom = 5;
inline constexpr int kMaxCaptureTop = 122;
inline constexpr int kTxAmplitude = 25000;
inline constexpr int kMaxSymbolsPerBlock = 8;
inline constexpr int kDefaultTuningFrequency = 1000;  // Hz
inline constexpr int kMinTuningFrequency = 0;
inline constexpr int kMaxTuningFrequency = 2500;

constexpr const ModeProfile& defaultProfile() { return kProfiles[kDefaultProfileIndex]; }

// nullptr when no profile carries this menu command identifier.
constexpr const ModeProfile* profileByCommandId(int commandId) {
    for (const auto& p : kProfiles)
        if (p.commandId == commandId) return &p;
    return nullptr;
}

// nullptr when no profile runs at this baud rate (4, 5, 8, 11, 16 or 22).
constexpr const ModeProfile* profileByBaud(int baud) {
    constexpr std::array<int, 6> bauds{4, 5, 8, 11, 16, 22};
    for (std::size_t i = 0; i < bauds.size(); ++i)
        if (bauds[i] == baud) return &kProfiles[i];
    return nullptr;
}

constexpr int symbolsPerBlock(const ModeProfile& p) { return 8 / p.spacingFactor; }
constexpr int symbolLength(const ModeProfile& p) { return 1024 * p.spacingFactor; }

// Tone 0 sits this many tone spacings above 0 Hz: floor((F + 100) * txBaseScale / 1100).
constexpr int txBaseToneIndex(const ModeProfile& p, int tuningFrequency) {
    const long long num = static_cast<long long>(tuningFrequency + 100) * p.txBaseScale;
    long long q = num / 1100;
    if (num % 1100 != 0 && num < 0) --q;  // round down, also for a negative F
    return static_cast<int>(q);
}

// Lowest transmit tone in Hz for the tuning frequency F.
constexpr double txBaseFrequency(const ModeProfile& p, int tuningFrequency) {
    return static_cast<double>(p.sampleRate) * txBaseToneIndex(p, tuningFrequency) / 1024.0;
}

}  // namespace vantrel::modem
