// bench_tin -- lib_triangulate against CGAL on the same points in the same
// run: per case our time, CGAL's, and ours/CGAL, each the least of a few
// rounds of processor time (the machine is shared; the least is the
// closest to the work itself).
//
//   bench_tin [--rounds R] [--scale S] [--dem FILE] [--only NAME] [--tiers] [--ten-million]
//
//   cases   random 100k and 1M points (eastings near 500,000 m, northings
//           near 4,500,000 m), a 1000 x 1000 grid, the DEM points of FILE
//           (x y z doubles, see tools/dem_points.py), 200k points with an
//           outline and 20 holes against CGAL's constrained triangulation
//   --scale multiplies the point counts (0.1 for a quick look)
//   --tiers prints how the fast search found its triangles
//   --ten-million  only 10,000,000 random points (one round), with the
//           process's peak resident size after our run and after CGAL's
#define CGAL_DISABLE_GMP 1
#include <CGAL/Constrained_Delaunay_triangulation_2.h>
#include <CGAL/Delaunay_triangulation_2.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <sys/resource.h>
#include <string>
#include <vector>

#include "tin_int.h"

typedef CGAL::Exact_predicates_inexact_constructions_kernel K;
typedef CGAL::Delaunay_triangulation_2<K> DT;
typedef CGAL::Constrained_Delaunay_triangulation_2<K, CGAL::Default, CGAL::Exact_predicates_tag> CDT;

static long faces;
static int count_face(tin_point, tin_point, tin_point)
{
    faces++;
    return 0;
}

static void say_error(const char *text)
{
    std::fprintf(stderr, "library:%s\n", text);
}

static double cpu_now()
{
    return double(std::clock()) / CLOCKS_PER_SEC;
}

struct Case {
    std::string name;
    std::vector<tin_point> pts;
    std::vector<tin_line> lines;
    int16_t groups = 0;
};

struct Result {
    double ours = 1e300, theirs = 1e300;
    long our_faces = 0, their_faces = 0;
    bool failed = false;
};

static double run_ours(const Case &c, long *nf)
{
    std::vector<tin_point> work(c.pts);
    int32_t n;
    faces = 0;
    double t0 = cpu_now();
    int r = lib_triangulate((int32_t)work.size(), work.data(), c.lines.empty() ? nullptr : c.lines.data(),
                            (int32_t)c.lines.size(), c.groups, count_face, &n, 0);
    double t = cpu_now() - t0;
    *nf = faces;
    return r == 0 ? t : -1;
}

static double run_theirs(const Case &c, long *nf)
{
    double t0 = cpu_now();
    std::vector<K::Point_2> cp;
    cp.reserve(c.pts.size());
    for (const tin_point &p : c.pts)
        cp.emplace_back(p.x, p.y);
    if (c.lines.empty()) {
        DT dt;
        dt.insert(cp.begin(), cp.end());
        double t = cpu_now() - t0;
        *nf = (long)dt.number_of_faces();
        return t;
    }
    CDT cdt;
    cdt.insert(cp.begin(), cp.end());
    for (const tin_line &l : c.lines)
        cdt.insert_constraint(K::Point_2(l.x1, l.y1), K::Point_2(l.x2, l.y2));
    double t = cpu_now() - t0;
    *nf = (long)cdt.number_of_faces();
    return t;
}

static Result compare(const Case &c, int rounds, bool tiers)
{
    Result r;
    tin_fast_count = tin_fast_stats();
    for (int i = 0; i < rounds; i++) {
        long nf = 0;
        double t = run_ours(c, &nf);
        if (t < 0) {
            std::printf("%-24s n=%8zu  the library failed\n", c.name.c_str(), c.pts.size());
            r.failed = true;
            return r;
        }
        r.ours = std::min(r.ours, t);
        r.our_faces = nf;
        t = run_theirs(c, &nf);
        r.theirs = std::min(r.theirs, t);
        r.their_faces = nf;
    }
    std::printf("%-24s n=%8zu  ours %8.3f s  CGAL %8.3f s  ours/CGAL %5.2f   (%ld / %ld triangles)\n",
                c.name.c_str(), c.pts.size(), r.ours, r.theirs, r.ours / r.theirs, r.our_faces,
                r.their_faces);
    if (tiers) {
        const tin_fast_stats &s = tin_fast_count;
        std::printf("%24s direct %ld cluster %ld checked %ld (wide %ld) straight %ld hull %ld forced %ld stray %ld bent %ld better %ld\n",
                    "", s.direct / rounds, s.cluster / rounds, s.checked / rounds, s.wide / rounds,
                    s.straight / rounds, s.hull / rounds, s.forced / rounds, s.stray / rounds,
                    s.bent / rounds, s.better / rounds);
    }
    std::fflush(stdout);
    return r;
}

static double peak_mb()
{
    struct rusage u;
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024.0;
}

// Ten million points: ours first, so that the peak read after it is ours
// (and the points'); CGAL's follows in the same process.
static void ten_million(const Case &c)
{
    long nf = 0, cf = 0;
    double before = peak_mb();
    double t = run_ours(c, &nf);
    double ours_peak = peak_mb();
    if (t < 0) {
        std::printf("%-24s n=%8zu  the library failed\n", c.name.c_str(), c.pts.size());
        return;
    }
    double tc = run_theirs(c, &cf);
    std::printf("%-24s n=%8zu  ours %8.3f s  CGAL %8.3f s  ours/CGAL %5.2f   (%ld / %ld triangles)\n",
                c.name.c_str(), c.pts.size(), t, tc, t / tc, nf, cf);
    std::printf("%24s peak %.0f MB before, %.0f MB after ours, %.0f MB after CGAL\n", "", before,
                ours_peak, peak_mb());
}

