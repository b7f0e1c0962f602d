// Sound files read in order as 16-bit interleaved PCM: Ogg Vorbis through vorbisfile, every
// other format through libsndfile. Used by the whole-file readers and the music player.
#ifndef QZ_PCM_STREAM_H
#define QZ_PCM_STREAM_H

#include <cstdint>
#include <cstdio>
#include <memory>

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
};

// Opens `path` with vorbisfile, reading through stdio. False when the file cannot be opened
// or is not an Ogg Vorbis stream; the file is then closed again. On success the caller
// clears `vorbis` with ov_clear, which closes the file.
bool QzOpenVorbisFile(const char* path, OggVorbis_File* vorbis);

// Mixes `frames` frames of Vorbis-ordered audio with 3 to 8 channels down to stereo, in
// place: the first frames × 2 samples of `samples` then hold the stereo frames. Left
// channels go left, right channels right, centre channels to both at -3 dB and the
// low-frequency channel nowhere; each side is scaled so that it cannot clip.
void QzDownmixVorbisToStereo(int16_t* samples, int channels, long frames);

// An Ogg Vorbis stream of one or two channels as stored; streams with more channels come out
// mixed down to stereo. Null when the file is not readable as Ogg Vorbis.
std::unique_ptr<QzPCMStream> QzOpenVorbisStream(const char* path);

// Any format libsndfile reads, with its own channel count; floating-point data is taken with
// 1.0 as full scale, clipped beyond. Null when libsndfile cannot read the file.
std::unique_ptr<QzPCMStream> QzOpenSndfileStream(const char* path);

// True when `text` ends with `suffix`, compared byte for byte; false when the suffix is longer.
bool QzHasSuffix(const char* text, const char* suffix);

// Ogg Vorbis for names ending in ".ogg" (case-sensitive), libsndfile for every other name.
std::unique_ptr<QzPCMStream> QzOpenPCMStream(const char* path);

#endif
