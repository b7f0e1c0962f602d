// The first audio stream of a file, decoded with libavformat and libavcodec and converted with
// libswresample.
#include "QzFFmpegAudioStream.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace {

// Undecodable packets in a row after which the stream counts as unreadable: a damaged
// packet is passed over, data that never decodes must not be retried for ever.
constexpr int kMaxBadPacketsInARow = 16;

struct FormatCloser {
    void operator()(AVFormatContext* format) const { avformat_close_input(&format); }
};
struct CodecFreer {
    void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
};
struct ResamplerFreer {
    void operator()(SwrContext* resampler) const { swr_free(&resampler); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};

char stereoRole(AVChannel channel) {
    switch (channel) {
    case AV_CHAN_FRONT_LEFT:
    case AV_CHAN_FRONT_LEFT_OF_CENTER:
    case AV_CHAN_BACK_LEFT:
    case AV_CHAN_SIDE_LEFT:
    case AV_CHAN_TOP_FRONT_LEFT:
    case AV_CHAN_TOP_BACK_LEFT:
    case AV_CHAN_WIDE_LEFT:
    case AV_CHAN_SURROUND_DIRECT_LEFT:
    case AV_CHAN_STEREO_LEFT: return 'L';
    case AV_CHAN_FRONT_RIGHT:
    case AV_CHAN_FRONT_RIGHT_OF_CENTER:
    case AV_CHAN_BACK_RIGHT:
    case AV_CHAN_SIDE_RIGHT:
    case AV_CHAN_TOP_FRONT_RIGHT:
    case AV_CHAN_TOP_BACK_RIGHT:
    case AV_CHAN_WIDE_RIGHT:
    case AV_CHAN_SURROUND_DIRECT_RIGHT:
    case AV_CHAN_STEREO_RIGHT: return 'R';
    case AV_CHAN_LOW_FREQUENCY:
    case AV_CHAN_LOW_FREQUENCY_2: return '-';
    default: return 'C';
    }
}

std::string errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace

struct QzFFmpegAudioStream::State {
    std::unique_ptr<AVFormatContext, FormatCloser> format;
    std::unique_ptr<AVCodecContext, CodecFreer> codec;
    std::unique_ptr<SwrContext, ResamplerFreer> resampler;
    std::unique_ptr<AVPacket, PacketFreer> packet{av_packet_alloc()};
    std::unique_ptr<AVFrame, FrameFreer> frame{av_frame_alloc()};
    int streamIndex = -1;
    QzSampleFormat sampleFormat = QzSampleFormat::int16;
    int channels = 0;
    int rate = 0;
    int frameBytes = 0;
    std::string roles;
    // Converted frames not yet handed out, from pendingStart on.
    std::vector<uint8_t> pending;
    size_t pendingStart = 0;
    bool inputEnded = false;   // the demuxer has no more packets; the decoder was told
    bool decoderEnded = false;  // the decoder has given its last frame
    bool flushed = false;       // the resampler's last samples have been taken

    bool openFile(const char* path, std::string* error);
    bool openConverter(QzSampleFormat format, int wantedChannels, int wantedRate, std::string* error);
    // Converts more data into `pending`; false at the end of the stream or on an error
    // (`failed` set).
    bool convertMore(bool* failed);
    // The next decoded frame into `frame`: 1, 0 at the end, -1 on an error.
    int nextFrame();
    void append(const uint8_t* const* input, int inputFrames);
};

bool QzFFmpegAudioStream::State::openFile(const char* path, std::string* error) {
    AVFormatContext* opened = nullptr;
    int status = avformat_open_input(&opened, path, nullptr, nullptr);
    if (status < 0) {
        *error = errorText(status);
        return false;
    }
    format.reset(opened);
    status = avformat_find_stream_info(format.get(), nullptr);
    if (status < 0) {
        *error = errorText(status);
        return false;
    }
    const AVCodec* decoder = nullptr;
    streamIndex = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (streamIndex < 0 || !decoder) {
        *error = streamIndex == AVERROR_DECODER_NOT_FOUND ? "its sound is in a codec that cannot be decoded here"
                                                          : "it holds no sound";
        return false;
    }
    codec.reset(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), format->streams[streamIndex]->codecpar) < 0 ||
        (status = avcodec_open2(codec.get(), decoder, nullptr)) < 0) {
        *error = "its sound cannot be decoded (" + errorText(status) + ")";
        return false;
    }
    if (codec->sample_rate < 1 || codec->ch_layout.nb_channels < 1) {
        *error = "its sound has no channels or no sample rate";
        return false;
    }
    return true;
}

bool QzFFmpegAudioStream::State::openConverter(QzSampleFormat wanted, int wantedChannels, int wantedRate,
                                               std::string* error) {
    AVChannelLayout input{};
    if (codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_default(&input, codec->ch_layout.nb_channels);
    } else {
        av_channel_layout_copy(&input, &codec->ch_layout);
    }
    AVChannelLayout output{};
    if (wantedChannels > 0) {
        av_channel_layout_default(&output, wantedChannels);
    } else {
        av_channel_layout_copy(&output, &input);
    }
    sampleFormat = wanted;
    channels = output.nb_channels;
    rate = wantedRate > 0 ? wantedRate : codec->sample_rate;
    const AVSampleFormat outputFormat = wanted == QzSampleFormat::int16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_FLT;
    frameBytes = channels * av_get_bytes_per_sample(outputFormat);
    for (int i = 0; i < channels; ++i) roles += stereoRole(av_channel_layout_channel_from_index(&output, i));
    SwrContext* made = nullptr;
    const int status = swr_alloc_set_opts2(&made, &output, outputFormat, rate, &input, codec->sample_fmt,
                                           codec->sample_rate, 0, nullptr);
    resampler.reset(made);
    av_channel_layout_uninit(&input);
    av_channel_layout_uninit(&output);
    if (status < 0 || swr_init(resampler.get()) < 0) {
        *error = "its sound cannot be converted to " + std::to_string(channels) + " channels at " +
                 std::to_string(rate) + " Hz";
        return false;
    }
    return true;
}

