// loader.h -- loading the add-on into the velmora program and running the
// session inside its request loop.
#pragma once

#include <functional>
#include <string>

namespace velmora {

// Loads the add-on file with dlopen and calls its SDS_EntryPoint.  The session
// runs inside the add-on's sds_link calls; at the end of the input `at_end`
// runs (save the drawing, report the outcome) and the add-on is told to end,
// which it does by ending the process.  Returns only when the add-on could not
// be loaded (false, `err` says why) or returned from its entry (true).
bool run_addon(const std::string &path, std::function<void()> at_end, std::string &err);

}  // namespace velmora
