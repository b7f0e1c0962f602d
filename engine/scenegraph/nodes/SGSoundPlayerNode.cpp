// Sound player and listener nodes on the sound manager's OpenAL sources.
#include "nodes/SGSoundPlayerNode.h"

#include <AL/al.h>

#include "QzOpenALCheck.h"
#include "SGPortIDs.h"
#include "SoundManager.h"

SGSoundPlayerNode::SGSoundPlayerNode(SoundManager* soundManager) : soundManager(soundManager) {
    classFlags |= SGSoundPlayerNodeClass;
    addOutputPort(&playing, SGPortTypeBoolean);
    addInputPort(&sound, SGPortTypeSound);
    addInputPort(&x, SGPortTypeNumber);
    addInputPort(&y, SGPortTypeNumber);
    addInputPort(&dx, SGPortTypeNumber);
    addInputPort(&dy, SGPortTypeNumber);
    addInputPort(&sourceRelative, SGPortTypeBoolean);
    addInputPort(&volume, SGPortTypeNumber);
    addInputPort(&pitch, SGPortTypeNumber);
    addInputPort(&loop, SGPortTypeBoolean);
    addInputPort(&trigger, SGPortTypeBoolean);
    addInputPort(&stop, SGPortTypeBoolean);
    addInputPort(&pause, SGPortTypeBoolean);
    addInputPort(&resume, SGPortTypeBoolean);
    sourceRelative.value = true;
}

SGSoundPlayerNode::~SGSoundPlayerNode() {
    SoundManager* manager = liveManager();
    if (!manager || !source) return;
    source->owner = nullptr;
    source->finishedCallback = nullptr;
    // A one-shot sound plays out and comes back through the manager's update; a looping or
    // paused one would never stop by itself and would hold its source for ever.
    if (source->isLooping() || !source->isPlaying()) manager->stopSource(source);
}

SoundManager* SGSoundPlayerNode::liveManager() const {
    return SoundManager::isLive(soundManager) ? soundManager : nullptr;
}

QzAudioSource* SGSoundPlayerNode::reserveSourceIfNeeded() {
    if (source) return source;
    SoundManager* manager = liveManager();
    QzAudioSource* reserved = manager ? manager->reserveSource() : nullptr;
    if (!reserved) return nullptr;
    reserved->owner = this;
    reserved->finishedCallback = soundFinished;
    source = reserved;
    return source;
}

void SGSoundPlayerNode::soundFinished(QzAudioSource* source) {
    auto* node = static_cast<SGSoundPlayerNode*>(source->owner);
    if (!node) return;
    node->playing.value = false;
    node->source = nullptr;
    node->buffersQueued = false;
}

void SGSoundPlayerNode::start(QzAudioSource* reserved) {
    reserved->setLooping(loop.boolValue());
    if (!buffersQueued) {
        const SGSound queued = sound.soundValue();
        if (queued.count > 0) {
            reserved->queueBuffers(queued);
            buffersQueued = true;
        }
    }
    if (!playing.value) {
        reserved->setRelative(sourceRelative.boolValue());
        soundManager->playSource(reserved);
        playing.value = true;
    } else {
        soundManager->restartSource(reserved);
    }
}

void SGSoundPlayerNode::compute() {
    dirty = false;
    SoundManager* manager = liveManager();
    if (!manager) {
        // A deleted manager has taken its sources back through soundFinished.
        playing.value = false;
        return;
    }
    if (source) {
        if (pause.boolValue()) manager->pauseSource(source);
        if (resume.boolValue()) manager->playSource(source);
        if (stop.boolValue()) manager->stopSource(source);
    }
    if (trigger.boolValue()) {
        if (QzAudioSource* reserved = reserveSourceIfNeeded()) start(reserved);
    }
    if (playing.value && source) {
        source->setLocation(x.numberValue(), y.numberValue());
        source->setVelocity(dx.numberValue(), dy.numberValue());
        source->setVolume(volume.numberValue());
        source->setPitch(pitch.numberValue());
    }
}

SGPort* SGSoundPlayerNode::portForID(SGPortID id) {
    switch (id) {
    case SGPortPlaying: return &playing;
    case SGPortSound: return &sound;
    case SGPortX: return &x;
    case SGPortY: return &y;
    case SGPortDx: return &dx;
    case SGPortDy: return &dy;
    case SGPortSourceRelative: return &sourceRelative;
    case SGPortVolume: return &volume;
    case SGPortPitch: return &pitch;
    case SGPortLoop: return &loop;
    case SGPortTrigger: return &trigger;
    case SGPortStop: return &stop;
    case SGPortPause: return &pause;
    case SGPortResume: return &resume;
    default: return nullptr;
    }
}

SGSoundListenerNode::SGSoundListenerNode() {
    classFlags |= SGSoundListenerNodeClass;
    addInputPort(&x, SGPortTypeNumber);
    addInputPort(&y, SGPortTypeNumber);
    addInputPort(&gain, SGPortTypeNumber);
}

void SGSoundListenerNode::compute() {
    QzCheckALError("SGSoundListenerNode::compute");
    alListener3f(AL_POSITION, x.numberValue(), y.numberValue(), -50.0f);
    QzCheckALError("SGSoundListenerNode::compute: alListener3f");
    alListenerf(AL_GAIN, gain.numberValue());
    QzCheckALError("SGSoundListenerNode::compute: alListenerf");
}

SGPort* SGSoundListenerNode::portForID(SGPortID id) {
    switch (id) {
    case SGPortX: return &x;
    case SGPortY: return &y;
    case SGPortGain: return &gain;
    default: return nullptr;
    }
}
