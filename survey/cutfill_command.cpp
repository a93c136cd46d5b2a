// cutfill_command.cpp -- the host command CUTFILL: cut and fill between the
// existing ground and a design.
//
//   cutfill
//   <selection of the existing ground>
//   <selection of the design> | level H
//   [band W] [report FILE.csv] Enter
//
// Prints the volumes and areas, draws the zero line as 3D polylines on layer
// CUTFILL-ZERO and the cut/fill map as 3DFACEs on layer CUTFILL-MAP, and
// writes the report.  Nothing is drawn or written unless the whole
// computation succeeded.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cutfill.h"
#include "dxf_common.h"
#include "polylines.h"
#include "session.h"
#include "surfaces.h"
#include "text.h"

namespace velmora {
namespace {

const char *const zero_layer = "CUTFILL-ZERO";
const char *const map_layer = "CUTFILL-MAP";

// The drawing's length unit from $INSUNITS, as written after a quantity
// ("m" gives "m2" and "m3"); empty when unset or unitless.
std::string drawing_unit(const Drawing &d)
{
    static const char *const names[] = {"",   "in", "ft", "mi", "mm",  "cm",  "m",  "km",
                                        "uin", "mil", "yd", "A",  "nm", "um",  "dm", "dam",
                                        "hm",  "Gm", "AU", "ly", "pc", "usft"};
    int u = dxf_insunits(d);
    return u > 0 && u < int(sizeof names / sizeof names[0]) ? names[u] : "";
}

std::string fmt(const char *format, double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

// The triangles of one selection; false (with the message given) when it
// holds no face.
bool surface(Session &s, const std::string &prompt, const char *what, std::vector<Triangle> &tris)
{
    std::vector<std::uint64_t> ids;
    if (!s.select(prompt, ids))
        return false;
    int skipped = 0;
    int used = collect_triangles(s.drawing(), ids, tris, &skipped);
    for (int i = 0; i < skipped; i++)
        s.print("\nCUTFILL: a polygon mesh whose vertex count does not match its size is left out");
    if (used == 0)
        return s.error(std::string("CUTFILL: no 3DFACE or polygon mesh in the ") + what + " selection");
    return true;
}

std::string band_name(int k)
{
    if (k == cf_no_change)
        return "no change";
    return k >= 0 ? "cut " + std::to_string(k + 1) : "fill " + std::to_string(-k);
}

bool write_report(const std::string &path, const CutFill &r, const std::string &unit)
{
    std::FILE *f = std::fopen(path.c_str(), "w");
    if (!f)
        return false;
    std::string u1 = unit.empty() ? "" : " (" + unit + ")";
    std::string u2 = unit.empty() ? "" : " (" + unit + "2)";
    std::string u3 = unit.empty() ? "" : " (" + unit + "3)";
    std::fprintf(f, "band,from%s,to%s,colour,area%s,volume%s\n", u1.c_str(), u1.c_str(), u2.c_str(),
                 u3.c_str());
    // Every band from the deepest fill to the deepest cut met; where the
    // surfaces coincide, a row of its own between the two.
    int first = -1, last = -1;
    for (int k = 0; k < int(r.totals.size()); k++)
        if (r.totals[std::size_t(k)].area > 0) {
            if (first < 0)
                first = k;
            last = k;
        }
    bool same_written = r.same_area <= 0;
    for (int k = first; first >= 0 && k <= last; k++) {
        int band = k + r.band_lo;
        if (band == 0 && !same_written) {
            std::fprintf(f, "no change,0,0,%d,%.15g,0\n", cf_band_colour(cf_no_change), r.same_area);
            same_written = true;
        }
        const CfBandTotal &t = r.totals[std::size_t(k)];
        std::fprintf(f, "%s,%.12g,%.12g,%d,%.15g,%.15g\n", band_name(band).c_str(), band * r.band,
                     (band + 1) * r.band, cf_band_colour(band), t.area, std::fabs(t.volume));
    }
    if (!same_written)
        std::fprintf(f, "no change,0,0,%d,%.15g,0\n", cf_band_colour(cf_no_change), r.same_area);
    std::fprintf(f, "cut,,,,%.15g,%.15g\n", r.cut_area, r.cut);
    std::fprintf(f, "fill,,,,%.15g,%.15g\n", r.fill_area, r.fill);
    std::fprintf(f, "net,,,,%.15g,%.15g\n", r.area, r.cut - r.fill);
    bool ok = !std::ferror(f);
    return std::fclose(f) == 0 && ok;
}

// The map piece p[0..n) as 3DFACEs fanned from its first corner, four
// corners where they last; only sides along a band level are visible.
void draw_piece(Session &s, const CfVertex *p, int n, std::uint16_t level_edges, int colour)
{
    auto corner = [&](int k) { return Vec3{p[k].x, p[k].y, p[k].z}; };
    for (int k = 1; k + 1 < n; k += 2) {
        bool quad = k + 2 < n;
        int last = quad ? k + 2 : k + 1;
        Entity e;
        e.type = "3DFACE";
        e.pts = {corner(0), corner(k), corner(k + 1), corner(last)};
        // Face edges 1-2, 2-3, 3-4, 4-1 and the piece sides they lie on
        // (-1: a diagonal inside the piece, or the repeated last corner).
        int side[4] = {k == 1 ? 0 : -1, k, quad ? k + 1 : -1, last == n - 1 ? n - 1 : -1};
        for (int i = 0; i < 4; i++)
            if (side[i] < 0 || !(level_edges & (1u << side[i])))
                e.face_hidden |= 1 << i;
        add_on_layer(s, std::move(e), map_layer).colour = colour;
    }
}

bool cutfill_command(Session &s)
{
    std::vector<Triangle> ground, design;
    if (!surface(s, "\nSelect the existing ground (3DFACE or mesh): ", "existing ground", ground))
        return false;

    s.print("\nSelect the design (3DFACE or mesh), or Level <height>: ");
    std::string word;
    bool level = false;
    double height = 0;
    if (!s.next_word(word))
        return s.error("CUTFILL: the input ended before the design");
    if (lower(word) == "level") {
        std::string h;
        if (!s.next_word(h) || !parse_number(h, height))
            return s.error("CUTFILL: level takes a height, such as \"level 250\"");
        level = true;
    } else {
        s.push_input(word + " ");
        if (!surface(s, "", "design", design))
            return false;
    }

    double band = 0;
    std::string report;
    for (;;) {
        s.print("\nBand <width>, Report <file.csv>, or Enter: ");
        if (!s.next_word(word) || word.empty())
            break;
        std::string value, w = lower(word);
        if (w == "band") {
            if (!s.next_word(value) || !parse_number(value, band) || !(band > 0))
                return s.error("CUTFILL: band takes a positive width, such as \"band 0.5\"");
        } else if (w == "report") {
            if (!s.next_word(value) || value.empty())
                return s.error("CUTFILL: report takes a file name");
            report = value;
        } else {
            return s.error("CUTFILL: \"" + word + "\" is not band, report or Enter");
        }
    }

    CutFill r;
    std::string message;
    if (!cutfill(ground, level ? nullptr : &design, height, band, r, message))
        return s.error(message);
    std::string unit = drawing_unit(s.drawing());
    if (!report.empty() && !write_report(report, r, unit))
        return s.error("CUTFILL: cannot write " + report);

    std::vector<Polyline> zero = join_segments(r.zero);
    for (const Polyline &pl : zero)
        add_on_layer(s, polyline_entity(pl), zero_layer);
    std::size_t faces = s.drawing().entities.size();
    cutfill_map(r, [&](const CfVertex *p, int n, int band, std::uint16_t level_edges) {
        draw_piece(s, p, n, level_edges, cf_band_colour(band));
    });
    faces = s.drawing().entities.size() - faces;

    std::string u2 = unit.empty() ? "" : " " + unit + "2", u3 = unit.empty() ? "" : " " + unit + "3";
    std::string out = "\nCUTFILL: " + std::to_string(r.ground_faces) + " ground triangles against " +
                      (level ? "the level " + fmt("%g", height)
                             : std::to_string(r.design_faces) + " design triangles") +
                      ", " + std::to_string(r.cells) + " cells";
    out += "\nCut volume:    " + fmt("%.6f", r.cut) + u3;
    out += "\nFill volume:   " + fmt("%.6f", r.fill) + u3;
    out += "\nNet volume:    " + fmt("%.6f", r.cut - r.fill) + u3 + " (cut - fill)";
    out += "\nCut area:      " + fmt("%.6f", r.cut_area) + u2;
    out += "\nFill area:     " + fmt("%.6f", r.fill_area) + u2;
    out += "\nArea compared: " + fmt("%.6f", r.area) + u2;
    out += "\nZero line:     " + std::to_string(zero.size()) + " polylines on layer " + zero_layer;
    out += "\nMap:           " + std::to_string(faces) + " faces on layer " + map_layer + ", bands of " +
           fmt("%g", r.band) + (unit.empty() ? "" : " " + unit);
    if (!report.empty())
        out += "\nReport:        " + report;
    s.print(out + "\n");
    return true;
}

const bool registered = (register_host_command("CUTFILL", cutfill_command), true);

}  // namespace
}  // namespace velmora
