#include "tin_check.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tt {

static std::vector<tin_point> *sink;

static std::string heard;
static long polls, break_polls = -1;

static void heard_print(const char *text) { heard += text; }
static void heard_error(const char *text) { heard += std::string("error:") + text; }
static void heard_warning(const char *text) { heard += std::string("warning:") + text; }
static int heard_break() { return break_polls >= 0 && ++polls > break_polls; }

Listen::Listen(long break_after)
{
    heard.clear();
    polls = 0;
    break_polls = break_after;
    tin_hooks h = {heard_print, heard_break, heard_error, heard_warning};
    tin_set_hooks(&h);
}

Listen::~Listen()
{
    tin_set_hooks(nullptr);
    heard.clear();
}

std::string Listen::take()
{
    return std::exchange(heard, std::string());
}

static int collect(tin_point a, tin_point b, tin_point c)
{
    sink->insert(sink->end(), {a, b, c});
    return 0;
}

Run run(std::vector<tin_point> pts, const std::vector<tin_line> &lines, int16_t ngroups, int32_t full_check)
{
    Run r;
    sink = &r.raw;
    r.result = lib_triangulate((int32_t)pts.size(), pts.data(),
                               lines.empty() ? nullptr : lines.data(),
                               (int32_t)lines.size(), ngroups, collect, &r.n, full_check);
    pts.resize(r.n >= 0 ? (size_t)r.n : 0);
    r.pts = pts;
    std::map<std::pair<double, double>, int> index;
    for (size_t i = 0; i < r.pts.size(); i++)
        index[{r.pts[i].x, r.pts[i].y}] = (int)i;
    for (size_t i = 0; i + 2 < r.raw.size(); i += 3)
        r.tris.push_back({index.at({r.raw[i].x, r.raw[i].y}), index.at({r.raw[i + 1].x, r.raw[i + 1].y}),
                          index.at({r.raw[i + 2].x, r.raw[i + 2].y})});
    return r;
}

int64_t orient2(const tin_point &a, const tin_point &b, const tin_point &c)
{
    int64_t ax = (int64_t)a.x, ay = (int64_t)a.y;
    int64_t bx = (int64_t)b.x - ax, by = (int64_t)b.y - ay;
    int64_t cx = (int64_t)c.x - ax, cy = (int64_t)c.y - ay;
    return bx * cy - by * cx;
}

std::string check_network(const Run &r, int64_t *area2)
{
    std::map<std::pair<int, int>, std::vector<int>> side;   // edge -> third corners
    int64_t sum = 0;
    for (size_t i = 0; i < r.tris.size(); i++) {
        const Tri &t = r.tris[i];
        int64_t o = orient2(r.pts[t.a], r.pts[t.b], r.pts[t.c]);
        if (o == 0)
            return "degenerate triangle " + std::to_string(i);
        sum += o > 0 ? o : -o;
        int v[3] = {t.a, t.b, t.c};
        for (int j = 0; j < 3; j++)
            side[{std::min(v[j], v[(j + 1) % 3]), std::max(v[j], v[(j + 1) % 3])}]
                .push_back(v[(j + 2) % 3]);
    }
    *area2 = sum;
    for (auto &kv : side) {
        if (kv.second.size() > 2)
            return "edge in more than two triangles";
        if (kv.second.size() < 2)
            continue;
        const tin_point &p = r.pts[kv.first.first], &q = r.pts[kv.first.second];
        if ((orient2(p, q, r.pts[kv.second[0]]) > 0) == (orient2(p, q, r.pts[kv.second[1]]) > 0))
            return "two triangles on the same side of an edge";
    }
    return "";
}

std::vector<tin_point> random_points(int n, int range, unsigned seed, double x0, double y0)
{
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> d(0, range);
    std::vector<tin_point> p(n);
    for (auto &q : p)
        q = {x0 + d(gen), y0 + d(gen), (double)(d(gen) % 100)};
    return p;
}

tin_line line_of(const tin_point &a, const tin_point &b, int16_t group)
{
    return tin_line{a.x, a.y, a.z, b.x, b.y, b.z, group};
}

std::vector<tin_line> lines_through(const std::vector<tin_point> &v, int16_t group, bool closed)
{
    std::vector<tin_line> out;
    for (size_t i = 0; i + (closed ? 0 : 1) < v.size(); i++)
        out.push_back(line_of(v[i], v[(i + 1) % v.size()], group));
    return out;
}

