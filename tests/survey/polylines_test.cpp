// Segments joined into polylines: loops, open lines, branches, duplicates,
// and ends that differ in their last bit; layer names made safe.
#include <gtest/gtest.h>

#include <cmath>

#include "polylines.h"

using velmora::join_segments;
using velmora::Polyline;
using velmora::Segment;
using velmora::Vec3;

namespace {

Vec3 P(double x, double y, double z = 0) { return Vec3{x, y, z}; }

std::string text(const Polyline &p)
{
    std::string s = p.closed ? "closed" : "open";
    for (const auto &q : p.pts)
        s += " " + std::to_string((int)q.x) + "," + std::to_string((int)q.y);
    return s;
}

}  // namespace

TEST(JoinSegments, LoopsOpenLinesBranchesAndDuplicatesAndSafeLayerNames)
{
    double x = 0.1 + 0.2;                      // 0.30000000000000004
    double y = std::nextafter(x, 1.0);
    struct Case { const char *what; std::vector<Segment> segs; std::vector<std::string> lines; } cases[] = {
        // The open line comes first, walked from its end met first (5,0 is
        // met before 4,4 but has two segments; 6,0 too; 7,1 is an end).
        {"a square out of order, two sides reversed, and an open line",
         {{P(0, 0), P(1, 0)}, {P(1, 1), P(0, 1)}, {P(5, 0), P(6, 0)}, {P(1, 1), P(1, 0)}, {P(0, 1), P(0, 0)},
          {P(7, 1), P(6, 0)}, {P(4, 4), P(5, 0)}},
         {"open 7,1 6,0 5,0 4,4", "closed 0,0 1,0 1,1 0,1"}},
        {"duplicates count once, zero-length segments are dropped",
         {{P(0, 0), P(1, 0)}, {P(1, 0), P(0, 0)}, {P(1, 0), P(1, 0)}, {P(1, 0), P(2, 0)}, {P(1, 0), P(2, 0)}},
         {"open 0,0 1,0 2,0"}},
        {"a point alone", {{P(3, 3), P(3, 3)}}, {}},
        {"a cross: lines end where three or more segments meet",
         {{P(0, 0), P(1, 0)}, {P(0, 0), P(0, 1)}, {P(-1, 0), P(0, 0)}, {P(0, -1), P(0, 0)}},
         {"open 0,0 1,0", "open 0,0 0,1", "open 0,0 -1,0", "open 0,0 0,-1"}},
        {"a figure eight: two loops, each starting and ending at the node",
         {{P(0, 0), P(1, 1)}, {P(1, 1), P(2, 0)}, {P(2, 0), P(0, 0)},
          {P(0, 0), P(-1, 1)}, {P(-1, 1), P(-2, 0)}, {P(-2, 0), P(0, 0)}},
         {"closed 0,0 1,1 2,0", "closed 0,0 -1,1 -2,0"}},
        {"ends one bit apart do not join", {{P(0, 0), P(x, 1)}, {P(y, 1), P(2, 0)}}, {"open 0,0 0,1", "open 0,1 2,0"}},
        {"ends with the same bits join", {{P(0, 0), P(x, 1)}, {P(x, 1), P(2, 0)}}, {"open 0,0 0,1 2,0"}},
        {"the same plan point at two heights is two ends",
         {{P(0, 0, 1), P(1, 0, 1)}, {P(1, 0, 2), P(2, 0, 2)}}, {"open 0,0 1,0", "open 1,0 2,0"}},
    };
    for (const auto &c : cases) {
        std::vector<std::string> got;
        for (const Polyline &p : join_segments(c.segs))
            got.push_back(text(p));
        EXPECT_EQ(got, c.lines) << c.what;
    }

    EXPECT_EQ(velmora::safe_layer_name("Top of bank", "X"), "TOP_OF_BANK");
    EXPECT_EQ(velmora::safe_layer_name("EG-2024$a", "X"), "EG-2024$A");
    EXPECT_EQ(velmora::safe_layer_name("a/b:c*?<>\"|=;,`", "X"), "A_B_C" + std::string(10, '_'));
    EXPECT_EQ(velmora::safe_layer_name(std::string(40, 'k'), "X"), std::string(31, 'K'));
    EXPECT_EQ(velmora::safe_layer_name("***", "FALLBACK"), "FALLBACK");
    EXPECT_EQ(velmora::safe_layer_name("", "FALLBACK"), "FALLBACK");
}