int QzFFmpegAudioStream::State::nextFrame() {
    int badPackets = 0;
    for (;;) {
        const int received = avcodec_receive_frame(codec.get(), frame.get());
        if (received == 0) return 1;
        if (received == AVERROR_EOF) return 0;
        if (received != AVERROR(EAGAIN)) {
            if (++badPackets == kMaxBadPacketsInARow) return -1;
            continue;
        }
        if (inputEnded) return 0;
        const int read = av_read_frame(format.get(), packet.get());
        if (read < 0) {
            // The end, or a read error: either way the decoder gives what it still holds.
            inputEnded = true;
            avcodec_send_packet(codec.get(), nullptr);
            if (read != AVERROR_EOF && read != AVERROR(EIO)) return -1;
            continue;
        }
        if (packet->stream_index == streamIndex) {
            const int sent = avcodec_send_packet(codec.get(), packet.get());
            if (sent < 0 && sent != AVERROR(EAGAIN) && ++badPackets == kMaxBadPacketsInARow) {
                av_packet_unref(packet.get());
                return -1;
            }
            if (sent >= 0) badPackets = 0;
        }
        av_packet_unref(packet.get());
    }
}

void QzFFmpegAudioStream::State::append(const uint8_t* const* input, int inputFrames) {
    const int room = swr_get_out_samples(resampler.get(), inputFrames);
    if (room <= 0) return;
    const size_t used = pending.size();
    pending.resize(used + static_cast<size_t>(room) * frameBytes);
    uint8_t* target = pending.data() + used;
    const int made = swr_convert(resampler.get(), &target, room, const_cast<const uint8_t**>(input), inputFrames);
    pending.resize(used + static_cast<size_t>(std::max(made, 0)) * frameBytes);
}

bool QzFFmpegAudioStream::State::convertMore(bool* failed) {
    if (decoderEnded) {
        if (flushed) return false;
        flushed = true;
        append(nullptr, 0);
        return true;
    }
    const int got = nextFrame();
    if (got < 0) *failed = true;
    if (got <= 0) {
        decoderEnded = true;
        return !*failed;
    }
    append(frame->extended_data, frame->nb_samples);
    av_frame_unref(frame.get());
    return true;
}

std::unique_ptr<QzFFmpegAudioStream> QzFFmpegAudioStream::open(const char* path, QzSampleFormat format, int channels,
                                                               int rate, std::string* error) {
    // FFmpeg's own messages about files it probes would repeat, less clearly, what callers
    // report themselves.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    std::string reason;
    auto state = std::make_unique<State>();
    if (!state->packet || !state->frame) {
        reason = "out of memory";
    } else if (state->openFile(path, &reason) && state->openConverter(format, channels, rate, &reason)) {
        return std::unique_ptr<QzFFmpegAudioStream>(new QzFFmpegAudioStream(std::move(state)));
    }
    if (error) *error = reason;
    return nullptr;
}

QzFFmpegAudioStream::QzFFmpegAudioStream(std::unique_ptr<State> state) : state_(std::move(state)) {}
QzFFmpegAudioStream::~QzFFmpegAudioStream() = default;

int QzFFmpegAudioStream::channels() const { return state_->channels; }
int QzFFmpegAudioStream::sampleRate() const { return state_->rate; }
QzSampleFormat QzFFmpegAudioStream::sampleFormat() const { return state_->sampleFormat; }
const std::string& QzFFmpegAudioStream::channelRoles() const { return state_->roles; }

long QzFFmpegAudioStream::read(void* out, long frames) {
    State& s = *state_;
    bool failed = false;
    while (s.pending.size() - s.pendingStart < static_cast<size_t>(s.frameBytes) && s.convertMore(&failed)) {
    }
    const long available = static_cast<long>((s.pending.size() - s.pendingStart) / s.frameBytes);
    if (available == 0) return failed ? -1 : 0;
    const long taken = std::min(frames, available);
    std::memcpy(out, s.pending.data() + s.pendingStart, static_cast<size_t>(taken) * s.frameBytes);
    s.pendingStart += static_cast<size_t>(taken) * s.frameBytes;
    if (s.pendingStart == s.pending.size()) {
        s.pending.clear();
        s.pendingStart = 0;
    }
    return taken;
}

bool QzFFmpegAudioStream::rewind() {
    State& s = *state_;
    if (av_seek_frame(s.format.get(), s.streamIndex, 0, AVSEEK_FLAG_BACKWARD) < 0) return false;
    avcodec_flush_buffers(s.codec.get());
    s.pending.clear();
    s.pendingStart = 0;
    s.inputEnded = s.decoderEnded = s.flushed = false;
    return swr_init(s.resampler.get()) >= 0;
}

int64_t QzFFmpegAudioStream::totalFrames() const {
    const State& s = *state_;
    const AVStream* stream = s.format->streams[s.streamIndex];
    const AVRational perFrame{1, s.rate};
    if (stream->duration != AV_NOPTS_VALUE) return av_rescale_q(stream->duration, stream->time_base, perFrame);
    if (s.format->duration != AV_NOPTS_VALUE) return av_rescale_q(s.format->duration, AV_TIME_BASE_Q, perFrame);
    return -1;
}
