// Sound files read in order as 16-bit interleaved PCM: Ogg Vorbis through vorbisfile, every
// other format through libsndfile. Used by the whole-file readers and the music player.
#ifndef QZ_PCM_STREAM_H
#define QZ_PCM_STREAM_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <vorbis/vorbisfile.h>

// Read errors in a row after which a Vorbis stream is taken as unreadable. vorbisfile reports
// a gap in the data once and then goes on; an error that repeats without progress would
// otherwise be retried for ever.
inline constexpr int kQzMaxVorbisReadErrorsInARow = 16;

class QzPCMStream {
public:
    virtual ~QzPCMStream() = default;
    virtual int channels() const = 0;
    virtual int sampleRate() const = 0;
    // Reads up to `frames` frames (frames × channels() samples) into `out`. Returns the
    // frames read, 0 at the end of the stream, -1 when the data cannot be read any further.
    virtual long read(int16_t* out, long frames) = 0;
    // Goes back to the first frame; false when the source cannot seek.
    virtual bool rewind() = 0;
    // The length in frames as the file states it, or -1 when it does not say.
    virtual int64_t totalFrames() = 0;
    // Where each channel belongs in a stereo mix (see QzDownmixToStereo); by default the
    // channel order of WAVE files.
    virtual std::string channelRoles() const;
};

// Opens `path` with vorbisfile, reading through stdio. False when the file cannot be opened
// or is not an Ogg Vorbis stream; the file is then closed again. On success the caller
// clears `vorbis` with ov_clear, which closes the file.
bool QzOpenVorbisFile(const char* path, OggVorbis_File* vorbis);

// Mixes `frames` frames of `channels` channels down to stereo, in place: the first
// frames × 2 samples of `samples` then hold the stereo frames. `roles` holds one letter per
// channel: 'L' channels go left, 'R' right, 'C' to both at -3 dB and '-' (low-frequency
// effects) nowhere; each side is scaled so that it cannot clip.
void QzDownmixToStereo(int16_t* samples, const char* roles, int channels, long frames);

// The same for audio in the channel order of Vorbis streams (front left, centre, front right,
// rear left, ...; more than 8 channels have no defined order and go to both sides).
void QzDownmixVorbisToStereo(int16_t* samples, int channels, long frames);

struct SwrContext;

// An Ogg Vorbis file read as 16-bit PCM in the layout of its first link: one or two channels
// as stored, more mixed down to stereo, at the first link's rate. Later links of a chained
// stream (one file made of several streams one after another) may have other channel counts
// and rates: their data is mixed to that layout and resampled to that rate. Reading a stream
// of one link in that layout goes straight to the caller's memory.
class QzVorbisReader {
public:
    QzVorbisReader() = default;
    ~QzVorbisReader();
    QzVorbisReader(const QzVorbisReader&) = delete;
    QzVorbisReader& operator=(const QzVorbisReader&) = delete;

    // False when the file cannot be opened or is not Ogg Vorbis, or its first link has no
    // channels or no rate.
    bool open(const char* path);
    int channels() const { return channels_; }
    int sampleRate() const { return rate_; }
    // Reads up to `frames` frames into `out`: the frames read, 0 at the end of the stream, or
    // a negative vorbisfile error for data that could not be decoded (reading may go on).
    long read(int16_t* out, long frames);
    bool rewind();
    // The length in frames at the first link's rate; -1 when the stream does not say.
    int64_t totalFrames();

private:
    long takePending(int16_t* out, long frames);
    // Mixes `frames` frames of `channels` channels at `rate` into the reader's layout and
    // appends them, resampled to the reader's rate, to the pending frames.
    void convert(const int16_t* in, long frames, int channels, int rate);
    void resample(const int16_t* in, long frames, int rate);

    OggVorbis_File vorbis_{};
    bool opened_ = false;
    int channels_ = 0;
    int rate_ = 0;
    std::vector<int16_t> scratch_;
    std::vector<int16_t> mixed_;
    std::vector<int16_t> pending_;  // converted frames not yet handed out, from pendingStart_
    size_t pendingStart_ = 0;
    SwrContext* resampler_ = nullptr;  // owned; made for the rate of resamplerRate_
    int resamplerRate_ = 0;
};

// An Ogg Vorbis stream of one or two channels as stored; streams with more channels come out
// mixed down to stereo. Null when the file is not readable as Ogg Vorbis.
std::unique_ptr<QzPCMStream> QzOpenVorbisStream(const char* path);

// Any format libsndfile reads, with its own channel count; floating-point data is taken with
// 1.0 as full scale, clipped beyond. Null when libsndfile cannot read the file.
std::unique_ptr<QzPCMStream> QzOpenSndfileStream(const char* path);

// True when `text` ends with `suffix`, compared byte for byte; false when the suffix is longer.
bool QzHasSuffix(const char* text, const char* suffix);

// libsndfile, else FFmpeg's libraries, with the file's own channel count. Null when neither
// reads the file; `error` (when not null) then says why, without the file name.
std::unique_ptr<QzPCMStream> QzOpenDecodedStream(const char* path, std::string* error = nullptr);

// Ogg Vorbis for names ending in ".ogg" (case-sensitive), QzOpenDecodedStream for every other
// name; streams of three or more channels come out mixed down to stereo. Null when the file
// cannot be read as sound; `error` (when not null) then says why.
std::unique_ptr<QzPCMStream> QzOpenPCMStream(const char* path, std::string* error = nullptr);

// Reads the file through QzOpenPCMStream to its end, keeping nothing: whether the music player
// could play all of it. False with *error set (without the file name) when it cannot.
bool QzDecodeWholeStream(const char* path, std::string* error);

#endif
