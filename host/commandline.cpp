// commandline.cpp -- the host's command line: the command table, tokens
// into the command in progress, and the answers commands understand.
//
//   token ─► feed_line ─► no command in progress: the word names one in
//                         the table, which starts (or it is refused)
//                       ─► a command in progress: it takes the token
//                          (More, Done, or Fail with its message)
//
// A failure from the input fails the run (step(), run()); one from an
// add-on's sds_command fails that call only (RTERROR).
#include <cmath>
#include <map>

#include "session_impl.h"
#include "text.h"

#if defined(__SANITIZE_ADDRESS__)
#define VELMORA_PLAIN_COMMAND_MEMORY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMORA_PLAIN_COMMAND_MEMORY 1
#endif
#endif

namespace velmora {

#ifndef VELMORA_PLAIN_COMMAND_MEMORY
namespace {

// Blocks of commands that ended, by size, for the next commands.  The
// sanitizer build takes the plain allocator, which sees each block's life.
struct SpareBlock {
    void *block = nullptr;
    std::size_t size = 0;
};
SpareBlock spare_blocks[4];

}  // namespace
#endif

void *CommandMachine::operator new(std::size_t size)
{
#ifndef VELMORA_PLAIN_COMMAND_MEMORY
    for (SpareBlock &s : spare_blocks)
        if (s.block && s.size == size) {
            void *b = s.block;
            s.block = nullptr;
            return b;
        }
#endif
    return ::operator new(size);
}

void CommandMachine::operator delete(void *p, std::size_t size)
{
    (void)size;   // unused by the plain allocator
    if (!p)
        return;
#ifndef VELMORA_PLAIN_COMMAND_MEMORY
    for (SpareBlock &s : spare_blocks)
        if (!s.block) {
            s.block = p;
            s.size = size;
            return;
        }
#endif
    ::operator delete(p);   // unsized: clang leaves the sized form undeclared without -fsized-deallocation
}

namespace {

using Factory = std::function<std::unique_ptr<CommandMachine>(Session &)>;

struct Entry {
    Factory make;
    std::string summary, answers;
};

std::map<std::string, Entry> &table()
{
    static std::map<std::string, Entry> t;
    return t;
}

// A registered command: reads its answers itself, all at once.
class Registered : public CommandMachine {
public:
    explicit Registered(HostCommand fn) : fn_(std::move(fn)) {}
    Feed start(Session &s) override { return fn_(s) ? Feed::Done : Feed::Fail; }
    Feed feed(Session &, const Token &) override { return Feed::Done; }

private:
    HostCommand fn_;
};

// HELP: the commands with their one line each, or one command's answers.
class HelpCmd : public CommandMachine {
public:
    std::string prompt() const override { return "Enter a command name <list all>:"; }
    Feed feed(Session &s, const Token &t) override
    {
        if (t.kind != Token::Word)
            return refuse(s, "HELP: a command name is expected.");
        std::string name = lower(t.text);
        if (name.empty()) {
            std::string text = "\nCommands of the host:\n";
            for (const auto &[n, e] : table())
                text += "  " + pad(n) + e.summary + "\n";
            std::string addon;
            for (const auto &[n, code] : SessionInside::of(s).call.functions) {
                (void)code;
                addon += "  " + pad(n.compare(0, 2, "c:") == 0 ? n.substr(2) : "(" + n + ")") +
                         (n.compare(0, 2, "c:") == 0 ? "an add-on command" : "an add-on LISP function") + "\n";
            }
            if (!addon.empty())
                text += "Commands and functions of the add-on:\n" + addon;
            s.print(text + "help NAME tells a command's answers.\n");
            return Feed::Done;
        }
        auto it = table().find(name);
        if (it == table().end())
            return refuse(s, "HELP: there is no host command \"" + t.text + "\"; Enter lists them.");
        std::string text = "\n" + upper(name) + ": " + it->second.summary + "\n";
        if (!it->second.answers.empty())
            text += it->second.answers + "\n";
        s.print(text);
        return Feed::Done;
    }

private:
    static std::string pad(const std::string &n) { return n.size() < 12 ? n + std::string(12 - n.size(), ' ') : n + " "; }
};

// QUIT: the session ends here, as at the end of the input.
class QuitCmd : public CommandMachine {
public:
    Feed start(Session &s) override
    {
        SessionInside::Impl &m = SessionInside::of(s);
        if (m.line.pending)
            return refuse(s, "QUIT: the add-on cannot end the session.");
        m.drop_unread_input();
        m.in.more = nullptr;
        return Feed::Done;
    }
    Feed feed(Session &, const Token &) override { return Feed::Done; }
};

const CommandRow LINE_COMMANDS[] = {
    {"help", machine<HelpCmd>, "lists the commands; help NAME tells one command's answers",
     "A command name, or Enter for the list."},
    {"quit", machine<QuitCmd>, "ends the session, as the end of the input does (-o is then written)", ""},
};

}  // namespace

bool add_commands(const CommandRow *rows, std::size_t count)
{
    for (std::size_t i = 0; i < count; i++)
        table().emplace(rows[i].name, Entry{rows[i].make, rows[i].summary, rows[i].answers});
    return true;
}

void register_host_command(const std::string &name, HostCommand fn, const std::string &summary,
                           const std::string &answers)
{
    table()[lower(name)] = Entry{[fn](Session &) { return std::make_unique<Registered>(fn); }, summary, answers};
}

std::vector<std::string> command_names()
{
    std::vector<std::string> names;
    for (const auto &row : table())
        names.push_back(row.first);
    return names;
}

std::unique_ptr<CommandMachine> make_command(Session &s, const std::string &name)
{
    // An add-on starts the same command again and again (a 3DFACE for each
    // of a million pieces): the row found last is looked at first.  Rows are
    // added or replaced in place, never taken out, so it stays valid.
    static std::map<std::string, Entry>::const_iterator last = table().end();
    if (last == table().end() || last->first != name) {
        auto it = table().find(name);
        if (it == table().end())
            return nullptr;
        last = it;
    }
    return last->second.make(s);
}

namespace {
const bool line_commands_added = add_commands(LINE_COMMANDS, sizeof LINE_COMMANDS / sizeof *LINE_COMMANDS);
}

Feed refuse(Session &s, const std::string &message)
{
    SessionInside::Impl &m = SessionInside::of(s);
    m.error(message);
    if (!m.typing_answers())
        return Feed::Fail;
    // What else the user typed on that line was meant for the prompt just
    // refused: none of it runs.
    m.drop_unread_input();
    return Feed::More;
}

// ---- Answers --------------------------------------------------------------------

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

bool token_point(const Token &t, Vec3 &p)
{
    if (t.kind == Token::Point) {
        p = t.pt;
        return true;
    }
    return t.kind == Token::Word && parse_point(t.text, p);
}

bool parse_colour(const std::string &w, int &c)
{
    // Numbers 1-255, and 0 and 256 for BYBLOCK and BYLAYER: looked at first,
    // as an add-on sets a colour by number for each of thousands of pieces
    // (a whole number is no name, and one out of range is no colour).
    long long n;
    if (parse_int(w, n)) {
        if (n < 0 || n > 256)
            return false;
        c = (int)n;
        return true;
    }
    static const char *names[] = {"red", "yellow", "green", "cyan", "blue", "magenta", "white"};
    std::string l = lower(w);
    if (l == "bylayer") { c = 256; return true; }
    if (l == "byblock") { c = 0; return true; }
    for (int i = 0; i < 7; i++)
        if (l == names[i]) { c = i + 1; return true; }
    double r;
    if (parse_number(w, r) && r == std::floor(r) && r >= 0 && r <= 256) {
        c = (int)r;
        return true;
    }
    return false;
}

std::string number_word(double v)
{
    std::string s = format_real(v);
    if (s.size() > 2 && s.compare(s.size() - 2, 2, ".0") == 0)
        s.resize(s.size() - 2);
    return s;
}

std::string point_text(const Vec3 &p)
{
    return number_word(p.x) + "," + number_word(p.y) + "," + number_word(p.z);
}

// ---- Tokens into the command line --------------------------------------------------

bool Session::command(const std::vector<std::string> &words)
{
    TokenQueue q;
    for (const auto &w : words)
        q.push_back(Token::word(w));
    return p_->feed_tokens(*this, q);
}

bool Session::Impl::feed_tokens(Session &s, TokenQueue &q)
{
    TokenQueue *saved = line.pending;
    line.pending = &q;
    line.sds_command_depth++;
    bool ok = true;
    // Each token is read where it lies: nothing adds to this queue while it
    // is fed (an sds_command the command leads to has the next depth's).
    while (!q.empty()) {
        if (feed_line(s, q.take()) == Feed::Fail) {
            ok = false;
            break;
        }
    }
    q.clear();
    line.sds_command_depth--;
    line.pending = saved;
    return ok;
}

Feed Session::Impl::feed_line(Session &s, const Token &t)
{
    if (!line.active)
        return start_command(s, t);
    if (t.kind == Token::Word && t.text.size() == 8 && same_name(t.text, "*cancel*"))
        return cancel_command();
    // The machine may start a nested command line (a script); keep it alive.
    std::unique_ptr<CommandMachine> m = std::move(line.active);
    Feed r = m->feed(s, t);
    if (r == Feed::More) {
        line.active = std::move(m);
        in.asking_active = true;
    } else {
        line.active_name.clear();
        in.asking.clear();
        in.asking_active = false;
    }
    return r;
}

Feed Session::Impl::start_command(Session &s, const Token &t)
{
    if (t.kind != Token::Word)
        return error("A point or a selection set is not a command.");
    if (t.text.empty() || same_name(t.text, "*cancel*"))
        return Feed::Done;   // Enter, or nothing to cancel
    // The name folded to lower case in a string kept for the next command:
    // an add-on starts hundreds of thousands of them.
    std::string &name = line.command_word;
    name.assign(t.text);
    for (char &c : name)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    while (!name.empty() && (name[0] == '_' || name[0] == '.'))
        name.erase(0, 1);
    std::unique_ptr<CommandMachine> m = make_command(s, name);
    if (!m) {
        if (call.functions.count("c:" + name))
            return error("The command " + t.text + " cannot run inside another command.");
        return error("Unknown command \"" + t.text + "\".");
    }
    line.active = std::move(m);
    line.active_name.swap(name);   // what the scratch word holds after does not matter
    last_error.clear();
    in.asking.clear();
    in.asking_active = false;
    Feed r = line.active->start(s);
    if (r == Feed::Fail && last_error.empty())
        last_error = "The command " + t.text + " failed.";
    if (r != Feed::More) {
        line.active.reset();
        line.active_name.clear();
    } else {
        in.asking_active = true;
    }
    return r;
}

Feed Session::Impl::cancel_command()
{
    // Cancels the host command in progress: quietly when the add-on says
    // it, as a failure when it is an answer from the input.
    std::string name = line.active_name;
    line.active.reset();
    line.active_name.clear();
    if (line.pending)
        return Feed::Done;
    return error("*Cancel*: the command " + upper(name) + " was cancelled.");
}

}  // namespace velmora
