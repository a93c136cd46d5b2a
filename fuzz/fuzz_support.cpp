#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "dxf_common.h"
#include "text.h"

namespace fs = std::filesystem;

namespace fz {

static std::string g_dir;

static void remove_work_dir()
{
    std::error_code ec;
    fs::current_path("/", ec);
    fs::remove_all(g_dir, ec);
}

const std::string &work_dir()
{
    if (g_dir.empty()) {
        std::error_code ec;
        std::string base = fs::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK) == 0
                               ? "/dev/shm"
                               : fs::temp_directory_path().string();
        std::string tmpl = base + "/velmora-fuzz-XXXXXX";
        if (!mkdtemp(tmpl.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        g_dir = tmpl;
        std::atexit(remove_work_dir);
    }
    return g_dir;
}

Input::Input() : back_(fs::current_path().string())
{
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(work_dir(), ec))
        fs::remove_all(entry.path(), ec);
    fs::current_path(work_dir());
}

Input::~Input()
{
    std::error_code ec;
    fs::current_path(back_, ec);
}

std::string path_of(const std::string &name)
{
    return work_dir() + "/" + name;
}

void write_file(const std::string &path, const void *data, std::size_t size)
{
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0)
        fail("cannot write the input to " + path);
}

AddonSession::AddonSession()
{
    vt::host_addon(*this, work_dir());
}

bool run_script(velmora::Session &s, const std::string &script)
{
    s.reset_failure();
    s.input(script);
    return s.run();
}

