// Sound files through libsndfile, and through FFmpeg where libsndfile cannot read them, as PCM
// streams; the stereo mix-down of streams with more channels; the choice of reader by name.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <sndfile.h>

#include "QzFFmpegAudioStream.h"
#include "QzPCMStream.h"

namespace {

class QzSndfileStream final : public QzPCMStream {
public:
    bool open(const char* path) {
        file_ = sf_open(path, SFM_READ, &info_);
        if (!file_ || info_.channels < 1 || info_.samplerate < 1) return false;
        const int encoding = info_.format & SF_FORMAT_SUBMASK;
        floatingPoint_ = encoding == SF_FORMAT_FLOAT || encoding == SF_FORMAT_DOUBLE;
        return true;
    }
    ~QzSndfileStream() override {
        if (file_) sf_close(file_);
    }

    int channels() const override { return info_.channels; }
    int sampleRate() const override { return info_.samplerate; }

    long read(int16_t* out, long frames) override {
        const sf_count_t got = floatingPoint_ ? readFloats(out, frames) : sf_readf_short(file_, out, frames);
        if (got == 0 && sf_error(file_) != SF_ERR_NO_ERROR) return -1;
        return static_cast<long>(got);
    }

    bool rewind() override { return sf_seek(file_, 0, SEEK_SET) == 0; }

    int64_t totalFrames() override { return info_.frames; }

private:
    // Floating-point samples keep their level: 1.0 is full scale, louder ones are clipped.
    // (libsndfile's own conversion either wraps them or, when asked to scale, normalises the
    // whole file to its peak, which it may read the entire file at open to find.)
    sf_count_t readFloats(int16_t* out, long frames) {
        floats_.resize(static_cast<size_t>(frames) * info_.channels);
        const sf_count_t got = sf_readf_float(file_, floats_.data(), frames);
        const size_t samples = got > 0 ? static_cast<size_t>(got) * info_.channels : 0;
        for (size_t i = 0; i < samples; ++i) {
            // Rounded to the nearest step by truncating a positive number: a loop the
            // compiler turns into vector instructions.
            const float scaled = std::clamp(floats_[i], -1.0f, 1.0f) * 32767.0f;
            out[i] = static_cast<int16_t>(static_cast<int32_t>(scaled + 32768.5f) - 32768);
        }
        return got;
    }

    SNDFILE* file_ = nullptr;
    SF_INFO info_{};
    bool floatingPoint_ = false;
    std::vector<float> floats_;
};

// What FFmpeg decodes (AAC, compressed CAF, MP3, ...), as 16-bit samples at the file's own
// channel count and rate.
class QzFFmpegPCMStream final : public QzPCMStream {
public:
    explicit QzFFmpegPCMStream(std::unique_ptr<QzFFmpegAudioStream> stream) : stream_(std::move(stream)) {}
    int channels() const override { return stream_->channels(); }
    int sampleRate() const override { return stream_->sampleRate(); }
    std::string channelRoles() const override { return stream_->channelRoles(); }
    long read(int16_t* out, long frames) override { return stream_->read(out, frames); }
    bool rewind() override { return stream_->rewind(); }
    int64_t totalFrames() override { return stream_->totalFrames(); }

private:
    std::unique_ptr<QzFFmpegAudioStream> stream_;  // owned
};

// A stream of three or more channels mixed down to stereo as it is read.
class QzStereoDownmixStream final : public QzPCMStream {
public:
    explicit QzStereoDownmixStream(std::unique_ptr<QzPCMStream> source)
        : source_(std::move(source)), roles_(source_->channelRoles()) {}
    int channels() const override { return 2; }
    int sampleRate() const override { return source_->sampleRate(); }
    long read(int16_t* out, long frames) override {
        scratch_.resize(static_cast<size_t>(frames) * source_->channels());
        const long got = source_->read(scratch_.data(), frames);
        if (got <= 0) return got;
        QzDownmixToStereo(scratch_.data(), roles_.c_str(), source_->channels(), got);
        std::copy_n(scratch_.data(), got * 2, out);
        return got;
    }
    bool rewind() override { return source_->rewind(); }
    int64_t totalFrames() override { return source_->totalFrames(); }

private:
    std::unique_ptr<QzPCMStream> source_;  // owned
    std::string roles_;
    std::vector<int16_t> scratch_;
};

}  // namespace

std::string QzPCMStream::channelRoles() const {
    // The channel order of WAVE files and of most other formats: front left, front right,
    // centre, low-frequency, back left, back right, front left and right of centre, back
    // centre, side left, side right; any further channel goes to both sides.
    static const std::string kStandardOrder = "LRC-LRLRCLR";
    const size_t count = static_cast<size_t>(channels());
    std::string roles = kStandardOrder.substr(0, count);
    roles.resize(count, 'C');
    return roles;
}

bool QzHasSuffix(const char* text, const char* suffix) {
    const size_t length = std::strlen(text), suffixLength = std::strlen(suffix);
    return suffixLength <= length && std::memcmp(text + length - suffixLength, suffix, suffixLength) == 0;
}

std::unique_ptr<QzPCMStream> QzOpenSndfileStream(const char* path) {
    auto stream = std::make_unique<QzSndfileStream>();
    if (!stream->open(path)) return nullptr;
    return stream;
}

std::unique_ptr<QzPCMStream> QzOpenDecodedStream(const char* path, std::string* error) {
    if (std::unique_ptr<QzPCMStream> stream = QzOpenSndfileStream(path)) return stream;
    std::string reason;
    std::unique_ptr<QzFFmpegAudioStream> stream = QzFFmpegAudioStream::open(path, QzSampleFormat::int16, 0, 0, &reason);
    if (stream) return std::make_unique<QzFFmpegPCMStream>(std::move(stream));
    if (error) *error = "it is missing or not a sound file that can be read (" + reason + ")";
    return nullptr;
}

std::unique_ptr<QzPCMStream> QzOpenPCMStream(const char* path, std::string* error) {
    std::unique_ptr<QzPCMStream> stream;
    if (QzHasSuffix(path, ".ogg")) {
        stream = QzOpenVorbisStream(path);
        if (!stream && error) *error = "it is missing or not an Ogg Vorbis file";
    } else {
        stream = QzOpenDecodedStream(path, error);
    }
    if (stream && stream->channels() > 2) stream = std::make_unique<QzStereoDownmixStream>(std::move(stream));
    return stream;
}

bool QzDecodeWholeStream(const char* path, std::string* error) {
    std::unique_ptr<QzPCMStream> stream = QzOpenPCMStream(path, error);
    if (!stream) return false;
    constexpr long kFramesPerRead = 4096;
    std::vector<int16_t> samples(kFramesPerRead * stream->channels());
    for (;;) {
        const long got = stream->read(samples.data(), kFramesPerRead);
        if (got == 0) return true;
        if (got < 0) {
            *error = "its sound data cannot be read";
            return false;
        }
    }
}
