// The first picture of a GIF file decoded into straight RGBA, with a strict reading of the
// file's blocks: a damaged file is refused or decodes partly, never into another frame.
#ifndef QZ_GIF_DECODER_H
#define QZ_GIF_DECODER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct QzGIFPicture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgba;  // width × height × 4 bytes, straight alpha, rows top-down
};

// Decodes the first picture of the GIF held in `bytes` at its offset on the logical screen
// (the picture is the screen's size, or larger where the first picture passes the screen's
// edges). Pixels outside the first picture, and those its compressed data does not reach,
// stay transparent. False with *error set when the file holds no picture it can
// decode (a damaged header, blocks or colour table, or a picture without pixels).
bool QzDecodeGIF(const uint8_t* bytes, size_t size, QzGIFPicture* picture, std::string* error);

#endif
