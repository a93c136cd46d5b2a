// Segments joined into polylines: loops, open lines, branches, duplicates,
// and ends that differ in their last bit.
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

TEST(JoinSegments, LoopsAndOpenLinesWhateverTheOrderAndDirectionOfTheirSegments)
{
    // A square given out of order, two sides reversed, and an open line of
    // three segments away from it.
    std::vector<Segment> segs = {
        {P(0, 0), P(1, 0)},   {P(1, 1), P(0, 1)}, {P(5, 0), P(6, 0)}, {P(1, 1), P(1, 0)},
        {P(0, 1), P(0, 0)},   {P(7, 1), P(6, 0)}, {P(4, 4), P(5, 0)},
    };
    auto lines = join_segments(segs);
    ASSERT_EQ(lines.size(), 2u);
    // The open line comes first, walked from its end met first (5,0 is met
    // before 4,4 but has two segments; 6,0 too; 7,1 is an end).
    EXPECT_EQ(text(lines[0]), "open 7,1 6,0 5,0 4,4");
    EXPECT_EQ(text(lines[1]), "closed 0,0 1,0 1,1 0,1");
    // The same input gives the same lines.
    auto again = join_segments(segs);
    ASSERT_EQ(again.size(), lines.size());
    for (size_t i = 0; i < lines.size(); i++)
        EXPECT_EQ(text(again[i]), text(lines[i]));
}

TEST(JoinSegments, DuplicatesCountOnceAndZeroLengthSegmentsAreDropped)
{
    std::vector<Segment> segs = {
        {P(0, 0), P(1, 0)}, {P(1, 0), P(0, 0)}, {P(1, 0), P(1, 0)}, {P(1, 0), P(2, 0)}, {P(1, 0), P(2, 0)},
    };
    auto lines = join_segments(segs);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(text(lines[0]), "open 0,0 1,0 2,0");
    EXPECT_TRUE(join_segments({{P(3, 3), P(3, 3)}}).empty());
}

TEST(JoinSegments, LinesEndWhereThreeOrMoreSegmentsMeet)
{
    // A cross: four arms from the centre, each its own line.
    std::vector<Segment> cross = {
        {P(0, 0), P(1, 0)}, {P(0, 0), P(0, 1)}, {P(-1, 0), P(0, 0)}, {P(0, -1), P(0, 0)},
    };
    auto arms = join_segments(cross);
    ASSERT_EQ(arms.size(), 4u);
    for (const auto &a : arms) {
        EXPECT_FALSE(a.closed);
        EXPECT_EQ(a.pts.size(), 2u);
    }
    // A figure eight: two loops through one node are two closed lines, each
    // starting and ending there.
    std::vector<Segment> eight = {
        {P(0, 0), P(1, 1)}, {P(1, 1), P(2, 0)}, {P(2, 0), P(0, 0)},
        {P(0, 0), P(-1, 1)}, {P(-1, 1), P(-2, 0)}, {P(-2, 0), P(0, 0)},
    };
    auto loops = join_segments(eight);
    ASSERT_EQ(loops.size(), 2u);
    EXPECT_EQ(text(loops[0]), "closed 0,0 1,1 2,0");
    EXPECT_EQ(text(loops[1]), "closed 0,0 -1,1 -2,0");
}

TEST(JoinSegments, EndsJoinOnlyWhenTheirCoordinatesAreTheSameBits)
{
    double x = 0.1 + 0.2;                      // 0.30000000000000004
    double y = std::nextafter(x, 1.0);
    auto apart = join_segments({{P(0, 0), P(x, 1)}, {P(y, 1), P(2, 0)}});
    EXPECT_EQ(apart.size(), 2u);
    auto joined = join_segments({{P(0, 0), P(x, 1)}, {P(x, 1), P(2, 0)}});
    ASSERT_EQ(joined.size(), 1u);
    EXPECT_EQ(joined[0].pts.size(), 3u);
    // Heights count: the same plan point at two heights is two ends.
    EXPECT_EQ(join_segments({{P(0, 0, 1), P(1, 0, 1)}, {P(1, 0, 2), P(2, 0, 2)}}).size(), 2u);
}

TEST(SafeLayerName, KeepsWhatEveryVersionTakes)
{
    EXPECT_EQ(velmora::safe_layer_name("Top of bank", "X"), "TOP_OF_BANK");
    EXPECT_EQ(velmora::safe_layer_name("EG-2024$a", "X"), "EG-2024$A");
    EXPECT_EQ(velmora::safe_layer_name("a/b:c*?<>\"|=;,`", "X"), "A_B_C" + std::string(10, '_'));
    EXPECT_EQ(velmora::safe_layer_name(std::string(40, 'k'), "X"), std::string(31, 'K'));
    EXPECT_EQ(velmora::safe_layer_name("***", "FALLBACK"), "FALLBACK");
    EXPECT_EQ(velmora::safe_layer_name("", "FALLBACK"), "FALLBACK");
}
