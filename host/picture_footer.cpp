// picture_footer.cpp -- the footer under the picture's plan: a scale bar
// with the drawing's extents, then a legend naming each layer drawn with the
// colours drawn on it, in as many rows as the image's width needs.
//
//   |<-- 5000 -->|  extents 731120,4036883 to 761529,4069167, heights 255 to 1041
//   [#] TRIANG   [#][#][#] 3dint   [#] PLANE ...

#include "picture_footer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace velmora {

namespace {

const double FOOTER_FONT = 15, FOOTER_ROW = 26;

// A round length near `about`: 1, 2 or 5 times a power of ten.
double round_length(double about)
{
    double p = std::pow(10.0, std::floor(std::log10(about)));
    for (double m : {5.0, 2.0, 1.0})
        if (m * p <= about)
            return m * p;
    return p;
}

std::string short_number(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.10g", std::fabs(v) >= 100 ? std::round(v) : std::round(v * 100) / 100);
    return buf;
}

struct LegendItem {
    std::string name;
    std::vector<int> colours;
    double width;
};

const std::size_t LEGEND_SWATCHES = 8;   // colours shown per layer; more are counted

// The legend's items, measured, laid out in rows across `width`; returns the
// number of rows.
int legend_rows(cairo_t *cr, const Legend &legend, double width, std::vector<std::vector<LegendItem>> &rows)
{
    rows.assign(1, {});
    double x = 0;
    for (const auto &[name, colours] : legend) {
        std::string label = name;
        if (colours.size() > LEGEND_SWATCHES)
            label += " (" + std::to_string(colours.size()) + " colours)";
        cairo_text_extents_t ext;
        cairo_text_extents(cr, label.c_str(), &ext);
        std::size_t swatches = std::min(colours.size(), LEGEND_SWATCHES);
        double w = swatches * 16 + 6 + ext.x_advance + 22;
        if (x > 0 && x + w > width) {
            rows.push_back({});
            x = 0;
        }
        rows.back().push_back({label, std::vector<int>(colours.begin(), colours.begin() + (long)swatches), w});
        x += w;
    }
    return (int)rows.size();
}

}  // namespace

double footer_height(const Legend &legend, int width)
{
    cairo_surface_t *scratch = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
    cairo_t *cr = cairo_create(scratch);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, FOOTER_FONT);
    std::vector<std::vector<LegendItem>> rows;
    int n = legend.empty() ? 0 : legend_rows(cr, legend, width - 48, rows);
    cairo_destroy(cr);
    cairo_surface_destroy(scratch);
    return 12 + FOOTER_ROW * (1 + n);
}

void draw_footer(cairo_t *cr, const FooterView &v, int width, double top)
{
    cairo_set_source_rgb(cr, 0.8, 0.8, 0.8);
    cairo_set_line_width(cr, 1);
    cairo_move_to(cr, 0, top + 0.5);
    cairo_line_to(cr, width, top + 0.5);
    cairo_stroke(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, FOOTER_FONT);
    double x = v.margin, y = top + 8 + FOOTER_ROW / 2;

    // The scale bar: a round length near a fifth of the plan's width.
    double length = round_length((width - 2 * v.margin) / v.scale / 5);
    double bar = length * v.scale;
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 2);
    cairo_move_to(cr, x, y - 5);
    cairo_line_to(cr, x, y + 5);
    cairo_move_to(cr, x, y);
    cairo_line_to(cr, x + bar, y);
    cairo_move_to(cr, x + bar, y - 5);
    cairo_line_to(cr, x + bar, y + 5);
    cairo_stroke(cr);
    std::string text = short_number(length) + "   extents " + short_number(v.minx) + "," + short_number(v.miny) +
                       " to " + short_number(v.maxx) + "," + short_number(v.maxy);
    if (v.minz <= v.maxz)
        text += ", heights " + short_number(v.minz) + " to " + short_number(v.maxz);
    cairo_move_to(cr, x + bar + 8, y + FOOTER_FONT / 3);
    cairo_show_text(cr, text.c_str());

    std::vector<std::vector<LegendItem>> rows;
    if (v.legend->empty())
        return;
    legend_rows(cr, *v.legend, width - 2 * v.margin, rows);
    for (const auto &row : rows) {
        y += FOOTER_ROW;
        x = v.margin;
        for (const auto &item : row) {
            for (int aci : item.colours) {
                cairo_rectangle(cr, x, y - 6, 12, 12);
                set_line_colour(cr, aci);
                cairo_fill_preserve(cr);
                cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
                cairo_set_line_width(cr, 0.8);
                cairo_stroke(cr);
                x += 16;
            }
            cairo_set_source_rgb(cr, 0, 0, 0);
            cairo_move_to(cr, x + 6, y + FOOTER_FONT / 3);
            cairo_show_text(cr, item.name.c_str());
            x += item.width - item.colours.size() * 16;
        }
    }
}

}  // namespace velmora
