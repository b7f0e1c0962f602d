// QzAudioSource: one OpenAL source with an error check after every operation.
#include "QzAudioSource.h"

#include <vector>

#include "QzOpenALCheck.h"

QzAudioSource::QzAudioSource() {
    alGenSources(1, &source_);
    QzCheckALError("QzAudioSource::QzAudioSource : alGenSources");
}

QzAudioSource::~QzAudioSource() {
    owner = nullptr;
    alDeleteSources(1, &source_);
    QzCheckALError("QzAudioSource::~QzAudioSource : alDeleteSources");
}

ALint QzAudioSource::state() const {
    ALint value = 0;
    alGetSourcei(source_, AL_SOURCE_STATE, &value);
    return value;
}

bool QzAudioSource::isPlaying() const { return state() == AL_PLAYING; }
bool QzAudioSource::isStopped() const { return state() == AL_STOPPED; }

bool QzAudioSource::isLooping() const {
    ALint value = AL_FALSE;
    alGetSourcei(source_, AL_LOOPING, &value);
    return value == AL_TRUE;
}

void QzAudioSource::play() {
    alSourcePlay(source_);
    QzCheckALError("QzAudioSource::play : alSourcePlay");
}

void QzAudioSource::pause() {
    alSourcePause(source_);
    QzCheckALError("QzAudioSource::pause : alSourcePause");
}

void QzAudioSource::rewind() {
    alSourceRewind(source_);
    QzCheckALError("QzAudioSource::rewind : alSourceRewind");
}

void QzAudioSource::stop() {
    alSourceStop(source_);
    QzCheckALError("QzAudioSource::stop : alSourceStop");
    alSourcei(source_, AL_BUFFER, 0);
    QzCheckALError("QzAudioSource::stop : alSourcei (AL_BUFFER)");
}

void QzAudioSource::setToDefault() {
    alSource3f(source_, AL_POSITION, 0, 0, 0);
    alSource3f(source_, AL_VELOCITY, 0, 0, 0);
    alSource3f(source_, AL_DIRECTION, 0, 0, 0);
    alSourcef(source_, AL_ROLLOFF_FACTOR, 1.0f);
    alSourcef(source_, AL_REFERENCE_DISTANCE, 50.0f);
    QzCheckALError("QzAudioSource::setToDefault: alSource[3]f");
}

void QzAudioSource::setLocation(float x, float y) {
    alSource3f(source_, AL_POSITION, x, y, 0);
    QzCheckALError("QzAudioSource::setLocation: alSource3f");
}

void QzAudioSource::setVelocity(float x, float y) {
    alSource3f(source_, AL_VELOCITY, x, y, 0);
    QzCheckALError("QzAudioSource::setVelocity: alSource3f");
}

void QzAudioSource::setVolume(float volume) {
    alSourcef(source_, AL_GAIN, volume);
    QzCheckALError("QzAudioSource::setVolume: alSourcef");
}

void QzAudioSource::setPitch(float pitch) {
    alSourcef(source_, AL_PITCH, pitch);
    QzCheckALError("QzAudioSource::setPitch: alSourcef");
}

void QzAudioSource::setLooping(bool looping) {
    alSourcei(source_, AL_LOOPING, looping ? 1 : 0);
    QzCheckALError("QzAudioSource::setLooping: alSourcei (AL_LOOPING)");
}

void QzAudioSource::setRelative(bool relative) {
    alSourcei(source_, AL_SOURCE_RELATIVE, relative ? 1 : 0);
    QzCheckALError("QzAudioSource::setRelative: alSourcei (AL_SOURCE_RELATIVE)");
}

void QzAudioSource::queueBuffers(const SGSound& sound) {
    alSourceQueueBuffers(source_, sound.count, sound.buffers);
    QzCheckALError("QzAudioSource::queueBuffers: alSourceQueueBuffers");
}

void QzAudioSource::unqueueBuffers() {
    ALint processed = 0;
    alGetSourcei(source_, AL_BUFFERS_PROCESSED, &processed);
    if (processed <= 0) return;
    std::vector<ALuint> scratch(processed);
    alSourceUnqueueBuffers(source_, processed, scratch.data());
    QzCheckALError("QzAudioSource::unqueueBuffers: alSourceUnqueueBuffers");
}
