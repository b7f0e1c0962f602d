// Movie pictures through libavformat, libavcodec and libswscale.
#include "QzMovieReader.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

#include "QzGLTexture.h"

namespace {

// Only local files are read, and only by the demuxers of movie containers: a file that
// claims to be a playlist or a description of other streams could otherwise make FFmpeg
// open other files or network addresses.
constexpr const char* kProtocols = "file";
constexpr const char* kDemuxers = "mov,matroska,webm,avi,mpeg,mpegts";

// The largest picture a movie may have: 4K UHD, the largest intro movies are made at. It
// bounds what the decoder and the conversion allocate for a file that states a huge size.
constexpr int64_t kMaxMoviePixels = int64_t{3840} * 2160;

// Whether a width x height picture may be decoded and shown; sets *error when not.
bool pictureSizeAllowed(int64_t width, int64_t height, const std::string& what, std::string* error) {
    const char* reason = nullptr;
    if (!QzTextureSizeAllowed(width, height, &reason)) {
        *error = what + " of " + std::to_string(width) + "x" + std::to_string(height) + " pixels are refused: " + reason;
        return false;
    }
    if (width * height > kMaxMoviePixels) {
        *error = what + " of " + std::to_string(width) + "x" + std::to_string(height) +
                 " pixels are refused: they are larger than 3840x2160";
        return false;
    }
    return true;
}

// The largest single block FFmpeg's libraries may allocate in this process: a plane of a
// 3840 x 2160 picture at 16 bits a sample takes 16 MiB. A damaged or hostile container could
// otherwise make the demuxer allocate tables of any size its header states (FFmpeg's own bound
// is 2 GiB). The bound is FFmpeg's only, and holds for every use of it in the process.
constexpr size_t kMaxFFmpegBlockBytes = size_t{32} << 20;

// Packets in a row the decoder may refuse before the rest of the movie is taken as
// unreadable; single damaged packets are skipped.
constexpr int kMaxRefusedPacketsInARow = 64;

std::string ffmpegError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

struct FormatCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecCloser {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerFreer {
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};

}  // namespace

struct QzMovieReader::State {
    std::unique_ptr<AVFormatContext, FormatCloser> format;
    std::unique_ptr<AVCodecContext, CodecCloser> codec;
    std::unique_ptr<AVFrame, FrameFreer> decoded{av_frame_alloc()};
    std::unique_ptr<AVPacket, PacketFreer> packet{av_packet_alloc()};
    std::unique_ptr<SwsContext, ScalerFreer> scaler;
    int stream = -1;
    bool draining = false;  // the file has ended; the decoder hands out what it still holds
    bool finished = false;
    double lastSeconds = -1;
    double frameSeconds = 1.0 / 30;  // the nominal time between frames

