// session.h -- one CAD session of the host: the drawing, the command line the
// add-on and the user type into, prompts and selections answered from the
// input, LISP calls, the temporary vectors, and the bookkeeping behind the
// sds_* calls (which always act on the current session).
//
// The same session serves the velmora program (the add-on is loaded with
// dlopen and runs its request loop, the session running inside sds_link) and
// in-process tests (the add-on's objects are linked in and the session calls
// their handlers through set_dispatch).
//
// Commands reach the session through the public calls below.  Its inside
// (session_impl.h) belongs to the session's own files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "drawing.h"

namespace velmora {

// Entity ids in drawing order, shared by whoever keeps them (a selection set,
// the previous selection) and never changed.
using IdList = std::shared_ptr<const std::vector<std::uint64_t>>;

class Session {
public:
    Session();                 // an empty drawing; becomes the current session
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    static Session *current();

    // ---- For commands ----------------------------------------------------------

    Drawing &drawing();
    // Adds an entity on the current layer in the current colour (the layer is
    // made when missing) and returns the stored entity.
    Entity &add_entity(Entity e);
    // The same for a new, empty entity of `type`, made in its place in the
    // drawing (an add-on draws millions of faces, and each Entity moved in
    // cost as much as filling it).
    Entity &add_entity(const Name &type);
    // Erases the entities (those already erased stay as they are); "undo
    // back" and a failed add-on call bring them back.
    void erase(const std::vector<std::uint64_t> &ids);
    // The next input word (false at the end of the input), and a selection
    // answered from the input like sds_ssget's.
    bool next_word(std::string &word);
    // The same, asking `prompt` ("Specify interval:") first when a line has
    // to be typed at an interactive command line.
    bool next_word(std::string &word, const std::string &prompt);
    bool select(const std::string &prompt, std::vector<std::uint64_t> &ids);
    bool select(const std::string &prompt, IdList &ids);
    // Prints on the command line (and so into take_output()).
    void print(const std::string &text);
    // A host command's failure: prints the message on the command line and
    // fails the run with it.  Returns false, so a command can `return
    // s.error("...")`.
    bool error(const std::string &message);
    // Puts text in front of the unread input, to be read next as if the
    // script had said it.
    void push_input(const std::string &text);
    // A LISP call put in front of the unread input, made for a host command
    // that ends by calling the add-on: its value is not printed, as the
    // command reports its own outcome.
    void push_call(const std::string &expr);
    // Whether answers are typed at an interactive command line (a terminal),
    // where prompts are shown and a bad answer is asked again.
    bool interactive() const;
    // The file `save` writes (the -o target, or the drawing opened); "" when
    // there is none.
    const std::string &file_name() const;
    void set_file_name(const std::string &path);
    // Tokens typed into the command line (as sds_command does, without the
    // log); false when a command failed.
    bool command(const std::vector<std::string> &words);
    // A path the add-on or a script names ("c:/dir/f", "c:\\dir\\f") as a
    // native one: drive C: is the session's drive-c folder, backslashes
    // become slashes.
    std::string native_path(const std::string &path) const;
    // "undo mark", and "undo back": to the last mark, or without one to the
    // drawing as the session got it.
    void undo_mark();
    void undo_back();
    // Clears the temporary vectors (sds_grdraw).
    void redraw();
    // Runs the script file named (as typed): its lines come next in the input
    // when typed at the command line, or run at once on a command line of
    // their own inside an add-on call.  False, with the command line told
    // why, when it cannot be read, nests too deep or stopped at an error.
    bool script(const std::string &name);

    // ---- For the program and the tests ----------------------------------------

    void set_drawing(Drawing d);
    // Folder that stands for drive C: of the add-on's fixed paths (host variable DRIVEC).
    void set_drive_c(const std::string &dir);
    // The session's private folder for work files (read-only host variable
    // TEMPPREFIX, which gives it with a trailing slash; empty when unset).
    void set_work_dir(const std::string &dir);

