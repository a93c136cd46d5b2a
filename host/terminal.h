// terminal.h -- the interactive command line on a terminal (terminal.cpp):
// line editing, history and completion of command names through GNU
// readline.  Used only when standard input is a terminal.
#pragma once

#include <string>

namespace velmora {

class Session;

// Starts line editing for the session: completion of the host's commands
// and the add-on's (the first word of a line) and of file names (the
// others); the history of earlier sessions from ~/.velmora_history.
void terminal_start(Session &s);
// A line typed at `prompt`, with its line end; false at the end of the
// input (Ctrl-D on an empty line).  A Ctrl-C while typing gives back an
// empty line at once, so that the session takes the break.
bool terminal_read_line(const std::string &prompt, std::string &line);
// Keeps the history for the next session.
void terminal_end();

}  // namespace velmora
