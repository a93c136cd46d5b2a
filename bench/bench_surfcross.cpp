// bench_surfcross -- the peer of SURFCROSS's crossing, (inters_ltri n1 n2):
// the two triangle files read back, CGAL's box_intersection_d over the 3D
// boxes of both surfaces and CGAL's triangle-triangle intersection on every
// pair it reports.  bench/addon.sh times the add-on on the same files.
//
//   bench_surfcross write FOLDER [scale]   writes FOLDER/0.scr and 1.scr,
//                                          two terrains of about 100,000
//                                          triangles each at scale 1, nine
//                                          numbers a line as SURFCROSS
//                                          writes them; prints the counts
//   bench_surfcross peer FOLDER N1 N2      reads them and crosses them;
//                                          prints the segments found
#include "terrains.h"

#include <CGAL/intersections.h>

#include <cstdio>
#include <cstdlib>
#include <string>

static bool write_file(const std::string &path, const std::vector<Triangle> &tris)
{
    std::FILE *f = std::fopen(path.c_str(), "w");
    if (!f)
        return false;
    for (const auto &t : tris)
        std::fprintf(f, "%.17g %.17g %.17g %.17g %.17g %.17g %.17g %.17g %.17g\n", t.p[0].x, t.p[0].y,
                     t.p[0].z, t.p[1].x, t.p[1].y, t.p[1].z, t.p[2].x, t.p[2].y, t.p[2].z);
    return std::fclose(f) == 0;
}

static bool read_file(const std::string &path, std::size_t n, std::vector<Triangle> &tris)
{
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    std::string text;
    char buf[1 << 16];
    for (std::size_t got; (got = std::fread(buf, 1, sizeof buf, f)) > 0;)
        text.append(buf, got);
    std::fclose(f);
    const char *p = text.c_str();
    tris.resize(n);
    for (std::size_t i = 0; i < n; i++)
        for (int k = 0; k < 3; k++) {
            char *end;
            double *v = &tris[i].p[k].x;
            for (int c = 0; c < 3; c++, p = end)
                if ((v[c] = std::strtod(p, &end)), end == p)
                    return false;
        }
    return true;
}

int main(int argc, char **argv)
{
    std::string mode = argc > 2 ? argv[1] : "";
    if (mode == "write") {
        double scale = argc > 3 ? std::atof(argv[3]) : 1.0;
        int n = std::max(4, int(std::lround(std::sqrt(50000.0 * scale))));
        std::vector<Triangle> ground = terrain(n, 2.0, 0.0, 512000, 4031000, 300, 1);
        std::vector<Triangle> design = terrain(n, 2.0 * 1.03, 7 * M_PI / 180, 512010, 4030990, 300.5, 2);
        std::string folder = argv[2];
        if (!write_file(folder + "/0.scr", ground) || !write_file(folder + "/1.scr", design)) {
            std::fprintf(stderr, "bench_surfcross: cannot write into %s\n", folder.c_str());
            return 1;
        }
        std::printf("%zu %zu\n", ground.size(), design.size());
        return 0;
    }
    if (mode != "peer" || argc < 5) {
        std::fprintf(stderr, "usage: bench_surfcross write FOLDER [scale] | peer FOLDER N1 N2\n");
        return 2;
    }
    typedef CGAL::Box_intersection_d::Box_with_info_d<double, 3, std::size_t> Box;
    std::vector<Triangle> a, b;
    std::string folder = argv[2];
    if (!read_file(folder + "/0.scr", std::strtoul(argv[3], nullptr, 10), a)
        || !read_file(folder + "/1.scr", std::strtoul(argv[4], nullptr, 10), b)) {
        std::fprintf(stderr, "bench_surfcross: cannot read the triangles in %s\n", folder.c_str());
        return 1;
    }
    std::vector<Box> ba = boxes<3>(a), bb = boxes<3>(b);
    std::size_t segments = 0;
    auto tri = [](const Triangle &t) {
        return K::Triangle_3(K::Point_3(t.p[0].x, t.p[0].y, t.p[0].z), K::Point_3(t.p[1].x, t.p[1].y, t.p[1].z),
                             K::Point_3(t.p[2].x, t.p[2].y, t.p[2].z));
    };
    CGAL::box_intersection_d(ba.begin(), ba.end(), bb.begin(), bb.end(), [&](const Box &p, const Box &q) {
        K::Triangle_3 s = tri(a[p.info()]), t = tri(b[q.info()]);
        if (!CGAL::do_intersect(s, t))
            return;
        auto r = CGAL::intersection(s, t);
        if (r && boost::get<K::Segment_3>(&*r))
            segments++;
    });
    std::printf("%zu segments\n", segments);
    return 0;
}
