// Point files: column orders, separators, header lines, bad rows, and the
// POINTFILE command's points, labels and layers.
#include <gtest/gtest.h>

#include "addon_session.h"
#include "pointfile.h"
#include "session.h"

using velmora::read_point_rows;
using velmora::Session;
using vt::live;

TEST(PointRows, EveryOrderAndSeparatorGivesTheSamePoints)
{
    // Point 7 at northing 5000.5, easting 2000.25, elevation 101.75, "TREE".
    struct Case { const char *text, *order; bool numbered; } cases[] = {
        {"7,5000.5,2000.25,101.75,TREE\n", "", true},                // PNEZD, the default
        {"7\t2000.25\t5000.5\t101.75\tTREE\n", "PENZD", true},
        {"7;2000.25;5000.5;101.75;TREE\n", "pxyzd", true},           // X is easting
        {"  5000.5   2000.25 101.75\n", "NEZ", false},
        {"2000.25 5000.5 +101.75\n", "XYZ", false},
        {"\xEF\xBB\xBF# exported 2024\r\n\r\n7 , 5000.5 , 2000.25 , 101.75 , TREE\r\n", "", true},
    };
    for (const auto &c : cases) {
        auto r = read_point_rows(c.text, c.order);
        ASSERT_EQ(r.points.size(), 1u) << c.text;
        EXPECT_TRUE(r.bad.empty()) << c.text;
        const auto &p = r.points[0];
        EXPECT_EQ(p.northing, 5000.5) << c.text;
        EXPECT_EQ(p.easting, 2000.25) << c.text;
        EXPECT_EQ(p.elevation, 101.75) << c.text;
        EXPECT_EQ(p.number, c.numbered ? "7" : "") << c.text;
        EXPECT_EQ(p.description, c.numbered ? "TREE" : "") << c.text;
    }
    // Tabs win over as many commas: a description may hold them.
    auto tabbed = read_point_rows("7\t5000.5\t2000.25\t101.75\tOAK, ASH, ELM, FIR, YEW\n", "");
    ASSERT_EQ(tabbed.points.size(), 1u);
    EXPECT_EQ(tabbed.points[0].description, "OAK, ASH, ELM, FIR, YEW");
    // Refused: a column twice, northing twice and no easting, no elevation, no order.
    for (auto [order, ok] : {std::pair{"penzd", true}, {"XYZ", true}, {"PNEZZ", false}, {"PNYZ", false},
                             {"PNED", false}, {"LAYERS", false}})
        EXPECT_EQ(velmora::point_order(order), ok) << order;

    // A header line names the columns, whatever the user says.
    auto r = read_point_rows("Pt #,Easting (m),NORTHING (m),Elev,Code,Date\n"
                             "12,300.5,400.25,9.5,Top of bank,2024-05-01\n"
                             "13,301,401,9,\"fence, old\",2024-05-01\n",
                             "PNEZD");
    EXPECT_TRUE(r.from_header);
    EXPECT_EQ(r.order, "PENZD");
    ASSERT_EQ(r.points.size(), 2u);
    EXPECT_EQ(r.points[0].easting, 300.5);
    EXPECT_EQ(r.points[0].northing, 400.25);
    EXPECT_EQ(r.points[0].description, "Top of bank");
    EXPECT_EQ(r.points[0].line, 2);
    EXPECT_EQ(r.points[1].description, "fence, old");

    // In a blank-separated file the description is the rest of the row.
    auto b = read_point_rows("Point Northing Easting Elevation Description\n5 10 20 30 edge of  road\n", "");
    ASSERT_EQ(b.points.size(), 1u);
    EXPECT_EQ(b.points[0].description, "edge of  road");

    // A first line that names no coordinates is a row like any other.
    auto t = read_point_rows("Survey of the north field\n1,2,3,4,X\n", "");
    EXPECT_FALSE(t.from_header);
    EXPECT_EQ(t.points.size(), 1u);
    ASSERT_EQ(t.bad.size(), 1u);
    EXPECT_EQ(t.bad[0], "line 1: 1 column(s) where PNEZD needs 4");
}

TEST(PointRows, BadRowsAreReportedByLineAndTheCommandsLayersAndLabels)
{
    auto r = read_point_rows("1,10,20,30,A\n"
                             "2,ten,20,30,B\n"
                             "# a comment\n"
                             "3,10,20\n"
                             "4,10,2e12,30\n"
                             "5,nan,20,30\n"
                             "6,10,20,inf\n"
                             "7,10,20,1e400\n"
                             "8,-1e12,1e12,0,edge\n",
                             "");
    ASSERT_EQ(r.points.size(), 2u);
    EXPECT_EQ(r.points[1].number, "8");
    std::vector<std::string> want = {
        "line 2: northing \"ten\" is not a number",
        "line 4: 3 column(s) where PNEZD needs 4",
        "line 5: easting 2e12 is beyond 1e12",
        "line 6: northing \"nan\" is not a number",
        "line 7: elevation \"inf\" is not a number",
        "line 8: elevation \"1e400\" is not a number",
    };
    EXPECT_EQ(r.bad, want);

    vt::TempDir dir;
    vt::write_file(dir.file("pts.txt"), "1 100 200 10 Top of bank\n2 110 x 11\n3 120 220 12 caf\xC3\xA9\n4 1 2 3\n");
    Session s;
    s.input("layer make SITE\n\npointfile " + dir.file("pts.txt") + " skipbad LAYERS\n\n");
    ASSERT_TRUE(s.run()) << s.failure_reason();
    auto pts = live(s, "POINT");
    ASSERT_EQ(pts.size(), 3u);
    EXPECT_TRUE(pts[0]->pts[0].x == 200 && pts[0]->pts[0].y == 100 && pts[0]->pts[0].z == 10);   // E, N, Z
    EXPECT_EQ(pts[0]->layer, "TOP_OF_BANK");
    EXPECT_EQ(pts[1]->layer, "CAF_");
    EXPECT_EQ(pts[2]->layer, "SITE");          // no description: the current layer
    EXPECT_EQ(s.drawing().current_layer, "SITE");
    auto labels = live(s, "TEXT");
    ASSERT_EQ(labels.size(), 3u);
    EXPECT_EQ(labels[0]->label->text, "1 Top of bank");
    EXPECT_EQ(labels[1]->label->text, "3 caf\\U+00E9");
    EXPECT_EQ(labels[0]->layer, "POINT-LABEL");
    EXPECT_GT(labels[0]->label->height, 0);
    EXPECT_EQ(labels[0]->pts[0].z, 10);

    Session none;
    vt::write_file(dir.file("empty.csv"), "# nothing\n\n");
    none.input("pointfile " + dir.file("empty.csv") + "\n\n");
    EXPECT_FALSE(none.run());
    EXPECT_NE(none.failure_reason().find("holds no points"), std::string::npos);
    Session wrong;
    wrong.input("pointfile " + dir.file("pts.txt") + " PNEZQ\n\n");
    EXPECT_FALSE(wrong.run());
    EXPECT_NE(wrong.failure_reason().find("\"PNEZQ\" is not a column order"), std::string::npos);
}
