// Triangle-triangle crossing and the chaining of segments into curves, as
// pure functions (the chaining writes its script to a temporary file).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "addon_session.h"
#include "intersection.h"

namespace {

struct P { double x, y, z; };

void expect_point(const double *got, P want)
{
    EXPECT_NEAR(got[0], want.x, 1e-12);
    EXPECT_NEAR(got[1], want.y, 1e-12);
    EXPECT_NEAR(got[2], want.z, 1e-12);
}

int cross(const std::vector<P> &a, const std::vector<P> &b, double out[2][3])
{
    double A[3][3], B[3][3];
    for (int i = 0; i < 3; i++) {
        A[i][0] = a[i].x; A[i][1] = a[i].y; A[i][2] = a[i].z;
        B[i][0] = b[i].x; B[i][1] = b[i].y; B[i][2] = b[i].z;
    }
    return ltri_tri_tri(A[0], A[1], A[2], B[0], B[1], B[2], out);
}

// Runs the chaining over segments given as a.x a.y a.z b.x b.y b.z and returns the script it writes.
std::string chain(std::vector<ltri_seg> segs, int *curves)
{
    int n = (int)segs.size();
    std::qsort(segs.data(), n, sizeof(ltri_seg), ltri_cmp_first_double);
    std::vector<double> ldc(3 * (n + 1));
    std::FILE *f = std::tmpfile();
    *curves = ltri_build_curves(segs.data(), n, (double (*)[3])ldc.data(), f);
    std::rewind(f);
    std::string text;
    char buf[4096];
    size_t got;
    while ((got = std::fread(buf, 1, sizeof(buf), f)) > 0)
        text.append(buf, got);
    std::fclose(f);
    return text;
}

ltri_seg seg(P a, P b)
{
    return {{a.x, a.y, a.z}, {b.x, b.y, b.z}, 1};
}

const std::vector<P> flat = {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}};

// Worked pairs give their ends in the order found, degenerate ones none, and one millionth decides both ways.
TEST(Intersection, TriangleCrossingsAndChainingOfTheirSegments)
{
    vt::AddonSession s;   // sds_distance comes from the host
    double out[2][3];
    // B's second edge meets A at (2,4.5,0), its third edge meets A's plane
    // outside A, then A's first edge meets B at (2,0,0).
    ASSERT_EQ(cross(flat, {{2, -1, -1}, {2, 5, -1}, {2, 2, 5}}, out), 1);
    expect_point(out[0], {2, 4.5, 0});
    expect_point(out[1], {2, 0, 0});
    // Two triangles sharing an edge but not a plane cross along that edge.
    ASSERT_EQ(cross(flat, {{0, 0, 0}, {10, 0, 0}, {3, -2, 5}}, out), 1);
    expect_point(out[0], {10, 0, 0});
    expect_point(out[1], {0, 0, 0});
    // No segment for coplanar, touching or degenerate triangles.
    EXPECT_EQ(cross(flat, {{1, 1, 0}, {20, 1, 0}, {1, 20, 0}}, out), 0);       // one level
    EXPECT_EQ(cross(flat, {{1, 1, 0}, {2, 1, 5}, {1, 2, 5}}, out), 0);         // a corner on A
    EXPECT_EQ(cross(flat, {{2, 2, -1}, {2, 2, 1}, {2, 2, 3}}, out), 0);        // B is a line

    double t0[3] = {0, 0, 0}, t1[3] = {10, 0, 0}, t2[3] = {0, 10, 0}, p[3];
    // A vertical segment meeting A's plane just outside its edge y = 0.
    double in0[3] = {3, -0.5e-6, -1}, in1[3] = {3, -0.5e-6, 1};
    double out0[3] = {3, -2e-6, -1}, out1[3] = {3, -2e-6, 1};
    EXPECT_EQ(ltri_seg_tri(t0, t1, t2, in0, in1, p, 1), 1);
    expect_point(p, {3, -0.5e-6, 0});
    EXPECT_EQ(ltri_seg_tri(t0, t1, t2, out0, out1, p, 0), 0);
    // An end exactly on the plane and inside counts.
    double on[3] = {1, 1, 0}, up[3] = {1, 1, 4};
    EXPECT_EQ(ltri_seg_tri(t0, t1, t2, on, up, p, 1), 1);

    // A crossing piece of length h near A's corner (10,0,0).
    for (double h : {0.5e-6, 2e-6}) {
        double x = 10 - h;
        int r = cross(flat, {{x, -1, -1}, {x, 5, -1}, {x, 2, 5}}, out);
        EXPECT_EQ(r, h > 1e-6 ? 1 : 0) << h;
    }

    // The seed grows at both ends over several passes, ends join within one millionth, loops close, colours wrap.
    int curves = 0;
    // The seed (smallest a.x) lies inside the chain; one segment (a.x 0.5)
    // only meets the start after a later one has moved it there.
    std::string script = chain({seg({0, 0, 0}, {1, 0, 0}),
                                seg({0.5, 5, 0}, {4, 1, 0}),
                                seg({2, 0, 0}, {1, 0, 0}),
                                seg({3, 1, 0}, {0, 0, 0}),
                                seg({3, 1, 0}, {4, 1, 0})}, &curves);
    EXPECT_EQ(curves, 1);
    EXPECT_EQ(script,
              "color 1\nlayer make 3dint\n\n3dpoly\n"
              "0.500000,5.000000,0.000000\n4.000000,1.000000,0.000000\n"
              "3.000000,1.000000,0.000000\n0.000000,0.000000,0.000000\n"
              "1.000000,0.000000,0.000000\n2.000000,0.000000,0.000000\n\n");

    chain({seg({0, 0, 0}, {1, 0, 0}), seg({1 + 0.9e-6, 0, 0}, {2, 0, 0})}, &curves);
    EXPECT_EQ(curves, 1);
    chain({seg({0, 0, 0}, {1, 0, 0}), seg({1 + 1.1e-6, 0, 0}, {2, 0, 0})}, &curves);
    EXPECT_EQ(curves, 2);
    // A closed loop is one curve ending on its start.
    script = chain({seg({0, 0, 1}, {1, 0, 1}), seg({1, 1, 1}, {1, 0, 1}),
                                seg({0, 1, 1}, {1, 1, 1}), seg({0, 1, 1}, {0, 0, 1})}, &curves);
    EXPECT_EQ(curves, 1);
    // Five vertices, the last on the first: "3dpoly\nV\nV\nV\nV\nV\n\n".
    size_t first = script.find("3dpoly\n") + 7, end = script.rfind("\n\n");
    std::string v0 = script.substr(first, script.find('\n', first) - first);
    EXPECT_EQ(std::count(script.begin() + first, script.begin() + end, '\n'), 4);
    EXPECT_EQ(script.substr(end - v0.size(), v0.size()), v0);

    // Colours 1 to 255 in turn, then 1 and 2 again.
    std::vector<ltri_seg> segs;
    for (int i = 0; i < 257; i++)
        segs.push_back(seg({10.0 * i, 0, 0}, {10.0 * i + 1, 0, 0}));
    script = chain(segs, &curves);
    EXPECT_EQ(curves, 257);
    std::istringstream in(script);
    std::string line;
    int k = 0;
    while (std::getline(in, line))
        if (line.rfind("color ", 0) == 0) {
            EXPECT_EQ(std::atoi(line.c_str() + 6), k++ % 255 + 1) << "curve " << k;
        }
    EXPECT_EQ(k, 257);
}

}  // namespace
