// LandXML surfaces: written faces read back bit for bit, units from
// INSUNITS, files refused with their reason, and the LANDXML command.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "addon_session.h"
#include "landxml.h"
#include "session.h"

using velmora::LandXmlHeader;
using velmora::read_landxml;
using velmora::TinSurface;
using velmora::Triangle;
using velmora::Vec3;

namespace {

bool same(const Triangle &a, const Triangle &b)
{
    for (int k = 0; k < 3; k++)
        if (std::memcmp(&a.p[k], &b.p[k], sizeof(Vec3)) != 0)
            return false;
    return true;
}

size_t count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

std::string tin(const std::string &pnts, const std::string &faces, const std::string &prefix = "")
{
    return "<?xml version=\"1.0\"?>\n<" + prefix + "LandXML xmlns" + (prefix.empty() ? "" : ":land") +
           "=\"http://www.landxml.org/schema/LandXML-1.2\" version=\"1.2\">\n<" + prefix + "Surfaces><" + prefix +
           "Surface name=\"EG\"><" + prefix + "Definition surfType=\"TIN\">\n<" + prefix + "Pnts>" + pnts + "</" +
           prefix + "Pnts>\n<" + prefix + "Faces>" + faces + "</" + prefix + "Faces>\n</" + prefix +
           "Definition></" + prefix + "Surface></" + prefix + "Surfaces></" + prefix + "LandXML>\n";
}

}  // namespace

TEST(LandXml, WrittenFacesReadBackBitForBitWithEachCornerOnceInTheirUnits)
{
    Vec3 a{0.1 + 0.2, 4036000.123456789, 252.39}, b{-0.0, 1e-7, -3.5}, c{763000, 4070000.5, 1038.999999999},
        d{1.0 / 3, 2.0 / 3, 1e11};
    std::vector<Triangle> faces = {{{a, b, c}}, {{c, b, d}}, {{a, a, d}}, {{d, c, a}}};
    LandXmlHeader head;
    head.project = "site & \"survey\"";
    head.date = "2024-05-17";
    head.time = "14:03:00";
    std::string note;
    std::string doc = velmora::landxml_document(faces, head, note);
    EXPECT_EQ(note, "the drawing has no INSUNITS: the units are written as metres; "
                    "1 face(s) with two corners at one point left out");
    EXPECT_EQ(count(doc, "<P id="), 4u);
    EXPECT_EQ(count(doc, "<F>"), 3u);
    EXPECT_NE(doc.find("<F>3 2 4</F>"), std::string::npos);
    EXPECT_NE(doc.find("<Project name=\"site &amp; &quot;survey&quot;\""), std::string::npos);
    EXPECT_NE(doc.find("<P id=\"1\">4036000.123456789 0.30000000000000004 252.39</P>"), std::string::npos);

    std::vector<TinSurface> back;
    std::string why;
    ASSERT_TRUE(read_landxml(doc, back, why)) << why;
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].name, head.project);
    ASSERT_EQ(back[0].faces.size(), 3u);
    for (int k : {0, 1, 2})
        EXPECT_TRUE(same(back[0].faces[k], faces[k < 2 ? k : 3])) << k;
    EXPECT_TRUE(std::signbit(back[0].faces[0].p[1].x));   // -0.0 stays -0.0

    // The units follow INSUNITS.
    std::vector<Triangle> one = {{{Vec3{0, 0, 0}, Vec3{1, 0, 0}, Vec3{0, 1, 1}}}};
    struct Case { int insunits; const char *units, *note; } cases[] = {
        {6, "<Metric areaUnit=\"squareMeter\" linearUnit=\"meter\" volumeUnit=\"cubicMeter\"", ""},
        {2, "<Imperial areaUnit=\"squareFoot\" linearUnit=\"foot\" volumeUnit=\"cubicFeet\" "
            "temperatureUnit=\"fahrenheit\" pressureUnit=\"inHG\"", ""},
        {21, "linearUnit=\"USSurveyFoot\"", ""},
        {4, "linearUnit=\"millimeter\"", ""},
        {10, "linearUnit=\"meter\"", "INSUNITS 10 has no LandXML unit: the units are written as metres"},
    };
    for (const auto &c : cases) {
        LandXmlHeader head;
        head.insunits = c.insunits;
        std::string note;
        std::string doc = velmora::landxml_document(one, head, note);
        EXPECT_NE(doc.find(c.units), std::string::npos) << c.insunits << "\n" << doc;
        EXPECT_EQ(note, c.note);
    }
}

