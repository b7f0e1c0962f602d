// The platform services engine code calls by name, on the Linux platform layer.
#include "QzPlatformWrappers.h"

#include "QzDate.h"
#include "QzMusicManager.h"
#include "QzNotificationCenter.h"

float QzGetSystemTime() { return QzDate::getTimeAsFloat(); }

void QzGetClockTime(int32_t components[7]) { QzDate::getClockTimeComponent(components); }

void QzPlayAACFile(const char* path, int loop) {
    QzMusicManager::sharedMusicManager().playMusic(path, loop != 0);
}

void QzPauseAACFile() { QzMusicManager::sharedMusicManager().pauseMusic(); }

void QzStopAACFile() { QzMusicManager::sharedMusicManager().stopMusic(); }

void SetAACFileVolume(float volume) { QzMusicManager::sharedMusicManager().setVolume(volume); }

bool IsAACFilePlaying() { return QzMusicManager::sharedMusicManager().isPlaying(); }

void QzLogDebugStatement(const char* message) {
    QzNotificationCenter::defaultCenter().post("QzLogDebugStatementNotification", {{"debugStatement", message}});
}
