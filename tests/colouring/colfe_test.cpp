// colfe in-process: the pieces drawn for single triangles, their colours and visible edges, the commands sent, the
// arguments and what is erased.  (Its export's reader: tests/frame/faces_test.cpp; whole maps: test_colour_map.py.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "addon_session.h"
#include "colouring.h"

namespace {

using velmora::Entity;
using velmora::Vec3;

const char *kColours = "'(1 2 3) '(4 5 6) '(7 8 9) '(10 11 12) '(13 14 15)";
// With these, band k (0 the lowest) is drawn in colour 15 - k.

Entity tri(Vec3 a, Vec3 b, Vec3 c) { return vt::face(a, b, c, c); }

class Colfe : public ::testing::Test {
protected:
    vt::AddonSession s;
    std::uint64_t first_new = 0;

    std::string run(const std::string &levels, const std::string &colours = kColours)
    {
        first_new = s.drawing().next_id;
        s.take_output();
        s.input("all\n\n");
        return s.call_lisp("(colfe '(" + levels + ") " + colours + ")");
    }
    void clear()
    {
        for (auto &e : s.drawing().entities)
            e.erased = true;
    }
    std::vector<Entity> pieces()
    {
        std::vector<Entity> out;
        for (const auto &e : s.drawing().entities)
            if (!e.erased && e.type == "3DFACE" && e.id >= first_new)
                out.push_back(e);
        return out;
    }
    int count_log(const std::string &prefix)
    {
        int n = 0;
        for (const auto &l : s.command_log())
            n += l.compare(0, prefix.size(), prefix) == 0;
        return n;
    }
};

double plan_area(const std::vector<Vec3> &p)
{
    double a = 0;
    for (std::size_t i = 0; i < p.size(); i++) {
        const Vec3 &u = p[i], &v = p[(i + 1) % p.size()];
        a += u.x * v.y - v.x * u.y;
    }
    return std::fabs(a) / 2;
}

// The part of a polygon on one side of the height z (z is linear over it).
std::vector<Vec3> clip(const std::vector<Vec3> &in, double z, bool keep_above)
{
    std::vector<Vec3> out;
    for (std::size_t i = 0; i < in.size(); i++) {
        Vec3 a = in[i], b = in[(i + 1) % in.size()];
        bool ia = keep_above ? a.z >= z : a.z <= z, ib = keep_above ? b.z >= z : b.z <= z;
        if (ia)
            out.push_back(a);
        if (ia != ib) {
            double t = (z - a.z) / (b.z - a.z);
            out.push_back({a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, z});
        }
    }
    return out;
}

bool same(const Vec3 &a, const Vec3 &b)
{
    return std::fabs(a.x - b.x) < 1e-9 && std::fabs(a.y - b.y) < 1e-9 && std::fabs(a.z - b.z) < 1e-9;
}

// Where the level z meets the triangle: an edge lying on it, or the two
// points where it crosses; fewer than two distinct points give nothing.
std::vector<Vec3> level_cut(const std::vector<Vec3> &t, double z)
{
    std::vector<Vec3> pts;
    auto add = [&](Vec3 p) {
        for (const auto &q : pts)
            if (same(p, q))
                return;
        pts.push_back(p);
    };
    for (int i = 0; i < 3; i++) {
        Vec3 a = t[i], b = t[(i + 1) % 3];
        if (a.z == z)
            add(a);
        if ((a.z - z) * (b.z - z) < 0) {
            double s = (z - a.z) / (b.z - a.z);
            add({a.x + (b.x - a.x) * s, a.y + (b.y - a.y) * s, z});
        }
    }
    return pts.size() == 2 ? pts : std::vector<Vec3>{};
}

// Checks pieces from `tris` (levels lo..hi): each band's plan area is the clipped triangles', corners lie in their
// band, visible edges on levels, and each level crossing a triangle of several bands is shown as an edge across it.
void check_bands(const std::vector<std::vector<Vec3>> &tris, const std::vector<Entity> &pieces, double lo, double hi)
{
    double d = (hi - lo) / 15, level[16];
    for (int k = -1; k < 15; k++)
        level[k + 1] = lo + (k + 1) * d;           // level[k + 1]: top of band k
    double want[16] = {0}, got[16] = {0}, total = 0;
    for (const auto &t : tris) {
        total += plan_area(t);
        if (t[0].z == t[1].z && t[1].z == t[2].z) {    // flat: the band it tops, or the highest
            int k = 0;
            while (k < 14 && t[0].z > level[k + 1])
                k++;
            want[t[0].z >= level[14] ? 14 : k] += plan_area(t);
            continue;
        }
        for (int k = 0; k < 15; k++) {
            std::vector<Vec3> p = t;
            if (k > 0)
                p = clip(p, level[k], true);
            if (k < 14 && p.size() >= 3)
                p = clip(p, level[k + 1], false);
            if (p.size() >= 3)
                want[k] += plan_area(p);
        }
    }
    const double tol = 1e-9 * (1 + total);
    double sum = 0;
    for (const auto &e : pieces) {
        int k = 15 - e.colour;
        ASSERT_TRUE(k >= 0 && k < 15) << "colour " << e.colour;
        got[k] += plan_area(e.pts);
        sum += plan_area(e.pts);
        double bot = k > 0 ? level[k] : -1e300, top = k < 14 ? level[k + 1] : 1e300;
        for (const auto &p : e.pts)
            EXPECT_TRUE(p.z >= bot - 1e-9 && p.z <= top + 1e-9) << "corner at " << p.z << " in band " << k;
        for (int i = 0; i < 4; i++) {
            if (e.face_hidden & (1 << i))
                continue;
            double za = e.pts[i].z, zb = e.pts[(i + 1) % 4].z;
            bool on = false;
            for (int j = 1; j < 16; j++)
                on = on || (std::fabs(za - level[j]) < 1e-9 && std::fabs(zb - level[j]) < 1e-9);
            EXPECT_TRUE(on) << "visible edge from z " << za << " to " << zb;
        }
    }
    for (int k = 0; k < 15; k++)
        EXPECT_NEAR(got[k], want[k], tol) << "band " << k;
    EXPECT_NEAR(sum, total, tol);
    for (const auto &t : tris) {
        double zlo = std::fmin(t[0].z, std::fmin(t[1].z, t[2].z));
        double zhi = std::fmax(t[0].z, std::fmax(t[1].z, t[2].z));
        bool several = false;
        for (int j = 1; j < 15; j++)
            several = several || (level[j] > zlo && level[j] < zhi);
        for (int j = 1; several && j < 15; j++) {
            std::vector<Vec3> cut = level_cut(t, level[j]);
            if (cut.empty())
                continue;
            bool shown = false;
            for (const auto &e : pieces)
                for (int i = 0; i < 4; i++) {
                    const Vec3 &u = e.pts[i], &v = e.pts[(i + 1) % 4];
                    shown = shown || (!(e.face_hidden & (1 << i)) && ((same(u, cut[0]) && same(v, cut[1]))
                                                                       || (same(u, cut[1]) && same(v, cut[0]))));
                }
            EXPECT_TRUE(shown) << "no contour at " << level[j];
        }
    }
}

TEST_F(Colfe, TrianglesInsideOneBandAreDrawnWholeAndThoseAcrossLevelsCut)
{
    s.drawing().add(tri({0, 0, 12}, {10, 0, 14}, {0, 10, 18}));     // band 1
    s.drawing().add(tri({20, 0, 145}, {30, 0, 170}, {20, 10, 160})); // above band 13
    s.drawing().add(tri({40, 0, -50}, {50, 0, 5}, {40, 10, 9}));     // under level 0
    s.drawing().add(tri({60, 0, 140}, {70, 0, 160}, {60, 10, 150})); // from 140 up: whole, over 150 too
    EXPECT_EQ(run("0.0 150.0"), "T");
    auto p = pieces();
    std::vector<int> colours;
    for (const auto &e : p) {
        colours.push_back(e.colour);
        EXPECT_EQ(e.face_hidden, 15);
    }
    ASSERT_EQ(colours, (std::vector<int>{14, 1, 15, 1}));   // colf_colours[13], [0], [14], [0]
    EXPECT_TRUE(p[3].pts[0].z == 140 && p[3].pts[1].z == 160 && p[3].pts[2].z == 150);
    int originals = 0;
    for (const auto &e : s.drawing().entities)
        originals += e.id < first_new && !e.erased;
    EXPECT_EQ(originals, 0);
    EXPECT_FALSE(vt::file_exists(s.dir.file("colf.dxf")));

    // The levels are worked out once per range: the same bits as worked out
    // afresh, whichever range was asked for before (a zero's sign included).
    const double ranges[][2] = {{0.0, 150.0}, {-0.0, 0.0}, {0.0, 0.0}, {300.1, 320.7}, {0.0, 150.0}, {-7, 1e-300}};
    for (const auto &r : ranges) {
        colf_low = r[0];
        colf_high = r[1];
        for (int k = -1; k < COLF_BANDS; k++) {
            double want = r[0] + (double)(k + 1) * ((r[1] - r[0]) / 15.0);
            EXPECT_EQ(std::signbit(colf_level(k)), std::signbit(want)) << r[0] << " " << k;
            EXPECT_EQ(colf_level(k), want) << r[0] << " " << r[1] << " " << k;
        }
    }

    // Single triangles cut by the levels 10, 20, ...: the pieces, their colours and
    // visible edges (bit i of the hidden flags hides the edge from corner i).
    struct Case {
        std::vector<Vec3> t;
        std::vector<int> colours, hidden;   // per piece, in order; colours empty: not checked
    } cases[] = {
        // across two levels: below 10, the strip as a quad and the corner C, above 20; only the cuts shown
        {{{0, 0, 5}, {10, 0, 25}, {5, 10, 15}}, {15, 14, 14, 13}, {14, 10, 15, 14}},
        // a corner on a level: cut from B across edge C-A
        {{{0, 0, 5}, {10, 0, 10}, {5, 10, 15}}, {}, {14, 14}},
        // the strip above that cut turns round B itself: no empty corner piece
        {{{0, 0, 5}, {10, 0, 10}, {5, 10, 25}}, {}, {-1, -1, -1}},
        // two corners on the top cut: the piece above it collapses to the line A-C
        {{{0, 0, 20}, {10, 0, 5}, {5, 10, 20}}, {}, {-1, -1}},
        // no plan area: nothing drawn
        {{{0, 0, 12}, {0, 0, 12}, {5, 5, 40}}, {}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.t[0].z) + " " + std::to_string(c.t[1].z) + " " + std::to_string(c.t[2].z));
        clear();
        s.drawing().add(tri(c.t[0], c.t[1], c.t[2]));
        run("0.0 150.0");
        auto p = pieces();
        ASSERT_EQ(p.size(), c.hidden.size());
        for (size_t i = 0; i < p.size(); i++) {
            if (!c.colours.empty()) {
                EXPECT_EQ(p[i].colour, c.colours[i]) << i;
            }
            if (c.hidden[i] >= 0) {
                EXPECT_EQ(p[i].face_hidden, c.hidden[i]) << i;
            }
        }
        check_bands({c.t}, p, 0, 150);
    }

