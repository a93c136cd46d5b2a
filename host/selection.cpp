// selection.cpp -- selections: answers on the command line into a set of
// entities.
//
// A window takes the entities wholly inside it; a crossing also those with
// a point inside or an edge through it (the edges of a face, a mesh's grid,
// a polyline's segments and, when it is closed, its closing segment).
#include <algorithm>
#include <iterator>

#include "selection.h"
#include "session_impl.h"
#include "text.h"

namespace velmora {

const char *const SELECT_PROMPT = "Select objects:";

namespace {

struct Box {
    double x0, y0, x1, y1;
    bool inside(const Vec3 &p) const { return p.x >= x0 && p.x <= x1 && p.y >= y0 && p.y <= y1; }
};

// Liang-Barsky: does the segment a-b touch the box?
bool segment_meets(const Box &b, const Vec3 &a, const Vec3 &c)
{
    double t0 = 0, t1 = 1, dx = c.x - a.x, dy = c.y - a.y;
    double p[4] = {-dx, dx, -dy, dy};
    double q[4] = {a.x - b.x0, b.x1 - a.x, a.y - b.y0, b.y1 - a.y};
    for (int i = 0; i < 4; i++) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        double r = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, r);
        else
            t1 = std::min(t1, r);
        if (t0 > t1)
            return false;
    }
    return true;
}

void edges_of(const Entity &e, std::vector<std::pair<int, int>> &out)
{
    int n = (int)e.pts.size();
    out.clear();
    if (e.type == "3DFACE") {
        for (int i = 0; i < n; i++)
            out.push_back({i, (i + 1) % n});
    } else if (e.type == "POLYLINE" && (e.poly_flags & 16) && e.mesh_m * e.mesh_n == n && n > 0) {
        for (int i = 0; i < e.mesh_m; i++)
            for (int j = 0; j < e.mesh_n; j++) {
                int k = i * e.mesh_n + j;
                if (j + 1 < e.mesh_n)
                    out.push_back({k, k + 1});
                if (i + 1 < e.mesh_m)
                    out.push_back({k, k + e.mesh_n});
            }
    } else {
        for (int i = 0; i + 1 < n; i++)
            out.push_back({i, i + 1});
        if (e.type == "POLYLINE" && (e.poly_flags & 1) && n > 2)
            out.push_back({n - 1, 0});
    }
}

// The entities a window (or, with `crossing`, a crossing) of the box takes.
std::vector<std::uint64_t> in_box(const Drawing &d, const Box &b, bool crossing)
{
    std::vector<std::uint64_t> found;
    std::vector<std::pair<int, int>> edges;
    for (const auto &e : d.entities) {
        if (e.erased || e.pts.empty())
            continue;
        bool all_in = true, any_in = false;
        for (const auto &q : e.pts) {
            bool in = b.inside(q);
            all_in = all_in && in;
            any_in = any_in || in;
        }
        bool take = all_in || (crossing && any_in);
        if (!take && crossing) {
            edges_of(e, edges);
            for (auto &ed : edges)
                if (segment_meets(b, e.pts[ed.first], e.pts[ed.second])) {
                    take = true;
                    break;
                }
        }
        if (take)
            found.push_back(e.id);
    }
    return found;
}

