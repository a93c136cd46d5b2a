// main.cpp -- the velmora program: opens a drawing, loads the add-on, runs a
// CAD-style script or an interactive command line, and saves the drawing.
//
// The session runs in a child process under a supervisor (supervisor.cpp)
// and has a private work folder (mkdtemp), removed however it ends.  The
// session dies with the supervisor (PR_SET_PDEATHSIG) and checks that its
// supervisor is still there before it saves; SIGTERM and SIGHUP to the
// supervisor end the session without a save.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <climits>

#include <filesystem>

#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include "files.h"
#include "loader.h"
#include "picture.h"
#include "session.h"
#include "supervisor.h"
#include "terminal.h"

using namespace velmora;

namespace {

const char *USAGE =
    "usage: velmora [DRAWING.dxf] [--points FILE] [-s SCRIPT | -s -] [-o OUT.dxf]\n"
    "               [--png OUT.png] [--drive-c DIR] [--addon PATH] [--help]\n";

const char *HELP =
    "\n"
    "Opens DRAWING (ASCII DXF, R12 to R2018; without it an empty drawing), loads\n"
    "the Velmora add-on and runs a CAD-style command line on it.\n"
    "\n"
    "  --points FILE  draw the survey points of a point file (PNEZD and other\n"
    "                 orders, see the pointfile command) before the script runs.\n"
    "  -s SCRIPT      command-line input from a script file; -s - reads standard\n"
    "                 input.  Each line is command-line input: a blank or the line\n"
    "                 end submits a word, an empty line is Enter.  Add-on commands\n"
    "                 are typed without \"c:\" (velmora, vol, volume); a line in\n"
    "                 parentheses calls a LISP function with literal arguments,\n"
    "                 e.g. (dovrp '(0 0 0) '(1 0 0) '(0 0 0) '(0 1 0)), and prints\n"
    "                 its value.  The host's commands (3dface, line, copy, explode,\n"
    "                 save, quit ...): type help at the command line.\n"
    "                 Without -s the command line is interactive when standard\n"
    "                 input is a terminal (prompts, line editing, history, Tab\n"
    "                 completion); otherwise there is no input.\n"
    "  -o OUT.dxf     save the drawing there at the end, in the version it was\n"
    "                 read in (R12 for a new drawing), also after a failed script\n"
    "                 (what was drawn stays).  Without -o nothing is written.\n"
    "  --png OUT.png  a picture of the final drawing seen from above.\n"
    "  --drive-c DIR  the folder that stands for drive C: in the add-on's fixed\n"
    "                 paths (c:/haldorin/...); default: the current directory.\n"
    "  --addon PATH   the add-on to load; default: velmora.sds beside this program.\n"
    "\n"
    "Exit status: 0 when the whole input ran; non-zero, with a one-line reason on\n"
    "standard error, when the drawing cannot be read, an input line is not\n"
    "understood, an add-on command failed, was cancelled or interrupted, a save\n"
    "fails, or the session was killed.  A failed add-on command is undone.\n"
    "Ctrl-C interrupts the running command and stops a script.\n"
    "\n"
    "Example: triangulate the points of site.dxf and save the terrain:\n"
    "  printf 'velmora\\nall\\n\\n' | velmora site.dxf -s - -o terrain.dxf --png terrain.png\n";

struct Options {
    std::string drawing, script, out, png, drive_c, addon, points;
    bool have_script = false;
};

std::string exe_dir()
{
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return ".";
    buf[n] = '\0';
    std::string p = buf;
    std::size_t slash = p.find_last_of('/');
    return slash == std::string::npos ? "." : p.substr(0, slash);
}

std::string absolute(const std::string &p)
{
    char buf[PATH_MAX];
    if (realpath(p.c_str(), buf))
        return buf;
    if (!p.empty() && p[0] == '/')
        return p;
    if (getcwd(buf, sizeof buf))
        return std::string(buf) + "/" + p;
    return p;
}

// Parses the command line; returns -1 to go on, or an exit status.
int parse(int argc, char **argv, Options &o)
{
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto value = [&](std::string &into) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "velmora: %s needs a value\n%s", a.c_str(), USAGE);
                return false;
            }
            into = argv[++i];
            return true;
        };
        if (a == "--help" || a == "-h") {
            std::fputs(USAGE, stdout);
            std::fputs(HELP, stdout);
            return 0;
        } else if (a == "-s") {
            if (!value(o.script))
                return 2;
            o.have_script = true;
        } else if (a == "-o") {
            if (!value(o.out))
                return 2;
        } else if (a == "--png") {
            if (!value(o.png))
                return 2;
        } else if (a == "--drive-c") {
            if (!value(o.drive_c))
                return 2;
        } else if (a == "--addon") {
            if (!value(o.addon))
                return 2;
        } else if (a == "--points") {
            if (!value(o.points))
                return 2;
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "velmora: unknown option %s\n%s", a.c_str(), USAGE);
            return 2;
        } else if (o.drawing.empty()) {
            o.drawing = a;
        } else {
            std::fprintf(stderr, "velmora: only one drawing can be opened (%s and %s)\n%s", o.drawing.c_str(),
                         a.c_str(), USAGE);
            return 2;
        }
    }
    return -1;
}

