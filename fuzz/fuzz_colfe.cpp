// fuzz_colfe.cpp -- colfe's reader of its export "colf.dxf" and the band
// cutter it feeds.
//
// The input is the export, read with levels 0 to 150 (bands of 10).  Every
// piece the cutter draws is a 3DFACE that must lie where the drawing can
// keep it: finite corners, in one of the fifteen band colours.  A failed
// reading says why.
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "colouring.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fz::Input input;
    fz::AddonSession s;
    std::string path = fz::path_of("colf.dxf");
    fz::write_file(path, data, size);

    colf_low = 0;
    colf_high = 150;
    for (int i = 0; i < COLF_BANDS; i++)
        colf_colours[i] = 100 + i;
    colf_found = 0;
    colf_last_colour = -1;
    if (dxf_open(path.c_str()) != 0)
        fz::fail("cannot open the export written");
    int failed = colf_read_export();
    dxf_close();

    if (failed && s.take_output().find("Error") == std::string::npos)
        fz::fail("colfe's reader failed without a message");
    for (const auto &e : s.drawing().entities) {
        if (e.type != "3DFACE" || e.pts.size() != 4)
            fz::fail("the band cutter drew a " + e.type.str());
        for (const auto &p : e.pts)
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
                fz::fail("the band cutter drew a piece whose corners are not finite");
        if (e.colour < 100 || e.colour >= 100 + COLF_BANDS)
            fz::fail("a piece in colour " + std::to_string(e.colour) + ", no band's");
    }
    return 0;
}
