// session_impl.h -- the inside of a Session, for the session's own files:
// the session itself (session.cpp), its input (input.cpp), the command line
// (commandline.cpp), add-on calls (calls.cpp), selections (selection.cpp),
// system variables (variables.cpp), prompts (prompts.cpp) and the sds_*
// calls (sds.cpp).  Commands use Session's public calls instead.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "commandline.h"
#include "lisp_values.h"
#include "session.h"

struct resbuf;

namespace velmora {

// How the session's own files reach its inside.
struct SessionInside {
    using Impl = Session::Impl;
    static Impl &of(Session &s) { return *s.p_; }
    static const Impl &of(const Session &s) { return *s.p_; }
    // The current session's inside, or null when there is no session.
    static Impl *current();
};

struct Session::Impl {
    Drawing drawing;

    // ---- The input (input.cpp) ------------------------------------------------
    // Unread input in script form, and where more comes from when it runs out.
    struct Input {
        std::string text;
        std::size_t pos = 0;
        std::size_t base = 0;                // characters dropped before text[0]
        // Where each script started at the command line ends, counted like
        // base + pos, innermost last; with the scripts an add-on command
        // runs at once (immediate_scripts) they make the nesting depth.
        std::vector<std::size_t> script_ends;
        int immediate_scripts = 0;
        int line_no = 1;
        int word_line = 1;                   // line of the word read last
        // Where more lines come from: given the prompt when it shows the
        // prompt itself (source_prompts), else given "".
        std::function<bool(const std::string &, std::string &)> more;
        bool source_prompts = false;
        std::string idle_prompt;             // printed before reading a line when set
        std::string asking;                  // the prompt of the command in progress
        // asking is to be the prompt of line.active, asked for when it is
        // shown: the add-on feeds millions of tokens to host commands, and
        // none of their prompts is ever shown.
        bool asking_active = false;
        // Where the LISP calls of host commands (push_call) start, counted
        // like base + pos: their values are not printed.
        std::vector<std::size_t> quiet_calls;
        bool took_break = false;             // the word just read stands for a Ctrl-C
    } in;

    // ---- The output -----------------------------------------------------------
    struct Output {
        std::string kept;                    // for take_output()
        std::FILE *echo = nullptr;           // when set, output goes there instead
        char last_char = '\n';               // last character printed
        // Progress lines (text with a CR and no LF, which a terminal
        // overwrites in place) into a file or pipe: at most one a second is
        // written; the last one waits here until other text comes.
        int echo_is_terminal = -1;           // -1: not asked yet
        std::string progress;
        double progress_written_at = -1e9;   // seconds, steady clock
    } out;

    // ---- The command line (commandline.cpp) ------------------------------------
    struct CommandLine {
        std::unique_ptr<CommandMachine> active;   // the host command in progress
        std::string active_name;
        std::string command_word;                 // the word feed_line looks up, folded
        int sds_command_depth = 0;
        TokenQueue *pending = nullptr;            // tokens of the sds_command being run
        // The tokens of sds_command, one queue per depth of calls (a command
        // it runs may call the add-on, which may call sds_command again),
        // kept for the next call: the add-on makes millions of them, and a
        // new queue allocates.  A deque of queues, so that those in use stay
        // where they are when a deeper one is added.
        std::deque<TokenQueue> sds_queues;
        std::vector<std::string> log;             // sds_command calls, for tests
    } line;

    // ---- Add-on functions and the call in progress (calls.cpp) ------------------
    struct Calls {
        std::map<std::string, int> functions;     // as registered (lower case)
        std::vector<std::pair<std::string, int>> defun_log;
        std::set<std::string> defun_fails;
        std::function<void(int)> dispatch;
        std::function<void(const std::string &)> observer;

        int funcode = 0;                          // sds_getfuncode
        int in_call = 0;                          // non-zero while an add-on call runs
        bool lisp = false;                        // the call is a LISP function's
        bool quiet = false;                       // a host command's own call: no value printed
        resbuf *args = nullptr;
        LispValue result;                         // Nil when no result function was called
        bool result_set = false;
        // How the call in progress goes: set by sds_fail, by a *cancel*
        // answered at one of its prompts and by Ctrl-C; the first cause is kept.
        enum class End { Ok, Failed, Cancelled, Interrupted };
        End end = End::Ok;
        std::string failure;                      // sds_fail's reason
        std::string name;                         // the command or function called
        int line = 0;
        bool failed_before = false;
    } call;

    // ---- Prompts and Ctrl-C (prompts.cpp) ---------------------------------------
    int initget_bits = 0;
    bool user_break = false;
    int break_after_polls = -1;

