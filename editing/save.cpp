// save.cpp -- SAVE and SAVEAS: the drawing written, in the version it was
// read in (R12 for a new one), through the host's safe save (a temporary
// file beside the target, synced and renamed over it).
//
//   save            to the drawing's file (the -o target, else the drawing opened)
//   save FILE       there, which becomes the drawing's file
//   saveas FILE     the same; a name is required
#include <string>

#include "commandline.h"
#include "files.h"
#include "session.h"

namespace velmora {
namespace {

class SaveCmd : public CommandMachine {
public:
    explicit SaveCmd(Session &s, bool as = false) : as_(as), current_(s.file_name()) {}
    std::string prompt() const override
    {
        return "Save drawing as" + (as_ || current_.empty() ? std::string() : " <" + current_ + ">") + ":";
    }
    Feed feed(Session &s, const Token &t) override
    {
        const char *name = as_ ? "SAVEAS" : "SAVE";
        if (t.kind != Token::Word)
            return refuse(s, std::string(name) + ": a file name is expected.");
        std::string path = t.text.empty() && !as_ ? current_ : s.native_path(t.text);
        if (path.empty())
            return refuse(s, std::string(name) + ": a file name is expected (the drawing has none yet).");
        std::size_t slash = path.find_last_of('/'), dot = path.find_last_of('.');
        if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
            path += ".dxf";
        try {
            write_file_atomically(path, dxf_text(s.drawing()));
        } catch (const DxfError &e) {
            return refuse(s, std::string(name) + ": " + e.message);
        }
        s.set_file_name(path);
        s.print("\nSaved " + path + ".\n");
        return Feed::Done;
    }

private:
    bool as_;
    std::string current_;
};

struct SaveAsCmd : SaveCmd {
    explicit SaveAsCmd(Session &s) : SaveCmd(s, true) {}
};

const CommandRow ROWS[] = {
    {"save", machine<SaveCmd>, "saves the drawing in its version (Enter: to the drawing's file)",
     "A file name, or Enter for the drawing's file (the -o target, else the\n"
     "drawing opened).  The file is replaced whole or not at all."},
    {"saveas", machine<SaveAsCmd>, "saves the drawing in its version under a new name, which becomes its file",
     "A file name (.dxf is added when it has no extension)."},
};

const bool added = add_commands(ROWS, sizeof ROWS / sizeof *ROWS);

}  // namespace
}  // namespace velmora
