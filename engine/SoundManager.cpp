// SoundManager: the shared OpenAL output and the pool of audio sources.
#include "SoundManager.h"

#include <cassert>
#include <vector>

#include <AL/alc.h>

#include "audio/QzAudioOutput.h"
#include "QzOpenALCheck.h"
#include "SGSoundDecoder.h"

namespace {

// Reports the pending OpenAL and context errors under one name.
void reportPendingErrors(const char* context) {
    QzCheckALError(context);
    QzCheckALCError(QzSharedAlDevice(), context);
}

void makeSharedContextCurrent(const char* context) {
    alcMakeContextCurrent(QzSharedAlContext());
    QzCheckALCError(QzSharedAlDevice(), context);
}

}  // namespace

namespace {

std::set<const SoundManager*>& liveManagers() {
    static std::set<const SoundManager*> managers;
    return managers;
}

}  // namespace

bool SoundManager::isLive(const SoundManager* manager) { return manager && liveManagers().count(manager) != 0; }

SoundManager::SoundManager() {
    liveManagers().insert(this);
    if (!QzOpenSharedAudioOutput("SoundManager::SoundManager")) return;
    makeSharedContextCurrent("SoundManager::SoundManager: alcMakeContextCurrent");
    QzCheckALError("SoundManager::SoundManager");
    for (int i = 0; i < kPoolSize; ++i) freeSources_.insert(new QzAudioSource);
}

SoundManager::~SoundManager() {
    liveManagers().erase(this);
    if (QzSharedAlContext()) {
        reportPendingErrors("SoundManager::~SoundManager");
        makeSharedContextCurrent("SoundManager::~SoundManager: alcMakeContextCurrent");
    }
    const std::vector<QzAudioSource*> playing(playingSources_.begin(), playingSources_.end());
    for (QzAudioSource* source : playing) stopSource(source);
    playingSources_.clear();
    // A borrower that reserved a source but never played it learns through its callback that
    // the source is gone, so that it does not keep a pointer to a deleted source.
    const std::vector<QzAudioSource*> reserved(reservedSources_.begin(), reservedSources_.end());
    for (QzAudioSource* source : reserved) {
        if (source->finishedCallback) source->finishedCallback(source);
    }
    for (QzAudioSource* source : reservedSources_) delete source;
    for (QzAudioSource* source : freeSources_) delete source;
    reservedSources_.clear();
    freeSources_.clear();
}

QzAudioSource* SoundManager::reserveSource() {
    QzCheckALError("SoundManager::reserveSource");
    if (freeSources_.empty()) return nullptr;
    QzAudioSource* source = *freeSources_.begin();
    freeSources_.erase(freeSources_.begin());
    reservedSources_.insert(source);
    source->setToDefault();
    return source;
}

void SoundManager::playSource(QzAudioSource* source) {
    assert(source != NULL);
    if (!source) return;
    playingSources_.insert(source);
    source->play();
}

void SoundManager::restartSource(QzAudioSource* source) {
    if (source) source->play();
}

void SoundManager::pauseSource(QzAudioSource* source) {
    assert(source != NULL);
    if (source) source->pause();
}

void SoundManager::stopSource(QzAudioSource* source) {
    assert(source != NULL);
    if (!source) return;
    source->stop();
    playingSources_.erase(source);
    recycleSource(source);
    if (source->finishedCallback) source->finishedCallback(source);
}

void SoundManager::recycleSource(QzAudioSource* source) {
    if (!source) return;
    source->unqueueBuffers();
    freeSources_.insert(source);
    reservedSources_.erase(source);
    // Sounds freed while this source still held their buffers can go now.
    SGSoundFreeRetired();
}

void SoundManager::update() {
    // The stopped sources are gathered first: a callback may start or stop other sources.
    std::vector<QzAudioSource*> stopped;
    for (QzAudioSource* source : playingSources_) {
        if (source->isStopped()) stopped.push_back(source);
    }
    for (QzAudioSource* source : stopped) {
        if (playingSources_.erase(source) == 0) continue;
        alSourcei(source->source(), AL_BUFFER, 0);
        recycleSource(source);
        if (source->finishedCallback) source->finishedCallback(source);
    }
}

void SoundManager::suspend() {
    if (!QzSharedAlContext()) return;
    reportPendingErrors("SoundManager::suspend");
    alcMakeContextCurrent(nullptr);
    QzCheckALCError(QzSharedAlDevice(), "SoundManager::suspend: alcMakeContextCurrent");
    alcSuspendContext(QzSharedAlContext());
    QzCheckALCError(QzSharedAlDevice(), "SoundManager::suspend: alcSuspendContext");
}

void SoundManager::resume() {
    if (!QzSharedAlContext()) return;
    reportPendingErrors("SoundManager::resume");
    makeSharedContextCurrent("SoundManager::resume: alcMakeContextCurrent");
    alcProcessContext(QzSharedAlContext());
    QzCheckALCError(QzSharedAlDevice(), "SoundManager::resume: alcProcessContext");
}

void SoundManager::makeCurrent() {
    if (!QzSharedAlContext()) return;
    reportPendingErrors("SoundManager::makeCurrent");
    makeSharedContextCurrent("SoundManager::makeCurrent: alcMakeContextCurrent");
}
