// surfcross.cpp -- the host command SURFCROSS: where two surfaces cross.
//
// Asks for two selections of 3DFACEs and polygon meshes, writes their
// triangles to "c:/haldorin/0.scr" and "c:/haldorin/1.scr" (nine numbers a
// triangle, one triangle a line) and calls the add-on's (inters_ltri n1 n2),
// which draws the crossing curves as 3D polylines on layer "3dint".
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "session.h"
#include "session_impl.h"

namespace velmora {
namespace {

struct Triangle {
    Vec3 p[3];
};

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

// The vertices of a polygon mesh and its size: the plain M x N net, or, for a
// smoothed mesh, the fitted net of smooth_m x smooth_n (the frame's control
// points, vertex flag 16, left out).  False when the counts do not fit.
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

// Triangles of the selected 3DFACEs and polygon meshes; other entities are
// passed over.  Returns how many entities gave triangles.
int collect(Session &s, const std::vector<std::uint64_t> &ids, std::vector<Triangle> &out)
{
    int used = 0;
    for (auto id : ids) {
        const Entity *e = s.drawing().find(id);
        if (!e || e->erased)
            continue;
        if (e->type == "3DFACE" && e->pts.size() == 4) {
            add_quad(out, e->pts[0], e->pts[1], e->pts[2], e->pts[3]);
            used++;
        } else if (e->type == "POLYLINE" && (e->poly_flags & 16)) {
            std::vector<Vec3> net;
            int m = 0, n = 0;
            if (!mesh_net(*e, net, m, n)) {
                s.print("\nSURFCROSS: a polygon mesh whose vertex count does not match its size is left out");
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

bool write_triangles(const std::string &path, const std::vector<Triangle> &tris)
{
    std::FILE *f = std::fopen(path.c_str(), "w");
    if (!f)
        return false;
    for (const auto &t : tris)
        std::fprintf(f, "%.17g %.17g %.17g %.17g %.17g %.17g %.17g %.17g %.17g\n",
                     t.p[0].x, t.p[0].y, t.p[0].z, t.p[1].x, t.p[1].y, t.p[1].z,
                     t.p[2].x, t.p[2].y, t.p[2].z);
    return std::fclose(f) == 0;
}

bool surfcross(Session &s)
{
    const char *prompts[2] = {"\nSelect the first surface (3DFACE or mesh): ",
                              "\nSelect the second surface (3DFACE or mesh): "};
    std::vector<Triangle> tris[2];
    for (int k = 0; k < 2; k++) {
        std::vector<std::uint64_t> ids;
        if (!s.select(prompts[k], ids))
            return false;
        if (collect(s, ids, tris[k]) == 0) {
            s.print(k == 0 ? "\nSURFCROSS: no 3DFACE or polygon mesh in the first selection\n"
                           : "\nSURFCROSS: no 3DFACE or polygon mesh in the second selection\n");
            return false;
        }
        if (tris[k].size() > 2147483647u) {
            s.print("\nSURFCROSS: too many triangles\n");
            return false;
        }
    }

    namespace fs = std::filesystem;
    fs::path folder = native_path(s, "c:/haldorin");
    std::error_code ec;
    fs::create_directories(folder, ec);
    std::string paths[2];
    for (int k = 0; k < 2; k++) {
        paths[k] = (folder / (std::to_string(k) + ".scr")).string();
        if (!write_triangles(paths[k], tris[k])) {
            s.print("\nSURFCROSS: cannot write " + paths[k] + "\n");
            // No half pair is left behind for a later (inters_ltri ...) to
            // take with counts that are not its own.
            for (int j = 0; j <= k; j++)
                if (fs::is_regular_file(paths[j], ec))
                    fs::remove(paths[j], ec);
            return false;
        }
    }
    std::string call = "(inters_ltri " + std::to_string(tris[0].size()) + " " +
                       std::to_string(tris[1].size()) + ")";
    // The call goes in front of the unread input, so that the session runs it
    // right after this command, as if the script had said it.  In the velmora
    // program the add-on is up the stack, waiting in sds_link for the
    // session's next request, and cannot be called from here.
    Session::Impl &m = s.impl();
    m.input.insert(m.pos, call + " ");
    return true;
}

const bool registered = (register_host_command("SURFCROSS", surfcross), true);

}  // namespace
}  // namespace velmora
