// picture.cpp -- the drawing seen from above, as a PNG (cairo).
//
// The plan view is fitted into an image 1600 pixels wide (or high, for a
// tall drawing) on white, with a footer below it:
//
//   1. 3DFACEs filled lightly with their colour, so that coloured bands read
//      as areas, and shaded by their slope, so that the relief shows; lowest
//      first, each with its visible edges, so that what lies higher covers
//      what lies under it, as seen from above;
//   2. polygon meshes as their grid, then polylines and lines, 2.5 pixels
//      wide on a white halo, so that curves stand out on any face colour;
//   3. points as small dots;
//   4. TEXTs, at their height and angle (those too small to read left out);
//   5. the overlay (sds_grdraw vectors) on top, thick, with a light halo;
//   6. the footer: a scale bar and the drawing's extents in its left corner,
//      and a legend naming each layer drawn with the colours drawn on it
//      (picture_footer.cpp).
//
// Colours are the ACI numbers; BYLAYER takes the layer's colour and entities
// on a layer that is off are not drawn.
#include "picture.h"
#include "picture_footer.h"

#include "dxf_common.h"
#include "text.h"

#include <cairo.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

namespace velmora {

namespace {

struct Rgb {
    double r, g, b;
};

// The AutoCAD Colour Index: 1-9 named colours, 10-249 a wheel of 24 hues in
// steps of 15 degrees with five shades (odd numbers paler), 250-255 greys.
Rgb aci_rgb(int aci)
{
    static const Rgb named[10] = {
        {0, 0, 0},       {1, 0, 0},       {1, 1, 0},       {0, 1, 0},       {0, 1, 1},
        {0, 0, 1},       {1, 0, 1},       {0, 0, 0},       {0.5, 0.5, 0.5}, {0.75, 0.75, 0.75},
    };
    if (aci >= 0 && aci <= 9)
        return named[aci];
    if (aci >= 250 && aci <= 255) {
        double g = 0.2 + 0.16 * (aci - 250);
        return {g, g, g};
    }
    if (aci < 10 || aci > 255)
        return {0, 0, 0};
    static const double value[5] = {1.0, 0.8, 0.6, 0.5, 0.3};
    double hue = (aci / 10 - 1) * 15.0;
    int shade = aci % 10;
    double v = value[shade / 2];
    double s = (shade % 2) ? 0.5 : 1.0;
    double h = hue / 60.0;
    int sector = (int)std::floor(h) % 6;
    double f = h - std::floor(h);
    double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    switch (sector) {
    case 0: return {v, t, p};
    case 1: return {q, v, p};
    case 2: return {p, v, t};
    case 3: return {p, q, v};
    case 4: return {t, p, v};
    default: return {v, p, q};
    }
}

// Lines in very light colours (yellow, white, pale shades) would vanish on
// white: they are drawn darker, keeping their hue.
Rgb line_rgb(Rgb c)
{
    double lum = 0.3 * c.r + 0.59 * c.g + 0.11 * c.b;
    if (lum > 0.65) {
        double k = 0.65 / lum;
        c = {c.r * k, c.g * k, c.b * k};
    }
    return c;
}

struct View {
    double minx = 0, miny = 0, scale = 1, height = 0, margin = 24;
    double px(const Vec3 &p) const { return margin + (p.x - minx) * scale; }
    double py(const Vec3 &p) const { return height - margin - (p.y - miny) * scale; }
};

bool paper_space(const Entity &e)
{
    bool started = false;
    for (const auto &p : e.raw) {
        if (p.code == 0) {
            if (started)
                break;              // the entity's own groups end at its first sub-entity
            started = true;
        }
        long long v;
        if (p.code == 67 && dxf_parse_int(p.value(), v) && v == 1)
            return true;
    }
    return false;
}

// The colour an entity is drawn in, or false when it is not drawn at all.
bool entity_colour(const Drawing &d, const Entity &e, int &aci)
{
    int layer_colour = 7;
    for (const auto &l : d.layers)
        if (same_name(l.name, e.layer)) {
            layer_colour = l.colour;
            break;
        }
    if (layer_colour < 0)
        return false;                       // layer off
    aci = e.colour == 256 ? layer_colour : e.colour == 0 ? 7 : std::abs(e.colour);
    return true;
}

void set_colour(cairo_t *cr, Rgb c, double alpha = 1.0)
{
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

// Brightness of a face lit from the north-west at 45 degrees, 1 for a level
// face, so that the relief of a terrain shows through its face colour.  Heights
// are stretched by `zscale` first: survey slopes are gentle, and unstretched
// they would all look level.
double hillshade(const Entity &e, double zscale)
{
    const Vec3 &a = e.pts[0], &b = e.pts[1], &c = e.pts[2];
    double ux = b.x - a.x, uy = b.y - a.y, uz = (b.z - a.z) * zscale;
    double vx = c.x - a.x, vy = c.y - a.y, vz = (c.z - a.z) * zscale;
    double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
    if (nz < 0) {
        nx = -nx; ny = -ny; nz = -nz;
    }
    double len = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (!(len > 0) || !std::isfinite(len))
        return 1.0;
    const double lx = -0.5, ly = 0.5, lz = std::sqrt(0.5);   // unit vector to the light
    double lit = (nx * lx + ny * ly + nz * lz) / len;         // lz for a level face
    return std::clamp(0.6 + 0.4 * lit / lz, 0.6, 1.2);
}

// A TEXT's string, insertion point, height, angle and centring: from its
// fields when the session made it, from its groups when it was read.
bool text_of(const Entity &e, std::string &text, Vec3 &at, double &height, double &angle, bool &centred)
{
    if (e.raw.empty()) {
        if (e.pts.empty())
            return false;
        text = label_of(e).text;
        at = e.pts[0];
        height = label_of(e).height;
        angle = label_of(e).angle;
        centred = label_of(e).centred;
        return true;
    }
    Vec3 align;
    long long h = 0, v = 0;
    height = angle = 0;
    for (const auto &p : e.raw) {
        double r = 0;
        if (p.code == 1) text = p.value();
        else if (p.code == 10) parse_real(p.value(), at.x);
        else if (p.code == 20) parse_real(p.value(), at.y);
        else if (p.code == 11) parse_real(p.value(), align.x);
        else if (p.code == 21) parse_real(p.value(), align.y);
        else if (p.code == 40 && parse_real(p.value(), r)) height = r;
        else if (p.code == 50 && parse_real(p.value(), r)) angle = r;
        else if (p.code == 72) dxf_parse_int(p.value(), h);
        else if (p.code == 73) dxf_parse_int(p.value(), v);
    }
    centred = (h == 1 || h == 4) && v == 2;
    if (centred || h == 4)
        at = align;
    centred |= h == 4;
    return true;
}

// \U+XXXX escapes of a DXF text as UTF-8, for cairo.
std::string utf8_of(const std::string &t)
{
    std::string out;
    for (size_t i = 0; i < t.size(); i++) {
        unsigned cp = 0;
        if (t.compare(i, 3, "\\U+") == 0 && i + 7 <= t.size() &&
            std::sscanf(t.c_str() + i + 3, "%4x", &cp) == 1 && std::isxdigit((unsigned char)t[i + 6])) {
            if (cp < 0x80) {
                out += (char)cp;
            } else if (cp < 0x800) {
                out += (char)(0xC0 | (cp >> 6));
                out += (char)(0x80 | (cp & 0x3F));
            } else {
                out += (char)(0xE0 | (cp >> 12));
                out += (char)(0x80 | ((cp >> 6) & 0x3F));
                out += (char)(0x80 | (cp & 0x3F));
            }
            i += 6;
        } else {
            out += t[i];
        }
    }
    return out;
}

void segment(cairo_t *cr, const View &v, const Vec3 &a, const Vec3 &b)
{
    cairo_move_to(cr, v.px(a), v.py(a));
    cairo_line_to(cr, v.px(b), v.py(b));
}

// What the picture shows: the modelled entities and the TEXTs to draw, each
// with its colour, and the plan extent of them and of the overlay.
struct Scene {
    std::vector<std::pair<const Entity *, int>> shown, texts;
    // The legend: each layer drawn, in the order it first appears, with the
    // colours drawn on it in the order they first appear.
    Legend legend;
    double minz = INFINITY, maxz = -INFINITY;

    void note(const std::string &layer, int aci)
    {
        auto it = std::find_if(legend.begin(), legend.end(), [&](const auto &l) { return same_name(l.first, layer); });
        if (it == legend.end())
            it = legend.insert(legend.end(), {layer, {}});
        if (std::find(it->second.begin(), it->second.end(), aci) == it->second.end())
            it->second.push_back(aci);
    }
    double minx = INFINITY, miny = INFINITY, maxx = -INFINITY, maxy = -INFINITY;

    void widen(const Vec3 &p)
    {
        minx = std::min(minx, p.x); maxx = std::max(maxx, p.x);
        miny = std::min(miny, p.y); maxy = std::max(maxy, p.y);
    }
};

Scene scene_of(const Drawing &d, const std::vector<Overlay> &overlay)
{
    Scene sc;
    for (const auto &e : d.entities) {
        int aci;
        if (e.type == "TEXT" && !e.erased && !paper_space(e) && entity_colour(d, e, aci)) {
            sc.texts.push_back({&e, aci});
            sc.note(e.layer, aci);
        }
        if (e.erased || !dxf_modelled_type(e.type) || e.pts.empty() || paper_space(e) ||
            !entity_colour(d, e, aci))
            continue;
        bool face_record_only = e.type == "POLYLINE" && (e.poly_flags & 64);
        for (size_t i = 0; i < e.pts.size(); i++) {
            int f = i < e.vertex_flags.size() ? e.vertex_flags[i] : 0;
            if (!(face_record_only && (f & 128) && !(f & 64))) {
                sc.widen(e.pts[i]);
                sc.minz = std::min(sc.minz, e.pts[i].z);
                sc.maxz = std::max(sc.maxz, e.pts[i].z);
            }
        }
        sc.shown.push_back({&e, aci});
        sc.note(e.layer, aci);
    }
    for (const auto &o : overlay) {
        sc.widen(o.from);
        sc.widen(o.to);
    }
    return sc;
}

// The image size and the view that fits the scene's extent into it, centred.
View fit(Scene &sc, int &width, int &height)
{
    const double size = 1600, margin = 24;
    if (!(sc.minx <= sc.maxx)) {
        sc.minx = sc.miny = 0;
        sc.maxx = sc.maxy = 1;
    }
    double w = sc.maxx - sc.minx, h = sc.maxy - sc.miny;
    double span = std::max(w, h);
    if (span <= 0)
        span = 1;
    if (w < span * 1e-3) {                 // a vertical strip: give it some width
        sc.minx -= span * 0.05; sc.maxx += span * 0.05; w = sc.maxx - sc.minx;
    }
    if (h < span * 1e-3) {
        sc.miny -= span * 0.05; sc.maxy += span * 0.05; h = sc.maxy - sc.miny;
    }
    if (w >= h) {
        width = (int)size;
        height = std::max(200, (int)std::lround((size - 2 * margin) * h / w + 2 * margin));
    } else {
        height = (int)size;
        width = std::max(200, (int)std::lround((size - 2 * margin) * w / h + 2 * margin));
    }
    View v;
    v.margin = margin;
    v.minx = sc.minx;
    v.miny = sc.miny;
    v.height = height;
    v.scale = std::min((width - 2 * margin) / w, (height - 2 * margin) / h);
    v.minx -= ((width - 2 * margin) / v.scale - w) / 2;
    v.miny -= ((height - 2 * margin) / v.scale - h) / 2;
    return v;
}

// 1. Faces, lowest first: each filled, shaded by its slope, then its
// visible edges, so that a face above hides the faces and edges below it.
void draw_faces(cairo_t *cr, const View &v, const Scene &sc)
{
    std::vector<std::pair<const Entity *, int>> faces;
    double zmin = INFINITY, zmax = -INFINITY;
    for (const auto &[e, aci] : sc.shown)
        if (e->type == "3DFACE" && e->pts.size() == 4) {
            faces.push_back({e, aci});
            for (const auto &p : e->pts) {
                zmin = std::min(zmin, p.z);
                zmax = std::max(zmax, p.z);
            }
        }
    auto mean_z = [](const Entity *e) { return (e->pts[0].z + e->pts[1].z + e->pts[2].z + e->pts[3].z) / 4; };
    std::stable_sort(faces.begin(), faces.end(),
                     [&](const auto &a, const auto &b) { return mean_z(a.first) < mean_z(b.first); });
    double w = sc.maxx - sc.minx, h = sc.maxy - sc.miny;
    double zscale = (zmax > zmin) ? std::max(1.0, 0.1 * std::max(w, h) / (zmax - zmin)) : 1.0;
    for (const auto &[e, aci] : faces) {
        const auto &p = e->pts;
        cairo_move_to(cr, v.px(p[0]), v.py(p[0]));
        for (size_t k = 1; k < p.size(); k++)
            cairo_line_to(cr, v.px(p[k]), v.py(p[k]));
        cairo_close_path(cr);
        // An opaque pale tint (not transparency, which would darken where
        // neighbours overlap); a hairline of the same tint closes the seams
        // antialiasing leaves between faces.
        Rgb c = aci_rgb(aci);
        double f = hillshade(*e, zscale);
        set_colour(cr, Rgb{std::min(1.0, (0.5 + 0.5 * c.r) * f), std::min(1.0, (0.5 + 0.5 * c.g) * f),
                           std::min(1.0, (0.5 + 0.5 * c.b) * f)});
        cairo_fill_preserve(cr);
        cairo_set_line_width(cr, 0.8);
        cairo_stroke(cr);
        set_colour(cr, line_rgb(c));
        cairo_set_line_width(cr, 1.0);
        for (int k = 0; k < 4; k++)
            if (!(e->face_hidden & (1 << k)))
                segment(cr, v, p[(size_t)k], p[(size_t)(k + 1) % 4]);
        cairo_stroke(cr);
    }
}

// The lines of a polygon mesh's grid, round its closed directions too.
void mesh_lines(cairo_t *cr, const View &v, const Entity &e)
{
    std::vector<Vec3> grid;
    int m = 0, n = 0;
    if (!mesh_grid(e, grid, m, n))
        return;
    bool closed_m = e.poly_flags & 1, closed_n = e.poly_flags & 32;
    for (int i = 0; i < m; i++)
        for (int j = 0; j < n; j++) {
            const Vec3 &a = grid[(size_t)(i * n + j)];
            if (j + 1 < n || (closed_n && n > 2))
                segment(cr, v, a, grid[(size_t)(i * n + (j + 1) % n)]);
            if (i + 1 < m || (closed_m && m > 2))
                segment(cr, v, a, grid[(size_t)(((i + 1) % m) * n + j)]);
        }
}

// 2. Meshes, then polylines and lines: each drawn twice, first wide in
// white (a halo that parts it from the faces under it), then in its colour.
const double LINE_WIDTH = 2.5;

void draw_lines(cairo_t *cr, const View &v, const Scene &sc)
{
    cairo_set_line_width(cr, 1.2);
    for (const auto &[e, aci] : sc.shown)
        if (e->type == "POLYLINE" && (e->poly_flags & 16)) {
            set_colour(cr, line_rgb(aci_rgb(aci)));
            mesh_lines(cr, v, *e);
            cairo_stroke(cr);
        }
    for (int pass = 0; pass < 2; pass++) {
        cairo_set_line_width(cr, pass == 0 ? LINE_WIDTH + 2.5 : LINE_WIDTH);
        for (const auto &[e, aci] : sc.shown) {
            const auto &p = e->pts;
            if (e->type == "LINE" && p.size() >= 2) {
                segment(cr, v, p[0], p[1]);
            } else if (e->type == "POLYLINE" && !(e->poly_flags & (16 | 64)) && !p.empty()) {
                cairo_move_to(cr, v.px(p[0]), v.py(p[0]));
                for (size_t k = 1; k < p.size(); k++)
                    cairo_line_to(cr, v.px(p[k]), v.py(p[k]));
                if (e->poly_flags & 1)
                    cairo_close_path(cr);
            } else {
                continue;
            }
            if (pass == 0)
                cairo_set_source_rgba(cr, 1, 1, 1, 0.8);
            else
                set_colour(cr, line_rgb(aci_rgb(aci)));
            cairo_stroke(cr);
        }
    }
}

// 3. Points.
void draw_points(cairo_t *cr, const View &v, const Scene &sc)
{
    for (const auto &[e, aci] : sc.shown) {
        if (e->type != "POINT")
            continue;
        cairo_arc(cr, v.px(e->pts[0]), v.py(e->pts[0]), 3.0, 0, 2 * M_PI);
        set_colour(cr, line_rgb(aci_rgb(aci)));
        cairo_fill_preserve(cr);
        cairo_set_source_rgb(cr, 0.15, 0.15, 0.15);
        cairo_set_line_width(cr, 0.7);
        cairo_stroke(cr);
    }
}

// 4. Texts.
void draw_texts(cairo_t *cr, const View &v, const Scene &sc)
{
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    for (const auto &[e, aci] : sc.texts) {
        std::string text;
        Vec3 at;
        double height, angle;
        bool centred;
        if (!text_of(*e, text, at, height, angle, centred) || !(height * v.scale >= 4) ||
            !(height * v.scale < 400) || text.empty())
            continue;
        std::string u = utf8_of(text);
        cairo_save(cr);
        cairo_translate(cr, v.px(at), v.py(at));
        cairo_rotate(cr, -angle * M_PI / 180);
        cairo_set_font_size(cr, height * v.scale * 1.4);   // cap height to font size
        if (centred) {
            cairo_text_extents_t ext;
            cairo_text_extents(cr, u.c_str(), &ext);
            cairo_move_to(cr, -ext.x_bearing - ext.width / 2, -ext.y_bearing - ext.height / 2);
        } else {
            cairo_move_to(cr, 0, 0);
        }
        set_colour(cr, line_rgb(aci_rgb(aci)));
        cairo_show_text(cr, u.c_str());
        cairo_restore(cr);
    }
}

// 5. The overlay: a halo, then the vector itself.
void draw_overlay(cairo_t *cr, const View &v, const std::vector<Overlay> &overlay)
{
    for (int pass = 0; pass < 2; pass++) {
        for (const auto &o : overlay) {
            if (pass == 0) {
                if (!o.highlight)
                    continue;
                cairo_set_source_rgba(cr, 1.0, 0.55, 0.0, 0.45);
                cairo_set_line_width(cr, 9);
            } else {
                set_colour(cr, line_rgb(aci_rgb(o.colour <= 0 ? 7 : o.colour)));
                cairo_set_line_width(cr, o.highlight ? 3.5 : 2.5);
            }
            segment(cr, v, o.from, o.to);
            cairo_stroke(cr);
        }
    }
}

std::string png_bytes(cairo_surface_t *surface)
{
    cairo_surface_flush(surface);
    std::string png;
    auto append = [](void *into, const unsigned char *data, unsigned int n) {
        static_cast<std::string *>(into)->append(reinterpret_cast<const char *>(data), n);
        return CAIRO_STATUS_SUCCESS;
    };
    cairo_status_t st = cairo_surface_write_to_png_stream(surface, append, &png);
    if (st != CAIRO_STATUS_SUCCESS)
        throw DxfError{std::string("cannot draw the picture: ") + cairo_status_to_string(st)};
    return png;
}

}  // namespace

void set_line_colour(cairo_t *cr, int aci)
{
    set_colour(cr, line_rgb(aci_rgb(aci)));
}

std::string png_image(const Drawing &d, const std::vector<Overlay> &overlay)
{
    Scene sc = scene_of(d, overlay);
    int width, height;
    View v = fit(sc, width, height);
    int plan_height = height;
    height += (int)std::ceil(footer_height(sc.legend, width));

    cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t *cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    draw_faces(cr, v, sc);
    draw_lines(cr, v, sc);
    draw_points(cr, v, sc);
    draw_texts(cr, v, sc);
    draw_overlay(cr, v, overlay);
    draw_footer(cr, {v.scale, v.margin, sc.minx, sc.miny, sc.maxx, sc.maxy, sc.minz, sc.maxz, &sc.legend}, width,
                plan_height);
    cairo_destroy(cr);
    try {
        std::string png = png_bytes(surface);
        cairo_surface_destroy(surface);
        return png;
    } catch (...) {
        cairo_surface_destroy(surface);
        throw;
    }
}

}  // namespace velmora
