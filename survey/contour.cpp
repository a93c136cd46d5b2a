// contour.cpp -- contour lines of a TIN, and the host command CONTOUR.
//
// CONTOUR asks for a selection of 3DFACEs and polygon meshes, a contour
// interval and how many intervals make a major contour, and draws every
// contour as 3D polylines at its level: minor ones on layer CONTOUR-MINOR,
// major ones on CONTOUR-MAJOR, each major piece labelled with its level.
// The lines are exact on the triangles: straight across each one, no smoothing.
#include "contour.h"

#include "text.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace velmora {
namespace {

const char *MINOR_LAYER = "CONTOUR-MINOR";
const char *MAJOR_LAYER = "CONTOUR-MAJOR";
const int MINOR_COLOUR = 33;      // a light brown
const int MAJOR_COLOUR = 16;      // a dark brownish red
const double EXACT_INTEGERS = 9007199254740992.0;   // 2^53

double pow10(int n)
{
    double p = 1;
    for (int i = 0; i < n; i++)
        p *= 10;                  // exact up to 10^22
    return p;
}

bool decimal_form_fits(const Interval &iv, long long k)
{
    return iv.decimals >= 0 && std::fabs((double)k) * std::fabs((double)iv.units) < EXACT_INTEGERS;
}

bool before(const Vec3 &a, const Vec3 &b)
{
    if (a.x != b.x)
        return a.x < b.x;
    if (a.y != b.y)
        return a.y < b.y;
    return a.z < b.z;
}

// Where the edge a-b crosses level z, for a and b on either side of it (one
// below, the other not).  The ends are taken in a fixed order, so that both
// triangles of an edge get the same bits and their segments join; an end
// exactly on the level is the crossing itself.
Vec3 crossing(Vec3 a, Vec3 b, double z)
{
    if (before(b, a))
        std::swap(a, b);
    if (a.z == z)
        return a;
    if (b.z == z)
        return b;
    double t = (z - a.z) / (b.z - a.z);
    return Vec3{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), z};
}

// The first k whose level is above z, and the last whose level is at or
// below z.
long long first_above(const Interval &iv, double z)
{
    long long k = (long long)std::floor(z / iv.step) + 1;
    while (iv.level(k) <= z)
        k++;
    while (iv.level(k - 1) > z)
        k--;
    return k;
}

long long last_at_or_below(const Interval &iv, double z)
{
    long long k = (long long)std::floor(z / iv.step);
    while (iv.level(k + 1) <= z)
        k++;
    while (iv.level(k) > z)
        k--;
    return k;
}

}  // namespace

double Interval::level(long long k) const
{
    if (decimal_form_fits(*this, k))
        return (double)(k * units) / pow10(decimals);
    return (double)k * step;
}

std::string Interval::label(long long k) const
{
    if (!decimal_form_fits(*this, k)) {
        return number_text(level(k));
    }
    long long v = k * units;
    std::string digits = std::to_string(std::llabs(v));
    if ((int)digits.size() <= decimals)
        digits.insert(0, (size_t)(decimals + 1) - digits.size(), '0');
    std::string s = digits.substr(0, digits.size() - (size_t)decimals);
    std::string frac = digits.substr(digits.size() - (size_t)decimals);
    while (!frac.empty() && frac.back() == '0')
        frac.pop_back();
    if (!frac.empty())
        s += "." + frac;
    return (v < 0 ? "-" : "") + s;
}

Interval make_interval(double step)
{
    Interval iv;
    iv.step = step;
    for (int d = 0; d <= 12; d++) {
        double p = pow10(d);
        double u = std::round(step * p);
        if (u != 0 && std::fabs(u) < EXACT_INTEGERS && u / p == step) {
            iv.units = (long long)u;
            iv.decimals = d;
            break;
        }
    }
    return iv;
}

