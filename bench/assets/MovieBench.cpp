// Intro movie decoding at 1280 x 720: the movie reader against the movie's own length.
#include <cstdio>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "QzMovieReader.h"
#include "QzRatioReporter.h"
#include "test_movies.h"

namespace {

constexpr int kFramesPerSecond = 24;
constexpr int kFrames = 48;

// Writes the movie once: H.264 as real intro movies are, MPEG-4 part 2 where that encoder
// is missing. Every picture differs from the one before, in every pixel.
const std::string& moviePath() {
    static const std::string path = [] {
        const std::string file = std::filesystem::temp_directory_path() / ("qz-movie-bench-" + std::to_string(getpid()) + ".mov");
        TestMovie movie{.width = 1280, .height = 720, .framesPerSecond = kFramesPerSecond, .frames = kFrames};
        movie.colour = [](int frame, int x, int y) {
            return std::array<uint8_t, 3>{uint8_t(x + frame * 8), uint8_t(y + frame * 4), uint8_t((x ^ y) + frame)};
        };
        std::string error;
        for (const char* codec : {"libx264", "mpeg4"}) {
            movie.codec = codec;
            if (writeTestMovie(file, movie, &error)) {
                std::printf("movie: %d pictures of 1280x720 at %d per second, %s\n", kFrames, kFramesPerSecond, codec);
                return file;
            }
        }
        std::fprintf(stderr, "cannot write the movie: %s\n", error.c_str());
        return std::string();
    }();
    return path;
}

void BM_DecodeIntroMovie(benchmark::State& state) {
    for (auto _ : state) {
        std::string error;
        const auto reader = QzMovieReader::open(moviePath(), &error);
        if (!reader) {
            state.SkipWithError(error.c_str());
            return;
        }
        QzMovieFrame frame;
        int frames = 0;
        while (reader->nextFrame(&frame, &error)) ++frames;
        if (frames != kFrames) state.SkipWithError("not every picture was decoded");
    }
}
BENCHMARK(BM_DecodeIntroMovie)->Unit(benchmark::kMillisecond)->MinTime(2.0);

class MovieRatios : public QzRatioReporter {
protected:
    void printRatios() override {
        const Times* decode = times("BM_DecodeIntroMovie");
        if (!decode) return;
        const double movieSeconds = double(kFrames) / kFramesPerSecond;
        // On a shared machine the wall-clock figure includes the time other work held the
        // processor; the processor-time figure is what decoding itself costs.
        std::printf("intro movie at 1280x720: decoded %.1f times faster than real time by the clock, %.1f times by "
                    "processor time (target: at least 4)\n",
                    movieSeconds / (decode->real / 1e3), movieSeconds / (decode->cpu / 1e3));
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (moviePath().empty()) return 1;
    MovieRatios reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::filesystem::remove(moviePath());
    return 0;
}
