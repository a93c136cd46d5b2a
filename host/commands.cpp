// commands.cpp -- the host's own commands on the command line: each is a small
// machine that takes its answers one token at a time, so that a command can
// span several sds_command calls (the add-on sends "3DFACE", then each corner
// in a call of its own, then Enter).
#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "sds.h"
#include "session_impl.h"

namespace velmora {

namespace {

std::map<std::string, HostCommand> &registered()
{
    static std::map<std::string, HostCommand> m;
    return m;
}

Feed fail_with(Session &s, const std::string &msg) { return s.impl().error(msg); }

bool token_point(const Token &t, Vec3 &p)
{
    if (t.kind == Token::Point) {
        p = t.pt;
        return true;
    }
    return t.kind == Token::Word && parse_point(t.text, p);
}

bool is_enter(const Token &t) { return t.kind == Token::Word && t.text.empty(); }

std::string word_of(const Token &t) { return t.kind == Token::Word ? lower(t.text) : std::string("\x01"); }

// Colour answers: 1-255, BYLAYER (256), BYBLOCK (0) or a standard name.
bool parse_colour(const std::string &w, int &c)
{
    static const char *names[] = {"red", "yellow", "green", "cyan", "blue", "magenta", "white"};
    std::string l = lower(w);
    if (l == "bylayer") { c = 256; return true; }
    if (l == "byblock") { c = 0; return true; }
    for (int i = 0; i < 7; i++)
        if (l == names[i]) { c = i + 1; return true; }
    // Numbers 1-255, and 0 and 256 for BYBLOCK and BYLAYER.
    long long n;
    if (parse_int(w, n) && n >= 0 && n <= 256) {
        c = (int)n;
        return true;
    }
    double r;
    if (parse_number(w, r) && r == std::floor(r) && r >= 0 && r <= 256) {
        c = (int)r;
        return true;
    }
    return false;
}

bool valid_layer_name(const std::string &n)
{
    if (n.empty() || n.size() > 255)
        return false;
    return n.find_first_of("<>/\\\":;?*|,=`") == std::string::npos;
}

// ---- 3DFACE --------------------------------------------------------------------
//
// Corners 1 to 4; "i" before a corner hides the edge that starts there.  After
// the fourth corner the face is made and the command asks for the third and
// fourth corners of the next face, whose first two are the last two of the
// face before.  Enter at the fourth corner makes a three-sided face (the
// fourth corner repeats the third); Enter at a third corner ends.
//
//      4 ------- 3          edge bits: 1 = 1-2, 2 = 2-3, 4 = 3-4, 8 = 4-1
//      |  face   |
//      1 ------- 2
class Face3D : public CommandMachine {
public:
    Feed feed(Session &s, const Token &t) override
    {
        if (t.kind == Token::Word) {
            std::string w = lower(t.text);
            if (w == "i" || w == "invisible") {
                hide_next_ = true;
                return Feed::More;
            }
            if (w.empty()) {
                if (k_ == 3 && !continuing_only_) {
                    // No fourth corner: a three-sided face.
                    c_[3] = c_[2];
                    if (hidden_ & 4)
                        hidden_ |= 8;   // the edge from corner 3 closes back to corner 1
                    make(s);
                }
                return Feed::Done;   // at the first, second or a next face's third corner
            }
        }
        Vec3 p;
        if (!token_point(t, p))
            return fail_with(s, "3DFACE: invalid corner \"" + (t.kind == Token::Word ? t.text : std::string("<ss>")) +
                                    "\"; a corner is x,y or x,y,z, \"i\" hides the next edge, Enter ends.");
        c_[k_] = p;
        if (hide_next_)
            hidden_ |= 1 << k_;
        hide_next_ = false;
        continuing_only_ = false;
        if (++k_ < 4)
            return Feed::More;
        make(s);
        // The next face starts from corners 3 and 4 of this one.
        int h = 0;
        if (hidden_ & 4) h |= 1;
        if (hidden_ & 8) h |= 2;
        c_[0] = c_[2];
        c_[1] = c_[3];
        hidden_ = h;
        k_ = 2;
        continuing_only_ = true;
        return Feed::More;
    }

private:
    void make(Session &s)
    {
        Entity e;
        e.type = "3DFACE";
        e.pts.assign(c_, c_ + 4);
        e.face_hidden = hidden_;
        add_entity(s, std::move(e));
    }
    Vec3 c_[4];
    int k_ = 0;
    int hidden_ = 0;
    bool hide_next_ = false;
    bool continuing_only_ = false;   // at a next face's third corner
};

// ---- POINT, LINE, 3DPOLY ------------------------------------------------------

class PointCmd : public CommandMachine {
public:
    Feed feed(Session &s, const Token &t) override
    {
        Vec3 p;
        if (!token_point(t, p))
            return fail_with(s, "POINT: invalid point; a point is x,y or x,y,z.");
        Entity e;
        e.type = "POINT";
        e.pts.push_back(p);
        add_entity(s, std::move(e));
        return Feed::Done;
    }
};

class LineCmd : public CommandMachine {
public:
    Feed feed(Session &s, const Token &t) override
    {
        if (is_enter(t))
            return Feed::Done;
        Vec3 p;
        if (!token_point(t, p))
            return fail_with(s, "LINE: invalid point; a point is x,y or x,y,z, Enter ends.");
        if (have_) {
            Entity e;
            e.type = "LINE";
            e.pts = {last_, p};
            add_entity(s, std::move(e));
        }
        last_ = p;
        have_ = true;
        return Feed::More;
    }

private:
    Vec3 last_;
    bool have_ = false;
};

class Poly3D : public CommandMachine {
public:
    Feed feed(Session &s, const Token &t) override
    {
        std::string w = word_of(t);
        if (w.empty() || w == "c" || w == "close") {
            bool closed = !w.empty();
            if (pts_.size() >= 2) {
                Entity e;
                e.type = "POLYLINE";
                e.pts = pts_;
                e.poly_flags = 8 | (closed ? 1 : 0);
                e.vertex_flags.assign(pts_.size(), 32);
                add_entity(s, std::move(e));
            }
            return Feed::Done;
        }
        if (w == "u" || w == "undo") {
            if (!pts_.empty())
                pts_.pop_back();
            return Feed::More;
        }
        Vec3 p;
        if (!token_point(t, p))
            return fail_with(s, "3DPOLY: invalid vertex \"" + (t.kind == Token::Word ? t.text : std::string()) +
                                    "\"; a vertex is x,y,z, Enter ends.");
        pts_.push_back(p);
        return Feed::More;
    }

private:
    std::vector<Vec3> pts_;
};

// ---- COLOR, LAYER, SETVAR, UCS, UNDO -------------------------------------------

class ColorCmd : public CommandMachine {
public:
    Feed feed(Session &s, const Token &t) override
    {
        if (is_enter(t))
            return Feed::Done;
        int c;
        if (t.kind != Token::Word || !parse_colour(t.text, c))
            return fail_with(s, "COLOR: invalid colour \"" + (t.kind == Token::Word ? t.text : std::string()) +
                                    "\"; give 1 to 255, BYLAYER or BYBLOCK.");
        s.drawing().current_colour = c;
        return Feed::Done;
    }
};

class LayerCmd : public CommandMachine {
public:
    Feed feed(Session &s, const Token &t) override
    {
        Drawing &d = s.drawing();
        if (t.kind != Token::Word)
            return fail_with(s, "LAYER: a name or an option is expected.");
        const std::string &w = t.text;
        switch (state_) {
        case Option: {
            std::string o = lower(w);
            if (o.empty())
                return Feed::Done;
            if (o == "make" || o == "m") state_ = MakeName;
            else if (o == "set" || o == "s") state_ = SetName;
            else if (o == "new" || o == "n") state_ = NewName;
            else if (o == "color" || o == "colour" || o == "c") state_ = ColourValue;
            else if (o == "on") state_ = OnName;
            else if (o == "off") state_ = OffName;
            else
                return fail_with(s, "LAYER: invalid option \"" + w + "\"; options are Make, Set, New, Color, ON, OFF, Enter ends.");
            return Feed::More;
        }
        case MakeName:
        case SetName:
            if (!w.empty()) {
                if (!valid_layer_name(w))
                    return fail_with(s, "LAYER: invalid layer name \"" + w + "\".");
                Layer *l = d.layer(w);
                if (!l) {
                    if (state_ == SetName)
                        return fail_with(s, "LAYER: there is no layer \"" + w + "\".");
                    l = &d.make_layer(w);
                }
                d.current_layer = l->name;
            }
            state_ = Option;
            return Feed::More;
        case NewName:
            for (const auto &n : split(w)) {
                if (!valid_layer_name(n))
                    return fail_with(s, "LAYER: invalid layer name \"" + n + "\".");
                d.make_layer(n);
            }
            state_ = Option;
            return Feed::More;
        case ColourValue:
            if (!parse_colour(w, colour_) || colour_ == 0 || colour_ == 256)
                return fail_with(s, "LAYER: invalid colour \"" + w + "\"; give 1 to 255.");
            state_ = ColourNames;
            return Feed::More;
        case ColourNames:
        case OnName:
        case OffName: {
            std::vector<std::string> names = w.empty() ? std::vector<std::string>{d.current_layer} : split(w);
            for (const auto &n : names) {
                Layer *l = d.layer(n);
                if (!l)
                    return fail_with(s, "LAYER: there is no layer \"" + n + "\".");
                int c = std::abs(l->colour ? l->colour : 7);
                if (state_ == ColourNames)
                    l->colour = l->colour < 0 ? -colour_ : colour_;
                else
                    l->colour = state_ == OffName ? -c : c;
            }
            state_ = Option;
            return Feed::More;
        }
        }
        return Feed::Done;
    }

private:
    static std::vector<std::string> split(const std::string &w)
    {
        std::vector<std::string> r;
        std::stringstream ss(w);
        std::string n;
        while (std::getline(ss, n, ','))
            r.push_back(n);
        return r;
    }
    enum { Option, MakeName, SetName, NewName, ColourValue, ColourNames, OnName, OffName } state_ = Option;
    int colour_ = 7;
};

class SetvarCmd : public CommandMachine {
public:
    Feed feed(Session &s, const Token &t) override
    {
        if (t.kind != Token::Word)
            return fail_with(s, "SETVAR: a variable name and a value are expected.");
        if (name_.empty()) {
            if (t.text.empty())
                return Feed::Done;
            name_ = t.text;
            return Feed::More;
        }
        if (t.text.empty())
            return Feed::Done;   // Enter keeps the value
        std::string err;
        if (!set_variable(s, name_, t.text, err))
            return fail_with(s, "SETVAR: " + err);
        return Feed::Done;
    }

private:
    std::string name_;
};

class UcsCmd : public CommandMachine {
public:
    Feed feed(Session &s, const Token &t) override
    {
        std::string w = word_of(t);
        if (w.empty() || w == "w" || w == "world")
            return Feed::Done;
        return fail_with(s, "UCS: only the world coordinate system is available (Enter or W).");
    }
};

class UndoCmd : public CommandMachine {
public:
    Feed feed(Session &s, const Token &t) override
    {
        Session::Impl &m = s.impl();
        Drawing &d = m.drawing;
        std::string w = word_of(t);
        if (w == "mark" || w == "m") {
            m.marks.push_back({d.entities.size(), d.next_id, d.layers.size(), m.erase_log.size(),
                               d.current_layer, d.current_colour});
            return Feed::Done;
        }
        if (w == "back" || w == "b") {
            Session::Impl::Mark mk{0, 0, 0, 0, "0", 256};
            bool have = !m.marks.empty();
            if (have) {
                mk = m.marks.back();
                m.marks.pop_back();
            } else {
                // No mark: back to the start of the session.
                mk = {d.entities.size(), d.next_id, d.layers.size(), 0, d.current_layer, d.current_colour};
                auto first_new = std::find_if(d.entities.begin(), d.entities.end(),
                                              [&](const Entity &e) { return e.id >= start_id_of(m); });
                mk.entity_count = (std::size_t)(first_new - d.entities.begin());
            }
            for (std::size_t i = mk.erase_log_size; i < m.erase_log.size(); i++)
                if (Entity *e = d.find(m.erase_log[i]))
                    e->erased = false;
            m.erase_log.resize(std::min(m.erase_log.size(), mk.erase_log_size));
            if (d.entities.size() > mk.entity_count)
                d.entities.resize(mk.entity_count);
            if (have && d.layers.size() > mk.layer_count)
                d.layers.resize(mk.layer_count);
            if (have) {
                d.current_layer = mk.layer;
                d.current_colour = mk.colour;
            }
            return Feed::Done;
        }
        if (w == "begin" || w == "be" || w == "end" || w == "e" || w.empty())
            return Feed::Done;
        return fail_with(s, "UNDO: only Mark, Back, BEgin and End are available.");
    }

private:
    static std::uint64_t start_id_of(Session::Impl &m) { return m.session_start_id; }
};

// ---- ERASE, DXFOUT ---------------------------------------------------------------

class EraseCmd : public CommandMachine {
public:
    explicit EraseCmd(Session &s) : sel_(s) {}
    Feed feed(Session &s, const Token &t) override
    {
        Feed r = sel_.feed(t);
        if (r != Feed::Done)
            return r;
        Session::Impl &m = s.impl();
        for (auto id : sel_.ids)
            if (Entity *e = m.drawing.find(id)) {
                if (!e->erased) {
                    e->erased = true;
                    m.erase_log.push_back(id);
                }
            }
        m.previous = sel_.ids;
        return Feed::Done;
    }

private:
    SelectionBuilder sel_;
};

// dxfout FILE [v VERSION] [entities SELECTION ""] DECIMALS
class DxfoutCmd : public CommandMachine {
public:
    explicit DxfoutCmd(Session &s) : sel_(s) {}
    Feed feed(Session &s, const Token &t) override
    {
        Session::Impl &m = s.impl();
        switch (state_) {
        case File:
            if (t.kind != Token::Word || t.text.empty())
                return fail_with(s, "DXFOUT: a file name is expected.");
            path_ = native_path(s, t.text);
            {
                std::size_t slash = path_.find_last_of('/');
                std::size_t dot = path_.find_last_of('.');
                if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
                    path_ += ".dxf";
            }
            state_ = Option;
            return Feed::More;
        case Version: {
            std::string v = word_of(t);
            if (v != "r12" && v != "12" && v != "3" && !v.empty())
                return fail_with(s, "DXFOUT: version \"" + t.text + "\" is not available; the export is R12 (answer r12).");
            state_ = Option;
            return Feed::More;
        }
        case Selecting: {
            Feed r = sel_.feed(t);
            if (r == Feed::Done) {
                chosen_ = true;
                m.previous = sel_.ids;
                state_ = Option;
                return Feed::More;
            }
            return r;
        }
        case Option:
            break;
        }
        std::string w = word_of(t);
        if (w == "v" || w == "version") {
            state_ = Version;
            return Feed::More;
        }
        if (w == "entities" || w == "e" || w == "objects" || w == "o") {
            state_ = Selecting;
            return Feed::More;
        }
        long long decimals = 6;
        if (!w.empty() && (!parse_int(t.text, decimals) || decimals < 0 || decimals > 16))
            return fail_with(s, "DXFOUT: \"" + (t.kind == Token::Word ? t.text : std::string()) +
                                    "\" is not an option; give V, Entities, or the decimal places (0 to 16).");
        std::vector<std::uint64_t> ids;
        if (chosen_) {
            ids = sel_.ids;
        } else {
            for (const auto &e : m.drawing.entities)
                if (!e.erased)
                    ids.push_back(e.id);
        }
        try {
            write_dxfout(m.drawing, ids, path_, (int)decimals);
        } catch (const DxfError &e) {
            return fail_with(s, "DXFOUT: " + e.message);
        }
        return Feed::Done;
    }

private:
    enum { File, Option, Version, Selecting } state_ = File;
    SelectionBuilder sel_;
    std::string path_;
    bool chosen_ = false;
};

// ---- SCRIPT -----------------------------------------------------------------------

class ScriptCmd : public CommandMachine {
public:
    Feed feed(Session &s, const Token &t) override
    {
        Session::Impl &m = s.impl();
        if (t.kind != Token::Word || t.text.empty())
            return fail_with(s, "SCRIPT: a file name is expected.");
        std::string path = native_path(s, t.text);
        std::ifstream f(path, std::ios::binary);
        if (!f) {
            std::string alt = path + ".scr";
            f.open(alt, std::ios::binary);
            if (!f)
                return fail_with(s, "SCRIPT: cannot open \"" + t.text + "\".");
        }
        std::stringstream ss;
        ss << f.rdbuf();
        std::string text = ss.str();
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        if (!text.empty() && text.back() != '\n')
            text += '\n';
        if (m.sds_command_depth == 0 && !m.funcode_in_call) {
            // Typed at the command line: the script's lines come next in the input.
            m.input.insert(m.pos, text);
            return Feed::Done;
        }
        // From an add-on command: run its lines now, on a command line of their
        // own (the add-on may delete the file as soon as this call returns).
        std::deque<Token> q;
        std::size_t p = 0;
        while (p < text.size()) {
            std::size_t e = p;
            while (e < text.size() && text[e] != ' ' && text[e] != '\t' && text[e] != '\n')
                e++;
            q.push_back(Token::word(text.substr(p, e - p)));
            p = e + 1;
        }
        std::unique_ptr<CommandMachine> outer = std::move(m.active);
        std::string outer_name = m.active_name;
        bool ok = m.feed_tokens(s, q);
        if (ok && m.active) {
            // The script ended inside a command: Enter finishes it.
            if (m.feed_line(s, Token::word("")) == Feed::Fail)
                ok = false;
            m.active.reset();
        }
        m.active = std::move(outer);
        m.active_name = outer_name;
        return ok ? Feed::Done : fail_with(s, "SCRIPT: \"" + t.text + "\" stopped at an error.");
    }
};

// A command registered by name that reads its answers itself.
class Registered : public CommandMachine {
public:
    explicit Registered(HostCommand fn) : fn_(std::move(fn)) {}
    Feed start(Session &s) override { return fn_(s) ? Feed::Done : Feed::Fail; }
    Feed feed(Session &, const Token &) override { return Feed::Done; }

private:
    HostCommand fn_;
};

class RedrawCmd : public CommandMachine {
public:
    Feed start(Session &s) override
    {
        s.impl().overlay.clear();
        return Feed::Done;
    }
    Feed feed(Session &, const Token &) override { return Feed::Done; }
};

}  // namespace

void register_host_command(const std::string &name, HostCommand fn)
{
    registered()[lower(name)] = std::move(fn);
}

bool is_host_command(const std::string &name)
{
    static const char *builtin[] = {"3dface", "point", "line", "3dpoly", "color", "colour", "layer", "-layer",
                                    "setvar", "ucs", "undo", "erase", "dxfout", "script", "redraw", "regen"};
    std::string n = lower(name);
    for (const char *b : builtin)
        if (n == b)
            return true;
    return registered().count(n) > 0;
}

std::unique_ptr<CommandMachine> make_host_command(Session &s, const std::string &name)
{
    auto it = registered().find(name);
    if (it != registered().end())
        return std::make_unique<Registered>(it->second);
    if (name == "3dface") return std::make_unique<Face3D>();
    if (name == "point") return std::make_unique<PointCmd>();
    if (name == "line") return std::make_unique<LineCmd>();
    if (name == "3dpoly") return std::make_unique<Poly3D>();
    if (name == "color" || name == "colour") return std::make_unique<ColorCmd>();
    if (name == "layer" || name == "-layer") return std::make_unique<LayerCmd>();
    if (name == "setvar") return std::make_unique<SetvarCmd>();
    if (name == "ucs") return std::make_unique<UcsCmd>();
    if (name == "undo") return std::make_unique<UndoCmd>();
    if (name == "erase") return std::make_unique<EraseCmd>(s);
    if (name == "dxfout") return std::make_unique<DxfoutCmd>(s);
    if (name == "script") return std::make_unique<ScriptCmd>();
    if (name == "redraw" || name == "regen") return std::make_unique<RedrawCmd>();
    return nullptr;
}

Entity &add_entity(Session &s, Entity e)
{
    Drawing &d = s.drawing();
    d.make_layer(d.current_layer);
    e.layer = d.layer(d.current_layer)->name;
    e.colour = d.current_colour;
    return d.add(std::move(e));
}

std::string native_path(Session &s, const std::string &path)
{
    std::string p = path;
    std::replace(p.begin(), p.end(), '\\', '/');
    if (p.size() >= 2 && p[1] == ':' && (p[0] == 'c' || p[0] == 'C')) {
        std::string rest = p.substr(2);
        std::string root = s.impl().drive_c;
        if (!rest.empty() && rest[0] != '/')
            rest = "/" + rest;
        while (root.size() > 1 && root.back() == '/')
            root.pop_back();
        p = root + rest;
    }
    return p;
}

bool set_variable(Session &s, const std::string &name, const std::string &value, std::string &err)
{
    Session::Impl &m = s.impl();
    std::string n = name;
    for (auto &c : n)
        c = (char)std::toupper((unsigned char)c);
    if (n == "CMDECHO" || n == "OSMODE") {
        long long v;
        double r;
        if (parse_int(value, v)) {
        } else if (parse_number(value, r) && r == std::floor(r)) {
            v = (long long)r;
        } else {
            err = "\"" + value + "\" is not an integer for " + n + ".";
            return false;
        }
        if (n == "CMDECHO" && v != 0 && v != 1) {
            err = "CMDECHO is 0 or 1.";
            return false;
        }
        if (v < 0 || v > 32767) {
            err = "OSMODE is 0 to 32767.";
            return false;
        }
        m.vars[n] = std::to_string(v);
        return true;
    }
    if (n == "ACADVER") {
        m.vars[n] = value;
        return true;
    }
    if (n == "TINMAXEDGE") {        // the terrain's trimming length; negative: ask each run
        double r;
        if (!parse_number(value, r)) {
            err = "\"" + value + "\" is not a number for TINMAXEDGE.";
            return false;
        }
        m.vars[n] = value;
        return true;
    }
    if (n == "DRIVEC") {
        m.drive_c = value;
        return true;
    }
    if (n == "CLAYER") {
        Layer *l = m.drawing.layer(value);
        if (!l) {
            err = "there is no layer \"" + value + "\".";
            return false;
        }
        m.drawing.current_layer = l->name;
        return true;
    }
    if (n == "CECOLOR") {
        int c;
        if (!parse_colour(value, c)) {
            err = "\"" + value + "\" is not a colour.";
            return false;
        }
        m.drawing.current_colour = c;
        return true;
    }
    if (n == "EXTMIN" || n == "EXTMAX" || n == "TEMPPREFIX") {
        err = n + " is read-only.";
        return false;
    }
    err = "unknown variable \"" + name + "\".";
    return false;
}

}  // namespace velmora
