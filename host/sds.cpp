// sds.cpp -- the host's side of the SDS interface: the calls declared in
// sds.h, acting on the current session (the prompts and Ctrl-C are in
// prompts.cpp).
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sds.h"
#include "selection.h"
#include "session_impl.h"
#include "text.h"
#include "variables.h"

using namespace velmora;

static std::string g_module_path;

void velmora::set_module_path(const std::string &path) { g_module_path = path; }

using Impl = SessionInside::Impl;

static Impl *impl() { return SessionInside::current(); }

static void set_result(LispValue v)
{
    if (Impl *m = impl()) {
        m->call.result = std::move(v);
        m->call.result_set = true;
    }
}

// One value of an sds_command call as a command-line token and, when `shown`
// is given, as the command log shows it; false for a value the command line
// does not take.  The log is built only when it is kept: a triangulation
// sends millions of corners, and writing each as text cost more than the
// rest of the run.
static bool take_token(int t, va_list &ap, Impl &m, TokenQueue &q, std::string *shown,
                       std::vector<std::int64_t> &named)
{
    if (t == RTSTR) {
        const char *w = va_arg(ap, const char *);
        Token &tok = q.add_word(w ? w : "");
        if (shown)
            *shown = tok.text.empty() ? "\"\"" : tok.text;
        return true;
    }
    Token &tok = q.add();
    switch (t) {
    case RTPOINT: case RT3DPOINT: {
        const double *p = va_arg(ap, const double *);
        if (!p)
            return false;
        tok.kind = Token::Point;
        tok.pt = Vec3{p[0], p[1], t == RT3DPOINT ? p[2] : 0.0};
        if (shown)
            *shown = point_text(tok.pt);
        return true;
    }
    case RTPICKS: case RTENAME: {
        const int64_t *n = va_arg(ap, const int64_t *);
        if (!n)
            return false;
        if (t == RTENAME) {
            // One entity: a selection set of its own, under a negative id,
            // which the selection reading it drops (an add-on may pass a
            // name per call for a whole survey), and sds_command when no
            // selection read it.
            std::int64_t id = -m.next_set++;
            named.push_back(id);
            m.sets[id] = std::make_shared<const std::vector<std::uint64_t>>(1, (std::uint64_t)n[0]);
            tok = Token::picks(id);
        } else {
            tok = Token::picks(n[0]);
        }
        if (shown)
            *shown = "<ss>";
        return true;
    }
    case RTSHORT:
        tok = Token::word(std::to_string((int16_t)va_arg(ap, int)));
        break;
    case RTLONG:
        tok = Token::word(std::to_string(va_arg(ap, int32_t)));
        break;
    case RTREAL: case RTANG: case RTORINT:
        tok = Token::word(number_word(va_arg(ap, double)));
        break;
    default:
        return false;
    }
    if (shown)
        *shown = tok.text;
    return true;
}

// The type and layer patterns of an sds_ssget filter list (groups 0 and 8).
static void filter_patterns(const resbuf *filter, std::string &type, std::string &layer)
{
    for (; filter; filter = filter->rbnext) {
        if ((filter->restype == 0 || filter->restype == RTDXF0) && filter->resval.rstring)
            type = filter->resval.rstring;
        else if (filter->restype == 8 && filter->resval.rstring)
            layer = filter->resval.rstring;
    }
}

