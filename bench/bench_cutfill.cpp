// bench_cutfill -- the whole cut and fill computation (both surfaces checked
// for overlaps, overlay, volumes, bands, zero line joined) against CGAL's
// box_intersection_d with an exact triangle-triangle test on every pair it
// reports, on the same two surfaces in the same run; prints both times and
// ours/CGAL.  The map's pieces, made again by the command while it draws,
// are timed apart.
//
//   bench_cutfill [scale]    scale 1 (default): two surfaces of about
//                            100,000 triangles each; 0.1 for a quick look
#include "terrains.h"

#include <CGAL/intersections.h>

#include <cstdio>
#include <cstdlib>

#include "cutfill.h"
#include "polylines.h"

typedef CGAL::Box_intersection_d::Box_with_info_d<double, 2, std::size_t> Box;

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
        std::vector<Box> a = boxes<2>(ground), b = boxes<2>(design);
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
