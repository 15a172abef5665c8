// Levels of the sound card's samples: the input's peak and overload per captured block, and the
// transmit level applied to every rendered block. Plain functions on 16-bit samples; the
// per-block path neither allocates nor throws. Any thread.
#pragma once

#include <cstdint>
#include <span>

namespace vantrel::audio {

inline constexpr float kSilenceDbfs = -96.0F;  // shown for a block of zeros
// A block with this many samples at full scale (+32767 or -32768) clips: the radio's audio is
// too loud for the sound card.
inline constexpr int kOverloadSamples = 4;

struct InputLevel {
    float peakDbfs = kSilenceDbfs;  // 0 dBFS is full scale, kSilenceDbfs at most
    int fullScaleSamples = 0;
    bool overloaded() const { return fullScaleSamples >= kOverloadSamples; }
};

InputLevel measureInputLevel(std::span<const std::int16_t> block);

// The transmit level: -30..0 dB of the modulator's amplitude.
inline constexpr int kMinTransmitLevelDb = -30;
inline constexpr int kMaxTransmitLevelDb = 0;
double gainFromDb(int db);
// Scales the samples in place, rounded to the nearest integer and held within 16 bits.
void applyGain(std::span<std::int16_t> samples, double gain);

}  // namespace vantrel::audio
