// Draws the player's icon with Cairo: a PNG for each hicolor size and a scalable SVG, so the
// desktop shows a picture made here and nothing of unknown origin.
#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

constexpr double kPi = 3.14159265358979323846;
// The sizes of the hicolor theme's fixed-size folders that desktops look in for applications.
constexpr int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256, 512};

// The icon on a 1 × 1 square: a slate tile, a light play triangle and a golden quill
// crossing it, the pen's tip at the lower left.
void paintIcon(cairo_t* cr, double size) {
    cairo_scale(cr, size, size);
    const double m = 0.04, r = 0.2;
    cairo_new_sub_path(cr);
    cairo_arc(cr, 1 - m - r, m + r, r, -kPi / 2, 0);
    cairo_arc(cr, 1 - m - r, 1 - m - r, r, 0, kPi / 2);
    cairo_arc(cr, m + r, 1 - m - r, r, kPi / 2, kPi);
    cairo_arc(cr, m + r, m + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
    cairo_pattern_t* tile = cairo_pattern_create_linear(0, 0, 0, 1);
    cairo_pattern_add_color_stop_rgb(tile, 0, 0.16, 0.42, 0.62);
    cairo_pattern_add_color_stop_rgb(tile, 1, 0.07, 0.16, 0.33);
    cairo_set_source(cr, tile);
    cairo_fill(cr);
    cairo_pattern_destroy(tile);

    cairo_move_to(cr, 0.33, 0.24);
    cairo_line_to(cr, 0.80, 0.50);
    cairo_line_to(cr, 0.33, 0.76);
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, 0.93, 0.95, 0.97);
    cairo_fill(cr);

    // The feather: two curves from the tip to the top, its shaft drawn darker over it.
    cairo_move_to(cr, 0.18, 0.86);
    cairo_curve_to(cr, 0.30, 0.52, 0.56, 0.22, 0.90, 0.10);
    cairo_curve_to(cr, 0.76, 0.40, 0.52, 0.66, 0.18, 0.86);
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, 0.98, 0.74, 0.22);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.55, 0.33, 0.05);
    cairo_set_line_width(cr, std::max(0.012, 1.0 / size));
    cairo_stroke(cr);
    cairo_move_to(cr, 0.14, 0.92);
    cairo_curve_to(cr, 0.40, 0.56, 0.60, 0.34, 0.88, 0.12);
    cairo_set_line_width(cr, std::max(0.02, 1.0 / size));
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_stroke(cr);
}

bool writePng(const std::string& path, int size) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    cairo_t* cr = cairo_create(surface);
    paintIcon(cr, size);
    cairo_destroy(cr);
    const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!ok) std::fprintf(stderr, "quillane_icon: cannot write %s\n", path.c_str());
    return ok;
}

bool writeSvg(const std::string& path) {
    constexpr double kSvgSize = 256;
    cairo_surface_t* surface = cairo_svg_surface_create(path.c_str(), kSvgSize, kSvgSize);
    cairo_t* cr = cairo_create(surface);
    paintIcon(cr, kSvgSize);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    const bool ok = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!ok) std::fprintf(stderr, "quillane_icon: cannot write %s\n", path.c_str());
    return ok;
}

}  // namespace

// Writes FOLDER/NxN/apps/quillane-player.png for every size and
// FOLDER/scalable/apps/quillane-player.svg; the folders must exist.
int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillane_icon HICOLOR-FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    bool ok = writeSvg(folder + "/scalable/apps/quillane-player.svg");
    for (int size : kSizes) {
        const std::string name = std::to_string(size) + "x" + std::to_string(size);
        ok = writePng(folder + "/" + name + "/apps/quillane-player.png", size) && ok;
    }
    return ok ? 0 : 1;
}