// ---- The session (a child process of the supervisor) -------------------------------

void on_interrupt(int) { signal_user_break(); }

// A line of standard input; false at its end.  A Ctrl-C while waiting gives
// back an empty line, so that the session sees the break at once (poll,
// unlike read, is not restarted after the handler).
bool read_stdin_line(std::string &line)
{
    static std::string buf;
    static bool at_end = false;
    line.clear();
    for (;;) {
        std::size_t nl = buf.find('\n');
        if (nl != std::string::npos) {
            line = buf.substr(0, nl + 1);
            buf.erase(0, nl + 1);
            return true;
        }
        if (at_end) {
            line.swap(buf);
            return !line.empty();
        }
        if (user_break_pending())
            return true;
        struct pollfd p {0, POLLIN, 0};
        if (poll(&p, 1, -1) < 0) {
            if (errno == EINTR)
                continue;
            at_end = true;
            continue;
        }
        char chunk[4096];
        ssize_t n = read(0, chunk, sizeof chunk);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            at_end = true;
        else
            buf.append(chunk, (std::size_t)n);
    }
}

// Saves -o and --png when the run succeeded, then reports.  Both files are
// made ready first; they are put in place with the stop signals held back,
// and only while the supervisor is still there, so that a run that is being
// stopped never replaces a file, and a report of success means both are in
// place.
void finish_run(Session &s, const Options &o, pid_t supervisor)
{
    if (s.failed()) {
        report(1, s.failure_reason());
        return;
    }
    PreparedFile files[2];
    try {
        if (!o.out.empty())
            files[0] = prepare_file(o.out, [&](ByteSink &out) { write_dxf(s.drawing(), out); });
        if (!o.png.empty())
            files[1] = prepare_file(o.png, png_image(s.drawing(), s.overlay()));
    } catch (const DxfError &e) {
        for (auto &f : files)
            discard_file(f);
        report(1, e.message);
        return;
    }
    sigset_t stops, old, pending;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGHUP);
    sigaddset(&stops, SIGINT);
    sigprocmask(SIG_BLOCK, &stops, &old);
    sigpending(&pending);
    bool orphan = getppid() != supervisor;
    bool stopping = sigismember(&pending, SIGTERM) || sigismember(&pending, SIGHUP);
    bool interrupted = sigismember(&pending, SIGINT) || user_break_pending();
    if (orphan || stopping || interrupted) {
        for (auto &f : files)
            discard_file(f);
        if (orphan)
            _exit(1);
        report(1, stopping ? "stopped by a signal before the save" : "interrupted (Ctrl-C) before the save");
    } else {
        try {
            for (auto &f : files)
                commit_file(f);
            report(0, "");
        } catch (const DxfError &e) {
            for (auto &f : files)
                discard_file(f);
            report(1, e.message);
        }
    }
    sigprocmask(SIG_SETMASK, &old, nullptr);
}