    // A triangle edge lying on a level is its contour, in every corner order, whether the triangle rises or falls.
    for (std::vector<Vec3> t : {std::vector<Vec3>{{0, 0, 10}, {10, 0, 10}, {5, 10, 35}},
                                std::vector<Vec3>{{0, 0, 30}, {10, 0, 30}, {5, 10, 5}}}) {
        std::sort(t.begin(), t.end(), [](Vec3 a, Vec3 b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
        do {
            clear();
            s.drawing().add(tri(t[0], t[1], t[2]));
            run("0.0 150.0");
            SCOPED_TRACE(std::to_string(t[0].z) + " " + std::to_string(t[1].z) + " " + std::to_string(t[2].z));
            check_bands({t}, pieces(), 0, 150);
        } while (std::next_permutation(t.begin(), t.end(), [](Vec3 a, Vec3 b) {
            return a.x < b.x || (a.x == b.x && a.y < b.y);
        }));
    }
}

TEST_F(Colfe, ColourIsSentOnlyWhenItChangesAndTruncatedTowardZero)
{
    s.drawing().add(tri({0, 0, 1}, {10, 0, 2}, {0, 10, 3}));
    s.drawing().add(tri({10, 0, 2}, {10, 10, 1}, {0, 10, 3}));
    run("0.0 150.0");
    EXPECT_EQ(count_log("COLOR"), 1);
    EXPECT_EQ(count_log("3DFACE"), 2);
    // A colour number of -1 is the "not yet set" mark: nothing is sent for it.
    s.drawing().add(tri({0, 0, 1}, {10, 0, 2}, {0, 10, 3}));
    std::size_t before = s.command_log().size();
    run("0.0 150.0", "'(1 2 3) '(4 5 6) '(7 8 9) '(10 11 12) '(13 14 -1)");
    for (std::size_t i = before; i < s.command_log().size(); i++)
        EXPECT_NE(s.command_log()[i].rfind("COLOR", 0), 0u) << s.command_log()[i];

    // Colour numbers are truncated toward zero.
    clear();
    s.drawing().add(tri({0, 0, 145}, {10, 0, 146}, {0, 10, 147}));
    s.drawing().add(tri({0, 0, 135}, {10, 0, 136}, {0, 10, 137}));
    s.drawing().add(tri({0, 0, 125}, {10, 0, 126}, {0, 10, 127}));
    before = s.command_log().size();
    run("0.0 150.0", "'(1.9 -2.7 250.0) '(4 5 6) '(7 8 9) '(10 11 12) '(13 14 15)");
    std::vector<std::string> sent;
    for (std::size_t i = before; i < s.command_log().size(); i++)
        if (s.command_log()[i].rfind("COLOR", 0) == 0)
            sent.push_back(s.command_log()[i]);
    EXPECT_EQ(sent, (std::vector<std::string>{"COLOR 1", "COLOR -2", "COLOR 250"}));
    auto p = pieces();
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0].colour, 1);
    EXPECT_EQ(p[2].colour, 250);       // the host refuses colour -2 and keeps 1 for p[1]
}

