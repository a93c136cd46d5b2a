// The host's session: the command line and its commands, selections, prompts,
// LISP values and system variables, driven in-process with handlers of our own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "addon_session.h"
#include "sds.h"
#include "session.h"
#include "session_access.h"
#include "lisp_values.h"

using velmora::Entity;
using velmora::Session;

namespace {

// A session with functions of the test's own, called through dispatch.
struct Host {
    Session s;
    vt::TempDir dir;
    std::map<int, std::function<void()>> handlers;

    Host()
    {
        s.set_drive_c(dir.path());
        s.set_dispatch([this](int code) { handlers.at(code)(); });
    }
    // Runs script text to its end (or its first failure).
    bool run(const std::string &script)
    {
        s.input(script);
        return s.run();
    }
    void define(const char *name, int code, std::function<void()> fn)
    {
        ASSERT_EQ(sds_defun(name, (short)code), RTNORM);
        handlers[code] = std::move(fn);
    }
    std::vector<const Entity *> live(const std::string &type = "") { return vt::live(s, type); }
};

const sds_point P1 = {0, 0, 1}, P2 = {10, 0, 2}, P3 = {10, 10, 3}, P4 = {0, 10, 4};

bool near(const velmora::Vec3 &p, const double *q) { return p.x == q[0] && p.y == q[1] && p.z == q[2]; }

}  // namespace

TEST(CommandLine, FaceDialogueInOneCallOrManyGivesTheSameFaces)
{
    Host b;
    // One call: a triangle (empty fourth corner) then Enter.
    ASSERT_EQ(sds_command(RTSTR, "3DFACE", RT3DPOINT, P1, RT3DPOINT, P2, RT3DPOINT, P3, RTSTR, "", RTSTR, "", RTNONE),
              RTNORM);
    // Many calls, as the colouring sends them: hidden edges 1-2 and 3-4.
    const std::pair<const char *, const double *> calls[] = {{"3dface", nullptr}, {"i", nullptr}, {nullptr, P1},
                                                            {nullptr, P2}, {"I", nullptr}, {nullptr, P3},
                                                            {nullptr, P4}, {"", nullptr}};
    for (auto [word, p] : calls)
        ASSERT_EQ(word ? sds_command(RTSTR, word, RTNONE) : sds_command(RT3DPOINT, p, RTNONE), RTNORM);

    auto faces = b.live("3DFACE");
    ASSERT_EQ(faces.size(), 2u);
    EXPECT_TRUE(near(faces[0]->pts[2], P3));
    EXPECT_TRUE(near(faces[0]->pts[3], P3));  // a three-sided face repeats the third corner
    EXPECT_EQ(faces[0]->face_hidden, 0);
    EXPECT_TRUE(near(faces[1]->pts[3], P4));
    EXPECT_EQ(faces[1]->face_hidden, 1 | 4);
    ASSERT_EQ(b.s.command_log().size(), 9u);
    EXPECT_EQ(b.s.command_log()[0], "3DFACE 0,0,1 10,0,2 10,10,3 \"\" \"\"");
    EXPECT_EQ(b.s.command_log()[2], "i");

    // Typed in a script: after four corners the next face starts from the
    // last two, "i" hiding the edge its next corner starts.
    ASSERT_TRUE(b.run("3dface 0,0 1,0 1,1 0,1 1,2 i 0,2\n\n"));
    faces = b.live("3DFACE");
    ASSERT_EQ(faces.size(), 4u);
    const Entity &f = *faces[3];
    EXPECT_TRUE(f.pts[0].x == 1 && f.pts[0].y == 1 && f.pts[1].x == 0 && f.pts[1].y == 1);
    EXPECT_EQ(f.pts[3].y, 2);
    EXPECT_EQ(f.face_hidden, 8);  // "i" before the fourth corner
}

