// fuzz_inters.cpp -- (inters_ltri count1 count2) over triangle files.
//
// The input's first byte sets the two counts against the files (bits 0-1
// for the first, 2-3 for the second: 0 the number of whole triangles the
// file's words make, 1 one more, 2 one fewer, 3 none); the rest is
// c:/haldorin/0.scr up to the first '|' and 1.scr after it (without a '|'
// both files get all of it).  Afterwards: a failed call leaves both triangle
// files in place and never the segment file; a call that succeeds leaves none
// of the three and draws only 3D polylines with finite vertices.
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz_support.h"

static long whole_triangles(const std::string &text)
{
    long words = 0;
    bool in_word = false;
    for (char c : text) {
        bool blank = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
        words += !blank && !in_word;
        in_word = !blank;
    }
    return words / 9;
}

static long adjusted(long count, int how)
{
    switch (how & 3) {
    case 1: return count + 1;
    case 2: return count > 0 ? count - 1 : 0;
    case 3: return 0;
    default: return count;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    fz::Input input;
    fz::AddonSession s;
    int how = data[0];
    std::string rest((const char *)data + 1, size - 1);
    std::size_t bar = rest.find('|');
    std::string first = bar == std::string::npos ? rest : rest.substr(0, bar);
    std::string second = bar == std::string::npos ? rest : rest.substr(bar + 1);
    std::string dir = fz::path_of("haldorin");
    std::string f0 = dir + "/0.scr", f1 = dir + "/1.scr", f2 = dir + "/2.scr";
    std::filesystem::create_directory(dir);
    vt::write_file(f0, first);
    vt::write_file(f1, second);

    long c1 = adjusted(whole_triangles(first), how), c2 = adjusted(whole_triangles(second), how >> 2);
    bool ok = fz::run_script(s, "(inters_ltri " + std::to_string(c1) + " " + std::to_string(c2) + ")\n");
    if (vt::file_exists(f2))
        fz::fail("the segment file stayed behind");
    if (!ok) {
        if (!vt::file_exists(f0) || !vt::file_exists(f1))
            fz::fail("a failed call deleted a triangle file: " + s.failure_reason());
        return 0;
    }
    if (vt::file_exists(f0) || vt::file_exists(f1))
        fz::fail("a triangle file stayed behind after the call succeeded");
    for (const auto &e : s.drawing().entities) {
        if (e.type != "POLYLINE")
            fz::fail("inters_ltri drew a " + e.type.str());
        for (const auto &p : e.pts)
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
                fz::fail("a curve vertex is not finite");
    }
    return 0;
}
