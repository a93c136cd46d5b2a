// cutfill.h -- cut and fill between two surfaces, exact: the overlay of two
// triangulations in plan, the difference of their heights integrated cell by
// cell, the zero line where it changes sign, and depth bands for a map.
//
// The existing ground minus the design is the depth d: d > 0 is cut (ground
// above the design, material removed), d < 0 is fill.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "drawing.h"
#include "surfaces.h"

namespace velmora {

// A corner of an overlay cell or map piece: plan position, the existing
// ground's height z there and the depth d (ground minus design).
struct CfVertex {
    double x, y, z, d;
};

// Band k holds depths from k*width to (k+1)*width: k >= 0 cut, k < 0 fill.
// Pieces where the surfaces coincide (d = 0 throughout) have band cf_no_change.
constexpr int cf_no_change = -1000000;

struct CfBandTotal {
    double area = 0;
    double volume = 0;   // integral of d: positive in cut bands, negative in fill bands
};

struct CutFill {
    std::size_t ground_faces = 0, design_faces = 0;  // triangles with a plan area
    std::size_t cells = 0;                             // of the overlay: both surfaces' planes hold in each
    double cut = 0, fill = 0;                          // volumes, both >= 0
    double cut_area = 0, fill_area = 0, same_area = 0; // d > 0, d < 0, d = 0 throughout
    double area = 0;                                   // compared: their sum
    double dmin = 0, dmax = 0;                         // extreme depths
    double tolerance = 0;                              // depths this close to a level lie on it
    double band = 0;                                   // band width
    int band_lo = 0;                                   // band of totals[0]
    std::vector<CfBandTotal> totals;                   // per band, band_lo upwards
    std::vector<std::array<Vec3, 2>> zero;             // the zero line, segment by segment
    std::shared_ptr<const void> work;                  // the prepared surfaces, for the map
};

// The first place where a surface overlaps itself in plan: triangles i < j
// (in the order given) whose interiors overlap, i smallest, then j; `where`
// is a point inside both.  False when the surface is a single sheet.
bool cf_self_overlap(const std::vector<Triangle> &tris, Vec3 &where, bool plain = false);

// The whole computation.  `design` null: the design is the level plane at
// `level`.  `band` 0 picks a round band width giving at most ten bands on
// either side.  False with a message for the user when the surfaces cannot
// be compared.  `plain` tests every pair of triangles instead of using the
// grid index (same result, for tests).
bool cutfill(const std::vector<Triangle> &ground, const std::vector<Triangle> *design, double level,
             double band, CutFill &out, std::string &message, bool plain = false);

// The round band width for the deepest depth `deepest` (> 0): the smallest
// of 1, 2, 2.5 and 5 times a power of ten giving at most ten bands.
double cf_band_width(double deepest);

// The map: calls piece(corners, n, band, level_edges) for every piece of the
// cells cut along the band levels (a convex polygon, counter-clockwise in
// plan; bit i of level_edges: its side from corner i to i+1 lies on a band
// level), in the order the totals were made.
using CfPieceFn = std::function<void(const CfVertex *corners, int n, int band, std::uint16_t level_edges)>;
void cutfill_map(const CutFill &r, const CfPieceFn &piece);

// ACI colour of band k in the map.
int cf_band_colour(int band);

}  // namespace velmora
