// The fast search against the straightforward one (the oracle): the same corners in the same order for every family;
// the fast one's counters show each still reaches its paths.  Up to 200,000 points, a twentieth under ASan
// (VELMORA_TEST_SCALE overrides either).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>

#include "tin_check.h"

namespace {

double scale()
{
    if (const char *s = std::getenv("VELMORA_TEST_SCALE"))
        return std::atof(s) > 0 ? std::atof(s) : 1;
#if defined(__SANITIZE_ADDRESS__)
    return 0.05;
#else
    return 1;
#endif
}

int sized(int n)
{
    return std::max(50, (int)(n * scale()));
}

struct Outcome { tt::Run run; tin_fast_stats count; };

Outcome run_with(int search, const std::vector<tin_point> &pts,
                 const std::vector<tin_line> &lines = {}, int16_t groups = 0)
{
    tin_opts.search = search;
    tin_fast_count = tin_fast_stats();
    Outcome o;
    o.run = tt::run(pts, lines, groups);
    o.count = tin_fast_count;
    tin_opts.search = TIN_SEARCH_FAST;
    return o;
}

// Same result, same corners in the same order; returns the fast run.
Outcome expect_same(const std::string &what, const std::vector<tin_point> &pts,
                        const std::vector<tin_line> &lines = {}, int16_t groups = 0, bool fast_does_work = true)
{
    tt::Listen quiet;
    Outcome ref = run_with(TIN_SEARCH_STRAIGHT, pts, lines, groups);
    Outcome fast = run_with(TIN_SEARCH_FAST, pts, lines, groups);
    EXPECT_EQ(ref.run.result, fast.run.result) << what;
    EXPECT_EQ(ref.run.raw.size(), fast.run.raw.size()) << what;
    size_t n = std::min(ref.run.raw.size(), fast.run.raw.size());
    for (size_t i = 0; i < n; i++) {
        const tin_point &a = ref.run.raw[i], &b = fast.run.raw[i];
        if (a.x != b.x || a.y != b.y || a.z != b.z) {
            ADD_FAILURE() << what << ": corner " << i % 3 << " of triangle " << i / 3
                          << " differs (" << a.x << "," << a.y << ") vs (" << b.x << "," << b.y << ")";
            break;
        }
    }
    // the fast search did the work, not only its fallback
    const tin_fast_stats &c = fast.count;
    long own = c.direct + c.cluster + c.checked + c.hull;
    if (fast_does_work && ref.run.tris.size() > 100) {
        EXPECT_GT(own, c.straight) << what;
    }
    return fast;
}

std::vector<tin_point> uniform(int n, unsigned seed, double x0, double y0, double side)
{
    std::mt19937_64 g(seed);
    std::uniform_real_distribution<double> d(0, 1);
    std::vector<tin_point> p(n);
    for (auto &q : p)
        q = {x0 + side * d(g), y0 + side * d(g), 100 * d(g)};
    return p;
}

TEST(Differential, RandomPointsAtSurveyAndLocalCoordinatesAndClustered)
{
    expect_same("200k projected", uniform(sized(200000), 1, 500000, 4500000, 447));
    expect_same("20k local", uniform(sized(20000), 2, 0, 0, 3.0));
    expect_same("20k negative", uniform(sized(20000), 3, -80000, -2000, 150));
    // integer coordinates: exact ties in x and collinear triples
    expect_same("30k integers", tt::random_points(sized(30000), 400, 4));

    // clustered
    std::mt19937_64 g(5);
    std::normal_distribution<double> spread(0, 3);
    std::uniform_real_distribution<double> d(0, 1);
    std::vector<tin_point> p;
    int clumps = 40, n = sized(100000);
    for (int c = 0; c < clumps; c++) {
        double cx = 600000 + 2000 * d(g), cy = 5100000 + 2000 * d(g);
        for (int i = 0; i < n / clumps; i++)
            p.push_back({cx + spread(g), cy + spread(g), 10 * d(g)});
    }
    tin_fast_stats c = expect_same("clumps", p).count;
    EXPECT_GT(c.direct, 0);
}

TEST(Differential, GridsAllCocircular)
{
    // integer spacing: every square's corners on one circle, the diagonal
    // chosen by the search's cosines and its sweep order
    std::vector<tin_point> grid, fine, sheared;
    int side = (int)std::sqrt(sized(200000));
    for (int i = 0; i < side; i++)
        for (int j = 0; j < side; j++)
            grid.push_back({500000.0 + 2 * i, 4500000.0 + 2 * j, (double)(i ^ j)});
    std::shuffle(grid.begin(), grid.end(), std::mt19937(6));
    tin_fast_stats c = expect_same("grid", grid).count;
    EXPECT_GT(c.cluster, 0);
    // An even number of columns puts the seed (the middle point in x, then
    // y) on the bottom row: the front meets each square from below or the
    // side, where the search's tie rule keeps the diagonal that avoids the
    // square's lowest-numbered corner, as the mesh breaks its ties.  No
    // square needs the mesh bent.
    std::vector<tin_point> even;
    int es = (int)std::sqrt(sized(40000)) & ~1;
    for (int i = 0; i < es; i++)
        for (int j = 0; j < es; j++)
            even.push_back({300000.0 + 3 * i, 5100000.0 + 3 * j, (double)(i + j)});
    std::shuffle(even.begin(), even.end(), std::mt19937(8));
    c = expect_same("even grid", even).count;
    EXPECT_GT(c.cluster, 0);
    EXPECT_EQ(c.bent, 0);
    // every lattice point on circles of radius 5525 (180 each) and 1105
    // (108), some with their centre: many points on one empty circle, where
    // the mesh's tie rule must still end its flips
    std::vector<tin_point> lattice;
    for (int r : {5525, 1105})
        for (int k = 0; k < 6; k++) {
            double cx = 500000.0 + 12000 * k, cy = 4500000.0 + 3 * r * (k % 2);
            for (int x = -r; x <= r; x++) {
                long long y2 = (long long)r * r - (long long)x * x;
                long long y = (long long)std::llround(std::sqrt((double)y2));
                if (y * y != y2)
                    continue;
                lattice.push_back({cx + x, cy + (double)y, (double)k});
                if (y != 0)
                    lattice.push_back({cx + x, cy - (double)y, (double)k});
            }
            if (k % 3 == 0)
                lattice.push_back({cx, cy, 9});
        }
    EXPECT_GT(expect_same("lattice circles", lattice).count.cluster, 0);
    // a spacing no double holds: rows and diagonals collinear only up to
    // rounding, where the crossing test of the search can err
    int fs = (int)std::sqrt(sized(40000));
    for (int i = 0; i < fs; i++)
        for (int j = 0; j < fs; j++)
            fine.push_back({1000.1 + 0.1 * i, 2000.3 + 0.1 * j, 1});
    expect_same("grid of 0.1", fine);
    // rows shifted by half a spacing: cocircular in other patterns
    for (int i = 0; i < fs; i++)
        for (int j = 0; j < fs; j++)
            sheared.push_back({i * 5.0 + (j % 2) * 2.5, j * 5.0, (double)(i + j)});
    expect_same("sheared", sheared);
}

// A latitude/longitude grid projected to metres: cocircular only nearly. `last` points in one more, partial row.
std::vector<tin_point> projected_grid(int rows, int cols, int last)
{
    std::vector<tin_point> dem;
    const double deg = M_PI / 180, k0 = 0.9996, a = 6378137.0;
    for (int r = 0; r <= rows; r++)
        for (int c = 0; c < (r < rows ? cols : last); c++) {
            double lat = (36.5 - r * (1 / 1200.0)) * deg, lon = (-84.0 + c * (1 / 1200.0)) * deg;
            double dl = lon - (-87.0 * deg);
            // spherical transverse Mercator: enough bending for the purpose
            double b = std::cos(lat) * std::sin(dl);
            double x = 500000 + k0 * a * 0.5 * std::log((1 + b) / (1 - b));
            double y = k0 * a * std::atan2(std::tan(lat), std::cos(dl));
            dem.push_back({x, y, 300 + 50 * std::sin(r * 0.1) * std::cos(c * 0.07)});
        }
    return dem;
}

TEST(Differential, ProjectedDemGrid)
{
    int rows = (int)std::sqrt(sized(140000) * 0.85), cols = (int)(rows / 0.85);
    tin_fast_stats c = expect_same("projected grid", projected_grid(rows, cols, 0)).count;
    EXPECT_GT(c.direct + c.cluster, 0);
    // The edge column bends inwards: edges given their second triangle later were searched again on the covered side,
    // piling triangles until the buffer was full.  A network of n points has at most 2n - 5 triangles.
    long wide = 0, better = c.better;
    for (int r : {52, 100})
        for (int last : {0, r / 2}) {
            std::string what = "projected grid " + std::to_string(r) + " rows, last " + std::to_string(last);
            Outcome o = expect_same(what, projected_grid(r, r + r / 5, last));
            EXPECT_EQ(o.run.result, 0) << what;
            EXPECT_LE((int64_t)o.run.tris.size(), 2 * (int64_t)o.run.n - 5) << what;
            wide += o.count.wide;
            better += o.count.better;
        }
    // the bent edge column makes slivers along the hull whose circles reach
    // far over the grid: checked cell by cell within the circle
    EXPECT_GT(wide, 0);
    // and some of those checks find a point the search prefers within
    // rounding of such a circle, and check it in turn
    EXPECT_GT(better, 0);
}

TEST(Differential, NearlyCocircularPointsPointsOnLinesAndCollinearHullPointsNeverTaken)
{
    // points on circles, moved by less than eps (1e-4 here): whole rings of
    // candidates whose cosines differ by rounding or not at all
    for (double jitter : {0.0, 1e-12, 1e-9, 3e-5}) {
        std::mt19937_64 g(7);
        std::uniform_real_distribution<double> d(0, 1);
        std::vector<tin_point> p;
        int rings = sized(100000) / 40;
        for (int c = 0; c < rings; c++) {
            double cx = 500000 + 3000 * d(g), cy = 4500000 + 3000 * d(g), r = 1 + 9 * d(g);
            int k = 8 + (int)(32 * d(g));
            for (int i = 0; i < k; i++) {
                double t = 2 * M_PI * i / k;
                p.push_back({cx + r * std::cos(t) + jitter * (d(g) - 0.5),
                             cy + r * std::sin(t) + jitter * (d(g) - 0.5), 5 * d(g)});
            }
            if (c % 3 == 0)
                p.push_back({cx, cy, 1});   // the centre too
        }
        tin_fast_stats c = expect_same("rings, jitter " + std::to_string(jitter), p).count;
        EXPECT_GT(c.cluster + c.checked, 0);
    }

    // survey lines: many exactly and nearly collinear points, collinear hull sides, long thin triangles
    std::mt19937_64 g(8);
    std::uniform_real_distribution<double> d(0, 1);
    std::vector<tin_point> p;
    int n = sized(20000);
    for (int line = 0; line < 40; line++) {
        double x0 = 300000 + 500 * d(g), y0 = 5000000 + 500 * d(g);
        double dx = d(g) - 0.5, dy = d(g) - 0.5, step = 0.5 + d(g);
        for (int i = 0; i < n / 80; i++)
            p.push_back({x0 + dx * step * i, y0 + dy * step * i, 1});
    }
    for (int i = 0; i < n / 2; i++)
        p.push_back({300000 + 600 * d(g), 5000000 + 600 * d(g), 2});
    expect_same("survey lines", p);
    // the hull a rectangle of collinear points, the inside random
    std::vector<tin_point> box = uniform(n / 2, 9, 1000, 1000, 100);
    for (int i = 0; i <= 200; i++) {
        box.push_back({1000 + 0.5 * i, 1000, 0});
        box.push_back({1000 + 0.5 * i, 1100, 0});
        box.push_back({1000, 1000 + 0.5 * i, 0});
        box.push_back({1100, 1000 + 0.5 * i, 0});
    }
    tin_fast_stats c = expect_same("collinear hull", box).count;
    EXPECT_GT(c.hull, 0);

    // Three points exactly on one line at the hull, the rest on one side: the rounded side test can put c beyond the
    // edge (a, b), under the widest angle. Both searches must refuse it: no triangle without area.
    g.seed(42);
    int tries = sized(20000);
    for (int s = 0; s < tries; s++) {
        double x0 = 500000 + 1000 * d(g), y0 = 4500000 + 1000 * d(g);
        double dx = (d(g) - 0.5) * 400, dy = (d(g) - 0.5) * 400;
        tin_point a = {x0, y0, 0}, b = {x0 + dx, y0 + dy, 0}, c = {2 * b.x - a.x, 2 * b.y - a.y, 0};
        std::vector<tin_point> p = {a, b, c};
        double side = d(g) < 0.5 ? 1 : -1;
        for (int i = 0; i < 4; i++) {
            double t = 2 * d(g), h = side * (0.2 + d(g));
            p.push_back({x0 + dx * t - dy * h, y0 + dy * t + dx * h, 1});
        }
        Outcome o = expect_same("case " + std::to_string(s), p);
        const std::vector<tin_point> &r = o.run.raw;
        if (HasFailure())
            return;
        for (size_t i = 0; i + 2 < r.size(); i += 3)
            ASSERT_NE((r[i + 1].x - r[i].x) * (r[i + 2].y - r[i].y),
                      (r[i + 1].y - r[i].y) * (r[i + 2].x - r[i].x))
                << "case " << s << ": a triangle without area";
    }
}

// An outline (group 1) and holes (groups 2 and up), every corner a survey
// point; a spiky outline has notches the search may bridge.
void site(int n, int holes, double spikes, unsigned seed, std::vector<tin_point> *pts, std::vector<tin_line> *lines)
{
    std::mt19937_64 g(seed);
    std::uniform_real_distribution<double> d(0, 1);
    double side = 1000 * std::sqrt(n / 1e6), x0 = 500000, y0 = 4500000;
    auto ring = [&](double cx, double cy, double r, int k, int16_t grp, double jag) {
        std::vector<tin_point> v;
        for (int i = 0; i < k; i++) {
            double t = 2 * M_PI * i / k, rr = r * (1 - jag / 2 + jag * d(g));
            v.push_back({cx + rr * std::cos(t), cy + rr * std::sin(t), 100 + 10 * d(g)});
        }
        for (const tin_line &l : tt::lines_through(v, grp))
            lines->push_back(l);
        pts->insert(pts->end(), v.begin(), v.end());
    };
    ring(x0 + side / 2, y0 + side / 2, side * 0.45, 96, 1, spikes);
    for (int h = 0; h < holes; h++) {
        double cx = x0 + side * (0.25 + 0.5 * ((h % 5) + 0.25 + 0.5 * d(g)) / 5);
        double cy = y0 + side * (0.25 + 0.5 * ((h / 5) + 0.25 + 0.5 * d(g)) / 4);
        ring(cx, cy, side * (0.015 + 0.015 * d(g)), 12 + h % 7, (int16_t)(2 + h), 0.3);
    }
    while ((int)pts->size() < n)
        pts->push_back({x0 + side * d(g), y0 + side * d(g), 200 + 50 * d(g)});
}

TEST(Differential, OutlineAndHoles)
{
    std::vector<tin_point> pts;
    std::vector<tin_line> lines;
    site(sized(200000), 20, 0.1, 10, &pts, &lines);
    tin_fast_stats c = expect_same("outline and 20 holes", pts, lines, 21).count;
    EXPECT_GT(c.direct, 0);
    EXPECT_GT(c.checked, 0);

    pts.clear();
    lines.clear();
    site(sized(30000), 6, 0.3, 10, &pts, &lines);     // at full size a few triangles the mesh cannot take
    long stray = expect_same("spiky outline", pts, lines, 7).count.stray;
    EXPECT_TRUE(stray > 0 || scale() < 1);
}

// Break lines as the terrain command passes them: drawn lines joined to the survey by tin_prepare_breaks first.
void expect_same_prepared(const std::string &what, const std::vector<tin_point> &pts,
                          const std::vector<tin_line> &drawn, int16_t groups)
{
    std::vector<tin_point> p;
    std::vector<tin_line> l;
    {
        tt::Listen quiet;
        ASSERT_EQ(tt::prepare(pts, drawn, &p, &l), 0) << what;
    }
    size_t breaks = std::count_if(l.begin(), l.end(), [](const tin_line &x) { return x.group == TIN_BREAK; });
    EXPECT_GT(breaks, drawn.size() / 4) << what;
    // break lines are left to the straightforward search for now: the run
    // must still come out the same through the default entry
    expect_same(what, p, l, groups, false);
}

// Break lines have the area on both sides: searched one side at a time, the second from a copy of the edge.  With an
// outline and voids and alone; smaller than the others, as the oracle sweeps far along break lines.
TEST(Differential, BreakLinesWithOutlineAndVoidsAndAlone)
{
    // a dozen long lines crossing each other and the rings, on integers
    tt::Site site = tt::break_site(12, sized(40000));
    for (int16_t groups : {3, 0})
        expect_same_prepared("break site, groups " + std::to_string(groups), site.pts, site.drawn(groups > 0, true),
                             groups);

    // banks: wavy lines close together, a vertex every 3 m, a few straight
    // ones across them; all heights on one plane, so that crossings agree
    std::mt19937_64 g(13);
    std::uniform_real_distribution<double> d(0, 1);
    const double x0 = 500000, y0 = 4500000;
    auto at = [&](double x, double y) { return tin_point{x, y, 150 + 0.01 * (x - x0) + 0.02 * (y - y0)}; };
    int nlines = std::max(4, (int)(30 * scale()));
    double side = 10.0 * nlines;
    std::vector<tin_point> pts;
    std::vector<tin_line> rings, banks;
    auto ring = [&](double r, int k, int16_t grp) {
        std::vector<tin_point> v;
        for (int i = 0; i < k; i++)
            v.push_back(at(x0 + side / 2 + r * std::cos(2 * M_PI * i / k),
                           y0 + side / 2 + r * std::sin(2 * M_PI * i / k)));
        for (const tin_line &l : tt::lines_through(v, grp))
            rings.push_back(l);
        pts.insert(pts.end(), v.begin(), v.end());
    };
    ring(side * 0.47, 40, 1);
    ring(side * 0.07, 8, 2);
    auto chain = [&](const std::vector<tin_point> &v) {
        for (const tin_line &l : tt::lines_through(v, TIN_BREAK, false))
            banks.push_back(l);
    };
    for (int i = 0; i < nlines; i++) {
        std::vector<tin_point> v;
        for (double x = -20; x < side + 20; x += 3)
            v.push_back(at(x0 + x, y0 + 10 * i + 5 + 3 * std::sin(x / 15 + i)));
        chain(v);
    }
    for (int i = 0; i < 3; i++) {
        double ya = y0 + side * d(g), yb = y0 + side * d(g);
        std::vector<tin_point> v;
        for (int k = 0; k <= 20; k++)
            v.push_back(at(x0 - 10 + (side + 20) * k / 20, ya + (yb - ya) * k / 20));
        chain(v);
    }
    for (int i = 0, n = sized(20000); i < n; i++) {
        tin_point q = at(x0 + side * d(g), y0 + side * d(g));
        q.z += d(g);
        pts.push_back(q);
    }
    std::vector<tin_line> drawn = rings;
    drawn.insert(drawn.end(), banks.begin(), banks.end());
    expect_same_prepared("banks in an outline with a void", pts, drawn, 2);
    expect_same_prepared("banks alone", pts, banks, 0);
}

}  // namespace
