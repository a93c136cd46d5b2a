// dxf_write.cpp -- saves a Drawing as DXF, and the "dxfout" export.
//
// A drawing read from a file is written back in its own version: every group
// kept from the file goes out exactly as it was read; only these change:
//
//   HEADER    $HANDSEED (raised above every handle), $CLAYER, $CECOLOR
//   TABLES    the LAYER records (colours as they are now, new layers in the
//             form of layer 0's record) and the table's entry count
//   ENTITIES  erased entities left out; new ones written in the version's
//             form: R12 plain, R2000 and later with handle (5), owner (330,
//             the model space block record) and subclass markers (100)
//
// A new drawing is written as a complete R12 file.  Every file is written to
// a temporary file beside the target, synced, and renamed over it.
#include "drawing.h"
#include "dxf_common.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <map>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

std::string trimmed_copy(const std::string &s)
{
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return std::string();
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

// Numbers: shortest text that reads back to the same double, or a fixed
// number of decimals (the "dxfout" export).
std::string fmt_real(double v, int decimals)
{
    char buf[400];
    std::to_chars_result r;
    if (decimals >= 0)
        r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    else
        r = std::to_chars(buf, buf + sizeof buf, v);
    std::string s(buf, r.ptr);
    if (decimals < 0 && s.find_first_of(".e") == std::string::npos)
        s += ".0";
    return s;
}

struct Out {
    std::string text;
    bool crlf = false;
    bool padded = true;
    int decimals = -1;

    void pair(int code, const std::string &value)
    {
        char buf[16];
        std::snprintf(buf, sizeof buf, padded ? "%3d" : "%d", code);
        text += buf;
        text += crlf ? "\r\n" : "\n";
        text += value;
        text += crlf ? "\r\n" : "\n";
    }
    void pair(const DxfPair &p) { pair(p.code, p.value); }
    void num(int code, double v) { pair(code, fmt_real(v, decimals)); }
    void integer(int code, long long v) { pair(code, std::to_string(v)); }
    void point(int code, const Vec3 &p)
    {
        num(code, p.x);
        num(code + 10, p.y);
        num(code + 20, p.z);
    }
};

// How new entities and records are written in the version at hand.
struct Form {
    int release = 12;
    bool handles = false;          // give new entities and records a handle
    std::uint64_t next_handle = 1;
    std::string model_space;       // owner of new entities (R2000 and later)

    bool r2000() const { return release >= 13; }
    std::string take_handle()
    {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%llX", (unsigned long long)next_handle++);
        return buf;
    }
};

bool parse_handle(const std::string &s, std::uint64_t &out)
{
    const char *b = s.data(), *e = b + s.size();
    while (b < e && *b == ' ')
        b++;
    while (e > b && e[-1] == ' ')
        e--;
    if (b == e)
        return false;
    auto r = std::from_chars(b, e, out, 16);
    return r.ec == std::errc() && r.ptr == e;
}

void max_handle_of(const std::vector<DxfPair> &pairs, std::uint64_t &hi)
{
    for (const auto &p : pairs) {
        std::uint64_t h;
        if ((p.code == 5 || p.code == 105) && parse_handle(p.value, h))
            hi = std::max(hi, h);
    }
}

// The subclass markers of a POLYLINE and of its vertices, by its flags.
void polyline_classes(const Entity &e, const char *&poly, const char *&vertex, int &vertex_flag)
{
    if (e.poly_flags & 16) {
        poly = "AcDbPolygonMesh"; vertex = "AcDbPolygonMeshVertex"; vertex_flag = 64;
    } else if (e.poly_flags & 64) {
        poly = "AcDbPolyFaceMesh"; vertex = "AcDbPolyFaceMeshVertex"; vertex_flag = 192;
    } else if (e.poly_flags & 8) {
        poly = "AcDb3dPolyline"; vertex = "AcDb3dPolylineVertex"; vertex_flag = 32;
    } else {
        poly = "AcDb2dPolyline"; vertex = "AcDb2dVertex"; vertex_flag = 0;
    }
}

// Writes an entity from its fields.  Returns false for a type that has no
// written form here (nothing is written then).
bool write_entity(Out &o, const Entity &e, Form &f)
{
    std::string handle;
    auto head = [&](const std::string &type, const std::string &owner, const char *subclass,
                    bool colour) {
        o.pair(0, type);
        if (f.handles) {
            handle = f.take_handle();
            o.pair(5, handle);
        }
        if (f.r2000()) {
            if (!owner.empty())
                o.pair(330, owner);
            o.pair(100, "AcDbEntity");
        }
        o.pair(8, e.layer.empty() ? "0" : e.layer);
        if (colour && e.colour != 256)
            o.integer(62, e.colour);
        if (f.r2000() && subclass)
            o.pair(100, subclass);
    };
    auto pt = [&](size_t i) { return i < e.pts.size() ? e.pts[i] : (e.pts.empty() ? Vec3{} : e.pts.back()); };

    if (e.type == "POINT") {
        head("POINT", f.model_space, "AcDbPoint", true);
        o.point(10, pt(0));
    } else if (e.type == "LINE") {
        head("LINE", f.model_space, "AcDbLine", true);
        o.point(10, pt(0));
        o.point(11, pt(1));
    } else if (e.type == "3DFACE") {
        head("3DFACE", f.model_space, "AcDbFace", true);
        for (int k = 0; k < 4; k++)
            o.point(10 + k, pt((size_t)k));
        if (e.face_hidden)
            o.integer(70, e.face_hidden);
    } else if (e.type == "POLYLINE") {
        const char *pclass, *vclass;
        int vflag;
        polyline_classes(e, pclass, vclass, vflag);
        head("POLYLINE", f.model_space, pclass, true);
        std::string poly_handle = handle;
        o.integer(66, 1);
        o.point(10, Vec3{});
        o.integer(70, e.poly_flags);
        if (e.poly_flags & (16 | 64)) {
            o.integer(71, e.mesh_m);
            o.integer(72, e.mesh_n);
        }
        if (e.smooth_m || e.smooth_n) {
            o.integer(73, e.smooth_m);
            o.integer(74, e.smooth_n);
        }
        if (e.smooth_type)
            o.integer(75, e.smooth_type);
        for (size_t i = 0; i < e.pts.size(); i++) {
            int flags = i < e.vertex_flags.size() ? e.vertex_flags[i] : vflag;
            const char *vc = vclass;
            if ((e.poly_flags & 64) && (flags & 128) && !(flags & 64))
                vc = "AcDbFaceRecord";
            head("VERTEX", poly_handle, nullptr, true);
            if (f.r2000()) {
                if (!std::strcmp(vc, "AcDbFaceRecord")) {
                    o.pair(100, vc);
                } else {
                    o.pair(100, "AcDbVertex");
                    o.pair(100, vc);
                }
            }
            o.point(10, e.pts[i]);
            o.integer(70, flags);
        }
        head("SEQEND", poly_handle, nullptr, false);
    } else {
        return false;
    }
    return true;
}

int layer_colour_in(const std::vector<DxfPair> &raw)
{
    for (const auto &p : raw)
        if (p.code == 62) {
            long long c = 7;
            dxf_parse_int(p.value, c);
            return (int)c;
        }
    return 7;
}

// A layer read from the file: as read, with its colour as it is now.
void write_read_layer(Out &o, const Layer &l)
{
    bool patch = layer_colour_in(l.raw) != l.colour;
    bool has62 = std::any_of(l.raw.begin(), l.raw.end(), [](const DxfPair &p) { return p.code == 62; });
    bool done = false;
    for (const auto &p : l.raw) {
        if (patch && p.code == 62 && !done) {
            o.integer(62, l.colour);
            done = true;
            continue;
        }
        o.pair(p);
        if (patch && !has62 && p.code == 2 && !done) {
            o.integer(62, l.colour);
            done = true;
        }
    }
}

// A new layer, in the form of `model` (layer 0's record as read) when there is
// one: its name, colour and handle replaced, its flags cleared, and what
// belongs to layer 0 alone (reactors, extension dictionary, extended data)
// left out.
void write_new_layer(Out &o, const std::string &name, int colour, const Layer *model, Form &f,
                     const std::string &table_handle)
{
    if (model && !model->raw.empty()) {
        bool in_group = false, named = false, coloured = false;
        for (const auto &p : model->raw) {
            if (p.code == 102) {
                in_group = p.value.size() && p.value[0] == '{';
                continue;
            }
            if (in_group || p.code == 360 || p.code >= 1000)
                continue;
            if (p.code == 5) {
                o.pair(5, f.take_handle());
            } else if (p.code == 2 && !named) {
                o.pair(2, name);
                named = true;
            } else if (p.code == 62 && !coloured) {
                o.integer(62, colour);
                coloured = true;
            } else if (p.code == 70) {
                o.integer(70, 0);
            } else {
                o.pair(p);
            }
            if (p.code == 2 && !coloured && !std::any_of(model->raw.begin(), model->raw.end(),
                                                         [](const DxfPair &q) { return q.code == 62; })) {
                o.integer(62, colour);
                coloured = true;
            }
        }
        return;
    }
    o.pair(0, "LAYER");
    if (f.r2000()) {
        o.pair(5, f.take_handle());
        if (!table_handle.empty())
            o.pair(330, table_handle);
        o.pair(100, "AcDbSymbolTableRecord");
        o.pair(100, "AcDbLayerTableRecord");
    } else if (f.handles) {
        o.pair(5, f.take_handle());
    }
    o.pair(2, name);
    o.integer(70, 0);
    o.integer(62, colour);
    o.pair(6, f.r2000() ? "Continuous" : "CONTINUOUS");
    if (f.r2000())
        o.integer(370, -3);
}

// All layer records of the drawing, plus layers that new entities use but the
// drawing does not list.
void write_layers(Out &o, const Drawing &d, Form &f, size_t &count)
{
    const Layer *model = nullptr;
    for (const auto &l : d.layers)
        if (!l.raw.empty() && (!model || dxf_same_name(l.name, "0")))
            model = &l;
    std::vector<std::string> names;
    count = 0;
    for (const auto &l : d.layers) {
        if (!l.raw.empty())
            write_read_layer(o, l);
        else
            write_new_layer(o, l.name, l.colour, model, f, d.layout.layer_table);
        names.push_back(l.name);
        count++;
    }
    auto known = [&](const std::string &n) {
        return std::any_of(names.begin(), names.end(), [&](const std::string &m) { return dxf_same_name(m, n); });
    };
    if (!known("0")) {
        write_new_layer(o, "0", 7, model, f, d.layout.layer_table);
        names.push_back("0");
        count++;
    }
    for (const auto &e : d.entities) {
        if (e.erased || !e.raw.empty() || e.layer.empty() || known(e.layer))
            continue;
        write_new_layer(o, e.layer, 7, model, f, d.layout.layer_table);
        names.push_back(e.layer);
        count++;
    }
}

// Writes `data` to a temporary file beside `path`, syncs it and renames it
// over `path`: the target is either the old file or the complete new one.
void write_atomically(const std::string &path, const std::string &data)
{
    std::string tmp = path + ".tmp-XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0)
        throw DxfError{path + ": cannot write: " + std::strerror(errno)};
    auto fail = [&](const char *what) {
        int err = errno;
        if (fd >= 0)
            close(fd);
        unlink(tmp.c_str());
        throw DxfError{path + ": " + what + ": " + std::strerror(err)};
    };
    struct stat st;
    mode_t mode;
    if (stat(path.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(fd, mode);
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail("cannot write");
        }
        done += (size_t)n;
    }
    if (fsync(fd) != 0)
        fail("cannot write");
    if (close(fd) != 0) {
        fd = -1;
        fail("cannot write");
    }
    fd = -1;
    if (rename(tmp.c_str(), path.c_str()) != 0)
        fail("cannot write");
    std::string dir = path.find('/') == std::string::npos ? "." : path.substr(0, path.rfind('/') + 1);
    int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        fsync(dfd);
        close(dfd);
    }
}