double default_interval(double zmin, double zmax)
{
    double range = zmax - zmin;
    if (!(range > 0) || !std::isfinite(range))
        return 1;
    double raw = range / 20;
    int e = (int)std::floor(std::log10(raw)) - 1;
    double best = 0, best_score = INFINITY;
    for (int m : {10, 20, 25, 50, 100}) {
        double c = e >= 0 ? m * pow10(e) : m / pow10(-e);
        double score = std::fabs(std::log(c / raw));
        if (score < best_score) {
            best = c;
            best_score = score;
        }
    }
    return best;
}

// Each corner is below the level (z < L) or not (z >= L).  A triangle with
// corners on both sides holds one segment, between the crossings of its two
// mixed edges:
//
//            c  not below           A corner exactly on the level is its own
//           / \                     crossing, so a level through corners
//        q x---x p                  leaves no gap; an edge lying on the level
//         /     \                   is drawn by the triangle below it (by
//        a-------b  below           both on a ridge: the joiner keeps one).
//
bool contour_tin(const std::vector<Triangle> &tris, const Interval &iv, std::vector<ContourLevel> &out,
                 std::string &why, long long max_levels)
{
    out.clear();
    if (!(iv.step > 0) || !std::isfinite(iv.step)) {
        why = "the interval must be a positive number";
        return false;
    }
    double zmin = INFINITY, zmax = -INFINITY;
    for (const auto &t : tris)
        for (const auto &p : t.p) {
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
                why = "a corner is not a finite point";
                return false;
            }
            zmin = std::min(zmin, p.z);
            zmax = std::max(zmax, p.z);
        }
    if (tris.empty())
        return true;
    if (std::fabs(zmin / iv.step) > 1e15 || std::fabs(zmax / iv.step) > 1e15) {
        why = "the interval is too small for these heights";
        return false;
    }
    long long k0 = first_above(iv, zmin), k1 = last_at_or_below(iv, zmax);
    if (iv.level(k0 - 1) == zmin)
        k0--;                                  // a level at the lowest corner
    if (k1 - k0 + 1 > max_levels) {
        why = "the heights span " + std::to_string(k1 - k0 + 1) + " levels, more than " +
              std::to_string(max_levels);
        return false;
    }
    if (k1 < k0)
        return true;

    std::vector<std::vector<Segment>> segs((size_t)(k1 - k0 + 1));
    for (const auto &t : tris) {
        double lo = std::min({t.p[0].z, t.p[1].z, t.p[2].z});
        double hi = std::max({t.p[0].z, t.p[1].z, t.p[2].z});
        if (lo == hi)
            continue;
        for (long long k = first_above(iv, lo), last = last_at_or_below(iv, hi); k <= last; k++) {
            double z = iv.level(k);
            bool below[3] = {t.p[0].z < z, t.p[1].z < z, t.p[2].z < z};
            // The corner on its own side of the level.
            int lone = below[0] == below[1] ? 2 : below[0] == below[2] ? 1 : 0;
            const Vec3 &a = t.p[lone], &b = t.p[(lone + 1) % 3], &c = t.p[(lone + 2) % 3];
            segs[(size_t)(k - k0)].push_back({crossing(a, b, z), crossing(a, c, z)});
        }
    }
    for (long long k = k0; k <= k1; k++) {
        auto &list = segs[(size_t)(k - k0)];
        if (list.empty())
            continue;
        ContourLevel level;
        level.k = k;
        level.z = iv.level(k);
        level.lines = join_segments(list);
        list.clear();
        list.shrink_to_fit();
        if (!level.lines.empty())
            out.push_back(std::move(level));
    }
    return true;
}

