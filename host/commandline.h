// commandline.h -- the host's command line: the values typed into it, the
// commands in progress that take them one at a time, and the one table of
// the host's commands (commandline.cpp).  The commands themselves are in
// commands.cpp; other files add theirs with register_host_command.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>

#include "drawing.h"

namespace velmora {

class Session;

// One value on the command line: a typed word, a point or a selection set.
struct Token {
    enum Kind { Word, Point, Picks } kind = Word;
    std::string text;          // Word ("" is Enter)
    Vec3 pt;                   // Point
    std::int64_t ss = 0;       // Picks

    static Token word(std::string w) { Token t; t.text = std::move(w); return t; }
    static Token point(Vec3 p) { Token t; t.kind = Point; t.pt = p; return t; }
    static Token picks(std::int64_t s) { Token t; t.kind = Picks; t.ss = s; return t; }
};

// Outcome of feeding one token to a command in progress.
enum class Feed { More, Done, Fail };

// A host command in progress: takes tokens one at a time, so that it can span
// several sds_command calls (the add-on sends "3DFACE", then each corner in
// a call of its own, then Enter).
class CommandMachine {
public:
    virtual ~CommandMachine() = default;
    // Called when the command word has been typed; More to wait for answers.
    virtual Feed start(Session &) { return Feed::More; }
    virtual Feed feed(Session &s, const Token &t) = 0;
};

// The command table: each row a name (lower case) and how to start the
// command.  The host's rows are in commands.cpp; adding a command is one
// row there, {"name", machine<TheMachine>}, or one register_host_command
// call (session.h) from another file.
struct CommandRow {
    const char *name;
    std::unique_ptr<CommandMachine> (*make)(Session &);
};
template <class M>
std::unique_ptr<CommandMachine> machine(Session &s)
{
    if constexpr (std::is_constructible_v<M, Session &>)
        return std::make_unique<M>(s);
    else
        return std::make_unique<M>();
}
// Adds rows to the table (a name registered already keeps its command).
bool add_commands(const CommandRow *rows, std::size_t count);
// The command named `name` (lower case, without a leading "_" or "."), or null.
std::unique_ptr<CommandMachine> make_command(Session &s, const std::string &name);

// A command's refusal of an answer: the message on the command line; Fail.
// The command line fails the run when the answer came from the input, and
// an add-on's sds_command call when it came from there.
Feed refuse(Session &s, const std::string &message);

// Answers: "x,y" or "x,y,z" as a point; a colour 1-255, BYLAYER (256),
// BYBLOCK (0) or a standard colour name.  False when the word is not one.
bool parse_point(const std::string &w, Vec3 &p);
bool token_point(const Token &t, Vec3 &p);
bool parse_colour(const std::string &w, int &c);
// A number as a command-line word: shortest form, "2" rather than "2.0".
std::string number_word(double v);
// "x,y,z" in number words.
std::string point_text(const Vec3 &p);

}  // namespace velmora