extern "C" {

void SDS_GetGlobals(char *appname, void **hwnd, void **hinstance)
{
    if (appname) {
        std::strncpy(appname, g_module_path.c_str(), 511);
        appname[511] = '\0';
    }
    if (hwnd)
        *hwnd = nullptr;
    if (hinstance)
        *hinstance = nullptr;
}

int sds_init(int, char **) { return RTNORM; }

int sds_link(int cbc)
{
    Session *s = Session::current();
    if (!s)
        return -1;
    return link_request(*s, cbc);
}

int sds_getfuncode(void)
{
    Impl *m = impl();
    return m ? m->call.funcode : RTERROR;
}

int sds_defun(const char *sname, short funcno)
{
    Impl *m = impl();
    if (!m || !sname || !*sname)
        return RTERROR;
    std::string name = lower(sname);
    if (m->call.defun_fails.count(name))
        return RTERROR;
    m->call.functions[name] = funcno;
    m->call.defun_log.push_back({name, funcno});
    return RTNORM;
}

struct resbuf *sds_getargs(void)
{
    Impl *m = impl();
    return m ? copy_resbuf_list(m->call.args) : nullptr;
}

int sds_retvoid(void)
{
    LispValue v;
    v.kind = LispValue::Void;
    set_result(v);
    return RTNORM;
}

int sds_retnil(void)
{
    set_result(LispValue{});
    return RTNORM;
}

int sds_rett(void)
{
    LispValue v;
    v.kind = LispValue::T;
    set_result(v);
    return RTNORM;
}

int sds_retint(int ival)
{
    set_result(LispValue::integer(ival));
    return RTNORM;
}

int sds_retreal(sds_real rval)
{
    set_result(LispValue::real(rval));
    return RTNORM;
}

int sds_retstr(const char *s)
{
    set_result(LispValue::str(s ? s : ""));
    return RTNORM;
}

int sds_retpoint(const sds_point pt)
{
    if (!pt)
        return RTERROR;
    set_result(LispValue::point(pt, 3));
    return RTNORM;
}

int sds_retlist(const struct resbuf *rbuf)
{
    set_result(lisp_from_resbuf(rbuf));
    return RTNORM;
}

// Reads one value of type `t` from the argument list into `rb`; false for a
// type that takes no value it knows.
static bool take_value(int t, va_list &ap, resbuf *rb)
{
    switch (t) {
    case RTREAL: case RTANG: case RTORINT:
        rb->resval.rreal = va_arg(ap, double);
        return true;
    case RTPOINT: case RT3DPOINT: {
        const double *p = va_arg(ap, const double *);
        if (!p)
            return false;
        rb->resval.rpoint[0] = p[0];
        rb->resval.rpoint[1] = p[1];
        rb->resval.rpoint[2] = t == RT3DPOINT ? p[2] : 0.0;
        return true;
    }
    case RTSHORT:
        rb->resval.rlong = (int16_t)va_arg(ap, int);
        return true;
    case RTLONG:
        rb->resval.rlong = va_arg(ap, int32_t);
        return true;
    case RTSTR: {
        const char *s = va_arg(ap, const char *);
        rb->resval.rstring = strdup(s ? s : "");
        return true;
    }
    case RTENAME: case RTPICKS: {
        const int64_t *n = va_arg(ap, const int64_t *);
        if (!n)
            return false;
        rb->resval.rlname[0] = n[0];
        rb->resval.rlname[1] = n[1];
        return true;
    }
    case RTLB: case RTLE: case RTDOTE: case RTNIL: case RTT: case RTVOID:
        return true;
    default:
        break;
    }
    // DXF group codes, as in entity and filter lists.
    if (resbuf_has_text(t)) {
        const char *s = va_arg(ap, const char *);
        rb->resval.rstring = strdup(s ? s : "");
        return true;
    }
    if ((t >= 10 && t <= 39) || (t >= 210 && t <= 239) || (t >= 1010 && t <= 1039)) {
        const double *p = va_arg(ap, const double *);
        if (!p)
            return false;
        for (int i = 0; i < 3; i++)
            rb->resval.rpoint[i] = p[i];
        return true;
    }
    if ((t >= 40 && t <= 59) || (t >= 140 && t <= 149) || (t >= 1040 && t <= 1042)) {
        rb->resval.rreal = va_arg(ap, double);
        return true;
    }
    if ((t >= 60 && t <= 79) || (t >= 170 && t <= 179) || (t >= 270 && t <= 289) || t == 1070) {
        rb->resval.rlong = (int16_t)va_arg(ap, int);
        return true;
    }
    if ((t >= 90 && t <= 99) || t == 1071) {
        rb->resval.rlong = va_arg(ap, int32_t);
        return true;
    }
    return false;
}

struct resbuf *sds_buildlist(int rtype, ...)
{
    va_list ap;
    va_start(ap, rtype);
    resbuf *head = nullptr;
    resbuf **tail = &head;
    for (int t = rtype; t != 0 && t != RTNONE; t = va_arg(ap, int)) {
        resbuf *rb = new_resbuf(t);
        if (!rb || !take_value(t, ap, rb)) {
            std::free(rb);
            sds_relrb(head);
            va_end(ap);
            return nullptr;
        }
        *tail = rb;
        tail = &rb->rbnext;
    }
    va_end(ap);
    return head;
}

struct resbuf *sds_newrb(int v)
{
    return new_resbuf(v);
}

int sds_relrb(struct resbuf *rb)
{
    while (rb) {
        resbuf *next = rb->rbnext;
        if (resbuf_has_text(rb->restype))
            std::free(rb->resval.rstring);
        std::free(rb);
        rb = next;
    }
    return RTNORM;
}

int sds_command(int rtype, ...)
{
    Session *s = Session::current();
    if (!s)
        return RTERROR;
    Impl &m = SessionInside::of(*s);
    va_list ap;
    va_start(ap, rtype);
    auto depth = (std::size_t)m.line.sds_command_depth;
    while (m.line.sds_queues.size() <= depth)
        m.line.sds_queues.emplace_back();
    TokenQueue &q = m.line.sds_queues[depth];
    q.clear();
    bool keep_log = !m.out.echo;   // the log is for in-process tests; the program keeps none
    std::string logline, shown;
    std::vector<std::int64_t> named;   // the sets made for RTENAME values
    bool bad = false;
    // Each value is made in its place in the queue.
    for (int t = rtype; t != 0 && t != RTNONE; t = va_arg(ap, int)) {
        if (!take_token(t, ap, m, q, keep_log ? &shown : nullptr, named)) {
            bad = true;
            break;
        }
        if (keep_log) {
            if (!logline.empty())
                logline += " ";
            logline += shown;
        }
    }
    va_end(ap);
    if (keep_log)
        m.line.log.push_back(logline);
    bool ok = false;
    if (bad) {
        q.clear();
        m.error("A value of an unknown type was given to the command line.");
    } else {
        ok = m.feed_tokens(*s, q);
    }
    // An entity name a command did not take as a selection (it refused it,
    // or the call failed before it) leaves no set behind.
    for (std::int64_t id : named)
        m.sets.erase(id);
    return ok ? RTNORM : RTERROR;
}

int sds_ssget(const char *str, const void *pt1, const void *pt2, const struct resbuf *filter, sds_name ss)
{
    Session *s = Session::current();
    if (!s || !ss)
        return RTERROR;
    Impl &m = SessionInside::of(*s);
    IdList ids;
    std::string mode = str ? lower(str) : "";
    if (mode.empty()) {
        if (!s->select("", ids))
            return RTCAN;
    } else {
        SelectionBuilder b(*s);
        std::vector<Token> answers;
        if (mode == "x") {
            answers = {Token::word("all")};
        } else if (mode == "l") {
            answers = {Token::word("last")};
        } else if (mode == "p") {
            answers = {Token::word("previous")};
        } else if ((mode == "w" || mode == "c") && pt1 && pt2) {
            const double *a = static_cast<const double *>(pt1), *c = static_cast<const double *>(pt2);
            answers = {Token::word(mode), Token::point(Vec3{a[0], a[1], a[2]}), Token::point(Vec3{c[0], c[1], c[2]})};
        } else {
            return RTERROR;
        }
        answers.push_back(Token::word(""));
        for (const auto &t : answers)
            if (b.feed(t) == Feed::Fail)
                return RTERROR;
        ids = b.list();
    }
    std::string type, layer;
    filter_patterns(filter, type, layer);
    if (!type.empty() || !layer.empty()) {
        std::vector<std::uint64_t> kept;
        for (auto id : *ids) {
            const Entity *e = m.drawing.find(id);
            if (e && entity_matches(*e, type, layer))
                kept.push_back(id);
        }
        ids = std::make_shared<const std::vector<std::uint64_t>>(std::move(kept));
    }
    if (ids->empty())
        return RTERROR;
    std::int64_t id = m.next_set++;
    m.sets[id] = std::move(ids);
    ss[0] = id;
    ss[1] = 0;
    return RTNORM;
}

int sds_ssfree(const sds_name sname)
{
    Impl *m = impl();
    if (!m || !sname)
        return RTERROR;
    return m->sets.erase(sname[0]) ? RTNORM : RTERROR;
}

int sds_sslength(const sds_name sname, int32_t *len)
{
    Impl *m = impl();
    if (!m || !sname || !len)
        return RTERROR;
    auto it = m->sets.find(sname[0]);
    if (it == m->sets.end())
        return RTERROR;
    *len = (int32_t)it->second->size();
    return RTNORM;
}

int sds_ssname(const sds_name ss, int32_t i, sds_name entres)
{
    Impl *m = impl();
    if (!m || !ss || !entres)
        return RTERROR;
    auto it = m->sets.find(ss[0]);
    if (it == m->sets.end() || i < 0 || (std::size_t)i >= it->second->size())
        return RTERROR;
    entres[0] = (int64_t)(*it->second)[(std::size_t)i];
    entres[1] = 0;
    return RTNORM;
}

struct resbuf *sds_entget(const sds_name ent)
{
    Impl *m = impl();
    if (!m || !ent)
        return nullptr;
    const Entity *e = m->drawing.find((std::uint64_t)ent[0]);
    if (!e || e->erased)
        return nullptr;
    resbuf *head = nullptr;
    resbuf **tail = &head;
    auto add = [&](resbuf *rb) {
        *tail = rb;
        tail = &rb->rbnext;
        return rb;
    };
    resbuf *rb = add(new_resbuf(-1));
    rb->resval.rlname[0] = ent[0];
    add(new_resbuf(0))->resval.rstring = strdup(e->type.c_str());
    add(new_resbuf(8))->resval.rstring = strdup(e->layer.c_str());
    if (e->colour != 256)
        add(new_resbuf(62))->resval.rlong = e->colour;
    int code = 10;
    if (e->type != "POLYLINE") {
        for (const auto &p : e->pts) {
            rb = add(new_resbuf(code++));
            rb->resval.rpoint[0] = p.x;
            rb->resval.rpoint[1] = p.y;
            rb->resval.rpoint[2] = p.z;
        }
    }
    if (e->type == "3DFACE")
        add(new_resbuf(70))->resval.rlong = e->face_hidden;
    if (e->type == "POLYLINE")
        add(new_resbuf(70))->resval.rlong = e->poly_flags;
    return head;
}

int sds_setvar(const char *sym, const struct resbuf *val)
{
    Session *s = Session::current();
    if (!s || !sym || !val)
        return RTERROR;
    std::string text;
    switch (val->restype) {
    case RTSHORT: text = std::to_string(val->resval.rint); break;
    case RTLONG: text = std::to_string(val->resval.rlong); break;
    case RTREAL: text = number_word(val->resval.rreal); break;
    case RTSTR: text = val->resval.rstring ? val->resval.rstring : ""; break;
    default: return RTERROR;
    }
    std::string err;
    if (!set_variable(*s, sym, text, err)) {
        refuse(*s, "SETVAR: " + err);
        return RTERROR;
    }
    return RTNORM;
}

int sds_getvar(const char *sym, struct resbuf *result)
{
    Session *s = Session::current();
    VarValue v;
    if (!s || !sym || !result || !get_variable(*s, sym, v))
        return RTERROR;
    switch (v.kind) {
    case VarValue::Short:
        result->restype = RTSHORT;
        result->resval.rlong = 0;
        result->resval.rint = (short)v.i;
        break;
    case VarValue::Real:
        result->restype = RTREAL;
        result->resval.rreal = v.r;
        break;
    case VarValue::Point:
        result->restype = RT3DPOINT;
        result->resval.rpoint[0] = v.p.x;
        result->resval.rpoint[1] = v.p.y;
        result->resval.rpoint[2] = v.p.z;
        break;
    case VarValue::Text:
        result->restype = RTSTR;
        result->resval.rstring = strdup(v.s.c_str());
        break;
    }
    return RTNORM;
}

int sds_fail(const char *reason)
{
    if (Impl *m = impl())
        m->fail_call(Impl::Calls::End::Failed, reason ? reason : "");
    return RTNORM;
}

int sds_printf(const char *format, ...)
{
    if (!format)
        return RTERROR;
    va_list ap, ap2;
    va_start(ap, format);
    va_copy(ap2, ap);
    char small[512];
    int n = std::vsnprintf(small, sizeof small, format, ap);
    va_end(ap);
    std::string text;
    if (n >= (int)sizeof small) {
        text.resize((std::size_t)n + 1);
        std::vsnprintf(&text[0], text.size(), format, ap2);
        text.resize((std::size_t)n);
    } else if (n >= 0) {
        text = small;
    }
    va_end(ap2);
    if (Session *s = Session::current())
        s->print(text);
    else
        std::fputs(text.c_str(), stdout);
    return n < 0 ? RTERROR : RTNORM;
}

int sds_grdraw(const sds_point from, const sds_point to, int color, int hl)
{
    Impl *m = impl();
    if (!m || !from || !to)
        return RTERROR;
    Overlay o;
    o.from = Vec3{from[0], from[1], from[2]};
    o.to = Vec3{to[0], to[1], to[2]};
    o.colour = color;
    o.highlight = hl;
    m->overlay.push_back(o);
    return RTNORM;
}

int sds_redraw(const sds_name ent, int)
{
    Impl *m = impl();
    if (!m)
        return RTERROR;
    if (!ent)
        m->overlay.clear();
    return RTNORM;
}

sds_real sds_distance(const sds_point p1, const sds_point p2)
{
    if (!p1 || !p2)
        return 0.0;
    double dx = p1[0] - p2[0], dy = p1[1] - p2[1], dz = p1[2] - p2[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

}  // extern "C"

