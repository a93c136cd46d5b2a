// selection.h -- selections answered on the command line (selection.cpp):
// all, last, previous, a window or crossing of two corners, a layer or type
// name with wildcards, remove and add, and selection sets the add-on passes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "commandline.h"
#include "session.h"

namespace velmora {

// What a selection asks on the command line.
extern const char *const SELECT_PROMPT;

// The ids a selection chose, read as a std::vector in drawing order: a
// list of its own, or a list it shares.  A set the add-on passes, or the
// previous one, that is chosen whole and still stands is shared rather than
// copied: the add-on's set, the previous selection and the command's choice
// are often the same hundreds of thousands of ids.
struct ChosenIds {
    std::vector<std::uint64_t> own;
    IdList shared;                          // when set, the ids chosen (own unused)
    const std::vector<std::uint64_t> &get() const { return shared ? *shared : own; }
    operator const std::vector<std::uint64_t> &() const { return get(); }
    bool empty() const { return get().empty(); }
    std::size_t size() const { return get().size(); }
    std::vector<std::uint64_t>::const_iterator begin() const { return get().begin(); }
    std::vector<std::uint64_t>::const_iterator end() const { return get().end(); }
};

// Builds a selection set from answers ("all", "w" p1 p2, ...), one token at a
// time; at the empty answer it is done, and the set becomes the "previous".
class SelectionBuilder {
public:
    explicit SelectionBuilder(Session &s) : s_(s) {}
    Feed feed(const Token &t);
    ChosenIds ids;
    IdList list();                          // the ids chosen, to be kept

private:
    Feed corner(const Token &t);
    Feed name(const Token &t);
    Feed picks(const Token &t);
    Feed keyword(const Token &t);
    void apply(std::vector<std::uint64_t> found);
    void apply(const IdList &found);
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