static Case random_case(const char *name, int n, unsigned seed)
{
    Case c;
    c.name = name;
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> d(0, 1);
    double side = 1000 * std::sqrt(n / 1e6);        // a point per square metre
    c.pts.resize(n);
    for (tin_point &p : c.pts)
        p = {500000 + side * d(gen), 4500000 + side * d(gen), 200 + 50 * d(gen)};
    return c;
}

static Case grid_case(int side)
{
    Case c;
    c.name = "grid " + std::to_string(side) + " x " + std::to_string(side);
    for (int i = 0; i < side; i++)
        for (int j = 0; j < side; j++)
            c.pts.push_back({500000.0 + i, 4500000.0 + j, 200 + 30 * std::sin(i * 0.05) * std::cos(j * 0.04)});
    // survey files come in no particular order
    std::shuffle(c.pts.begin(), c.pts.end(), std::mt19937(7));
    return c;
}

static bool dem_case(const char *file, Case *c)
{
    FILE *f = std::fopen(file, "rb");
    if (!f)
        return false;
    double v[3];
    while (std::fread(v, sizeof v, 1, f) == 1)
        c->pts.push_back({v[0], v[1], v[2]});
    std::fclose(f);
    c->name = "DEM";
    return !c->pts.empty();
}

// Random points in a square with an outline (group 1) just inside its
// border and 20 holes (groups 2 to 21), every corner a survey point.
static Case constrained_case(int n, unsigned seed)
{
    Case c;
    c.name = "outline + 20 holes";
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> d(0, 1);
    double side = 1000 * std::sqrt(n / 1e6), x0 = 500000, y0 = 4500000;
    auto ring = [&](double cx, double cy, double r, int k, int16_t g) {
        std::vector<tin_point> v;
        for (int i = 0; i < k; i++) {
            double a = 2 * M_PI * i / k, rr = r * (0.85 + 0.3 * d(gen));
            v.push_back({cx + rr * std::cos(a), cy + rr * std::sin(a), 100 + 10 * d(gen)});
        }
        for (int i = 0; i < k; i++) {
            const tin_point &a = v[i], &b = v[(i + 1) % k];
            tin_line l;
            l.x1 = a.x; l.y1 = a.y; l.z1 = a.z;
            l.x2 = b.x; l.y2 = b.y; l.z2 = b.z;
            l.group = g;
            c.lines.push_back(l);
            c.pts.push_back(a);
        }
    };
    ring(x0 + side / 2, y0 + side / 2, side * 0.48, 96, 1);
    for (int h = 0; h < 20; h++) {
        double cx = x0 + side * (0.25 + 0.5 * ((h % 5) + 0.25 + 0.5 * d(gen)) / 5);
        double cy = y0 + side * (0.25 + 0.5 * ((h / 5) + 0.25 + 0.5 * d(gen)) / 4);
        ring(cx, cy, side * (0.015 + 0.015 * d(gen)), 12 + h % 7, (int16_t)(2 + h));
    }
    while ((int)c.pts.size() < n)
        c.pts.push_back({x0 + side * d(gen), y0 + side * d(gen), 200 + 50 * d(gen)});
    c.groups = 21;
    return c;
}

int main(int argc, char **argv)
{
    int rounds = 3;
    double scale = 1;
    const char *dem = nullptr, *only = nullptr;
    bool tiers = false;
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "--rounds") && i + 1 < argc) rounds = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--scale") && i + 1 < argc) scale = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--dem") && i + 1 < argc) dem = argv[++i];
        else if (!std::strcmp(argv[i], "--only") && i + 1 < argc) only = argv[++i];
        else if (!std::strcmp(argv[i], "--tiers")) tiers = true;
        else if (!std::strcmp(argv[i], "--ten-million")) only = "random 10M";
        else {
            std::fprintf(stderr, "usage: bench_tin [--rounds R] [--scale S] [--dem FILE] [--only NAME] [--tiers] [--ten-million]\n");
            return 2;
        }
    }
    if (rounds < 1) rounds = 1;
    tin_hooks hooks = {nullptr, nullptr, say_error, nullptr};
    tin_set_hooks(&hooks);
    if (!(scale > 0)) scale = 1;
    auto want = [&](const char *name) { return !only || std::strstr(name, only); };

    if (only && !std::strcmp(only, "random 10M")) {
        ten_million(random_case("random 10M", (int)(10000000 * scale), 4));
        return 0;
    }
    Result small, large;
    if (want("random 100k"))
        small = compare(random_case("random 100k", (int)(100000 * scale), 1), rounds, tiers);
    if (want("random 1M"))
        large = compare(random_case("random 1M", (int)(1000000 * scale), 2), rounds, tiers);
    if (small.ours < 1e300 && large.ours < 1e300) {
        double n1 = 100000 * scale, n2 = 1000000 * scale;
        double nlogn = (n2 * std::log(n2)) / (n1 * std::log(n1));
        std::printf("%-24s ours 1M / 100k = %.2f, n log n grows %.2f: %.2f x n log n\n", "growth",
                    large.ours / small.ours, nlogn, large.ours / small.ours / nlogn);
    }
    if (want("grid"))
        compare(grid_case((int)(1000 * std::sqrt(scale))), rounds, tiers);
    Case d;
    if (dem && want("DEM")) {
        if (dem_case(dem, &d))
            compare(d, rounds, tiers);
        else
            std::printf("%-24s cannot read %s\n", "DEM", dem);
    }
    if (want("outline"))
        compare(constrained_case((int)(200000 * scale), 3), rounds, tiers);
    return 0;
}