    // ---- Selection sets (selection.cpp) -----------------------------------------
    std::map<std::int64_t, IdList> sets;
    std::int64_t next_set = 1;
    IdList previous;                          // null before the first selection

    // ---- System variables (variables.cpp) ---------------------------------------
    std::map<std::string, std::string> vars;  // upper-case name -> text value
    std::string drive_c = ".";
    std::string work_dir;                     // TEMPPREFIX without its trailing slash; "" when unset
    std::string file_name;                    // where `save` writes

    // ---- Undo (session.cpp) -----------------------------------------------------
    // A mark is the state to go back to.  Entities are only ever added at the
    // end or erased (logged), so counts and the log's length are enough to
    // restore it.
    struct Mark {
        std::size_t entity_count = 0;
        std::size_t layer_count = 0;
        std::size_t erase_log_size = 0;
        std::size_t overlay_count = 0;
        std::size_t mark_count = 0;           // "undo mark"s taken before it
        std::string layer = "0";
        int colour = 256;
    };
    std::vector<Mark> marks;                  // "undo mark", innermost last
    // The ids erased, in order; a run of consecutive ids erased by one call
    // is two entries, its first id with erase_run set and how many.  An
    // erase of a whole drawing's faces is then a few entries, not one each.
    static constexpr std::uint64_t erase_run = std::uint64_t(1) << 63;
    std::vector<std::uint64_t> erase_log;
    Mark start_mark;                          // the drawing as the session got it
    Mark call_mark;                           // before the add-on call in progress

    std::vector<Overlay> overlay;

    // ---- The run's outcome ------------------------------------------------------
    bool failed = false;
    std::string failure;
    std::string last_error;
    Session *previous_session = nullptr;

    // input.cpp: the next input word; false at the end of all input.  After a
    // Ctrl-C the word is "*cancel*" and in.took_break is set.
    bool next_input_word(std::string &w);
    bool input_ready(std::string &w, bool &broke);
    std::size_t lisp_word(std::size_t p, std::string &w);
    // Puts text in front of the unread input (scripts open around it grow).
    void insert_input(const std::string &text);
    // Drops what is left of the input (the rest of the line, open scripts).
    void drop_unread_input();
    // How deep scripts are nested at the current word.
    int script_depth();
    // Answers are typed at an interactive command line: prompts are shown,
    // and a bad answer typed there is asked again.
    bool interactive() const { return !in.idle_prompt.empty() && in.more != nullptr; }
    bool typing_answers();
    // The next answer: from the sds_command being run, else from the input.
    bool next_token(Token &t);
    bool run_script(Session &s, const std::string &name);

    // commandline.cpp: tokens run through the command line as one
    // sds_command call does; one token into the command line.
    bool feed_tokens(Session &s, TokenQueue &q);
    Feed feed_line(Session &s, const Token &t);
    // feed_line's rarer turns, apart so that its usual one -- a token for
    // the command in progress -- stays short: a word that starts a command,
    // and "*cancel*" to the command in progress.
    [[gnu::noinline]] Feed start_command(Session &s, const Token &t);
    [[gnu::noinline]] Feed cancel_command();

    // calls.cpp
    void begin_call(int code, bool lisp, resbuf *call_args, const std::string &name);
    std::string call_title() const;       // "the command vol", "the function colfe"
    std::string end_call();               // the result in LISP form ("" for void)
    // Marks the call in progress failed (the first cause stays).
    void fail_call(Calls::End how, const std::string &reason = "");
    // After end_call: a call that failed is undone and fails the run.
    void conclude_call();
    // Starts the call of a LISP expression (from the input or call_lisp) and
    // gives its function's code; false when it cannot be called (the run has
    // failed, with the reason).
    bool start_lisp_call(const std::string &expr, bool need_dispatch, int &code);

    // session.cpp
    void out_text(const std::string &text);
    void write_out(const std::string &text);
    // Marks the run failed (the first reason stays).
    void fail(const std::string &reason);
    // Prints a message on the command line, keeps it as last_error; Fail.
    Feed error(const std::string &message);
    Mark mark_now() const;
    // Back to the mark: "undo back", and a failed add-on call.
    void roll_back(const Mark &mk);
};

// The program's side of sds_link (loader.cpp): the first call answers the
// load request, later ones run the session to the next add-on call.
int link_request(Session &s, int reply);
// Taking a Ctrl-C that waits (sds.cpp).
bool take_user_break();
// The add-on's file, as SDS_GetGlobals gives it.
void set_module_path(const std::string &path);

}  // namespace velmora
