// The host's DXF reader and writers and the picture: what is modelled, files saved back byte for byte, new entities per
// version, the dxfout export, broken files, and a mutation run over a good file.
#include <gtest/gtest.h>

#include "addon_session.h"
#include "drawing.h"
#include "dxf_out.h"
#include "text.h"
#include "files.h"
#include "picture.h"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;

namespace {

using vt::TempDir;
void put(const std::string &path, const std::string &text) { vt::write_file(path, text); }
std::string get(const std::string &path) { return vt::read_file(path); }
// A save as the program makes it: the text, written through a temporary file.
void save(const Drawing &d, const std::string &path) { write_file_atomically(path, dxf_text(d)); }

// Joins "code\nvalue" pairs given as one string per line.
std::string lines(std::initializer_list<const char *> ls)
{
    std::string s;
    for (const char *l : ls) {
        s += l;
        s += "\n";
    }
    return s;
}

// `text` with its line ends made `eol`.
std::string ended(const std::string &text, const char *eol)
{
    std::string out;
    for (char c : text)
        out += c == '\n' ? std::string(eol) : std::string(1, c);
    return out;
}

// `text` with the first `from` in it, which must be there, made `to`.
std::string replaced(std::string text, const std::string &from, const std::string &to)
{
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// An R12 drawing as an old CAD program writes it: a header, a layer table,
// a block, the four modelled types, and entities the host does not model.
std::string r12_drawing()
{
    return lines({
        "  0", "SECTION", "  2", "HEADER",
        "  9", "$ACADVER", "  1", "AC1009",
        "  9", "$CLAYER", "  8", "0",
        "  9", "$EXTMIN", " 10", "0.0", " 20", "0.0", " 30", "0.0",
        "  0", "ENDSEC",
        "  0", "SECTION", "  2", "TABLES",
        "  0", "TABLE", "  2", "LAYER", " 70", "     2",
        "  0", "LAYER", "  2", "0", " 70", "     0", " 62", "     7", "  6", "CONTINUOUS",
        "  0", "LAYER", "  2", "GROUND", " 70", "     0", " 62", "     3", "  6", "CONTINUOUS",
        "  0", "ENDTAB",
        "  0", "ENDSEC",
        "  0", "SECTION", "  2", "BLOCKS",
        "  0", "BLOCK", "  8", "0", "  2", "B1", " 70", "     0", " 10", "0.0", " 20", "0.0", " 30", "0.0",
        "  0", "CIRCLE", "  8", "0", " 10", "0.0", " 20", "0.0", " 30", "0.0", " 40", "1.0",
        "  0", "ENDBLK", "  8", "0",
        "  0", "ENDSEC",
        "  0", "SECTION", "  2", "ENTITIES",
        "  0", "POINT", "  8", "GROUND", " 10", "1.5", " 20", "2.5", " 30", "3.5",
        "  0", "LINE", "  8", "0", " 62", "     1", " 10", "0.0", " 20", "0.0", " 30", "0.0",
        " 11", "10.0", " 21", "5.0", " 31", "2.0",
        "  0", "3DFACE", "  8", "GROUND", " 10", "0.0", " 20", "0.0", " 30", "1.0",
        " 11", "4.0", " 21", "0.0", " 31", "2.0", " 12", "4.0", " 22", "3.0", " 32", "3.0",
        " 70", "     5",
        "  0", "POLYLINE", "  8", "GROUND", " 66", "     1", " 10", "0.0", " 20", "0.0", " 30", "0.0",
        " 70", "    17", " 71", "     2", " 72", "     2",
        "  0", "VERTEX", "  8", "GROUND", " 10", "0.0", " 20", "0.0", " 30", "1.0", " 70", "    64",
        "  0", "VERTEX", "  8", "GROUND", " 10", "1.0", " 20", "0.0", " 30", "2.0", " 70", "    64",
        "  0", "VERTEX", "  8", "GROUND", " 10", "0.0", " 20", "1.0", " 30", "3.0", " 70", "    64",
        "  0", "VERTEX", "  8", "GROUND", " 10", "1.0", " 20", "1.0", " 30", "4.0", " 70", "    64",
        "  0", "SEQEND", "  8", "GROUND",
        "  0", "INSERT", "  8", "0", "  2", "B1", " 10", "5.0", " 20", "5.0", " 30", "0.0",
        "  0", "TEXT", "  8", "0", " 10", "1.0", " 20", "1.0", " 30", "0.0", " 40", "0.25", "  1", "Kote 12",
        "  0", "ENDSEC",
        "  0", "EOF",
    });
}

// The same kind of drawing as R2000 (handles, owners, subclasses), its
// $HANDSEED (30) stale: a DIMSTYLE record holds handle 35 in group 105.
std::string r2000_drawing()
{
    return lines({
        "  0", "SECTION", "  2", "HEADER",
        "  9", "$ACADVER", "  1", "AC1015",
        "  9", "$HANDSEED", "  5", "30",
        "  0", "ENDSEC",
        "  0", "SECTION", "  2", "TABLES",
        "  0", "TABLE", "  2", "LAYER", "  5", "2", "330", "0", "100", "AcDbSymbolTable", " 70", "1",
        "  0", "LAYER", "  5", "10", "102", "{ACAD_XDICTIONARY", "360", "11", "102", "}",
        "330", "2", "100", "AcDbSymbolTableRecord", "100", "AcDbLayerTableRecord",
        "  2", "0", " 70", "0", " 62", "7", "  6", "Continuous", "370", "-3", "390", "F",
        "  0", "ENDTAB",
        "  0", "TABLE", "  2", "BLOCK_RECORD", "  5", "1", "330", "0", "100", "AcDbSymbolTable", " 70", "1",
        "  0", "BLOCK_RECORD", "  5", "1F", "330", "1", "100", "AcDbSymbolTableRecord",
        "100", "AcDbBlockTableRecord", "  2", "*Model_Space",
        "  0", "ENDTAB",
        "  0", "TABLE", "  2", "DIMSTYLE", "  5", "A", "330", "0", "100", "AcDbSymbolTable", " 70", "1",
        "  0", "DIMSTYLE", "105", "35", "330", "A", "100", "AcDbSymbolTableRecord",
        "100", "AcDbDimStyleTableRecord", "  2", "Standard", " 70", "0",
        "  0", "ENDTAB",
        "  0", "ENDSEC",
        "  0", "SECTION", "  2", "ENTITIES",
        "  0", "LINE", "  5", "2A", "330", "1F", "100", "AcDbEntity", "  8", "0",
        "100", "AcDbLine", " 10", "0.0", " 20", "0.0", " 30", "0.0", " 11", "1.0", " 21", "1.0", " 31", "0.0",
        "  0", "LWPOLYLINE", "  5", "2B", "330", "1F", "100", "AcDbEntity", "  8", "0",
        "100", "AcDbPolyline", " 90", "2", " 70", "0", " 10", "0.0", " 20", "0.0", " 10", "3.0", " 20", "0.0",
        "  0", "ENDSEC",
        "  0", "SECTION", "  2", "OBJECTS",
        "  0", "DICTIONARY", "  5", "C", "330", "0", "100", "AcDbDictionary", "281", "1",
        "  0", "DICTIONARY", "  5", "11", "330", "10", "100", "AcDbDictionary", "281", "1",
        "  0", "ENDSEC",
        "  0", "EOF",
    });
}

// The groups of a DXF text, as (code, value) with the values trimmed.
std::vector<std::pair<int, std::string>> groups_of(const std::string &text)
{
    std::vector<std::pair<int, std::string>> out;
    std::istringstream in(text);
    std::string c, v;
    while (std::getline(in, c) && std::getline(in, v)) {
        if (!c.empty() && c.back() == '\r') c.pop_back();
        if (!v.empty() && v.back() == '\r') v.pop_back();
        size_t b = v.find_first_not_of(' ');
        out.push_back({std::atoi(c.c_str()), b == std::string::npos ? "" : v.substr(b)});
    }
    return out;
}

// The groups of the first entity of `type` in a DXF text, up to the next 0.
std::vector<std::pair<int, std::string>> entity_groups(const std::string &text, const std::string &type)
{
    auto g = groups_of(text);
    std::vector<std::pair<int, std::string>> out;
    for (size_t i = 0; i < g.size(); i++)
        if (g[i].first == 0 && g[i].second == type) {
            for (size_t j = i; j < g.size() && (j == i || g[j].first != 0); j++)
                out.push_back(g[j]);
            break;
        }
    return out;
}

const std::string *value_of(const std::vector<std::pair<int, std::string>> &g, int code)
{
    for (const auto &p : g)
        if (p.first == code)
            return &p.second;
    return nullptr;
}

}  // namespace

TEST(DxfRead, ModelsTheFourTypesAndKeepsTheRest)
{
    TempDir t;
    put(t.file("a.dxf"), r12_drawing());
    Drawing d = load_dxf(t.file("a.dxf"));
    EXPECT_EQ(d.version, "AC1009");
    ASSERT_EQ(d.entities.size(), 6u);
    const Entity &pt = d.entities[0], &ln = d.entities[1], &face = d.entities[2], &mesh = d.entities[3];
    EXPECT_EQ(pt.type, "POINT");
    EXPECT_EQ(pt.layer, "GROUND");
    EXPECT_EQ(pt.colour, 256);
    ASSERT_EQ(pt.pts.size(), 1u);
    EXPECT_DOUBLE_EQ(pt.pts[0].z, 3.5);
    EXPECT_EQ(ln.colour, 1);
    EXPECT_DOUBLE_EQ(ln.pts[1].x, 10.0);
    EXPECT_DOUBLE_EQ(ln.pts[1].z, 2.0);
    // A face without a fourth corner repeats its third.
    ASSERT_EQ(face.pts.size(), 4u);
    EXPECT_DOUBLE_EQ(face.pts[3].y, 3.0);
    EXPECT_EQ(face.face_hidden, 5);
    EXPECT_EQ(std::vector<int>({mesh.poly_flags, mesh.mesh_m, mesh.mesh_n}), (std::vector<int>{17, 2, 2}));
    ASSERT_EQ(mesh.pts.size(), 4u);
    EXPECT_EQ(mesh.vertex_flags, (std::vector<int>{64, 64, 64, 64}));
    EXPECT_DOUBLE_EQ(mesh.pts[3].z, 4.0);
    EXPECT_TRUE(d.entities[4].type == "INSERT" && d.entities[5].type == "TEXT");
    // Ids in drawing order, layers with their colours.
    EXPECT_LT(d.entities[0].id, d.entities[5].id);
    ASSERT_NE(d.layer("ground"), nullptr);
    EXPECT_EQ(d.layer("GROUND")->colour, 3);
    Vec3 lo, hi;
    d.extents(lo, hi);
    EXPECT_DOUBLE_EQ(hi.x, 10.0);
}

// Unusual but valid files save to their own bytes (ezdxf's, every version: test_dxf_files.py).  Of a group given twice
// the reader takes the one the writer replaces, so a changed drawing reads back as saved.
TEST(DxfRead, UnusualFilesSaveToTheirOwnBytes)
{
    TempDir t;
    const std::string r12 = r12_drawing();
    auto r12_with = [&](const std::string &from, const std::string &to) { return replaced(r12, from, to); };
    std::string plain = lines({"  9", "$CLAYER", "  8", "0"});
    std::string ground = lines({"  2", "GROUND", " 70", "     0", " 62", "     3"});
    // A header variable given twice or with blanks around its name, a layer with two colour groups.
    std::string doubled = r12_with(plain, lines({"  9", "$CLAYER", "  8", "GROUND", "  8", "",
                                                  "  9", " $CECOLOR ", " 62", "3", " 62", "5"}));
    doubled.replace(doubled.find(ground), ground.size(), ground + lines({" 62", "     5"}));
    // A variable's second entry counts for nothing: the save would add the
    // group the first one lacks, and the drawing would gain two groups.
    std::string second = r12_with(plain, lines({"  9", "$CLAYER", "810", "x", "  9", "$clayer", "  8", "GROUND",
                                                 "  9", "$CECOLOR", " 62", "3", "  9", "$CECOLOR", " 62", "5"}));
    std::string bare = lines({"  0", "SECTION", "  2", "ENTITIES",
                              "  0", "POINT", "  8", "A", " 10", "1.0", " 20", "2.0", " 30", "3.0",
                              "  0", "ENDSEC", "  0", "EOF"});
    struct Case { const char *what; std::string in, out; const char *layer; int colour; } cases[] = {
        {"groups given twice", doubled, doubled, "GROUND", 3},
        {"a variable given twice", second, second, "0", 3},
        // A line may end in more than one CR: none of them belongs to the value.
        {"CRs before LF", r12_with("Kote 12\n", "Kote 12\r\r\r\n"), r12, "0", 256},
        {"CRs before CRLF", ended(r12_with("Kote 12\n", "Kote 12\r\r\n"), "\r\n"), ended(r12, "\r\n"), "0", 256},
        // No table is made up for layer 0 alone.
        {"no header or tables", bare, bare, "0", 256},
        {"a byte order mark", "\xEF\xBB\xBF" + bare, "\xEF\xBB\xBF" + bare, "0", 256},
        // 32-bit groups keep their unsigned values: 90, and 1071 (the last group code) in extended data.
        {"a wide group", r12_with("  2\nB1\n 10\n5.0\n", "  2\nB1\n 90\n4294967295\n 10\n5.0\n"), "", "0", 256},
        {"extended data", r12_with(" 30\n3.5\n", " 30\n3.5\n1001\nVELMORA\n1071\n4294967295\n"), "", "0", 256},
    };
    for (auto &c : cases) {
        put(t.file("a.dxf"), c.in);
        Drawing d = load_dxf(t.file("a.dxf"));
        EXPECT_EQ(d.current_layer, c.layer) << c.what;
        EXPECT_EQ(d.current_colour, c.colour) << c.what;
        save(d, t.file("b.dxf"));
        EXPECT_EQ(get(t.file("b.dxf")), c.out.empty() ? c.in : c.out) << c.what;
        const Entity &last = d.entities.back();
        if (last.type == "TEXT") {
            EXPECT_EQ(last.raw[last.raw.size() - 1].value(), "Kote 12") << c.what;
        }
    }

    put(t.file("a.dxf"), doubled);
    Drawing d = load_dxf(t.file("a.dxf"));
    EXPECT_EQ(d.layer("GROUND")->colour, 3);
    d.layer("GROUND")->colour = 4;
    save(d, t.file("c.dxf"));
    Drawing back = load_dxf(t.file("c.dxf"));
    EXPECT_EQ(back.current_layer, "GROUND");
    EXPECT_EQ(back.current_colour, 3);
    EXPECT_EQ(back.layer("GROUND")->colour, 4);

    // A new layer and face in a file without tables.
    put(t.file("a.dxf"), bare);
    d = load_dxf(t.file("a.dxf"));
    d.make_layer("NEW").colour = 6;
    Entity f = vt::face({0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 1, 0});
    f.layer = "NEW";
    d.add(f);
    save(d, t.file("b.dxf"));
    back = load_dxf(t.file("b.dxf"));
    ASSERT_EQ(back.entities.size(), 2u);
    ASSERT_NE(back.layer("NEW"), nullptr);
    EXPECT_EQ(back.layer("NEW")->colour, 6);
    EXPECT_EQ(back.entities[1].layer, "NEW");

    // An entity goes out as its bytes when every line stands as the save writes it, else group by group: the same file;
    // an unpadded code among padded ones comes back padded.
    for (const char *eol : {"\n", "\r\n"}) {
        put(t.file("a.dxf"), ended(r12_drawing(), eol));
        d = load_dxf(t.file("a.dxf"));
        EXPECT_TRUE(d.layout.verbatim);
        std::string bytes = dxf_text(d);
        d.layout.verbatim = false;
        EXPECT_EQ(dxf_text(d), bytes);
        EXPECT_EQ(bytes, ended(r12_drawing(), eol));
        std::string padded = std::string("  0") + eol + "POINT" + eol + "  8";
        put(t.file("a.dxf"),
            replaced(ended(r12_drawing(), eol), padded, std::string("  0") + eol + "POINT" + eol + "8"));
        d = load_dxf(t.file("a.dxf"));
        EXPECT_FALSE(d.layout.verbatim);
        EXPECT_EQ(dxf_text(d), ended(r12_drawing(), eol));
    }
}

// New entities in a save, and in the R12 export the add-on reads.
TEST(DxfWrite, ErasedLeaveNewAreWrittenInTheVersionsFormAndTheExport)
{
    TempDir t;
    put(t.file("a.dxf"), r2000_drawing());
    Drawing d = load_dxf(t.file("a.dxf"));
    d.entities[0].erased = true;                  // the LINE 2A
    d.make_layer("TRIANG").colour = 2;
    Entity f = vt::face({0, 0, 0}, {1, 0, 0}, {1, 1, 0.125}, {1, 1, 0.125});
    f.layer = "TRIANG";
    f.colour = 2;
    f.face_hidden = 4;
    d.add(f);
    d.add(vt::poly3d("3dint", {{0, 0, 0}, {2, 2, 2}}));   // a layer the drawing does not list yet
    d.current_layer = "TRIANG";
    d.current_colour = 2;
    save(d, t.file("b.dxf"));
    std::string out = get(t.file("b.dxf"));

    // Owners, subclasses and flags of the new entities as a reader sees them:
    // test_dxf_files.py (EditedDrawings, read with ezdxf).
    EXPECT_EQ(out.find("\n2A\n"), std::string::npos) << "the erased LINE is still there";
    EXPECT_NE(out.find("LWPOLYLINE"), std::string::npos);

    // Handles (groups 5 and 105): unique, and the seed above all of them, though the drawing's own seed was stale.
    auto g = groups_of(out);
    std::vector<unsigned long> handles;
    unsigned long seed = 0;
    for (size_t i = 0; i < g.size(); i++) {
        if (g[i].first == 5 && i > 0 && g[i - 1].second == "$HANDSEED")
            seed = std::stoul(g[i].second, nullptr, 16);
        else if (g[i].first == 5 || g[i].first == 105)
            handles.push_back(std::stoul(g[i].second, nullptr, 16));
    }
    std::sort(handles.begin(), handles.end());
    EXPECT_EQ(std::adjacent_find(handles.begin(), handles.end()), handles.end()) << "a handle is used twice";
    EXPECT_GT(seed, handles.back());

    // The new layers copy layer 0's record without its extension dictionary.
    Drawing back = load_dxf(t.file("b.dxf"));
    ASSERT_NE(back.layer("TRIANG"), nullptr);
    EXPECT_EQ(back.layer("TRIANG")->colour, 2);
    ASSERT_NE(back.layer("3dint"), nullptr);
    for (const auto &pr : back.layer("TRIANG")->raw)
        EXPECT_NE(pr.code, 360);
    EXPECT_EQ(back.current_layer, "TRIANG");
    EXPECT_EQ(back.current_colour, 2);
    ASSERT_EQ(back.entities.size(), 3u);
    EXPECT_EQ(back.entities[1].face_hidden, 4);
    EXPECT_EQ(back.entities[2].pts.size(), 2u);
    EXPECT_EQ(back.after_entities.size(), d.after_entities.size());

    // The export: LF line ends, entity names exactly, the colour before the coordinates, the decimals asked for.
    uint64_t id_line = d.add(vt::line({1.0 / 3, 2, 0}, {4, 5, -6.25}, 5)).id;
    Entity mesh = vt::mesh(2, 2, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 1}});
    mesh.poly_flags |= 32;
    uint64_t id_mesh = d.add(mesh).id;
    write_dxfout(d, {id_mesh, id_line, d.entities[1].id /* LWPOLYLINE: not R12 */}, t.file("x.dxf"), 3);
    out = get(t.file("x.dxf"));
    EXPECT_EQ(out.find('\r'), std::string::npos);
    g = groups_of(out);
    EXPECT_EQ(*value_of(g, 1), "AC1009");
    auto line = entity_groups(out, "LINE");
    std::vector<int> codes;
    for (const auto &pr : line)
        codes.push_back(pr.first);
    EXPECT_EQ(codes, (std::vector<int>{0, 8, 62, 10, 20, 30, 11, 21, 31}));
    EXPECT_EQ(*value_of(line, 10), "0.333");
    EXPECT_EQ(*value_of(line, 31), "-6.250");
    EXPECT_EQ(out.find("LWPOLYLINE"), std::string::npos);
    EXPECT_EQ(out.find("AcDb"), std::string::npos);
    // Drawing order, whatever the order of the ids.
    EXPECT_LT(out.find("\nLINE\n"), out.find("\nPOLYLINE\n"));
    auto poly = entity_groups(out, "POLYLINE");
    for (auto [code, want] : {std::pair{70, "48"}, {71, "2"}, {72, "2"}})
        EXPECT_EQ(*value_of(poly, code), want) << code;
    EXPECT_EQ(*value_of(entity_groups(out, "VERTEX"), 70), "64");
    EXPECT_EQ(std::count(g.begin(), g.end(), std::make_pair(0, std::string("VERTEX"))), 4);

    // The export's decimals, worked out in integers: the text of to_chars,
    // ties (0.125 to 2) and carries (0.99999 to 4) included, for every count.
    std::vector<double> values = {0.125, 2.5, 3.5, -0.125, 0.99999, 9.9999999, 1e-20, -1e-20, 0.0, -0.0,
                                  4503599627370495.5, 9007199254740991.0, 9007199254740993.0, 1e300,
                                  5e-324, 4031002.321581, 512002.009457, 0.1, 1.0 / 3, 10000.0, 100000.0,
                                  -12345.0, 1e14, 999999999999999.0, 99.99999999999999, 1.0000000000000002};
    std::mt19937_64 rnd(14);
    for (int i = 0; i < 20000; i++) {
        std::uint64_t bits = rnd();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (std::isfinite(v))
            values.push_back(std::ldexp(v / std::ldexp(1.0, std::ilogb(v)), (int)(rnd() % 140) - 80));
        values.push_back((double)(std::int64_t)(rnd() % 2000000000000) / 1e6);
        values.push_back((double)(std::int64_t)(rnd() % 1000000000000000) / std::pow(10.0, (int)(rnd() % 16)));
    }
    for (double v : values) {   // and a save's shortest form: the text of to_chars
        char fast[400], plain[400];
        ASSERT_EQ(std::string(fast, shortest_chars(fast, v)), std::string(plain, std::to_chars(plain, plain + 400, v).ptr));
    }
    for (int places = 0; places <= 16; places++)
        for (double v : values) {
            char fast[400], plain[400];
            char *f = fixed_chars(fast, v, places);
            auto p = std::to_chars(plain, plain + sizeof plain, v, std::chars_format::fixed, places);
            ASSERT_EQ(std::string(fast, f), std::string(plain, p.ptr)) << v << " to " << places;
        }
    // A save's shortest form and an export's decimals, from the recent ones when a number comes back: the text made
    // afresh, also for a copy that shares the recent ones but writes other decimals.
    Out o, e10;
    o.padded = e10.padded = false;
    e10.decimals = 10;
    e10.num(10, 0.5);
    Out e3 = e10;
    e3.decimals = 3;
    e3.text.clear();
    std::string plain, plain10 = "10\n0.5000000000\n", plain3;
    auto fixed = [](double v, int places) {
        char buf[400];
        return std::string(buf, std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, places).ptr);
    };
    for (int i = 0; i < 200000; i++) {
        double v = values[rnd() % values.size()];
        o.num(10, v);
        e10.num(10, v);
        e3.num(10, v);
        std::string s = number_text(v);
        if (s.find_first_of(".e") == std::string::npos)
            s += ".0";
        plain += "10\n" + s + "\n";
        plain10 += "10\n" + fixed(v, 10) + "\n";
        plain3 += "10\n" + fixed(v, 3) + "\n";
    }
    EXPECT_EQ(o.text, plain);
    EXPECT_EQ(e10.text, plain10);
    EXPECT_EQ(e3.text, plain3);

    // Through a sink, groups gather in the Out's own block: the same bytes as kept in the text, with groups and text
    // longer than the block among them and text written before the sink was set; points (a face's corners) too,
    // with numbers too long for the recent ones among them (1e300 to 10 decimals).
    for (int form = 0; form < 3; form++) {
        bool crlf = form == 1;
        Out kept, streamed;
        kept.crlf = streamed.crlf = crlf;
        kept.decimals = streamed.decimals = form == 2 ? 10 : -1;
        kept.padded = streamed.padded = form != 2;
        StringSink sink;
        kept.pair(0, "SECTION");
        streamed.pair(0, "SECTION");
        streamed.sink = &sink;
        std::string huge(70000, 'h'), long_value(300, 'v');
        for (int i = 0; i < 30000; i++) {
            for (Out *w : {&kept, &streamed}) {
                w->num(10, values[(std::size_t)i % values.size()]);
                auto v = [&](std::size_t k) { return values[((std::size_t)i * 7 + k * (std::size_t)(i % 3)) % values.size()]; };
                const Vec3 c[4] = {{v(0), v(1), v(2)}, {v(3), v(4), v(5)}, {v(6), v(7), v(8)}, {v(9), v(10), v(11)}};
                w->points(10, c, 1 + i % 4);
                w->integer(1071, i);
                if (i % 5000 == 0)
                    w->pair(1, i % 10000 == 0 ? huge : long_value);
                if (i % 7000 == 0)
                    w->put(i % 14000 == 0 ? huge : "999\nput\n");
            }
        }
        streamed.flush();
        std::size_t same = 0;
        while (same < sink.text.size() && same < kept.text.size() && sink.text[same] == kept.text[same])
            same++;
        EXPECT_EQ(sink.text.size(), kept.text.size()) << form;
        EXPECT_EQ(same, kept.text.size()) << "the first difference, form " << form;
    }
}

