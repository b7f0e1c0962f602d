// Audio of any file FFmpeg's libraries read, decoded and converted in chunks.
#ifndef QZ_FFMPEG_AUDIO_STREAM_H
#define QZ_FFMPEG_AUDIO_STREAM_H

#include <cstdint>
#include <memory>
#include <string>

// The sample formats a stream can hand out, interleaved.
enum class QzSampleFormat { int16, float32 };

// The first audio stream of a file (AAC in MP4 or M4A, compressed CAF, MP3, a movie's sound
// track, ...), decoded packet by packet and converted with libswresample to the sample format,
// channel count and rate asked for. Nothing of FFmpeg shows here. One thread at a time.
class QzFFmpegAudioStream {
public:
    // `channels` and `rate` 0 keep the file's own. Null when the file cannot be opened, holds
    // no audio stream, or its codec cannot be decoded here; `error` (when not null) then says
    // why, without the file name.
    static std::unique_ptr<QzFFmpegAudioStream> open(const char* path, QzSampleFormat format, int channels, int rate,
                                                     std::string* error = nullptr);
    ~QzFFmpegAudioStream();
    QzFFmpegAudioStream(const QzFFmpegAudioStream&) = delete;
    QzFFmpegAudioStream& operator=(const QzFFmpegAudioStream&) = delete;

    // What read hands out.
    int channels() const;
    int sampleRate() const;
    QzSampleFormat sampleFormat() const;
    // Where each output channel belongs in a stereo mix: 'L' left, 'R' right, 'C' centre,
    // '-' nowhere (low-frequency effects); one letter per channel.
    const std::string& channelRoles() const;

    // Reads up to `frames` frames into `out` (frames × channels() samples of the sample
    // format). Returns the frames read, 0 at the end of the stream, -1 when the data cannot be
    // read any further.
    long read(void* out, long frames);
    // Goes back to the first frame; false when the file cannot seek.
    bool rewind();
    // The length in frames at the output rate as the file states it, or -1.
    int64_t totalFrames() const;

private:
    struct State;
    explicit QzFFmpegAudioStream(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;  // owned
};

#endif
