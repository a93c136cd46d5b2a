// lisp_values.cpp -- LISP values between the command line and the add-on:
// literal calls read from text, resbuf lists built from them and read back,
// and values printed in LISP form.
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "lisp_values.h"

#include "sds.h"
#include "text.h"

namespace velmora {

LispValue LispValue::point(const double *p, int n)
{
    std::vector<LispValue> v;
    for (int i = 0; i < n; i++)
        v.push_back(real(p[i]));
    return list(std::move(v));
}

std::string format_real(double v)
{
    if (std::isnan(v))
        return "nan";
    if (std::isinf(v))
        return v > 0 ? "1.#INF" : "-1.#INF";
    char buf[64];
    for (int prec = 1; prec <= 17; prec++) {
        std::snprintf(buf, sizeof buf, "%.*g", prec, v);
        if (std::strtod(buf, nullptr) == v) {
            // Plain notation for ordinary magnitudes: 10, not 1e+01.
            double a = std::fabs(v);
            if (a >= 1e-5 && a < 1e16) {
                int digits = (int)std::floor(std::log10(a)) + 1;
                if (digits > prec)
                    std::snprintf(buf, sizeof buf, "%.*g", digits, v);
            }
            break;
        }
    }
    std::string s = buf;
    // A real always shows a decimal point: 1 -> 1.0, 1e+20 -> 1.0e+20.
    if (s.find_first_of(".") == std::string::npos) {
        std::size_t e = s.find_first_of("eE");
        if (e == std::string::npos)
            s += ".0";
        else
            s.insert(e, ".0");
    }
    return s;
}

static std::string quote(const std::string &s)
{
    std::string r = "\"";
    for (char c : s) {
        switch (c) {
        case '"': r += "\\\""; break;
        case '\\': r += "\\\\"; break;
        case '\n': r += "\\n"; break;
        case '\r': r += "\\r"; break;
        case '\t': r += "\\t"; break;
        default: r += c;
        }
    }
    return r + "\"";
}

std::string lisp_print(const LispValue &v)
{
    switch (v.kind) {
    case LispValue::Nil: return "nil";
    case LispValue::T: return "T";
    case LispValue::Int: return std::to_string(v.i);
    case LispValue::Real: return format_real(v.r);
    case LispValue::Str: return quote(v.s);
    case LispValue::Ename: return "<Entity name: " + std::to_string(v.i) + ">";
    case LispValue::Picks: return "<Selection set: " + std::to_string(v.i) + ">";
    case LispValue::Void: return "";
    case LispValue::List: {
        if (v.items.empty())
            return "nil";
        std::string r = "(";
        for (std::size_t i = 0; i < v.items.size(); i++) {
            if (i)
                r += " ";
            r += lisp_print(v.items[i]);
        }
        return r + ")";
    }
    }
    return "nil";
}

// ---- Parsing literal calls -------------------------------------------------

namespace {

struct Parser {
    const std::string &t;
    std::size_t i = 0;

    explicit Parser(const std::string &text) : t(text) {}

    [[noreturn]] void error(const std::string &what)
    {
        throw LispError{"bad LISP expression " + t + ": " + what};
    }
    void blanks()
    {
        while (i < t.size() && std::isspace((unsigned char)t[i]))
            i++;
    }
    bool at_end() { blanks(); return i >= t.size(); }

    std::string atom()
    {
        std::size_t b = i;
        while (i < t.size() && !std::isspace((unsigned char)t[i]) && t[i] != '(' && t[i] != ')' &&
               t[i] != '"' && t[i] != '\'')
            i++;
        return t.substr(b, i - b);
    }

    std::string string_literal()
    {
        std::string s;
        i++;  // opening quote
        while (i < t.size() && t[i] != '"') {
            char c = t[i++];
            if (c == '\\' && i < t.size()) {
                char e = t[i++];
                switch (e) {
                case 'n': s += '\n'; break;
                case 'r': s += '\r'; break;
                case 't': s += '\t'; break;
                case 'e': s += '\x1b'; break;
                default: s += e;
                }
            } else {
                s += c;
            }
        }
        if (i >= t.size())
            error("a text has no closing quote");
        i++;
        return s;
    }

