// session_impl.h -- the inside of a Session, shared by the files that make up
// the host's session: the command line (commands.cpp), the sds_* calls
// (sds.cpp), LISP values (lisp.cpp) and the session itself (session.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <set>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "session.h"
#include "text.h"

struct resbuf;

namespace velmora {

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

// A LISP value as the host passes it to and from the add-on.
struct LispValue {
    enum Kind { Nil, T, Int, Real, Str, List, Ename, Picks, Void } kind = Nil;
    long long i = 0;
    double r = 0;
    std::string s;
    std::vector<LispValue> items;   // List

    static LispValue integer(long long v) { LispValue x; x.kind = Int; x.i = v; return x; }
    static LispValue real(double v) { LispValue x; x.kind = Real; x.r = v; return x; }
    static LispValue str(std::string v) { LispValue x; x.kind = Str; x.s = std::move(v); return x; }
    static LispValue list(std::vector<LispValue> v) { LispValue x; x.kind = List; x.items = std::move(v); return x; }
    static LispValue point(const double *p, int n);
};

// A LISP call parsed from text: the function name (lower case) and its
// literal arguments.
struct LispCall {
    std::string name;
    std::vector<LispValue> args;
};

// Parses "(name arg ...)"; throws LispError with a message.
struct LispError { std::string message; };
LispCall parse_lisp_call(const std::string &text);
std::string lisp_print(const LispValue &v);
std::string format_real(double v);            // shortest text that reads back the same
// Arguments become one flat resbuf list (lists as RTLB ... RTLE); a list of
// two or three numbers is a point.  The caller releases it with sds_relrb.
resbuf *lisp_to_resbuf(const std::vector<LispValue> &args);
// A resbuf list (as given to sds_retlist) read back as a list value.
LispValue lisp_from_resbuf(const resbuf *rb);
resbuf *new_resbuf(int type);
resbuf *copy_resbuf_list(const resbuf *rb);
// Whether a resbuf of this type holds a malloc'ed text (RTSTR and the DXF
// text groups of sds_entget lists).
bool resbuf_has_text(int type);

// Outcome of feeding one token to a command in progress.
enum class Feed { More, Done, Fail };

// A host command in progress: takes tokens one at a time, so that it can span
// several sds_command calls.
class CommandMachine {
public:
    virtual ~CommandMachine() = default;
    // Called when the command word has been typed; More to wait for answers.
    virtual Feed start(Session &) { return Feed::More; }
    virtual Feed feed(Session &s, const Token &t) = 0;
};

// Builds a selection set from answers ("all", "w" p1 p2, ...).
class SelectionBuilder {
public:
    explicit SelectionBuilder(Session &s) : s_(s) {}
    Feed feed(const Token &t);              // Done at the empty answer
    std::vector<std::uint64_t> ids;         // in drawing order
private:
    void apply(const std::vector<std::uint64_t> &found);
    Session &s_;
    bool removing_ = false;
    enum { Idle, Corner1, Corner2, LayerName, TypeName } state_ = Idle;
    bool crossing_ = false;
    Vec3 c1_;
};

// Makes the machine of the host command `name` (lower case), or null.
std::unique_ptr<CommandMachine> make_host_command(Session &s, const std::string &name);
bool is_host_command(const std::string &name);

// Reads "x,y" or "x,y,z"; false when the word is not a point.
bool parse_point(const std::string &w, Vec3 &p);
std::string point_text(const Vec3 &p);
// Type and layer patterns: comma-separated names with * and ? wildcards,
// case-insensitive; an empty pattern matches everything.
bool entity_matches(const Entity &e, const std::string &type_pattern, const std::string &layer_pattern);
// Turns a path the add-on or a script names ("c:/dir/f", "c:\\dir\\f") into
// a native one: drive C: is the session's drive-c folder, backslashes become
// slashes.
std::string native_path(Session &s, const std::string &path);
// Sets a system variable from its text; false with a message in `err`.
bool set_variable(Session &s, const std::string &name, const std::string &value, std::string &err);
// Adds an entity on the current layer in the current colour.
Entity &add_entity(Session &s, Entity e);

struct SelectionSet {
    std::vector<std::uint64_t> ids;
};

struct Session::Impl {
    Drawing drawing;
    std::string drive_c = ".";
    std::string work_dir;                  // TEMPPREFIX without its trailing slash; "" when unset

    // Unread input in script form, and where more comes from when it runs out.
    std::string input;
    std::size_t pos = 0;
    std::size_t input_base = 0;            // characters dropped before input[0]
    // Where each script started at the command line ends, counted like
    // input_base + pos, innermost last; with the scripts an add-on command
    // runs at once (immediate_scripts) they make the nesting depth.
    std::vector<std::size_t> script_ends;
    int immediate_scripts = 0;
    int line_no = 1;
    std::function<bool(std::string &)> more_input;
    std::string interactive_prompt;        // printed before reading a line when set

