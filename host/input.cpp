// input.cpp -- the session's input: script text read word by word, more
// lines from the input source when it runs out, scripts run from the command
// line or from an add-on call, and the answers prompts take from it.
#include <algorithm>
#include <fstream>
#include <sstream>

#include "session_impl.h"
#include "text.h"

namespace velmora {

namespace {

// A script that runs itself at its end (the usual way to repeat one until
// Ctrl-C) does not nest, as the caller has ended.  Scripts that call scripts
// before their end do nest, and only this deep.
const int MAX_SCRIPT_DEPTH = 32;

// A line of input as the session keeps it: no CR, ending in LF.
std::string input_line(std::string line)
{
    line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
    if (line.empty() || line.back() != '\n')
        line += '\n';
    return line;
}

}  // namespace

void Session::input(const std::string &script_text)
{
    std::string t = script_text;
    t.erase(std::remove(t.begin(), t.end(), '\r'), t.end());
    p_->in.text += t;
}

void Session::set_input_source(std::function<bool(std::string &)> more, const std::string &idle_prompt)
{
    p_->in.more = nullptr;
    if (more)
        p_->in.more = [more](const std::string &, std::string &line) { return more(line); };
    p_->in.source_prompts = false;
    p_->in.idle_prompt = idle_prompt;
}

void Session::set_input_source(std::function<bool(const std::string &, std::string &)> more,
                               const std::string &idle_prompt)
{
    p_->in.more = std::move(more);
    p_->in.source_prompts = true;
    p_->in.idle_prompt = idle_prompt;
}

void Session::push_input(const std::string &text) { p_->insert_input(text); }

void Session::push_call(const std::string &expr)
{
    p_->insert_input(expr + " ");
    p_->in.quiet_calls.push_back(p_->in.base + p_->in.pos);
}

bool Session::interactive() const { return p_->interactive(); }

bool Session::Impl::typing_answers()
{
    return interactive() && !line.pending && call.in_call == 0 && script_depth() == 0;
}

bool Session::next_word(std::string &word)
{
    // The command printed its own prompt, if any.
    p_->in.asking.clear();
    p_->in.asking_active = false;
    return next_word(word, std::string());
}

bool Session::next_word(std::string &word, const std::string &prompt)
{
    p_->in.asking = prompt;
    p_->in.asking_active = false;
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

bool Session::script(const std::string &name) { return p_->run_script(*this, name); }

// Waits until there is unread input, reading more lines from the source
// (prompting for them at an idle interactive command line); false at the end
// of all input.  A Ctrl-C while waiting gives the word "*cancel*" instead.
bool Session::Impl::input_ready(std::string &w, bool &broke)
{
    for (bool prompted = false;;) {
        if (take_user_break()) {
            w = "*cancel*";
            in.took_break = broke = true;
            return true;
        }
        if (in.pos < in.text.size())
            return true;
        drop_unread_input();
        if (!in.more)
            return false;
        std::string shown;   // the prompt's last line, for a source that shows it
        if (!prompted && !in.idle_prompt.empty() && call.in_call == 0) {
            // "Command:" at an idle command line, else the prompt of the
            // host command in progress, on a line of its own.
            if (line.active && in.asking_active)
                in.asking = line.active->prompt();
            in.asking_active = false;
            std::string p = line.active ? in.asking + (in.asking.empty() ? "" : " ") : in.idle_prompt;
            if (out.last_char == '\n' && !p.empty() && p[0] == '\n')
                p.erase(0, 1);
            else if (out.last_char != '\n' && !p.empty() && p[0] != '\n')
                p = "\n" + p;
            if (in.source_prompts) {
                std::size_t nl = p.rfind('\n');
                shown = nl == std::string::npos ? p : p.substr(nl + 1);
                p.resize(p.size() - shown.size());
            }
            out_text(p);
            prompted = true;
        }
        if (in.source_prompts && out.echo)
            std::fflush(out.echo);
        std::string more;
        if (!in.more(shown, more)) {
            in.more = nullptr;
            return false;
        }
        if (!in.idle_prompt.empty())
            out.last_char = '\n';   // the terminal echoed the line end typed
        if (more.empty())
            continue;   // the source was interrupted (Ctrl-C) before a line came
        in.text = input_line(more);
    }
}

// A LISP expression from `p` (its opening parenthesis) to the parenthesis
// that closes it, whatever blanks and line ends it holds (line ends become
// blanks); more lines are read for it until it closes.  Returns where the
// input goes on.
std::size_t Session::Impl::lisp_word(std::size_t p, std::string &w)
{
    int depth = 0;
    bool in_string = false;
    for (;;) {
        if (p >= in.text.size()) {
            std::string more;
            if (in.more && in.more("", more)) {
                in.text += input_line(more);
                continue;
            }
            return p;   // unbalanced: the parser reports it
        }
        char c = in.text[p];
        if (in_string) {
            if (c == '\\' && p + 1 < in.text.size()) {
                w += c;
                c = in.text[++p];
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
            in.line_no++;
            c = ' ';
        }
        w += c;
        p++;
        if (!in_string && depth == 0)
            return p;
    }
}

// A word ends at a blank or a line end, which it takes with it; a LISP
// expression in parentheses is one word.
bool Session::Impl::next_input_word(std::string &w)
{
    w.clear();
    bool broke = false;
    if (!input_ready(w, broke))
        return false;
    if (broke)
        return true;
    in.word_line = in.line_no;
    std::size_t p = in.pos;
    const std::string &t = in.text;
    if (t[p] == '(') {
        p = lisp_word(p, w);
    } else {
        while (p < t.size() && t[p] != ' ' && t[p] != '\t' && t[p] != '\n')
            w += t[p++];
    }
    if (p < t.size() && (t[p] == ' ' || t[p] == '\t' || t[p] == '\n')) {
        if (t[p] == '\n')
            in.line_no++;
        p++;
    }
    in.pos = p;
    if (in.pos > 65536 && in.pos * 2 > in.text.size()) {
        in.text.erase(0, in.pos);
        in.base += in.pos;
        in.pos = 0;
    }
    if (w.find('\0') != std::string::npos) {
        // Input is text: a NUL byte means a binary file was given as a
        // script.  A name holding one could not be saved (a DXF file is
        // text) and would name another file, cut at the NUL; so the input
        // ends here, before the word is used.
        std::string msg = "a NUL byte in the input; scripts are text";
        error(msg);
        fail(msg);
        drop_unread_input();
        return false;
    }
    return true;
}

void Session::Impl::insert_input(const std::string &text)
{
    script_depth();   // closes the scripts that have ended here
    for (auto &end : in.script_ends)
        end += text.size();
    for (auto &at : in.quiet_calls)
        if (at >= in.base + in.pos)
            at += text.size();
    in.text.insert(in.pos, text);
}

void Session::Impl::drop_unread_input()
{
    in.base += in.text.size();
    in.text.clear();
    in.pos = 0;
    in.script_ends.clear();
    in.quiet_calls.clear();
}

int Session::Impl::script_depth()
{
    while (!in.script_ends.empty() && in.script_ends.back() <= in.base + in.pos)
        in.script_ends.pop_back();
    return (int)in.script_ends.size() + in.immediate_scripts;
}

// The next answer.  A *cancel* (typed, or a Ctrl-C) answered during an add-on
// call cancels the call, whatever the add-on makes of it.
bool Session::Impl::next_token(Token &t)
{
    if (line.pending) {
        if (line.pending->empty())
            return false;
        t = line.pending->front();
        line.pending->pop_front();
        return true;
    }
    std::string w;
    if (!next_input_word(w))
        return false;
    if (call.in_call && in.took_break) {
        in.took_break = false;
        fail_call(Calls::End::Interrupted);
    } else if (call.in_call && lower(w) == "*cancel*") {
        fail_call(Calls::End::Cancelled);
    }
    t = Token::word(w);
    return true;
}

bool Session::Impl::run_script(Session &s, const std::string &name)
{
    if (script_depth() >= MAX_SCRIPT_DEPTH) {
        error("SCRIPT: \"" + name + "\" not run: scripts nest at most " + std::to_string(MAX_SCRIPT_DEPTH) +
              " deep.");
        return false;
    }
    std::string path = s.native_path(name);
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        f.open(path + ".scr", std::ios::binary);
        if (!f) {
            error("SCRIPT: cannot open \"" + name + "\".");
            return false;
        }
    }
    std::stringstream ss;
    ss << f.rdbuf();
    std::string text = ss.str();
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    if (!text.empty() && text.back() != '\n')
        text += '\n';
    if (line.sds_command_depth == 0 && !call.in_call) {
        // Typed at the command line: the script's lines come next in the input.
        insert_input(text);
        in.script_ends.push_back(in.base + in.pos + text.size());
        return true;
    }
    // From an add-on command: run its lines now, on a command line of their
    // own (the add-on may delete the file as soon as this call returns).
    TokenQueue q;
    std::size_t p = 0;
    while (p < text.size()) {
        std::size_t e = p;
        while (e < text.size() && text[e] != ' ' && text[e] != '\t' && text[e] != '\n')
            e++;
        q.push_back(Token::word(text.substr(p, e - p)));
        p = e + 1;
    }
    std::unique_ptr<CommandMachine> outer = std::move(line.active);
    std::string outer_name = line.active_name;
    in.immediate_scripts++;
    bool ok = feed_tokens(s, q);
    in.immediate_scripts--;
    if (ok && line.active) {
        // The script ended inside a command: Enter finishes it.
        if (feed_line(s, Token::word("")) == Feed::Fail)
            ok = false;
        line.active.reset();
    }
    line.active = std::move(outer);
    line.active_name = outer_name;
    if (!ok)
        error("SCRIPT: \"" + name + "\" stopped at an error.");
    return ok;
}

}  // namespace velmora
