// Ogg Vorbis through vorbisfile: opening files, the stereo downmix, the reader that follows
// chained links and the Vorbis PCM stream.
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

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

// Where each channel of a Vorbis stream goes in the downmix, indexed by channel count 3 to 8,
// in the channel order Vorbis streams use (front left, centre, front right, rear left, ...).
constexpr std::array<const char*, 9> kVorbisRoles = {
    "", "", "", "LCR", "LRLR", "LCRLR", "LCRLR-", "LCRLRC-", "LCRLRLR-",
};

constexpr float kCentreWeight = 0.70710678f;

int16_t clampToSample(float value) {
    return static_cast<int16_t>(std::lround(std::fmin(32767.0f, std::fmax(-32768.0f, value))));
}

// Reads below this many frames go through the scratch buffer: a read straight into the
// caller's memory must have room for at least one frame of any link (up to 255 channels).
constexpr long kMinDirectFrames = 256;
// The most frames asked of vorbisfile in one read (it takes the length as an int).
constexpr long kMaxReadFrames = 65536;

class QzVorbisStream final : public QzPCMStream {
public:
    bool open(const char* path) { return reader_.open(path); }

    int channels() const override { return reader_.channels(); }
    int sampleRate() const override { return reader_.sampleRate(); }

    // Gaps are passed over; repeated errors end the stream.
    long read(int16_t* out, long frames) override {
        for (int errors = 0; errors < kQzMaxVorbisReadErrorsInARow; ++errors) {
            const long got = reader_.read(out, frames);
            if (got >= 0) return got;
        }
        return -1;
    }

    bool rewind() override { return reader_.rewind(); }
    int64_t totalFrames() override { return reader_.totalFrames(); }

private:
    QzVorbisReader reader_;
};

}  // namespace

QzVorbisReader::~QzVorbisReader() {
    if (opened_) ov_clear(&vorbis_);
    swr_free(&resampler_);
}

bool QzVorbisReader::open(const char* path) {
    if (!QzOpenVorbisFile(path, &vorbis_)) return false;
    opened_ = true;
    const vorbis_info* info = ov_info(&vorbis_, -1);
    if (!info || info->channels < 1 || info->rate < 1 || info->rate > INT_MAX) return false;
    channels_ = std::min(info->channels, 2);
    rate_ = static_cast<int>(info->rate);
    // vorbisfile may open a chained file after its first link when that link fits in one
    // page of data: go back to its first frame.
    if (ov_seekable(&vorbis_) && ov_pcm_tell(&vorbis_) != 0 && ov_pcm_seek(&vorbis_, 0) != 0) return false;
    scratch_.resize(kMinDirectFrames * 255);
    return true;
}

long QzVorbisReader::read(int16_t* out, long frames) {
    if (pendingStart_ < pending_.size()) return takePending(out, frames);
    frames = std::min(frames, kMaxReadFrames);
    const bool direct = frames >= kMinDirectFrames;
    int16_t* into = direct ? out : scratch_.data();
    const long room = direct ? frames * channels_ : static_cast<long>(scratch_.size());
    int link = 0;
    const long bytes = ov_read(&vorbis_, reinterpret_cast<char*>(into), static_cast<int>(room * 2), 0, 2, 1, &link);
    if (bytes <= 0) return bytes;
    const vorbis_info* info = ov_info(&vorbis_, link);
    if (!info || info->channels < 1 || info->rate < 1 || info->rate > INT_MAX) return OV_EBADLINK;
    const long got = bytes / (2 * info->channels);
    if (direct && info->channels == channels_ && info->rate == rate_) return got;
    convert(into, got, info->channels, static_cast<int>(info->rate));
    return takePending(out, frames);
}

long QzVorbisReader::takePending(int16_t* out, long frames) {
    const long available = static_cast<long>(pending_.size() - pendingStart_) / channels_;
    const long taken = std::min(frames, available);
    std::copy_n(pending_.data() + pendingStart_, taken * channels_, out);
    pendingStart_ += static_cast<size_t>(taken * channels_);
    if (pendingStart_ == pending_.size()) {
        pending_.clear();
        pendingStart_ = 0;
    }
    return taken;
}

