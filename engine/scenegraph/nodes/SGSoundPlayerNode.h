// SGSoundPlayerNode: plays a sound on a source borrowed from the sound manager, following its
// position, velocity, volume and pitch inputs.
#ifndef SG_SOUND_PLAYER_NODE_H
#define SG_SOUND_PLAYER_NODE_H

#include "SGNode.h"

class QzAudioSource;
class SoundManager;

class SGSoundPlayerNode : public SGNode {
public:
    // The manager may be null (a scene made without one): the node then never plays.
    explicit SGSoundPlayerNode(SoundManager* soundManager);
    // Lets a one-shot sound it still plays play out (the manager takes the source back when it
    // stops); stops a looping or paused one and gives its source back at once.
    ~SGSoundPlayerNode() override;

    // Pause, resume and stop the held source, trigger (borrowing a source when it has none),
    // then keep the playing source in step with the inputs.
    void compute() override;
    SGPort* portForID(SGPortID id) override;
    // The node's source, borrowed now if it has none; null when all are lent out.
    QzAudioSource* reserveSourceIfNeeded();
    // The manager's callback when the source stops: the owner forgets it.
    static void soundFinished(QzAudioSource* source);
    // The source the node holds, or null.
    QzAudioSource* heldSource() const { return source; }

    SGBooleanPort playing;
    SGSoundPort sound;
    SGNumberPort x;
    SGNumberPort y;
    SGNumberPort dx;
    SGNumberPort dy;
    SGBooleanPort sourceRelative;
    SGNumberPort volume{1.0f};
    SGNumberPort pitch{1.0f};
    SGBooleanPort loop;
    SGBooleanPort trigger;
    SGBooleanPort stop;
    SGBooleanPort pause;
    SGBooleanPort resume;

private:
    // The manager, unless the script has deleted it since the node was made.
    SoundManager* liveManager() const;
    void start(QzAudioSource* source);

    SoundManager* soundManager;      // borrowed; may be null
    QzAudioSource* source = nullptr;  // borrowed from the manager while it plays for this node
    bool buffersQueued = false;
};

// SGSoundListenerNode: places the OpenAL listener at (x, y, -50) with the given gain.
class SGSoundListenerNode : public SGRenderNode {
public:
    SGSoundListenerNode();

    void compute() override;
    SGPort* portForID(SGPortID id) override;

    SGNumberPort x{240.0f};
    SGNumberPort y{160.0f};
    SGNumberPort gain{1.0f};
};

#endif
