// terrains.h -- what the benchmarks against CGAL share: processor time,
// the two test terrains (a jittered grid of triangles over a survey site)
// and the boxes CGAL's box_intersection_d takes for their triangles.
#pragma once
#define CGAL_DISABLE_GMP 1
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/box_intersection_d.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <random>
#include <vector>

#include "surfaces.h"

using velmora::Triangle;
using velmora::Vec3;

typedef CGAL::Exact_predicates_inexact_constructions_kernel K;

// Processor time of this process: the machine is shared, wall time is not fair.
inline double seconds_since(std::clock_t t0)
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

// The boxes of the triangles, in D = 2 (plan) or 3 dimensions, each carrying
// its triangle's index.
template <int D>
static std::vector<CGAL::Box_intersection_d::Box_with_info_d<double, D, std::size_t>>
boxes(const std::vector<Triangle> &t)
{
    std::vector<CGAL::Box_intersection_d::Box_with_info_d<double, D, std::size_t>> b;
    b.reserve(t.size());
    for (std::size_t k = 0; k < t.size(); k++) {
        const Vec3 *p = t[k].p;
        double lo[3] = {std::min({p[0].x, p[1].x, p[2].x}), std::min({p[0].y, p[1].y, p[2].y}),
                        std::min({p[0].z, p[1].z, p[2].z})};
        double hi[3] = {std::max({p[0].x, p[1].x, p[2].x}), std::max({p[0].y, p[1].y, p[2].y}),
                        std::max({p[0].z, p[1].z, p[2].z})};
        b.emplace_back(lo, hi, k);
    }
    return b;
}