[[noreturn]] void session(const Options &o, const std::string &work_dir, pid_t supervisor)
{
    // Gone with the supervisor, whichever way it ends.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != supervisor)
        _exit(1);
    struct sigaction sa {};
    sa.sa_handler = on_interrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigset_t interrupts;   // held since the fork; one that came meanwhile arrives now
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigprocmask(SIG_UNBLOCK, &interrupts, nullptr);
    catch_fatal_signals();

    Session s;
    s.set_output(stdout);
    s.set_drive_c(absolute(o.drive_c.empty() ? "." : o.drive_c));
    s.set_work_dir(work_dir);
    s.set_call_observer(tell_call);
    s.set_file_name(!o.out.empty() ? o.out : o.drawing);

    if (!o.drawing.empty()) {
        try {
            s.set_drawing(load_dxf(o.drawing));
        } catch (const DxfError &e) {
            report(1, e.message);
            _exit(1);
        }
    }

    // The point file is read as the script's first command would be; when it
    // fails the script does not run, and the failure names the option.
    if (!o.points.empty() && !s.command({"pointfile", o.points, ""})) {
        s.set_failure("--points " + o.points + ": " + s.last_error());
    }
    if (o.have_script && o.script != "-") {
        std::ifstream script_file(o.script, std::ios::binary);
        if (!script_file) {
            report(1, "cannot read the script " + o.script + ": " + std::strerror(errno));
            _exit(1);
        }
        std::stringstream ss;
        ss << script_file.rdbuf();
        s.input(ss.str());
    } else if (o.have_script && o.script == "-") {
        s.set_input_source(read_stdin_line, "");
    } else if (isatty(0)) {
        // Typed at a terminal: line editing, history and completion.
        terminal_start(s);
        s.set_input_source(terminal_read_line, "\nCommand: ");
    }

    std::string addon = o.addon.empty() ? exe_dir() + "/velmora.sds" : o.addon;
    bool ended = false;
    auto at_end = [&]() {
        ended = true;
        if (!o.have_script && isatty(0))
            terminal_end();
        s.end_line();
        std::fflush(stdout);
        finish_run(s, o, supervisor);
    };
    std::string err;
    if (!run_addon(addon, at_end, err)) {
        report(1, err);
        _exit(1);
    }
    std::fflush(stdout);
    if (!ended)
        report(1, "the add-on left its request loop before the end of the input");
    _exit(0);
}

}  // namespace

int main(int argc, char **argv)
{
    Options o;
    int r = parse(argc, argv, o);
    if (r >= 0)
        return r;
    // A target that is not a regular file is refused before anything runs
    // (and again at the save).
    for (const std::string *path : {&o.out, &o.png}) {
        if (path->empty())
            continue;
        try {
            save_target(*path);
        } catch (const DxfError &e) {
            std::fprintf(stderr, "velmora: %s\n", e.message.c_str());
            return 2;
        }
    }

    // The session's private work folder, removed however the session ends.
    const char *tmp = std::getenv("TMPDIR");
    std::string work_dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/velmora-XXXXXX";
    if (!mkdtemp(&work_dir[0])) {
        std::fprintf(stderr, "velmora: cannot make a work folder in %s: %s\n", tmp && *tmp ? tmp : "/tmp",
                     std::strerror(errno));
        return 1;
    }
    work_dir = absolute(work_dir);
    return supervise([&](pid_t supervisor) { session(o, work_dir, supervisor); },
                     [&] {
                         std::error_code ec;
                         std::filesystem::remove_all(work_dir, ec);
                     });
}