TEST(DxfRead, BrokenFilesEndWithTheLineNamed)
{
    std::string good = r12_drawing();
    struct Case { std::string text; int line; const char *what; };
    auto replace = [&](const std::string &from, const std::string &to) { return replaced(good, from, to); };
    // The line of the value "2.5" that several cases damage.
    int nan_line = 2 + (int)std::count(good.begin(), good.begin() + (long)good.find(" 20\n2.5\n"), '\n');
    std::vector<Case> cases = {
        {"", 1, "empty"},
        {"AutoCAD Binary DXF\r\n\x1a", 1, "binary"},
        {"\x89PNG\r\n\x1a\n", 1, "not a DXF file"},
        {good.substr(0, good.find("ENTITIES") + 20), 0, "truncated"},
        {good.substr(0, good.size() - 4), 0, "truncated"},
        {good.substr(0, good.rfind("  0\nEOF")), 0, "without \"EOF\""},
        {replace(" 20\n2.5\n", " 2x\n2.5\n"), 0, "group code expected"},
        {replace(" 20\n2.5\n", " 20\nnan\n"), nan_line, "bad number"},
        {replace(" 20\n2.5\n", " 20\ninf\n"), 0, "bad number"},
        {replace(" 20\n2.5\n", " 20\n1e999\n"), 0, "bad number"},
        {replace(" 20\n2.5\n", " 20\n\n"), 0, "bad number"},
        {replace(" 71\n     2\n", " 71\n99999999999\n"), 0, "bad integer"},
        // A colour beyond int is no colour 0: the add-on would take the LINE as an outline, the layer as on.
        {replace(" 62\n     1\n", " 62\n4294967295\n"), 0, "bad integer \"4294967295\" for group 62"},
        {replace(" 62\n     3\n", " 62\n-2147483649\n"), 0, "bad integer"},
        {replace(" 70\n    17\n", " 70\n    1.5\n"), 0, "bad integer"},
        {replace(" 20\n2.5\n", "99999\n2.5\n"), 0, "out of range"},
        {replace(" 71\n     2\n", " 71\n 30000\n"), 0, "mesh of 30000 x 2"},
        {replace(" 72\n     2\n", " 72\n     0\n"), 0, "mesh of 2 x 0"},
        {replace(" 70\n    17\n", " 70\n    21\n 73\n     3\n 74\n     3\n"), 0, "mesh of 3 x 3 smoothed"},
        {replace("AC1009", "AC2099"), 8, "unknown DXF version"},
        {replace("  0\nEOF\n", "  0\nSECTION\n  2\nENTITIES\n  0\nENDSEC\n  0\nEOF\n"), 0, "second ENTITIES"},
        {replace("  0\nPOINT\n", "  0\nVERTEX\n"), 0, "without the POLYLINE"},
        {replace("  0\nSECTION\n  2\nBLOCKS\n", "  0\nSECTION\n  5\nBLOCKS\n"), 0, "without a name"},
        {replace("  0\nSECTION\n  2\nTABLES\n", "  0\nSECTOIN\n  2\nTABLES\n"), 0, "\"SECTION\" expected"},
        {replace(" 10\n1.5\n", std::string(" 10\n1.5\0\n", 9)), 0, "binary data"},
    };
    TempDir t;
    std::string path = t.file("bad.dxf");
    for (size_t i = 0; i < cases.size(); i++) {
        put(path, cases[i].text);
        try {
            load_dxf(path);
            ADD_FAILURE() << "case " << i << " was read";
        } catch (const DxfError &e) {
            EXPECT_EQ(e.message.rfind(path + ": line ", 0), 0u) << e.message;
            EXPECT_NE(e.message.find(cases[i].what), std::string::npos) << "case " << i << ": " << e.message;
            if (cases[i].line) {
                EXPECT_NE(e.message.find(": line " + std::to_string(cases[i].line) + ": "), std::string::npos)
                    << e.message;
            }
        }
    }
    try {
        load_dxf(t.file("missing.dxf"));
        ADD_FAILURE() << "a missing file was read";
    } catch (const DxfError &e) {
        EXPECT_NE(e.message.find("missing.dxf"), std::string::npos);
    }
}

