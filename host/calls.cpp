// calls.cpp -- add-on calls: the session run word by word until a word names
// an add-on command or LISP function, the call's bookkeeping while its
// handler runs, and its outcome.
//
//   step() ─► an add-on name ─► begin_call (mark) ─► handler ─► finish_call
//                                                                  │
//          a failed, cancelled or interrupted call is rolled back to the
//          mark and fails the run (conclude_call) ◄──────────────────┘
#include <cctype>

#include "sds.h"
#include "session_impl.h"
#include "text.h"

namespace velmora {

void Session::set_dispatch(std::function<void(int)> fn) { p_->call.dispatch = std::move(fn); }
void Session::set_call_observer(std::function<void(const std::string &)> fn) { p_->call.observer = std::move(fn); }
const std::map<std::string, int> &Session::functions() const { return p_->call.functions; }
const std::vector<std::pair<std::string, int>> &Session::defun_log() const { return p_->call.defun_log; }
void Session::fail_defun(const std::string &name) { p_->call.defun_fails.insert(lower(name)); }

bool Session::Impl::start_lisp_call(const std::string &expr, bool need_dispatch, int &code)
{
    LispCall lc;
    try {
        lc = parse_lisp_call(expr);
    } catch (const LispError &e) {
        error(e.message);
        fail(e.message);
        return false;
    }
    auto it = call.functions.find(lc.name);
    if (it == call.functions.end() || (need_dispatch && !call.dispatch)) {
        std::string msg = "Unknown LISP function \"" + lc.name + "\".";
        error(msg);
        fail(msg);
        return false;
    }
    code = it->second;
    begin_call(code, true, lisp_to_resbuf(lc.args), lc.name);
    return true;
}

int Session::step()
{
    Impl &m = *p_;
    if (m.call.in_call)
        finish_call();
    for (;;) {
        if (m.failed) {
            // At an interactive command line the user simply types again; what
            // was left of the line, and any script it started, is dropped.
            if (m.in.idle_prompt.empty() || !m.in.more)
                return -1;
            reset_failure();
            m.drop_unread_input();
        }
        std::string w;
        bool more = m.next_input_word(w);
        if (m.in.took_break) {
            // Ctrl-C outside an add-on call: the host command in progress and
            // the script stop here.
            m.in.took_break = false;
            m.line.active.reset();
            m.line.active_name.clear();
            m.drop_unread_input();
            m.error("*Cancel*");
            m.fail("interrupted (Ctrl-C)");
            continue;
        }
        if (!more) {
            if (m.line.active) {
                // The input ended inside a command: Enter finishes it.
                Feed r = m.feed_line(*this, Token::word(""));
                if (r == Feed::More)
                    m.line.active.reset();
                else if (r == Feed::Fail)
                    m.fail(m.last_error);
            }
            return -1;
        }
        if (!m.line.active) {
            if (w.empty())
                continue;
            int code;
            if (w[0] == '(') {
                if (m.start_lisp_call(w, false, code))
                    return code;
                continue;
            }
            auto it = m.call.functions.find("c:" + lower(w));
            if (it != m.call.functions.end()) {
                m.begin_call(it->second, false, nullptr, lower(w));
                return it->second;
            }
        }
        Feed r = m.feed_line(*this, Token::word(w));
        if (m.in.took_break)
            continue;   // a Ctrl-C at one of the command's prompts: above
        if (r == Feed::Fail)
            m.fail(m.last_error);
    }
}

bool Session::run()
{
    Impl &m = *p_;
    for (;;) {
        int code = step();
        if (code < 0)
            break;
        if (m.call.dispatch) {
            m.call.dispatch(code);
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
    int code;
    if (!m.start_lisp_call(expr, true, code))
        return "nil";
    m.call.dispatch(code);
    std::string text = m.end_call();
    m.conclude_call();
    return text;
}

void Session::finish_call()
{
    Impl &m = *p_;
    if (!m.call.in_call)
        return;
    if (take_user_break())   // a Ctrl-C the add-on did not ask about
        m.fail_call(Impl::Calls::End::Interrupted);
    bool lisp = m.call.lisp;
    std::string text = m.end_call();
    if (lisp && !text.empty())
        print((m.out.last_char == '\n' ? "" : "\n") + text + "\n");
    m.conclude_call();
}

void Session::Impl::begin_call(int code, bool lisp, resbuf *call_args, const std::string &name)
{
    if (call.args)
        sds_relrb(call.args);
    call.args = call_args;
    call.funcode = code;
    call.in_call = code ? code : -1;
    call.lisp = lisp;
    call.result = LispValue{};
    call.result_set = false;
    call.end = Calls::End::Ok;
    call.failure.clear();
    call.name = name;
    call.line = in.word_line;
    call.failed_before = failed;
    call_mark = mark_now();
    initget_bits = 0;
    if (call.observer)
        call.observer(call_title());
}

std::string Session::Impl::call_title() const
{
    return (call.lisp ? "the function " : "the command ") + call.name;
}

std::string Session::Impl::end_call()
{
    std::string text;
    if (call.lisp)
        text = call.result_set ? lisp_print(call.result) : "nil";
    if (call.args)
        sds_relrb(call.args);
    call.args = nullptr;
    call.in_call = 0;
    if (call.observer)
        call.observer("");
    return text;
}

void Session::Impl::fail_call(Calls::End how, const std::string &reason)
{
    if (call.end != Calls::End::Ok)
        return;
    call.end = how;
    call.failure = reason.empty() ? "the add-on reported a failure" : reason;
}

void Session::Impl::conclude_call()
{
    bool run_failed = failed && !call.failed_before;   // e.g. the input ended at a prompt
    if (call.end == Calls::End::Ok && !run_failed)
        return;
    std::string why = call_title();
    switch (call.end) {
    case Calls::End::Failed: why += " failed: " + call.failure; break;
    case Calls::End::Cancelled: why += " was cancelled"; break;
    case Calls::End::Interrupted: why += " was interrupted (Ctrl-C)"; break;
    case Calls::End::Ok: why += " did not finish"; break;
    }
    roll_back(call_mark);
    std::string shown = why + "; what it did was undone.";
    shown[0] = (char)std::toupper((unsigned char)shown[0]);
    out_text((out.last_char == '\n' ? "" : "\n") + shown + "\n");
    in.word_line = call.line;   // reported at the line that called it
    fail(why);
}

}  // namespace velmora