TEST(CommandLine, LayerColourAndPointGoOnTheNewEntitiesAndBadAnswersFailTheCall)
{
    Host h;
    EXPECT_EQ(sds_command(RTSTR, "LAYER", RTSTR, "MAKE", RTSTR, "TRIANG", RTSTR, "", 0), RTNORM);
    EXPECT_EQ(sds_command(RTSTR, "COLOR", RTSTR, "2", 0), RTNORM);
    EXPECT_EQ(sds_command(RTSTR, "point", RT3DPOINT, P2, 0), RTNORM);
    ASSERT_TRUE(h.run("layer make Other\n\ncolor bylayer\npoint 1,2,3\n"));
    auto pts = h.live("POINT");
    ASSERT_EQ(pts.size(), 2u);
    EXPECT_EQ(pts[0]->layer, "TRIANG");
    EXPECT_EQ(pts[0]->colour, 2);
    EXPECT_EQ(pts[1]->layer, "Other");
    EXPECT_EQ(pts[1]->colour, 256);
    EXPECT_EQ(h.s.drawing().current_layer, "Other");
    // "layer make triang" finds the layer whatever the case.
    ASSERT_TRUE(h.run("LAYER M triang\n\n"));
    EXPECT_EQ(h.s.drawing().current_layer, "TRIANG");

    // Layer names of up to 255 characters.
    EXPECT_EQ(sds_command(RTSTR, "LAYER", RTSTR, "MAKE", RTSTR, std::string(255, 'L').c_str(), RTSTR, "", 0), RTNORM);
    EXPECT_EQ(sds_command(RTSTR, "LAYER", RTSTR, "MAKE", RTSTR, std::string(256, 'L').c_str(), RTSTR, "", 0), RTERROR);

    // Bad answers fail the call.
    EXPECT_EQ(sds_command(RTSTR, "COLOR", RTSTR, "300", 0), RTERROR);
    EXPECT_EQ(sds_command(RTSTR, "frobnicate", 0), RTERROR);
    EXPECT_EQ(sds_command(RTSTR, "3DFACE", RTSTR, "nowhere", 0), RTERROR);
    // The failed command is gone: the next call starts afresh.
    EXPECT_EQ(sds_command(RTSTR, "point", RTSTR, "1,1", 0), RTNORM);
    EXPECT_FALSE(h.s.failed());  // add-on calls fail on their own, the run goes on
    // An unknown word in a script stops the run: test_program.py.
}

TEST(CommandLine, ScriptsFromTheAddOnRunAtOnceAndTypedOnesRunTheirLinesNext)
{
    Host h;
    vt::write_file(h.dir.file("2.scr"),
                   "color 3\nlayer make 3dint\n\n3dpoly\n0.0,0.0,1.0\n1.0,0.0,2.0\n1.0,1.0,2.5\n\n"
                   "color 4\nlayer make 3dint\n\n3dpoly\n5,5,5\n6,6,6\n\n");
    EXPECT_EQ(sds_command(RTSTR, "script", RTSTR, "c:/2.scr", RTNONE), RTNORM);
    std::remove(h.dir.file("2.scr").c_str());  // the add-on deletes it at once
    auto polys = h.live("POLYLINE");
    ASSERT_EQ(polys.size(), 2u);
    EXPECT_EQ(polys[0]->layer, "3dint");
    EXPECT_EQ(polys[0]->colour, 3);
    EXPECT_EQ(polys[0]->pts.size(), 3u);
    EXPECT_EQ(polys[0]->poly_flags & 8, 8);
    EXPECT_EQ(polys[1]->colour, 4);
    EXPECT_EQ(polys[1]->pts[1].z, 6);
    EXPECT_EQ(sds_command(RTSTR, "script", RTSTR, "c:\\missing.scr", RTNONE), RTERROR);

    // Typed at the command line, a script's lines run next, add-on commands too.
    int calls = 0;
    h.define("c:count", 1, [&] { calls++; });
    vt::write_file(h.dir.file("inner.scr"), "point 1,1\ncount\r\n3dpoly 0,0,0 1,0,0 1,1,0 c\n");
    ASSERT_TRUE(h.run("script inner\npoint 2,2\n"));
    EXPECT_EQ(calls, 1);
    auto pts = h.live("POINT");
    ASSERT_EQ(pts.size(), 2u);
    EXPECT_EQ(pts[1]->pts[0].x, 2);  // after the script's lines
    polys = h.live("POLYLINE");
    ASSERT_EQ(polys.size(), 3u);
    EXPECT_EQ(polys[2]->poly_flags, 8 | 1);
}