TEST(DxfWrite, AFailedSaveLeavesNothingBehindLinksAreFollowedAndMutatedFilesNeverCrash)
{
    TempDir t;
    put(t.file("a.dxf"), r12_drawing());
    Drawing d = load_dxf(t.file("a.dxf"));
    mkdir(t.file("dir.dxf").c_str(), 0755);      // a folder stands where the file should go
    EXPECT_THROW(save(d, t.file("dir.dxf")), DxfError);
    EXPECT_THROW(save(d, t.file("no/such/folder.dxf")), DxfError);
    EXPECT_THROW(write_dxfout(d, {1}, t.file("no/x.dxf"), 10), DxfError);
    save(d, t.file("a.dxf"));                 // over itself
    std::vector<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator(t.path()))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.dxf", "dir.dxf"}));
    EXPECT_EQ(get(t.file("a.dxf")), r12_drawing());

    // A link to an absolute path is followed there, and stays a link (relative links, links to links: test_program.py).
    mkdir(t.file("sub").c_str(), 0755);
    ASSERT_EQ(symlink(t.file("a.dxf").c_str(), t.file("sub/abs.dxf").c_str()), 0);
    d.entities.pop_back();
    save(d, t.file("sub/abs.dxf"));
    struct stat st;
    ASSERT_EQ(lstat(t.file("sub/abs.dxf").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(load_dxf(t.file("a.dxf")).entities.size(), d.entities.size());

    // Random damage to a good file: every result is a drawing or a DxfError, and
    // every drawing read saves and reads again.  Run under ASan+UBSan in CI.
    std::string good = r12_drawing() ;
    std::mt19937 rng(12345);
    const char *tokens[] = {"0", "SECTION", "ENDSEC", "POLYLINE", "VERTEX", "SEQEND", "EOF",
                            "-1", "1e308", "70", "nan", "", "ENTITIES", "LAYER", "TABLE", "ENDTAB"};
    int read = 0, refused = 0;
    for (int round = 0; round < 1500; round++) {
        std::vector<std::string> ls;
        std::istringstream in(round % 2 ? good : r2000_drawing());
        for (std::string l; std::getline(in, l);)
            ls.push_back(l);
        int edits = 1 + (int)(rng() % 4);
        for (int k = 0; k < edits && !ls.empty(); k++) {
            size_t at = rng() % ls.size();
            switch (rng() % 5) {
            case 0: ls.erase(ls.begin() + (long)at); break;
            case 1: ls[at] = tokens[rng() % (sizeof tokens / sizeof *tokens)]; break;
            case 2: ls.insert(ls.begin() + (long)at, tokens[rng() % (sizeof tokens / sizeof *tokens)]); break;
            case 3: if (!ls[at].empty()) ls[at][rng() % ls[at].size()] = (char)(rng() % 256); break;
            default: ls.resize(at); break;
            }
        }
        std::string text;
        for (const auto &l : ls)
            text += l + "\n";
        put(t.file("m.dxf"), text);
        try {
            Drawing d = load_dxf(t.file("m.dxf"));
            save(d, t.file("m2.dxf"));
            Drawing again = load_dxf(t.file("m2.dxf"));
            EXPECT_EQ(again.entities.size(), d.entities.size());
            read++;
        } catch (const DxfError &e) {
            EXPECT_NE(e.message.find("m.dxf: line "), std::string::npos) << e.message;
            refused++;
        }
    }
    EXPECT_GT(read, 10);
    EXPECT_GT(refused, 500);
}

TEST(Picture, FacesEdgesAndOverlayInTheirColours)
{
    TempDir t;
    Drawing d;
    d.make_layer("0");
    d.make_layer("RED").colour = 1;
    // A square of two faces on layer RED (BYLAYER); the diagonal is hidden.
    Entity f = vt::face({0, 0, 0}, {100, 0, 0}, {100, 100, 0}, {100, 100, 0});
    f.layer = "RED";
    f.face_hidden = 4 | 8;                        // edge 3-4 (no length) and the diagonal 4-1
    d.add(f);
    f.pts = {{0, 0, 0}, {100, 100, 0}, {0, 100, 0}, {0, 100, 0}};
    f.face_hidden = 1 | 4;                        // the diagonal
    d.add(f);
    d.add(vt::line({0, 50, 0}, {100, 50, 0}, 5));
    std::vector<Overlay> ov = {{{50, 0, 0}, {50, 100, 0}, 3, 1}};
    put(t.file("p.png"), png_image(d, ov));

    cairo_surface_t *s = cairo_image_surface_create_from_png(t.file("p.png").c_str());
    ASSERT_EQ(cairo_surface_status(s), CAIRO_STATUS_SUCCESS);
    int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
    EXPECT_EQ(w, 1600);
    EXPECT_GT(h, 1600);                           // the plan, and the footer under it
    EXPECT_LT(h, 1700);
    const unsigned char *px = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    auto rgb = [&](int x, int y) {
        uint32_t v = *(const uint32_t *)(px + y * stride + x * 4);
        return std::array<int, 3>{(int)(v >> 16 & 255), (int)(v >> 8 & 255), (int)(v & 255)};
    };
    // Drawing (x, y) -> pixel: 24 px margin, 15.52 px per unit, y up.
    auto at = [&](double x, double y) { return rgb((int)(24 + x * 15.52), (int)(1600 - 24 - y * 15.52)); };
    auto inside_face = at(80, 20);
    EXPECT_GT(inside_face[0], 240);               // a light red tint
    EXPECT_LT(inside_face[1], 200);
    auto left_edge = rgb(24, 1600 - 24 - (int)(20 * 15.52));
    EXPECT_GT(left_edge[0], 150);                 // a visible edge, in red
    EXPECT_LT(left_edge[1], 100);
    auto diagonal = at(30, 30), beside = at(20, 40);
    for (int c = 0; c < 3; c++)
        EXPECT_NEAR(diagonal[c], beside[c], 8) << "the hidden diagonal was drawn";
    for (int dy = -1; dy <= 0; dy++) {            // the blue line, two pixels wide at least
        auto line = rgb((int)(24 + 20 * 15.52), (int)(1600 - 24 - 50 * 15.52) + dy);
        EXPECT_GT(line[2] - line[0], 80) << dy;
    }
    // The footer's legend: a red swatch for layer RED (BYLAYER resolved) and a blue one for the line on layer 0.
    bool red = false, blue = false;
    for (int y = 1600; y < h; y++)
        for (int x = 0; x < 400; x++) {
            auto c = rgb(x, y);
            red |= c[0] > 200 && c[1] < 60 && c[2] < 60;
            blue |= c[2] > 200 && c[0] < 60 && c[1] < 60;
        }
    EXPECT_TRUE(red);
    EXPECT_TRUE(blue);
    auto overlay = at(50, 80);
    EXPECT_LT(overlay[0], 100);                   // green, over everything
    EXPECT_GT(overlay[1], 100);
    EXPECT_EQ(at(-1, 50)[0] + at(-1, 50)[1] + at(-1, 50)[2], 3 * 255);  // white outside
    cairo_surface_destroy(s);
}
