// The pictures of a movie file, decoded with FFmpeg's libraries into RGBA frames.
#ifndef QZ_MOVIE_READER_H
#define QZ_MOVIE_READER_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One decoded picture: straight 8-bit RGBA, rows top-down and packed.
struct QzMovieFrame {
    double seconds = 0;  // when it is shown, from the movie's start
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgba;
};

// The first video stream of a movie file (QuickTime, MP4, Matroska, ... with any codec
// FFmpeg decodes), read frame by frame. Nothing of FFmpeg shows here. One thread at a time.
class QzMovieReader {
public:
    // Null with *error set when the file cannot be opened, holds no video stream, or its
    // pictures cannot be decoded here (the codec, or a size beyond the texture limits or
    // 3840 x 2160).
    static std::unique_ptr<QzMovieReader> open(const std::string& path, std::string* error);
    ~QzMovieReader();
    QzMovieReader(const QzMovieReader&) = delete;
    QzMovieReader& operator=(const QzMovieReader&) = delete;

    // The stored picture size, and the shape it is shown at (width / height, with the
    // stream's pixel aspect applied).
    int32_t width() const;
    int32_t height() const;
    double displayAspectRatio() const;
    // The length the file states, in seconds; 0 when it does not say.
    double durationSeconds() const;

    // Decodes the next picture into *frame (its buffer is reused). False at the end of the
    // movie, or with *error set when the data cannot be decoded any further; the frames
    // before a damaged part are still handed out.
    bool nextFrame(QzMovieFrame* frame, std::string* error);

private:
    struct State;
    explicit QzMovieReader(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;  // owned
};

#endif
