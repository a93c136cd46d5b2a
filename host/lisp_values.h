// lisp_values.h -- LISP values between the command line and the add-on
// (lisp_values.cpp): literal calls read from text, values printed in LISP
// form, and the resbuf lists the SDS interface passes them in.
#pragma once

#include <string>
#include <vector>

struct resbuf;

namespace velmora {

// A LISP value as the host passes it to and from the add-on.
struct LispValue {
    enum Kind { Nil, T, Int, Real, Str, List, Ename, Picks, Void } kind = Nil;
    long long i = 0;
    double r = 0;
    std::string s;
    std::vector<LispValue> items;   // List

    static LispValue integer(long long v) { LispValue x; x.kind = Int; x.i = v; return x; }
    static LispValue real(double v) { LispValue x; x.kind = Real; x.r = v; return x; }
    static LispValue str(std::string v) { LispValue x; x.kind = Str; x.s = std::move(v); return x; }
    static LispValue list(std::vector<LispValue> v) { LispValue x; x.kind = List; x.items = std::move(v); return x; }
    static LispValue point(const double *p, int n);
};

// A LISP call read from text: the function name (lower case) and its
// literal arguments.
struct LispCall {
    std::string name;
    std::vector<LispValue> args;
};

// Reads "(name arg ...)"; throws LispError with a message.
struct LispError { std::string message; };
LispCall parse_lisp_call(const std::string &text);
std::string lisp_print(const LispValue &v);
// A real in LISP form: the shortest text that reads back the same, in plain
// notation for ordinary magnitudes, always with a point ("10.0", "1.0e+20").
std::string format_real(double v);

// Arguments become one flat resbuf list (lists as RTLB ... RTLE); a list of
// two or three numbers is a point.  The caller releases it with sds_relrb.
resbuf *lisp_to_resbuf(const std::vector<LispValue> &args);
// A resbuf list (as given to sds_retlist) read back as a list value.
LispValue lisp_from_resbuf(const resbuf *rb);
resbuf *new_resbuf(int type);
resbuf *copy_resbuf_list(const resbuf *rb);
// Whether a resbuf of this type holds a malloc'ed text (RTSTR and the DXF
// text groups of sds_entget lists).
bool resbuf_has_text(int type);

}  // namespace velmora
