// inquiry.cpp -- LIST (each selected entity's DXF groups) and EXTENTS (the
// box around the drawing).  They only print.
#include <cstdio>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "commandline.h"
#include "dxf_out.h"
#include "selection.h"
#include "session.h"
#include "text.h"

namespace velmora {
namespace {

// An entity's groups: as read from its file, or as a save would write one the
// session made (in R12 form, without a handle yet).
std::vector<std::pair<int, std::string>> groups_of(const Entity &e)
{
    std::vector<std::pair<int, std::string>> pairs;
    if (!e.raw.empty()) {
        for (const DxfPair &p : e.raw)
            pairs.emplace_back(p.code, std::string(p.value()));
        return pairs;
    }
    Out o;
    o.padded = false;
    Form f;
    if (!write_entity(o, e, f))
        return pairs;
    std::istringstream in(o.text);
    std::string code, value;
    while (std::getline(in, code) && std::getline(in, value)) {
        long long c = 0;
        parse_int(trim(code), c);
        pairs.emplace_back((int)c, value);
    }
    return pairs;
}

std::string colour_name(int c)
{
    if (c == 256) return "BYLAYER";
    if (c == 0) return "BYBLOCK";
    return std::to_string(c);
}

class ListCmd : public SelectingCommand {
public:
    using SelectingCommand::SelectingCommand;
    Feed act(Session &s, const std::vector<std::uint64_t> &ids) override
    {
        std::string text;
        for (auto id : ids) {
            const Entity *e = s.drawing().find(id);
            if (!e || e->erased)
                continue;
            text += "\n" + e->type.str() + "  layer " + e->layer.str() + "  colour " + colour_name(e->colour);
            if (!e->handle.empty())
                text += "  handle " + std::string(e->handle);
            text += "\n";
            char code[16];
            for (const auto &p : groups_of(*e)) {
                std::snprintf(code, sizeof code, "%6d  ", p.first);
                text += code + p.second + "\n";
            }
        }
        if (text.empty())
            text = "\nLIST: nothing selected.\n";
        s.print(text);
        return Feed::Done;
    }
};

// A size for people: ten significant digits, so that 30408.888 is not
// printed as the 30408.888000000035 the subtraction gives.
std::string size_text(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

class ExtentsCmd : public CommandMachine {
public:
    Feed start(Session &s) override
    {
        const Drawing &d = s.drawing();
        bool any = false;
        for (const auto &e : d.entities)
            any |= !e.erased && !e.pts.empty();
        if (!any) {
            s.print("\nExtents: the drawing has no objects with a position the host models.\n");
            return Feed::Done;
        }
        Vec3 lo, hi;
        d.extents(lo, hi);
        s.print("\nExtents: " + point_text(lo) + " to " + point_text(hi) + " (" + size_text(hi.x - lo.x) + " by " +
                size_text(hi.y - lo.y) + ")\n");
        return Feed::Done;
    }
    Feed feed(Session &, const Token &) override { return Feed::Done; }
};

const CommandRow ROWS[] = {
    {"list", machine<ListCmd>, "prints each selected object's DXF groups", "A selection; Enter ends it."},
    {"extents", machine<ExtentsCmd>, "prints the box around the drawing's objects", ""},
};

const bool added = add_commands(ROWS, sizeof ROWS / sizeof *ROWS);

}  // namespace
}  // namespace velmora
