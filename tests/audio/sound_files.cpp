// Test sound files and the loopback output.
#include "sound_files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <stdexcept>

#define AL_ALEXT_PROTOTYPES
#include <AL/alext.h>
#include <sndfile.h>
#include <vorbis/vorbisenc.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

#include "QzAudioOutput.h"

std::vector<int16_t> sineFrames(int channels, int rate, long frames, double hertz) {
    std::vector<int16_t> samples(static_cast<size_t>(frames) * channels);
    for (long f = 0; f < frames; ++f) {
        for (int c = 0; c < channels; ++c) {
            samples[f * channels + c] =
                static_cast<int16_t>(16000 * std::sin(2 * M_PI * hertz * (c + 1) * f / rate));
        }
    }
    return samples;
}

std::vector<int16_t> noisyFrames(int channels, int rate, long frames) {
    std::vector<int16_t> samples = sineFrames(channels, rate, frames);
    uint32_t seed = 1;
    for (int16_t& sample : samples) {
        seed = seed * 1103515245u + 12345u;
        sample = static_cast<int16_t>(sample / 2 + static_cast<int>((seed >> 16) & 0x3fff) - 8192);
    }
    return samples;
}

void writeSndfile(const std::string& path, int format, int channels, int rate, const std::vector<int16_t>& samples) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) throw std::runtime_error("cannot write " + path + ": " + sf_strerror(nullptr));
    // Floating-point files hold full scale as 1.0, as every tool writes them.
    sf_command(file, SFC_SET_SCALE_INT_FLOAT_WRITE, nullptr, SF_TRUE);
    sf_writef_short(file, samples.data(), static_cast<sf_count_t>(samples.size() / channels));
    sf_close(file);
}

static void writePage(FILE* out, const ogg_page& page) {
    std::fwrite(page.header, 1, page.header_len, out);
    std::fwrite(page.body, 1, page.body_len, out);
}

void writeOgg(const std::string& path, int channels, int rate, const std::vector<int16_t>& samples, bool append) {
    FILE* out = std::fopen(path.c_str(), append ? "ab" : "wb");
    if (!out) throw std::runtime_error("cannot write " + path);
    std::fseek(out, 0, SEEK_END);
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, rate, 0.4f) != 0) throw std::runtime_error("vorbis_encode_init_vbr");
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block block;
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    // Each link of a chained stream has a serial number of its own.
    ogg_stream_init(&stream, 1234 + static_cast<int>(std::ftell(out)));
    ogg_packet headers[3];
    vorbis_analysis_headerout(&dsp, &comment, &headers[0], &headers[1], &headers[2]);
    for (ogg_packet& header : headers) ogg_stream_packetin(&stream, &header);
    ogg_page page;
    while (ogg_stream_flush(&stream, &page)) writePage(out, page);

    const long frames = static_cast<long>(samples.size() / channels);
    for (long done = 0; done <= frames;) {
        const long count = std::min<long>(4096, frames - done);
        if (count > 0) {
            float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(count));
            for (long f = 0; f < count; ++f)
                for (int c = 0; c < channels; ++c) buffer[c][f] = samples[(done + f) * channels + c] / 32768.0f;
        }
        vorbis_analysis_wrote(&dsp, static_cast<int>(count));
        done += count > 0 ? count : 1;
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page)) writePage(out, page);
            }
        }
    }
    while (ogg_stream_flush(&stream, &page)) writePage(out, page);
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    std::fclose(out);
}

namespace {

void check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("writing a test file with FFmpeg: ") + what);
}

// Sends one frame (null: the end) to the encoder and writes every packet it gives back.
void encode(AVFormatContext* format, AVCodecContext* codec, AVStream* stream, AVFrame* frame) {
    check(avcodec_send_frame(codec, frame) >= 0, "avcodec_send_frame");
    AVPacket* packet = av_packet_alloc();
    while (avcodec_receive_packet(codec, packet) >= 0) {
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        check(av_interleaved_write_frame(format, packet) >= 0, "av_interleaved_write_frame");
    }
    av_packet_free(&packet);
}

}  // namespace

