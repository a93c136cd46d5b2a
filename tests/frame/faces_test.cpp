// The face reader of vol's and colfe's exports: 3DFACEs and polygon meshes
// (open, closed, smoothed) handed on as four-cornered faces; bad files.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "addon_session.h"

namespace {

struct Quad { frame_point p[4]; };
std::vector<Quad> quads;
int stop_after = -1;                     // the callback fails on this face

int take_quad(const frame_point *a, const frame_point *b, const frame_point *c, const frame_point *d)
{
    quads.push_back({{*a, *b, *c, *d}});
    return (int)quads.size() == stop_after;
}

const frame_face_reader kReader = {take_quad, " counts %d by %d, up to %d"};

std::string g(int code, const std::string &v) { return std::to_string(code) + "\n" + v + "\n"; }

struct V { double x, y, z; int flag; };

// A mesh POLYLINE: flags, then its count groups as given, then the vertices.
std::string mesh(int flags, const std::string &counts, const std::vector<V> &vs)
{
    std::string t = g(0, "POLYLINE") + g(8, "0") + g(66, "1") + g(70, std::to_string(flags)) + counts;
    char buf[200];
    for (const auto &v : vs) {
        std::snprintf(buf, sizeof buf, "0\nVERTEX\n8\n0\n10\n%.10f\n20\n%.10f\n30\n%.10f\n70\n%d\n",
                      v.x, v.y, v.z, v.flag);
        t += buf;
    }
    return t + g(0, "SEQEND") + g(8, "0");
}

std::string counts(int m, int n) { return g(71, std::to_string(m)) + g(72, std::to_string(n)); }

// Vertex (i, j) of an m x n grid lies at x = 10 j + i, y = 10 i.
std::vector<V> grid(int m, int n, int flag = 64)
{
    std::vector<V> vs;
    for (int i = 0; i < m; i++)
        for (int j = 0; j < n; j++)
            vs.push_back({10.0 * j + i, 10.0 * i, 1.0 + 0.01 * (i + j), flag});
    return vs;
}

class Faces : public ::testing::Test {
protected:
    vt::AddonSession s;
    int found = -1;
    std::string out;