// Comma-separated alternatives with "*" and "?" wildcards, case-insensitive.
bool name_matches(const std::string &pattern, const std::string &name)
{
    std::size_t start = 0;
    std::string n = lower(name);
    for (;;) {
        std::size_t comma = pattern.find(',', start);
        std::string p = lower(pattern.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        std::size_t pi = 0, ni = 0, star = std::string::npos, mark = 0;
        bool ok;
        for (;;) {
            if (ni < n.size() && pi < p.size() && (p[pi] == '?' || p[pi] == n[ni])) {
                pi++;
                ni++;
            } else if (pi < p.size() && p[pi] == '*') {
                star = pi++;
                mark = ni;
            } else if (ni < n.size() && star != std::string::npos) {
                pi = star + 1;
                ni = ++mark;
            } else {
                while (pi < p.size() && p[pi] == '*')
                    pi++;
                ok = pi == p.size() && ni == n.size();
                break;
            }
        }
        if (ok)
            return true;
        if (comma == std::string::npos)
            return false;
        start = comma + 1;
    }
}

// The ids of `ids` still in the drawing, in drawing order: the list itself
// when all of it still stands in order (no copy), else a new one.
IdList live(const Drawing &d, const IdList &ids)
{
    if (!ids)
        return std::make_shared<const std::vector<std::uint64_t>>();
    std::size_t standing = 0;
    for (auto id : *ids) {
        const Entity *e = d.find(id);
        if (!e || e->erased)
            break;
        standing++;
    }
    if (standing == ids->size() && std::is_sorted(ids->begin(), ids->end()))
        return ids;
    std::vector<std::uint64_t> found;
    found.reserve(ids->size());
    for (auto id : *ids) {
        const Entity *e = d.find(id);
        if (e && !e->erased)
            found.push_back(id);
    }
    if (!std::is_sorted(found.begin(), found.end()))   // a set is mostly in order already
        std::sort(found.begin(), found.end());
    return std::make_shared<const std::vector<std::uint64_t>>(std::move(found));
}

}  // namespace

bool entity_matches(const Entity &e, const std::string &type_pattern, const std::string &layer_pattern)
{
    if (!type_pattern.empty() && !name_matches(type_pattern, e.type))
        return false;
    if (!layer_pattern.empty() && !name_matches(layer_pattern, e.layer))
        return false;
    return true;
}

IdList SelectionBuilder::list()
{
    if (!ids.shared)
        ids.shared = std::make_shared<const std::vector<std::uint64_t>>(std::move(ids.own));
    return ids.shared;
}

// A list chosen whole is kept shared while nothing else is chosen with it.
void SelectionBuilder::apply(const IdList &found)
{
    if (!removing_ && !ids.shared && ids.own.empty())
        ids.shared = found;
    else
        apply(std::vector<std::uint64_t>(*found));
}

void SelectionBuilder::apply(std::vector<std::uint64_t> found)
{
    if (ids.shared) {
        ids.own = *ids.shared;        // about to change: a copy of its own
        ids.shared.reset();
    }
    std::vector<std::uint64_t> &mine = ids.own;
    if (removing_) {
        std::vector<std::uint64_t> keep;
        for (auto id : mine)
            if (!std::binary_search(found.begin(), found.end(), id))
                keep.push_back(id);
        mine.swap(keep);
    } else if (mine.empty()) {
        mine.swap(found);
    } else if (!found.empty() && found.front() > mine.back()) {
        // Entities added after all the others (an add-on passing the
        // selection one entity name at a time): appended, not merged, so
        // that n names cost n steps and not n * n.
        mine.insert(mine.end(), found.begin(), found.end());
    } else {
        std::vector<std::uint64_t> merged;
        std::set_union(mine.begin(), mine.end(), found.begin(), found.end(), std::back_inserter(merged));
        mine.swap(merged);
    }
}

Feed SelectionBuilder::feed(const Token &t)
{
    if (state_ == Corner1 || state_ == Corner2)
        return corner(t);
    if (state_ == LayerName || state_ == TypeName)
        return name(t);
    if (t.kind == Token::Picks)
        return picks(t);
    if (t.kind == Token::Point)
        return refuse(s_, "*Invalid selection*: picking by a point is not available; use w or c with two corners.");
    return keyword(t);
}

// A corner of a window or crossing; the second one selects.
Feed SelectionBuilder::corner(const Token &t)
{
    Vec3 p = t.pt;
    if (t.kind == Token::Word && !parse_point(t.text, p))
        return refuse(s_, "*Invalid point* \"" + t.text + "\": a corner is x,y or x,y,z.");
    if (t.kind == Token::Picks)
        return refuse(s_, "*Invalid point*: a selection set is not a corner.");
    if (state_ == Corner1) {
        c1_ = p;
        state_ = Corner2;
        return Feed::More;
    }
    Box b{std::min(c1_.x, p.x), std::min(c1_.y, p.y), std::max(c1_.x, p.x), std::max(c1_.y, p.y)};
    apply(in_box(s_.drawing(), b, crossing_));
    state_ = Idle;
    return Feed::More;
}

