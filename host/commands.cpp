// commands.cpp -- the host's own commands and the table that names them.
// Each is a small machine that takes its answers one token at a time, so
// that a command can span several sds_command calls (the add-on sends
// "3DFACE", then each corner in a call of its own, then Enter).  They work
// through Session's public calls.
#include <algorithm>
#include <cmath>
#include <sstream>

#include "commandline.h"
#include "dxf_common.h"
#include "selection.h"
#include "session.h"
#include "text.h"
#include "variables.h"

namespace velmora {

namespace {

bool is_enter(const Token &t) { return t.kind == Token::Word && t.text.empty(); }

std::string word_of(const Token &t) { return t.kind == Token::Word ? lower(t.text) : std::string("\x01"); }

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
    std::string prompt() const override
    {
        static const char *nth[4] = {"first", "second", "third", "fourth"};
        std::string p = std::string("Specify ") + nth[k_] + " point or [Invisible]";
        if (k_ == 2)
            p += " <exit>";
        else if (k_ == 3)
            p += " <create three-side face>";
        return p + ":";
    }
    Feed feed(Session &s, const Token &t) override
    {
        if (t.kind == Token::Word) {
            const std::string &w = t.text;
            if ((w.size() == 1 && (w[0] == 'i' || w[0] == 'I')) || (w.size() == 9 && same_name(w, "invisible"))) {
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
        Vec3 p = t.pt;
        if (t.kind != Token::Point && !token_point(t, p))
            return refuse_corner(s, t);
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
    // Apart from feed, which takes millions of corners, so that it stays short.
    [[gnu::noinline]] static Feed refuse_corner(Session &s, const Token &t)
    {
        return refuse(s, "3DFACE: invalid corner \"" + (t.kind == Token::Word ? t.text : std::string("<ss>")) +
                             "\"; a corner is x,y or x,y,z, \"i\" hides the next edge, Enter ends.");
    }
    void make(Session &s)
    {
        Entity &e = s.add_entity(dxf_types().face);
        e.pts.assign(c_, c_ + 4);
        e.face_hidden = hidden_;
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
    std::string prompt() const override { return "Specify a point:"; }
    Feed feed(Session &s, const Token &t) override
    {
        Vec3 p;
        if (!token_point(t, p))
            return refuse(s, "POINT: invalid point; a point is x,y or x,y,z.");
        Entity e;
        e.type = "POINT";
        e.pts.push_back(p);
        s.add_entity(std::move(e));
        return Feed::Done;
    }
};

// Points; "u" takes back the last segment (the line goes on from its start).
class LineCmd : public CommandMachine {
public:
    std::string prompt() const override
    {
        return pts_.empty() ? "Specify first point:" : "Specify next point or [Undo]:";
    }
    Feed feed(Session &s, const Token &t) override
    {
        if (is_enter(t))
            return Feed::Done;
        std::string w = word_of(t);
        if (w == "u" || w == "undo") {
            if (!lines_.empty()) {
                s.erase({lines_.back()});
                lines_.pop_back();
            }
            if (!pts_.empty())
                pts_.pop_back();
            return Feed::More;
        }
        Vec3 p;
        if (!token_point(t, p))
            return refuse(s, "LINE: invalid point; a point is x,y or x,y,z, u takes back a segment, Enter ends.");
        if (!pts_.empty()) {
            Entity e;
            e.type = "LINE";
            e.pts = {pts_.back(), p};
            lines_.push_back(s.add_entity(std::move(e)).id);
        }
        pts_.push_back(p);
        return Feed::More;
    }

private:
    std::vector<Vec3> pts_;
    std::vector<std::uint64_t> lines_;
};

class Poly3D : public CommandMachine {
public:
    std::string prompt() const override
    {
        if (pts_.empty())
            return "Specify start point of polyline:";
        return pts_.size() < 3 ? "Specify endpoint of line or [Undo]:" : "Specify endpoint of line or [Close/Undo]:";
    }
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
                s.add_entity(std::move(e));
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
            return refuse(s, "3DPOLY: invalid vertex \"" + (t.kind == Token::Word ? t.text : std::string()) +
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
    std::string prompt() const override { return "Enter default object color [BYLAYER/BYBLOCK] (1-255):"; }
    Feed feed(Session &s, const Token &t) override
    {
        if (is_enter(t))
            return Feed::Done;
        int c;
        if (t.kind != Token::Word || !parse_colour(t.text, c))
            return refuse(s, "COLOR: invalid colour \"" + (t.kind == Token::Word ? t.text : std::string()) +
                                    "\"; give 1 to 255, BYLAYER or BYBLOCK.");
        s.drawing().current_colour = c;
        return Feed::Done;
    }
};

class LayerCmd : public CommandMachine {
public:
    std::string prompt() const override
    {
        switch (state_) {
        case Option: return "Enter an option [Make/Set/New/Color/ON/OFF]:";
        case MakeName: return "Enter name for new layer (becomes the current layer):";
        case SetName: return "Enter layer name to make current:";
        case NewName: return "Enter name list for new layer(s):";
        case ColourValue: return "Enter color number (1-255):";
        case ColourNames: return "Enter name list of layer(s) for color " + std::to_string(colour_) + " <current>:";
        case OnName: return "Enter name list of layer(s) to turn On <current>:";
        case OffName: return "Enter name list of layer(s) to turn Off <current>:";
        }
        return "";
    }
    Feed feed(Session &s, const Token &t) override
    {
        Drawing &d = s.drawing();
        if (t.kind != Token::Word)
            return refuse(s, "LAYER: a name or an option is expected.");
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
                return refuse(s, "LAYER: invalid option \"" + w + "\"; options are Make, Set, New, Color, ON, OFF, Enter ends.");
            return Feed::More;
        }
        case MakeName:
        case SetName:
            if (!w.empty()) {
                if (!valid_layer_name(w))
                    return refuse(s, "LAYER: invalid layer name \"" + w + "\".");
                Layer *l = d.layer(w);
                if (!l) {
                    if (state_ == SetName)
                        return refuse(s, "LAYER: there is no layer \"" + w + "\".");
                    l = &d.make_layer(w);
                }
                d.current_layer = l->name;
            }
            state_ = Option;
            return Feed::More;
        case NewName:
            for (const auto &n : split(w)) {
                if (!valid_layer_name(n))
                    return refuse(s, "LAYER: invalid layer name \"" + n + "\".");
                d.make_layer(n);
            }
            state_ = Option;
            return Feed::More;
        case ColourValue:
            if (!parse_colour(w, colour_) || colour_ == 0 || colour_ == 256)
                return refuse(s, "LAYER: invalid colour \"" + w + "\"; give 1 to 255.");
            state_ = ColourNames;
            return Feed::More;
        case ColourNames:
        case OnName:
        case OffName: {
            std::vector<std::string> names = w.empty() ? std::vector<std::string>{d.current_layer} : split(w);
            for (const auto &n : names) {
                Layer *l = d.layer(n);
                if (!l)
                    return refuse(s, "LAYER: there is no layer \"" + n + "\".");
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
    std::string prompt() const override
    {
        return name_.empty() ? "Enter variable name:" : "Enter new value for " + upper(name_) + ":";
    }
    Feed feed(Session &s, const Token &t) override
    {
        if (t.kind != Token::Word)
            return refuse(s, "SETVAR: a variable name and a value are expected.");
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
            return refuse(s, "SETVAR: " + err);
        return Feed::Done;
    }

private:
    std::string name_;
};

class UcsCmd : public CommandMachine {
public:
    std::string prompt() const override { return "Enter an option [World] <World>:"; }
    Feed feed(Session &s, const Token &t) override
    {
        std::string w = word_of(t);
        if (w.empty() || w == "w" || w == "world")
            return Feed::Done;
        return refuse(s, "UCS: only the world coordinate system is available (Enter or W).");
    }
};

class UndoCmd : public CommandMachine {
public:
    std::string prompt() const override { return "Enter an option [Mark/Back/BEgin/End]:"; }
    Feed feed(Session &s, const Token &t) override
    {
        std::string w = word_of(t);
        if (w == "mark" || w == "m")
            s.undo_mark();
        else if (w == "back" || w == "b")
            s.undo_back();
        else if (!(w == "begin" || w == "be" || w == "end" || w == "e" || w.empty()))
            return refuse(s, "UNDO: only Mark, Back, BEgin and End are available.");
        return Feed::Done;
    }
};

// ---- ERASE, DXFOUT ---------------------------------------------------------------

class EraseCmd : public SelectingCommand {
public:
    using SelectingCommand::SelectingCommand;
    Feed act(Session &s, const std::vector<std::uint64_t> &ids) override
    {
        s.erase(ids);
        return Feed::Done;
    }
};

// dxfout FILE [v VERSION] [entities SELECTION ""] DECIMALS
class DxfoutCmd : public CommandMachine {
public:
    explicit DxfoutCmd(Session &s) : sel_(s) {}
    std::string prompt() const override
    {
        switch (state_) {
        case File: return "Enter file name:";
        case Version: return "Enter version [R12] <R12>:";
        case Selecting: return SELECT_PROMPT;
        case Option: break;
        }
        return "Enter decimal places of accuracy (0 to 16) or [Entities/Version] <6>:";
    }
    Feed feed(Session &s, const Token &t) override
    {
        switch (state_) {
        case File:
            if (t.kind != Token::Word || t.text.empty())
                return refuse(s, "DXFOUT: a file name is expected.");
            path_ = s.native_path(t.text);
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
                return refuse(s, "DXFOUT: version \"" + t.text + "\" is not available; the export is R12 (answer r12).");
            state_ = Option;
            return Feed::More;
        }
        case Selecting: {
            Feed r = sel_.feed(t);
            if (r == Feed::Done) {
                chosen_ = true;
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
            return refuse(s, "DXFOUT: \"" + (t.kind == Token::Word ? t.text : std::string()) +
                                    "\" is not an option; give V, Entities, or the decimal places (0 to 16).");
        // The set chosen is written as it stands: a copy of an export's
        // hundreds of thousands of ids cost page faults of its own.
        std::vector<std::uint64_t> all;
        if (!chosen_)
            for (const auto &e : s.drawing().entities)
                if (!e.erased)
                    all.push_back(e.id);
        try {
            write_dxfout(s.drawing(), chosen_ ? sel_.ids.get() : all, path_, (int)decimals);
        } catch (const DxfError &e) {
            return refuse(s, "DXFOUT: " + e.message);
        }
        return Feed::Done;
    }

private:
    enum { File, Option, Version, Selecting } state_ = File;
    SelectionBuilder sel_;
    std::string path_;
    bool chosen_ = false;
};

// ---- SCRIPT, REDRAW -------------------------------------------------------------

class ScriptCmd : public CommandMachine {
public:
    std::string prompt() const override { return "Enter script file name:"; }
    Feed feed(Session &s, const Token &t) override
    {
        if (t.kind != Token::Word || t.text.empty())
            return refuse(s, "SCRIPT: a file name is expected.");
        return s.script(t.text) ? Feed::Done : Feed::Fail;
    }
};

class RedrawCmd : public CommandMachine {
public:
    Feed start(Session &s) override
    {
        s.redraw();
        return Feed::Done;
    }
    Feed feed(Session &, const Token &) override { return Feed::Done; }
};

// The host's commands.  Commands of other files join them in the same table
// through register_host_command.
const CommandRow HOST_COMMANDS[] = {
    {"3dface", machine<Face3D>, "draws 3D faces of three or four corners",
     "Corners 1 to 4; i before a corner hides the edge that starts there; Enter at the\n"
     "4th corner makes a three-sided face; then the 3rd and 4th corners of the next\n"
     "face; Enter ends."},
    {"point", machine<PointCmd>, "draws a point", "A point, x,y or x,y,z."},
    {"line", machine<LineCmd>, "draws lines from point to point", "Points; u takes back the last segment; Enter ends."},
    {"3dpoly", machine<Poly3D>, "draws a 3D polyline", "Vertices x,y,z; c closes, u drops the last, Enter ends."},
    {"color", machine<ColorCmd>, "sets the colour of new objects", "1 to 255, bylayer, byblock or a colour name."},
    {"colour", machine<ColorCmd>, "same as color", "1 to 255, bylayer, byblock or a colour name."},
    {"layer", machine<LayerCmd>, "makes, sets, colours and switches layers",
     "make NAME (creates, makes current), set NAME, new NAMES, color N NAMES,\n"
     "on NAMES, off NAMES; Enter ends."},
    {"-layer", machine<LayerCmd>, "same as layer", ""},
    {"setvar", machine<SetvarCmd>, "sets a system variable",
     "A variable (CMDECHO, OSMODE, ACADVER, CLAYER, CECOLOR, DRIVEC) and its value."},
    {"ucs", machine<UcsCmd>, "the world coordinate system, the only one there is", "Enter or w."},
    {"undo", machine<UndoCmd>, "marks the drawing, or goes back to the last mark",
     "mark, or back (to the last mark, or without one to the start of the session)."},
    {"erase", machine<EraseCmd>, "erases objects", "A selection; Enter ends it."},
    {"dxfout", machine<DxfoutCmd>, "exports objects to an R12 DXF file",
     "A file, then v and r12, entities and a selection, and the decimal places\n"
     "(Enter: 6); without entities all objects."},
    {"script", machine<ScriptCmd>, "runs a script file's lines next", "A file name (.scr may be left out)."},
    {"redraw", machine<RedrawCmd>, "clears the temporary vectors the add-on drew", ""},
    {"regen", machine<RedrawCmd>, "same as redraw", ""},
};

const bool added = add_commands(HOST_COMMANDS, sizeof HOST_COMMANDS / sizeof *HOST_COMMANDS);

}  // namespace
}  // namespace velmora