    // Reads `text` (with an EOF marker unless told) as the export.
    int read(const std::string &text, bool eof_marker = true)
    {
        vt::write_file(s.dir.file("x.dxf"), g(0, "SECTION") + g(2, "ENTITIES") + text +
                                                 (eof_marker ? g(0, "ENDSEC") + g(0, "EOF") : ""));
        EXPECT_EQ(dxf_open(s.dir.file("x.dxf").c_str()), 0);
        quads.clear();
        s.take_output();
        int r = frame_read_faces(&kReader, &found);
        dxf_close();
        out = s.take_output();
        return r;
    }
};

TEST_F(Faces, MeshCellsFaceCornersAndWhatStopsTheReading)
{
    EXPECT_EQ(read(mesh(16, counts(3, 4), grid(3, 4))), 0);
    ASSERT_EQ(quads.size(), 2u * 3);                           // (M-1)(N-1)
    EXPECT_EQ(found, 1);
    // The first cell: (0,0), (0,1), (1,1), (1,0); the rows go on in order.
    const double want[4][2] = {{0, 0}, {10, 0}, {11, 10}, {1, 10}};
    for (int k = 0; k < 4; k++)
        EXPECT_TRUE(quads[0].p[k].x == want[k][0] && quads[0].p[k].y == want[k][1]) << k;
    EXPECT_EQ(quads[3].p[0].y, 10.0);
    EXPECT_EQ(read(mesh(16 | 32, counts(3, 4), grid(3, 4))), 0);
    EXPECT_EQ(quads.size(), 2u * 4);                           // (M-1)N
    EXPECT_EQ(quads[3].p[1].x, 0.0);                           // the closing column is column 0
    EXPECT_EQ(read(mesh(16 | 1, counts(3, 4), grid(3, 4))), 0);
    EXPECT_EQ(quads.size(), 3u * 3);                           // M(N-1)
    EXPECT_EQ(quads[8].p[2].y, 0.0);                           // the closing row is row 0
    EXPECT_EQ(read(mesh(16 | 1 | 32, counts(3, 4), grid(3, 4))), 0);
    EXPECT_EQ(quads.size(), 3u * 4);                           // MN

    // Smoothed: counts from 73/74, only the vertices flagged 72.
    std::vector<V> vs = grid(2, 3, 72);
    vs.insert(vs.begin() + 2, {500, 500, 1, 80});
    vs.insert(vs.begin(), {600, 600, 1, 80});
    EXPECT_EQ(read(mesh(16 | 4, counts(9, 9) + g(73, "2") + g(74, "3"), vs)), 0);
    ASSERT_EQ(quads.size(), 2u);
    for (const auto &q : quads)
        for (const auto &c : q.p)
            EXPECT_LT(c.x, 100);                               // no control vertex
    // A plain mesh skips a fitted vertex.
    vs = grid(2, 2);
    vs.insert(vs.begin() + 1, {700, 700, 1, 72});
    EXPECT_EQ(read(mesh(16, counts(2, 2), vs)), 0);
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_EQ(quads[0].p[1].x, 10.0);

    // A 3D polyline and a LINE: nothing, and nothing found.
    EXPECT_EQ(read(mesh(8, counts(0, 0), grid(1, 3, 32)) + g(0, "LINE") + g(10, "0")), 0);
    EXPECT_TRUE(quads.empty());
    EXPECT_EQ(found, 0);

    // A face's corners keep their doubles.
    std::string face = g(0, "3DFACE") + g(8, "0");
    const char *v[12] = {"500000.125", "5000000.375", "300.5", "500010.125", "5000000.375", "300.5",
                         "500010.125", "5000010.375", "310.25", "500000.125", "5000010.375", "310.25"};
    for (int k = 0; k < 4; k++)
        face += g(10 + k, v[3 * k]) + g(20 + k, v[3 * k + 1]) + g(30 + k, v[3 * k + 2]);
    EXPECT_EQ(read(face), 0);
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_EQ(found, 1);
    EXPECT_EQ(quads[0].p[3].x, 500000.125);
    EXPECT_EQ(quads[0].p[3].y, 5000010.375);
    EXPECT_EQ(quads[0].p[2].z, 310.25);
    // The coordinate limit itself is taken.
    std::string edge = g(0, "3DFACE");
    for (int k = 0; k < 4; k++)
        edge += g(10 + k, k % 2 ? "1e12" : "-1e12") + g(20 + k, k < 2 ? "0" : "1") + g(30 + k, "-1e12");
    EXPECT_EQ(read(edge), 0);
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_EQ(quads[0].p[1].x, 1e12);
    EXPECT_EQ(quads[0].p[0].z, -1e12);

    for (const std::string &c : {counts(1, 3), counts(3, -2), counts(3, 40000), counts(3, 2000000000),
                                 g(71, "3") + g(72, "abc"), g(71, "3") + g(72, "4294967298")}) {
        EXPECT_EQ(read(mesh(16, c, grid(3, 2))), 1) << c;
        EXPECT_NE(out.find("Can't read VOL.DXF at article"), std::string::npos) << c;
        EXPECT_TRUE(quads.empty()) << c;
    }
    EXPECT_NE(out.find("4294967298"), std::string::npos) << out;
    // The caller's text names the counts.
    read(mesh(16, counts(1, 3), grid(1, 3)));
    EXPECT_NE(out.find(" counts 1 by 3, up to 32767"), std::string::npos) << out;
    // A mesh one vertex wide either way has no face: refused, not read as empty.
    EXPECT_EQ(read(mesh(16, counts(2, 1), grid(2, 1))), 1);
    EXPECT_NE(out.find(" counts 2 by 1, up to 32767"), std::string::npos) << out;
    EXPECT_EQ(read(mesh(16, counts(1, 2), grid(1, 2))), 1);
    EXPECT_NE(out.find(" counts 1 by 2, up to 32767"), std::string::npos) << out;
    // A second mesh without counts does not borrow the first one's.
    EXPECT_EQ(read(mesh(16, counts(2, 2), grid(2, 2)) + mesh(16, "", grid(2, 2))), 1);
    EXPECT_EQ(quads.size(), 1u);
    EXPECT_NE(out.find(" counts 0 by 0"), std::string::npos) << out;

    // A 3DFACE cut short by the next entity: the line, the value and the code.
    std::string cut = g(0, "3DFACE") + g(10, "0") + g(20, "0") + g(30, "0") + g(11, "1") + g(21, "0") +
                      g(31, "0") + g(12, "1") + g(22, "1") + g(32, "0") + g(0, "LINE");
    EXPECT_EQ(read(cut), 1);
    EXPECT_EQ(out, "\n*** VOLUME or COLF Error - Can't read VOL.DXF at article27!\nLINE\n0");
    EXPECT_EQ(read(g(0, "3DFACE") + g(10, "1") + g(20, "x")), 1);
    // Coordinates must be finite and within 1e12 in faces and meshes: +-1e300
    // would overflow colfe's cutter and the volume's sums.
    EXPECT_EQ(read(g(0, "3DFACE") + g(10, "1") + g(20, "inf")), 1);
    for (const char *bad : {"24.4E20000000", "-1e300", "1.000001e12"}) {
        EXPECT_EQ(read(g(0, "3DFACE") + g(10, "1") + g(20, bad)), 1) << bad;
        EXPECT_NE(out.find(std::string("\n") + bad + "\n20"), std::string::npos) << out;
    }
    std::string far_mesh = mesh(16, counts(2, 2), {{0, 0, 0, 64}, {1, 0, 0, 64}, {0, 1e13, 0, 64}, {1, 1, 0, 64}});
    EXPECT_EQ(read(far_mesh), 1);
    std::string nan_mesh = mesh(16, counts(2, 2), grid(2, 2));
    nan_mesh.replace(nan_mesh.find("30\n1.0000000000"), 15, "30\nnan");
    EXPECT_EQ(read(nan_mesh), 1);
    EXPECT_NE(out.find("\nnan\n30"), std::string::npos) << out;
    EXPECT_EQ(read(mesh(16, counts(2, 2), {{0, 0, 0, 64}})), 1);              // too few vertices
    EXPECT_NE(out.find("article"), std::string::npos);
    EXPECT_EQ(read(g(0, "POLYLINE") + g(70, "16") + counts(2, 2) + g(0, "SEQEND")), 1);   // no VERTEX
    EXPECT_EQ(read(g(0, "3DFACE") + g(10, "1") + g(20, "1"), false), 1);                 // end of file
    EXPECT_NE(out.find("the file ends inside an entity"), std::string::npos);
    EXPECT_TRUE(quads.empty());
    // A face the caller refuses ends the reading there.
    stop_after = 2;
    EXPECT_EQ(read(mesh(16, counts(3, 4), grid(3, 4))), 1);
    stop_after = -1;
    EXPECT_EQ(quads.size(), 2u);
}

}  // namespace
