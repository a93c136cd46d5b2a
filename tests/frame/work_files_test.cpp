// The add-on's work files: with a work folder from the host they go there, and a user's files of the same names stay
// byte for byte; without one they lie where they always did.  No command leaves one behind, however it ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "addon_session.h"

namespace fs = std::filesystem;

namespace {

using velmora::Entity;

const char *kColfe = "(colfe '(0.0 15.0) '(1 2 3) '(4 5 6) '(7 8 9) '(10 11 12) '(13 14 15))\n";

// A session with a private work folder, and a user's files named like the
// add-on's work files in the current folder (also the add-on's).
struct Private {
    vt::AddonSession s;
    std::string work;
    std::map<std::string, std::string> mine;

    Private()
    {
        work = s.dir.file("work");
        fs::create_directories(work);
        s.set_work_dir(work);
        for (const char *name : {"vol.dxf", "vol.bin", "colf.dxf", "velmora.dxf"}) {
            mine[name] = std::string("the user's own ") + name + "\n";
            vt::write_file(s.dir.file(name), mine[name]);
        }
    }
    // Everything still as the user left it, and the work folder empty.
    void expect_untouched(const std::string &what)
    {
        for (const auto &[name, text] : mine)
            EXPECT_EQ(vt::read_file(s.dir.file(name)), text) << what << ": " << name;
        EXPECT_TRUE(fs::is_empty(work)) << what;
    }
    bool exported_to(const std::string &name)
    {
        const auto &log = s.command_log();
        return std::any_of(log.begin(), log.end(), [&](const std::string &l) {
            return l.rfind("dxfout " + work + "/" + name + " ", 0) == 0;
        });
    }
};

void add(velmora::Session &s, const std::vector<Entity> &ents)
{
    for (const auto &e : ents)
        s.drawing().add(e);
}

TEST(WorkFiles, TerrainExportLivesInTheWorkFolder)
{
    Private p;
    add(p.s, {vt::point(0, 0, 1), vt::point(10, 0, 2), vt::point(0, 10, 3)});
    EXPECT_TRUE(vt::run_script(p.s, "velmora\nall\n\n").ok);
    EXPECT_TRUE(p.exported_to("velmora.dxf"));
    p.expect_untouched("a good run");

    // Failures after the export: a refused colour, a refused outline.
    add(p.s, {vt::line({0, 0, 1}, {10, 0, 2}, 300)});
    EXPECT_FALSE(vt::run_script(p.s, "velmora\nall\n\n").ok);
    p.expect_untouched("a bad colour");
    for (auto &e : p.s.drawing().entities)
        e.erased = e.type == "LINE";
    add(p.s, {vt::line({0, 0, 1}, {10, 0, 2}, 1)});
    EXPECT_FALSE(vt::run_script(p.s, "velmora\nall\n\n").ok);
    p.expect_untouched("an open outline");
    EXPECT_FALSE(vt::run_script(p.s, "velmora\n\n").ok);
    p.expect_untouched("nothing selected");
}

TEST(WorkFiles, VolumeFilesLiveInTheWorkFolder)
{
    Private p;
    add(p.s, vt::box({0, 0, 0}, {10, 10, 10}));
    EXPECT_TRUE(vt::run_script(p.s, "vol\n1\nall\n\n").ok);
    EXPECT_TRUE(p.exported_to("vol.dxf"));
    p.expect_untouched("a good run");

    EXPECT_FALSE(vt::run_script(p.s, "vol\n*cancel*\n").ok);
    p.expect_untouched("a cancelled prompt");
    p.s.set_user_break_after(20);
    EXPECT_FALSE(vt::run_script(p.s, "vol\n1\nall\n\n").ok);
    p.s.set_user_break(false);
    p.expect_untouched("Ctrl-C while sampling");
    for (auto &e : p.s.drawing().entities)                              // the bottom face alone
        e.erased = e.erased || e.type != "3DFACE" || e.pts[0].z != 0 || e.pts[2].z != 0;
    EXPECT_FALSE(vt::run_script(p.s, "vol\n1\nall\n\n").ok);
    p.expect_untouched("no volume");
}

TEST(WorkFiles, ColfeExportLivesInTheWorkFolder)
{
    Private p;
    add(p.s, {vt::face({0, 0, 1}, {10, 0, 2}, {0, 10, 3}, {0, 10, 3})});
    vt::Outcome o = vt::run_script(p.s, std::string(kColfe) + "all\n\n");
    EXPECT_TRUE(o.ok) << o.reason;
    EXPECT_TRUE(p.exported_to("colf.dxf"));
    p.expect_untouched("a good run");
    EXPECT_FALSE(vt::run_script(p.s, std::string(kColfe) + "\n").ok);
    p.expect_untouched("nothing selected");
}

// Without a work folder the files keep their old places, and a failed run
// removes them as a good one does (vol.dxf and vol.bin used to survive).
TEST(WorkFiles, WithoutAWorkFolderNoRunLeavesOneBehindAndAHugeGridIsRefused)
{
    vt::AddonSession s;
    auto left = [&] {
        std::vector<std::string> out;
        for (const char *name : {"vol.dxf", "vol.bin", "colf.dxf", "velmora.dxf"})
            if (vt::file_exists(s.dir.file(name)))
                out.push_back(name);
        return out;
    };
    add(s, {vt::face({0, 0, 1}, {10, 0, 1}, {10, 10, 1}, {0, 10, 1})});
    EXPECT_FALSE(vt::run_script(s, "vol\n1\nall\n\n").ok);      // one surface: no volume
    EXPECT_EQ(left(), std::vector<std::string>{});
    const auto &log = s.command_log();
    EXPECT_NE(std::find(log.begin(), log.end(), "dxfout vol.dxf v r12 entities <ss> \"\" 10"), log.end());

    s.set_user_break_after(20);
    EXPECT_FALSE(vt::run_script(s, "vol\n1\nall\n\n").ok);
    s.set_user_break(false);
    EXPECT_EQ(left(), std::vector<std::string>{});

    add(s, {vt::point(0, 0, 0), vt::line({0, 0, 0}, {5, 5, 0}, 1)});
    EXPECT_FALSE(vt::run_script(s, "velmora\nall\n\n").ok);     // an open outline
    EXPECT_EQ(left(), std::vector<std::string>{});

    // vol.bin takes 12 bytes per node under each face: a hundred stacked faces of 60000 x 60000 at increment 1 would
    // need some 4 TB, refused before a sample is written.  (The break after 5000 polls stops a sampler that would not.)
    Private p;
    for (int k = 0; k < 100; k++)
        add(p.s, {vt::face({0, 0, (double)k}, {60000, 0, (double)k}, {60000, 60000, (double)k},
                           {0, 60000, (double)k})});
    p.s.set_user_break_after(5000);
    vt::Outcome o = vt::run_script(p.s, "vol\n1\nall\n\n");
    p.s.set_user_break(false);
    EXPECT_FALSE(o.ok);
    EXPECT_NE(o.out.find("Can't calculate volume: the increment needs about 4320000 MB of grid samples in vol.bin"),
              std::string::npos) << o.out;
    EXPECT_NE(o.out.find("choose a larger increment!"), std::string::npos) << o.out;
    EXPECT_EQ(o.out.find("*Cancel*"), std::string::npos) << o.out;
    p.expect_untouched("a refused grid");
}

}  // namespace