TEST_F(Colfe, BadArgumentsGiveNilWithoutTouchingTheDrawing)
{
    s.drawing().add(tri({0, 0, 1}, {10, 0, 2}, {0, 10, 3}));
    s.take_output();
    // The last: levels the other way round would draw pieces over one another.
    for (const char *call : {"(colfe '(0.0 15.0) '(1 2 3) '(4 5 6))",
                             "(colfe 0.0 '(1 2 3) '(4 5 6) '(7 8 9) '(10 11 12) '(13 14 15))",
                             "(colfe '(0.0 15.0) '(1 2 3) '(4 5 6) '(7 8 9) '(10 11 12) \"x\")",
                             "(colfe '(0.0 15.0) '(1 2) '(4 5 6) '(7 8 9) '(10 11 12) '(13 14 15))",
                             "(colfe '(15.0 0.0) '(1 2 3) '(4 5 6) '(7 8 9) '(10 11 12) '(13 14 15))"})
        EXPECT_EQ(s.call_lisp(call), "nil") << call;
    EXPECT_NE(s.take_output().find("colfe takes"), std::string::npos);
    EXPECT_EQ(count_log("dxfout"), 0);
    EXPECT_FALSE(s.drawing().entities[0].erased);
}

TEST_F(Colfe, OnlyTheRedrawnFacesAreErasedAndOnlyAfterAGoodReading)
{
    std::uint64_t line_id = s.drawing().add(vt::line({0, 0, 0}, {5, 5, 0}, 256)).id;
    Entity poly = vt::poly3d("0", {{0, 0, 0}, {5, 0, 1}, {5, 5, 2}});   // no mesh, not redrawn
    std::uint64_t poly_id = s.drawing().add(poly).id;
    std::uint64_t face_id = s.drawing().add(tri({0, 0, 1}, {10, 0, 2}, {0, 10, 3})).id;
    EXPECT_EQ(run("0.0 150.0"), "T");
    EXPECT_FALSE(s.drawing().find(line_id)->erased);
    EXPECT_FALSE(s.drawing().find(poly_id)->erased);
    EXPECT_TRUE(s.drawing().find(face_id)->erased);
    EXPECT_EQ(pieces().size(), 1u);

    // Nothing to colour: the message, nil, and the line stays.
    for (auto &e : s.drawing().entities)
        e.erased = e.erased || e.type == "3DFACE";
    EXPECT_EQ(run("0.0 150.0"), "nil");
    EXPECT_NE(s.take_output().find("*** VOLUME or COLF Error - Missing 3DFACE or 3DMESH !"), std::string::npos);
    EXPECT_FALSE(s.drawing().find(line_id)->erased);

    // A reading that fails keeps every original.
    Entity mesh = vt::mesh(1, 2, {{0, 0, 1}, {1, 0, 1}});   // a count no mesh can have
    std::uint64_t mesh_id = s.drawing().add(mesh).id;
    face_id = s.drawing().add(tri({0, 0, 1}, {10, 0, 2}, {0, 10, 3})).id;
    EXPECT_EQ(run("0.0 150.0"), "nil");
    std::string out = s.take_output();
    EXPECT_NE(out.find("Can't read VOL.DXF at article"), std::string::npos) << out;
    EXPECT_NE(out.find(" mesh of 1 x 2 vertices"), std::string::npos) << out;
    EXPECT_FALSE(s.drawing().find(mesh_id)->erased);
    EXPECT_FALSE(s.drawing().find(face_id)->erased);

    // Faces and meshes alone go to "erase" as the whole set (the plain path
    // looks at each and agrees); a 3D polyline among them is looked at and stays.
    for (bool with_poly : {false, true})
        for (const char *plain : {"", "1"}) {
            clear();
            setenv("VELMORA_PLAIN", plain, 1);
            mesh_id = s.drawing().add(vt::mesh(2, 2, {{0, 0, 1}, {1, 0, 1}, {0, 1, 2}, {1, 1, 2}})).id;
            face_id = s.drawing().add(tri({0, 0, 1}, {10, 0, 2}, {0, 10, 3})).id;
            poly_id = with_poly ? s.drawing().add(poly).id : 0;
            std::size_t logged = s.command_log().size();
            EXPECT_EQ(run("0.0 150.0"), "T") << plain;
            unsetenv("VELMORA_PLAIN");
            EXPECT_TRUE(s.drawing().find(mesh_id)->erased);
            EXPECT_TRUE(s.drawing().find(face_id)->erased);
            if (with_poly) {
                EXPECT_FALSE(s.drawing().find(poly_id)->erased);
            }
            std::vector<std::string> erasing;
            for (std::size_t i = logged; i < s.command_log().size(); i++)
                if (s.command_log()[i].compare(0, 5, "erase") == 0 || s.command_log()[i].compare(0, 4, "<ss>") == 0)
                    erasing.push_back(s.command_log()[i]);
            std::vector<std::string> want = {"erase <ss> \"\""};
            if (with_poly)
                want = {"erase", "<ss>", "<ss>"};   // the mesh and the face, one call each
            EXPECT_EQ(erasing, want) << plain;
        }
}

}  // namespace
