// supervisor.h -- the velmora program's two processes (supervisor.cpp): the
// session runs in a child process that tells its supervisor over a pipe what
// it is doing and how it ended; the supervisor waits for it and turns that
// into the program's exit status and one line of reason.
#pragma once

#include <functional>
#include <string>

#include <sys/types.h>

namespace velmora {

// Runs `session`, which never returns, in a child process and waits for it;
// `cleanup` runs once the session has ended.  The session starts with SIGINT
// held: it lets it through once its own handler is in place.  Returns the program's exit
// status (or ends the program the way a stop signal it got would have).
int supervise(const std::function<void(pid_t supervisor)> &session, const std::function<void()> &cleanup);

// The session's side of the pipe: the outcome, once ("R status reason");
// each add-on call as it starts and "" when it returns; and a report of a
// fatal signal before it takes its course.
void report(int status, const std::string &reason);
void tell_call(const std::string &name);
void catch_fatal_signals();

}  // namespace velmora