TEST(Selection, AnswersBuildTheSetAndFiltersNarrowIt)
{
    Host h;
    ASSERT_TRUE(h.run("layer make A\n\npoint 1,1\npoint 5,5\nlayer make B\n\npoint 9,9\nline 0,0 20,0\n\n"
                      "3dpoly 30,0 40,0 40,10 c\n"));
    auto count = [&](const std::string &answers, const resbuf *filter = nullptr) {
        h.s.input(answers);
        sds_name ss;
        if (sds_ssget(nullptr, nullptr, nullptr, filter, ss) != RTNORM)
            return -1;
        int32_t n = 0;
        sds_sslength(ss, &n);
        sds_ssfree(ss);
        return (int)n;
    };
    EXPECT_EQ(count("all\n\n"), 5);
    EXPECT_EQ(count("w 0,0 6,6\n\n"), 2);
    EXPECT_EQ(count("c 0,-1 1,1\n\n"), 2);        // the point at 1,1 and the crossing line
    EXPECT_EQ(count("w 0,-1 1,1\n\n"), 1);        // a window wants the whole line: only the point
    EXPECT_EQ(count("c 34.5,4 35.5,6\n\n"), 1);   // the polyline's closing side alone crosses it
    EXPECT_EQ(count("c 33,5 35,8\n\n"), 1);       // that side touches only the corner 35,5
    EXPECT_EQ(count("all\nremove\nlayer a\n\n"), 3);
    EXPECT_EQ(count("previous\n\n"), 3);
    EXPECT_EQ(count("last\n\n"), 1);
    EXPECT_EQ(count("all\nremove\ntype p?int,3DF*\n\n"), 2);   // wildcards, alternatives
    EXPECT_EQ(count("\n"), -1);                   // nothing selected
    resbuf *f = sds_buildlist(RTDXF0, "POINT", 8, "B", RTNONE);
    EXPECT_EQ(count("all\n\n", f), 1);
    sds_relrb(f);
    EXPECT_FALSE(h.s.failed());
    EXPECT_EQ(count("everything\n"), -1);         // not an answer: the run fails
    EXPECT_TRUE(h.s.failed());
}

TEST(Selection, EraseTakesASetFromTheAddOnAndUndoBackRestores)
{
    Host h;
    ASSERT_TRUE(h.run("point 1,1\nundo mark\npoint 2,2\npoint 3,3\n"));
    h.s.input("w 1.5,1.5 2.5,2.5\n\n");
    sds_name ss;
    ASSERT_EQ(sds_ssget(nullptr, nullptr, nullptr, nullptr, ss), RTNORM);
    EXPECT_EQ(sds_command(RTSTR, "erase", RTPICKS, ss, RTSTR, "", RTNONE), RTNORM);
    EXPECT_EQ(h.live().size(), 2u);
    ASSERT_TRUE(h.run("erase all\n\n"));
    EXPECT_EQ(h.live().size(), 0u);
    ASSERT_TRUE(h.run("undo back\n"));
    auto left = h.live();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0]->pts[0].x, 1);

    // Entity names, one per call and out of drawing order, with one taken back:
    // exactly the others go, and no name leaves a set (even one nothing takes).
    ASSERT_TRUE(h.run("point 4,4\npoint 5,5\npoint 6,6\npoint 7,7\n"));
    std::vector<std::uint64_t> ids;
    for (const Entity *e : h.live())
        ids.push_back(e->id);
    ASSERT_EQ(ids.size(), 5u);
    std::size_t sets = velmora::SessionAccess::selection_sets(h.s);
    EXPECT_EQ(sds_command(RTSTR, "erase", RTNONE), RTNORM);
    for (int i : {4, 1, 3, 2}) {
        sds_name n = {(std::int64_t)ids[i], 0};
        EXPECT_EQ(sds_command(RTENAME, n, RTNONE), RTNORM);
    }
    sds_name back = {(std::int64_t)ids[3], 0};
    EXPECT_EQ(sds_command(RTSTR, "r", RTENAME, back, RTSTR, "", RTNONE), RTNORM);
    left = h.live();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0]->pts[0].x, 1);
    EXPECT_EQ(left[1]->pts[0].x, 6);
    EXPECT_EQ(sds_command(RTENAME, back, RTNONE), RTERROR);
    EXPECT_EQ(velmora::SessionAccess::selection_sets(h.s), sets);
}

TEST(Prompts, DistanceAnswersEnterCancelAndRefusedValues)
{
    Host h;
    double d = -1;
    h.s.input("\n");
    EXPECT_NE(sds_getdist(nullptr, "inc: ", &d), RTNORM);  // Enter keeps the default
    EXPECT_EQ(d, -1);
    h.s.input("0\n-2\nabc\n2.5\n");
    sds_initget(6, nullptr);
    EXPECT_EQ(sds_getdist(nullptr, "inc: ", &d), RTNORM);
    EXPECT_EQ(d, 2.5);
    h.s.input("0,0 3,4\n");
    EXPECT_EQ(sds_getdist(nullptr, nullptr, &d), RTNORM);
    EXPECT_EQ(d, 5);
    h.s.input("*cancel*\n");
    EXPECT_EQ(sds_getdist(nullptr, nullptr, &d), RTCAN);
    EXPECT_FALSE(h.s.failed());
    EXPECT_EQ(sds_getdist(nullptr, nullptr, &d), RTCAN);  // the input has ended
    EXPECT_TRUE(h.s.failed());
}

