// copy.cpp -- COPY and MOVE: a selection, a base point, and a second point
// or a displacement.
//
//   copy layer TRIANG  0,0,0 0,0,2     the TRIANG faces raised by 2
//   move all  d 10,0                   everything 10 to the east
//
// Enter at the second point takes the base point itself as the displacement.
// A move is a copy whose originals are erased: the drawing only ever grows
// at its end or loses entities, which is what undo and a failed command's
// roll-back rely on.
#include <string>
#include <vector>

#include "commandline.h"
#include "editing.h"
#include "selection.h"
#include "session.h"
#include "text.h"

namespace velmora {

bool carried_by_fields(const Entity &e)
{
    if (e.type == "TEXT")
        return e.raw.empty();
    return (e.type == "POINT" || e.type == "LINE" || e.type == "3DFACE" || e.type == "POLYLINE") && !e.pts.empty();
}

Entity moved_copy(const Entity &e, const Vec3 &by)
{
    Entity c = e;
    c.raw = DxfGroups();
    c.handle = {};
    c.erased = false;
    c.id = 0;
    for (auto &p : c.pts) {
        p.x += by.x;
        p.y += by.y;
        p.z += by.z;
    }
    return c;
}

namespace {

class CopyMove : public CommandMachine {
public:
    CopyMove(Session &s, bool move) : sel_(s), move_(move) {}

    std::string prompt() const override
    {
        switch (state_) {
        case Selecting: return SELECT_PROMPT;
        case Base: return "Specify base point or [Displacement] <Displacement>:";
        case Displacement: return "Specify displacement <0,0,0>:";
        case Second: return "Specify second point or <use first point as displacement>:";
        }
        return "";
    }

    Feed feed(Session &s, const Token &t) override
    {
        const char *name = move_ ? "MOVE" : "COPY";
        switch (state_) {
        case Selecting: {
            Feed r = sel_.feed(t);
            if (r != Feed::Done)
                return r;
            if (sel_.ids.empty()) {
                s.print("\n" + std::string(name) + ": nothing selected.\n");
                return Feed::Done;
            }
            state_ = Base;
            return Feed::More;
        }
        case Base: {
            std::string w = t.kind == Token::Word ? lower(t.text) : "";
            if (t.kind == Token::Word && (w.empty() || w == "d" || w == "displacement")) {
                state_ = Displacement;
                return Feed::More;
            }
            if (!token_point(t, base_))
                return refuse(s, std::string(name) + ": invalid base point; a point is x,y or x,y,z, or d for a displacement.");
            state_ = Second;
            return Feed::More;
        }
        case Displacement: {
            Vec3 by;
            if (t.kind == Token::Word && t.text.empty())
                return finish(s, by);
            if (!token_point(t, by))
                return refuse(s, std::string(name) + ": invalid displacement; give x,y or x,y,z.");
            return finish(s, by);
        }
        case Second: {
            if (t.kind == Token::Word && t.text.empty())
                return finish(s, base_);
            Vec3 p;
            if (!token_point(t, p))
                return refuse(s, std::string(name) + ": invalid second point; a point is x,y or x,y,z, Enter uses the base point as the displacement.");
            return finish(s, Vec3{p.x - base_.x, p.y - base_.y, p.z - base_.z});
        }
        }
        return Feed::Done;
    }

private:
    Feed finish(Session &s, const Vec3 &by)
    {
        Drawing &d = s.drawing();
        std::vector<std::uint64_t> done;
        int left = 0;
        for (auto id : sel_.ids) {
            const Entity *e = d.find(id);
            if (!e || e->erased)
                continue;
            if (!carried_by_fields(*e)) {
                left++;
                continue;
            }
            Entity c = moved_copy(*e, by);   // before add_entity, which may move *e
            std::string layer = c.layer;
            int colour = c.colour;
            Entity &added = s.add_entity(std::move(c));
            added.layer = layer;
            added.colour = colour;
            done.push_back(id);
        }
        if (move_)
            s.erase(done);
        std::string text = "\n" + std::to_string(done.size()) + (done.size() == 1 ? " object " : " objects ") +
                           (move_ ? "moved" : "copied") + " by " + point_text(by);
        if (left)
            text += "; " + std::to_string(left) + " of a type that cannot be " + (move_ ? "moved" : "copied") +
                    " here (only POINT, LINE, 3DFACE, POLYLINE and TEXT made in the session) stayed as they were";
        s.print(text + ".\n");
        return Feed::Done;
    }

    enum { Selecting, Base, Displacement, Second } state_ = Selecting;
    SelectionBuilder sel_;
    bool move_;
    Vec3 base_;
};

struct CopyCmd : CopyMove {
    explicit CopyCmd(Session &s) : CopyMove(s, false) {}
};
struct MoveCmd : CopyMove {
    explicit MoveCmd(Session &s) : CopyMove(s, true) {}
};

const CommandRow ROWS[] = {
    {"copy", machine<CopyCmd>, "copies objects by a displacement, on their own layers and in their colours",
     "A selection (Enter ends it), a base point and a second point, or d and a\n"
     "displacement; Enter at the second point uses the base point as the displacement.\n"
     "Example: copy layer TRIANG  0,0,0 0,0,2 (two blanks: the empty answer ends the selection)."},
    {"move", machine<MoveCmd>, "moves objects by a displacement",
     "As copy: a selection, a base point and a second point, or d and a displacement."},
};

const bool added = add_commands(ROWS, sizeof ROWS / sizeof *ROWS);

}  // namespace
}  // namespace velmora