void QzVorbisReader::convert(const int16_t* in, long frames, int channels, int rate) {
    mixed_.assign(in, in + frames * channels);
    if (channels > 2) {
        QzDownmixVorbisToStereo(mixed_.data(), channels, frames);
        channels = 2;
    }
    if (channels == 2 && channels_ == 1) {
        for (long f = 0; f < frames; ++f) mixed_[f] = static_cast<int16_t>((mixed_[2 * f] + mixed_[2 * f + 1]) / 2);
    } else if (channels == 1 && channels_ == 2) {
        mixed_.resize(static_cast<size_t>(frames) * 2);
        for (long f = frames - 1; f >= 0; --f) mixed_[2 * f] = mixed_[2 * f + 1] = mixed_[f];
    }
    mixed_.resize(static_cast<size_t>(frames) * channels_);
    if (rate == rate_) {
        pending_.insert(pending_.end(), mixed_.begin(), mixed_.end());
    } else {
        resample(mixed_.data(), frames, rate);
    }
}

void QzVorbisReader::resample(const int16_t* in, long frames, int rate) {
    if (!resampler_ || resamplerRate_ != rate) {
        swr_free(&resampler_);
        AVChannelLayout layout;
        av_channel_layout_default(&layout, channels_);
        if (swr_alloc_set_opts2(&resampler_, &layout, AV_SAMPLE_FMT_S16, rate_, &layout, AV_SAMPLE_FMT_S16, rate, 0,
                                nullptr) < 0 ||
            swr_init(resampler_) < 0) {
            swr_free(&resampler_);
            return;  // no resampler: the link's data is left out
        }
        resamplerRate_ = rate;
    }
    const int room = swr_get_out_samples(resampler_, static_cast<int>(frames));
    if (room <= 0) return;
    const size_t used = pending_.size();
    pending_.resize(used + static_cast<size_t>(room) * channels_);
    auto* target = reinterpret_cast<uint8_t*>(pending_.data() + used);
    const auto* source = reinterpret_cast<const uint8_t*>(in);
    const int made = swr_convert(resampler_, &target, room, &source, static_cast<int>(frames));
    pending_.resize(used + static_cast<size_t>(std::max(made, 0)) * channels_);
}

bool QzVorbisReader::rewind() {
    pending_.clear();
    pendingStart_ = 0;
    swr_free(&resampler_);
    return ov_pcm_seek(&vorbis_, 0) == 0;
}

int64_t QzVorbisReader::totalFrames() {
    double frames = 0;
    for (long link = 0; link < ov_streams(&vorbis_); ++link) {
        const ogg_int64_t linkFrames = ov_pcm_total(&vorbis_, static_cast<int>(link));
        const vorbis_info* info = ov_info(&vorbis_, static_cast<int>(link));
        if (linkFrames < 0 || !info || info->rate < 1) return -1;
        frames += static_cast<double>(linkFrames) * rate_ / static_cast<double>(info->rate);
    }
    return static_cast<int64_t>(frames);
}

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

void QzDownmixToStereo(int16_t* samples, const char* roles, int channels, long frames) {
    std::vector<float> left(channels), right(channels);
    float leftTotal = 0, rightTotal = 0;
    for (int c = 0; c < channels; ++c) {
        const char role = roles[c];
        left[c] = role == 'L' ? 1.0f : role == 'C' ? kCentreWeight : 0.0f;
        right[c] = role == 'R' ? 1.0f : role == 'C' ? kCentreWeight : 0.0f;
        leftTotal += left[c];
        rightTotal += right[c];
    }
    // A side that nothing feeds stays silent rather than dividing by zero.
    leftTotal = leftTotal > 0 ? leftTotal : 1;
    rightTotal = rightTotal > 0 ? rightTotal : 1;
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

void QzDownmixVorbisToStereo(int16_t* samples, int channels, long frames) {
    const std::string roles = channels < static_cast<int>(kVorbisRoles.size()) ? std::string(kVorbisRoles[channels])
                                                                                 : std::string(channels, 'C');
    QzDownmixToStereo(samples, roles.c_str(), channels, frames);
}

std::unique_ptr<QzPCMStream> QzOpenVorbisStream(const char* path) {
    auto stream = std::make_unique<QzVorbisStream>();
    if (!stream->open(path)) return nullptr;
    return stream;
}
