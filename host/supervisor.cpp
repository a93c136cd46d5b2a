// supervisor.cpp -- the velmora program's two processes.
//
// The add-on ends its process itself (exit(1)) when the session is over, so the
// session runs in a child process and the program's first process only
// supervises it:
//
//   supervisor: pipe, fork
//     │  └──► session (main.cpp): load drawing, dlopen add-on, SDS_EntryPoint;
//     │         the session runs inside sds_link ... end of input: when
//     │         nothing failed, save (-o, --png), then report; the add-on ends it
//     │◄── pipe: "C name" / "E" around each add-on call, "F sig code pid"
//     │          from a fatal signal's handler, "R status reason" at the end
//   waitpid, clean up, exit with the reported status or a reason built from
//   how the session ended.
//
// SIGTERM and SIGHUP to the supervisor end the session too, without a save;
// Ctrl-C is handed on to the session.
#include "supervisor.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora {

namespace {

// ---- The session's side of the pipe -------------------------------------------------

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

// ---- The supervisor's side ----------------------------------------------------------

volatile pid_t g_child = 0;
volatile std::sig_atomic_t g_stop_signal = 0;

// The supervisor hands a SIGINT sent to it alone on to the session.  A
// Ctrl-C at the terminal (si_code SI_KERNEL) reaches the session itself:
// handed on as well, it would arrive twice, and the second could cancel
// what the session does after taking the first.
void forward_interrupt(int, siginfo_t *info, void *)
{
    if (g_child > 0 && !(info && info->si_code == SI_KERNEL))
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

// The outcome, once: status, then the reason on the same line.
void report(int status, const std::string &reason) { tell("R " + std::to_string(status) + " " + reason); }

void tell_call(const std::string &name) { tell(name.empty() ? "E" : "C " + name); }

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

int supervise(const std::function<void(pid_t supervisor)> &session, const std::function<void()> &cleanup)
{
    struct sigaction sa {};
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sa.sa_handler = on_stop;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    // Ctrl-C is for the session (it interrupts the add-on); the supervisor stays.
    sa.sa_flags = SA_RESTART | SA_SIGINFO;
    sa.sa_sigaction = forward_interrupt;
    sigaction(SIGINT, &sa, nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        std::perror("velmora: pipe");
        cleanup();
        return 1;
    }
    std::fflush(stdout);
    // Held back over the fork, so that each process has its own way with
    // them before one can arrive.  A Ctrl-C is held too: let through before
    // g_child is set, the supervisor would have no one to hand it to, and
    // the session would run on and save.
    sigset_t stops, old_mask;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGHUP);
    sigaddset(&stops, SIGINT);
    sigprocmask(SIG_BLOCK, &stops, &old_mask);
    pid_t supervisor = getpid();
    pid_t pid = fork();
    if (pid < 0) {
        std::perror("velmora: fork");
        cleanup();
        return 1;
    }
    if (pid == 0) {
        close(fds[0]);
        g_report_fd = fds[1];
        signal(SIGTERM, SIG_DFL);
        signal(SIGHUP, SIG_DFL);
        // Ctrl-C stays held until the session has its own handler for it,
        // so that an early one waits for it instead of being lost.
        sigset_t held = old_mask;
        sigaddset(&held, SIGINT);
        sigprocmask(SIG_SETMASK, &held, nullptr);
        session(supervisor);
        _exit(1);   // not reached: the session ends its process
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
    cleanup();

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

}  // namespace velmora
