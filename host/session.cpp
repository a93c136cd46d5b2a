// session.cpp -- one CAD session: input read word by word in script form,
// add-on commands and LISP calls dispatched from it, prompts and selections
// answered from it, and the output of the command line.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "sds.h"
#include "session_impl.h"

namespace velmora {

static Session *g_current = nullptr;

std::string lower(std::string s)
{
    for (auto &c : s)
        c = (char)std::tolower((unsigned char)c);
    return s;
}

bool parse_number(const std::string &w, double &v)
{
    if (w.empty() || std::isspace((unsigned char)w[0]))
        return false;
    char *end = nullptr;
    v = std::strtod(w.c_str(), &end);
    return end && *end == '\0' && std::isfinite(v);
}

bool parse_int(const std::string &w, long long &v)
{
    std::size_t i = 0;
    if (i < w.size() && (w[i] == '-' || w[i] == '+'))
        i++;
    if (i == w.size() || w.size() - i > 18)
        return false;
    for (std::size_t k = i; k < w.size(); k++)
        if (!std::isdigit((unsigned char)w[k]))
            return false;
    v = std::strtoll(w.c_str(), nullptr, 10);
    return true;
}

bool parse_point(const std::string &w, Vec3 &p)
{
    double c[3] = {0, 0, 0};
    std::size_t start = 0;
    int n = 0;
    for (;;) {
        std::size_t comma = w.find(',', start);
        std::string part = w.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (n == 3 || !parse_number(part, c[n]))
            return false;
        n++;
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (n < 2)
        return false;
    p = Vec3{c[0], c[1], c[2]};
    return true;
}

std::string point_text(const Vec3 &p)
{
    auto num = [](double v) {
        std::string s = format_real(v);
        if (s.size() > 2 && s.compare(s.size() - 2, 2, ".0") == 0)
            s.resize(s.size() - 2);
        return s;
    };
    return num(p.x) + "," + num(p.y) + "," + num(p.z);
}

// ---- Input ------------------------------------------------------------------

bool Session::Impl::next_input_word(std::string &w)
{
    w.clear();
    while (pos >= input.size()) {
        input.clear();
        pos = 0;
        if (!more_input)
            return false;
        if (!interactive_prompt.empty() && !active && funcode_in_call == 0) {
            out_text(interactive_prompt);
        }
        std::string line;
        if (!more_input(line)) {
            more_input = nullptr;
            return false;
        }
        line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
        if (line.empty() || line.back() != '\n')
            line += '\n';
        input = line;
    }
    word_line = line_no;
    std::size_t p = pos;
    if (input[p] == '(') {
        // A LISP expression is one word, whatever blanks and line ends it holds.
        int depth = 0;
        bool in_string = false;
        for (;;) {
            if (p >= input.size()) {
                std::string line;
                if (more_input && more_input(line)) {
                    line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
                    if (line.empty() || line.back() != '\n')
                        line += '\n';
                    input += line;
                    continue;
                }
                break;  // unbalanced: the parser reports it
            }
            char c = input[p];
            if (in_string) {
                if (c == '\\' && p + 1 < input.size()) {
                    w += c;
                    c = input[++p];
                } else if (c == '"') {
                    in_string = false;
                }
            } else if (c == '"') {
                in_string = true;
            } else if (c == '(') {
                depth++;
            } else if (c == ')') {
                depth--;
            }
            if (c == '\n') {
                line_no++;
                c = ' ';
            }
            w += c;
            p++;
            if (!in_string && depth == 0)
                break;
        }
        if (p < input.size() && (input[p] == ' ' || input[p] == '\t' || input[p] == '\n')) {
            if (input[p] == '\n')
                line_no++;
            p++;
        }
    } else {
        while (p < input.size() && input[p] != ' ' && input[p] != '\t' && input[p] != '\n')
            w += input[p++];
        if (p < input.size()) {
            if (input[p] == '\n')
                line_no++;
            p++;
        }
    }
    pos = p;
    if (pos > 65536 && pos * 2 > input.size()) {
        input.erase(0, pos);
        pos = 0;
    }
    if (w.find('\0') != std::string::npos) {
        // Input is text: a NUL byte means a binary file was given as a
        // script.  A name holding one could not be saved (a DXF file is
        // text) and would name another file, cut at the NUL; so the input
        // ends here, before the word is used.
        std::string msg = "a NUL byte in the input; scripts are text";
        error(msg);
        fail(msg);
        input.clear();
        pos = 0;
        return false;
    }
    return true;
}

bool Session::Impl::next_token(Token &t)
{
    if (pending) {
        if (pending->empty())
            return false;
        t = pending->front();
        pending->pop_front();
        return true;
    }
    std::string w;
    if (!next_input_word(w))
        return false;
    t = Token::word(w);
    return true;
}

void Session::Impl::out_text(const std::string &text)
{
    if (text.empty())
        return;
    if (echo) {
        std::fwrite(text.data(), 1, text.size(), echo);
        if (text.find_first_of("\n\r") != std::string::npos || more_input)
            std::fflush(echo);
    } else {
        out += text;
    }
    last_char = text.back();
}

void Session::Impl::fail(const std::string &reason)
{
    if (failed)
        return;
    failed = true;
    failure = "line " + std::to_string(word_line) + ": " + reason;
}

Feed Session::Impl::error(const std::string &message)
{
    last_error = message;
    out_text((last_char == '\n' ? "" : "\n") + message + "\n");
    return Feed::Fail;
}

// ---- Session ------------------------------------------------------------------

Session::Session() : p_(new Impl)
{
    p_->previous_session = g_current;
    g_current = this;
    p_->vars["CMDECHO"] = "1";
    p_->vars["OSMODE"] = "0";
    p_->vars["ACADVER"] = "R12-velmora";
}

Session::~Session()
{
    if (p_->args)
        sds_relrb(p_->args);
    if (g_current == this)
        g_current = p_->previous_session;
}

Session *Session::current() { return g_current; }
Drawing &Session::drawing() { return p_->drawing; }
void Session::set_drawing(Drawing d)
{
    p_->drawing = std::move(d);
    p_->marks.clear();
    p_->erase_log.clear();
    p_->previous.clear();
    p_->session_start_id = p_->drawing.next_id;
}
void Session::set_drive_c(const std::string &dir) { p_->drive_c = dir; }
void Session::set_work_dir(const std::string &dir) { p_->work_dir = dir; }
Session::Impl &Session::impl() { return *p_; }
void Session::set_dispatch(std::function<void(int)> fn) { p_->dispatch = std::move(fn); }
const std::vector<std::string> &Session::command_log() const { return p_->log; }
const std::vector<Overlay> &Session::overlay() const { return p_->overlay; }
const std::map<std::string, int> &Session::functions() const { return p_->functions; }
const std::vector<std::pair<std::string, int>> &Session::defun_log() const { return p_->defun_log; }
void Session::fail_defun(const std::string &name) { p_->defun_fails.insert(lower(name)); }
bool Session::failed() const { return p_->failed; }
const std::string &Session::failure_reason() const { return p_->failure; }
void Session::set_output(std::FILE *stream) { p_->echo = stream; }
void Session::print(const std::string &text) { p_->out_text(text); }
Entity &Session::add_entity(Entity e) { return velmora::add_entity(*this, std::move(e)); }
void Session::push_input(const std::string &text) { p_->input.insert(p_->pos, text); }

bool Session::error(const std::string &message)
{
    p_->error(message);
    p_->fail(message);
    return false;
}

void Session::reset_failure()
{
    p_->failed = false;
    p_->failure.clear();
}

void Session::set_input_source(std::function<bool(std::string &)> more, const std::string &idle_prompt)
{
    p_->more_input = std::move(more);
    p_->interactive_prompt = idle_prompt;
}

void Session::input(const std::string &script_text)
{
    std::string t = script_text;
    t.erase(std::remove(t.begin(), t.end(), '\r'), t.end());
    p_->input += t;
}

std::string Session::take_output()
{
    std::string s;
    s.swap(p_->out);
    return s;
}

void Session::set_user_break(bool on)
{
    p_->user_break = on;
    p_->break_after_polls = -1;
}

void Session::set_user_break_after(int polls)
{
    p_->break_after_polls = polls;
}

bool Session::next_word(std::string &word)
{
    Token t;
    if (!p_->next_token(t))
        return false;
    if (t.kind == Token::Point)
        word = point_text(t.pt);
    else if (t.kind == Token::Picks)
        word = "<ss>";
    else
        word = t.text;
    return true;
}

bool Session::select(const std::string &prompt, std::vector<std::uint64_t> &ids)
{
    Impl &m = *p_;
    if (!prompt.empty())
        print(prompt);
    SelectionBuilder b(*this);
    for (;;) {
        Token t;
        if (!m.next_token(t)) {
            if (!m.pending)
                m.fail("the input ended while objects were being selected");
            return false;
        }
        if (t.kind == Token::Word && lower(t.text) == "*cancel*")
            return false;
        Feed r = b.feed(t);
        if (r == Feed::Fail) {
            if (!m.pending)
                m.fail(m.last_error);
            return false;
        }
        if (r == Feed::Done)
            break;
    }
    ids = b.ids;
    m.previous = ids;
    return true;
}

bool Session::command(const std::vector<std::string> &words)
{
    std::deque<Token> q;
    for (const auto &w : words)
        q.push_back(Token::word(w));
    return p_->feed_tokens(*this, q);
}

// Runs tokens through the command line as one sds_command call does.
bool Session::Impl::feed_tokens(Session &s, std::deque<Token> &q)
{
    std::deque<Token> *saved = pending;
    pending = &q;
    sds_command_depth++;
    bool ok = true;
    while (!q.empty()) {
        Token t = q.front();
        q.pop_front();
        if (feed_line(s, t) == Feed::Fail) {
            ok = false;
            q.clear();
        }
    }
    sds_command_depth--;
    pending = saved;
    return ok;
}

// One token into the command line: it starts a command or answers the one in
// progress.
Feed Session::Impl::feed_line(Session &s, const Token &t)
{
    if (!active) {
        if (t.kind != Token::Word)
            return error("A point or a selection set is not a command.");
        if (t.text.empty())
            return Feed::Done;
        std::string name = lower(t.text);
        while (!name.empty() && (name[0] == '_' || name[0] == '.'))
            name.erase(0, 1);
        std::unique_ptr<CommandMachine> m = make_host_command(s, name);
        if (!m) {
            if (functions.count("c:" + name))
                return error("The command " + t.text + " cannot run inside another command.");
            return error("Unknown command \"" + t.text + "\".");
        }
        active = std::move(m);
        active_name = name;
        Feed r = active->start(s);
        if (r != Feed::More) {
            active.reset();
            active_name.clear();
        }
        return r;
    }
    // The machine may start a nested command line (a script); keep it alive.
    std::unique_ptr<CommandMachine> m = std::move(active);
    Feed r = m->feed(s, t);
    if (r == Feed::More)
        active = std::move(m);
    else
        active_name.clear();
    return r;
}

int Session::step()
{
    Impl &m = *p_;
    if (m.funcode_in_call)
        finish_call();
    for (;;) {
        if (m.failed) {
            // At an interactive command line the user simply types again.
            if (m.interactive_prompt.empty() || !m.more_input)
                return -1;
            reset_failure();
        }
        std::string w;
        if (!m.next_input_word(w)) {
            if (m.active) {
                // The input ended inside a command: Enter finishes it.
                std::deque<Token> q{Token::word("")};
                Feed r = m.feed_line(*this, q.front());
                if (r == Feed::More)
                    m.active.reset();
            }
            return -1;
        }
        if (!m.active) {
            if (w.empty())
                continue;
            if (w[0] == '(') {
                LispCall call;
                try {
                    call = parse_lisp_call(w);
                } catch (const LispError &e) {
                    m.error(e.message);
                    m.fail(e.message);
                    continue;
                }
                auto it = m.functions.find(call.name);
                if (it == m.functions.end()) {
                    std::string msg = "Unknown LISP function \"" + call.name + "\".";
                    m.error(msg);
                    m.fail(msg);
                    continue;
                }
                m.begin_call(it->second, true, lisp_to_resbuf(call.args));
                return it->second;
            }
            auto it = m.functions.find("c:" + lower(w));
            if (it != m.functions.end()) {
                m.begin_call(it->second, false, nullptr);
                return it->second;
            }
        }
        if (m.feed_line(*this, Token::word(w)) == Feed::Fail)
            m.fail(m.last_error);
    }
}

void Session::Impl::begin_call(int code, bool lisp, resbuf *call_args)
{
    if (args)
        sds_relrb(args);
    args = call_args;
    funcode = code;
    funcode_in_call = code ? code : -1;
    in_lisp_call = lisp;
    result = LispValue{};
    result_set = false;
    call_failed = false;
    call_failure.clear();
    initget_bits = 0;
    clear_user_break_signal();
}

std::string Session::Impl::end_call()
{
    std::string text;
    if (in_lisp_call)
        text = result_set ? lisp_print(result) : "nil";
    if (args)
        sds_relrb(args);
    args = nullptr;
    funcode_in_call = 0;
    in_lisp_call = false;
    return text;
}

void Session::finish_call()
{
    Impl &m = *p_;
    if (!m.funcode_in_call)
        return;
    bool lisp = m.in_lisp_call;
    std::string text = m.end_call();
    if (lisp && !text.empty())
        print((m.last_char == '\n' ? "" : "\n") + text + "\n");
    if (m.call_failed)
        m.fail(m.call_failure);
}

bool Session::run()
{
    Impl &m = *p_;
    for (;;) {
        int code = step();
        if (code < 0)
            break;
        if (m.dispatch) {
            m.dispatch(code);
        } else {
            m.error("No add-on is loaded to run this function.");
            m.fail("no add-on is loaded");
        }
        finish_call();
    }
    return !m.failed;
}

std::string Session::call_lisp(const std::string &expr)
{
    Impl &m = *p_;
    LispCall call;
    try {
        call = parse_lisp_call(expr);
    } catch (const LispError &e) {
        m.error(e.message);
        m.fail(e.message);
        return "nil";
    }
    auto it = m.functions.find(call.name);
    if (it == m.functions.end() || !m.dispatch) {
        std::string msg = "Unknown LISP function \"" + call.name + "\".";
        m.error(msg);
        m.fail(msg);
        return "nil";
    }
    m.begin_call(it->second, true, lisp_to_resbuf(call.args));
    m.dispatch(it->second);
    return m.end_call();
}

// ---- Selection ----------------------------------------------------------------

namespace {

struct Box {
    double x0, y0, x1, y1;
    bool inside(const Vec3 &p) const { return p.x >= x0 && p.x <= x1 && p.y >= y0 && p.y <= y1; }
};

// Liang-Barsky: does the segment a-b touch the box?
bool segment_meets(const Box &b, const Vec3 &a, const Vec3 &c)
{
    double t0 = 0, t1 = 1, dx = c.x - a.x, dy = c.y - a.y;
    double p[4] = {-dx, dx, -dy, dy};
    double q[4] = {a.x - b.x0, b.x1 - a.x, a.y - b.y0, b.y1 - a.y};
    for (int i = 0; i < 4; i++) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        double r = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, r);
        else
            t1 = std::min(t1, r);
        if (t0 > t1)
            return false;
    }
    return true;
}

void edges_of(const Entity &e, std::vector<std::pair<int, int>> &out)
{
    int n = (int)e.pts.size();
    out.clear();
    if (e.type == "3DFACE") {
        for (int i = 0; i < n; i++)
            out.push_back({i, (i + 1) % n});
    } else if (e.type == "POLYLINE" && (e.poly_flags & 16) && e.mesh_m * e.mesh_n == n && n > 0) {
        for (int i = 0; i < e.mesh_m; i++)
            for (int j = 0; j < e.mesh_n; j++) {
                int k = i * e.mesh_n + j;
                if (j + 1 < e.mesh_n)
                    out.push_back({k, k + 1});
                if (i + 1 < e.mesh_m)
                    out.push_back({k, k + e.mesh_n});
            }
    } else {
        for (int i = 0; i + 1 < n; i++)
            out.push_back({i, i + 1});
        if (e.type == "POLYLINE" && (e.poly_flags & 1) && n > 2)
            out.push_back({n - 1, 0});
    }
}

bool name_matches(const std::string &pattern, const std::string &name)
{
    // Comma-separated alternatives with "*" and "?" wildcards, case-insensitive.
    std::size_t start = 0;
    std::string n = lower(name);
    for (;;) {
        std::size_t comma = pattern.find(',', start);
        std::string p = lower(pattern.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        // Simple wildcard match.
        std::size_t pi = 0, ni = 0, star = std::string::npos, mark = 0;
        bool ok;
        for (;;) {
            if (ni < n.size() && pi < p.size() && (p[pi] == '?' || p[pi] == n[ni])) {
                pi++;
                ni++;
            } else if (pi < p.size() && p[pi] == '*') {
                star = pi++;
                mark = ni;
            } else if (ni < n.size() && star != std::string::npos) {
                pi = star + 1;
                ni = ++mark;
            } else {
                while (pi < p.size() && p[pi] == '*')
                    pi++;
                ok = pi == p.size() && ni == n.size();
                break;
            }
        }
        if (ok)
            return true;
        if (comma == std::string::npos)
            return false;
        start = comma + 1;
    }
}

}  // namespace

bool entity_matches(const Entity &e, const std::string &type_pattern, const std::string &layer_pattern)
{
    if (!type_pattern.empty() && !name_matches(type_pattern, e.type))
        return false;
    if (!layer_pattern.empty() && !name_matches(layer_pattern, e.layer))
        return false;
    return true;
}

void SelectionBuilder::apply(const std::vector<std::uint64_t> &found)
{
    if (removing_) {
        std::vector<std::uint64_t> keep;
        for (auto id : ids)
            if (!std::binary_search(found.begin(), found.end(), id))
                keep.push_back(id);
        ids.swap(keep);
    } else {
        std::vector<std::uint64_t> merged;
        std::set_union(ids.begin(), ids.end(), found.begin(), found.end(), std::back_inserter(merged));
        ids.swap(merged);
    }
}

Feed SelectionBuilder::feed(const Token &t)
{
    Session::Impl &m = s_.impl();
    Drawing &d = m.drawing;
    if (state_ == Corner1 || state_ == Corner2) {
        Vec3 p = t.pt;
        if (t.kind == Token::Word && !parse_point(t.text, p))
            return m.error("*Invalid point* \"" + t.text + "\": a corner is x,y or x,y,z.");
        if (t.kind == Token::Picks)
            return m.error("*Invalid point*: a selection set is not a corner.");
        if (state_ == Corner1) {
            c1_ = p;
            state_ = Corner2;
            return Feed::More;
        }
        Box b{std::min(c1_.x, p.x), std::min(c1_.y, p.y), std::max(c1_.x, p.x), std::max(c1_.y, p.y)};
        std::vector<std::uint64_t> found;
        std::vector<std::pair<int, int>> edges;
        for (const auto &e : d.entities) {
            if (e.erased || e.pts.empty())
                continue;
            bool all_in = true, any_in = false;
            for (const auto &q : e.pts) {
                bool in = b.inside(q);
                all_in = all_in && in;
                any_in = any_in || in;
            }
            bool take = all_in;
            if (!take && crossing_) {
                take = any_in;
                if (!take) {
                    edges_of(e, edges);
                    for (auto &ed : edges)
                        if (segment_meets(b, e.pts[ed.first], e.pts[ed.second])) {
                            take = true;
                            break;
                        }
                }
            }
            if (take)
                found.push_back(e.id);
        }
        apply(found);
        state_ = Idle;
        return Feed::More;
    }
    if (state_ == LayerName || state_ == TypeName) {
        if (t.kind != Token::Word || t.text.empty())
            return m.error("*Invalid selection*: a layer or type name is expected.");
        std::vector<std::uint64_t> found;
        for (const auto &e : d.entities)
            if (!e.erased && entity_matches(e, state_ == TypeName ? t.text : "", state_ == LayerName ? t.text : ""))
                found.push_back(e.id);
        apply(found);
        state_ = Idle;
        return Feed::More;
    }
    if (t.kind == Token::Picks) {
        auto it = m.sets.find(t.ss);
        if (it == m.sets.end())
            return m.error("*Invalid selection*: the selection set no longer exists.");
        std::vector<std::uint64_t> found;
        for (auto id : it->second.ids) {
            const Entity *e = d.find(id);
            if (e && !e->erased)
                found.push_back(id);
        }
        std::sort(found.begin(), found.end());
        apply(found);
        return Feed::More;
    }
    if (t.kind == Token::Point)
        return m.error("*Invalid selection*: picking by a point is not available; use w or c with two corners.");
    std::string w = lower(t.text);
    if (w.empty())
        return Feed::Done;
    if (w == "all") {
        std::vector<std::uint64_t> found;
        for (const auto &e : d.entities)
            if (!e.erased)
                found.push_back(e.id);
        apply(found);
    } else if (w == "last" || w == "l") {
        for (auto it = d.entities.rbegin(); it != d.entities.rend(); ++it)
            if (!it->erased) {
                apply({it->id});
                break;
            }
    } else if (w == "previous" || w == "p") {
        std::vector<std::uint64_t> found;
        for (auto id : m.previous) {
            const Entity *e = d.find(id);
            if (e && !e->erased)
                found.push_back(id);
        }
        apply(found);
    } else if (w == "w" || w == "window" || w == "c" || w == "crossing") {
        crossing_ = w[0] == 'c';
        state_ = Corner1;
    } else if (w == "remove" || w == "r") {
        removing_ = true;
    } else if (w == "add" || w == "a") {
        removing_ = false;
    } else if (w == "layer") {
        state_ = LayerName;
    } else if (w == "type") {
        state_ = TypeName;
    } else {
        return m.error("*Invalid selection* \"" + t.text +
                       "\": expected all, last, previous, w or c with two corners, layer NAME, "
                       "type NAME, remove, add, or an empty answer to end.");
    }
    return Feed::More;
}

}  // namespace velmora
