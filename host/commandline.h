// commandline.h -- the host's command line: the values typed into it, the
// commands in progress that take them one at a time, and the one table of
// the host's commands (commandline.cpp).  The commands themselves are in
// commands.cpp; other files add theirs with register_host_command.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

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

// Tokens waiting for the command line, taken from the front: a vector and
// the position of the next one.  A token taken stays where it is until the
// queue is cleared, so that the command line reads it in place, and the
// queue of sds_command keeps its memory from call to call: a cleared queue
// keeps its tokens, which add() makes over (a deque took and gave back a
// block of its own every few tokens, and the add-on sends millions of them).
class TokenQueue {
public:
    bool empty() const { return next_ == size_; }
    Token &front() { return items_[next_]; }
    Token &take() { return items_[next_++]; }
    void pop_front() { next_++; }
    void push_back(Token t) { add() = std::move(t); }
    Token &add()   // a new, empty token at the end
    {
        if (size_ == items_.size()) {
            size_++;
            return items_.emplace_back();
        }
        Token &t = items_[size_++];
        t.kind = Token::Word;
        t.text.clear();
        t.pt = Vec3{};
        t.ss = 0;
        return t;
    }
    // A word at the end.  The token made over keeps its text when that is
    // the word already: the add-on sends the same words in the same places
    // call after call ("3DFACE", "i", Enter), and a compare costs less than
    // the copy.
    Token &add_word(std::string_view w)
    {
        Token &t = size_ == items_.size() ? items_.emplace_back() : items_[size_];
        size_++;
        t.kind = Token::Word;
        if (t.text != w)
            t.text.assign(w.data(), w.size());
        t.pt = Vec3{};
        t.ss = 0;
        return t;
    }
    void clear() { size_ = next_ = 0; }

private:
    std::vector<Token> items_;
    std::size_t size_ = 0, next_ = 0;
};

// Outcome of feeding one token to a command in progress.
enum class Feed { More, Done, Fail };

// A host command in progress: takes tokens one at a time, so that it can span
// several sds_command calls (the add-on sends "3DFACE", then each corner in
// a call of its own, then Enter).
class CommandMachine {
public:
    virtual ~CommandMachine() = default;
    // Commands start and end hundreds of thousands of times (an add-on's
    // 3DFACE for each piece it draws): the blocks of a few that ended are
    // kept for the next ones (commandline.cpp).
    static void *operator new(std::size_t size);
    static void operator delete(void *p, std::size_t size);
    // Called when the command word has been typed; More to wait for answers.
    virtual Feed start(Session &) { return Feed::More; }
    virtual Feed feed(Session &s, const Token &t) = 0;
    // What the command asks for next, in the CAD form ("Specify next point
    // or [Undo]:"): shown on an interactive command line before a line is read.
    virtual std::string prompt() const { return ""; }
};

// The command table: each row a name (lower case) and how to start the
// command.  The host's rows are in commands.cpp; adding a command is one
// row there, {"name", machine<TheMachine>}, or one register_host_command
// call (session.h) from another file.  `summary` is the one line `help`
// lists; `answers` what `help NAME` adds about the command's answers.
struct CommandRow {
    const char *name;
    std::unique_ptr<CommandMachine> (*make)(Session &);
    const char *summary;
    const char *answers;
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
// The names in the table, in order (for completion).
std::vector<std::string> command_names();
// The command named `name` (lower case, without a leading "_" or "."), or null.
std::unique_ptr<CommandMachine> make_command(Session &s, const std::string &name);

// A command's refusal of an answer: the message on the command line.  Typed
// at an interactive command line, the rest of the typed line is dropped and
// the same prompt is asked again (More: the command's state must be as
// before the answer).  Otherwise Fail: the command line fails the run when
// the answer came from the input (a script stops at that line, with the
// message as the reason), an add-on's sds_command call when it came from there.
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
