// Sound nodes and sound assets on the loopback output: trigger, pause, resume and stop, the
// pool of 32 sources, placement while playing, the listener, and sound loading through the
// asset manager (decoder failures, unloading, buffers kept while referenced).
#include <gtest/gtest.h>
#include <sndfile.h>

#include <array>
#include <cstdio>

#include "QzEngineAssetManager.h"
#include "SGScene.h"
#include "SGSoundDecoder.h"
#include "SoundManager.h"
#include "support/test_files.h"
#include "nodes/SGSoundLoaderNode.h"
#include "nodes/SGSoundPlayerNode.h"
#include "sound_files.h"

namespace {

constexpr int kRate = 44100;

class SoundNodes : public ::testing::Test {
protected:
    void SetUp() override {
        writeSndfile(folder.file("tone.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, kRate,
                     sineFrames(1, kRate, kRate / 10, 1000.0));
        std::FILE* text = std::fopen(folder.file("text.ogg").c_str(), "wb");
        std::fputs("not a sound", text);
        std::fclose(text);
    }

    // "tone" is the WAV tone, "broken" a text file named .ogg, anything else unknown.
    std::string resolve(const char* function, const std::string& name) {
        EXPECT_STREQ(function, "pathForSound");
        ++resolutions;
        if (name == "tone") return folder.file("tone.wav");
        if (name == "broken") return folder.file("text.ogg");
        return "";
    }

    SGSoundLoaderNode* loader(const std::string& name) {
        auto* node = static_cast<SGSoundLoaderNode*>(space.createNode(SGSoundLoaderNodeClass));
        node->name.setValue(name);
        return node;
    }

    SGSoundPlayerNode* player(bool looping) {
        auto* node = static_cast<SGSoundPlayerNode*>(space.createNode(SGSoundPlayerNodeClass));
        node->sound.setValue(&toneLoader->asset);
        node->loop.setValue(looping);
        return node;
    }

    // Raises the flag for one evaluation.
    static void pulse(SGSoundPlayerNode* node, SGBooleanPort& flag) {
        flag.setValue(true);
        node->update();
        flag.setValue(false);
    }

    static ALint sourceState(const SGSoundPlayerNode* node) { return node->heldSource()->state(); }

    LoopbackOutput& output = LoopbackOutput::shared();
    ScratchFolder folder;
    int resolutions = 0;
    SoundManager sounds;
    QzEngineAssetManager assets{[this](const char* f, const std::string& n) { return resolve(f, n); }};
    SGScene scene{&sounds, &assets};
    SGSpace& space = scene.defaultSpace;
    SGSoundLoaderNode* toneLoader = loader("tone");
};

TEST_F(SoundNodes, TriggerPauseResumeAndStop) {
    SGSoundPlayerNode* node = player(true);
    pulse(node, node->trigger);
    ASSERT_TRUE(node->playing.value);
    EXPECT_EQ(sourceState(node), AL_PLAYING);
    EXPECT_EQ(toneLoader->asset.value.count, 1);
    pulse(node, node->pause);
    EXPECT_EQ(sourceState(node), AL_PAUSED);
    pulse(node, node->resume);
    EXPECT_EQ(sourceState(node), AL_PLAYING);
    pulse(node, node->stop);
    EXPECT_FALSE(node->playing.value);
    EXPECT_EQ(node->heldSource(), nullptr);
    EXPECT_EQ(sounds.freeCount(), 32u);
    EXPECT_EQ(resolutions, 1) << "one decode for the loader";
}

TEST_F(SoundNodes, RemovedPlayerGivesItsSourceBackUnlessAOneShotSoundPlaysOut) {
    const struct {
        const char* name;
        bool looping, paused;
        size_t freeAtOnce;
    } cases[] = {
        {"looping", true, false, 32},
        {"paused one-shot", false, true, 32},
        {"playing one-shot", false, false, 31},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SGSoundPlayerNode* node = player(c.looping);
        pulse(node, node->trigger);
        if (c.paused) pulse(node, node->pause);
        const QzAudioSource* source = node->heldSource();
        space.removeNode(node);
        EXPECT_EQ(sounds.freeCount(), c.freeAtOnce);
        EXPECT_EQ(source->isPlaying(), c.freeAtOnce == 31) << "only the one-shot sound is still heard";
        output.render(kRate / 10 + 1024);
        sounds.update();
        EXPECT_EQ(sounds.freeCount(), 32u);
    }
}

TEST_F(SoundNodes, ThirtyThirdPlayerWaitsForAFreeSource) {
    std::vector<SGSoundPlayerNode*> players;
    for (int i = 0; i < 33; ++i) {
        players.push_back(player(true));
        pulse(players.back(), players.back()->trigger);
    }
    for (int i = 0; i < 32; ++i) EXPECT_TRUE(players[i]->playing.value) << i;
    EXPECT_FALSE(players[32]->playing.value);
    pulse(players[32], players[32]->trigger);
    EXPECT_FALSE(players[32]->playing.value) << "still none free";
    pulse(players[5], players[5]->stop);
    pulse(players[32], players[32]->trigger);
    EXPECT_TRUE(players[32]->playing.value);
}

TEST_F(SoundNodes, PlacementFollowsTheInputsWhilePlaying) {
    SGSoundPlayerNode* node = player(true);
    node->x.setValue(10.0f);
    pulse(node, node->trigger);
    node->x.setValue(30.0f);
    node->dy.setValue(-4.0f);
    node->volume.setValue(0.5f);
    node->update();
    std::array<ALfloat, 3> position{}, velocity{};
    alGetSource3f(node->heldSource()->source(), AL_POSITION, &position[0], &position[1], &position[2]);
    alGetSource3f(node->heldSource()->source(), AL_VELOCITY, &velocity[0], &velocity[1], &velocity[2]);
    ALfloat gain = 0;
    alGetSourcef(node->heldSource()->source(), AL_GAIN, &gain);
    EXPECT_EQ(position, (std::array<ALfloat, 3>{30.0f, 0.0f, 0.0f}));
    EXPECT_EQ(velocity, (std::array<ALfloat, 3>{0.0f, -4.0f, 0.0f}));
    EXPECT_FLOAT_EQ(gain, 0.5f);
}

TEST_F(SoundNodes, ListenerStandsAtZMinusFifty) {
    auto* listener = static_cast<SGSoundListenerNode*>(space.createNode(SGSoundListenerNodeClass));
    listener->x.setValue(100.0f);
    listener->gain.setValue(0.25f);
    scene.render();
    std::array<ALfloat, 3> position{};
    alGetListener3f(AL_POSITION, &position[0], &position[1], &position[2]);
    ALfloat gain = 0;
    alGetListenerf(AL_GAIN, &gain);
    EXPECT_EQ(position, (std::array<ALfloat, 3>{100.0f, 160.0f, -50.0f}));
    EXPECT_FLOAT_EQ(gain, 0.25f);
}

TEST_F(SoundNodes, BrokenSoundFailsTheLoadAndLeavesTheManagerAsItWas) {
    SGSoundLoaderNode* broken = loader("broken");
    EXPECT_THROW(broken->asset.soundValue(), SGSoundLoadError);
    EXPECT_THROW(assets.loadSoundForName("broken"), SGSoundLoadError);
    EXPECT_EQ(assets.getSounds().count("broken"), 0u);
    EXPECT_FALSE(assets.isBusy());
    SGSoundLoaderNode* unknown = loader("unknown");
    EXPECT_EQ(unknown->asset.soundValue().count, 0);
    unknown->name.setValue(std::string());
    EXPECT_EQ(unknown->asset.soundValue().count, 0) << "an empty name keeps the output";
}

TEST_F(SoundNodes, BuffersOfAReferencedSoundLiveUntilNoSourcePlaysThem) {
    SGSoundPlayerNode* node = player(true);
    pulse(node, node->trigger);
    const ALuint buffer = toneLoader->asset.value.buffers[0];
    testing::internal::CaptureStdout();
    assets.unloadSound("tone");
    EXPECT_NE(testing::internal::GetCapturedStdout().find("valid reference count"), std::string::npos);
    EXPECT_TRUE(alIsBuffer(buffer)) << "still queued on the playing source";
    EXPECT_EQ(toneLoader->asset.soundValue().count, 1) << "the loader decodes it again";
    EXPECT_EQ(resolutions, 2);
    pulse(node, node->stop);
    assets.unloadSound("nothing");
    EXPECT_FALSE(alIsBuffer(buffer)) << "deleted once no source holds it";
}

TEST_F(SoundNodes, UnreferencedSoundsAreDeletedOnceNoSourcePlaysThem) {
    for (bool playing : {false, true}) {
        SCOPED_TRACE(playing ? "a one-shot sound still playing" : "silent");
        toneLoader->name.setValue(std::string("tone"));
        const ALuint buffer = toneLoader->asset.soundValue().buffers[0];
        if (playing) {
            SGSoundPlayerNode* node = player(false);
            pulse(node, node->trigger);
        }
        toneLoader->name.setValue(std::string("unknown"));
        toneLoader->asset.soundValue();
        testing::internal::CaptureStderr();
        assets.cleanupUnusedSounds({});
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(alIsBuffer(buffer) == AL_TRUE, playing);
        output.render(kRate / 10 + 1024);
        sounds.update();
        EXPECT_FALSE(alIsBuffer(buffer));
    }
}

}  // namespace