void writeEncoded(const std::string& path, const char* encoder, int channels, int rate,
                  const std::vector<int16_t>& samples) {
    AVFormatContext* format = nullptr;
    check(avformat_alloc_output_context2(&format, nullptr, nullptr, path.c_str()) >= 0, "no container for the name");
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder);
    check(codec, "no such encoder");
    AVStream* stream = avformat_new_stream(format, nullptr);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->sample_fmt = codec->sample_fmts[0];
    av_channel_layout_default(&context->ch_layout, channels);
    context->sample_rate = rate;
    context->time_base = {1, rate};
    context->bit_rate = 96000 * channels;
    if (format->oformat->flags & AVFMT_GLOBALHEADER) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    check(avcodec_open2(context, codec, nullptr) >= 0, "avcodec_open2");
    check(avcodec_parameters_from_context(stream->codecpar, context) >= 0, "codec parameters");
    stream->time_base = context->time_base;
    check(avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0, "avio_open");
    check(avformat_write_header(format, nullptr) >= 0, "avformat_write_header");

    SwrContext* convert = nullptr;
    swr_alloc_set_opts2(&convert, &context->ch_layout, context->sample_fmt, rate, &context->ch_layout,
                        AV_SAMPLE_FMT_S16, rate, 0, nullptr);
    check(swr_init(convert) >= 0, "swr_init");
    // Every frame is whole: the last one is filled up with silence.
    const int frameSize = context->frame_size > 0 ? context->frame_size : 1024;
    const long frames = static_cast<long>(samples.size() / channels);
    std::vector<int16_t> block(static_cast<size_t>(frameSize) * channels);
    AVFrame* frame = av_frame_alloc();
    for (long done = 0; done < frames; done += frameSize) {
        std::fill(block.begin(), block.end(), 0);
        std::copy_n(samples.begin() + done * channels, std::min<long>(frameSize, frames - done) * channels, block.begin());
        frame->nb_samples = frameSize;
        frame->format = context->sample_fmt;
        av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
        check(av_frame_get_buffer(frame, 0) >= 0, "av_frame_get_buffer");
        const auto* input = reinterpret_cast<const uint8_t*>(block.data());
        swr_convert(convert, frame->extended_data, frameSize, &input, frameSize);
        frame->pts = done;
        encode(format, context, stream, frame);
        av_frame_unref(frame);
    }
    encode(format, context, stream, nullptr);
    check(av_write_trailer(format) >= 0, "av_write_trailer");
    av_frame_free(&frame);
    swr_free(&convert);
    avcodec_free_context(&context);
    avio_closep(&format->pb);
    avformat_free_context(format);
}

BufferFacts bufferFacts(ALuint buffer) {
    BufferFacts facts{};
    alGetBufferi(buffer, AL_SIZE, &facts.size);
    alGetBufferi(buffer, AL_BITS, &facts.bits);
    alGetBufferi(buffer, AL_CHANNELS, &facts.channels);
    alGetBufferi(buffer, AL_FREQUENCY, &facts.frequency);
    return facts;
}

LoopbackOutput& LoopbackOutput::shared() {
    static LoopbackOutput output;
    return output;
}

LoopbackOutput::LoopbackOutput() {
    device_ = alcLoopbackOpenDeviceSOFT(nullptr);
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_SHORT_SOFT,
                                 ALC_FREQUENCY, 44100, 0};
    context_ = device_ ? alcCreateContext(device_, attributes) : nullptr;
    if (!context_) throw std::runtime_error("no OpenAL Soft loopback device");
    alcMakeContextCurrent(context_);
    QzUseSharedAudioOutput(device_, context_);
}

std::vector<int16_t> LoopbackOutput::render(long frames) {
    std::vector<int16_t> stereo(static_cast<size_t>(frames) * 2);
    alcRenderSamplesSOFT(device_, stereo.data(), static_cast<ALCsizei>(frames));
    return stereo;
}

int peak(const std::vector<int16_t>& stereo, int channel) {
    int largest = 0;
    for (size_t i = 0; i < stereo.size(); ++i) {
        if (channel == -1 || static_cast<int>(i % 2) == channel) largest = std::max(largest, std::abs(int(stereo[i])));
    }
    return largest;
}

long lastAudibleFrame(const std::vector<int16_t>& stereo) {
    for (long f = static_cast<long>(stereo.size() / 2) - 1; f >= 0; --f) {
        if (std::abs(stereo[2 * f]) > kDitherLevel || std::abs(stereo[2 * f + 1]) > kDitherLevel) return f;
    }
    return -1;
}

double toneLevel(const std::vector<int16_t>& stereo, int channel, double hertz, int rate) {
    const size_t frames = stereo.size() / 2;
    if (frames == 0) return 0;
    const double coefficient = 2 * std::cos(2 * M_PI * hertz / rate);
    double previous = 0, beforePrevious = 0;
    for (size_t f = 0; f < frames; ++f) {
        const double current = stereo[f * 2 + channel] + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    const double power = previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
    return 2 * std::sqrt(std::max(power, 0.0)) / frames;
}
