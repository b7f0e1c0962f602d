// Writing RGBA frames as PNG files with libpng.
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <png.h>

#include "QzOffscreenGL.h"

namespace {

// Owns the FILE and the libpng write structures.
struct PngFile {
    FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngFile() {
        if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
        if (file) std::fclose(file);
    }
};

// Writes the image; libpng reports its errors by longjmp back to here, so nothing with a
// destructor may live in this frame.
bool writeRows(PngFile& out, png_bytep* rows, int width, int height) {
    if (setjmp(png_jmpbuf(out.png))) return false;
    png_init_io(out.png, out.file);
    png_set_IHDR(out.png, out.info, static_cast<png_uint_32>(width),
                 static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(out.png, out.info);
    png_write_image(out.png, rows);
    png_write_end(out.png, nullptr);
    return true;
}

}  // namespace

bool QzWritePNG(const std::string& path, const std::vector<uint8_t>& rgba, int width, int height,
                std::string* error) {
    if (width <= 0 || height <= 0 || rgba.size() != static_cast<size_t>(width) * height * 4) {
        *error = "the pixel buffer does not match the image size";
        return false;
    }
    PngFile out;
    out.file = std::fopen(path.c_str(), "wb");
    if (!out.file) {
        *error = "cannot open '" + path + "' for writing: " + std::strerror(errno);
        return false;
    }
    out.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (out.png) out.info = png_create_info_struct(out.png);
    if (!out.png || !out.info) {
        *error = "libpng could not start writing '" + path + "'";
        return false;
    }
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (int row = 0; row < height; ++row) {
        // The file starts with the top row; the buffer with the bottom one.
        rows[static_cast<size_t>(row)] = const_cast<png_bytep>(
            rgba.data() + static_cast<size_t>(height - 1 - row) * width * 4);
    }
    if (!writeRows(out, rows.data(), width, height) || std::fflush(out.file) != 0) {
        *error = "writing '" + path + "' failed";
        return false;
    }
    return true;
}
