// main.cpp -- the velmora program: opens a drawing, loads the add-on, runs a
// CAD-style script or an interactive command line, and saves the drawing.
//
// The add-on ends its process itself (exit(1)) when the session is over, so the
// session runs in a child process and this process only supervises it:
//
//   supervisor: private work folder (mkdtemp), pipe, fork
//     │  └──► session: load drawing, dlopen add-on, SDS_EntryPoint; the
//     │         session runs inside sds_link ... end of input: when nothing
//     │         failed, save (-o, --png), then report; the add-on ends it
//     │◄── pipe: "C name" / "E" around each add-on call, "F sig code pid"
//     │          from a fatal signal's handler, "R status reason" at the end
//   waitpid, remove the work folder, exit with the reported status or a
//   reason built from how the session ended.
//
// The session dies with the supervisor (PR_SET_PDEATHSIG) and checks that
// its supervisor is still there before it saves; SIGTERM and SIGHUP to the
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

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "files.h"
#include "loader.h"
#include "picture.h"
#include "session.h"

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

// ---- The session's side ---------------------------------------------------------

int g_report_fd = -1;

// One line to the supervisor.  Plain write(2): also called from a signal handler.
void tell(const char *text, std::size_t len)
{
    while (len > 0 && g_report_fd >= 0) {
        ssize_t n = write(g_report_fd, text, len);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        text += n;
        len -= (std::size_t)n;
    }
}

void tell(std::string line)
{
    for (auto &c : line)
        if (c == '\n')
            c = ' ';
    line += '\n';
    tell(line.data(), line.size());
}

// The outcome, once: status, then the reason on the same line.
void report(int status, const std::string &reason) { tell("R " + std::to_string(status) + " " + reason); }

void on_interrupt(int) { signal_user_break(); }

const int FATAL_SIGNALS[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP, SIGSYS};
struct sigaction g_old_fatal[65];

// A fatal signal in the session: tell the supervisor which, how it was raised
// (si_code > 0: a fault of the process itself) and by whom, then hand it on
// to what was there before (the sanitizers' report) or die of it.
void on_fatal(int sig, siginfo_t *info, void *ctx)
{
    char buf[96];
    std::size_t n = 0;
    auto put = [&](long v) {
        char digits[24];
        int k = 0;
        bool neg = v < 0;
        unsigned long u = neg ? 0UL - (unsigned long)v : (unsigned long)v;
        do {
            digits[k++] = (char)('0' + u % 10);
            u /= 10;
        } while (u);
        buf[n++] = ' ';
        if (neg)
            buf[n++] = '-';
        while (k)
            buf[n++] = digits[--k];
    };
    buf[n++] = 'F';
    put(sig);
    put(info ? info->si_code : 0);
    put(info ? (long)info->si_pid : 0);
    buf[n++] = '\n';
    tell(buf, n);
    const struct sigaction &old = g_old_fatal[sig];
    if ((old.sa_flags & SA_SIGINFO) && old.sa_sigaction)
        old.sa_sigaction(sig, info, ctx);
    else if (!(old.sa_flags & SA_SIGINFO) && old.sa_handler != SIG_DFL && old.sa_handler != SIG_IGN)
        old.sa_handler(sig);
    signal(sig, SIG_DFL);
    raise(sig);
}

void catch_fatal_signals()
{
    // Its own stack, so that a stack overflow is reported too.
    static char alt[64 * 1024];
    stack_t cur{};
    if (sigaltstack(nullptr, &cur) == 0 && (cur.ss_flags & SS_DISABLE)) {
        stack_t st{};
        st.ss_sp = alt;
        st.ss_size = sizeof alt;
        sigaltstack(&st, nullptr);
    }
    for (int sig : FATAL_SIGNALS) {
        struct sigaction sa {};
        sa.sa_sigaction = on_fatal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
        sigaction(sig, &sa, &g_old_fatal[sig]);
    }
}

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
            files[0] = prepare_file(o.out, dxf_text(s.drawing()));
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
    catch_fatal_signals();

    Session s;
    s.set_output(stdout);
    s.set_drive_c(absolute(o.drive_c.empty() ? "." : o.drive_c));
    s.set_work_dir(work_dir);
    s.set_call_observer([](const std::string &name) { tell(name.empty() ? "E" : "C " + name); });

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
    } else if ((o.have_script && o.script == "-") || isatty(0)) {
        bool interactive = !o.have_script;
        s.set_input_source(read_stdin_line, interactive ? "\nCommand: " : "");
    }

    std::string addon = o.addon.empty() ? exe_dir() + "/velmora.sds" : o.addon;
    bool ended = false;
    auto at_end = [&]() {
        ended = true;
        s.end_line();
        std::fflush(stdout);
        finish_run(s, o, supervisor);
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

// ---- The supervisor -------------------------------------------------------------

volatile pid_t g_child = 0;
volatile std::sig_atomic_t g_stop_signal = 0;

// The supervisor hands Ctrl-C on to the session (a terminal sends it to both;
// the break flag is the same either way).
void forward_interrupt(int)
{
    if (g_child > 0)
        kill(g_child, SIGINT);
}

// SIGTERM or SIGHUP: the session ends too, without saving.
void on_stop(int sig)
{
    if (!g_stop_signal)
        g_stop_signal = sig;
    if (g_child > 0)
        kill(g_child, SIGTERM);
}

std::string signal_text(int sig)
{
    const char *name = strsignal(sig);
    return "signal " + std::to_string(sig) + (name ? " (" + std::string(name) + ")" : "");
}

// What the session told the supervisor.
struct Story {
    bool reported = false;
    int status = 0;
    std::string reason;
    std::string in_call;          // the add-on call in progress, if any
    int fault = 0, fault_code = 0;
    long fault_pid = 0;
};

Story read_story(const std::string &text)
{
    Story st;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty())
            continue;
        char kind = line[0];
        std::string rest = line.size() > 2 ? line.substr(2) : "";
        if (kind == 'C') {
            st.in_call = rest;
        } else if (kind == 'E') {
            st.in_call.clear();
        } else if (kind == 'F' && !st.fault) {
            std::istringstream f(rest);
            f >> st.fault >> st.fault_code >> st.fault_pid;
        } else if (kind == 'R' && !st.reported) {
            st.reported = true;
            std::size_t sp = rest.find(' ');
            st.status = std::atoi(rest.substr(0, sp).c_str());
            st.reason = sp == std::string::npos ? "" : rest.substr(sp + 1);
        }
    }
    return st;
}

