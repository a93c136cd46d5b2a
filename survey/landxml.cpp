// landxml.cpp -- TIN surfaces as LandXML 1.2, and the host command LANDXML.
//
//   landxml FILE        writes the 3DFACEs and polygon meshes of a selection
//                       to FILE as one TIN surface
//   landxml read FILE   draws the TIN surfaces of FILE as 3DFACEs, each on a
//                       layer named after its surface
//
// A written file:
//
//   <LandXML xmlns="http://www.landxml.org/schema/LandXML-1.2" version="1.2" date=... time=...>
//     <Units><Metric linearUnit="meter" .../></Units>     (Imperial for feet, inches, miles)
//     <Project name="DRAWING"/>
//     <Application name="Velmora" .../>
//     <Surfaces><Surface name="DRAWING">
//       <Definition surfType="TIN" elevMax=... elevMin=...>
//         <Pnts><P id="1">northing easting elevation</P> ...</Pnts>
//         <Faces><F>1 2 3</F> ...</Faces>
//
// Numbers are written in their shortest exact form, so a file read back gives
// the faces it was written from, bit for bit.
#include "landxml.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>
#include <tuple>

#include <pugixml.hpp>

#include "dxf_common.h"
#include "polylines.h"
#include "text.h"

namespace velmora {
namespace {

const char *NAMESPACE = "http://www.landxml.org/schema/LandXML-1.2";
const double MAX_COORDINATE = 1e12;

// The LandXML units of a drawing's $INSUNITS.
struct UnitSet {
    int insunits;
    bool metric;
    const char *linear, *area, *volume;
};
const UnitSet UNITS[] = {
    {1, false, "inch", "squareInch", "cubicInch"},
    {2, false, "foot", "squareFoot", "cubicFeet"},
    {3, false, "mile", "squareMiles", "cubicYard"},
    {4, true, "millimeter", "squareMillimeter", "cubicMeter"},
    {5, true, "centimeter", "squareCentimeter", "cubicMeter"},
    {6, true, "meter", "squareMeter", "cubicMeter"},
    {7, true, "kilometer", "hectare", "cubicMeter"},
    {21, false, "USSurveyFoot", "squareFoot", "cubicFeet"},
};

// Element names without their namespace prefix ("land:Surface" is Surface).
const char *local_name(const pugi::xml_node &n)
{
    const char *name = n.name();
    const char *colon = std::strrchr(name, ':');
    return colon ? colon + 1 : name;
}

bool named(const pugi::xml_node &n, const char *name) { return std::strcmp(local_name(n), name) == 0; }

// The elements named `name` in the children of `node` named `group` (the
// <P> of every <Pnts>), in document order.
std::vector<pugi::xml_node> grandchildren(const pugi::xml_node &node, const char *group, const char *name)
{
    std::vector<pugi::xml_node> r;
    for (pugi::xml_node g : node.children())
        if (named(g, group))
            for (pugi::xml_node n : g.children())
                if (named(n, name))
                    r.push_back(n);
    return r;
}

std::vector<std::string> words(const char *text)
{
    std::vector<std::string> w;
    std::istringstream in(text);
    std::string t;
    while (in >> t)
        w.push_back(t);
    return w;
}

// The <Units> of a drawing's $INSUNITS; metres, with a note, for a drawing
// without one or with a unit LandXML does not have.
void append_units(pugi::xml_node root, int insunits, std::string &note)
{
    const UnitSet *u = nullptr;
    for (const auto &k : UNITS)
        if (k.insunits == insunits)
            u = &k;
    if (!u) {
        u = &UNITS[5];
        note += insunits < 0 ? "the drawing has no INSUNITS: the units are written as metres"
                             : "INSUNITS " + std::to_string(insunits) +
                                   " has no LandXML unit: the units are written as metres";
    }
    pugi::xml_node units = root.append_child("Units").append_child(u->metric ? "Metric" : "Imperial");
    units.append_attribute("areaUnit") = u->area;
    units.append_attribute("linearUnit") = u->linear;
    units.append_attribute("volumeUnit") = u->volume;
    units.append_attribute("temperatureUnit") = u->metric ? "celsius" : "fahrenheit";
    units.append_attribute("pressureUnit") = u->metric ? "milliBars" : "inHG";
    units.append_attribute("angularUnit") = "decimal degrees";
    units.append_attribute("directionUnit") = "decimal degrees";
}

}  // namespace

std::string landxml_document(const std::vector<Triangle> &faces, const LandXmlHeader &head, std::string &note)
{
    note.clear();
    pugi::xml_document doc;
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";

    pugi::xml_node root = doc.append_child("LandXML");
    root.append_attribute("xmlns") = NAMESPACE;
    root.append_attribute("xmlns:xsi") = "http://www.w3.org/2001/XMLSchema-instance";
    root.append_attribute("xsi:schemaLocation") =
        (std::string(NAMESPACE) + " " + NAMESPACE + "/LandXML-1.2.xsd").c_str();
    root.append_attribute("date") = head.date.c_str();
    root.append_attribute("time") = head.time.c_str();
    root.append_attribute("version") = "1.2";
    root.append_attribute("language") = "English";
    root.append_attribute("readOnly") = "false";

    append_units(root, head.insunits, note);

    root.append_child("Project").append_attribute("name") = head.project.c_str();
    pugi::xml_node app = root.append_child("Application");
    app.append_attribute("name") = "Velmora";
    app.append_attribute("desc") = "terrain and triangulated surfaces for CAD drawings";
    app.append_attribute("manufacturer") = "Velmora";

    pugi::xml_node surface = root.append_child("Surfaces").append_child("Surface");
    surface.append_attribute("name") = head.project.c_str();
    pugi::xml_node def = surface.append_child("Definition");
    def.append_attribute("surfType") = "TIN";
    pugi::xml_node pnts = def.append_child("Pnts");
    pugi::xml_node fs = def.append_child("Faces");

    std::map<std::tuple<double, double, double>, long long> ids;
    double zmin = INFINITY, zmax = -INFINITY;
    long long degenerate = 0;
    for (const auto &t : faces) {
        long long id[3];
        for (int k = 0; k < 3; k++) {
            const Vec3 &p = t.p[k];
            auto it = ids.emplace(std::make_tuple(p.x, p.y, p.z), (long long)ids.size() + 1);
            id[k] = it.first->second;
            if (it.second) {
                pugi::xml_node pn = pnts.append_child("P");
                pn.append_attribute("id") = std::to_string(id[k]).c_str();
                pn.text() = (number_text(p.y) + " " + number_text(p.x) + " " + number_text(p.z)).c_str();
                zmin = std::min(zmin, p.z);
                zmax = std::max(zmax, p.z);
            }
        }
        if (id[0] == id[1] || id[1] == id[2] || id[0] == id[2]) {
            degenerate++;
            continue;
        }
        fs.append_child("F").text() =
            (std::to_string(id[0]) + " " + std::to_string(id[1]) + " " + std::to_string(id[2])).c_str();
    }
    if (!ids.empty()) {
        // The schema's order of attributes: surfType, then the heights.
        def.append_attribute("elevMax") = number_text(zmax).c_str();
        def.append_attribute("elevMin") = number_text(zmin).c_str();
    }
    if (degenerate)
        note += std::string(note.empty() ? "" : "; ") + std::to_string(degenerate) +
                " face(s) with two corners at one point left out";

    std::ostringstream out;
    doc.save(out, " ", pugi::format_indent, pugi::encoding_utf8);
    return out.str();
}

bool read_landxml(const std::string &text, std::vector<TinSurface> &out, std::string &why)
{
    out.clear();
    auto line_at = [&](std::ptrdiff_t offset) {
        if (offset < 0 || (size_t)offset > text.size())
            return std::string();
        return "line " + std::to_string(1 + std::count(text.begin(), text.begin() + offset, '\n')) + ": ";
    };
    pugi::xml_document doc;
    pugi::xml_parse_result res = doc.load_buffer(text.data(), text.size());
    if (res.status == pugi::status_no_document_element) {
        why = "not XML (no element in it)";
        return false;
    }
    if (!res) {
        why = "not XML (" + line_at(res.offset) + res.description() + ")";
        return false;
    }
    pugi::xml_node root = doc.document_element();
    if (!named(root, "LandXML")) {
        why = "not a LandXML file (its root element is <" + std::string(root.name()) + ">)";
        return false;
    }
    int tin_surfaces = 0;
    for (pugi::xml_node surface : grandchildren(root, "Surfaces", "Surface")) {
        for (pugi::xml_node def : surface.children()) {
            if (!named(def, "Definition") || !same_name(def.attribute("surfType").value(), "TIN"))
                continue;
            tin_surfaces++;
            TinSurface s;
            s.name = surface.attribute("name").value();
            std::map<std::string, Vec3> points;
            for (pugi::xml_node p : grandchildren(def, "Pnts", "P")) {
                std::string at = line_at(p.offset_debug());
                std::string id = p.attribute("id").value();
                std::vector<std::string> w = words(p.child_value());
                double v[3];
                bool ok = w.size() == 3;
                for (int k = 0; ok && k < 3; k++)
                    ok = parse_real(w[(size_t)k], v[k]) && std::fabs(v[k]) <= MAX_COORDINATE;
                if (id.empty()) {
                    why = at + "a point <P> without an id";
                    return false;
                }
                if (!ok) {
                    why = at + "point " + id + " is not \"northing easting elevation\" (three numbers within 1e12)";
                    return false;
                }
                if (!points.emplace(id, Vec3{v[1], v[0], v[2]}).second) {
                    why = at + "point id " + id + " is used twice";
                    return false;
                }
            }
            for (pugi::xml_node f : grandchildren(def, "Faces", "F")) {
                if (std::strcmp(f.attribute("i").value(), "1") == 0)
                    continue;                          // invisible: not part of the surface
                std::string at = line_at(f.offset_debug());
                std::vector<std::string> w = words(f.child_value());
                if (w.size() != 3) {
                    why = at + "a face <F> of a TIN holds " + std::to_string(w.size()) + " point ids, not 3";
                    return false;
                }
                Triangle t;
                for (int k = 0; k < 3; k++) {
                    auto it = points.find(w[(size_t)k]);
                    if (it == points.end()) {
                        why = at + "a face uses point id " + w[(size_t)k] + ", which <Pnts> does not hold";
                        return false;
                    }
                    t.p[k] = it->second;
                }
                s.faces.push_back(t);
            }
            if (!s.faces.empty())
                out.push_back(std::move(s));
        }
    }
    if (out.empty()) {
        why = tin_surfaces ? "its TIN surfaces hold no faces" : "it holds no TIN surface";
        return false;
    }
    return true;
}

namespace {

bool write_file(const std::string &path, const std::string &text, std::string &why)
{
    std::string tmp = path + ".tmp-landxml";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        if (f)
            f << text;
        f.close();
        if (!f) {
            why = std::strerror(errno);
            std::remove(tmp.c_str());
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        why = std::strerror(errno);
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

bool read_command(Session &s)
{
    std::string path = ask_word(s, "\nLandXML file to read: "), text, why;
    if (path.empty())
        return s.error("LANDXML: no file named");
    if (!read_text_file(path, text, why))
        return s.error("LANDXML: cannot read " + path + ": " + why);
    std::vector<TinSurface> surfaces;
    if (!read_landxml(text, surfaces, why))
        return s.error("LANDXML: " + path + ": " + why + "; nothing drawn");
    for (const auto &surf : surfaces) {
        std::string layer = safe_layer_name(surf.name, "SURFACE");
        for (const auto &t : surf.faces) {
            Entity e;
            e.type = "3DFACE";
            e.pts = {t.p[0], t.p[1], t.p[2], t.p[2]};
            add_on_layer(s, std::move(e), layer);
        }
        s.print("\nLANDXML: " + path + ": surface \"" + surf.name + "\", " + std::to_string(surf.faces.size()) +
                " faces on layer " + layer);
    }
    s.print("\n");
    return true;
}

bool landxml_command(Session &s)
{
    std::string path = ask_word(s, "\nLandXML file to write, or read: ");
    if (same_name(path, "read"))
        return read_command(s);
    if (path.empty())
        return s.error("LANDXML: no file named");

    std::vector<Triangle> tris;
    if (!select_triangles(s, "LANDXML", "nothing written", tris))
        return false;
    for (const auto &t : tris)
        for (const auto &p : t.p)
            if (!(std::fabs(p.x) <= MAX_COORDINATE && std::fabs(p.y) <= MAX_COORDINATE &&
                  std::fabs(p.z) <= MAX_COORDINATE))
                return s.error("LANDXML: a corner lies beyond 1e12; nothing written");

    LandXmlHeader head;
    head.project = s.drawing().name;
    if (head.project.empty()) {
        std::string base = path.substr(path.find_last_of('/') + 1);
        head.project = base.substr(0, base.find_last_of('.'));
    }
    head.insunits = dxf_insunits(s.drawing());
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
    head.date = buf;
    std::strftime(buf, sizeof buf, "%H:%M:%S", &tm);
    head.time = buf;

    std::string note, why;
    std::string doc = landxml_document(tris, head, note);
    if (!note.empty())
        s.print("\nLANDXML: " + note);
    if (!write_file(path, doc, why))
        return s.error("LANDXML: cannot write " + path + ": " + why);
    s.print("\nLANDXML: wrote " + path + ": surface \"" + head.project + "\" of " + std::to_string(tris.size()) +
            " triangles\n");
    return true;
}

const bool registered = (register_host_command("LANDXML", landxml_command), true);

}  // namespace
}  // namespace velmora
