// explode.cpp -- EXPLODE: 3D polylines and 2D polylines (POLYLINE and
// LWPOLYLINE) become LINEs on the same layer in the same colour, so that an
// outline drawn as a polyline becomes the LINEs the terrain command reads as
// its outline and voids.
//
//   POLYLINE 3D     its vertices (spline frame points, VERTEX flag 16, left out)
//   POLYLINE 2D     its vertices at the polyline's elevation (group 30)
//   LWPOLYLINE      its 10/20 vertices at its elevation (group 38)
//   closed (70 & 1) one more LINE from the last vertex back to the first
//
// 2D polylines whose plane is not the world's (an extrusion 210/220/230
// other than 0,0,1) and polygon meshes are left as they are, and said so.
// An arc segment (bulge, group 42) becomes the straight LINE between its ends.
#include <cmath>
#include <string>
#include <vector>

#include "commandline.h"
#include "editing.h"
#include "selection.h"
#include "session.h"
#include "text.h"

namespace velmora {
namespace {

struct Outline {
    std::vector<Vec3> pts;
    bool closed = false;
    int arcs = 0;
};

double group_real(const DxfPair &p)
{
    double v = 0;
    return parse_real(p.value(), v) ? v : 0;
}

// The plane of a 2D polyline from its own groups (up to its first VERTEX):
// its elevation, and whether its extrusion is the world's Z.
bool plane_2d(DxfGroups raw, int elevation_code, double &elevation)
{
    Vec3 ext{0, 0, 1};
    elevation = 0;
    for (std::size_t i = 1; i < raw.size() && raw[i].code != 0; i++) {
        int c = raw[i].code;
        if (c == elevation_code)
            elevation = group_real(raw[i]);
        else if (c == 210) ext.x = group_real(raw[i]);
        else if (c == 220) ext.y = group_real(raw[i]);
        else if (c == 230) ext.z = group_real(raw[i]);
    }
    return std::fabs(ext.x) < 1e-12 && std::fabs(ext.y) < 1e-12 && ext.z > 0;
}

// The bulges of a POLYLINE's VERTEX entities, in order.
int polyline_arcs(DxfGroups raw)
{
    int arcs = 0;
    for (const auto &p : raw)
        if (p.code == 42 && group_real(p) != 0)
            arcs++;
    return arcs;
}

bool polyline_outline(const Entity &e, Outline &o)
{
    if (e.poly_flags & (16 | 64))
        return false;   // a mesh
    bool three_d = e.poly_flags & 8;
    double elevation = 0;
    if (!three_d && !e.raw.empty() && !plane_2d(e.raw, 30, elevation))
        return false;
    for (std::size_t i = 0; i < e.pts.size(); i++) {
        int vf = i < e.vertex_flags.size() ? e.vertex_flags[i] : 0;
        if (vf & 16)
            continue;   // a spline's frame point, not on the curve
        Vec3 p = e.pts[i];
        if (!three_d)
            p.z = elevation;
        o.pts.push_back(p);
    }
    o.closed = e.poly_flags & 1;
    if (!three_d)
        o.arcs = polyline_arcs(e.raw);
    return true;
}

bool lwpolyline_outline(const Entity &e, Outline &o)
{
    double elevation = 0;
    if (!plane_2d(e.raw, 38, elevation))
        return false;
    for (std::size_t i = 1; i < e.raw.size() && e.raw[i].code != 0; i++) {
        const DxfPair &p = e.raw[i];
        if (p.code == 10)
            o.pts.push_back(Vec3{group_real(p), 0, elevation});
        else if (p.code == 20 && !o.pts.empty())
            o.pts.back().y = group_real(p);
        else if (p.code == 70)
            o.closed = (int)group_real(p) & 1;
        else if (p.code == 42 && group_real(p) != 0)
            o.arcs++;
    }
    return true;
}

bool same_point(const Vec3 &a, const Vec3 &b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

class ExplodeCmd : public SelectingCommand {
public:
    using SelectingCommand::SelectingCommand;

    Feed act(Session &s, const std::vector<std::uint64_t> &ids) override
    {
        Drawing &d = s.drawing();
        std::vector<std::uint64_t> exploded;
        int lines = 0, arcs = 0, left = 0;
        for (auto id : ids) {
            const Entity *e = d.find(id);
            if (!e || e->erased)
                continue;
            Outline o;
            bool ok = false;
            if (e->type == "POLYLINE")
                ok = polyline_outline(*e, o);
            else if (e->type == "LWPOLYLINE")
                ok = lwpolyline_outline(*e, o);
            if (!ok) {
                left++;
                continue;
            }
            std::string layer = e->layer;   // *e may move as LINEs are added
            int colour = e->colour;
            if (o.closed && o.pts.size() > 2)
                o.pts.push_back(o.pts.front());
            for (std::size_t i = 0; i + 1 < o.pts.size(); i++) {
                if (same_point(o.pts[i], o.pts[i + 1]))
                    continue;
                Entity l;
                l.type = "LINE";
                l.pts = {o.pts[i], o.pts[i + 1]};
                Entity &added = s.add_entity(std::move(l));
                added.layer = layer;
                added.colour = colour;
                lines++;
            }
            arcs += o.arcs;
            exploded.push_back(id);
        }
        s.erase(exploded);
        std::string text = "\nEXPLODE: " + std::to_string(exploded.size()) + " polyline" +
                           (exploded.size() == 1 ? "" : "s") + " into " + std::to_string(lines) + " LINE" +
                           (lines == 1 ? "" : "s");
        if (arcs)
            text += "; " + std::to_string(arcs) + " arc segment" + (arcs == 1 ? " became a straight LINE" : "s became straight LINEs");
        if (left)
            text += "; " + std::to_string(left) + " object" + (left == 1 ? "" : "s") +
                    " left as they were (only 3D and 2D polylines in the world's plane explode)";
        s.print(text + ".\n");
        return Feed::Done;
    }
};

const CommandRow ROWS[] = {
    {"explode", machine<ExplodeCmd>, "breaks 3D and 2D polylines into LINEs on their layers in their colours",
     "A selection; Enter ends it.  A closed polyline gives a closing LINE; an arc\n"
     "segment becomes the straight LINE between its ends."},
};

const bool added = add_commands(ROWS, sizeof ROWS / sizeof *ROWS);

}  // namespace
}  // namespace velmora
