// variables.cpp -- the system variables: one row each, how it is read and,
// unless it is read-only, how it is set from text (setvar, sds_setvar).
#include <cmath>
#include <cstdlib>

#include "session_impl.h"
#include "text.h"
#include "variables.h"

namespace velmora {

namespace {

using Impl = SessionInside::Impl;

VarValue text(const std::string &s)
{
    VarValue v;
    v.s = s;
    return v;
}

VarValue point(const Vec3 &p)
{
    VarValue v;
    v.kind = VarValue::Point;
    v.p = p;
    return v;
}

// A corner of the extents of the entities not erased.
VarValue extent(Impl &m, bool upper)
{
    Vec3 lo, hi;
    m.drawing.extents(lo, hi);
    return point(upper ? hi : lo);
}

VarValue stored_short(Impl &m, const std::string &name)
{
    VarValue v;
    v.kind = VarValue::Short;
    v.i = (short)std::atoi(m.vars[name].c_str());
    return v;
}

// An integer variable from lo to hi; `range` says so when the value is not.
bool set_integer(Impl &m, const std::string &name, const std::string &value, long long lo, long long hi,
                 const char *range, std::string &err)
{
    long long v;
    double r;
    if (parse_int(value, v)) {
    } else if (parse_number(value, r) && r == std::floor(r)) {
        v = std::fabs(r) < 1e18 ? (long long)r : lo - 1;
    } else {
        err = "\"" + value + "\" is not an integer for " + name + ".";
        return false;
    }
    if (v < lo || v > hi) {
        err = range;
        return false;
    }
    m.vars[name] = std::to_string(v);
    return true;
}

struct Variable {
    const char *name;
    const char *initial;    // the value a session starts with, when it keeps one
    VarValue (*get)(Impl &m, const std::string &name);
    // Null for a read-only variable.
    bool (*set)(Impl &m, const std::string &name, const std::string &value, std::string &err);
};

const Variable VARIABLES[] = {
    {"CMDECHO", "1", stored_short,
     [](Impl &m, const std::string &n, const std::string &v, std::string &err) {
         return set_integer(m, n, v, 0, 1, "CMDECHO is 0 or 1.", err);
     }},
    {"OSMODE", "0", stored_short,
     [](Impl &m, const std::string &n, const std::string &v, std::string &err) {
         return set_integer(m, n, v, 0, 32767, "OSMODE is 0 to 32767.", err);
     }},
    {"ACADVER", "R12-velmora", [](Impl &m, const std::string &n) { return text(m.vars[n]); },
     [](Impl &m, const std::string &n, const std::string &v, std::string &) {
         m.vars[n] = v;
         return true;
     }},
    {"DRIVEC", nullptr, [](Impl &m, const std::string &) { return text(m.drive_c); },
     [](Impl &m, const std::string &, const std::string &v, std::string &) {
         m.drive_c = v;
         return true;
     }},
    {"TEMPPREFIX", nullptr, [](Impl &m, const std::string &) { return text(m.work_dir.empty() ? "" : m.work_dir + "/"); },
     nullptr},
    {"CLAYER", nullptr, [](Impl &m, const std::string &) { return text(m.drawing.current_layer); },
     [](Impl &m, const std::string &, const std::string &v, std::string &err) {
         Layer *l = m.drawing.layer(v);
         if (!l) {
             err = "there is no layer \"" + v + "\".";
             return false;
         }
         m.drawing.current_layer = l->name;
         return true;
     }},
    {"CECOLOR", nullptr,
     [](Impl &m, const std::string &) {
         int c = m.drawing.current_colour;
         return text(c == 256 ? "BYLAYER" : c == 0 ? "BYBLOCK" : std::to_string(c));
     },
     [](Impl &m, const std::string &, const std::string &v, std::string &err) {
         int c;
         if (!parse_colour(v, c)) {
             err = "\"" + v + "\" is not a colour.";
             return false;
         }
         m.drawing.current_colour = c;
         return true;
     }},
    {"EXTMIN", nullptr, [](Impl &m, const std::string &) { return extent(m, false); }, nullptr},
    {"EXTMAX", nullptr, [](Impl &m, const std::string &) { return extent(m, true); }, nullptr},
    {"TINMAXEDGE", "0",
     [](Impl &m, const std::string &n) {
         VarValue v;
         v.kind = VarValue::Real;
         v.r = std::strtod(m.vars[n].c_str(), nullptr);
         return v;
     },
     [](Impl &m, const std::string &n, const std::string &v, std::string &err) {
         double r;
         if (!parse_number(v, r)) {
             err = "\"" + v + "\" is not a number for " + n + ".";
             return false;
         }
         m.vars[n] = v;
         return true;
     }},
};

const Variable *find(const std::string &name)
{
    for (const auto &v : VARIABLES)
        if (same_name(name, v.name))
            return &v;
    return nullptr;
}

}  // namespace

void init_variables(Session &s)
{
    for (const auto &v : VARIABLES)
        if (v.initial)
            SessionInside::of(s).vars[v.name] = v.initial;
}

bool get_variable(Session &s, const std::string &name, VarValue &out)
{
    const Variable *v = find(name);
    if (!v)
        return false;
    out = v->get(SessionInside::of(s), v->name);
    return true;
}

bool set_variable(Session &s, const std::string &name, const std::string &value, std::string &err)
{
    const Variable *v = find(name);
    if (!v) {
        err = "unknown variable \"" + name + "\".";
        return false;
    }
    if (!v->set) {
        err = std::string(v->name) + " is read-only.";
        return false;
    }
    return v->set(SessionInside::of(s), v->name, value, err);
}

}  // namespace velmora
