// Sound files through libsndfile as a PCM stream, and the choice of reader by file name.
#include <cstring>

#include <sndfile.h>

#include "QzPCMStream.h"

namespace {

class QzSndfileStream final : public QzPCMStream {
public:
    bool open(const char* path) {
        file_ = sf_open(path, SFM_READ, &info_);
        if (!file_ || info_.channels < 1 || info_.samplerate < 1) return false;
        // Floating-point data is read scaled to the full 16-bit range, not clipped.
        sf_command(file_, SFC_SET_SCALE_FLOAT_INT_READ, nullptr, SF_TRUE);
        return true;
    }
    ~QzSndfileStream() override {
        if (file_) sf_close(file_);
    }

    int channels() const override { return info_.channels; }
    int sampleRate() const override { return info_.samplerate; }

    long read(int16_t* out, long frames) override {
        const sf_count_t got = sf_readf_short(file_, out, frames);
        if (got == 0 && sf_error(file_) != SF_ERR_NO_ERROR) return -1;
        return static_cast<long>(got);
    }

    bool rewind() override { return sf_seek(file_, 0, SEEK_SET) == 0; }

    int64_t totalFrames() override { return info_.frames; }

private:
    SNDFILE* file_ = nullptr;
    SF_INFO info_{};
};

}  // namespace

bool QzHasSuffix(const char* text, const char* suffix) {
    const size_t length = std::strlen(text), suffixLength = std::strlen(suffix);
    return suffixLength <= length && std::memcmp(text + length - suffixLength, suffix, suffixLength) == 0;
}

std::unique_ptr<QzPCMStream> QzOpenSndfileStream(const char* path) {
    auto stream = std::make_unique<QzSndfileStream>();
    if (!stream->open(path)) return nullptr;
    return stream;
}

std::unique_ptr<QzPCMStream> QzOpenPCMStream(const char* path) {
    return QzHasSuffix(path, ".ogg") ? QzOpenVorbisStream(path) : QzOpenSndfileStream(path);
}
