// Benchmarks of sound: decoding a three-minute Ogg against a bare vorbisfile pass and a
// three-minute floating-point WAV against a bare libsndfile pass, the music
// worker's processor share and memory while it streams a five-minute track, and the sound
// manager's update with 32 playing sources. Runs on OpenAL Soft's null backend.
#include <dirent.h>
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include "QzAudioOutput.h"
#include "QzRatioReporter.h"
#include "QzMusicPlayer.h"
#include "QzPCMStream.h"
#include "SGSoundDecoder.h"
#include "SoundManager.h"
#include "sound_files.h"

namespace {

constexpr int kRate = 44100;
constexpr const char* kBareName = "BM_BareVorbisfilePass";
constexpr const char* kWholeName = "BM_BareVorbisfileIntoWholeBuffer";
constexpr const char* kDecodeName = "BM_SGSoundLoadFromFile";
constexpr const char* kBareSndfileName = "BM_BareSndfileFloatPass";
constexpr const char* kWholeSndfileName = "BM_BareSndfileFloatIntoWholeBuffer";
constexpr const char* kDecodeFloatName = "BM_SGSoundLoadFromFileFloatWav";

// A stereo Ogg of `seconds` seconds, made once and kept in the temporary folder.
std::string oggTrack(int seconds) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("quillane-audio-bench-" + std::to_string(seconds) + "s.ogg")).string();
    if (!std::filesystem::exists(path)) writeOgg(path, 2, kRate, noisyFrames(2, kRate, long(seconds) * kRate));
    return path;
}

// A stereo floating-point WAV of `seconds` seconds, made once and kept in the temporary folder.
std::string floatWavTrack(int seconds) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("quillane-audio-bench-" + std::to_string(seconds) + "s-float.wav"))
            .string();
    if (!std::filesystem::exists(path)) {
        writeSndfile(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, kRate, noisyFrames(2, kRate, long(seconds) * kRate));
    }
    return path;
}

// Decodes the whole file with ov_read into `scratch`, 4096 bytes at a time, or along it
// when `advance` is set; returns the bytes decoded.
long bareVorbisPass(const std::string& path, char* scratch, bool advance) {
    OggVorbis_File vorbis;
    QzOpenVorbisFile(path.c_str(), &vorbis);
    int bitstream = 0;
    long total = 0;
    for (long got; (got = ov_read(&vorbis, scratch + (advance ? total : 0), 4096, 0, 2, 1, &bitstream)) != 0;) {
        total += got > 0 ? got : 0;
    }
    ov_clear(&vorbis);
    return total;
}

// The bare pass into one small scratch buffer: decoding alone.
void BM_BareVorbisfilePass(benchmark::State& state) {
    const std::string path = oggTrack(180);
    std::vector<char> scratch(4096);
    for (auto _ : state) benchmark::DoNotOptimize(bareVorbisPass(path, scratch.data(), false));
}

// The bare pass into a fresh buffer that holds the whole sound, as any decoder that keeps the
// sound in memory must: decoding plus first touching 31 MB.
void BM_BareVorbisfileIntoWholeBuffer(benchmark::State& state) {
    const std::string path = oggTrack(180);
    for (auto _ : state) {
        std::unique_ptr<char[]> whole(new char[180L * kRate * 4 + 4096]);
        benchmark::DoNotOptimize(bareVorbisPass(path, whole.get(), true));
    }
}

void BM_SGSoundLoadFromFile(benchmark::State& state) {
    const std::string path = oggTrack(180);
    for (auto _ : state) {
        SGSound sound;
        SGSoundLoadFromFile(&sound, path.c_str());
        SGSoundFree(&sound);
    }
}

// The bare libsndfile pass: every frame read as 16-bit samples (libsndfile converting) into
// one small scratch buffer, as the bare vorbisfile pass does with ov_read.
sf_count_t bareSndfilePass(const std::string& path, int16_t* scratch, bool advance) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    sf_count_t total = 0;
    for (sf_count_t got; (got = sf_readf_short(file, scratch + (advance ? total * 2 : 0), 4096)) > 0;) total += got;
    sf_close(file);
    return total;
}

void BM_BareSndfileFloatPass(benchmark::State& state) {
    const std::string path = floatWavTrack(180);
    std::vector<int16_t> scratch(4096 * 2);
    for (auto _ : state) benchmark::DoNotOptimize(bareSndfilePass(path, scratch.data(), false));
}

// The same into a fresh buffer that holds the whole sound, as a decoder that keeps it must.
void BM_BareSndfileFloatIntoWholeBuffer(benchmark::State& state) {
    const std::string path = floatWavTrack(180);
    for (auto _ : state) {
        std::unique_ptr<int16_t[]> whole(new int16_t[180L * kRate * 2 + 8192]);
        benchmark::DoNotOptimize(bareSndfilePass(path, whole.get(), true));
    }
}

void BM_SGSoundLoadFromFileFloatWav(benchmark::State& state) {
    const std::string path = floatWavTrack(180);
    for (auto _ : state) {
        SGSound sound;
        SGSoundLoadFromFile(&sound, path.c_str());
        SGSoundFree(&sound);
    }
}

