// The intro movie's pictures at their times, on the main thread.
#include "QzIntroMovie.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "QzMovieReader.h"

namespace {

using Clock = std::chrono::steady_clock;

// How often events are handled while a picture waits for its time.
constexpr auto kEventSlice = std::chrono::milliseconds(5);

}  // namespace

void QzPlayIntroMovie(const std::string& path, const QzIntroMovieCalls& calls,
                      std::shared_ptr<const QzOverlayImage>* last, double* aspect) {
    last->reset();
    std::string error;
    const std::unique_ptr<QzMovieReader> reader = QzMovieReader::open(path, &error);
    if (!reader) {
        std::fprintf(stderr, "quillane-player: intro movie '%s' skipped: %s\n", path.c_str(), error.c_str());
        return;
    }
    *aspect = reader->displayAspectRatio();
    const Clock::time_point start = Clock::now();
    QzMovieFrame frame;
    while (!calls.endRequested()) {
        if (!reader->nextFrame(&frame, &error)) {
            if (!error.empty())
                std::fprintf(stderr, "quillane-player: intro movie '%s' ended early: %s\n", path.c_str(), error.c_str());
            return;
        }
        const Clock::time_point due = start + std::chrono::duration_cast<Clock::duration>(
                                                  std::chrono::duration<double>(frame.seconds));
        bool ended = false;
        while (!(ended = calls.endRequested()) && Clock::now() < due)
            std::this_thread::sleep_for(std::min<Clock::duration>(kEventSlice, due - Clock::now()));
        if (ended) return;
        auto picture = std::make_shared<QzOverlayImage>();
        picture->width = frame.width;
        picture->height = frame.height;
        picture->pixels = std::move(frame.rgba);
        *last = picture;
        calls.show(picture, *aspect);
    }
}