TEST(Variables, ReadAndSet)
{
    Host h;
    ASSERT_TRUE(h.run("point 1,2,3\npoint -1,5,0\n"));
    resbuf v;
    ASSERT_EQ(sds_getvar("extmin", &v), RTNORM);
    EXPECT_EQ(v.restype, RT3DPOINT);
    EXPECT_EQ(v.resval.rpoint[0], -1);
    ASSERT_EQ(sds_getvar("EXTMAX", &v), RTNORM);
    EXPECT_EQ(v.resval.rpoint[1], 5);
    ASSERT_EQ(sds_getvar("acadver", &v), RTNORM);
    ASSERT_EQ(v.restype, RTSTR);
    EXPECT_NE(std::strncmp(v.resval.rstring, "14", 2), 0);
    free(v.resval.rstring);
    ASSERT_EQ(sds_getvar("DRIVEC", &v), RTNORM);
    EXPECT_EQ(std::string(v.resval.rstring), h.dir.path());
    free(v.resval.rstring);

    resbuf zero{};                                  // a long 0
    zero.restype = RTLONG;
    EXPECT_EQ(sds_setvar("cmdecho", &zero), RTNORM);
    ASSERT_EQ(sds_getvar("CMDECHO", &v), RTNORM);
    EXPECT_EQ(v.restype, RTSHORT);
    EXPECT_EQ(v.resval.rint, 0);
    EXPECT_EQ(sds_command(RTSTR, "setvar", RTSTR, "OSMODE", RTSTR, "5", 0), RTNORM);
    ASSERT_EQ(sds_getvar("osmode", &v), RTNORM);
    EXPECT_EQ(v.resval.rint, 5);
    EXPECT_EQ(sds_command(RTSTR, "setvar", RTSTR, "OSMODE", RTSTR, "32767", 0), RTNORM);   // its range's ends
    EXPECT_EQ(sds_command(RTSTR, "setvar", RTSTR, "OSMODE", RTSTR, "32768", 0), RTERROR);
    EXPECT_EQ(sds_command(RTSTR, "setvar", RTSTR, "nosuch", RTSTR, "1", 0), RTERROR);
    EXPECT_EQ(sds_getvar("nosuch", &v), RTERROR);
    EXPECT_EQ(sds_command(RTSTR, "ucs", RTSTR, "", 0), RTNORM);
    EXPECT_EQ(sds_command(RTSTR, "ucs", RTSTR, "origin", 0), RTERROR);
}

TEST(Lisp, CallsPassLiteralArgumentsAndPrintResultsAndMalformedOnesAreRefused)
{
    Host h;
    std::vector<int> types;
    h.define("args", 1, [&] {
        resbuf *a = sds_getargs();
        for (resbuf *r = a; r; r = r->rbnext)
            types.push_back(r->restype);
        // Echo them back as a list.
        sds_retlist(a);
        sds_relrb(a);
    });
    h.define("half", 2, [] {
        resbuf *a = sds_getargs();
        sds_retreal(a ? a->resval.rreal / 2 : 0);
        sds_relrb(a);
    });
    h.define("c:cmd", 3, [] { sds_retvoid(); });
    h.define("nothing", 4, [] {});

    std::string r = h.s.call_lisp("(args 7 70000 1.5 \"a \\\"q\\\"\" '(1 2 3) '(4 5) '(1 \"x\" (2 3)) T nil)");
    EXPECT_EQ(types, (std::vector<int>{RTSHORT, RTLONG, RTREAL, RTSTR, RT3DPOINT, RTPOINT, RTLB, RTSHORT, RTSTR,
                                       RTPOINT, RTLE, RTT, RTNIL}));
    EXPECT_EQ(r, "(7 70000 1.5 \"a \\\"q\\\"\" (1.0 2.0 3.0) (4.0 5.0) (1 \"x\" (2.0 3.0)) T nil)");
    EXPECT_EQ(h.s.call_lisp("(half 3.0)"), "1.5");   // the forms of reals: RealsAreWritten... below
    EXPECT_EQ(h.s.call_lisp("(nothing)"), "nil");

    // From the input: the value on a line of its own; a void value prints nothing.
    h.s.take_output();
    // An expression may run over several lines.
    ASSERT_TRUE(h.run("(half\n  5.0)\ncmd\n(c:cmd)\n(nothing)\n"));
    EXPECT_EQ(h.s.take_output(), "2.5\nnil\n");

    EXPECT_FALSE(h.run("(half (half 2))\n"));
    h.s.reset_failure();
    EXPECT_FALSE(h.run("(nosuch 1)\n"));

    // Malformed expressions are refused with a message.
    for (const char *bad : {"(f 1", "(f \"open)", "(f x)", "(f '(1 2)) extra", "()"}) {
        try {
            velmora::parse_lisp_call(bad);
            ADD_FAILURE() << bad << " was accepted";
        } catch (const velmora::LispError &e) {
            EXPECT_FALSE(e.message.empty());
        }
    }
    velmora::LispCall c = velmora::parse_lisp_call("( F -3 +2.5e1 \"a\\nb\" '() 'nil )");
    EXPECT_EQ(c.name, "f");
    std::vector<std::string> printed;
    for (const auto &a : c.args)
        printed.push_back(velmora::lisp_print(a));
    EXPECT_EQ(printed, (std::vector<std::string>{"-3", "25.0", "\"a\\nb\"", "nil", "nil"}));
    EXPECT_EQ(velmora::format_real(1.0 / 3), "0.3333333333333333");   // as many digits as it takes
}