// Processor seconds the thread named `name` has used so far, from /proc.
double threadCPUSeconds(const char* name) {
    DIR* tasks = opendir("/proc/self/task");
    double seconds = 0;
    while (dirent* entry = tasks ? readdir(tasks) : nullptr) {
        const std::string task = std::string("/proc/self/task/") + entry->d_name;
        std::string comm;
        std::getline(std::ifstream(task + "/comm"), comm);
        if (comm != name) continue;
        std::string stat;
        std::getline(std::ifstream(task + "/stat"), stat);
        unsigned long user = 0, system = 0;
        std::sscanf(stat.substr(stat.rfind(')') + 2).c_str(), "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu",
                    &user, &system);
        seconds = double(user + system) / sysconf(_SC_CLK_TCK);
    }
    if (tasks) closedir(tasks);
    return seconds;
}

long residentKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return 0;
}

// Streams the five-minute track through the player for a few seconds of real time (the null
// backend plays at the real rate) and reports the worker's processor share and the memory
// the player added.
void BM_MusicWorkerStreaming(benchmark::State& state) {
    const std::string path = oggTrack(300);
    ALCcontext* context = QzOpenSharedAudioOutput("audio_bench");
    for (auto _ : state) {
        const long before = residentKilobytes();
        const size_t heapBefore = mallinfo2().uordblks;
        auto player = QzMusicPlayer::open(path.c_str(), context);
        player->stream().play();
        const auto start = std::chrono::steady_clock::now();
        long peakKilobytes = before;
        size_t peakHeap = heapBefore;
        for (int i = 0; i < 100; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            peakKilobytes = std::max(peakKilobytes, residentKilobytes());
            peakHeap = std::max(peakHeap, mallinfo2().uordblks);
        }
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.counters["worker_cpu_percent"] = 100.0 * threadCPUSeconds(kQzMusicWorkerName) / elapsed;
        state.counters["added_resident_KB"] = double(peakKilobytes - before);
        state.counters["added_heap_KB"] = double(peakHeap - heapBefore) / 1024;
        state.counters["still_playing"] = player->stream().isPlaying();
    }
}

// One frame's update over 32 looping sources, none of which finishes.
void BM_SoundManagerUpdate32Playing(benchmark::State& state) {
    const std::string path = (std::filesystem::temp_directory_path() / "quillane-audio-bench-tone.wav").string();
    writeSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, kRate, sineFrames(1, kRate, kRate));
    SGSound sound;
    SGSoundLoadFromFile(&sound, path.c_str());
    {
        // Destroyed before the sound: its sources must let go of the buffer first.
        SoundManager manager;
        for (int i = 0; i < SoundManager::kPoolSize; ++i) {
            QzAudioSource* source = manager.reserveSource();
            source->setLooping(true);
            source->queueBuffers(sound);
            manager.playSource(source);
        }
        for (auto _ : state) manager.update();
        state.counters["playing"] = double(manager.playingCount());
    }
    SGSoundFree(&sound);
}

BENCHMARK(BM_BareVorbisfilePass)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_BareVorbisfileIntoWholeBuffer)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_SGSoundLoadFromFile)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_BareSndfileFloatPass)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_BareSndfileFloatIntoWholeBuffer)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_SGSoundLoadFromFileFloatWav)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_MusicWorkerStreaming)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_SoundManagerUpdate32Playing)->Unit(benchmark::kMicrosecond);

// Prints the usual table, then the decoder's time as a ratio of the bare pass of this run.
class RatioReporter : public QzRatioReporter {
    void printRatios() override {
        const Times* bareSndfile = times(kBareSndfileName);
        const Times* decodeFloat = times(kDecodeFloatName);
        if (bareSndfile && decodeFloat)
            std::printf("SGSoundLoadFromFile of a float WAV / bare libsndfile pass: %.3f in processor time, %.3f "
                        "elapsed (target at most 1.1)\n",
                        decodeFloat->cpu / bareSndfile->cpu, decodeFloat->real / bareSndfile->real);
        const Times* wholeSndfile = times(kWholeSndfileName);
        if (wholeSndfile && decodeFloat)
            std::printf("SGSoundLoadFromFile of a float WAV / bare pass into a whole-sound buffer: %.3f in processor "
                        "time, %.3f elapsed\n",
                        decodeFloat->cpu / wholeSndfile->cpu, decodeFloat->real / wholeSndfile->real);
        const Times* bare = times(kBareName);
        const Times* decode = times(kDecodeName);
        if (!bare || !decode) return;
        std::printf("SGSoundLoadFromFile / bare vorbisfile pass: %.3f in processor time, %.3f elapsed (target at most 1.1)\n",
                    decode->cpu / bare->cpu, decode->real / bare->real);
        if (const Times* whole = times(kWholeName))
            std::printf("SGSoundLoadFromFile / bare pass into a whole-sound buffer: %.3f in processor time, %.3f elapsed\n",
                        decode->cpu / whole->cpu, decode->real / whole->real);
    }
};

}  // namespace

int main(int argc, char** argv) {
    setenv("ALSOFT_DRIVERS", "null", 0);
    if (!QzOpenSharedAudioOutput("audio_bench")) return 1;
    alcMakeContextCurrent(QzSharedAlContext());
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
