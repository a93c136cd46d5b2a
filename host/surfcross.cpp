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
#include "surfaces.h"

namespace velmora {
namespace {

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
        int skipped = 0;
        int used = collect_triangles(s.drawing(), ids, tris[k], &skipped);
        for (int i = 0; i < skipped; i++)
            s.print("\nSURFCROSS: a polygon mesh whose vertex count does not match its size is left out");
        if (used == 0) {
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
    fs::path folder = s.native_path("c:/haldorin");
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
    s.push_input(call + " ");
    return true;
}

const bool registered = (register_host_command("SURFCROSS", surfcross), true);

}  // namespace
}  // namespace velmora