// A complete R12 file for a drawing that was not read from a file.
std::string new_drawing_text(const Drawing &d)
{
    Out o;
    Form f;
    Vec3 lo, hi;
    d.extents(lo, hi);
    o.pair(0, "SECTION");
    o.pair(2, "HEADER");
    o.pair(9, "$ACADVER");
    o.pair(1, "AC1009");
    o.pair(9, "$INSBASE");
    o.point(10, Vec3{});
    o.pair(9, "$EXTMIN");
    o.point(10, lo);
    o.pair(9, "$EXTMAX");
    o.point(10, hi);
    o.pair(9, "$CLAYER");
    o.pair(8, d.current_layer.empty() ? "0" : d.current_layer);
    o.pair(9, "$CECOLOR");
    o.integer(62, d.current_colour);
    o.pair(0, "ENDSEC");

    o.pair(0, "SECTION");
    o.pair(2, "TABLES");
    o.pair(0, "TABLE");
    o.pair(2, "LTYPE");
    o.integer(70, 1);
    o.pair(0, "LTYPE");
    o.pair(2, "CONTINUOUS");
    o.integer(70, 0);
    o.pair(3, "Solid line");
    o.integer(72, 65);
    o.integer(73, 0);
    o.num(40, 0.0);
    o.pair(0, "ENDTAB");
    Out layers;
    size_t count = 0;
    write_layers(layers, d, f, count);
    o.pair(0, "TABLE");
    o.pair(2, "LAYER");
    o.integer(70, (long long)count);
    o.text += layers.text;
    o.pair(0, "ENDTAB");
    o.pair(0, "TABLE");
    o.pair(2, "STYLE");
    o.integer(70, 1);
    o.pair(0, "STYLE");
    o.pair(2, "STANDARD");
    o.integer(70, 0);
    o.num(40, 0.0);
    o.num(41, 1.0);
    o.num(50, 0.0);
    o.integer(71, 0);
    o.num(42, 2.5);
    o.pair(3, "txt");
    o.pair(4, "");
    o.pair(0, "ENDTAB");
    o.pair(0, "ENDSEC");

    o.pair(0, "SECTION");
    o.pair(2, "BLOCKS");
    o.pair(0, "ENDSEC");
    o.pair(0, "SECTION");
    o.pair(2, "ENTITIES");
    for (const auto &e : d.entities)
        if (!e.erased) {
            if (!e.raw.empty())
                for (const auto &p : e.raw)
                    o.pair(p);
            else
                write_entity(o, e, f);
        }
    o.pair(0, "ENDSEC");
    o.pair(0, "EOF");
    return o.text;
}

