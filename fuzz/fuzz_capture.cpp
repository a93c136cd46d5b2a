// fuzz_capture.cpp -- the terrain command's capture of its export (count
// the POINTs, LINEs and break lines, read them into arrays of that size) and the
// triangulation of what it captured.
//
// The input is the export "velmora.dxf" beside the module.  What the capture
// hands on must be what the library can take: no more records than counted,
// coordinates finite and within the add-on's limit, line groups 1 to 255.
// The library then runs on it with the command's hooks.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "fuzz_support.h"
#include "triangulate.h"

static int32_t faces;

static int count_face(tin_point, tin_point, tin_point)
{
    faces++;
    return 0;
}

static void ignore(const char *) {}

static void release()
{
    dxf_close();
    std::free(tri_points);
    std::free(tri_lines);
    std::free(tri_breaks);
    std::free(tri_colour_seen);
    tri_points = nullptr;
    tri_lines = nullptr;
    tri_breaks = nullptr;
    tri_colour_seen = nullptr;
}

static bool usable(double v)
{
    return std::isfinite(v) && std::fabs(v) <= FRAME_COORD_LIMIT;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fz::Input input;
    fz::AddonSession s;
    if (tri_make_export_path(tri_export_path, sizeof tri_export_path))
        fz::fail("no export path");
    fz::write_file(tri_export_path, data, size);

    if (tri_count_entities()) {
        release();
        return 0;                       // no POINT nor break line: the command stops there
    }
    tri_points = (tin_point *)std::calloc((size_t)tri_npoints + 1, sizeof(tin_point));
    tri_lines = (tin_line *)std::calloc((size_t)tri_nlines + 1, sizeof(tin_line));
    tri_breaks = (tin_line *)std::calloc((size_t)tri_nvertices + 1, sizeof(tin_line));
    tri_colour_seen = (unsigned char *)std::calloc(256, 1);
    if (tri_read_entities()) {
        release();
        if (s.take_output().find("Error") == std::string::npos)
            fz::fail("the capture failed without a message");
        return 0;
    }
    if (tri_points_read > tri_npoints || tri_lines_read > tri_nlines || tri_breaks_read > tri_nvertices)
        fz::fail("the capture read more records than it counted");
    for (int32_t i = 0; i < tri_points_read; i++)
        if (!usable(tri_points[i].x) || !usable(tri_points[i].y) || !usable(tri_points[i].z))
            fz::fail("the capture passed on a point the library cannot take");
    for (int32_t i = 0; i < tri_lines_read; i++) {
        const tin_line &l = tri_lines[i];
        if (!usable(l.x1) || !usable(l.y1) || !usable(l.z1) || !usable(l.x2) || !usable(l.y2) ||
            !usable(l.z2))
            fz::fail("the capture passed on a line the library cannot take");
        if (l.group < 1 || l.group > 255)
            fz::fail("the capture passed on a line group " + std::to_string(l.group));
    }
    for (int32_t i = 0; i < tri_breaks_read; i++) {
        const tin_line &l = tri_breaks[i];
        if (!usable(l.x1) || !usable(l.y1) || !usable(l.z1) || !usable(l.x2) || !usable(l.y2) ||
            !usable(l.z2))
            fz::fail("the capture passed on a break line the library cannot take");
    }
    if (tri_points_read == 0) {         // break lines alone: nothing for the plain run below
        release();
        return 0;
    }

    tin_hooks hooks = {ignore, nullptr, ignore, ignore};
    tin_set_hooks(&hooks);
    int32_t kept = 0;
    faces = 0;
    lib_triangulate(tri_points_read, tri_points, tri_lines, tri_lines_read, tri_group_count(),
                    count_face, &kept, 0);
    tin_set_hooks(nullptr);
    if (kept > tri_points_read)
        fz::fail("the library kept more points than it was given");
    release();
    return 0;
}