    // Output.
    std::string out;
    std::FILE *echo = nullptr;             // when set, output goes there instead

    std::vector<std::string> log;
    std::vector<Overlay> overlay;
    std::map<std::string, int> functions;  // as registered (lower case)
    std::vector<std::pair<std::string, int>> defun_log;
    std::set<std::string> defun_fails;
    std::function<void(int)> dispatch;

    // The command line.
    std::unique_ptr<CommandMachine> active;
    std::string active_name;
    int sds_command_depth = 0;
    std::deque<Token> *pending = nullptr; // tokens of the sds_command being run

    // The add-on call in progress.
    int funcode = 0;
    bool in_lisp_call = false;
    resbuf *args = nullptr;
    LispValue result;                     // Nil when no result function was called
    bool result_set = false;
    // How the call in progress goes: set by sds_fail, by a *cancel* answered
    // at one of its prompts and by Ctrl-C; the first cause is kept.
    enum class CallEnd { Ok, Failed, Cancelled, Interrupted };
    CallEnd call_end = CallEnd::Ok;
    std::string call_failure;             // sds_fail's reason
    std::string call_name;                // the command or function called
    bool call_is_lisp = false;
    int call_line = 0;
    bool failed_before_call = false;
    std::function<void(const std::string &)> call_observer;

    // Prompts.
    int initget_bits = 0;
    bool user_break = false;
    int break_after_polls = -1;
    bool took_break = false;              // the word just read stands for a Ctrl-C

    // Selection sets and variables.
    std::map<std::int64_t, SelectionSet> sets;
    std::int64_t next_set = 1;
    std::vector<std::uint64_t> previous;
    std::map<std::string, std::string> vars;   // upper-case name -> text value

    // Undo: a mark is the state to go back to.  Entities are only ever
    // added at the end or erased (logged), so counts and the log's length
    // are enough to restore it.
    struct Mark {
        std::size_t entity_count = 0;
        std::size_t layer_count = 0;
        std::size_t erase_log_size = 0;
        std::size_t overlay_count = 0;
        std::size_t mark_count = 0;       // "undo mark"s taken before it
        std::string layer = "0";
        int colour = 256;
    };
    std::vector<Mark> marks;              // "undo mark", innermost last
    std::vector<std::uint64_t> erase_log;
    Mark start_mark;                      // the drawing as the session got it
    Mark call_mark;                       // before the add-on call in progress

    bool failed = false;
    std::string failure;
    std::string last_error;
    int word_line = 1;                    // line of the word read last
    char last_char = '\n';                // last character printed
    int funcode_in_call = 0;              // non-zero while an add-on call runs
    Session *previous_session = nullptr;

    // Reads the next input word; false at the end of all input.  After a
    // Ctrl-C the word is "*cancel*" and took_break is set.
    bool next_input_word(std::string &w);
    // Puts text in front of the unread input (scripts open around it grow).
    void insert_input(const std::string &text);
    // Drops what is left of the input (the rest of the line, open scripts).
    void drop_unread_input();
    // How deep scripts are nested at the current word.
    int script_depth();
    Mark mark_now() const;
    // Back to the mark: "undo back", and a failed add-on call.
    void roll_back(const Mark &mk);
    // The next answer: from the sds_command being run, else from the input.
    bool next_token(Token &t);
    void out_text(const std::string &text);
    // Marks the run failed (the first reason stays).
    void fail(const std::string &reason);
    // Prints a message on the command line, keeps it as last_error; Fail.
    Feed error(const std::string &message);
    bool feed_tokens(Session &s, std::deque<Token> &q);
    Feed feed_line(Session &s, const Token &t);
    void begin_call(int code, bool lisp, resbuf *call_args, const std::string &name);
    std::string call_title() const;       // "the command vol", "the function colfe"
    std::string end_call();               // the result in LISP form ("" for void)
    // Marks the call in progress failed (the first cause stays).
    void fail_call(CallEnd how, const std::string &reason = "");
    // After end_call: a call that failed is undone and fails the run.
    void conclude_call();
};

// The program's side of sds_link (loader.cpp): the first call answers the
// load request, later ones run the session to the next add-on call.
int link_request(Session &s, int reply);
// Ctrl-C: safe to call from a signal handler.
void signal_user_break();
// Whether a Ctrl-C waits to be taken, and taking it.
bool user_break_pending();
bool take_user_break();
// The add-on's file, as SDS_GetGlobals gives it.
void set_module_path(const std::string &path);

}  // namespace velmora
