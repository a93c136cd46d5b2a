// bench_cutfill -- the whole cut and fill computation (both surfaces checked
// for overlaps, overlay, volumes, bands, zero line joined) against CGAL's
// box_intersection_d with an exact triangle-triangle test on every pair it
// reports, on the same two surfaces in the same run; prints both times and
// ours/CGAL.  The map's pieces, made again by the command while it draws,
// are timed apart.
//
//   bench_cutfill [scale]    scale 1 (default): two surfaces of about
//                            100,000 triangles each; 0.1 for a quick look
#define CGAL_DISABLE_GMP 1
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/box_intersection_d.h>
#include <CGAL/intersections.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#include "cutfill.h"
#include "polylines.h"

using velmora::Triangle;
using velmora::Vec3;

typedef CGAL::Exact_predicates_inexact_constructions_kernel K;
typedef CGAL::Box_intersection_d::Box_with_info_d<double, 2, std::size_t> Box;

// Processor time of this process: the machine is shared, wall time is not fair.
static double seconds_since(std::clock_t t0)
{
    return double(std::clock() - t0) / CLOCKS_PER_SEC;
}

// A terrain of n x n cells of size h, turned by `angle` about the origin,
// inner nodes moved by up to a fifth of a cell, each cell split along a
// random diagonal.
static std::vector<Triangle> terrain(int n, double h, double angle, double x0, double y0, double z0,
                                     unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> jitter(-0.2, 0.2);
    double c = std::cos(angle), s = std::sin(angle);
    std::vector<Vec3> p(std::size_t(n + 1) * (n + 1));
    for (int i = 0; i <= n; i++)
        for (int j = 0; j <= n; j++) {
            double u = i * h, v = j * h;
            if (i > 0 && i < n)
                u += jitter(gen) * h;
            if (j > 0 && j < n)
                v += jitter(gen) * h;
            double x = x0 + c * u - s * v, y = y0 + s * u + c * v;
            double z = z0 + 6 * std::sin(x / 53 + seed) * std::cos(y / 41) + 0.01 * (x - x0);
            p[std::size_t(i) * (n + 1) + j] = Vec3{x, y, z};
        }
    std::vector<Triangle> t;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            auto at = [&](int a, int b) { return p[std::size_t(a) * (n + 1) + b]; };
            if (gen() & 1) {
                t.push_back(Triangle{{at(i, j), at(i + 1, j), at(i + 1, j + 1)}});
                t.push_back(Triangle{{at(i, j), at(i + 1, j + 1), at(i, j + 1)}});
            } else {
                t.push_back(Triangle{{at(i, j), at(i + 1, j), at(i, j + 1)}});
                t.push_back(Triangle{{at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)}});
            }
        }
    return t;
}

static std::vector<Box> boxes(const std::vector<Triangle> &t)
{
    std::vector<Box> b;
    b.reserve(t.size());
    for (std::size_t k = 0; k < t.size(); k++) {
        const Vec3 *p = t[k].p;
        double lo[2] = {std::min({p[0].x, p[1].x, p[2].x}), std::min({p[0].y, p[1].y, p[2].y})};
        double hi[2] = {std::max({p[0].x, p[1].x, p[2].x}), std::max({p[0].y, p[1].y, p[2].y})};
        b.push_back(Box(lo, hi, k));
    }
    return b;
}

int main(int argc, char **argv)
{
    double scale = argc > 1 ? std::atof(argv[1]) : 1.0;
    int n = std::max(4, int(std::lround(std::sqrt(50000.0 * scale))));
    // Two terrains over about the same square at a survey site, the design
    // turned by 7 degrees and of another cell size, so edges cross everywhere.
    std::vector<Triangle> ground = terrain(n, 2.0, 0.0, 512000, 4031000, 300, 1);
    std::vector<Triangle> design = terrain(n, 2.0 * 1.03, 7 * M_PI / 180, 512010, 4030990, 300.5, 2);

    double ours = 1e300, theirs = 1e300, map = 1e300;
    std::size_t pieces = 0;
    std::size_t cells = 0, lines = 0, pairs = 0;
    double cut = 0, fill = 0;
    for (int round = 0; round < 3; round++) {
        std::clock_t t0 = std::clock();
        velmora::CutFill r;
        std::string message;
        if (!velmora::cutfill(ground, &design, 0, 0, r, message)) {
            std::printf("cutfill failed: %s\n", message.c_str());
            return 1;
        }
        lines = velmora::join_segments(r.zero).size();
        ours = std::min(ours, seconds_since(t0));
        cells = r.cells;
        // The map's pieces, which the command makes again while it draws.
        t0 = std::clock();
        pieces = 0;
        velmora::cutfill_map(r, [&](const velmora::CfVertex *, int, int, std::uint16_t) { pieces++; });
        map = std::min(map, seconds_since(t0));
        cut = r.cut;
        fill = r.fill;

        // The peer: the pairs whose boxes meet, each tested exactly.
        std::vector<Box> a = boxes(ground), b = boxes(design);
        t0 = std::clock();
        std::size_t hits = 0;
        CGAL::box_intersection_d(a.begin(), a.end(), b.begin(), b.end(), [&](const Box &p, const Box &q) {
            const Vec3 *u = ground[p.info()].p, *v = design[q.info()].p;
            K::Triangle_2 s(K::Point_2(u[0].x, u[0].y), K::Point_2(u[1].x, u[1].y), K::Point_2(u[2].x, u[2].y));
            K::Triangle_2 t(K::Point_2(v[0].x, v[0].y), K::Point_2(v[1].x, v[1].y), K::Point_2(v[2].x, v[2].y));
            if (CGAL::do_intersect(s, t))
                hits++;
        });
        theirs = std::min(theirs, seconds_since(t0));
        pairs = hits;
    }
    std::printf("cutfill %zu + %zu triangles: ours %7.3f s (%zu cells, %zu zero lines, cut %.1f, fill %.1f)"
                "  CGAL boxes + triangle tests %7.3f s (%zu pairs)  ours/CGAL %5.2f\n",
                ground.size(), design.size(), ours, cells, lines, cut, fill, theirs, pairs, ours / theirs);
    std::printf("cutfill map for drawing: %7.3f s (%zu pieces)\n", map, pieces);
    return 0;
}
