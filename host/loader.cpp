// loader.cpp -- the add-on in the velmora program: dlopen, SDS_EntryPoint, and
// the requests sds_link answers while the session runs.
//
//   host                       add-on
//   run_addon ─► SDS_EntryPoint ─► request_loop
//                 sds_link(1)  ◄─   100 load: sds_defun ...
//                 sds_link(1)  ◄─   102 run: handler, sds_* calls ...
//                 sds_link(1)  ◄─   < 0 at the end of the input: exit(1)
#include "loader.h"

#include <dlfcn.h>
#include <climits>
#include <cstdlib>

#include "sds.h"
#include "session_impl.h"

namespace velmora {

namespace {

struct LinkState {
    bool load_sent = false;
    bool registered = false;
    bool ended = false;
    std::function<void()> at_end;
};

LinkState g_link;

}  // namespace

int link_request(Session &s, int reply)
{
    if (g_link.ended)
        return -1;
    if (!g_link.load_sent) {
        g_link.load_sent = true;
        return RQXLOAD;
    }
    if (!g_link.registered) {
        g_link.registered = true;
        if (reply == RSERR)
            s.print("\nThe add-on could not register all of its commands and functions.\n");
    }
    int code = s.step();
    if (code >= 0)
        return RQSUBR;
    g_link.ended = true;
    if (g_link.at_end)
        g_link.at_end();
    return -1;
}

bool run_addon(const std::string &path, std::function<void()> at_end, std::string &err)
{
    char full[PATH_MAX];
    std::string abs = realpath(path.c_str(), full) ? std::string(full) : path;
    void *h = dlopen(abs.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char *e = dlerror();
        err = "cannot load the add-on " + path + ": " + (e ? e : "unknown error");
        return false;
    }
    using Entry = void (*)(void *);
    Entry entry = reinterpret_cast<Entry>(dlsym(h, "SDS_EntryPoint"));
    if (!entry) {
        err = "the add-on " + path + " has no SDS_EntryPoint";
        return false;
    }
    set_module_path(abs);
    g_link = LinkState{};
    g_link.at_end = std::move(at_end);
    entry(nullptr);
    return true;
}

}  // namespace velmora
