// terminal.cpp -- the interactive command line on a terminal, through GNU
// readline's callback interface: the program waits in poll() rather than
// inside readline, so that a Ctrl-C (whose handler only sets a flag) ends
// the wait at once, as it does for the plain reader of standard input.
#include "terminal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <poll.h>
#include <readline/history.h>
#include <readline/readline.h>

#include "commandline.h"
#include "session.h"

namespace velmora {

namespace {

Session *g_session = nullptr;
std::vector<std::string> g_names;   // what the first word of a line completes to
std::string g_history;              // the history file; "" when there is none
const int HISTORY_LINES = 1000;

std::string *g_line = nullptr;
bool g_done = false, g_eof = false;

char *next_name(const char *text, int state)
{
    static std::size_t i;
    static std::size_t len;
    if (state == 0) {
        i = 0;
        len = std::strlen(text);
    }
    while (i < g_names.size()) {
        const std::string &n = g_names[i++];
        if (n.compare(0, len, text) == 0)
            return strdup(n.c_str());
    }
    return nullptr;
}

// The first word of a line is a command; later words are answers, which are
// most often file names (readline's own completion).
char **complete(const char *text, int start, int)
{
    for (int i = 0; i < start; i++)
        if (rl_line_buffer[i] != ' ' && rl_line_buffer[i] != '\t')
            return nullptr;
    rl_attempted_completion_over = 1;
    // No blank after a command: a blank submits a word, and with the line
    // end after it would answer the command's first prompt with Enter.
    rl_completion_append_character = '\0';
    // The add-on registers its commands once it is loaded: asked each time.
    g_names = command_names();
    for (const auto &[name, code] : g_session->functions()) {
        (void)code;
        if (name.compare(0, 2, "c:") == 0)
            g_names.push_back(name.substr(2));
    }
    return rl_completion_matches(text, next_name);
}

void on_line(char *l)
{
    if (!l) {
        g_eof = true;
    } else {
        *g_line = l;
        if (*l)
            add_history(l);
        std::free(l);
    }
    g_done = true;
    rl_callback_handler_remove();
}

}  // namespace

void terminal_start(Session &s)
{
    g_session = &s;
    rl_catch_signals = 0;          // Ctrl-C stays the session's (a flag, then poll ends)
    rl_readline_name = "velmora";
    rl_attempted_completion_function = complete;
    using_history();
    stifle_history(HISTORY_LINES);
    if (const char *home = std::getenv("HOME"); home && *home) {
        g_history = std::string(home) + "/.velmora_history";
        read_history(g_history.c_str());
    }
}

bool terminal_read_line(const std::string &prompt, std::string &line)
{
    line.clear();
    g_line = &line;
    g_done = g_eof = false;
    rl_callback_handler_install(prompt.c_str(), on_line);
    while (!g_done) {
        if (user_break_pending()) {
            rl_free_line_state();
            rl_callback_sigcleanup();
            rl_callback_handler_remove();
            std::fputs("\n", rl_outstream ? rl_outstream : stdout);
            line.clear();
            return true;
        }
        struct pollfd p {0, POLLIN, 0};
        if (poll(&p, 1, -1) < 0) {
            if (errno == EINTR)
                continue;
            rl_callback_handler_remove();
            return false;
        }
        rl_callback_read_char();
    }
    if (g_eof)
        return false;
    line += '\n';
    return true;
}

void terminal_end()
{
    if (!g_history.empty())
        write_history(g_history.c_str());
}

}  // namespace velmora
