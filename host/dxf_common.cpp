// dxf_common.cpp -- what the DXF reader, the writers and the picture share:
// the kind of value a group code carries, integer groups, versions, and the
// fields of a modelled entity taken from its groups.
#include "dxf_common.h"

#include <charconv>
#include <cstdint>

#include "text.h"

namespace velmora {

DxfValueKind dxf_value_kind(int code)
{
    if ((code >= 10 && code <= 59) || (code >= 110 && code <= 149) ||
        (code >= 210 && code <= 239) || (code >= 460 && code <= 469) ||
        (code >= 1010 && code <= 1059))
        return DxfValueKind::real;
    if ((code >= 60 && code <= 99) || (code >= 160 && code <= 179) ||
        (code >= 270 && code <= 299) || (code >= 370 && code <= 389) ||
        (code >= 400 && code <= 409) || (code >= 420 && code <= 429) ||
        (code >= 440 && code <= 459) || (code >= 1060 && code <= 1071))
        return DxfValueKind::integer;
    return DxfValueKind::text;
}

bool dxf_parse_int(std::string_view text, long long &out)
{
    const char *b = text.data(), *e = b + text.size();
    while (b < e && (*b == ' ' || *b == '\t'))
        b++;
    while (e > b && (e[-1] == ' ' || e[-1] == '\t'))
        e--;
    if (b < e && *b == '+')
        b++;
    if (b == e)
        return false;
    long long v = 0;
    auto r = std::from_chars(b, e, v);
    if (r.ec != std::errc() || r.ptr != e)
        return false;
    out = v;
    return true;
}

const DxfTypeNames &dxf_types()
{
    static const DxfTypeNames names;
    return names;
}

bool dxf_modelled_type(const Name &type)
{
    const DxfTypeNames &t = dxf_types();
    return type == t.point || type == t.line || type == t.face || type == t.polyline;
}

int dxf_release(const std::string &v)
{
    static const struct { const char *name; int release; } known[] = {
        {"AC1009", 12},   {"AC1012", 13},   {"AC1014", 14},   {"AC1015", 2000},
        {"AC1018", 2004}, {"AC1021", 2007}, {"AC1024", 2010}, {"AC1027", 2013},
        {"AC1032", 2018},
    };
    for (const auto &k : known)
        if (v == k.name)
            return k.release;
    return 0;
}

std::size_t dxf_header_end(const Drawing &d)
{
    // The HEADER section, if any, is the first section.
    if (d.layout.had_header)
        for (std::size_t i = 0; i < d.before_entities.size(); i++) {
            const DxfPair &p = d.before_entities[i];
            if (p.code == 0 && p.value().find("ENDSEC") != std::string::npos)
                return i;
        }
    return 0;
}

std::size_t dxf_header_value(const std::vector<DxfPair> &pairs, std::size_t end, const char *var, int code)
{
    for (std::size_t i = 0; i + 1 < end; i++) {
        if (pairs[i].code != 9 || !same_name(trim(pairs[i].value()), var))
            continue;
        for (std::size_t j = i + 1; j < end && pairs[j].code != 9 && pairs[j].code != 0; j++)
            if (pairs[j].code == code)
                return j;
        return DxfLayout::none;
    }
    return DxfLayout::none;
}

int dxf_insunits(const Drawing &d)
{
    std::size_t at = dxf_header_value(d.before_entities, dxf_header_end(d), "$INSUNITS", 70);
    return at == DxfLayout::none ? -1 : dxf_int(d.before_entities[at].value());
}

// The view without the blanks and tabs at both ends.
static std::string_view trimmed(std::string_view v)
{
    std::size_t b = v.find_first_not_of(" \t");
    return b == std::string_view::npos ? std::string_view() : v.substr(b, v.find_last_not_of(" \t") - b + 1);
}

static double real_of(std::string_view v)
{
    double d = 0;
    parse_real(v, d);
    return d;
}

int dxf_int(std::string_view v)
{
    long long i = 0;
    dxf_parse_int(v, i);
    if (i > INT32_MAX || i < INT32_MIN)
        return 0;
    return (int)i;
}

// Sets coordinate `axis` (0 x, 1 y, 2 z) of p.
static void set_axis(Vec3 &p, int axis, double v)
{
    (axis == 0 ? p.x : axis == 1 ? p.y : p.z) = v;
}

void dxf_fields_from_raw(Entity &e)
{
    auto i = e.raw.begin();
    const auto end = e.raw.end();
    while (i != end && i->code != 0)
        ++i;                                    // comments that came before the entity
    if (i == end)
        return;
    e.type = upper(trim(i->value()));
    e.layer = "0";
    e.colour = 256;
    e.pts.clear();
    e.vertex_flags.clear();
    e.face_hidden = e.poly_flags = e.mesh_m = e.mesh_n = 0;
    e.smooth_m = e.smooth_n = e.smooth_type = 0;
    ++i;

    // The entity's own groups: up to the next code 0 (a VERTEX, ATTRIB, SEQEND).
    Vec3 corner[4];
    bool seen[4] = {false, false, false, false};
    for (; i != end && i->code != 0; ++i) {
        int c = i->code;
        std::string_view v = i->value();
        if (c == 8)
            e.layer = trim(v);
        else if (c == 62)
            e.colour = dxf_int(v);
        else if (c == 5)
            e.handle = trimmed(v);
        else if (c >= 10 && c <= 33 && (c % 10) <= 3) {
            int k = c % 10, axis = c / 10 - 1;
            set_axis(corner[k], axis, real_of(v));
            seen[k] = true;
        } else if (c == 70) {
            if (e.type == "3DFACE")
                e.face_hidden = dxf_int(v);
            else if (e.type == "POLYLINE")
                e.poly_flags = dxf_int(v);
        } else if (e.type == "POLYLINE" && c >= 71 && c <= 75) {
            int n = dxf_int(v);
            if (c == 71) e.mesh_m = n;
            if (c == 72) e.mesh_n = n;
            if (c == 73) e.smooth_m = n;
            if (c == 74) e.smooth_n = n;
            if (c == 75) e.smooth_type = n;
        }
    }
    if (e.type == "POINT") {
        e.pts = {corner[0]};
    } else if (e.type == "LINE") {
        e.pts = {corner[0], corner[1]};
    } else if (e.type == "3DFACE") {
        if (!seen[3])
            corner[3] = corner[2];              // a three-sided face repeats its third corner
        e.pts = {corner[0], corner[1], corner[2], corner[3]};
    } else if (e.type == "POLYLINE") {
        // Its VERTEX entities, up to SEQEND.
        while (i != end) {
            bool vertex = upper(trim(i->value())) == "VERTEX";
            ++i;
            Vec3 p;
            int flags = 0;
            for (; i != end && i->code != 0; ++i) {
                int c = i->code;
                if (!vertex)
                    continue;
                if (c == 10 || c == 20 || c == 30)
                    set_axis(p, c / 10 - 1, real_of(i->value()));
                else if (c == 70)
                    flags = dxf_int(i->value());
            }
            if (vertex) {
                e.pts.push_back(p);
                e.vertex_flags.push_back(flags);
            }
        }
    }
}

}  // namespace velmora
