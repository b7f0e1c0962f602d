// Ogg Vorbis through vorbisfile: opening files, the stereo downmix and the Vorbis PCM stream.
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "QzPCMStream.h"

namespace {

size_t readFile(void* data, size_t size, size_t count, void* file) {
    return std::fread(data, size, count, static_cast<FILE*>(file));
}

int seekFile(void* file, ogg_int64_t offset, int whence) {
    return fseeko(static_cast<FILE*>(file), static_cast<off_t>(offset), whence);
}

int closeFile(void* file) { return std::fclose(static_cast<FILE*>(file)); }

long tellFile(void* file) { return static_cast<long>(ftello(static_cast<FILE*>(file))); }

// Where each channel of a Vorbis stream goes in the downmix: 'L' left, 'R' right, 'C' both
// at -3 dB, '-' nowhere (low-frequency effects). Indexed by channel count 3 to 8, in the
// channel order Vorbis streams use (front left, centre, front right, rear left, ...).
constexpr std::array<const char*, 9> kDownmixRoles = {
    "", "", "", "LCR", "LRLR", "LCRLR", "LCRLR-", "LCRLRC-", "LCRLRLR-",
};

// Streams of more than 8 channels have no defined order: every channel goes to both sides.
char downmixRole(int channels, int channel) {
    return channels < static_cast<int>(kDownmixRoles.size()) ? kDownmixRoles[channels][channel] : 'C';
}

constexpr float kCentreWeight = 0.70710678f;

int16_t clampToSample(float value) {
    return static_cast<int16_t>(std::lround(std::fmin(32767.0f, std::fmax(-32768.0f, value))));
}

class QzVorbisStream final : public QzPCMStream {
public:
    // The vorbisfile state points into itself, so it is opened in place, never copied.
    bool open(const char* path) {
        if (!QzOpenVorbisFile(path, &vorbis_)) return false;
        opened_ = true;
        const vorbis_info* info = ov_info(&vorbis_, -1);
        sourceChannels_ = info ? info->channels : 0;
        rate_ = info ? static_cast<int>(info->rate) : 0;
        return sourceChannels_ >= 1 && rate_ > 0;
    }
    ~QzVorbisStream() override {
        if (opened_) ov_clear(&vorbis_);
    }

    int channels() const override { return sourceChannels_ > 2 ? 2 : sourceChannels_; }
    int sampleRate() const override { return rate_; }

    long read(int16_t* out, long frames) override {
        if (sourceChannels_ <= 2) return readFrames(out, frames, sourceChannels_);
        scratch_.resize(static_cast<size_t>(frames) * sourceChannels_);
        const long got = readFrames(scratch_.data(), frames, sourceChannels_);
        if (got <= 0) return got;
        QzDownmixVorbisToStereo(scratch_.data(), sourceChannels_, got);
        std::copy_n(scratch_.data(), got * 2, out);
        return got;
    }

    bool rewind() override { return ov_pcm_seek(&vorbis_, 0) == 0; }

    int64_t totalFrames() override {
        const ogg_int64_t frames = ov_pcm_total(&vorbis_, -1);
        return frames >= 0 ? frames : -1;
    }

private:
    // One ov_read call's worth of whole frames; gaps are passed over, repeated errors end it.
    long readFrames(int16_t* out, long frames, int channels) {
        const int frameBytes = 2 * channels;
        int bitstream = 0;
        for (int errors = 0; errors < kQzMaxVorbisReadErrorsInARow; ++errors) {
            const long bytes = ov_read(&vorbis_, reinterpret_cast<char*>(out),
                                       static_cast<int>(frames * frameBytes), 0, 2, 1, &bitstream);
            if (bytes >= 0) return bytes / frameBytes;
        }
        return -1;
    }

    OggVorbis_File vorbis_{};
    bool opened_ = false;
    int sourceChannels_ = 0;
    int rate_ = 0;
    std::vector<int16_t> scratch_;
};

}  // namespace

bool QzOpenVorbisFile(const char* path, OggVorbis_File* vorbis) {
    FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    const ov_callbacks callbacks = {readFile, seekFile, closeFile, tellFile};
    if (ov_open_callbacks(file, vorbis, nullptr, 0, callbacks) != 0) {
        // vorbisfile leaves the file to its caller when the open fails.
        std::fclose(file);
        return false;
    }
    return true;
}

void QzDownmixVorbisToStereo(int16_t* samples, int channels, long frames) {
    std::vector<float> left(channels), right(channels);
    float leftTotal = 0, rightTotal = 0;
    for (int c = 0; c < channels; ++c) {
        const char role = downmixRole(channels, c);
        left[c] = role == 'L' ? 1.0f : role == 'C' ? kCentreWeight : 0.0f;
        right[c] = role == 'R' ? 1.0f : role == 'C' ? kCentreWeight : 0.0f;
        leftTotal += left[c];
        rightTotal += right[c];
    }
    for (long frame = 0; frame < frames; ++frame) {
        const int16_t* in = samples + frame * channels;
        float l = 0, r = 0;
        for (int c = 0; c < channels; ++c) {
            l += left[c] * in[c];
            r += right[c] * in[c];
        }
        // Frame f is written at 2f, never past its own input at f × channels.
        samples[frame * 2] = clampToSample(l / leftTotal);
        samples[frame * 2 + 1] = clampToSample(r / rightTotal);
    }
}

std::unique_ptr<QzPCMStream> QzOpenVorbisStream(const char* path) {
    auto stream = std::make_unique<QzVorbisStream>();
    if (!stream->open(path)) return nullptr;
    return stream;
}
