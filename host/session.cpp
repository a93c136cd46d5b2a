// session.cpp -- one CAD session: the current session, its drawing and
// what commands do to it (entities added and erased, undo marks), the output
// of the command line, and the run's outcome.  The input, the command line,
// add-on calls, selections, variables and prompts have files of their own.
#include <algorithm>
#include <chrono>

#include <unistd.h>

#include "sds.h"
#include "session_impl.h"
#include "variables.h"

namespace velmora {

static Session *g_current = nullptr;

Session::Session() : p_(new Impl)
{
    p_->start_mark = p_->mark_now();
    p_->previous_session = g_current;
    g_current = this;
    init_variables(*this);
}

Session::~Session()
{
    if (p_->call.args)
        sds_relrb(p_->call.args);
    if (g_current == this)
        g_current = p_->previous_session;
}

Session *Session::current() { return g_current; }

SessionInside::Impl *SessionInside::current()
{
    return g_current ? g_current->p_.get() : nullptr;
}

// ---- The drawing ------------------------------------------------------------------

Drawing &Session::drawing() { return p_->drawing; }

void Session::set_drawing(Drawing d)
{
    p_->drawing = std::move(d);
    p_->marks.clear();
    p_->erase_log.clear();
    p_->previous.reset();
    p_->start_mark = p_->mark_now();
}

void Session::set_drive_c(const std::string &dir) { p_->drive_c = dir; }
void Session::set_work_dir(const std::string &dir) { p_->work_dir = dir; }
const std::string &Session::file_name() const { return p_->file_name; }
void Session::set_file_name(const std::string &path) { p_->file_name = path; }

Entity &Session::add_entity(Entity e)
{
    Drawing &d = p_->drawing;
    e.layer = d.make_layer(d.current_layer).name;
    e.colour = d.current_colour;
    return d.add(std::move(e));
}

Entity &Session::add_entity(const Name &type)
{
    Drawing &d = p_->drawing;
    Entity &e = d.entities.emplace_back();
    e.id = d.next_id++;
    e.type = type;
    e.layer = d.make_layer(d.current_layer).name;
    e.colour = d.current_colour;
    return e;
}

void Session::erase(const std::vector<std::uint64_t> &ids)
{
    // Runs of consecutive ids are logged as runs, made in this call only
    // (a mark taken before it holds the log's length).
    std::vector<std::uint64_t> &log = p_->erase_log;
    const std::uint64_t run = Impl::erase_run;
    const std::size_t none = (std::size_t)-1;
    std::size_t lone = none, in_run = none;   // this call's last entry, a lone id or a run
    for (auto id : ids) {
        Entity *e = p_->drawing.find(id);
        if (!e || e->erased)
            continue;
        e->erased = true;
        if (in_run != none && (log[in_run] & ~run) + log[in_run + 1] == id) {
            log[in_run + 1]++;
        } else if (lone != none && log[lone] + 1 == id) {
            log[lone] |= run;
            log.push_back(2);
            in_run = lone;
            lone = none;
        } else {
            log.push_back(id);
            lone = log.size() - 1;
            in_run = none;
        }
    }
}

std::string Session::native_path(const std::string &path) const
{
    std::string p = path;
    std::replace(p.begin(), p.end(), '\\', '/');
    if (p.size() >= 2 && p[1] == ':' && (p[0] == 'c' || p[0] == 'C')) {
        std::string rest = p.substr(2);
        std::string root = p_->drive_c;
        if (!rest.empty() && rest[0] != '/')
            rest = "/" + rest;
        while (root.size() > 1 && root.back() == '/')
            root.pop_back();
        p = root + rest;
    }
    return p;
}

void Session::redraw() { p_->overlay.clear(); }
const std::vector<Overlay> &Session::overlay() const { return p_->overlay; }

// ---- Undo -------------------------------------------------------------------------

void Session::undo_mark() { p_->marks.push_back(p_->mark_now()); }

void Session::undo_back()
{
    p_->roll_back(p_->marks.empty() ? p_->start_mark : p_->marks.back());
}

Session::Impl::Mark Session::Impl::mark_now() const
{
    Mark mk;
    mk.entity_count = drawing.entities.size();
    mk.layer_count = drawing.layers.size();
    mk.erase_log_size = erase_log.size();
    mk.overlay_count = overlay.size();
    mk.mark_count = marks.size();
    mk.layer = drawing.current_layer;
    mk.colour = drawing.current_colour;
    return mk;
}

// Restores the entities erased since the mark, drops what was added since
// (entities, layers, temporary vectors, later marks and the mark itself) and
// makes its layer and colour current again.
void Session::Impl::roll_back(const Mark &mk)
{
    Drawing &d = drawing;
    for (std::size_t i = mk.erase_log_size; i < erase_log.size(); i++) {
        std::uint64_t first = erase_log[i] & ~erase_run, count = 1;
        if (erase_log[i] & erase_run)
            count = erase_log[++i];
        for (std::uint64_t id = first; id < first + count; id++)
            if (Entity *e = d.find(id))
                e->erased = false;
    }
    erase_log.resize(std::min(erase_log.size(), mk.erase_log_size));
    if (d.entities.size() > mk.entity_count)
        d.entities.resize(mk.entity_count);
    if (d.layers.size() > mk.layer_count)
        d.layers.resize(mk.layer_count);
    if (overlay.size() > mk.overlay_count)
        overlay.resize(mk.overlay_count);
    if (marks.size() > mk.mark_count)
        marks.resize(mk.mark_count);
    d.current_layer = mk.layer;
    d.current_colour = mk.colour;
}

// ---- Output -----------------------------------------------------------------------

void Session::Impl::write_out(const std::string &text)
{
    std::fwrite(text.data(), 1, text.size(), out.echo);
    if (text.find_first_of("\n\r") != std::string::npos || in.more)
        std::fflush(out.echo);
}

void Session::Impl::out_text(const std::string &text)
{
    if (text.empty())
        return;
    out.last_char = text.back();
    if (!out.echo) {
        out.kept += text;
        return;
    }
    if (out.echo_is_terminal < 0)
        out.echo_is_terminal = isatty(fileno(out.echo)) ? 1 : 0;
    bool progress = text.find('\r') != std::string::npos && text.find('\n') == std::string::npos;
    if (out.echo_is_terminal || !progress) {
        if (!out.progress.empty())
            write_out(out.progress);   // the last progress line before this text
        out.progress.clear();
        write_out(text);
        return;
    }
    double now = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    if (now - out.progress_written_at >= 1.0) {
        write_out(text);
        out.progress.clear();
        out.progress_written_at = now;
    } else {
        out.progress = text;
    }
}

void Session::print(const std::string &text) { p_->out_text(text); }
void Session::set_output(std::FILE *stream) { p_->out.echo = stream; }

std::string Session::take_output()
{
    std::string s;
    s.swap(p_->out.kept);
    return s;
}

void Session::end_line()
{
    if (p_->out.last_char != '\n')
        print("\n");
    else if (!p_->out.progress.empty() && p_->out.echo)
        p_->write_out(p_->out.progress);
    p_->out.progress.clear();
}

const std::vector<std::string> &Session::command_log() const { return p_->line.log; }

// ---- The run's outcome --------------------------------------------------------------

void Session::Impl::fail(const std::string &reason)
{
    if (failed)
        return;
    failed = true;
    failure = "line " + std::to_string(in.word_line) + ": " + reason;
}

Feed Session::Impl::error(const std::string &message)
{
    last_error = message;
    out_text((out.last_char == '\n' ? "" : "\n") + message + "\n");
    return Feed::Fail;
}

bool Session::error(const std::string &message)
{
    p_->error(message);
    p_->fail(message);
    return false;
}

bool Session::failed() const { return p_->failed; }
const std::string &Session::failure_reason() const { return p_->failure; }
const std::string &Session::last_error() const { return p_->last_error; }

void Session::reset_failure()
{
    p_->failed = false;
    p_->failure.clear();
}

void Session::set_failure(const std::string &reason)
{
    p_->failed = true;
    p_->failure = reason;
}

void Session::set_user_break(bool on)
{
    p_->user_break = on;
    p_->break_after_polls = -1;
}

void Session::set_user_break_after(int polls) { p_->break_after_polls = polls; }

}  // namespace velmora