// Why a session that sent no report ended, as plainly as we can tell: a
// fatal signal the process raised itself (a fault, an abort) is a crash, of
// the add-on when one of its calls was running; a signal from elsewhere is a
// kill, whoever sent it.
std::string how_it_ended(const Story &st, int wait_status, pid_t child)
{
    std::string during = st.in_call.empty() ? "" : " during " + st.in_call;
    if (st.fault) {
        bool own = st.fault_code > 0 || st.fault_pid == (long)child;
        if (own && !st.in_call.empty())
            return "the add-on crashed in " + st.in_call + ": " + signal_text(st.fault);
        if (own)
            return "the session crashed: " + signal_text(st.fault);
        return "the session was killed by " + signal_text(st.fault) + " sent by process " +
               std::to_string(st.fault_pid) + during;
    }
    if (WIFSIGNALED(wait_status))
        return "the session was killed by " + signal_text(WTERMSIG(wait_status)) + during;
    int code = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
    if (!st.in_call.empty())
        return "the add-on ended the session (exit status " + std::to_string(code) + ")" + during;
    return "the session ended early (exit status " + std::to_string(code) + ")";
}

// Reads the session's pipe to its end.  After a stop signal the session has
// a few seconds to go before it is killed.
std::string read_pipe(int fd, pid_t child, int &wait_status, bool &reaped)
{
    std::string text;
    char buf[4096];
    int waited_ms = 0;
    for (;;) {
        struct pollfd p {fd, POLLIN, 0};
        int r = poll(&p, 1, 200);
        if (r > 0) {
            ssize_t n = read(fd, buf, sizeof buf);
            if (n > 0) {
                text.append(buf, (std::size_t)n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            return text;   // the end: every writer has gone
        }
        if (r < 0 && errno != EINTR)
            return text;
        if (g_stop_signal) {
            waited_ms += 200;
            if (waited_ms >= 3000)
                kill(child, SIGKILL);
        }
        if (!reaped && waitpid(child, &wait_status, WNOHANG) == child) {
            // The session is gone although something it started may still
            // hold the pipe: take what is there and stop.
            reaped = true;
            fcntl(fd, F_SETFL, O_NONBLOCK);
            ssize_t n;
            while ((n = read(fd, buf, sizeof buf)) > 0)
                text.append(buf, (std::size_t)n);
            return text;
        }
    }
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
    auto remove_work_dir = [&] {
        std::error_code ec;
        std::filesystem::remove_all(work_dir, ec);
    };

    struct sigaction sa {};
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sa.sa_handler = on_stop;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    // Ctrl-C is for the session (it interrupts the add-on); the supervisor stays.
    sa.sa_handler = forward_interrupt;
    sigaction(SIGINT, &sa, nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        std::perror("velmora: pipe");
        remove_work_dir();
        return 1;
    }
    std::fflush(stdout);
    // Held back over the fork, so that each process has its own way with
    // them before one can arrive.
    sigset_t stops, old_mask;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGHUP);
    sigprocmask(SIG_BLOCK, &stops, &old_mask);
    pid_t supervisor = getpid();
    pid_t pid = fork();
    if (pid < 0) {
        std::perror("velmora: fork");
        remove_work_dir();
        return 1;
    }
    if (pid == 0) {
        close(fds[0]);
        g_report_fd = fds[1];
        signal(SIGTERM, SIG_DFL);
        signal(SIGHUP, SIG_DFL);
        sigprocmask(SIG_SETMASK, &old_mask, nullptr);
        session(o, work_dir, supervisor);
    }
    close(fds[1]);
    g_child = pid;
    sigprocmask(SIG_SETMASK, &old_mask, nullptr);
    int st = 0;
    bool reaped = false;
    Story story = read_story(read_pipe(fds[0], pid, st, reaped));
    close(fds[0]);
    while (!reaped && waitpid(pid, &st, 0) < 0 && errno == EINTR) {
    }
    remove_work_dir();

    if (g_stop_signal && !(story.reported && story.status == 0)) {
        // Stopped from outside: end the way the signal would have ended us.
        std::fprintf(stderr, "velmora: stopped by %s; nothing was saved\n", signal_text(g_stop_signal).c_str());
        std::fflush(stderr);
        signal(g_stop_signal, SIG_DFL);
        raise(g_stop_signal);
        return 128 + g_stop_signal;
    }
    if (!story.reported) {
        std::fprintf(stderr, "velmora: %s; nothing was saved\n", how_it_ended(story, st, pid).c_str());
        return 3;
    }
    if (story.status != 0) {
        std::fprintf(stderr, "velmora: %s\n", story.reason.empty() ? "the session failed" : story.reason.c_str());
        return story.status;
    }
    return 0;
}
