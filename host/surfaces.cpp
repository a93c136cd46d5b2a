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

bool mesh_net(const Entity &e, std::vector<Vec3> &net, int &m, int &n)
{
    m = e.mesh_m;
    n = e.mesh_n;
    if (m >= 2 && n >= 2 && e.pts.size() == std::size_t(m) * n) {
        net = e.pts;
        return true;
    }
    net.clear();
    for (std::size_t i = 0; i < e.pts.size(); i++)
        if (i >= e.vertex_flags.size() || !(e.vertex_flags[i] & 16))
            net.push_back(e.pts[i]);
    m = e.smooth_m;
    n = e.smooth_n;
    return m >= 2 && n >= 2 && net.size() == std::size_t(m) * n;
}

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
            if (!mesh_net(*e, net, m, n)) {
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