TEST(CommandLine, DxfoutWritesTheChosenEntitiesWithTheGivenDecimals)
{
    Host h;
    ASSERT_TRUE(h.run("point 1.23456,0\nlayer make L\n\npoint 2,2\nline 0,0 9.87654,1\n\n"));
    h.s.input("w -1,-1 3,3\n\n");
    sds_name ss;
    ASSERT_EQ(sds_ssget(nullptr, nullptr, nullptr, nullptr, ss), RTNORM);
    // As the add-on sends it; the path without extension gets ".dxf".
    EXPECT_EQ(sds_command(RTSTR, "dxfout", RTSTR, "c:\\exp", RTSTR, "v", RTSTR, "r12", RTSTR, "entities",
                          RTPICKS, ss, RTSTR, "", RTSTR, "2", RTNONE),
              RTNORM);
    auto got = velmora::load_dxf(h.dir.file("exp.dxf")).entities;
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].type, "POINT");
    EXPECT_DOUBLE_EQ(got[0].pts[0].x, 1.23);
    EXPECT_EQ(got[1].layer, "L");
    // The same dialogue spread over calls, with LAYER and erase in pieces too.
    EXPECT_EQ(sds_command(RTSTR, "DXFOUT", RTNONE), RTNORM);
    EXPECT_EQ(sds_command(RTSTR, "exp2.dxf", RTSTR, "v", RTNONE), RTNORM);
    EXPECT_EQ(sds_command(RTSTR, "R12", RTSTR, "Entities", RTPICKS, ss, RTNONE), RTNORM);
    EXPECT_EQ(sds_command(RTSTR, "", RTNONE), RTNORM);
    EXPECT_EQ(sds_command(RTSHORT, 2, RTNONE), RTNORM);
    EXPECT_EQ(velmora::load_dxf(h.dir.file("exp2.dxf")).entities.size(), 2u);
    for (const char *word : {"layer", "make", "Piece", ""})
        EXPECT_EQ(sds_command(RTSTR, word, RTNONE), RTNORM) << word;
    EXPECT_EQ(h.s.drawing().current_layer, "Piece");
    EXPECT_EQ(sds_command(RTSTR, "erase", RTPICKS, ss, RTNONE), RTNORM);
    EXPECT_EQ(h.live().size(), 3u);  // not before the selection ends
    EXPECT_EQ(sds_command(RTSTR, "", RTNONE), RTNORM);
    EXPECT_EQ(h.live().size(), 1u);
    // Every entity without "entities"; a version we do not write is refused.
    EXPECT_EQ(sds_command(RTSTR, "dxfout", RTSTR, "all.dxf", RTSTR, "", RTNONE), RTNORM);
    EXPECT_EQ(velmora::load_dxf(h.dir.file("all.dxf")).entities.size(), 1u);
    EXPECT_EQ(sds_command(RTSTR, "dxfout", RTSTR, "x.dxf", RTSTR, "v", RTSTR, "2018", RTNONE), RTERROR);
    // Decimal places from 0 to 16.
    EXPECT_EQ(sds_command(RTSTR, "dxfout", RTSTR, "d16.dxf", RTSTR, "16", RTNONE), RTNORM);
    EXPECT_EQ(sds_command(RTSTR, "dxfout", RTSTR, "d17.dxf", RTSTR, "17", RTNONE), RTERROR);
    EXPECT_FALSE(vt::file_exists(h.dir.file("d17.dxf")));
}