namespace {

double plan_length(const Polyline &p)
{
    double len = 0;
    size_t n = p.pts.size();
    for (size_t i = 0; i + 1 < n + (p.closed ? 1 : 0); i++)
        len += std::hypot(p.pts[(i + 1) % n].x - p.pts[i].x, p.pts[(i + 1) % n].y - p.pts[i].y);
    return len;
}

// The level's text centred on the piece halfway along it, turned along the
// line there and kept readable (never upside down).  False when the piece is
// shorter than its label.
bool label_of(const Polyline &p, const std::string &text, double height, Entity &label)
{
    double len = plan_length(p);
    if (len < height * 0.9 * (double)(text.size() + 2))
        return false;
    double half = len / 2, run = 0;
    size_t n = p.pts.size();
    for (size_t i = 0; i + 1 < n + (p.closed ? 1 : 0); i++) {
        const Vec3 &a = p.pts[i], &b = p.pts[(i + 1) % n];
        double d = std::hypot(b.x - a.x, b.y - a.y);
        if (run + d < half || d == 0) {
            run += d;
            continue;
        }
        double t = (half - run) / d;
        double angle = std::atan2(b.y - a.y, b.x - a.x) * 180 / M_PI;
        if (angle > 90)
            angle -= 180;
        else if (angle <= -90)
            angle += 180;
        label.type = "TEXT";
        label.pts = {Vec3{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z}};
        label.label = std::make_shared<const TextLabel>(TextLabel{text, height, angle, true});
        return true;
    }
    return false;
}

// A number answered to a prompt: Enter keeps `value`.
bool ask_number(Session &s, const std::string &prompt, double &value)
{
    std::string w = ask_word(s, prompt);
    if (!w.empty() && !parse_real(w, value))
        return s.error("CONTOUR: \"" + w + "\" is not a number");
    return true;
}

bool contour_command(Session &s)
{
    std::vector<Triangle> tris;
    if (!select_triangles(s, "CONTOUR", "nothing drawn", tris))
        return false;

    double zmin = INFINITY, zmax = -INFINITY, xmin = INFINITY, xmax = -INFINITY, ymin = INFINITY,
           ymax = -INFINITY;
    for (const auto &t : tris)
        for (const auto &p : t.p) {
            zmin = std::min(zmin, p.z); zmax = std::max(zmax, p.z);
            xmin = std::min(xmin, p.x); xmax = std::max(xmax, p.x);
            ymin = std::min(ymin, p.y); ymax = std::max(ymax, p.y);
        }
    double step = default_interval(zmin, zmax);
    if (!ask_number(s, "\nContour interval <" + number_text(step) + ">: ", step))
        return false;
    if (!(step > 0))
        return s.error("CONTOUR: the interval must be a positive number");
    double every = 5;
    if (!ask_number(s, "\nMajor contour every <5> contours: ", every))
        return false;
    if (!(every >= 1 && every <= 1e9 && every == std::floor(every)))
        return s.error("CONTOUR: the major contour step must be a whole number of 1 or more");

    Interval iv = make_interval(step);
    std::vector<ContourLevel> levels;
    std::string why;
    if (!contour_tin(tris, iv, levels, why))
        return s.error("CONTOUR: " + why + "; nothing drawn");

    long long major_step = (long long)every;
    double text_height = std::max(xmax - xmin, ymax - ymin) / 120;
    size_t pieces = 0, majors = 0, labels = 0;
    for (const auto &lv : levels) {
        bool major = lv.k % major_step == 0;
        std::string text = iv.label(lv.k);
        for (const auto &line : lv.lines) {
            add_on_layer(s, polyline_entity(line), major ? MAJOR_LAYER : MINOR_LAYER,
                         major ? MAJOR_COLOUR : MINOR_COLOUR);
            pieces++;
            Entity label;
            if (major && label_of(line, text, text_height, label)) {
                add_on_layer(s, std::move(label), MAJOR_LAYER, MAJOR_COLOUR);
                labels++;
            }
        }
        majors += major;
    }
    if (levels.empty()) {
        s.print("\nCONTOUR: no level crosses the surface\n");
        return true;
    }
    s.print("\nCONTOUR: " + std::to_string(levels.size()) + " levels from " + iv.label(levels.front().k) +
            " to " + iv.label(levels.back().k) + " (" + std::to_string(majors) + " major), " +
            std::to_string(pieces) + " polylines, " + std::to_string(labels) + " labels\n");
    return true;
}

const bool registered = (register_host_command("CONTOUR", contour_command,
                                               "draws contour lines of a surface",
                                               "A selection of faces and meshes, the interval, the major step (see the README)."), true);

}  // namespace
}  // namespace velmora