TEST(LandXml, FilesThatAreNotTinSurfacesAreRefusedAndTheCommandDrawsNothingOfThem)
{
    const std::string pnts = "<P id=\"1\">0 0 1</P><P id=\"2\">0 10 2</P><P id=\"3\">10 0 3</P>";
    struct Case { std::string text, why; } cases[] = {
        {"x,y,z\n1,2,3\n", "not XML (no element in it)"},
        {"<LandXML><Surfaces>", "not XML (line 1: Start-end tags mismatch)"},
        {"<kml><Document/></kml>", "not a LandXML file (its root element is <kml>)"},
        {"<LandXML version=\"1.2\"><Surfaces><Surface name=\"G\"><Definition surfType=\"grid\"/></Surface>"
         "</Surfaces></LandXML>",
         "it holds no TIN surface"},
        {tin(pnts, ""), "its TIN surfaces hold no faces"},
        {tin("<P id=\"1\">0 0</P>", "<F>1 1 1</F>"),
         "line 4: point 1 is not \"northing easting elevation\" (three numbers within 1e12)"},
        {tin(pnts + "<P id=\"2\">5 5 5</P>", "<F>1 2 3</F>"), "line 4: point id 2 is used twice"},
        {tin(pnts, "<F>1 2 3</F>\n<F>1 2 9</F>"), "line 6: a face uses point id 9, which <Pnts> does not hold"},
        {tin(pnts, "<F>1 2 3 1</F>"), "line 5: a face <F> of a TIN holds 4 point ids, not 3"},
    };
    for (const auto &c : cases) {
        std::vector<TinSurface> out;
        std::string why;
        EXPECT_FALSE(read_landxml(c.text, out, why)) << c.text;
        EXPECT_EQ(why, c.why) << c.text;
        EXPECT_TRUE(out.empty());
    }
    // Prefixed element names read; an invisible face is not part of the surface.
    std::vector<TinSurface> out;
    std::string why;
    ASSERT_TRUE(read_landxml(tin(pnts, "<land:F>1 2 3</land:F><land:F i=\"1\">3 2 1</land:F>", "land:"), out, why))
        << why;
    ASSERT_EQ(out[0].faces.size(), 1u);
    EXPECT_TRUE(out[0].faces[0].p[1].x == 10 && out[0].faces[0].p[1].y == 0);   // easting, northing

    vt::TempDir dir;
    velmora::Session s;
    s.input("point 1,2,3\nlandxml " + dir.file("p.xml") + " all\n\n");
    EXPECT_FALSE(s.run());
    EXPECT_NE(s.failure_reason().find("LANDXML: no 3DFACE or polygon mesh in the selection; nothing written"),
              std::string::npos);
    EXPECT_FALSE(vt::file_exists(dir.file("p.xml")));

    vt::write_file(dir.file("points.xml"), "Point,Northing,Easting\n1,2,3\n");
    const std::pair<std::string, std::string> bad[] = {
        {dir.file("points.xml"), "LANDXML: " + dir.file("points.xml") + ": not XML (no element in it)"},
        {dir.file("missing.xml"), "LANDXML: cannot read " + dir.file("missing.xml") + ": No such file"},
    };
    for (const auto &[path, message] : bad) {
        velmora::Session r;
        r.input("landxml read " + path + "\n");
        EXPECT_FALSE(r.run());
        EXPECT_NE(r.failure_reason().find(message), std::string::npos) << r.failure_reason();
        EXPECT_TRUE(r.drawing().entities.empty());
    }
}