bool in_ring(const std::vector<tin_point> &r, double x, double y)
{
    bool in = false;
    for (size_t i = 0, j = r.size() - 1; i < r.size(); j = i++)
        if ((r[i].y > y) != (r[j].y > y)
            && x < (r[j].x - r[i].x) * (y - r[i].y) / (r[j].y - r[i].y) + r[i].x)
            in = !in;
    return in;
}

bool Site::in_area(double x, double y) const
{
    if (!in_ring(rings[0], x, y))
        return false;
    for (size_t i = 1; i < rings.size(); i++)
        if (in_ring(rings[i], x, y))
            return false;
    return true;
}

std::vector<tin_line> Site::drawn(bool with_rings, bool with_breaks) const
{
    std::vector<tin_line> out;
    for (const tin_line &l : lines)
        if (l.group == TIN_BREAK ? with_breaks : with_rings)
            out.push_back(l);
    return out;
}

int prepare(const std::vector<tin_point> &pts, const std::vector<tin_line> &drawn,
            std::vector<tin_point> *out_pts, std::vector<tin_line> *out_lines)
{
    tin_point *op = nullptr;
    tin_line *ol = nullptr;
    int32_t np = 0, nl = 0;
    int r = tin_prepare_breaks((int32_t)pts.size(), pts.data(), (int32_t)drawn.size(), drawn.data(),
                               &op, &np, &ol, &nl);
    if (r == 0) {
        out_pts->assign(op, op + np);
        out_lines->assign(ol, ol + nl);
    }
    free(op);
    free(ol);
    return r;
}

// Plan distance from p to segment a-b.
static double seg_dist(const tin_point &p, double ax, double ay, double bx, double by)
{
    double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((p.x - ax) * dx + (p.y - ay) * dy) / len2 : 0;
    t = t < 0 ? 0 : t > 1 ? 1 : t;
    return std::hypot(p.x - ax - t * dx, p.y - ay - t * dy);
}

Site break_site(unsigned seed, int count)
{
    std::mt19937 gen(seed);
    auto uni = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(gen); };
    auto plane = [](double x, double y) { return tin_point{x, y, 200 + 0.01 * x + 0.005 * y}; };
    auto ring = [&](double cx, double cy, double r0, double r1, int corners) {
        std::vector<tin_point> r;
        for (int i = 0; i < corners; i++) {
            double a = 2 * M_PI * (i + uni(-0.3, 0.3)) / corners, rad = uni(r0, r1);
            r.push_back(plane(std::round(cx + rad * std::cos(a)), std::round(cy + rad * std::sin(a))));
        }
        return r;
    };
    Site s;
    s.rings = {ring(5000, 5000, 3500, 4800, 10), ring(3500, 4000, 450, 700, 4), ring(6500, 6000, 450, 700, 5)};
    for (size_t g = 0; g < s.rings.size(); g++) {
        for (const tin_line &l : lines_through(s.rings[g], (int16_t)(g + 1)))
            s.lines.push_back(l);
        s.pts.insert(s.pts.end(), s.rings[g].begin(), s.rings[g].end());
    }
    // six long lines across the site (from beyond the outline, bending once), six short chains inside
    for (int b = 0; b < 12; b++) {
        std::vector<tin_point> chain;
        if (b < 6) {
            double a = uni(0, M_PI), c = std::cos(a), d = std::sin(a);
            double ox = uni(3000, 7000), oy = uni(3000, 7000);
            for (double t : {-5500.0, uni(-1500, 1500), 5500.0})
                chain.push_back(plane(std::round(ox + t * c + uni(-300, 300)), std::round(oy + t * d + uni(-300, 300))));
        } else {
            double x = uni(2000, 8000), y = uni(2000, 8000);
            for (int k = 0; k < 4; k++) {
                chain.push_back(plane(std::round(x), std::round(y)));
                x += uni(-600, 600);
                y += uni(-600, 600);
            }
        }
        for (const tin_line &l : lines_through(chain, TIN_BREAK, false))
            s.lines.push_back(l);
    }
    for (const tin_point &q : random_points(count, 10000, seed + 1000)) {
        bool near = false;
        for (const tin_line &l : s.lines)
            near = near || seg_dist(q, l.x1, l.y1, l.x2, l.y2) < 1.0;
        if (!near)
            s.pts.push_back(q);
    }
    return s;
}

}  // namespace tt