// Finds header variable `var` in `pairs` (the HEADER section at the start):
// the index of its value group with code `code`, or none.
size_t header_value(const std::vector<DxfPair> &pairs, size_t end, const char *var, int code)
{
    for (size_t i = 0; i + 1 < end; i++) {
        if (pairs[i].code != 9 || !dxf_same_name(trimmed_copy(pairs[i].value), var))
            continue;
        for (size_t j = i + 1; j < end && pairs[j].code != 9 && pairs[j].code != 0; j++)
            if (pairs[j].code == code)
                return j;
        return DxfLayout::none;
    }
    return DxfLayout::none;
}

std::string read_drawing_text(const Drawing &d)
{
    const DxfLayout &lay = d.layout;
    Form f;
    f.release = dxf_release(d.version);
    if (f.release == 0)
        f.release = 12;
    f.model_space = lay.model_space;

    const auto &before = d.before_entities;
    // The HEADER section, if any, is the first section: find its end.
    size_t header_end = 0;
    if (lay.had_header)
        for (size_t i = 0; i < before.size(); i++)
            if (before[i].code == 0 && before[i].value.find("ENDSEC") != std::string::npos) {
                header_end = i;
                break;
            }
    size_t seed_at = header_value(before, header_end, "$HANDSEED", 5);
    size_t clayer_at = header_value(before, header_end, "$CLAYER", 8);
    size_t cecolor_at = header_value(before, header_end, "$CECOLOR", 62);

    f.handles = f.r2000() || seed_at != DxfLayout::none;
    std::uint64_t hi = 0;
    if (f.handles) {
        max_handle_of(before, hi);
        max_handle_of(d.after_entities, hi);
        for (const auto &l : d.layers)
            max_handle_of(l.raw, hi);
        for (const auto &e : d.entities)
            max_handle_of(e.raw, hi);
        std::uint64_t seed = 0;
        if (seed_at != DxfLayout::none)
            parse_handle(before[seed_at].value, seed);
        f.next_handle = std::max(hi + 1, seed);
    }
    const std::uint64_t first_new_handle = f.next_handle;

    Out o;
    o.crlf = d.crlf;
    o.padded = lay.code_padded;
    if (lay.bom)
        o.text = "\xEF\xBB\xBF";

    // New entities and layers first, so that the handles they take are known
    // when $HANDSEED is written.
    Out ents = o;
    ents.text.clear();
    for (const auto &e : d.entities) {
        if (e.erased)
            continue;
        if (!e.raw.empty())
            for (const auto &p : e.raw)
                ents.pair(p);
        else
            write_entity(ents, e, f);
    }
    Out layers = o;
    layers.text.clear();
    size_t layer_count = 0;
    bool layers_changed = false;
    bool table_in_file = lay.layer_records_at != DxfLayout::none;
    for (const auto &l : d.layers) {
        if (!l.raw.empty())
            layers_changed |= layer_colour_in(l.raw) != l.colour;
        else if (table_in_file || !dxf_same_name(l.name, "0") || l.colour != 7)
            layers_changed = true;   // (a file without a LAYER table has an implicit layer 0)
    }
    for (const auto &e : d.entities)
        layers_changed |= !e.erased && e.raw.empty() &&
                          std::none_of(d.layers.begin(), d.layers.end(),
                                       [&](const Layer &l) { return dxf_same_name(l.name, e.layer); });
    if (table_in_file || layers_changed)
        write_layers(layers, d, f, layer_count);

    std::string seed_text;
    {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%llX", (unsigned long long)f.next_handle);
        seed_text = buf;
    }

    auto new_table = [&]() {
        o.pair(0, "SECTION");
        o.pair(2, "TABLES");
        o.pair(0, "TABLE");
        o.pair(2, "LAYER");
        o.integer(70, (long long)layer_count);
        o.text += layers.text;
        o.pair(0, "ENDTAB");
        o.pair(0, "ENDSEC");
    };
    bool need_table = !table_in_file && layers_changed;
    if (need_table && !lay.had_header)
        new_table();

    for (size_t i = 0; i < before.size(); i++) {
        const DxfPair &p = before[i];
        if (i == lay.layer_records_at)
            o.text += layers.text;
        if (i == seed_at && f.handles && f.next_handle != first_new_handle) {
            o.pair(5, seed_text);
        } else if (i == clayer_at) {
            o.pair(8, dxf_same_name(trimmed_copy(p.value), d.current_layer) ? p.value : d.current_layer);
        } else if (i == cecolor_at) {
            long long c = 256;
            dxf_parse_int(p.value, c);
            if (c == d.current_colour)
                o.pair(p);
            else
                o.integer(62, d.current_colour);
        } else if (i == lay.layer_count_at && layer_count != lay.layers_read) {
            o.integer(70, (long long)layer_count);
        } else {
            if (lay.had_header && i == header_end) {
                // Variables the file did not have, when they now differ from their defaults.
                if (clayer_at == DxfLayout::none && !dxf_same_name(d.current_layer, "0")) {
                    o.pair(9, "$CLAYER");
                    o.pair(8, d.current_layer);
                }
                if (cecolor_at == DxfLayout::none && d.current_colour != 256) {
                    o.pair(9, "$CECOLOR");
                    o.integer(62, d.current_colour);
                }
            }
            o.pair(p);
            if (need_table && lay.had_header && i == header_end)
                new_table();
        }
    }
    if (lay.layer_records_at == before.size())
        o.text += layers.text;
    o.pair(0, "SECTION");
    o.pair(2, "ENTITIES");
    o.text += ents.text;
    o.pair(0, "ENDSEC");
    for (const auto &p : d.after_entities)
        o.pair(p);
    o.pair(0, "EOF");
    return o.text;
}

}  // namespace

