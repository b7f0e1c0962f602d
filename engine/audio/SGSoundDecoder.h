// Decoding a sound file into an SGSound that owns one OpenAL buffer holding the whole sound.
#ifndef SG_SOUND_DECODER_H
#define SG_SOUND_DECODER_H

#include <stdexcept>

#include "SGSound.h"

// The sound file could not be decoded: it is missing or unreadable, not in a format the
// decoder for its name takes, has three or more channels where the reader takes at most two,
// or its data cannot be read. The message names the file and the reason. Scripts see it
// only as a Lua error, through QzGuarded.
class SGSoundLoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Decodes the file at `path` into `sound`, chosen by the name's ending (byte for byte): ".ogg"
// through vorbisfile (mono or stereo 16-bit; more channels are mixed down to stereo), ".caf"
// holding linear PCM as stored (made little-endian), everything else (and compressed ".caf") as
// 16-bit mono at the file's own sample rate. `sound` is first set to SGSoundNull; on success it
// owns one buffer name in an array allocated with new[], to be released with SGSoundFree. A file
// that is read but cannot become a buffer (unreadable ".caf" data, a ".caf" layout OpenAL does not
// take, reported on standard error with the file's name; no sound device) leaves it without a
// buffer; playing such a sound plays nothing. Returns true, also when OpenAL refused the data
// (reported on standard error); throws SGSoundLoadError otherwise. Buffers are made in the current
// OpenAL context, or in the shared output when none is current (opening it if need be). Runs on the
// interpreter's thread.
bool SGSoundLoadFromFile(SGSound* sound, const char* path);

// Deletes the sound's buffers and frees the array; a sound without buffers deletes nothing.
// Leaves `sound` as SGSoundNull. The buffers must not be queued on any source: OpenAL then
// refuses to delete them (reported on standard error) and their names are lost.
void SGSoundFree(SGSound* sound);

// Lets go of the sound's buffers, which may still be queued on a source that plays them out:
// they are deleted at once when OpenAL allows it, otherwise retired and deleted by a later
// SGSoundFreeRetired, once no source holds them any more. Leaves `sound` as SGSoundNull.
void SGSoundRelease(SGSound* sound);

// Deletes the buffers of retired sounds that no source holds any more. Cheap when there are
// none: the sound manager calls it whenever a source gives its buffers back.
void SGSoundFreeRetired();

#endif
