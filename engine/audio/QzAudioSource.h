// QzAudioSource: one OpenAL source of the sound manager's pool.
#ifndef QZ_AUDIO_SOURCE_H
#define QZ_AUDIO_SOURCE_H

#include <AL/al.h>

#include "SGSound.h"

// Wraps one OpenAL source, generated in the current context at construction and deleted at
// destruction. Every operation checks the OpenAL error state afterwards and reports an error
// on standard error; none is fatal. Sources belong to a SoundManager, which lends them out.
class QzAudioSource {
public:
    using FinishedCallback = void (*)(QzAudioSource* source);

    QzAudioSource();
    ~QzAudioSource();
    QzAudioSource(const QzAudioSource&) = delete;
    QzAudioSource& operator=(const QzAudioSource&) = delete;

    ALint state() const;
    bool isPlaying() const;
    bool isStopped() const;
    // Whether the source plays on by itself for ever (AL_LOOPING set).
    bool isLooping() const;

    void play();
    void pause();
    void rewind();
    // Stops and detaches the buffers.
    void stop();
    // Position, velocity and direction to zero, roll-off 1 and reference distance 50; gain,
    // pitch, looping and relative mode stay as they were.
    void setToDefault();
    void setLocation(float x, float y);
    void setVelocity(float x, float y);
    void setVolume(float volume);
    void setPitch(float pitch);
    void setLooping(bool looping);
    void setRelative(bool relative);
    // Queues the sound's buffers; the sound keeps owning them.
    void queueBuffers(const SGSound& sound);
    // Unqueues the buffers that have been played; the others stay queued.
    void unqueueBuffers();

    ALuint source() const { return source_; }

    // Borrowed: set by the borrower (a sound player node) to find itself again in the
    // callback; null when the source is not lent out.
    void* owner = nullptr;
    // Called by the manager when the source stops (finished, stopped or taken back); null when
    // nobody listens.
    FinishedCallback finishedCallback = nullptr;

private:
    ALuint source_ = 0;
};

#endif