    LispValue number_or_symbol(const std::string &a)
    {
        std::string l = lower(a);
        if (l == "nil")
            return LispValue{};
        if (l == "t") {
            LispValue v;
            v.kind = LispValue::T;
            return v;
        }
        long long n;
        if (parse_int(a, n)) {
            if (n < INT32_MIN || n > INT32_MAX)
                return LispValue::real((double)n);
            return LispValue::integer(n);
        }
        double d;
        if (parse_number(a, d))
            return LispValue::real(d);
        error("\"" + a + "\" is not a literal value (only numbers, texts, quoted lists, T and nil)");
    }

    // Inside a quoted list: elements are literals or lists.
    LispValue quoted_element()
    {
        blanks();
        if (i >= t.size())
            error("unbalanced parentheses");
        if (t[i] == '(') {
            i++;
            std::vector<LispValue> items;
            for (;;) {
                blanks();
                if (i >= t.size())
                    error("unbalanced parentheses");
                if (t[i] == ')') {
                    i++;
                    break;
                }
                items.push_back(quoted_element());
            }
            return LispValue::list(std::move(items));
        }
        if (t[i] == '"')
            return LispValue::str(string_literal());
        if (t[i] == '\'') {
            i++;
            return quoted_element();
        }
        if (t[i] == ')')
            error("unexpected )");
        return number_or_symbol(atom());
    }

