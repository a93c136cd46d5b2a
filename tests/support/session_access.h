// session_access.h -- the in-process tests' one way into a Session's inside: the outcome of the add-on call in
// progress, which the add-on's own tests check after calling its functions directly.
#pragma once

#include "session.h"

namespace velmora {

struct SessionAccess {
    // Whether the call in progress has been failed (sds_fail, a *cancel* at one of its prompts, Ctrl-C).
    static bool call_failed(Session &s);
    // Forgets that, so that the next check starts afresh.
    static void forget_call_failure(Session &s);
    // How many selection sets the session holds.
    static std::size_t selection_sets(Session &s);
};

}  // namespace velmora
