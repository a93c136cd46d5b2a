// picture_footer.h -- the footer under the picture's plan (picture_footer.cpp):
// a scale bar with the extents, and a legend of the layers drawn.
#pragma once

#include <cairo.h>

#include <string>
#include <utility>
#include <vector>

namespace velmora {

// Each layer drawn, in the order it first appears, with the colours (ACI)
// drawn on it in the order they first appear.
using Legend = std::vector<std::pair<std::string, std::vector<int>>>;

// The plan above the footer: its scale (pixels per unit) and margin, and
// the extent and heights of what it shows.
struct FooterView {
    double scale, margin;
    double minx, miny, maxx, maxy, minz, maxz;
    const Legend *legend;
};

double footer_height(const Legend &legend, int width);
void draw_footer(cairo_t *cr, const FooterView &v, int width, double top);

// Sets the colour lines of ACI colour `aci` are drawn in (picture.cpp).
void set_line_colour(cairo_t *cr, int aci);

}  // namespace velmora