TEST(CommandLine, ANulByteEndsTheInputBeforeItsWordIsUsed)
{
    // Typed: the layer name with the NUL is never made, nothing after it runs.
    Host h;
    h.s.input(std::string("point 1,1\nlayer make A\0B\n\npoint 2,2\n", 36));
    EXPECT_FALSE(h.s.run());
    EXPECT_NE(h.s.failure_reason().find("NUL byte"), std::string::npos);
    EXPECT_EQ(h.live("POINT").size(), 1u);
    for (const auto &l : h.s.drawing().layers)
        EXPECT_EQ(l.name.find('\0'), std::string::npos);

    // A binary file given to SCRIPT stops the same way.
    Host g;
    vt::write_file(g.dir.file("bin.scr"), std::string("point 3,3\n\0\x01\x02point 4,4\n", 23));
    g.s.input("script bin\npoint 5,5\n");
    EXPECT_FALSE(g.s.run());
    EXPECT_NE(g.s.failure_reason().find("NUL byte"), std::string::npos);
    EXPECT_EQ(g.live("POINT").size(), 1u);
}


// Reals as written before to_chars: every precision tried with printf and read
// back with strtod, the reference the fast writer must match byte for byte.
static std::string plain_format_real(double v)
{
    if (std::isnan(v))
        return "nan";
    if (std::isinf(v))
        return v > 0 ? "1.#INF" : "-1.#INF";
    char buf[64];
    for (int prec = 1; prec <= 17; prec++) {
        std::snprintf(buf, sizeof buf, "%.*g", prec, v);
        if (std::strtod(buf, nullptr) == v) {
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
    if (s.find('.') == std::string::npos)
        s.insert(std::min(s.find_first_of("eE"), s.size()), ".0");   // 1 -> 1.0, 1e+20 -> 1.0e+20
    return s;
}

TEST(Lisp, RealsAreWrittenAsThePlainPrintfSearchWroteThem)
{
    std::vector<double> values = {0.0, -0.0, 1.0, 10.0, 100.0, 1e15, 1e16, 1e17, 9.999999999999999e15,
                                  1e-5, 9.99999e-6, 1e-4, 0.1, 0.5, 2.5, 0.125, 1e23, 5e-324, 2.2250738585072014e-308,
                                  1.7976931348623157e308, 123456789012345680.0, 4000136.407, 191.13580000000002,
                                  1.0 / 3, 2.0 / 3, 0.3, 9.5, 95.0, 0.95, std::nan(""), HUGE_VAL, -HUGE_VAL};
    std::mt19937_64 gen(14);
    std::uniform_int_distribution<std::uint64_t> bits;
    std::uniform_int_distribution<long> mm(-100000000, 100000000);
    std::uniform_int_distribution<int> scale(0, 6);
    for (int i = 0; i < 20000; i++) {
        std::uint64_t b = bits(gen);
        double any;
        std::memcpy(&any, &b, sizeof any);
        values.push_back(any);                                     // any bit pattern
        values.push_back(mm(gen) / std::pow(10.0, scale(gen)));    // survey-like decimals
        values.push_back(500000 + mm(gen) * 1e-3 * (1.0 / 3));     // long fractions
    }
    int differ = 0;
    for (double v : values)
        if (velmora::format_real(v) != plain_format_real(v) && ++differ <= 5)
            ADD_FAILURE() << std::hexfloat << v << ": " << velmora::format_real(v) << " vs " << plain_format_real(v);
    EXPECT_EQ(differ, 0);
}

// ---- The outcome of an add-on call ----------------------------------------------
// A call that fails (sds_fail), meets a *cancel* at a prompt or a user break is undone and fails the run.

namespace {

// A drawing with two points on layer 0, then a handler that erases both, makes a layer, changes the colour and draws.
struct Undoable : Host {
    Undoable() { EXPECT_TRUE(run("point 1,1\npoint 2,2\n")); }
    void mess_up()
    {
        EXPECT_EQ(sds_command(RTSTR, "erase", RTSTR, "w", RTSTR, "0,0", RTSTR, "1.5,1.5", RTSTR, "", RTNONE), RTNORM);
        EXPECT_EQ(sds_command(RTSTR, "erase", RTSTR, "all", RTSTR, "", RTNONE), RTNORM);
        EXPECT_EQ(sds_command(RTSTR, "layer", RTSTR, "make", RTSTR, "NEW", RTSTR, "", RTNONE), RTNORM);
        EXPECT_EQ(sds_command(RTSTR, "color", RTSTR, "4", RTNONE), RTNORM);
        EXPECT_EQ(sds_command(RTSTR, "point", RTSTR, "9,9", RTNONE), RTNORM);
        sds_grdraw(P1, P2, 1, 0);
    }
    void expect_as_before()
    {
        auto pts = live();
        ASSERT_EQ(pts.size(), 2u);
        EXPECT_EQ(pts[0]->pts[0].x, 1);   // the first one erased is back too
        EXPECT_EQ(pts[1]->pts[0].x, 2);
        EXPECT_EQ(s.drawing().current_layer, "0");
        EXPECT_EQ(s.drawing().current_colour, 256);
        EXPECT_EQ(s.drawing().layer("NEW"), nullptr);
        EXPECT_TRUE(s.overlay().empty());
    }
};

}  // namespace

TEST(CallOutcome, FailedCancelledOrInterruptedCallsAreUndoneAndStopTheScript)
{
    struct Case { const char *name, *script, *reason; std::function<void()> body; };
    double d;
    sds_name ss;
    std::vector<Case> cases = {
        {"fail", "fail\npoint 5,5\n", "line 3: the command fail failed: no good", [] { sds_fail("no good"); }},
        // The handler ignores the cancel: the host has seen it.
        {"dist", "dist\n*cancel*\npoint 5,5\n", "the command dist was cancelled",
         [&] { sds_getdist(nullptr, "Distance: ", &d); }},
        {"pick", "pick\n*CANCEL*\npoint 5,5\n", "the command pick was cancelled",
         [&] { sds_ssget(nullptr, nullptr, nullptr, nullptr, ss); }},
        {"brk", "brk\npoint 5,5\n", "the command brk was interrupted (Ctrl-C)",
         [&] {
             while (!sds_usrbrk()) {
             }
         }},
        // A Ctrl-C the handler never asks about fails the call all the same.
        {"deaf", "deaf\npoint 5,5\n", "the command deaf was interrupted (Ctrl-C)", [] { velmora::signal_user_break(); }},
        {"(half)", "(half)\npoint 5,5\n", "the function half failed: the add-on reported a failure",
         [] { sds_fail(nullptr); }},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        Undoable h;
        std::string n = c.name[0] == '(' ? "half" : std::string("c:") + c.name;
        h.define(n.c_str(), 1, [&] {
            h.mess_up();
            if (std::string(c.name) == "brk")
                h.s.set_user_break_after(3);
            c.body();
        });
        h.s.take_output();
        EXPECT_FALSE(h.run(c.script));
        EXPECT_NE(h.s.failure_reason().find(c.reason), std::string::npos) << h.s.failure_reason();
        EXPECT_NE(h.s.take_output().find("what it did was undone"), std::string::npos);
        h.expect_as_before();   // and the point after it was not drawn
    }
}

TEST(CallOutcome, GoodCallsKeepTheirWorkAndACancelOutsideACallIsNoFailure)
{
    Undoable h;
    double d = 0;
    h.define("c:ok", 1, [&] {
        h.mess_up();
        sds_usrbrk();                                  // no break: nothing happens
        sds_getdist(nullptr, "Distance: ", &d);       // answered
    });
    EXPECT_TRUE(h.run("ok\n2.5\n*cancel*\npoint 5,5\n")) << h.s.failure_reason();
    EXPECT_EQ(d, 2.5);
    EXPECT_EQ(h.live().size(), 2u);   // the call's point and the one after it
    EXPECT_EQ(h.s.drawing().current_layer, "NEW");
    // The next call starts afresh: an earlier sds_fail does not stick.
    h.define("c:bad", 2, [] { sds_fail("first"); sds_fail("second"); });
    EXPECT_FALSE(h.run("bad\n"));
    EXPECT_NE(h.s.failure_reason().find("first"), std::string::npos);
    h.s.reset_failure();
    EXPECT_TRUE(h.run("ok\n1\n")) << h.s.failure_reason();
    // In-process LISP calls are undone the same way.
    h.define("lfail", 3, [&] { h.mess_up(); sds_fail("no"); sds_retnil(); });
    size_t before = h.live().size();
    EXPECT_EQ(h.s.call_lisp("(lfail)"), "nil");
    EXPECT_TRUE(h.s.failed());
    EXPECT_EQ(h.live().size(), before);
}

TEST(CallOutcome, AnInteractiveSessionReportsAFailedCallAndGoesOn)
{
    Undoable h;
    h.define("c:fail", 1, [&] { h.mess_up(); sds_fail("no good"); });
    std::vector<std::string> lines = {"fail point 7,7\n", "point 8,8\n"};
    std::size_t next = 0;
    h.s.set_input_source(
        [&](std::string &line) {
            if (next == lines.size())
                return false;
            line = lines[next++];
            return true;
        },
        "\nCommand: ");
    h.s.take_output();
    EXPECT_TRUE(h.s.run());
    std::string out = h.s.take_output();
    EXPECT_NE(out.find("The command fail failed: no good; what it did was undone."), std::string::npos) << out;
    auto pts = h.live();
    ASSERT_EQ(pts.size(), 3u);          // rest of the failed line dropped, the next line run
    EXPECT_EQ(pts[2]->pts[0].x, 8);
}

// ---- Undo ---------------------------------------------------------------------

TEST(Undo, BackGoesToTheMarkOrTheStartAndRestoresEveryErasedEntity)
{
    Undoable h;
    ASSERT_TRUE(h.run("undo mark\n"));
    h.mess_up();
    ASSERT_TRUE(h.run("undo back\n"));
    h.expect_as_before();
    // One entity erased after a mark, on its own, comes back.
    ASSERT_TRUE(h.run("undo mark\nerase last\n\nundo back\n"));
    EXPECT_EQ(h.live().size(), 2u);
    // Marks nest; without one, back goes to the start of the session.
    ASSERT_TRUE(h.run("layer make A\n\nundo mark\npoint 3,3\nundo mark\nerase all\n\nundo back\n"));
    EXPECT_EQ(h.live().size(), 3u);
    ASSERT_TRUE(h.run("undo back\n"));
    EXPECT_EQ(h.live().size(), 2u);
    EXPECT_EQ(h.s.drawing().current_layer, "A");
    ASSERT_TRUE(h.run("erase all\n\nundo back\n"));
    EXPECT_EQ(h.live().size(), 0u);    // back to the start, which had none
    EXPECT_EQ(h.s.drawing().current_layer, "0");
    EXPECT_EQ(h.s.drawing().layer("A"), nullptr);
}

// ---- Scripts and Ctrl-C ---------------------------------------------------------

// A script that ends by running itself loops without nesting, until Ctrl-C: test_program.py (Signals).
TEST(Scripts, NestingIsLimitedAndCancelsEndHostCommands)
{
    Host h;
    int ticks = 0;
    velmora::register_host_command("tick", [&](Session &) {
        ticks++;
        return true;
    });
    // A script that runs itself before its end nests until the limit.
    vt::write_file(h.dir.file("deep.scr"), "tick\nscript deep\npoint 1,1\n");
    EXPECT_FALSE(h.run("script deep\n"));
    EXPECT_EQ(ticks, 32);
    EXPECT_NE(h.s.failure_reason().find("scripts nest at most 32 deep"), std::string::npos);
    // So does one an add-on runs at once.
    vt::write_file(h.dir.file("self.scr"), "script c:/self.scr\n");
    EXPECT_EQ(sds_command(RTSTR, "script", RTSTR, "c:/self.scr", RTNONE), RTERROR);
    EXPECT_NE(h.s.take_output().find("scripts nest at most 32 deep"), std::string::npos);
    // A host command cancelled from the input fails; one the add-on cancels does not.
    h.s.reset_failure();
    EXPECT_FALSE(h.run("line 0,0 1,1 *cancel*\n"));
    EXPECT_NE(h.s.failure_reason().find("LINE was cancelled"), std::string::npos) << h.s.failure_reason();
    EXPECT_EQ(sds_command(RTSTR, "line", RTSTR, "0,0", RTSTR, "*cancel*", RTNONE), RTNORM);
    EXPECT_EQ(sds_command(RTSTR, "*cancel*", RTNONE), RTNORM);   // no command to cancel
    EXPECT_EQ(sds_command(RTSTR, "point", RTSTR, "4,4", RTNONE), RTNORM);
}
