// dxf_export.cpp -- the "dxfout" export: an R12 file of the chosen entities
// with a fixed number of decimals and LF line ends, HEADER (version and
// extents) and ENTITIES only -- what the add-on's readers take.
#include "drawing.h"
#include "dxf_common.h"
#include "dxf_out.h"
#include "files.h"
#include "text.h"

#include <algorithm>

namespace velmora {

namespace {

// The entity types of R12 that the export carries over from a newer drawing
// (with the newer groups left out); every other unmodelled type is left out.
bool r12_type(const std::string &t)
{
    static const char *types[] = {"CIRCLE", "ARC", "TRACE", "SOLID", "TEXT", "SHAPE", "POLYLINE"};
    for (const char *k : types)
        if (t == k)
            return true;
    return false;
}

// An unmodelled entity from the file: its groups without handles, owners,
// subclass markers, reactors and extended data, its numbers with the
// export's decimals.
void write_r12_groups(Out &o, const Entity &e)
{
    bool in_group = false;
    for (const auto &p : e.raw) {
        if (p.code == 102) {
            in_group = p.value().size() && p.value()[0] == '{';
            continue;
        }
        if (in_group || p.code == 5 || p.code == 100 || p.code == 330 || p.code == 360 || p.code == 999 ||
            p.code >= 1000)
            continue;
        double v;
        if (dxf_value_kind(p.code) == DxfValueKind::real && parse_real(p.value(), v))
            o.num(p.code, v);
        else
            o.pair(p);
    }
}

// Calls `fn` for each entity not erased whose id is in `chosen` (sorted), in
// drawing order.  The entities stand in the order of their ids, as the ids
// chosen do: one walk over both.  The export walks them twice (the extents
// first) rather than keep a list of them, whose memory cost more than the
// second walk.
template <class Fn> void each_chosen(const Drawing &d, const std::vector<std::uint64_t> &chosen, Fn fn)
{
    auto next = chosen.begin();
    for (const auto &e : d.entities) {
        while (next != chosen.end() && *next < e.id)
            ++next;
        if (next == chosen.end())
            break;
        if (!e.erased && *next == e.id)
            fn(e);
    }
}

// The export's groups: header with the extents, then the entities.
void write_export(Out &o, const Drawing &d, const std::vector<std::uint64_t> &chosen, const Extents &box)
{
    Form f;
    o.pair(0, "SECTION");
    o.pair(2, "HEADER");
    o.pair(9, "$ACADVER");
    o.pair(1, "AC1009");
    o.pair(9, "$EXTMIN");
    o.point(10, box.lo);
    o.pair(9, "$EXTMAX");
    o.point(10, box.hi);
    o.pair(0, "ENDSEC");
    o.pair(0, "SECTION");
    o.pair(2, "ENTITIES");
    const DxfTypeNames &t = dxf_types();
    each_chosen(d, chosen, [&](const Entity &e) {
        bool simple_poly = e.type != t.polyline || (e.poly_flags & (16 | 8));
        bool made_text = e.type == t.text && e.raw.empty();
        if ((dxf_modelled_type(e.type) && simple_poly) || made_text)
            write_entity(o, e, f);
        else if (!e.raw.empty() && r12_type(e.type))
            write_r12_groups(o, e);
    });
    o.pair(0, "ENDSEC");
    o.pair(0, "EOF");
}

}  // namespace

void write_dxfout(const Drawing &d, const std::vector<std::uint64_t> &ids,
                  const std::string &path, int decimals)
{
    std::vector<std::uint64_t> sorted;
    if (!std::is_sorted(ids.begin(), ids.end())) {
        sorted = ids;
        std::sort(sorted.begin(), sorted.end());
    }
    const std::vector<std::uint64_t> &chosen = sorted.empty() ? ids : sorted;
    Extents box;
    each_chosen(d, chosen, [&](const Entity &e) { box.add(e); });

    write_file_atomically(path, [&](ByteSink &out) {
        Out o;
        o.sink = &out;
        o.decimals = std::max(0, std::min(decimals, 16));
        write_export(o, d, chosen, box);
        o.flush();
    });
}

}  // namespace velmora
