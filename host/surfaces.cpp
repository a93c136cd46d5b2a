// surfaces.cpp -- triangles of the 3DFACEs and polygon meshes of a selection.
#include "surfaces.h"

namespace velmora {
namespace {

bool same(const Vec3 &a, const Vec3 &b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

// A quad a-b-c-d as two triangles; a three-sided one (c equal to d) as one.
void add_quad(std::vector<Triangle> &out, const Vec3 &a, const Vec3 &b, const Vec3 &c, const Vec3 &d)
{
    out.push_back({{a, b, c}});
    if (!same(c, d))
        out.push_back({{a, c, d}});
}

}  // namespace

int collect_triangles(const Drawing &d, const std::vector<std::uint64_t> &ids,
                      std::vector<Triangle> &out, int *skipped)
{
    int used = 0;
    if (skipped)
        *skipped = 0;
    for (auto id : ids) {
        const Entity *e = d.find(id);
        if (!e || e->erased)
            continue;
        if (e->type == "3DFACE" && e->pts.size() == 4) {
            add_quad(out, e->pts[0], e->pts[1], e->pts[2], e->pts[3]);
            used++;
        } else if (e->type == "POLYLINE" && (e->poly_flags & 16)) {
            std::vector<Vec3> net;
            int m = 0, n = 0;
            if (!mesh_grid(*e, net, m, n) || m < 2 || n < 2) {
                if (skipped)
                    ++*skipped;
                continue;
            }
            bool closed_m = e->poly_flags & 1, closed_n = e->poly_flags & 32;
            int rows = closed_m ? m : m - 1, cols = closed_n ? n : n - 1;
            auto at = [&](int i, int j) { return net[std::size_t(i % m) * n + (j % n)]; };
            for (int i = 0; i < rows; i++)
                for (int j = 0; j < cols; j++)
                    add_quad(out, at(i, j), at(i, j + 1), at(i + 1, j + 1), at(i + 1, j));
            used++;
        }
    }
    return used;
}

}  // namespace velmora