// The name after "layer" or "type".
Feed SelectionBuilder::name(const Token &t)
{
    if (t.kind != Token::Word || t.text.empty())
        return refuse(s_, "*Invalid selection*: a layer or type name is expected.");
    std::vector<std::uint64_t> found;
    for (const auto &e : s_.drawing().entities)
        if (!e.erased && entity_matches(e, state_ == TypeName ? t.text : "", state_ == LayerName ? t.text : ""))
            found.push_back(e.id);
    apply(std::move(found));
    state_ = Idle;
    return Feed::More;
}

// A selection set the add-on passes: its entities still in the drawing.
Feed SelectionBuilder::picks(const Token &t)
{
    auto &sets = SessionInside::of(s_).sets;
    auto it = sets.find(t.ss);
    if (it == sets.end())
        return refuse(s_, "*Invalid selection*: the selection set no longer exists.");
    apply(live(s_.drawing(), it->second));
    if (t.ss < 0)
        sets.erase(it);   // an entity name's own set, used once
    return Feed::More;
}

Feed SelectionBuilder::keyword(const Token &t)
{
    const Drawing &d = s_.drawing();
    std::string w = lower(t.text);
    if (w.empty()) {
        SessionInside::of(s_).previous = list();
        return Feed::Done;
    }
    if (w == "all") {
        std::vector<std::uint64_t> found;
        found.reserve(d.entities.size());
        for (const auto &e : d.entities)
            if (!e.erased)
                found.push_back(e.id);
        apply(std::move(found));
    } else if (w == "last" || w == "l") {
        for (auto it = d.entities.rbegin(); it != d.entities.rend(); ++it)
            if (!it->erased) {
                apply({it->id});
                break;
            }
    } else if (w == "previous" || w == "p") {
        apply(live(d, SessionInside::of(s_).previous));
    } else if (w == "w" || w == "window" || w == "c" || w == "crossing") {
        crossing_ = w[0] == 'c';
        state_ = Corner1;
    } else if (w == "remove" || w == "r") {
        removing_ = true;
    } else if (w == "add" || w == "a") {
        removing_ = false;
    } else if (w == "layer") {
        state_ = LayerName;
    } else if (w == "type") {
        state_ = TypeName;
    } else {
        return refuse(s_, "*Invalid selection* \"" + t.text +
                              "\": expected all, last, previous, w or c with two corners, layer NAME, "
                              "type NAME, remove, add, or an empty answer to end.");
    }
    return Feed::More;
}

bool Session::select(const std::string &prompt, std::vector<std::uint64_t> &ids)
{
    IdList chosen;
    if (!select(prompt, chosen))
        return false;
    ids = *chosen;
    return true;
}

bool Session::select(const std::string &prompt, IdList &ids)
{
    Impl &m = *p_;
    // Scripts log the prompt; a terminal shows it when a line is typed.
    if (!prompt.empty() && !m.typing_answers())
        print(prompt);
    std::size_t from = prompt.find_first_not_of('\n');
    m.in.asking = from == std::string::npos ? SELECT_PROMPT : trim(prompt.substr(from));
    m.in.asking_active = false;
    SelectionBuilder b(*this);
    for (;;) {
        Token t;
        if (!m.next_token(t)) {
            if (!m.line.pending)
                m.fail("the input ended while objects were being selected");
            return false;
        }
        if (t.kind == Token::Word && lower(t.text) == "*cancel*") {
            if (!m.call.in_call)
                m.error("*Cancel*");   // a host command's selection; the add-on says its own
            return false;
        }
        Feed r = b.feed(t);
        m.in.asking = SELECT_PROMPT;
        m.in.asking_active = false;
        if (r == Feed::Fail) {
            if (!m.line.pending)
                m.fail(m.last_error);
            return false;
        }
        if (r == Feed::Done)
            break;
    }
    ids = b.list();
    return true;
}

}  // namespace velmora
