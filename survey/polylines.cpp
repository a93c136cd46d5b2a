// polylines.cpp -- segments joined into polylines; entities on a layer.
#include "polylines.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <map>
#include <set>
#include <tuple>
#include <utility>

namespace velmora {
namespace {

using Key = std::tuple<double, double, double>;

Key key_of(const Vec3 &p) { return Key{p.x, p.y, p.z}; }

}  // namespace

// The segments become a graph: ends are nodes (numbered in the order they are
// first met), segments are edges.  A line is walked from node to node while
// the node it reaches has exactly two edges:
//
//     end ── a ── b ── c ── end        open: from a node of one edge,
//                                      or of three or more (a branch)
//     a ── b ── c ── d ── a            closed: every node has two edges
//
std::vector<Polyline> join_segments(const std::vector<Segment> &segments)
{
    std::map<Key, int> node_of;
    std::vector<Vec3> nodes;
    auto node = [&](const Vec3 &p) {
        auto it = node_of.emplace(key_of(p), (int)nodes.size());
        if (it.second)
            nodes.push_back(p);
        return it.first->second;
    };

    std::vector<std::pair<int, int>> edges;
    std::set<std::pair<int, int>> seen;
    for (const auto &s : segments) {
        int a = node(s[0]), b = node(s[1]);
        if (a == b)
            continue;
        if (!seen.insert({std::min(a, b), std::max(a, b)}).second)
            continue;
        edges.push_back({a, b});
    }
    std::vector<std::vector<int>> at(nodes.size());
    for (int i = 0; i < (int)edges.size(); i++) {
        at[(size_t)edges[(size_t)i].first].push_back(i);
        at[(size_t)edges[(size_t)i].second].push_back(i);
    }

    std::vector<char> used(edges.size(), 0);
    std::vector<Polyline> out;
    // Walks from `start` along edge `e` until a node that does not have
    // exactly two edges, or an edge already walked.
    auto walk = [&](int start, int e) {
        Polyline p;
        p.pts.push_back(nodes[(size_t)start]);
        int cur = start;
        while (e >= 0) {
            used[(size_t)e] = 1;
            cur = edges[(size_t)e].first == cur ? edges[(size_t)e].second : edges[(size_t)e].first;
            p.pts.push_back(nodes[(size_t)cur]);
            int next = -1;
            if (at[(size_t)cur].size() == 2)
                for (int f : at[(size_t)cur])
                    if (!used[(size_t)f])
                        next = f;
            e = next;
        }
        if (cur == start) {          // back where it began: a loop
            p.pts.pop_back();
            p.closed = true;
        }
        return p;
    };

    for (int n = 0; n < (int)nodes.size(); n++) {
        if (at[(size_t)n].size() == 2)
            continue;
        for (int e : at[(size_t)n])
            if (!used[(size_t)e])
                out.push_back(walk(n, e));
    }
    for (int e = 0; e < (int)edges.size(); e++)
        if (!used[(size_t)e])
            out.push_back(walk(edges[(size_t)e].first, e));
    return out;
}

Entity &add_on_layer(Session &s, Entity e, const std::string &layer, int layer_colour)
{
    Drawing &d = s.drawing();
    if (!d.layer(layer))
        d.make_layer(layer).colour = layer_colour;
    std::string keep_layer = d.current_layer;
    int keep_colour = d.current_colour;
    d.current_layer = d.layer(layer)->name;
    d.current_colour = 256;
    Entity &r = s.add_entity(std::move(e));
    d.current_layer = keep_layer;
    d.current_colour = keep_colour;
    return r;
}

Entity polyline_entity(const Polyline &p)
{
    Entity e;
    e.type = "POLYLINE";
    e.poly_flags = 8 | (p.closed ? 1 : 0);
    e.pts = p.pts;
    e.vertex_flags.assign(p.pts.size(), 32);
    return e;
}

std::string safe_layer_name(const std::string &name, const std::string &fallback)
{
    std::string r;
    for (unsigned char c : name) {
        if (r.size() == 31)
            break;
        if ((c & 0xC0) == 0x80)
            continue;                          // a character beyond ASCII is one '_'
        if (c >= 'a' && c <= 'z')
            r += (char)(c - 'a' + 'A');
        else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '$')
            r += (char)c;
        else
            r += '_';
    }
    size_t b = r.find_first_not_of('_');
    if (b == std::string::npos)
        return fallback;
    return r;
}

bool select_triangles(Session &s, const std::string &command, const std::string &outcome,
                      std::vector<Triangle> &tris)
{
    std::vector<std::uint64_t> ids;
    if (!s.select("\nSelect the surface (3DFACEs and polygon meshes): ", ids))
        return false;
    int skipped = 0;
    int used = collect_triangles(s.drawing(), ids, tris, &skipped);
    if (skipped)
        s.print("\n" + command + ": " + std::to_string(skipped) +
                " polygon mesh(es) whose vertex count does not match their size left out");
    if (used == 0)
        return s.error(command + ": no 3DFACE or polygon mesh in the selection; " + outcome);
    return true;
}

std::string ask_word(Session &s, const std::string &prompt)
{
    s.print(prompt);
    std::string word;
    if (!s.next_word(word))
        word.clear();
    return word;
}

bool read_text_file(const std::string &path, std::string &text, std::string &why)
{
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        why = "it is a folder";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = std::strerror(errno);
        return false;
    }
    std::ostringstream out;
    out << in.rdbuf();
    if (in.bad()) {
        why = "a read failed";
        return false;
    }
    text = out.str();
    return true;
}

}  // namespace velmora
