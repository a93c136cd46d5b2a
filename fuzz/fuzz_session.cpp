// fuzz_session.cpp -- the session's command line: script text read word by
// word, LISP expressions parsed into calls of the add-on, prompts and
// selections answered, host commands and add-on functions run.
//
// The input is a script.  It may fail anywhere (that is a message and a
// stop, never a crash); whatever it drew must then save and read back as the
// same drawing.
//
// Scripts name files (dxfout, script).  So that no input can reach a file
// outside the work folder, inputs holding a slash, a backslash or ".." are
// passed over; drive C: is the work folder.  The volume command is not run
// here: its grid follows the increment the script types, and a small one
// over a large face is a long run by design (its reader has a target of its
// own).
#include <cstdint>
#include <cstring>
#include <string>

#include "drawing.h"
#include "files.h"
#include "frame.h"
#include "fuzz_support.h"
#include "sds.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::string script((const char *)data, size);
    if (script.find_first_of("/\\") != std::string::npos || script.find("..") != std::string::npos)
        return 0;
    fz::Input input;
    fz::AddonSession s;
    int vol = s.functions().at("c:vol"), volume = s.functions().at("c:volume");
    s.set_dispatch([vol, volume](int code) {
        if (code == vol || code == volume)
            sds_fail("not run by this target");
        else
            frame_call_handler(code);
    });
    fz::run_script(s, script);

    std::string out = fz::path_of("session-drawing.dxf");
    velmora::Drawing back;
    try {
        velmora::write_file_atomically(out, velmora::dxf_text(s.drawing()));
        back = velmora::load_dxf(out);
    } catch (const velmora::DxfError &e) {
        fz::fail("the session's drawing does not save and read back: " + e.message);
    }
    std::string diff = fz::compare_drawings(s.drawing(), back, false);
    if (!diff.empty())
        fz::fail("the session's drawing reads back different: " + diff);
    return 0;
}