    LispValue argument()
    {
        blanks();
        char c = t[i];
        if (c == '"')
            return LispValue::str(string_literal());
        if (c == '\'') {
            i++;
            return quoted_element();
        }
        if (c == '(')
            error("nested calls are not evaluated; quote a literal list with '");
        return number_or_symbol(atom());
    }
};

}  // namespace

LispCall parse_lisp_call(const std::string &text)
{
    Parser p(text);
    p.blanks();
    if (p.i >= text.size() || text[p.i] != '(')
        p.error("it must start with (");
    p.i++;
    p.blanks();
    LispCall call;
    call.name = lower(p.atom());
    if (call.name.empty())
        p.error("no function name");
    for (;;) {
        p.blanks();
        if (p.i >= text.size())
            p.error("unbalanced parentheses");
        if (text[p.i] == ')') {
            p.i++;
            break;
        }
        call.args.push_back(p.argument());
    }
    if (!p.at_end())
        p.error("text after the closing parenthesis");
    return call;
}

// ---- resbuf lists -----------------------------------------------------------

bool resbuf_has_text(int t)
{
    return t == RTSTR || t == RTDXF0 || t == -4 || (t >= 0 && t <= 9) || (t >= 100 && t <= 109) || (t >= 300 && t <= 309) ||
           (t >= 410 && t <= 419) || t == 999 || (t >= 1000 && t <= 1009);
}

resbuf *new_resbuf(int type)
{
    resbuf *rb = static_cast<resbuf *>(std::calloc(1, sizeof(resbuf)));
    if (rb)
        rb->restype = (short)type;
    return rb;
}

static bool is_point_list(const LispValue &v)
{
    if (v.kind != LispValue::List || (v.items.size() != 2 && v.items.size() != 3))
        return false;
    for (const auto &e : v.items)
        if (e.kind != LispValue::Int && e.kind != LispValue::Real)
            return false;
    return true;
}

static double number_of(const LispValue &v)
{
    return v.kind == LispValue::Int ? (double)v.i : v.r;
}

static void append(resbuf **&tail, resbuf *rb)
{
    *tail = rb;
    tail = &rb->rbnext;
}

static void to_resbuf(const LispValue &v, resbuf **&tail)
{
    resbuf *rb = nullptr;
    switch (v.kind) {
    case LispValue::Nil:
    case LispValue::Void:
        rb = new_resbuf(RTNIL);
        break;
    case LispValue::T:
        rb = new_resbuf(RTT);
        break;
    case LispValue::Int:
        if (v.i >= -32768 && v.i <= 32767) {
            rb = new_resbuf(RTSHORT);
            // Also as a 32-bit value, so that a reader taking rlong sees it too.
            rb->resval.rlong = (int32_t)v.i;
        } else {
            rb = new_resbuf(RTLONG);
            rb->resval.rlong = (int32_t)v.i;
        }
        break;
    case LispValue::Real:
        rb = new_resbuf(RTREAL);
        rb->resval.rreal = v.r;
        break;
    case LispValue::Str:
        rb = new_resbuf(RTSTR);
        rb->resval.rstring = strdup(v.s.c_str());
        break;
    case LispValue::Ename:
    case LispValue::Picks:
        rb = new_resbuf(v.kind == LispValue::Ename ? RTENAME : RTPICKS);
        rb->resval.rlname[0] = v.i;
        break;
    case LispValue::List:
        if (v.items.empty()) {
            rb = new_resbuf(RTNIL);
        } else if (is_point_list(v)) {
            rb = new_resbuf(v.items.size() == 3 ? RT3DPOINT : RTPOINT);
            for (std::size_t k = 0; k < v.items.size(); k++)
                rb->resval.rpoint[k] = number_of(v.items[k]);
        } else {
            append(tail, new_resbuf(RTLB));
            for (const auto &e : v.items)
                to_resbuf(e, tail);
            rb = new_resbuf(RTLE);
        }
        break;
    }
    append(tail, rb);
}

resbuf *lisp_to_resbuf(const std::vector<LispValue> &args)
{
    resbuf *head = nullptr;
    resbuf **tail = &head;
    for (const auto &a : args)
        to_resbuf(a, tail);
    return head;
}

static LispValue one_value(const resbuf *&rb)
{
    LispValue v;
    switch (rb->restype) {
    case RTNIL: break;
    case RTT: v.kind = LispValue::T; break;
    case RTVOID: v.kind = LispValue::Void; break;
    case RTSHORT: v = LispValue::integer(rb->resval.rint); break;
    case RTLONG: v = LispValue::integer(rb->resval.rlong); break;
    case RTREAL:
    case RTANG:
    case RTORINT: v = LispValue::real(rb->resval.rreal); break;
    case RTSTR: v = LispValue::str(rb->resval.rstring ? rb->resval.rstring : ""); break;
    case RTPOINT: v = LispValue::point(rb->resval.rpoint, 2); break;
    case RT3DPOINT: v = LispValue::point(rb->resval.rpoint, 3); break;
    case RTENAME: v.kind = LispValue::Ename; v.i = rb->resval.rlname[0]; break;
    case RTPICKS: v.kind = LispValue::Picks; v.i = rb->resval.rlname[0]; break;
    case RTLB: {
        std::vector<LispValue> items;
        rb = rb->rbnext;
        while (rb && rb->restype != RTLE) {
            if (rb->restype == RTDOTE) {
                rb = rb->rbnext;
                continue;
            }
            items.push_back(one_value(rb));
            if (rb)
                rb = rb->rbnext;
        }
        return LispValue::list(std::move(items));  // rb at the RTLE (or null)
    }
    default:
        // A DXF group (restype below 5000) or a type of no LISP meaning: its
        // number, so that nothing is lost silently.
        v = LispValue::integer(rb->restype);
        break;
    }
    return v;
}

LispValue lisp_from_resbuf(const resbuf *rb)
{
    std::vector<LispValue> items;
    while (rb) {
        if (rb->restype == RTLE || rb->restype == RTDOTE) {
            rb = rb->rbnext;
            continue;
        }
        items.push_back(one_value(rb));
        if (rb)
            rb = rb->rbnext;
    }
    return LispValue::list(std::move(items));
}

resbuf *copy_resbuf_list(const resbuf *rb)
{
    resbuf *head = nullptr;
    resbuf **tail = &head;
    for (; rb; rb = rb->rbnext) {
        resbuf *c = new_resbuf(rb->restype);
        c->resval = rb->resval;
        if (resbuf_has_text(rb->restype))
            c->resval.rstring = rb->resval.rstring ? strdup(rb->resval.rstring) : nullptr;
        append(tail, c);
    }
    return head;
}

}  // namespace velmora