void save_dxf(const Drawing &d, const std::string &path)
{
    std::string text = d.layout.from_file ? read_drawing_text(d) : new_drawing_text(d);
    write_atomically(path, text);
}

// The entity types of R12 that the export carries over from a newer drawing
// (with the newer groups left out); every other unmodelled type is left out.
static bool r12_type(const std::string &t)
{
    static const char *types[] = {"CIRCLE", "ARC", "TRACE", "SOLID", "TEXT", "SHAPE", "POLYLINE"};
    for (const char *k : types)
        if (t == k)
            return true;
    return false;
}

void write_dxfout(const Drawing &d, const std::vector<std::uint64_t> &ids,
                  const std::string &path, int decimals)
{
    decimals = std::max(0, std::min(decimals, 16));
    std::set<std::uint64_t> chosen(ids.begin(), ids.end());
    std::vector<const Entity *> list;
    for (const auto &e : d.entities)
        if (!e.erased && chosen.count(e.id))
            list.push_back(&e);

    Out o;
    o.decimals = decimals;
    Form f;
    Vec3 lo{}, hi{};
    bool any = false;
    for (const Entity *e : list)
        for (const auto &p : e->pts) {
            if (!any) {
                lo = hi = p;
                any = true;
            }
            lo.x = std::min(lo.x, p.x); lo.y = std::min(lo.y, p.y); lo.z = std::min(lo.z, p.z);
            hi.x = std::max(hi.x, p.x); hi.y = std::max(hi.y, p.y); hi.z = std::max(hi.z, p.z);
        }
    o.pair(0, "SECTION");
    o.pair(2, "HEADER");
    o.pair(9, "$ACADVER");
    o.pair(1, "AC1009");
    o.pair(9, "$EXTMIN");
    o.point(10, lo);
    o.pair(9, "$EXTMAX");
    o.point(10, hi);
    o.pair(0, "ENDSEC");
    o.pair(0, "SECTION");
    o.pair(2, "ENTITIES");
    for (const Entity *e : list) {
        bool simple_poly = e->type != "POLYLINE" || (e->poly_flags & (16 | 8));
        if (dxf_modelled_type(e->type) && simple_poly) {
            write_entity(o, *e, f);
            continue;
        }
        if (e->raw.empty() || !r12_type(e->type))
            continue;
        // An unmodelled entity from the file: its groups without handles,
        // owners, subclass markers, reactors and extended data, its numbers
        // with the export's decimals.
        bool in_group = false;
        for (const auto &p : e->raw) {
            if (p.code == 102) {
                in_group = p.value.size() && p.value[0] == '{';
                continue;
            }
            if (in_group || p.code == 5 || p.code == 100 || p.code == 330 || p.code == 360 ||
                p.code == 999 || p.code >= 1000)
                continue;
            double v;
            if (dxf_value_kind(p.code) == DxfValueKind::real && dxf_parse_real(p.value, v))
                o.num(p.code, v);
            else
                o.pair(p);
        }
    }
    o.pair(0, "ENDSEC");
    o.pair(0, "EOF");
    write_atomically(path, o.text);
}


}  // namespace velmora
