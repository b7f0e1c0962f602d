// Tests of the sound manager and its sources on the loopback output: the pool, finished
// sources coming back, and what is heard (length, silence after stop, panning, volume).
#include <gtest/gtest.h>
#include <lauxlib.h>
#include <lualib.h>
#include <sndfile.h>

#include "QzAudioOutput.h"
#include "SGSoundDecoder.h"
#include "SoundManager.h"
#include "engine/test_files.h"
#include "sound_files.h"

namespace {

constexpr int kRate = 44100;

class SoundManagerTest : public ::testing::Test {
protected:
    void SetUp() override { output = &LoopbackOutput::shared(); }
    void TearDown() override {
        for (SGSound& sound : sounds) SGSoundFree(&sound);
    }

    // A mono tone of `frames` frames, decoded from a WAV file (or an Ogg one).
    SGSound tone(long frames, bool ogg = false) {
        const std::string path = folder.file("tone" + std::to_string(sounds.size()) + (ogg ? ".ogg" : ".wav"));
        const auto samples = sineFrames(1, kRate, frames, 1000.0);
        if (ogg) writeOgg(path, 1, kRate, samples);
        else writeSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, kRate, samples);
        sounds.emplace_back();
        SGSoundLoadFromFile(&sounds.back(), path.c_str());
        return sounds.back();
    }

    // Reserves a source, queues the sound on it and plays it through the manager.
    QzAudioSource* play(SoundManager& manager, const SGSound& sound) {
        QzAudioSource* source = manager.reserveSource();
        source->queueBuffers(sound);
        manager.playSource(source);
        return source;
    }

    LoopbackOutput* output = nullptr;
    ScratchFolder folder;
    std::vector<SGSound> sounds;
};

int finishedCalls = 0;
void countFinished(QzAudioSource*) { ++finishedCalls; }

TEST_F(SoundManagerTest, PoolLendsThirtyTwoSourcesThenNull) {
    SoundManager manager;
    EXPECT_EQ(manager.freeCount(), 32u);
    for (int i = 0; i < 32; ++i) EXPECT_NE(manager.reserveSource(), nullptr);
    EXPECT_EQ(manager.reserveSource(), nullptr);
    EXPECT_EQ(manager.reservedCount(), 32u);
}

TEST_F(SoundManagerTest, FinishedSourceComesBackOnceWithOneCallback) {
    SoundManager manager;
    finishedCalls = 0;
    QzAudioSource* source = play(manager, tone(441));
    source->finishedCallback = countFinished;
    manager.update();
    EXPECT_EQ(finishedCalls, 0);
    EXPECT_EQ(manager.playingCount(), 1u);
    output->render(2048);
    manager.update();
    manager.update();
    EXPECT_EQ(finishedCalls, 1);
    EXPECT_EQ(manager.freeCount(), 32u);
    EXPECT_EQ(manager.playingCount(), 0u);
}

TEST_F(SoundManagerTest, StopSourceDetachesTheBufferAndRunsTheCallback) {
    SoundManager manager;
    finishedCalls = 0;
    QzAudioSource* source = play(manager, tone(kRate));
    source->finishedCallback = countFinished;
    output->render(256);
    manager.stopSource(source);
    ALint buffer = -1;
    alGetSourcei(source->source(), AL_BUFFER, &buffer);
    EXPECT_EQ(buffer, 0);
    EXPECT_EQ(finishedCalls, 1);
    EXPECT_EQ(manager.freeCount(), 32u);
}

TEST_F(SoundManagerTest, DestroyingTheManagerTellsEveryBorrower) {
    finishedCalls = 0;
    {
        SoundManager manager;
        play(manager, tone(kRate))->finishedCallback = countFinished;
        manager.reserveSource()->finishedCallback = countFinished;
    }
    EXPECT_EQ(finishedCalls, 2);
}

TEST_F(SoundManagerTest, SetToDefaultKeepsTheGain) {
    SoundManager manager;
    QzAudioSource* source = manager.reserveSource();
    source->setVolume(0.5f);
    source->setLocation(3, 4);
    source->setToDefault();
    ALfloat gain = 0, position[3] = {1, 1, 1}, reference = 0;
    alGetSourcef(source->source(), AL_GAIN, &gain);
    alGetSourcefv(source->source(), AL_POSITION, position);
    alGetSourcef(source->source(), AL_REFERENCE_DISTANCE, &reference);
    EXPECT_FLOAT_EQ(gain, 0.5f);
    EXPECT_EQ(position[0] + position[1] + position[2], 0.0f);
    EXPECT_FLOAT_EQ(reference, 50.0f);
}

TEST_F(SoundManagerTest, SecondManagerReusesTheSharedOutput) {
    SoundManager first;
    ALCdevice* device = QzSharedAlDevice();
    SoundManager second;
    EXPECT_EQ(QzSharedAlDevice(), device);
    EXPECT_EQ(QzSharedAlContext(), output->context());
    EXPECT_EQ(second.freeCount(), 32u);
}

TEST_F(SoundManagerTest, PlayedSoundIsHeardForItsLengthAndStoppedSoundFallsSilent) {
    SoundManager manager;
    for (bool ogg : {false, true}) {
        SCOPED_TRACE(ogg ? "Ogg" : "WAV");
        play(manager, tone(4410, ogg));
        const auto mix = output->render(8820);
        EXPECT_NEAR(lastAudibleFrame(mix), 4410, 64);  // the mixer's filters delay the end slightly
        EXPECT_GT(peak(mix), 3000);
    }

    QzAudioSource* source = play(manager, tone(kRate));
    EXPECT_GT(peak(output->render(1024)), 3000);
    manager.stopSource(source);
    output->render(256);  // the mixer may fade the voice out over a few frames
    EXPECT_LE(peak(output->render(1024)), kDitherLevel);
}

TEST_F(SoundManagerTest, PositionPansAndVolumeScales) {
    SoundManager manager;
    const SGSound sound = tone(kRate);
    const auto heard = [&](float x, float volume) {
        QzAudioSource* source = manager.reserveSource();
        source->setLocation(x, 0);
        source->setVolume(volume);
        source->queueBuffers(sound);
        manager.playSource(source);
        const auto mix = output->render(2048);
        manager.stopSource(source);
        output->render(512);
        return mix;
    };
    const auto right = heard(200, 1), left = heard(-200, 1);
    EXPECT_GT(peak(right, 1), 2 * peak(right, 0));
    EXPECT_GT(peak(left, 0), 2 * peak(left, 1));
    const double ratio = double(peak(heard(0, 0.5f))) / peak(heard(0, 1));
    EXPECT_NEAR(ratio, 0.5, 0.05);
}

TEST_F(SoundManagerTest, HostInterfaceFindsTheScriptsManagerAndLeavesTheStackAlone) {
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    lua_pushcfunction(L, luaopen_soundManager);
    lua_call(L, 0, 0);
    luaL_dostring(L, "sharedSoundManager = io.stdout");
    EXPECT_EQ(SoundManager_FromLuaState(L), nullptr);
    luaL_dostring(L, "sharedSoundManager = soundManager.new()");
    void* block = SoundManager_FromLuaState(L);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(lua_gettop(L), 0);
    SoundManager_Suspend(block);
    EXPECT_EQ(alcGetCurrentContext(), nullptr);
    SoundManager_Resume(block);
    EXPECT_EQ(alcGetCurrentContext(), output->context());
    luaL_dostring(L, "sharedSoundManager:delete()");
    SoundManager_Suspend(block);  // a deleted manager is left alone
    EXPECT_EQ(alcGetCurrentContext(), output->context());
    lua_close(L);
}

}  // namespace
