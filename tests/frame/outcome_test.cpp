// The outcome of every add-on call as the host sees it: a failed or cancelled command or LISP function marks the call
// failed, its message the reason; a good run and a warning do not.  (The script's stop: test_program.py.)
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "addon_session.h"

namespace {

using velmora::Entity;

bool has(const std::string &text, const std::string &what) { return text.find(what) != std::string::npos; }

TEST(Outcome, FailuresAndCancelsAreKnownToTheHostAndAnswersAreNot)
{
    const std::vector<Entity> none, three = {vt::point(0, 0, 1), vt::point(10, 0, 2), vt::point(0, 10, 3)};
    std::vector<Entity> bad_colour = three, skipped = three;
    bad_colour.push_back(vt::line({0, 0, 1}, {10, 0, 2}, 300));
    skipped.push_back(vt::point(3, 3, 1));
    skipped.push_back(vt::line({1, 1, 0}, {2, 1, 0}, 1));       // ends on no survey point
    const std::string colours = " '(1 2 3) '(4 5 6) '(7 8 9) '(10 11 12) '(13 14 15))\n";
    const std::vector<std::pair<std::string, std::string>> tris = {{"haldorin/0.scr", "0 0 0 1 0 0 0 1 0\n"},
                                                                   {"haldorin/1.scr", "5 5 5 6 5 5 5 6 5\n"}};
    enum { FAILED, STOPPED, DONE };
    struct Case {
        std::vector<Entity> ents;
        long break_after;       // a user break after so many polls; -1 none
        std::string script;
        int end;
        std::string reason;     // FAILED: in the reason and printed; STOPPED: in the reason
        std::string printed;    // also printed (FAILED, DONE)
        std::vector<std::pair<std::string, std::string>> files;
    } cases[] = {
        {none, -1, "velmora\n\n", FAILED, "nothing selected", "", {}},
        {{vt::line({0, 0, 0}, {1, 1, 0}, 1)}, -1, "velmora\nall\n\n", FAILED, "Missing POINT entities", "", {}},
        {bad_colour, -1, "velmora\nall\n\n", FAILED, "LINE colour 300", "", {}},
        // the library's own failure, and the command's line after it
        {{vt::point(0, 0, 0), vt::point(1, 1, 0), vt::point(2, 2, 0)}, -1, "velmora\nall\n\n", FAILED,
         "no first triangle: the points lie on one line", "\n*** LIBVELMORA Error !", {}},
        {three, 0, "velmora\nall\n\n", STOPPED, "interrupted", "", {}},           // while the front grows
        // a warning informs and the run still counts as done
        {skipped, -1, "velmora\nall\n\n", DONE, "", "*** LIBVELMORA Warning -  1 of 1 constraint lines skipped", {}},
        {vt::box({0, 0, 0}, {10, 10, 10}), -1, "vol\n1\n\n", FAILED, "nothing selected", "", {}},
        {three, -1, "vol\n1\nall\n\n", FAILED, "Missing 3DFACE or 3DMESH", "", {}},
        {vt::box({0, 0, 0}, {10, 10, 10}), 5, "vol\n1\nall\n\n", STOPPED, "interrupted", "", {}},   // sampling
        {vt::box({0, 0, 0}, {10, 10, 10}), -1, "vol\n*cancel*\n", STOPPED, "the command vol was cancelled", "", {}},
        {none, -1, "(colfe '(0.0 15.0)" + colours + "\n", FAILED, "nothing selected", "\nnil\n", {}},
        {none, -1, "(colfe '(0.0 15.0) '(1 2 3))\n", FAILED, "colfe takes", "", {}},
        {none, -1, "(set_lim '(0 0 0))\n", FAILED, "set_lim", "", {}},
        {none, -1, "(ass)\n", FAILED, "c:\\haldorin\\ass.dat", "", {}},
        // counts no file could hold, and no file: refused before memory is taken
        {none, -1, "(inters_ltri 2147483647 2147483647)\n", FAILED, "OPEN c:/haldorin/0.scr", "", {}},
        // answers that are no failure: nil from a test, no intersection, a sort
        {none, -1, "(e_intre_lim '(5 5 5) '(6 5 5) '(5 6 5))\n", DONE, "", "nil", {}},
        {none, -1, "(inters_ltri 1 1)\n", DONE, "", "*** No intersection !", tris},
        {none, -1, "(ass)\n", DONE, "", "", {{"haldorin/ass.dat", "2 5\nlemon\napple\n"}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.script);
        vt::AddonSession s;
        std::filesystem::create_directories(s.dir.file("haldorin"));
        for (const auto &[name, text] : c.files)
            vt::write_file(s.dir.file(name), text);
        for (const auto &e : c.ents)
            s.drawing().add(e);
        if (c.break_after >= 0)
            s.set_user_break_after(c.break_after);
        vt::Outcome o = vt::run_script(s, c.script);
        EXPECT_EQ(o.ok, c.end == DONE) << o.reason << o.out;
        EXPECT_TRUE(has(o.reason, c.reason)) << o.reason;
        EXPECT_TRUE(has(o.out, c.end == STOPPED ? "*Cancel*" : c.end == FAILED ? c.reason : c.printed)) << o.out;
        EXPECT_TRUE(has(o.out, c.printed)) << o.out;
        EXPECT_FALSE(has(o.out, "WRITEDXF")) << o.out;
    }
}

}  // namespace
