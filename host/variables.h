// variables.h -- the host's system variables, all in one table
// (variables.cpp): their names, types, values and which may be set.
//
//   CMDECHO, OSMODE      integers the add-on sets and reads back
//   ACADVER              the host's version text
//   DRIVEC               the folder standing for drive C:
//   TEMPPREFIX           the session's work folder (read-only)
//   CLAYER, CECOLOR      the current layer and colour
//   EXTMIN, EXTMAX       the drawing's extents (read-only)
//   TINMAXEDGE           the terrain's trimming length (a real; 0: off, negative: ask)
#pragma once

#include <string>

#include "drawing.h"

namespace velmora {

class Session;

// A variable's value as sds_getvar gives it.
struct VarValue {
    enum Kind { Short, Real, Point, Text } kind = Text;
    int i = 0;
    double r = 0;
    Vec3 p;
    std::string s;
};

// Gives a new session its variables' first values.
void init_variables(Session &s);
// False for a name that is no variable (any case).
bool get_variable(Session &s, const std::string &name, VarValue &out);
// Sets a variable from its text; false with a message in `err`.
bool set_variable(Session &s, const std::string &name, const std::string &value, std::string &err);

}  // namespace velmora