    // Input in script form, appended to what is still unread.  Each line is
    // command-line input: a blank or the line end submits a word, a LISP
    // expression in parentheses is one word, an empty line is Enter.
    void input(const std::string &script_text);
    // Called for another line of input whenever the unread input runs out
    // (an interactive command line or a script read line by line); it returns
    // false at the end.  `idle_prompt` is printed before each line read while
    // no command is in progress.
    void set_input_source(std::function<bool(std::string &line)> more,
                          const std::string &idle_prompt = "");
    // The same for a source that shows the prompt itself (a line editor): it
    // is given the prompt's last line; the lines before it are printed.
    void set_input_source(std::function<bool(const std::string &prompt, std::string &line)> more,
                          const std::string &idle_prompt);

    // Runs the unread input to its end.  A word naming an add-on command or
    // LISP function (registered with sds_defun) calls dispatch(code); the
    // value a LISP function returns is printed in LISP form on its own line.
    // Returns false when something failed (an unknown command, a bad answer,
    // a file that could not be read or written); the run stops there.
    bool run();
    // The velmora program's side of sds_link: runs input until the next word
    // naming an add-on function and returns its code, or -1 at the end.
    int step();
    // After the handler of that function returned: print a LISP result.
    void finish_call();
    // In-process use: how to call the add-on's handler of a function code.
    void set_dispatch(std::function<void(int)> fn);
    // Calls a LISP expression with literal arguments, such as
    // "(dovrp '(1 0 0) '(0 1 0))", and returns its value in LISP form
    // ("(0.0 0.0 1.0)", "T", "nil", "\"text\"", "12", "3.5").
    std::string call_lisp(const std::string &expr);
    // Told each add-on call as it starts ("the command vol", "the function
    // colfe"), and "" when it has returned: the velmora program passes this
    // on to its supervisor, which names the call if the session dies in it.
    void set_call_observer(std::function<void(const std::string &call)> fn);

    // Where the program's output goes: when set, everything printed is
    // written to that stream at once instead of being kept for take_output().
    void set_output(std::FILE *stream);
    // Everything printed (sds_printf and the host's own messages) since the
    // last call.
    std::string take_output();
    // Ends the line printed last, unless it has ended.
    void end_line();

    // Whether something has failed during run() (sticky until reset_failure).
    bool failed() const;
    void reset_failure();
    // Why the run failed, in one line such as "line 3: unknown command \"FOO\"";
    // empty while nothing failed.
    const std::string &failure_reason() const;
    // Fails the run with this reason, in place of any reason before.
    void set_failure(const std::string &reason);
    // The message of the command that failed last ("" when none has).
    const std::string &last_error() const;

    // Ctrl-C: sds_usrbrk reports it (once) from then on.
    void set_user_break(bool on);
    // Test seam: the user break comes on at the n-th sds_usrbrk poll from now.
    void set_user_break_after(int polls);

    // The temporary vectors drawn with sds_grdraw, gone at the next sds_redraw.
    const std::vector<Overlay> &overlay() const;
    // Each sds_command call, its values joined by blanks, points as x,y,z,
    // selection sets as "<ss>", Enter as "\"\"" -- for tests.
    const std::vector<std::string> &command_log() const;
    // The registered add-on names and their codes; registration as the add-on
    // did it (lower-case names, in order); and a test seam that makes
    // sds_defun of one name fail.
    const std::map<std::string, int> &functions() const;
    const std::vector<std::pair<std::string, int>> &defun_log() const;
    void fail_defun(const std::string &name);

private:
    friend struct SessionInside;   // the session's own files (session_impl.h)
    friend struct SessionAccess;   // the in-process tests (tests/support)
    struct Impl;
    std::unique_ptr<Impl> p_;
};

// A command of the host that the add-on does not provide, callable from
// scripts by name (case-insensitive).  It reads its answers with the session's
// prompts; returns false on failure.  Host files register theirs at start-up;
// they join the host's command table (commandline.h).
// `summary` is its line in `help`, `answers` what `help NAME` adds.
using HostCommand = std::function<bool(Session &)>;
void register_host_command(const std::string &name, HostCommand fn, const std::string &summary = "",
                           const std::string &answers = "");

// Ctrl-C: safe to call from a signal handler.  The session takes it at its
// next input word or sds_usrbrk poll.
void signal_user_break();
// Whether a Ctrl-C waits to be taken.
bool user_break_pending();

}  // namespace velmora
