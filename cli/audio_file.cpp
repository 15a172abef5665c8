#include "audio_file.h"

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace vantrel::cli {
namespace {

constexpr sf_count_t kChunkFrames = 4096;
// A file of several channels is read on one: the one carrying the most signal over the opening
// seconds (a recording whose signal is only on the right would otherwise read as silence). The
// first channel is kept unless another carries clearly more, as with a mono source on both.
constexpr int kSurveySeconds = 10;
constexpr sf_count_t kSurveySamples = sf_count_t{1} << 21;  // over all channels: 8 MB at most
constexpr double kClearlyMore = 2.0;

// libsndfile's reason, without its "System error : " prefix and final full stop.
std::string reason(SNDFILE* file) {
    std::string r = sf_strerror(file);
    if (r.starts_with("System error : ")) r.erase(0, 15);
    while (!r.empty() && (r.back() == '.' || r.back() == '\n')) r.pop_back();
    return r;
}

// Why a file cannot be opened, in the words a user expects.
std::string openError(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return path + " is a directory";
    if (std::filesystem::is_regular_file(path, ec) && std::filesystem::file_size(path, ec) == 0)
        return path + " is empty";
    return "cannot read " + path + ": " + reason(nullptr);
}

std::int16_t toSample(float x) {
    if (!std::isfinite(x)) return 0;
    const float scaled = x * 32768.0f;
    if (scaled >= 32767.0f) return 32767;
    if (scaled <= -32768.0f) return -32768;
    return static_cast<std::int16_t>(std::lrint(scaled));
}

}  // namespace

struct AudioInput::Impl {
    SNDFILE* file = nullptr;
    SRC_STATE* converter = nullptr;
    double ratio = 1.0;
    int channels = 1;
    std::vector<float> interleaved;
    int channel = 0;             // the channel read
    std::vector<float> opening;  // the frames read to choose it, served first
    std::size_t openingPos = 0;
    std::vector<float> mono;     // the channel read, not yet converted
    std::size_t monoPos = 0;
    std::vector<float> converted;
    std::vector<std::int16_t> out;
    bool endOfFile = false;
    bool done = false;

    ~Impl() {
        if (converter) src_delete(converter);
        if (file) sf_close(file);
    }

    // Reads the opening seconds and picks the channel whose level varies most (a DC offset
    // carries nothing).
    void chooseChannel(int rate) {
        if (channels < 2) return;
        const sf_count_t frames = std::min<sf_count_t>(sf_count_t{kSurveySeconds} * rate, kSurveySamples / channels);
        opening.resize(static_cast<std::size_t>(frames * channels));
        const sf_count_t got = std::max<sf_count_t>(sf_readf_float(file, opening.data(), frames), 0);
        opening.resize(static_cast<std::size_t>(got * channels));
        std::vector<double> sum(static_cast<std::size_t>(channels)), square(static_cast<std::size_t>(channels));
        for (std::size_t k = 0; k < opening.size(); ++k) {
            const double x = std::isfinite(opening[k]) ? std::clamp(opening[k], -8.0f, 8.0f) : 0.0f;
            sum[k % static_cast<std::size_t>(channels)] += x;
            square[k % static_cast<std::size_t>(channels)] += x * x;
        }
        const auto variance = [&](int c) {
            const double n = std::max<double>(static_cast<double>(got), 1.0), m = sum[static_cast<std::size_t>(c)] / n;
            return square[static_cast<std::size_t>(c)] / n - m * m;
        };
        int loudest = 0;
        for (int c = 1; c < channels; ++c)
            if (variance(c) > variance(loudest)) loudest = c;
        channel = variance(loudest) > kClearlyMore * variance(0) ? loudest : 0;
    }

    // Reads the next chunk of the channel read into `mono`; false at the end of the file.
    bool readChunk() {
        const float* frames = interleaved.data();
        sf_count_t got = 0;
        if (openingPos < opening.size()) {
            got = std::min<sf_count_t>(kChunkFrames, static_cast<sf_count_t>((opening.size() - openingPos) / channels));
            frames = opening.data() + openingPos;
            openingPos += static_cast<std::size_t>(got * channels);
        } else {
            got = sf_readf_float(file, interleaved.data(), kChunkFrames);
        }
        mono.clear();
        monoPos = 0;
        for (sf_count_t i = 0; i < std::max<sf_count_t>(got, 0); ++i) {
            const float x = frames[static_cast<std::size_t>(i * channels + channel)];
            mono.push_back(std::isfinite(x) ? std::clamp(x, -8.0f, 8.0f) : 0.0f);
        }
        return got > 0;
    }
};

AudioInput::AudioInput() = default;
AudioInput::~AudioInput() = default;

bool AudioInput::open(const std::string& path, int targetRate) {
    impl_ = std::make_unique<Impl>();
    SF_INFO info{};
    impl_->file = sf_open(path.c_str(), SFM_READ, &info);
    if (!impl_->file) {
        error_ = openError(path);
        impl_.reset();
        return false;
    }
    frames_ = info.frames;
    fileRate_ = info.samplerate;
    channels_ = info.channels;
    if (info.channels < 1 || info.samplerate < 1) {
        error_ = path + ": not a usable audio file";
        impl_.reset();
        return false;
    }
    impl_->channels = info.channels;
    impl_->interleaved.resize(static_cast<std::size_t>(kChunkFrames) * static_cast<std::size_t>(info.channels));
    impl_->mono.reserve(static_cast<std::size_t>(kChunkFrames));
    impl_->chooseChannel(info.samplerate);
    channel_ = impl_->channel + 1;
    if (info.samplerate != targetRate) {
        impl_->ratio = static_cast<double>(targetRate) / info.samplerate;
        if (!src_is_valid_ratio(impl_->ratio)) {
            error_ = path + ": cannot convert from " + std::to_string(info.samplerate) + " Hz";
            impl_.reset();
            return false;
        }
        int err = 0;
        impl_->converter = src_new(SRC_SINC_MEDIUM_QUALITY, 1, &err);
        if (!impl_->converter) {
            error_ = std::string("sample rate converter: ") + src_strerror(err);
            impl_.reset();
            return false;
        }
        impl_->converted.resize(static_cast<std::size_t>(std::ceil(kChunkFrames * impl_->ratio)) + 64);
    }
    impl_->out.reserve(std::max<std::size_t>(impl_->converted.size(), static_cast<std::size_t>(kChunkFrames)));
    return true;
}

std::span<const std::int16_t> AudioInput::next() {
    if (!impl_ || impl_->done) return {};
    Impl& d = *impl_;
    d.out.clear();
    if (!d.converter) {
        if (!d.readChunk()) {
            d.done = true;
            return {};
        }
        for (float x : d.mono) d.out.push_back(toSample(x));
        return d.out;
    }
    for (;;) {
        if (d.monoPos >= d.mono.size() && !d.endOfFile) d.endOfFile = !d.readChunk();
        SRC_DATA data{};
        data.data_in = d.mono.data() + d.monoPos;
        data.input_frames = static_cast<long>(d.mono.size() - d.monoPos);
        data.data_out = d.converted.data();
        data.output_frames = static_cast<long>(d.converted.size());
        data.end_of_input = d.endOfFile ? 1 : 0;
        data.src_ratio = d.ratio;
        if (const int err = src_process(d.converter, &data); err != 0) {
            error_ = std::string("sample rate converter: ") + src_strerror(err);
            d.done = true;
            return {};
        }
        d.monoPos += static_cast<std::size_t>(data.input_frames_used);
        for (long i = 0; i < data.output_frames_gen; ++i) d.out.push_back(toSample(d.converted[static_cast<std::size_t>(i)]));
        if (!d.out.empty()) return d.out;
        if (d.endOfFile && data.input_frames_used == 0) {
            d.done = true;
            return {};
        }
    }
}

struct WavOutput::Impl {
    SNDFILE* file = nullptr;
    bool failed = false;
    ~Impl() {
        if (file) sf_close(file);
    }
};

WavOutput::WavOutput() = default;
WavOutput::~WavOutput() = default;

bool WavOutput::open(const std::string& path, int sampleRate) {
    impl_ = std::make_unique<Impl>();
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    impl_->file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!impl_->file) {
        error_ = "cannot write " + path + ": " + reason(nullptr);
        impl_.reset();
        return false;
    }
    return true;
}

bool WavOutput::write(std::span<const std::int16_t> samples) {
    if (!impl_ || impl_->failed) return false;
    const auto n = static_cast<sf_count_t>(samples.size());
    if (sf_write_short(impl_->file, samples.data(), n) != n) {
        error_ = "write failed: " + reason(impl_->file);
        impl_->failed = true;
        return false;
    }
    return true;
}

bool WavOutput::close() {
    if (!impl_) return false;
    bool ok = !impl_->failed;
    if (impl_->file) {
        if (sf_close(impl_->file) != 0 && ok) {
            error_ = "closing the file failed";
            ok = false;
        }
        impl_->file = nullptr;
    }
    impl_.reset();
    return ok;
}

}  // namespace vantrel::cli
