// Image files into OpenGL textures: size checks before decoding, decoding (GIF by our own
// reader, the other formats by SDL2_image), premultiplying and flipping to bottom-up rows,
// upload, and the fallback picture.
#ifndef QZ_IMAGE_LOADER_H
#define QZ_IMAGE_LOADER_H

#include <cstdint>
#include <memory>
#include <string>

#include <GL/gl.h>

#include "SGImage.h"

// A decoded picture: 8-bit RGBA, premultiplied by alpha, rows bottom-up (row 0 is the
// bottom of the picture), rows packed.
struct QzBitmap {
    int32_t width = 0;
    int32_t height = 0;
    std::unique_ptr<uint8_t[]> rgba;  // width × height × 4 bytes
};

// The pixel size a PNG, JPEG, GIF, BMP or TGA file declares, read from its header without
// decoding it. False with *error set for other files and unreadable headers.
bool QzReadImageSize(const std::string& path, int64_t* width, int64_t* height, std::string* error);

// Decodes the file (any format SDL2_image reads; GIF by our own reader) into *bitmap.
// Pictures whose declared size is not allowed as a texture (QzTextureSizeAllowed) are refused
// before anything is decoded; formats without a header known here are decoded under the
// allocation bound of the largest texture and checked after. CMYK JPEGs are converted to RGB.
// False with *error set when the file cannot be used.
bool QzDecodeImageFile(const std::string& path, QzBitmap* bitmap, std::string* error);

// Converts width × height pixels of straight 8-bit RGBA with rows top-down (rows `pitch`
// bytes apart) into bottom-up rows premultiplied by alpha.
void QzPremultiplyAndFlip(const uint8_t* topDown, int32_t pitch, QzBitmap* bitmap);

// A new texture holding the bitmap, or 0 (with the reason logged) when the bitmap is empty
// or OpenGL gives no texture name. Needs a current OpenGL context.
GLuint uploadAsGLTexture(const QzBitmap& bitmap);

// The picture of the file as a new texture (premultiplied, whole texture, its size the
// picture's) in *image. False with *error set when the file cannot be decoded or OpenGL gives
// no texture; *image is then unchanged. Needs a current OpenGL context.
bool QzLoadImageTexture(const std::string& path, SGImage* image, std::string* error);

// The picture of the file as a texture (premultiplied, whole texture). A file that cannot
// be read is logged with its path and replaced by the player's "image_missing.png"; when
// that fails too, SGImageNull. A null or empty path gives SGImageNull.
SGImage QzLoadImageFromFile(const char* path);

// Where the player's own resources ("image_missing.png") are found: the folder given here,
// else the environment variable QZ_RESOURCE_DIR, else where the program ships its files
// (QzFindShippedFile).
void QzSetResourceDirectory(const std::string& directory);
std::string QzResourcePath(const std::string& fileName);

#endif
