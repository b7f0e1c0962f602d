// SoundManager: the OpenAL output and its pool of 32 audio sources, and the native interface
// through which the host application reaches the script's sound manager.
#ifndef SOUND_MANAGER_H
#define SOUND_MANAGER_H

#include <cstddef>
#include <set>

#include "audio/QzAudioSource.h"

struct lua_State;

// Lends out the sources of a fixed pool. A borrower reserves a source, fills and plays it
// through the manager, and gets it back into the pool by stopping or recycling it, or by
// `update` once it has stopped by itself. Runs on the thread that runs the scripts; no locks.
//
// Without a sound device the pool is empty: reservations return null and everything else
// does nothing, so the game runs silently.
class SoundManager {
public:
    static constexpr int kPoolSize = 32;

    // Opens the shared device and context if needed, makes the context current, fills the pool.
    SoundManager();
    // Stops the playing sources (their callbacks run), hands the other reserved sources back
    // to their borrowers through their callbacks, and deletes every source. The shared device
    // and context stay open.
    ~SoundManager();
    SoundManager(const SoundManager&) = delete;
    SoundManager& operator=(const SoundManager&) = delete;

    // A free source reset to the default placement (see QzAudioSource::setToDefault), now
    // reserved; null when all are lent out. The source stays owned by the manager.
    QzAudioSource* reserveSource();
    void playSource(QzAudioSource* source);
    // Plays again without touching the sets.
    void restartSource(QzAudioSource* source);
    void pauseSource(QzAudioSource* source);
    // Stops, detaches the buffers, returns the source to the pool and runs its callback.
    void stopSource(QzAudioSource* source);
    // Unqueues the played buffers and returns the source to the pool, without a callback.
    void recycleSource(QzAudioSource* source);
    // Returns every playing source that has stopped to the pool and runs its callback once.
    // Callbacks may reserve, play and stop sources.
    void update();

    void suspend();
    void resume();
    void makeCurrent();

    // Whether the pointer is a manager that has not been destroyed: scenes and sound player
    // nodes borrow their manager, and a script may delete it while they live.
    static bool isLive(const SoundManager* manager);

    // For tests and diagnostics: the sizes of the three sets.
    size_t freeCount() const { return freeSources_.size(); }
    size_t reservedCount() const { return reservedSources_.size(); }
    size_t playingCount() const { return playingSources_.size(); }

private:
    // Each set holds sources the manager owns; a source is in exactly one of free and
    // reserved, and a playing source is also reserved (or free after a recycle).
    std::set<QzAudioSource*> freeSources_;
    std::set<QzAudioSource*> reservedSources_;
    std::set<QzAudioSource*> playingSources_;
};

// The script's shared sound manager as the host application sees it: the userdata block held
// by the global "sharedSoundManager" (null when that is not a sound manager). Leaves the Lua
// stack as it was: the host calls this every frame.
void* SoundManager_FromLuaState(lua_State* L);
// `soundManager` must not be null. A manager the script has already deleted is left alone.
void SoundManager_Suspend(void* soundManager);
void SoundManager_Resume(void* soundManager);
// Does nothing when `soundManager` is null or its manager was deleted.
void SoundManager_MakeCurrent(void* soundManager);
// How many of the pool's sources are playing; 0 when `soundManager` is null or its manager
// was deleted.
size_t SoundManager_PlayingCount(void* soundManager);

// The manager of an optional script argument: none for nil, the manager of a sound-manager
// userdata that was not deleted; raises a script error naming the function for anything else.
SoundManager* QzOptSoundManager(lua_State* L, int index, const char* function);

// Opens the script library `soundManager` and the metatable "SoundManager.MT".
int luaopen_soundManager(lua_State* L);

#endif