void fail(const std::string &what)
{
    std::fprintf(stderr, "\n*** finding: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

// ---- Drawing comparison ------------------------------------------------------

// A value as C would write it: control bytes and bytes above 126 escaped.
static std::string escaped(std::string_view v)
{
    std::string out = "\"";
    for (unsigned char c : v) {
        if (c >= 32 && c < 127 && c != '\\' && c != '"') {
            out += (char)c;
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
    }
    return out + "\"";
}

// Either an entity's run of groups or a list of them (before and after
// the entities).
template <class Groups>
static std::string same_pairs(const Groups &a, const Groups &b, const std::string &what)
{
    if (a.size() != b.size())
        return what + ": " + std::to_string(a.size()) + " groups, then " + std::to_string(b.size());
    for (std::size_t i = 0; i < a.size(); i++)
        if (a[i].code != b[i].code || a[i].value() != b[i].value())
            return what + ": group " + std::to_string(i) + " was " + std::to_string(a[i].code) +
                   " " + escaped(a[i].value()) + ", then " + std::to_string(b[i].code) + " " +
                   escaped(b[i].value());
    return "";
}

// Coordinates compare bit for bit: a save writes the shortest text that
// reads back to the same double.
static bool same_number(double a, double b)
{
    return a == b || (a != a && b != b);
}

static std::string same_entity(const velmora::Entity &a, const velmora::Entity &b, bool raw)
{
    if (a.type != b.type)
        return "type " + a.type.str() + ", then " + b.type.str();
    if (a.layer != b.layer)
        return "layer \"" + a.layer.str() + "\", then \"" + b.layer.str() + "\"";
    if (a.colour != b.colour)
        return "colour " + std::to_string(a.colour) + ", then " + std::to_string(b.colour);
    if (a.pts.size() != b.pts.size())
        return std::to_string(a.pts.size()) + " points, then " + std::to_string(b.pts.size());
    for (std::size_t i = 0; i < a.pts.size(); i++)
        if (!same_number(a.pts[i].x, b.pts[i].x) || !same_number(a.pts[i].y, b.pts[i].y) ||
            !same_number(a.pts[i].z, b.pts[i].z))
            return "point " + std::to_string(i) + " moved";
    if (a.face_hidden != b.face_hidden || a.poly_flags != b.poly_flags || a.mesh_m != b.mesh_m ||
        a.mesh_n != b.mesh_n || a.smooth_m != b.smooth_m || a.smooth_n != b.smooth_n ||
        a.smooth_type != b.smooth_type || a.vertex_flags != b.vertex_flags)
        return "flags or counts changed";
    if (raw) {
        if (a.handle != b.handle)
            return "handle " + std::string(a.handle) + ", then " + std::string(b.handle);
        return same_pairs(a.raw, b.raw, "groups");
    }
    return "";
}

// The groups before the entities, without the two values a save derives
// from the drawing: the LAYER table's entry count (the layers there are)
// and $HANDSEED (raised when the save gives a new layer record, such as
// layer 0 in a table that lacked it, a handle).
static std::vector<velmora::DxfPair> kept_groups(const velmora::Drawing &d)
{
    std::vector<velmora::DxfPair> g = d.before_entities;
    if (d.layout.layer_count_at < g.size())
        g[d.layout.layer_count_at] = velmora::DxfPair(g[d.layout.layer_count_at].code, "");
    for (std::size_t i = 0; i < g.size(); i++) {
        if (g[i].code != 9 || !velmora::same_name(velmora::trim(g[i].value()), "$HANDSEED"))
            continue;
        for (std::size_t j = i + 1; j < g.size() && g[j].code != 9 && g[j].code != 0; j++)
            if (g[j].code == 5) {
                g[j] = velmora::DxfPair(g[j].code, "");
                break;
            }
        break;
    }
    return g;
}

std::string compare_drawings(const velmora::Drawing &a, const velmora::Drawing &b, bool raw)
{
    std::vector<const velmora::Entity *> ea, eb;
    for (const auto &e : a.entities)
        if (!e.erased)
            ea.push_back(&e);
    for (const auto &e : b.entities)
        if (!e.erased)
            eb.push_back(&e);
    if (ea.size() != eb.size())
        return std::to_string(ea.size()) + " entities, then " + std::to_string(eb.size());
    for (std::size_t i = 0; i < ea.size(); i++) {
        std::string d = same_entity(*ea[i], *eb[i], raw);
        if (!d.empty())
            return "entity " + std::to_string(i) + ": " + d;
    }
    if (a.version != b.version)
        return "version " + a.version + ", then " + b.version;
    if (!velmora::same_name(a.current_layer, b.current_layer) ||
        a.current_colour != b.current_colour)
        return "current layer or colour changed";
    // Layers in order (a name may be given twice); a save writes them as
    // they stand and may add layer 0 and the layers of new entities after.
    if (b.layers.size() < a.layers.size())
        return std::to_string(a.layers.size()) + " layers, then " + std::to_string(b.layers.size());
    for (std::size_t i = 0; i < b.layers.size(); i++) {
        const velmora::Layer &lb = b.layers[i];
        if (i >= a.layers.size()) {
            bool known = velmora::same_name(lb.name, "0");     // layer 0 exists unlisted
            for (const auto &e : a.entities)
                known = known || (!e.erased && velmora::same_name(e.layer, lb.name));
            if (!known)
                return "layer \"" + lb.name + "\" appeared";
            continue;
        }
        const velmora::Layer &la = a.layers[i];
        if (la.name != lb.name || la.colour != lb.colour)
            return "layer \"" + la.name + "\" (colour " + std::to_string(la.colour) + ") became \"" +
                   lb.name + "\" (colour " + std::to_string(lb.colour) + ")";
        if (raw && !la.raw.empty()) {
            std::string d = same_pairs(la.raw, lb.raw, "layer \"" + la.name + "\"");
            if (!d.empty())
                return d;
        }
    }
    if (raw) {
        std::string d = same_pairs(kept_groups(a), kept_groups(b), "before the entities");
        if (!d.empty())
            return d;
        d = same_pairs(a.after_entities, b.after_entities, "after the entities");
        if (!d.empty())
            return d;
    }
    return "";
}

}  // namespace fz
