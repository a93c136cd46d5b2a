// prompts.cpp -- prompts the add-on puts on the command line (sds_initget,
// sds_getdist) answered from the input, and Ctrl-C: the break a signal
// handler leaves for the session, and sds_usrbrk's polls of it.
#include <cmath>
#include <csignal>

#include "sds.h"
#include "session_impl.h"
#include "text.h"

using namespace velmora;

static volatile std::sig_atomic_t g_break_signal = 0;

void velmora::signal_user_break() { g_break_signal = 1; }
bool velmora::user_break_pending() { return g_break_signal != 0; }

bool velmora::take_user_break()
{
    if (!g_break_signal)
        return false;
    g_break_signal = 0;
    return true;
}

using Impl = SessionInside::Impl;

// The next answer at `prompt` as a word (a point the add-on passes as
// x,y,z); false at the end of the input, which fails the run.
static bool answer(Impl &m, const std::string &prompt, std::string &w)
{
    Token t;
    if (!m.next_token(t)) {
        m.fail("the input ended at the prompt \"" + prompt + "\"");
        return false;
    }
    w = t.kind == Token::Word ? t.text : point_text(t.pt);
    return true;
}

// A distance answered as a number, or as two points (the second one asked
// for unless the add-on gave a base point).  RTNORM with the distance in
// `v`, RTCAN, or RTREJ when the answer is no distance (said on the command
// line; the prompt is asked again).
static int distance_of(Session &s, Impl &m, const std::string &w, const sds_real *base_pt, double &v)
{
    Vec3 p;
    if (parse_number(w, v))
        return RTNORM;
    if (!parse_point(w, p)) {
        s.print("\nRequires numeric distance or two points.\n");
        return RTREJ;
    }
    Vec3 base = p;
    if (base_pt) {
        base = Vec3{base_pt[0], base_pt[1], base_pt[2]};
    } else {
        s.print("\nSecond point: ");
        std::string w2;
        if (!answer(m, "Second point", w2) || lower(w2) == "*cancel*")
            return RTCAN;
        if (!parse_point(w2, p)) {
            s.print("\nRequires numeric distance or two points.\n");
            return RTREJ;
        }
    }
    v = std::sqrt((p.x - base.x) * (p.x - base.x) + (p.y - base.y) * (p.y - base.y) +
                  (p.z - base.z) * (p.z - base.z));
    return RTNORM;
}

extern "C" {

int sds_initget(int val, const char *)
{
    if (Impl *m = SessionInside::current())
        m->initget_bits = val;
    return RTNORM;
}

int sds_getdist(const sds_point pt, const char *prompt, sds_real *result)
{
    Session *s = Session::current();
    if (!s)
        return RTERROR;
    Impl &m = SessionInside::of(*s);
    int bits = m.initget_bits;   // 1: no Enter, 2: no zero, 4: no negative
    m.initget_bits = 0;
    for (;;) {
        if (prompt)
            s->print(prompt);
        std::string w;
        if (!answer(m, prompt ? prompt : "", w) || lower(w) == "*cancel*")
            return RTCAN;
        if (w.empty()) {
            if (bits & 1) {
                s->print("\nA value is required.\n");
                continue;
            }
            return RTNONE;
        }
        double v;
        int r = distance_of(*s, m, w, pt, v);
        if (r == RTCAN)
            return RTCAN;
        if (r != RTNORM)
            continue;
        if ((bits & 2) && v == 0) {
            s->print("\nValue must not be zero.\n");
            continue;
        }
        if ((bits & 4) && v < 0) {
            s->print("\nValue must be positive.\n");
            continue;
        }
        if (result)
            *result = v;
        return RTNORM;
    }
}

// A break reported to the add-on during one of its calls fails that call,
// whatever the add-on does next.
int sds_usrbrk(void)
{
    Impl *m = SessionInside::current();
    bool hit = take_user_break();
    if (!hit && m && m->break_after_polls >= 0) {
        if (m->break_after_polls == 0) {
            m->break_after_polls = -1;
            hit = true;
        } else {
            m->break_after_polls--;
        }
    }
    if (!hit && m && m->user_break) {
        m->user_break = false;
        hit = true;
    }
    if (hit && m && m->call.in_call)
        m->fail_call(Impl::Calls::End::Interrupted);
    return hit ? 1 : 0;
}

}  // extern "C"
