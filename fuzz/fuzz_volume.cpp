// fuzz_volume.cpp -- the volume command's reader of its export "vol.dxf",
// and what it feeds: the grid sampler and the integration.
//
// The input is the export.  A first pass of the reader takes the plan
// extent of its triangles; the increment is then a 64th of that extent, so
// that no triangle spans more than about 64 x 64 nodes and a run stays
// short, and the command's own run reads, samples and integrates the file.
// A run that reports a volume must report finite numbers.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "fuzz_support.h"
#include "volume.h"

static double lo_x, hi_x, lo_y, hi_y;
static bool all_finite;     // every corner finite and within FRAME_COORD_LIMIT

static int note_extent(double ax, double ay, double az, double bx, double by, double bz,
                       double cx, double cy, double cz)
{
    const double v[9] = {ax, ay, az, bx, by, bz, cx, cy, cz};
    for (double c : v)
        all_finite = all_finite && std::fabs(c) <= FRAME_COORD_LIMIT;
    for (int k = 0; k < 9; k += 3) {
        lo_x = std::fmin(lo_x, v[k]);
        hi_x = std::fmax(hi_x, v[k]);
        lo_y = std::fmin(lo_y, v[k + 1]);
        hi_y = std::fmax(hi_y, v[k + 1]);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fz::Input input;
    fz::AddonSession s;
    std::snprintf(vol_dxf_path, sizeof vol_dxf_path, "%s", fz::path_of("vol.dxf").c_str());
    std::snprintf(vol_bin_path, sizeof vol_bin_path, "%s", fz::path_of("vol.bin").c_str());
    fz::write_file(vol_dxf_path, data, size);

    if (dxf_open(vol_dxf_path) != 0)
        fz::fail("cannot open the export written");
    vol_found = 0;
    vol_draw_outlines = 0;
    vol_triangle_cb = note_extent;
    lo_x = lo_y = INFINITY;
    hi_x = hi_y = -INFINITY;
    all_finite = true;
    int failed = vol_read_export();
    dxf_close();
    vol_draw_outlines = 1;
    if (!all_finite)
        fz::fail("the volume reader passed on a coordinate that is not finite or beyond 1e12");
    if (failed) {
        if (s.take_output().empty())
            fz::fail("the volume reader failed without a message");
        return 0;
    }
    if (!vol_found || !(lo_x <= hi_x))
        return 0;

    double reach = std::fmax(std::fmax(std::fabs(lo_x), std::fabs(hi_x)),
                             std::fmax(std::fabs(lo_y), std::fabs(hi_y)));
    double span = std::fmax(hi_x - lo_x, hi_y - lo_y);
    vol_increment = span > 0 ? span / 64 : 1;
    if (vol_check_increment(vol_increment, reach))
        return 0;
    vol_triangle_cb = vol_sample_triangle;
    s.take_output();
    vol_run();
    vol_remove_work_files();
    std::string out = s.take_output();
    if (out.find("Volume:") != std::string::npos) {
        if (!std::isfinite(vol_volume) || vol_volume < 0)
            fz::fail("a volume that is not a finite non-negative number was reported");
        const auto &ents = s.drawing().entities;
        if (ents.empty() || ents.back().type != "POINT")
            fz::fail("a volume was reported without its centroid POINT");
        const velmora::Vec3 &c = ents.back().pts[0];
        if (!std::isfinite(c.x) || !std::isfinite(c.y) || !std::isfinite(c.z))
            fz::fail("the centroid is not a finite point");
    }
    if (vt::file_exists(vol_bin_path) || vt::file_exists(vol_dxf_path))
        fz::fail("a work file of the volume command stayed behind");
    return 0;
}
