// Whole sound files read into memory on libsndfile (and FFmpeg for what it cannot read).
#include "QzSoundFile.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <memory>

#include <sndfile.h>

#include "QzPCMStream.h"

namespace {

constexpr long kFramesPerRead = 16384;
// Raw reads take about this many bytes of whole frames (at least one frame). A fixed count of
// frames would not do: a header stating 1024 channels of 64-bit samples would make every read
// reserve 32 MB, however little data the file holds.
constexpr sf_count_t kRawReadBytes = 65536;

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

// Bits per channel of the linear PCM encodings; 0 for compressed ones.
int linearPCMBits(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return 8;
    case SF_FORMAT_PCM_16: return 16;
    case SF_FORMAT_PCM_24: return 24;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT: return 32;
    case SF_FORMAT_DOUBLE: return 64;
    default: return 0;
    }
}

bool storedBigEndian(SNDFILE* file) {
    const bool needsSwap = sf_command(file, SFC_RAW_DATA_NEEDS_ENDSWAP, nullptr, 0) == SF_TRUE;
    return needsSwap == (std::endian::native == std::endian::little);
}

// Appends the file's raw data bytes in reads of whole frames until the data ends. Memory
// grows with what is really read, never with a length or width the header claims.
QzSoundFileStatus readRawData(SNDFILE* file, int frameBytes, std::vector<uint8_t>* bytes) {
    const sf_count_t chunk = std::max<sf_count_t>(1, kRawReadBytes / frameBytes) * frameBytes;
    for (;;) {
        const size_t used = bytes->size();
        if (used + chunk > kQzMaxPCMBytes) return QzSoundFileStatus::readFailed;
        bytes->resize(used + chunk);
        const sf_count_t got = sf_read_raw(file, bytes->data() + used, chunk);
        bytes->resize(used + static_cast<size_t>(got > 0 ? got : 0));
        if (got <= 0) break;
    }
    return sf_error(file) == SF_ERR_NO_ERROR ? QzSoundFileStatus::ok : QzSoundFileStatus::readFailed;
}

// Big-endian samples (what sox and many Mac tools write in CAF) made little-endian.
void swapBytesOfEachSample(std::vector<uint8_t>* bytes, int sampleBytes) {
    for (size_t at = 0; at + sampleBytes <= bytes->size(); at += sampleBytes) {
        std::reverse(bytes->begin() + at, bytes->begin() + at + sampleBytes);
    }
}

void appendMono(const int16_t* frames, long count, int channels, std::vector<uint8_t>* bytes) {
    const size_t used = bytes->size();
    bytes->resize(used + count * sizeof(int16_t));
    auto* out = reinterpret_cast<int16_t*>(bytes->data() + used);
    for (long i = 0; i < count; ++i) {
        out[i] = channels == 1 ? frames[i] : static_cast<int16_t>((frames[2 * i] + frames[2 * i + 1]) / 2);
    }
}

}  // namespace

QzSoundFileStatus QzReadSoundFileMono16(const char* path, QzPCMData* data) {
    std::unique_ptr<QzPCMStream> stream = QzOpenDecodedStream(path);
    if (!stream) return QzSoundFileStatus::unreadable;
    const int channels = stream->channels();
    if (channels >= 3) return QzSoundFileStatus::tooManyChannels;
    std::vector<int16_t> block(kFramesPerRead * channels);
    data->bytes.clear();
    // Room for the length the file states, but never more than twice its size: a header may
    // claim any length.
    std::error_code error;
    const uintmax_t fileBytes = std::filesystem::file_size(path, error);
    if (stream->totalFrames() > 0 && !error) {
        data->bytes.reserve(2 * std::min<uintmax_t>({uintmax_t(stream->totalFrames()), fileBytes, kQzMaxPCMBytes / 2}));
    }
    for (;;) {
        const long got = stream->read(block.data(), kFramesPerRead);
        if (got < 0) return QzSoundFileStatus::readFailed;
        if (got == 0) break;
        if (data->bytes.size() + got * sizeof(int16_t) > kQzMaxPCMBytes) return QzSoundFileStatus::readFailed;
        appendMono(block.data(), got, channels, &data->bytes);
    }
    data->channels = 1;
    data->bitsPerChannel = 16;
    data->sampleRate = stream->sampleRate();
    return QzSoundFileStatus::ok;
}

QzSoundFileStatus QzReadCAFLinearPCM(const char* path, QzPCMData* data) {
    SF_INFO info{};
    SndfileHandle file(sf_open(path, SFM_READ, &info));
    if (!file || info.channels < 1 || info.samplerate < 1) return QzSoundFileStatus::unreadable;
    const int bits = linearPCMBits(info.format);
    if (bits == 0) return QzSoundFileStatus::notLinearPCM;
    data->bytes.clear();
    const QzSoundFileStatus status = readRawData(file.get(), info.channels * bits / 8, &data->bytes);
    if (status != QzSoundFileStatus::ok) return status;
    if (bits > 8 && storedBigEndian(file.get())) swapBytesOfEachSample(&data->bytes, bits / 8);
    if ((info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_S8) {
        for (uint8_t& sample : data->bytes) sample ^= 0x80;
    }
    data->channels = info.channels;
    data->bitsPerChannel = bits;
    data->sampleRate = info.samplerate;
    return QzSoundFileStatus::ok;
}
