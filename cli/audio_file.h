// Audio files through libsndfile: reading any format it knows, at any rate and channel count, as
// 16-bit mono (one channel, the one carrying the signal) at the rate the modem runs at; writing
// 16-bit mono WAV.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace vantrel::cli {

class AudioInput {
public:
    AudioInput();
    ~AudioInput();
    AudioInput(const AudioInput&) = delete;
    AudioInput& operator=(const AudioInput&) = delete;

    // false with error() set when the file cannot be read or its rate cannot be converted.
    bool open(const std::string& path, int targetRate);
    const std::string& error() const { return error_; }

    long long frames() const { return frames_; }  // in the file, at its own rate
    int fileRate() const { return fileRate_; }
    int channels() const { return channels_; }
    // The channel read (1 is the first): of several, the one carrying the most signal over
    // the opening seconds, the first unless another carries clearly more.
    int channel() const { return channel_; }

    // The next samples of the channel read at the target rate; empty at the end of the file
    // (and on a read error, with error() set).
    std::span<const std::int16_t> next();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string error_;
    long long frames_ = 0;
    int fileRate_ = 0;
    int channels_ = 0;
    int channel_ = 1;
};

class WavOutput {
public:
    WavOutput();
    ~WavOutput();
    WavOutput(const WavOutput&) = delete;
    WavOutput& operator=(const WavOutput&) = delete;

    bool open(const std::string& path, int sampleRate);
    bool write(std::span<const std::int16_t> samples);
    // Flushes and closes; false when anything went wrong since open.
    bool close();
    const std::string& error() const { return error_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string error_;
};

}  // namespace vantrel::cli
