// The outcome of every add-on call as the host sees it: a command or LISP
// function that failed or was cancelled marks the call failed (so the host
// can undo it and stop the script), with the message's words as the reason;
// a good run and a warning do not.  The cases the program's exit status
// shows end to end are in test_outcome.py.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "addon_session.h"

namespace {

using velmora::Entity;
using vt::Outcome;

bool has(const std::string &text, const std::string &what) { return text.find(what) != std::string::npos; }

void add(vt::AddonSession &s, const std::vector<Entity> &ents)
{
    for (const auto &e : ents)
        s.drawing().add(e);
}

std::vector<Entity> three_points()
{
    return {vt::point(0, 0, 1), vt::point(10, 0, 2), vt::point(0, 10, 3)};
}

// The failure reason names what went wrong, and it was printed too.
void expect_failed(const Outcome &o, const std::string &reason)
{
    EXPECT_FALSE(o.ok) << o.out;
    EXPECT_TRUE(has(o.reason, reason)) << o.reason;
    EXPECT_TRUE(has(o.out, reason)) << o.out;
}

// A break or a *cancel*: the add-on prints its *Cancel*, and the host's
// reason says how the call ended.
void expect_stopped(const Outcome &o, const std::string &how)
{
    EXPECT_FALSE(o.ok) << o.out;
    EXPECT_TRUE(has(o.reason, how)) << o.reason;
    EXPECT_TRUE(has(o.out, "*Cancel*")) << o.out;
}

TEST(Outcome, TerrainFailuresAreKnownToTheHost)
{
    {
        vt::AddonSession s;
        Outcome o = vt::run_script(s, "velmora\n\n");
        expect_failed(o, "nothing selected");
        EXPECT_FALSE(has(o.out, "WRITEDXF")) << o.out;
    }
    {
        vt::AddonSession s;
        add(s, {vt::line({0, 0, 0}, {1, 1, 0}, 1)});
        expect_failed(vt::run_script(s, "velmora\nall\n\n"), "Missing POINT entities");
    }
    {
        vt::AddonSession s;
        std::vector<Entity> ents = three_points();
        ents.push_back(vt::line({0, 0, 1}, {10, 0, 2}, 300));
        add(s, ents);
        expect_failed(vt::run_script(s, "velmora\nall\n\n"), "LINE colour 300");
    }
    {
        // The library's own failure, and the command's line after it.
        vt::AddonSession s;
        add(s, {vt::point(0, 0, 0), vt::point(1, 1, 0), vt::point(2, 2, 0)});
        Outcome o = vt::run_script(s, "velmora\nall\n\n");
        expect_failed(o, "no first triangle: the points lie on one line");
        EXPECT_TRUE(has(o.out, "\n*** LIBVELMORA Error !")) << o.out;
    }
    {
        // A user break while the front grows.
        vt::AddonSession s;
        add(s, three_points());
        s.set_user_break_after(0);
        expect_stopped(vt::run_script(s, "velmora\nall\n\n"), "interrupted");
    }
}

TEST(Outcome, VolumeFailuresAndCancelsAreKnownToTheHost)
{
    {
        vt::AddonSession s;
        add(s, vt::box({0, 0, 0}, {10, 10, 10}));
        Outcome o = vt::run_script(s, "vol\n1\n\n");
        expect_failed(o, "nothing selected");
        EXPECT_FALSE(has(o.out, "WRITEDXF")) << o.out;
    }
    {
        vt::AddonSession s;
        add(s, three_points());
        expect_failed(vt::run_script(s, "vol\n1\nall\n\n"), "Missing 3DFACE or 3DMESH");
    }
    {
        // Ctrl-C while the grid is sampled.
        vt::AddonSession s;
        add(s, vt::box({0, 0, 0}, {10, 10, 10}));
        s.set_user_break_after(5);
        expect_stopped(vt::run_script(s, "vol\n1\nall\n\n"), "interrupted");
    }
}

TEST(Outcome, ColfeAnswersNilWhenItFails)
{
    const std::string colours = " '(1 2 3) '(4 5 6) '(7 8 9) '(10 11 12) '(13 14 15))\n";
    {
        vt::AddonSession s;
        Outcome o = vt::run_script(s, "(colfe '(0.0 15.0)" + colours + "\n");
        expect_failed(o, "nothing selected");
        EXPECT_TRUE(has(o.out, "\nnil\n")) << o.out;
    }
    {
        vt::AddonSession s;
        expect_failed(vt::run_script(s, "(colfe '(0.0 15.0) '(1 2 3))\n"), "colfe takes");
    }
}

TEST(Outcome, LispFunctionsFailOnlyWhenTheyRefuse)
{
    vt::AddonSession s;
    std::filesystem::create_directories(s.dir.file("haldorin"));
    expect_failed(vt::run_script(s, "(set_lim '(0 0 0))\n"), "set_lim");
    expect_failed(vt::run_script(s, "(ass)\n"), "c:\\haldorin\\ass.dat");

    // Answers that are no failure: nil from a test, no intersection, a sort.
    EXPECT_TRUE(vt::run_script(s, "(e_intre_lim '(5 5 5) '(6 5 5) '(5 6 5))\n").ok);
    vt::write_file(s.dir.file("haldorin/0.scr"), "0 0 0 1 0 0 0 1 0\n");
    vt::write_file(s.dir.file("haldorin/1.scr"), "5 5 5 6 5 5 5 6 5\n");
    Outcome o = vt::run_script(s, "(inters_ltri 1 1)\n");
    EXPECT_TRUE(o.ok) << o.reason;
    EXPECT_TRUE(has(o.out, "*** No intersection !")) << o.out;
    vt::write_file(s.dir.file("haldorin/ass.dat"), "2 5\nlemon\napple\n");
    EXPECT_TRUE(vt::run_script(s, "(ass)\n").ok);
}

// A warning informs and the run still counts as done.
TEST(Outcome, ASkippedConstraintLineIsOnlyAWarning)
{
    vt::AddonSession s;
    std::vector<Entity> ents = three_points();
    ents.push_back(vt::point(3, 3, 1));
    ents.push_back(vt::line({1, 1, 0}, {2, 1, 0}, 1));       // ends on no survey point
    add(s, ents);
    Outcome o = vt::run_script(s, "velmora\nall\n\n");
    EXPECT_TRUE(o.ok) << o.reason;
    EXPECT_TRUE(has(o.out, "*** LIBVELMORA Warning -  1 of 1 constraint lines skipped")) << o.out;
    EXPECT_TRUE(has(o.out, "triangles number=")) << o.out;
}

}  // namespace
