// The volume command: grid sampling, the surface reader, the integration and
// the command's refusals through the in-process host.  Good runs on bodies of
// known volume go through the program: test_volume_e2e.py.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "addon_session.h"
#include "volume.h"

namespace {

// A fresh work file standing in for "vol.bin", and the run state the
// sampler and the integration start from.
struct WorkFile {
    WorkFile()
    {
        vol_bin = tmpfile();
        nrp = 0;
        vol_step = 1;
        vol_cancelled = 0;
        vol_compare_count = 0;
        vol_reset_extent();
    }
    ~WorkFile()
    {
        if (vol_bin)
            fclose(vol_bin);
        vol_bin = nullptr;
        free(wrf);
        wrf = nullptr;
        vol_free_map();
    }
    std::vector<vol_sample> records()
    {
        std::vector<vol_sample> r(nrp);
        fflush(vol_bin);
        rewind(vol_bin);
        EXPECT_EQ(fread(r.data(), sizeof(vol_sample), nrp, vol_bin), nrp);
        fseek(vol_bin, 0, SEEK_END);
        return r;
    }
    // Appends a record as the sampler would.
    void put(int32_t i, int32_t j, float z)
    {
        vol_sample r = {i, j, z};
        bool first = nrp++ == 0;
        vol_imin = first ? i : std::min(vol_imin, i), vol_imax = first ? i : std::max(vol_imax, i);
        vol_jmin = first ? j : std::min(vol_jmin, j), vol_jmax = first ? j : std::max(vol_jmax, j);
        fwrite(&r, sizeof r, 1, vol_bin);
    }
};

int sample(const double a[3], const double b[3], const double c[3])
{
    return vol_sample_triangle(a[0], a[1], a[2], b[0], b[1], b[2], c[0], c[1], c[2]);
}

TEST(Sampler, RightTriangleGivesFifteenNodesInRowOrder)
{
    vt::AddonSession s;
    WorkFile w;
    const double a[3] = {0, 0, 5}, b[3] = {4, 0, 5}, c[3] = {0, 4, 5};
    ASSERT_EQ(sample(a, b, c), 0);
    auto r = w.records();
    ASSERT_EQ(r.size(), 15u);
    size_t k = 0;
    for (int j = 0; j <= 4; j++)
        for (int i = 0; i + j <= 4; i++, k++) {
            EXPECT_EQ(r[k].i, i);
            EXPECT_EQ(r[k].j, j);
            EXPECT_EQ(r[k].z, 5.0f);
        }
    EXPECT_EQ(vol_imin, 0); EXPECT_EQ(vol_imax, 4);
    EXPECT_EQ(vol_jmin, 0); EXPECT_EQ(vol_jmax, 4);
    EXPECT_EQ(vol_extent[1], 4.0);
    // Either orientation of the corners gives the same nodes.
    WorkFile w2;
    ASSERT_EQ(sample(a, c, b), 0);
    EXPECT_EQ(nrp, 15u);
}

TEST(Sampler, VerticalNegativeAndSinglePrecisionCases)
{
    vt::AddonSession s;
    {
        WorkFile w;
        const double a[3] = {0, 0, 0}, b[3] = {4, 4, 0}, c[3] = {2, 2, 7};
        EXPECT_EQ(sample(a, b, c), 0);
        EXPECT_EQ(nrp, 0u);
        EXPECT_EQ(vol_extent[0], 1e30);
        EXPECT_EQ(vol_extent[3], -1e30);
    }
    {
        WorkFile w;
        const double a[3] = {-2.7, -0.2, 1}, b[3] = {-0.4, -0.2, 1}, c[3] = {-2.7, 3.2, 1};
        ASSERT_EQ(sample(a, b, c), 0);
        std::set<int> cols;
        for (auto &r : w.records())
            cols.insert(r.i);
        EXPECT_EQ(cols, (std::set<int>{-2, -1}));
    }
    {
        WorkFile w;
        const double a[3] = {0, 0, 1234567.89}, b[3] = {2, 0, 1234567.89}, c[3] = {0, 2, 1234567.89};
        ASSERT_EQ(sample(a, b, c), 0);
        auto r = w.records();
        ASSERT_FALSE(r.empty());
        EXPECT_EQ(r[0].z, 1234567.875f);
    }
}

TEST(Sampler, SharedEdgeNodesTakeOneHeightEachSide)
{
    vt::AddonSession s;
    WorkFile w;
    // Two triangles of different slope sharing the diagonal (0,0)-(4,4):
    // both write the diagonal's nodes, with one height.
    const double a[3] = {0, 0, 0}, b[3] = {4, 0, 8}, c[3] = {4, 4, 4}, d[3] = {0, 4, -4};
    ASSERT_EQ(sample(a, b, c), 0);
    ASSERT_EQ(sample(a, c, d), 0);
    std::vector<std::pair<int, int>> seen;
    for (auto &r : w.records())
        if (r.i == r.j) {
            EXPECT_FLOAT_EQ(r.z, (float)r.i);
            seen.push_back({r.i, r.j});
        }
    EXPECT_EQ(seen.size(), 10u);   // five diagonal nodes, each from both

    // A shared edge passing 0.001 beside the node (2,2): only the triangle
    // holding the node samples it, not the neighbour with its other slope.
    WorkFile w2;
    const double p[3] = {0, 0.001, 0}, q[3] = {4, 4.001, 0}, e[3] = {4, 0, 40}, f[3] = {0, 4, -40};
    ASSERT_EQ(sample(p, e, q), 0);
    ASSERT_EQ(sample(p, q, f), 0);
    int count = 0;
    for (auto &r : w2.records())
        if (r.i == 2 && r.j == 2)
            count++;
    EXPECT_EQ(count, 1);
}

TEST(Sampler, StopsOnBreak)
{
    vt::AddonSession s;
    WorkFile w;
    const double a[3] = {0, 0, 0}, b[3] = {10, 0, 0}, c[3] = {0, 10, 0};
    s.set_user_break_after(5);
    EXPECT_EQ(sample(a, b, c), 1);
    EXPECT_EQ(s.take_output(), "*Cancel*");
    EXPECT_LE(nrp, 5u);
    s.set_user_break(false);
}

// The rows and columns swept are those of the face's plan box: a height of
// 1e17, whose round-off tolerance is 1e4 units, must not widen them (every
// node swept polls for a break once; the box holds 11 x 11 nodes).
TEST(Sampler, AHighFaceSweepsOnlyItsPlanBox)
{
    vt::AddonSession s;
    WorkFile w;
    const double a[3] = {0, 0, 1e17}, b[3] = {10, 0, 1e17}, c[3] = {0, 10, 1e17};
    s.set_user_break_after(11 * 11);
    EXPECT_EQ(sample(a, b, c), 0);
    EXPECT_EQ(s.take_output(), "");
    EXPECT_EQ(vol_imax, 10);
    EXPECT_EQ(vol_jmax, 10);
    s.set_user_break(false);
}

// Reads `dxf` as the export, handing triangles to a counter.
int triangles_seen;
double last_corner[9];
int count_triangle(double ax, double ay, double az, double bx, double by, double bz,
                   double cx, double cy, double cz)
{
    double c[9] = {ax, ay, az, bx, by, bz, cx, cy, cz};
    std::copy(c, c + 9, last_corner);
    triangles_seen++;
    return 0;
}

int read_text(vt::AddonSession &s, const std::string &dxf)
{
    vt::write_file(s.dir.file("vol.dxf"), dxf);
    dxf_file = fopen("vol.dxf", "r");
    dxf_line_no = 1;
    vol_found = 0;
    triangles_seen = 0;
    vol_triangle_cb = count_triangle;
    int r = vol_read_export();
    fclose(dxf_file);
    dxf_file = nullptr;
    vol_free_rows();
    return r;
}

std::string g(int code, const std::string &v) { return std::to_string(code) + "\n" + v + "\n"; }

// A mesh POLYLINE of m x n vertices; `extra` adds header groups, `vflag` is
// each vertex's 70.
std::string mesh(int flags, int m, int n, const std::string &extra = "", int vflag = 64)
{
    std::string t = g(0, "POLYLINE") + g(8, "0") + g(66, "1") + g(70, std::to_string(flags)) + extra;
    if (m >= 0) t += g(71, std::to_string(m));
    if (n >= 0) t += g(72, std::to_string(n));
    for (int r = 0; r < m && r < 10; r++)
        for (int c = 0; c < n && c < 10; c++)
            t += g(0, "VERTEX") + g(8, "0") + g(10, std::to_string(c)) + g(20, std::to_string(r))
                 + g(30, std::to_string(r * c)) + g(70, std::to_string(vflag));
    return t + g(0, "SEQEND");
}

const std::string eof = g(0, "ENDSEC") + g(0, "EOF");
const std::string head = g(0, "SECTION") + g(2, "ENTITIES");

TEST(Reader, MeshQuadCountsOpenClosedAndSmoothed)
{
    vt::AddonSession s;
    EXPECT_EQ(read_text(s, head + mesh(16, 3, 4) + eof), 0);
    EXPECT_EQ(triangles_seen, 2 * 2 * 3);
    EXPECT_EQ(vol_found, 1);
    EXPECT_EQ(read_text(s, head + mesh(16 | 32, 3, 4) + eof), 0);
    EXPECT_EQ(triangles_seen, 2 * 2 * 4);
    EXPECT_EQ(read_text(s, head + mesh(16 | 32 | 1, 3, 4) + eof), 0);
    EXPECT_EQ(triangles_seen, 2 * 3 * 4);

    // Smoothed: control vertices (flag 80) skipped, 3 x 3 fitted ones read.
    std::string sm = g(0, "POLYLINE") + g(70, "20") + g(71, "2") + g(72, "2") + g(73, "3") + g(74, "3");
    for (int k = 0; k < 4; k++)
        sm += g(0, "VERTEX") + g(10, "0") + g(20, "0") + g(30, "0") + g(70, "80");
    for (int k = 0; k < 9; k++)
        sm += g(0, "VERTEX") + g(10, std::to_string(k % 3)) + g(20, std::to_string(k / 3)) + g(30, "1") + g(70, "72");
    EXPECT_EQ(read_text(s, head + sm + g(0, "SEQEND") + eof), 0);
    EXPECT_EQ(triangles_seen, 2 * 4);
    // A 3D polyline and a file without faces: nothing, and nothing found.
    EXPECT_EQ(read_text(s, head + mesh(8, 1, 3) + eof), 0);
    EXPECT_EQ(triangles_seen, 0);
    EXPECT_EQ(vol_found, 0);
}

TEST(Reader, BadMeshCountsStopWithTheLine)
{
    vt::AddonSession s;
    for (auto [m, n] : {std::pair{1, 3}, std::pair{3, -2}, std::pair{3, 40000}, std::pair{3, 2000000000}}) {
        s.take_output();
        EXPECT_EQ(read_text(s, head + mesh(16, m, n) + eof), 1) << m << " " << n;
        EXPECT_NE(s.take_output().find("Can't read VOL.DXF at article"), std::string::npos);
        EXPECT_EQ(xm, nullptr);
    }
    // A count beyond 32 bits is refused, not wrapped round to 2.
    std::string wrapped = mesh(16, 3, 2);
    wrapped.replace(wrapped.find("72\n2\n"), 5, "72\n4294967298\n");
    s.take_output();
    EXPECT_EQ(read_text(s, head + wrapped + eof), 1);
    EXPECT_EQ(triangles_seen, 0);
    EXPECT_NE(s.take_output().find("4294967298"), std::string::npos);
    // A second mesh without counts does not borrow the first one's.
    std::string second = g(0, "POLYLINE") + g(70, "16") + g(0, "VERTEX") + g(10, "0") + g(20, "0") + g(30, "0");
    s.take_output();
    EXPECT_EQ(read_text(s, head + mesh(16, 2, 2) + second + g(0, "SEQEND") + eof), 1);
    EXPECT_EQ(triangles_seen, 2);
    EXPECT_NE(s.take_output().find("mesh vertex counts 0 by 0"), std::string::npos);
    // A mesh with fewer vertices than its counts.
    std::string short_mesh = g(0, "POLYLINE") + g(70, "16") + g(71, "2") + g(72, "2")
                             + g(0, "VERTEX") + g(10, "0") + g(20, "0") + g(30, "0") + g(0, "SEQEND");
    EXPECT_EQ(read_text(s, head + short_mesh + eof), 1);
}

TEST(Reader, FaceCornersKeepTheirDoublesAndAMissingCornerIsReported)
{
    vt::AddonSession s;
    std::string face = g(0, "3DFACE") + g(8, "0");
    const char *v[12] = {"500000.125", "5000000.375", "300.5", "500010.125", "5000000.375", "300.5",
                         "500010.125", "5000010.375", "310.25", "500000.125", "5000010.375", "310.25"};
    for (int k = 0; k < 4; k++)
        face += g(10 + k, v[3 * k]) + g(20 + k, v[3 * k + 1]) + g(30 + k, v[3 * k + 2]);
    EXPECT_EQ(read_text(s, head + face + eof), 0);
    EXPECT_EQ(triangles_seen, 2);
    EXPECT_EQ(vol_found, 1);
    // The second triangle is a, c, d: its last corner is the fourth.
    EXPECT_EQ(last_corner[6], 500000.125);
    EXPECT_EQ(last_corner[7], 5000010.375);
    EXPECT_EQ(last_corner[8], 310.25);

    std::string cut = g(0, "3DFACE") + g(10, "0") + g(20, "0") + g(30, "0") + g(11, "1") + g(21, "0")
                      + g(31, "0") + g(12, "1") + g(22, "1") + g(32, "0") + g(0, "LINE");
    s.take_output();
    EXPECT_EQ(read_text(s, head + cut + eof), 1);
    EXPECT_EQ(s.take_output(), "\n*** VOLUME or COLF Error - Can't read VOL.DXF at article27!\nLINE\n0");
}

TEST(Integration, IntervalRulesAndNodeWeights)
{
    vt::AddonSession s;
    {
        // 0, 1, 3 at one node: 0-1 and 1-3.  4.000000 and 4.000005 are one crossing.
        WorkFile w;
        w.put(0, 0, 3); w.put(0, 0, 0); w.put(0, 0, 1);
        w.put(5, 5, 4.000005f); w.put(5, 5, 4.0f); w.put(5, 5, 6.0f);
        ASSERT_EQ(vol_integrate(), 0);
        EXPECT_NEAR(vol_sum_dz, 3 + 2, 1e-5);
        EXPECT_NEAR(vol_volume, 3 + 2, 1e-5);   // isolated nodes carry whole cells
        EXPECT_EQ(vol_bin, nullptr);
    }
    {
        WorkFile w;
        w.put(7, 7, 4.0f); w.put(7, 7, 4.000005f);
        s.take_output();
        EXPECT_EQ(vol_integrate(), 1);
        EXPECT_EQ(s.take_output(), "... Wait for sorting 2 elements\n*** VOLUME or COLF Error - Can't calculate volume !\n");
    }
    {
        WorkFile w;
        w.put(1, 1, 2);
        EXPECT_EQ(vol_integrate(), 1);
    }
    {
        // A 3 x 3 block: corners carry a quarter cell, borders a half, the middle a whole.
        WorkFile w;
        for (int j = 0; j < 3; j++)
            for (int i = 0; i < 3; i++)
                w.put(i, j, 0), w.put(i, j, 1);
        w.put(9, 0, 0);
        ASSERT_EQ(vol_integrate(), 0);
        ASSERT_EQ(vol_build_map(), 0);
        EXPECT_EQ(vol_node_weight(0, 0), 1.0);
        EXPECT_EQ(vol_node_weight(2, 2), 1.0);
        EXPECT_EQ(vol_node_weight(1, 0), 2.0);
        EXPECT_EQ(vol_node_weight(0, 1), 2.0);
        EXPECT_EQ(vol_node_weight(1, 1), 4.0);
        EXPECT_EQ(vol_node_weight(9, 0), 4.0);    // isolated
        EXPECT_EQ(vol_node_present(3, 0), 0);
        EXPECT_EQ(vol_node_present(-1, 0), 0);
        EXPECT_NEAR(vol_volume, 4.0, 1e-12);      // 2 x 2 cells, height 1
    }
    {
        // A break during the sort cancels the run.
        WorkFile w;
        for (int k = 0; k < 3000; k++)
            w.put(k % 50, k / 50, (float)(k % 7));
        s.set_user_break_after(0);
        s.take_output();
        EXPECT_EQ(vol_integrate(), 1);
        EXPECT_NE(s.take_output().find("*Cancel*"), std::string::npos);
        s.set_user_break(false);
    }
}

TEST(Command, DefaultsOpenSurfacesAndBadIncrements)
{
    auto run = [](vt::AddonSession &s, const char *script) {
        s.input(script);
        s.run();
        return s.take_output();
    };
    {
        // 2000 x 2000 extents offer 1.000000; one open surface gives no volume and no POINT.
        vt::AddonSession s;
        velmora::Entity e;
        e.type = "3DFACE";
        e.pts = {{0, 0, 1}, {2000, 0, 1}, {2000, 2000, 1}, {0, 2000, 1}};
        s.drawing().add(e);
        std::string out = run(s, "volume\n\nall\n\n");
        EXPECT_NE(out.find("volume increment <1.000000> : "), std::string::npos) << out;
        EXPECT_NE(out.find("Can't calculate volume !"), std::string::npos) << out;
        for (const auto &x : s.drawing().entities)
            EXPECT_NE(x.type, "POINT");
    }
    {
        // An empty drawing offers 0: Enter must not start a run.
        vt::AddonSession s;
        std::string out = run(s, "vol\n\n");
        EXPECT_NE(out.find("<0.000000>"), std::string::npos) << out;
        EXPECT_NE(out.find("Can't calculate volume: the increment must be a positive number!"), std::string::npos)
            << out;
        EXPECT_FALSE(vt::file_exists(s.dir.file("vol.bin")));
    }
    {
        // Far from the origin, an increment too fine for 32-bit node numbers.
        vt::AddonSession s;
        velmora::Entity e;
        e.type = "3DFACE";
        e.pts = {{500000, 5000000, 300}, {500010, 5000000, 300}, {500010, 5000010, 310}, {500000, 5000010, 310}};
        s.drawing().add(e);
        std::string out = run(s, "vol\n0.0001\nall\n\n");
        EXPECT_NE(out.find("the increment is too small for these coordinates!"), std::string::npos) << out;
        EXPECT_FALSE(vt::file_exists(s.dir.file("vol.bin")));
    }
}

}  // namespace
