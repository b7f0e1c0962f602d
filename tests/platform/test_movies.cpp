// QuickTime movies encoded with libavformat and libavcodec for the movie tests.
#include "test_movies.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

struct Writer {
    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    AVPacket* packet = av_packet_alloc();
    ~Writer() {
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        if (format && format->pb) avio_closep(&format->pb);
        avformat_free_context(format);
        av_packet_free(&packet);
    }

    // Sends the frame (null: drains) and writes every packet that comes out.
    bool encode(AVCodecContext* codec, AVStream* stream, const AVFrame* frame) {
        if (avcodec_send_frame(codec, frame) < 0) return false;
        for (;;) {
            const int received = avcodec_receive_packet(codec, packet);
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return true;
            if (received < 0) return false;
            // Without a duration the last picture would fall outside the movie's edit list.
            if (packet->duration == 0 && codec->codec_type == AVMEDIA_TYPE_VIDEO) packet->duration = 1;
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(format, packet) < 0) return false;
        }
    }

    AVCodecContext* openStream(const AVCodec* codec, AVStream** stream, const std::function<void(AVCodecContext*)>& setUp) {
        AVCodecContext* context = avcodec_alloc_context3(codec);
        setUp(context);
        if (format->oformat->flags & AVFMT_GLOBALHEADER) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        *stream = avformat_new_stream(format, nullptr);
        if (avcodec_open2(context, codec, nullptr) < 0 || avcodec_parameters_from_context((*stream)->codecpar, context) < 0) {
            avcodec_free_context(&context);
            return nullptr;
        }
        (*stream)->time_base = context->time_base;
        return context;
    }
};

// Limited-range BT.601, as decoders assume for these streams.
void fillYUV(AVFrame* frame, const TestMovie& movie, int index) {
    for (int y = 0; y < movie.height; ++y) {
        for (int x = 0; x < movie.width; ++x) {
            // A small white mark moves along the top edge, so that no two pictures are alike
            // (an encoder writes repeated pictures as "not coded", which decoders may drop).
            const bool mark = y < 4 && x / 4 == index % std::max(1, movie.width / 4);
            const auto [r, g, b] = mark ? std::array<uint8_t, 3>{255, 255, 255} : movie.colour(index, x, y);
            frame->data[0][y * frame->linesize[0] + x] = uint8_t(16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255);
            if (x % 2 == 0 && y % 2 == 0) {
                frame->data[1][y / 2 * frame->linesize[1] + x / 2] = uint8_t(128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255);
                frame->data[2][y / 2 * frame->linesize[2] + x / 2] = uint8_t(128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255);
            }
        }
    }
}

}  // namespace

bool writeTestMovie(const std::string& path, const TestMovie& movie, std::string* error) {
    Writer writer;
    if (avformat_alloc_output_context2(&writer.format, nullptr, "mov", path.c_str()) < 0) {
        *error = "no QuickTime writer";
        return false;
    }
    const AVCodec* videoCodec = avcodec_find_encoder_by_name(movie.codec.c_str());
    if (!videoCodec) {
        *error = "no " + movie.codec + " encoder";
        return false;
    }
    writer.video = writer.openStream(videoCodec, &writer.videoStream, [&](AVCodecContext* c) {
        c->width = movie.width;
        c->height = movie.height;
        c->time_base = {1, movie.framesPerSecond};
        c->framerate = {movie.framesPerSecond, 1};
        c->pix_fmt = AV_PIX_FMT_YUV420P;
        c->gop_size = 12;
        c->bit_rate = int64_t{movie.width} * movie.height * 4;
    });
    constexpr int kRate = 44100;
    if (movie.sound) {
        writer.audio = writer.openStream(avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE), &writer.audioStream, [](AVCodecContext* c) {
            c->sample_fmt = AV_SAMPLE_FMT_S16;
            c->sample_rate = kRate;
            c->time_base = {1, kRate};
            av_channel_layout_default(&c->ch_layout, 2);
        });
    }
    if (!writer.video || (movie.sound && !writer.audio) || avio_open(&writer.format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0 ||
        avformat_write_header(writer.format, nullptr) < 0) {
        *error = "cannot start " + path;
        return false;
    }
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> picture(av_frame_alloc(), [](AVFrame* f) { av_frame_free(&f); });
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = movie.width;
    picture->height = movie.height;
    av_frame_get_buffer(picture.get(), 0);
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> sound(av_frame_alloc(), [](AVFrame* f) { av_frame_free(&f); });
    const int samplesPerPicture = kRate / movie.framesPerSecond;
    int64_t samples = 0;
    for (int index = 0; index < movie.frames; ++index) {
        av_frame_make_writable(picture.get());
        fillYUV(picture.get(), movie, index);
        picture->pts = index;
        if (!writer.encode(writer.video, writer.videoStream, picture.get())) {
            *error = "cannot encode picture " + std::to_string(index);
            return false;
        }
        if (!movie.sound) continue;
        av_frame_unref(sound.get());
        sound->format = AV_SAMPLE_FMT_S16;
        sound->sample_rate = kRate;
        sound->nb_samples = samplesPerPicture;
        av_channel_layout_default(&sound->ch_layout, 2);
        av_frame_get_buffer(sound.get(), 0);
        auto* out = reinterpret_cast<int16_t*>(sound->data[0]);
        for (int i = 0; i < samplesPerPicture; ++i, ++samples) {
            out[2 * i] = out[2 * i + 1] = int16_t(8000 * std::sin(2 * M_PI * 440 * double(samples) / kRate));
        }
        sound->pts = samples - samplesPerPicture;
        if (!writer.encode(writer.audio, writer.audioStream, sound.get())) {
            *error = "cannot encode sound";
            return false;
        }
    }
    if (!writer.encode(writer.video, writer.videoStream, nullptr) ||
        (writer.audio && !writer.encode(writer.audio, writer.audioStream, nullptr)) || av_write_trailer(writer.format) < 0) {
        *error = "cannot finish " + path;
        return false;
    }
    return true;
}
