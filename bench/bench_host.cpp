// bench_host -- the peers and the inputs of the host's benchmark
// (bench/host.sh): what the velmora program does with a drawing, done by the
// shortest C++ that does the same work, so that the script can time both in
// one run.
//
//   bench_host points N SEED OUT.dxf   an R12 drawing of N random POINTs
//   bench_host tin IN.dxf OUT.dxf      the main job's peer: the POINTs read
//                                      (getline + from_chars), triangulated
//                                      by CGAL's Delaunay_triangulation_2,
//                                      written as 3DFACEs (to_chars)
//   bench_host loop IN.dxf OUT.dxf     open + save's peer: every group read
//                                      by getline, its code and every real
//                                      value parsed by from_chars, the reals
//                                      written back by to_chars
//
// Not a test: the script compares processor time and peak memory.
#define CGAL_DISABLE_GMP 1
#include <CGAL/Delaunay_triangulation_2.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Triangulation_vertex_base_with_info_2.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

typedef CGAL::Exact_predicates_inexact_constructions_kernel K;
// Each vertex keeps the index of its point, for its height.
typedef CGAL::Triangulation_vertex_base_with_info_2<std::size_t, K> Vb;
typedef CGAL::Triangulation_data_structure_2<Vb> Tds;
typedef CGAL::Delaunay_triangulation_2<K, Tds> DT;

namespace {

// A group's value text, shortest form (what a DXF writer of doubles writes).
void put_real(std::string &out, double v)
{
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void put_group(std::string &out, const char *code, const std::string &value)
{
    out += code;
    out += '\n';
    out += value;
    out += '\n';
}

void put_point_groups(std::string &out, int first_code, double x, double y, double z)
{
    char code[8];
    const double c[3] = {x, y, z};
    for (int k = 0; k < 3; k++) {
        std::snprintf(code, sizeof code, "%3d\n", first_code + 10 * k);
        out += code;
        put_real(out, c[k]);
        out += '\n';
    }
}

// The text gathered so far to the file, once it is large.
void spill(std::ofstream &out, std::string &s)
{
    if (s.size() > (1 << 20)) {
        out << s;
        s.clear();
    }
}

// The end of the ENTITIES section and of the file.
int finish(std::ofstream &out, std::string &s)
{
    put_group(s, "  0", "ENDSEC");
    put_group(s, "  0", "EOF");
    out << s;
    return out ? 0 : 1;
}

// Random survey points on a 1 km square, in millimetres as a survey has them.
int make_points(long n, unsigned seed, const char *path)
{
    std::mt19937_64 gen(seed);
    std::uniform_int_distribution<long> mm(0, 1000000);
    std::ofstream out(path, std::ios::binary);
    std::string s;
    put_group(s, "  0", "SECTION");
    put_group(s, "  2", "ENTITIES");
    for (long i = 0; i < n; i++) {
        double x = 500000 + mm(gen) / 1000.0, y = 4000000 + mm(gen) / 1000.0, z = 100 + mm(gen) / 10000.0;
        put_group(s, "  0", "POINT");
        put_group(s, "  8", "0");
        put_point_groups(s, 10, x, y, z);
        spill(out, s);
    }
    return finish(out, s);
}

bool parse_real(const std::string &s, double &v)
{
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc();
}

int parse_code(const std::string &s)
{
    const char *b = s.data(), *e = b + s.size();
    while (b < e && *b == ' ')
        b++;
    int c = -1;
    std::from_chars(b, e, c);
    return c;
}

bool real_code(int c)
{
    return (c >= 10 && c <= 59) || (c >= 110 && c <= 149) || (c >= 210 && c <= 239) ||
           (c >= 460 && c <= 469) || (c >= 1010 && c <= 1059);
}

// The main job's peer.
int triangulate(const char *in_path, const char *out_path)
{
    std::ifstream in(in_path, std::ios::binary);
    std::vector<K::Point_2> pts;
    std::vector<double> zs;
    std::string code, value;
    bool in_point = false;
    double p[3] = {0, 0, 0};
    auto flush = [&]() {
        if (in_point) {
            pts.emplace_back(p[0], p[1]);
            zs.push_back(p[2]);
        }
    };
    while (std::getline(in, code) && std::getline(in, value)) {
        int c = parse_code(code);
        if (c == 0) {
            flush();
            in_point = value == "POINT";
            p[0] = p[1] = p[2] = 0;
        } else if (in_point && (c == 10 || c == 20 || c == 30)) {
            parse_real(value, p[c / 10 - 1]);
        }
    }
    std::vector<std::pair<K::Point_2, std::size_t>> indexed;
    indexed.reserve(pts.size());
    for (std::size_t i = 0; i < pts.size(); i++)
        indexed.emplace_back(pts[i], i);
    DT dt;
    dt.insert(indexed.begin(), indexed.end());

    std::ofstream out(out_path, std::ios::binary);
    std::string s;
    put_group(s, "  0", "SECTION");
    put_group(s, "  2", "ENTITIES");
    for (auto f = dt.finite_faces_begin(); f != dt.finite_faces_end(); ++f) {
        put_group(s, "  0", "3DFACE");
        put_group(s, "  8", "TRIANG");
        for (int k = 0; k < 4; k++) {
            auto v = f->vertex(k < 3 ? k : 2);
            put_point_groups(s, 10 + k, v->point().x(), v->point().y(), zs[v->info()]);
        }
        spill(out, s);
    }
    return finish(out, s);
}

// Open + save's peer.
int loop(const char *in_path, const char *out_path)
{
    std::ifstream in(in_path, std::ios::binary);
    std::ofstream out(out_path, std::ios::binary);
    std::string code, value, s;
    while (std::getline(in, code) && std::getline(in, value)) {
        int c = parse_code(code);
        s += code;
        s += '\n';
        double v;
        if (real_code(c) && parse_real(value, v))
            put_real(s, v);
        else
            s += value;
        s += '\n';
        spill(out, s);
    }
    out << s;
    return out ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "points" && argc == 5)
        return make_points(std::atol(argv[2]), (unsigned)std::atol(argv[3]), argv[4]);
    if (mode == "tin" && argc == 4)
        return triangulate(argv[2], argv[3]);
    if (mode == "loop" && argc == 4)
        return loop(argv[2], argv[3]);
    std::fprintf(stderr, "usage: bench_host points N SEED OUT.dxf | tin IN.dxf OUT.dxf | loop IN.dxf OUT.dxf\n");
    return 2;
}
