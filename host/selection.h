// selection.h -- selections answered on the command line (selection.cpp):
// all, last, previous, a window or crossing of two corners, a layer or type
// name with wildcards, remove and add, and selection sets the add-on passes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "commandline.h"

namespace velmora {

// What a selection asks on the command line.
extern const char *const SELECT_PROMPT;

// Builds a selection set from answers ("all", "w" p1 p2, ...), one token at a
// time; at the empty answer it is done, and the set becomes the "previous".
class SelectionBuilder {
public:
    explicit SelectionBuilder(Session &s) : s_(s) {}
    Feed feed(const Token &t);
    std::vector<std::uint64_t> ids;         // in drawing order

private:
    Feed corner(const Token &t);
    Feed name(const Token &t);
    Feed picks(const Token &t);
    Feed keyword(const Token &t);
    void apply(std::vector<std::uint64_t> found);
    Session &s_;
    bool removing_ = false;
    enum { Idle, Corner1, Corner2, LayerName, TypeName } state_ = Idle;
    bool crossing_ = false;
    Vec3 c1_;
};

// A command that asks for a selection and then acts on it (erase, explode,
// list): act() is called with the entities chosen once the selection ends.
class SelectingCommand : public CommandMachine {
public:
    explicit SelectingCommand(Session &s) : sel_(s) {}
    std::string prompt() const override { return SELECT_PROMPT; }
    Feed feed(Session &s, const Token &t) override
    {
        Feed r = sel_.feed(t);
        return r == Feed::Done ? act(s, sel_.ids) : r;
    }

protected:
    virtual Feed act(Session &s, const std::vector<std::uint64_t> &ids) = 0;

private:
    SelectionBuilder sel_;
};

// Type and layer patterns: comma-separated names with * and ? wildcards,
// case-insensitive; an empty pattern matches everything.
bool entity_matches(const Entity &e, const std::string &type_pattern, const std::string &layer_pattern);

}  // namespace velmora
