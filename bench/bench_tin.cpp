// bench_tin -- lib_triangulate against CGAL's Delaunay_triangulation_2 on the
// same point sets, timed in the same run; prints both times and ours/CGAL.
//
//   bench_tin [scale]     scale 1 (default): 10k and 100k random points and a
//                         300 x 300 DEM grid; 0.1 for a quick look
//   bench_tin scale plain  the same without the library's edge grid
#define CGAL_DISABLE_GMP 1
#include <CGAL/Delaunay_triangulation_2.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>

#include <ctime>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tin.h"

typedef CGAL::Exact_predicates_inexact_constructions_kernel K;
typedef CGAL::Delaunay_triangulation_2<K> DT;

static long faces;
static int count_face(tin_point, tin_point, tin_point) { faces++; return 0; }

// Processor time of this process: the machine is shared, wall time is not fair.
static double seconds_since(std::clock_t t0)
{
    return double(std::clock() - t0) / CLOCKS_PER_SEC;
}

static void compare(const char *name, const std::vector<tin_point> &pts, int rounds)
{
    double ours = 1e300, theirs = 1e300;
    long our_faces = 0, their_faces = 0;
    for (int r = 0; r < rounds; r++) {
        std::vector<tin_point> work(pts);
        int32_t n;
        faces = 0;
        std::clock_t t0 = std::clock();
        int res = lib_triangulate((int32_t)work.size(), work.data(), nullptr, 0, 0, count_face, &n, 0);
        double t = seconds_since(t0);
        if (res != 0) {
            std::printf("%-22s library failed\n", name);
            return;
        }
        ours = std::min(ours, t);
        our_faces = faces;

        std::vector<K::Point_2> cp;
        cp.reserve(pts.size());
        t0 = std::clock();
        for (const tin_point &p : pts)
            cp.emplace_back(p.x, p.y);
        DT dt;
        dt.insert(cp.begin(), cp.end());
        t = seconds_since(t0);
        theirs = std::min(theirs, t);
        their_faces = (long)dt.number_of_faces();
    }
    std::printf("%-22s n=%7zu  ours %8.3f s (%ld tin.tri)  CGAL %8.3f s (%ld tin.tri)  ours/CGAL %6.1f\n",
                name, pts.size(), ours, our_faces, theirs, their_faces, ours / theirs);
    std::fflush(stdout);
}

static std::vector<tin_point> random_points(int n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> d(0, 1000);
    std::vector<tin_point> p(n);
    for (auto &q : p)
        q = {500000 + d(gen), 4000000 + d(gen), d(gen) / 10};
    return p;
}

static std::vector<tin_point> dem_grid(int side)
{
    std::vector<tin_point> p;
    for (int i = 0; i < side; i++)
        for (int j = 0; j < side; j++)
            p.push_back({300000 + 5.0 * i, 5000000 + 5.0 * j,
                         200 + 30 * std::sin(i * 0.05) * std::cos(j * 0.04)});
    return p;
}

int main(int argc, char **argv)
{
    double scale = argc > 1 ? std::atof(argv[1]) : 1.0;
    if (!(scale > 0))
        scale = 1;
    // second argument: "plain" (no edge grid), or any of nogrid, nobands,
    // nosides, noopen, nohints joined by commas, to time one acceleration's share
    std::string off = argc > 2 ? argv[2] : "";
    if (off == "plain" || off.find("nogrid") != std::string::npos)
        tin_opts.use_grid = 0;
    if (off.find("nobands") != std::string::npos)
        tin_opts.use_bands = 0;
    if (off.find("nosides") != std::string::npos)
        tin_opts.use_sides = 0;
    if (off.find("noopen") != std::string::npos)
        tin_opts.use_open = 0;
    if (off.find("nohints") != std::string::npos)
        tin_opts.use_hints = 0;
    compare("random 10k", random_points((int)(10000 * scale), 1), 3);
    compare("random 100k", random_points((int)(100000 * scale), 2), 1);
    int side = (int)(300 * std::sqrt(scale));
    compare("DEM grid", dem_grid(side < 3 ? 3 : side), 1);
    return 0;
}
