// main.cpp -- the velmora program: opens a drawing, loads the add-on, runs a
// CAD-style script or an interactive command line, and saves the drawing.
//
// The add-on ends its process itself (exit(1)) when the session is over, so the
// session runs in a child process and this process only supervises it:
//
//   parent ── fork ──► child: load drawing, dlopen add-on, SDS_EntryPoint
//     │                  session runs inside sds_link ... end of input:
//     │                  save (-o, --png), write the outcome to the pipe,
//     │◄── pipe ─────────answer the add-on with a negative value → exit(1)
//   waitpid: exit 0 or non-zero from the outcome; a crash is reported as one.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <functional>
#include <string>
#include <climits>

#include <sys/wait.h>
#include <unistd.h>

#include "loader.h"
#include "session.h"
#include "session_impl.h"

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
    "                 its value.  Host commands: 3dface, point, line, 3dpoly,\n"
    "                 layer, color, erase, dxfout, script, setvar, ucs, undo, redraw,\n"
    "                 surfcross, pointfile, contour, landxml.\n"
    "                 Without -s the command line is interactive when standard\n"
    "                 input is a terminal; otherwise there is no input.\n"
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
    "understood, a save fails or the add-on crashed.  Ctrl-C interrupts a running\n"
    "add-on command.\n"
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

int g_report_fd = -1;

// The child's outcome, written once to the parent: status digit, then reason.
void report(int status, const std::string &reason)
{
    if (g_report_fd < 0)
        return;
    std::string msg = std::to_string(status) + "\n" + reason;
    const char *p = msg.data();
    std::size_t left = msg.size();
    while (left > 0) {
        ssize_t n = write(g_report_fd, p, left);
        if (n <= 0)
            break;
        p += n;
        left -= (std::size_t)n;
    }
    close(g_report_fd);
    g_report_fd = -1;
}

void on_interrupt(int) { signal_user_break(); }

volatile pid_t g_child = 0;

// The supervisor hands Ctrl-C on to the session (a terminal sends it to both;
// the break flag is the same either way).
void forward_interrupt(int)
{
    if (g_child > 0)
        kill(g_child, SIGINT);
}

[[noreturn]] void child(const Options &o)
{
    struct sigaction sa {};
    sa.sa_handler = on_interrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;   // an interactive line being read goes on
    sigaction(SIGINT, &sa, nullptr);

    Session s;
    s.set_output(stdout);
    s.set_drive_c(absolute(o.drive_c.empty() ? "." : o.drive_c));

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
        Session::Impl &m = s.impl();
        m.failed = true;
        m.failure = "--points " + o.points + ": " + m.last_error;
    }

    std::ifstream script_file;
    if (o.have_script && o.script != "-") {
        script_file.open(o.script, std::ios::binary);
        if (!script_file) {
            report(1, "cannot read the script " + o.script + ": " + std::strerror(errno));
            _exit(1);
        }
        std::stringstream ss;
        ss << script_file.rdbuf();
        s.input(ss.str());
    } else if ((o.have_script && o.script == "-") || isatty(0)) {
        bool interactive = !o.have_script;
        s.set_input_source(
            [](std::string &line) {
                if (!std::getline(std::cin, line))
                    return false;
                line += '\n';
                return true;
            },
            interactive ? "\nCommand: " : "");
    }

    std::string addon = o.addon.empty() ? exe_dir() + "/velmora.sds" : o.addon;
    bool ended = false;
    auto at_end = [&]() {
        ended = true;
        if (s.impl().last_char != '\n')
            s.print("\n");
        std::string reason = s.failed() ? s.failure_reason() : "";
        int status = s.failed() ? 1 : 0;
        // The drawing and the picture are written whatever happened before;
        // a failure here fails the session, with the first reason kept.
        auto write = [&](const std::string &path, const std::function<void()> &fn) {
            if (path.empty())
                return;
            try {
                fn();
                return;
            } catch (const DxfError &e) {
                if (!status || reason.empty())
                    reason = e.message;
            } catch (const std::exception &e) {
                if (!status || reason.empty())
                    reason = path + ": " + e.what();
            }
            status = 1;
        };
        write(o.out, [&] { save_dxf(s.drawing(), o.out); });
        write(o.png, [&] { draw_png(s.drawing(), s.overlay(), o.png); });
        std::fflush(stdout);
        report(status, reason);
    };
    std::string err;
    if (!run_addon(s, addon, at_end, err)) {
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

    int fds[2];
    if (pipe(fds) != 0) {
        std::perror("velmora: pipe");
        return 1;
    }
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid < 0) {
        std::perror("velmora: fork");
        return 1;
    }
    if (pid == 0) {
        close(fds[0]);
        g_report_fd = fds[1];
        child(o);
    }
    close(fds[1]);
    // Ctrl-C is for the session (it interrupts the add-on); the supervisor stays.
    g_child = pid;
    struct sigaction sa {};
    sa.sa_handler = forward_interrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);

    std::string msg;
    char buf[4096];
    for (;;) {
        ssize_t n = read(fds[0], buf, sizeof buf);
        if (n > 0) {
            msg.append(buf, (std::size_t)n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    close(fds[0]);
    int st = 0;
    while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(st)) {
        std::fprintf(stderr, "velmora: the add-on crashed (%s); nothing was saved\n", strsignal(WTERMSIG(st)));
        return 3;
    }
    if (msg.empty()) {
        std::fprintf(stderr, "velmora: the session ended early (exit status %d); nothing was saved\n",
                     WIFEXITED(st) ? WEXITSTATUS(st) : -1);
        return 3;
    }
    std::size_t nl = msg.find('\n');
    int status = std::atoi(msg.substr(0, nl).c_str());
    std::string reason = nl == std::string::npos ? "" : msg.substr(nl + 1);
    if (status != 0) {
        std::fprintf(stderr, "velmora: %s\n", reason.empty() ? "the session failed" : reason.c_str());
        return status;
    }
    return 0;
}
