// Tests of the sound decoders on files made here: formats, channels, lengths, the Ogg chunk
// boundary, and bad input of every kind failing cleanly.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <sndfile.h>

#include "QzPCMStream.h"
#include "QzSoundFile.h"
#include "SGSoundDecoder.h"
#include "support/test_files.h"
#include "sound_files.h"

namespace {

class Decoder : public ::testing::Test {
protected:
    void SetUp() override { LoopbackOutput::shared(); }
    void TearDown() override { SGSoundFree(&sound); }

    BufferFacts load(const std::string& path) {
        SGSoundLoadFromFile(&sound, path.c_str());
        EXPECT_EQ(sound.count, 1);
        return sound.count == 1 ? bufferFacts(sound.buffers[0]) : BufferFacts{};
    }

    ScratchFolder folder;
    SGSound sound = SGSoundNull;
};

constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

TEST_F(Decoder, EachReaderGivesOneBufferOfItsFormat) {
    const struct {
        const char* name;
        int channels, rate;
        long frames;
        int sndfileFormat;  // 0: Ogg Vorbis
        BufferFacts expected;
    } cases[] = {
        {"mono.ogg", 1, 22050, 10000, 0, {20000, 16, 1, 22050}},
        {"stereo.ogg", 2, 44100, 30000, 0, {120000, 16, 2, 44100}},
        {"exactly-one-chunk.ogg", 1, 44100, 65536, 0, {131072, 16, 1, 44100}},
        {"one-sample-past-a-chunk.ogg", 1, 44100, 65537, 0, {131074, 16, 1, 44100}},
        {"empty.ogg", 2, 44100, 0, 0, {0, 16, 2, 44100}},
        {"six-channels-mixed-to-stereo.ogg", 6, 48000, 5000, 0, {20000, 16, 2, 48000}},
        // 12-byte frames do not fill a chunk exactly: each chunk ends on a whole frame.
        {"six-channels-over-several-chunks.ogg", 6, 48000, 30000, 0, {120000, 16, 2, 48000}},
        {"capitals-go-to-the-other-reader.OGG", 2, 44100, 3000, SF_FORMAT_OGG | SF_FORMAT_VORBIS, {6000, 16, 1, 44100}},
        {"stereo-to-mono.wav", 2, 32000, 3000, kWav16, {6000, 16, 1, 32000}},
        {"mono.flac", 1, 48000, 4000, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, {8000, 16, 1, 48000}},
        {"stereo-as-stored.caf", 2, 44100, 1000, SF_FORMAT_CAF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE, {4000, 16, 2, 44100}},
        {"eight-bit.caf", 1, 8000, 1000, SF_FORMAT_CAF | SF_FORMAT_PCM_S8, {1000, 8, 1, 8000}},
        {"compressed-caf-to-mono.caf", 2, 8000, 1000, SF_FORMAT_CAF | SF_FORMAT_ULAW, {2000, 16, 1, 8000}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder.file(c.name);
        const auto samples = sineFrames(c.channels, c.rate, c.frames);
        if (c.sndfileFormat == 0) writeOgg(path, c.channels, c.rate, samples);
        else writeSndfile(path, c.sndfileFormat, c.channels, c.rate, samples);
        const BufferFacts facts = load(path);
        EXPECT_EQ(facts.size, c.expected.size);
        EXPECT_EQ(facts.bits, c.expected.bits);
        EXPECT_EQ(facts.channels, c.expected.channels);
        EXPECT_EQ(facts.frequency, c.expected.frequency);
        SGSoundFree(&sound);
        EXPECT_EQ(sound.count, 0);
    }
}

TEST_F(Decoder, ChainedOggLinksComeOutInTheFirstLinksLayoutAndRate) {
    const struct {
        const char* name;
        int firstChannels, firstRate, secondChannels, secondRate;
        long expectedFrames;  // 10000 frames of the first link, 0.25 s of the second
    } cases[] = {
        {"mono-then-stereo.ogg", 1, 44100, 2, 44100, 10000 + 11025},
        {"stereo-then-mono-at-half-rate.ogg", 2, 44100, 1, 22050, 10000 + 11025},
        {"stereo-then-six-channels.ogg", 2, 22050, 6, 48000, 10000 + 5513},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder.file(c.name);
        writeOgg(path, c.firstChannels, c.firstRate, sineFrames(c.firstChannels, c.firstRate, 10000));
        writeOgg(path, c.secondChannels, c.secondRate, sineFrames(c.secondChannels, c.secondRate, c.secondRate / 4), true);
        const BufferFacts facts = load(path);
        EXPECT_EQ(facts.channels, std::min(c.firstChannels, 2));
        EXPECT_EQ(facts.frequency, c.firstRate);
        EXPECT_NEAR(facts.size / (2 * facts.channels), c.expectedFrames, 64);
        SGSoundFree(&sound);

        // Streamed music reads the same frames.
        auto stream = QzOpenPCMStream(path.c_str());
        ASSERT_NE(stream, nullptr);
        std::vector<int16_t> block(4096 * 2);
        long frames = 0;
        for (long got; (got = stream->read(block.data(), 4096)) > 0;) {
            frames += got;
            EXPECT_LT(*std::max_element(block.begin(), block.begin() + got * stream->channels()), 24000) << "noise";
        }
        EXPECT_NEAR(frames, c.expectedFrames, 64);
    }
}

TEST_F(Decoder, CompressedFilesLibsndfileCannotReadDecodeThroughFFmpeg) {
    const struct {
        const char* name;
        const char* encoder;
        int channels, rate;
    } cases[] = {
        {"stereo.m4a", "aac", 2, 44100},
        {"mono.m4a", "aac", 1, 22050},
        {"ima4.caf", "adpcm_ima_qt", 2, 44100},
        {"alac.caf", "alac", 1, 32000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder.file(c.name);
        writeEncoded(path, c.encoder, c.channels, c.rate, sineFrames(c.channels, c.rate, c.rate / 2));
        const BufferFacts facts = load(path);
        EXPECT_EQ(facts.bits, 16);
        EXPECT_EQ(facts.channels, 1);
        EXPECT_EQ(facts.frequency, c.rate);
        EXPECT_NEAR(facts.size / 2, c.rate / 2, 2048);
        SGSoundFree(&sound);

        auto stream = QzOpenPCMStream(path.c_str());
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(stream->channels(), c.channels);
        std::vector<int16_t> block(4096 * 2);
        long frames = 0;
        int loudest = 0;
        for (long got; (got = stream->read(block.data(), 4096)) > 0; frames += got) {
            for (long i = 0; i < got * c.channels; ++i) loudest = std::max(loudest, std::abs(int(block[i])));
        }
        EXPECT_NEAR(frames, c.rate / 2, 2048);
        EXPECT_GT(loudest, 12000) << "the tone at its own level";
        EXPECT_LT(loudest, 25000);
    }
}

TEST_F(Decoder, SoundsDecodeIntoTheSharedOutputWhenNoContextIsCurrent) {
    const std::string path = folder.file("early.wav");
    writeSndfile(path, kWav16, 1, 8000, sineFrames(1, 8000, 100));
    alcMakeContextCurrent(nullptr);
    SGSoundLoadFromFile(&sound, path.c_str());
    alcMakeContextCurrent(LoopbackOutput::shared().context());
    ASSERT_EQ(sound.count, 1);
    EXPECT_EQ(bufferFacts(sound.buffers[0]).size, 200);
}

TEST_F(Decoder, LinearPCMCafIsMadeLittleEndianAndARefusedLayoutIsReportedByName) {
    const struct {
        const char* name;
        int format;
        int count;  // buffers
    } cases[] = {
        {"big-endian.caf", SF_FORMAT_CAF | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG, 1},
        {"twenty-four-bits.caf", SF_FORMAT_CAF | SF_FORMAT_PCM_24 | SF_ENDIAN_LITTLE, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder.file(c.name);
        writeSndfile(path, c.format, 1, 8000, {1000, -2, 3});
        testing::internal::CaptureStderr();
        EXPECT_TRUE(SGSoundLoadFromFile(&sound, path.c_str()));
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(sound.count, c.count);
        EXPECT_EQ(log.find("the sound \"" + path + "\" stays silent") != std::string::npos, c.count == 0) << log;
        SGSoundFree(&sound);
    }
    QzPCMData data;
    ASSERT_EQ(QzReadCAFLinearPCM(folder.file("big-endian.caf").c_str(), &data), QzSoundFileStatus::ok);
    EXPECT_EQ(data.bytes, (std::vector<uint8_t>{0xe8, 0x03, 0xfe, 0xff, 0x03, 0x00}));
}

TEST(SoundFile, EightBitCafSamplesComeOutUnsignedAsOpenALTakesThem) {
    ScratchFolder folder;
    const std::string path = folder.file("s8.caf");
    writeSndfile(path, SF_FORMAT_CAF | SF_FORMAT_PCM_S8, 1, 8000, std::vector<int16_t>(10, 0));
    QzPCMData data;
    ASSERT_EQ(QzReadCAFLinearPCM(path.c_str(), &data), QzSoundFileStatus::ok);
    EXPECT_EQ(data.bytes, std::vector<uint8_t>(10, 128));
}

TEST(SoundFile, ManyWideChannelsReserveNoMoreThanTheFileHolds) {
    ScratchFolder folder;
    const std::string path = folder.file("wide.caf");
    // 1024 channels of 64-bit samples make 8 KB frames; two frames of data are 16 KB.
    writeSndfile(path, SF_FORMAT_CAF | SF_FORMAT_DOUBLE | SF_ENDIAN_LITTLE, 1024, 8000,
                 std::vector<int16_t>(2 * 1024, 0));
    QzPCMData data;
    ASSERT_EQ(QzReadCAFLinearPCM(path.c_str(), &data), QzSoundFileStatus::ok);
    EXPECT_EQ(data.bytes.size(), 16384u);
    EXPECT_LE(data.bytes.capacity(), 1u << 20) << "the read reserved room for thousands of frames";
}

TEST(SoundFile, VorbisDownmixSendsEachChannelToItsSide) {
    // Three channels in Vorbis order: left, centre, right; then six with the LFE last.
    int16_t three[] = {1000, 1000, 0};
    QzDownmixVorbisToStereo(three, 3, 1);
    EXPECT_EQ(three[0], 1000);                           // (1000 + 0.707 × 1000) / 1.707
    EXPECT_EQ(three[1], 414);                            // 0.707 × 1000 / 1.707
    int16_t six[] = {0, 0, 0, 0, 0, 32767};
    QzDownmixVorbisToStereo(six, 6, 1);
    EXPECT_EQ(six[0] + six[1], 0);
}

TEST(SoundFile, MonoMixOfStereoIsTheAverageOfBothChannels) {
    ScratchFolder folder;
    const std::string path = folder.file("two.wav");
    writeSndfile(path, kWav16, 2, 8000, {1000, 3000, -200, -400});
    QzPCMData data;
    ASSERT_EQ(QzReadSoundFileMono16(path.c_str(), &data), QzSoundFileStatus::ok);
    ASSERT_EQ(data.bytes.size(), 4u);
    const auto* mono = reinterpret_cast<const int16_t*>(data.bytes.data());
    EXPECT_EQ(mono[0], 2000);
    EXPECT_EQ(mono[1], -300);
}

TEST(SoundFile, FloatingPointSamplesKeepTheirLevel) {
    ScratchFolder folder;
    for (int format : {SF_FORMAT_WAV | SF_FORMAT_FLOAT, SF_FORMAT_W64 | SF_FORMAT_DOUBLE}) {
        SCOPED_TRACE(format);
        const std::string path = folder.file("float.wav");
        writeSndfile(path, format, 1, 8000, {3277, -3277, 16384});
        QzPCMData data;
        ASSERT_EQ(QzReadSoundFileMono16(path.c_str(), &data), QzSoundFileStatus::ok);
        ASSERT_EQ(data.bytes.size(), 6u);
        const auto* mono = reinterpret_cast<const int16_t*>(data.bytes.data());
        EXPECT_NEAR(mono[0], 3277, 1) << "not scaled up to the file's peak";
        EXPECT_NEAR(mono[1], -3277, 1);
        EXPECT_NEAR(mono[2], 16384, 1);
    }
}

// Overwrites bytes of a file at `offset`.
void patchBytes(const std::string& path, long offset, const std::string& bytes) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(offset);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

long offsetAfter(const std::string& path, const std::string& marker) {
    return static_cast<long>(readFile(path).find(marker) + marker.size());
}

TEST_F(Decoder, HeaderClaimingGigabytesGivesOnlyTheDataTheFileHolds) {
    const struct {
        const char* name;
        int format;
        const char* marker;   // the length field follows it
        std::string length;   // the claimed length as stored
        int bytes;            // what the 500 frames give
    } cases[] = {
        {"data-chunk.wav", kWav16, "data", "\xf0\xff\xff\xff", 1000},
        {"data-chunk.caf", SF_FORMAT_CAF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE, "data",
         "\x00\x00\x00\x7f\xff\xff\xff\x00", 1000},
        // STREAMINFO's 36-bit total sample count, all ones.
        {"total-samples.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "fLaC", "", 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder.file(c.name);
        writeSndfile(path, c.format, 1, 8000, sineFrames(1, 8000, 500));
        if (c.length.empty()) {
            const long totalSamples = offsetAfter(path, c.marker) + 4 + 13;
            patchBytes(path, totalSamples, std::string(1, char(readFile(path)[totalSamples] | 0x0f)) + "\xff\xff\xff\xff");
        } else {
            patchBytes(path, offsetAfter(path, c.marker), c.length);
        }
        EXPECT_EQ(load(path).size, c.bytes);
        SGSoundFree(&sound);
    }
}

TEST_F(Decoder, DamagedOggPagesAreReportedAndPassedOver) {
    const std::string path = folder.file("damaged.ogg");
    writeOgg(path, 2, 44100, noisyFrames(2, 44100, 88200));
    std::string bytes = readFile(path);
    for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 64; ++i) bytes[i] = static_cast<char>(~bytes[i]);
    writeFile(path, bytes);
    ::testing::internal::CaptureStdout();
    SGSoundLoadFromFile(&sound, path.c_str());
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Ogg read had an error");
    ASSERT_EQ(sound.count, 1);
    const BufferFacts facts = bufferFacts(sound.buffers[0]);
    EXPECT_GT(facts.size, 88200 * 4 / 2);
    EXPECT_LT(facts.size, 88200 * 4);
}

TEST_F(Decoder, BadInputFailsWithTheFileNamed) {
    const std::string folderPath = folder.file("folder.ogg");
    std::filesystem::create_directory(folderPath);
    std::filesystem::create_directory(folder.file("folder.wav"));
    writeFile(folder.file("empty.ogg"), "");
    writeFile(folder.file("empty.wav"), "");
    writeFile(folder.file("empty.caf"), "");
    writeFile(folder.file("text.ogg"), "this is not a sound at all, just some text\n");
    writeFile(folder.file("text.wav"), "this is not a sound at all, just some text\n");
    writeFile(folder.file("text.caf"), "this is not a sound at all, just some text\n");
    writeSndfile(folder.file("three.wav"), kWav16, 3, 8000, sineFrames(3, 8000, 100));
    writeOgg(folder.file("headers-cut.ogg"), 1, 44100, sineFrames(1, 44100, 1000));
    std::filesystem::resize_file(folder.file("headers-cut.ogg"), 60);
    writeOgg(folder.file("cut-in-half.ogg"), 1, 44100, sineFrames(1, 44100, 44100));
    std::filesystem::resize_file(folder.file("cut-in-half.ogg"), std::filesystem::file_size(folder.file("cut-in-half.ogg")) / 2);
    const char* unreadable = "it is missing or not";
    const std::pair<const char*, const char*> cases[] = {
        {"missing.ogg", unreadable}, {"missing.wav", unreadable}, {"missing.caf", unreadable},
        {"folder.ogg", unreadable}, {"folder.wav", unreadable}, {"empty.ogg", unreadable},
        {"empty.wav", unreadable}, {"empty.caf", unreadable}, {"text.ogg", unreadable},
        {"text.wav", unreadable}, {"text.caf", unreadable}, {"headers-cut.ogg", unreadable},
        {"cut-in-half.ogg", unreadable}, {"three.wav", "it has three or more channels"},
    };
    for (const auto& [name, reason] : cases) {
        SCOPED_TRACE(name);
        const std::string path = folder.file(name);
        try {
            SGSoundLoadFromFile(&sound, path.c_str());
            ADD_FAILURE() << "loaded";
        } catch (const SGSoundLoadError& error) {
            EXPECT_EQ(std::string(error.what()).find("cannot load the sound \"" + path + "\": " + reason), 0u)
                << error.what();
        }
        EXPECT_EQ(sound.count, 0);
    }
}

}  // namespace