    // The next decoded picture in `decoded`: false at the end, or with *error set.
    bool decodeNext(std::string* error);
    bool convert(QzMovieFrame* frame, std::string* error);
    double secondsOf(const AVFrame* frame);
};

QzMovieReader::QzMovieReader(std::unique_ptr<State> state) : state_(std::move(state)) {}
QzMovieReader::~QzMovieReader() = default;

std::unique_ptr<QzMovieReader> QzMovieReader::open(const std::string& path, std::string* error) {
    av_max_alloc(kMaxFFmpegBlockBytes);
    auto state = std::make_unique<State>();
    if (!state->decoded || !state->packet) {
        *error = "out of memory";
        return nullptr;
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", kProtocols, 0);
    av_dict_set(&options, "format_whitelist", kDemuxers, 0);
    AVFormatContext* format = nullptr;
    // The "file:" prefix keeps a path with a colon from naming another protocol.
    const int opened = avformat_open_input(&format, ("file:" + path).c_str(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) {
        *error = "it cannot be opened as a movie: " + ffmpegError(opened);
        return nullptr;
    }
    state->format.reset(format);
    if (const int found = avformat_find_stream_info(format, nullptr); found < 0) {
        *error = "its streams cannot be read: " + ffmpegError(found);
        return nullptr;
    }
    const AVCodec* decoder = nullptr;
    state->stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (state->stream < 0 || !decoder) {
        *error = state->stream == AVERROR_DECODER_NOT_FOUND ? "its pictures are in a format this player cannot decode"
                                                             : "it holds no pictures";
        return nullptr;
    }
    const AVStream* stream = format->streams[state->stream];
    state->codec.reset(avcodec_alloc_context3(decoder));
    if (!state->codec || avcodec_parameters_to_context(state->codec.get(), stream->codecpar) < 0) {
        *error = "its decoder cannot be set up";
        return nullptr;
    }
    if (!pictureSizeAllowed(state->codec->width, state->codec->height, "its pictures", error)) return nullptr;
    state->codec->max_pixels = kMaxMoviePixels;  // the decoder refuses larger pictures met later
    if (const int ready = avcodec_open2(state->codec.get(), decoder, nullptr); ready < 0) {
        *error = std::string("its ") + decoder->name + " pictures cannot be decoded: " + ffmpegError(ready);
        return nullptr;
    }
    const AVRational rate = av_guess_frame_rate(format, const_cast<AVStream*>(stream), nullptr);
    if (rate.num > 0 && rate.den > 0) state->frameSeconds = std::clamp(av_q2d(av_inv_q(rate)), 1e-3, 1.0);
    return std::unique_ptr<QzMovieReader>(new QzMovieReader(std::move(state)));
}

int32_t QzMovieReader::width() const { return state_->codec->width; }
int32_t QzMovieReader::height() const { return state_->codec->height; }

double QzMovieReader::displayAspectRatio() const {
    const AVCodecContext* codec = state_->codec.get();
    AVRational pixel = av_guess_sample_aspect_ratio(state_->format.get(), state_->format->streams[state_->stream], nullptr);
    if (pixel.num <= 0 || pixel.den <= 0) pixel = {1, 1};
    const double ratio = static_cast<double>(codec->width) * pixel.num / (static_cast<double>(codec->height) * pixel.den);
    return std::isfinite(ratio) && ratio > 0 ? std::clamp(ratio, 0.01, 100.0) : 1.0;
}

double QzMovieReader::durationSeconds() const {
    const int64_t duration = state_->format->duration;
    return duration > 0 ? static_cast<double>(duration) / AV_TIME_BASE : 0;
}

bool QzMovieReader::nextFrame(QzMovieFrame* frame, std::string* error) {
    error->clear();
    if (state_->finished || !state_->decodeNext(error)) {
        state_->finished = true;
        return false;
    }
    frame->seconds = state_->secondsOf(state_->decoded.get());
    if (!state_->convert(frame, error)) {
        state_->finished = true;
        return false;
    }
    return true;
}

bool QzMovieReader::State::decodeNext(std::string* error) {
    int refusedInARow = 0;
    for (;;) {
        const int received = avcodec_receive_frame(codec.get(), decoded.get());
        if (received == 0) return true;
        if (received == AVERROR_EOF) return false;
        if (received != AVERROR(EAGAIN)) {
            *error = "a picture cannot be decoded: " + ffmpegError(received);
            return false;
        }
        if (draining) return false;
        const int read = av_read_frame(format.get(), packet.get());
        if (read < 0) {
            // The end of the file, or data that cannot be read further: what the decoder
            // holds is still shown.
            draining = true;
            avcodec_send_packet(codec.get(), nullptr);
            continue;
        }
        if (packet->stream_index == stream) {
            const int sent = avcodec_send_packet(codec.get(), packet.get());
            refusedInARow = sent < 0 && sent != AVERROR(EAGAIN) ? refusedInARow + 1 : 0;
        }
        av_packet_unref(packet.get());
        if (refusedInARow >= kMaxRefusedPacketsInARow) {
            *error = "its pictures cannot be decoded any further";
            return false;
        }
    }
}

// The picture's time from the movie's start; pictures without a usable time follow the one
// before at the nominal rate, and time never goes back.
double QzMovieReader::State::secondsOf(const AVFrame* frame) {
    const AVStream* video = format->streams[stream];
    double seconds = lastSeconds + frameSeconds;
    if (frame->best_effort_timestamp != AV_NOPTS_VALUE) {
        const int64_t start = video->start_time != AV_NOPTS_VALUE ? video->start_time : 0;
        const double stated = static_cast<double>(frame->best_effort_timestamp - start) * av_q2d(video->time_base);
        if (std::isfinite(stated) && stated > lastSeconds) seconds = stated;
    }
    if (lastSeconds < 0) seconds = std::max(0.0, std::isfinite(seconds) ? seconds : 0.0);
    lastSeconds = seconds;
    return seconds;
}

bool QzMovieReader::State::convert(QzMovieFrame* frame, std::string* error) {
    const AVFrame* source = decoded.get();
    // A stream may change its picture size part-way; every picture is checked.
    if (!pictureSizeAllowed(source->width, source->height, "its later pictures", error)) return false;
    scaler.reset(sws_getCachedContext(scaler.release(), source->width, source->height,
                                      static_cast<AVPixelFormat>(source->format), source->width, source->height,
                                      AV_PIX_FMT_RGBA, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler) {
        const char* name = av_get_pix_fmt_name(static_cast<AVPixelFormat>(source->format));
        *error = std::string("its pictures' pixel format ") + (name ? name : "(unknown)") + " cannot be converted";
        return false;
    }
    frame->width = source->width;
    frame->height = source->height;
    frame->rgba.resize(static_cast<size_t>(source->width) * static_cast<size_t>(source->height) * 4);
    uint8_t* planes[4] = {frame->rgba.data(), nullptr, nullptr, nullptr};
    int strides[4] = {source->width * 4, 0, 0, 0};
    if (sws_scale(scaler.get(), source->data, source->linesize, 0, source->height, planes, strides) != source->height) {
        *error = "a picture cannot be converted to RGBA";
        return false;
    }
    return true;
}
