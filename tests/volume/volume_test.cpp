// The volume command in-process: sampling, integration and refusals.  (Its
// export's reader: tests/frame/faces_test.cpp; known bodies: test_volume_e2e.py.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "addon_session.h"
#include "volume.h"

namespace {

// A fresh work file for "vol.bin" and the run state: samples kept in memory,
// or with `plain` all in the file and sorted by qsort.
struct WorkFile {
    explicit WorkFile(bool plain = false)
    {
        vol_bin = tmpfile();
        vol_start_samples(plain);
        vol_sample_count = 0;
        vol_step = 1;
        vol_cancelled = 0;
        vol_compare_count = 0;
        vol_reset_extent();
    }
    ~WorkFile()
    {
        if (vol_bin)
            fclose(vol_bin);
        vol_bin = nullptr;
        free(vol_samples);
        vol_samples = nullptr;
        vol_free_map();
    }
    std::vector<vol_sample> records()
    {
        if (!vol_spill)
            return std::vector<vol_sample>(vol_samples, vol_samples + vol_kept);
        std::vector<vol_sample> r(vol_sample_count);
        fflush(vol_bin);
        rewind(vol_bin);
        EXPECT_EQ(fread(r.data(), sizeof(vol_sample), vol_sample_count, vol_bin), vol_sample_count);
        fseek(vol_bin, 0, SEEK_END);
        return r;
    }
    // Appends a record as the sampler would.
    void put(int32_t i, int32_t j, float z)
    {
        vol_sample r = {i, j, z};
        bool first = vol_sample_count++ == 0;
        vol_imin = first ? i : std::min(vol_imin, i), vol_imax = first ? i : std::max(vol_imax, i);
        vol_jmin = first ? j : std::min(vol_jmin, j), vol_jmax = first ? j : std::max(vol_jmax, j);
        EXPECT_EQ(vol_keep_sample(&r), 0);
    }
};

int sample(const double a[3], const double b[3], const double c[3])
{
    return vol_sample_triangle(a[0], a[1], a[2], b[0], b[1], b[2], c[0], c[1], c[2]);
}

TEST(Sampler, RightTriangleGivesItsFifteenNodesEitherWayRound)
{
    vt::AddonSession s;
    const double a[3] = {0, 0, 5}, b[3] = {4, 0, 5}, c[3] = {0, 4, 5};
    for (bool flip : {false, true}) {
        WorkFile w;
        ASSERT_EQ(flip ? sample(a, c, b) : sample(a, b, c), 0);
        std::set<std::pair<int, int>> nodes;
        for (auto &r : w.records()) {
            EXPECT_EQ(r.z, 5.0f);
            EXPECT_TRUE(r.i >= 0 && r.j >= 0 && r.i + r.j <= 4) << r.i << " " << r.j;
            nodes.insert({r.i, r.j});
        }
        EXPECT_EQ(nodes.size(), 15u);
        EXPECT_EQ(vol_sample_count, 15u);
        EXPECT_TRUE(vol_imax == 4 && vol_jmax == 4) << vol_imax << " " << vol_jmax;
        EXPECT_EQ(vol_extent[1], 4.0);
    }
}

TEST(Sampler, SharedEdgeNodesTakeOneHeightEachSide)
{
    vt::AddonSession s;
    WorkFile w;
    // Two triangles of different slope sharing the diagonal (0,0)-(4,4):
    // both write the diagonal's nodes, with one height.
    const double a[3] = {0, 0, 0}, b[3] = {4, 0, 8}, c[3] = {4, 4, 4}, d[3] = {0, 4, -4};
    ASSERT_EQ(sample(a, b, c), 0);
    ASSERT_EQ(sample(a, c, d), 0);
    std::vector<std::pair<int, int>> seen;
    for (auto &r : w.records())
        if (r.i == r.j) {
            EXPECT_FLOAT_EQ(r.z, (float)r.i);
            seen.push_back({r.i, r.j});
        }
    EXPECT_EQ(seen.size(), 10u);   // five diagonal nodes, each from both

    // A shared edge passing 0.001 beside the node (2,2): only the triangle
    // holding the node samples it, not the neighbour with its other slope.
    WorkFile w2;
    const double p[3] = {0, 0.001, 0}, q[3] = {4, 4.001, 0}, e[3] = {4, 0, 40}, f[3] = {0, 4, -40};
    ASSERT_EQ(sample(p, e, q), 0);
    ASSERT_EQ(sample(p, q, f), 0);
    std::vector<vol_sample> recs = w2.records();
    EXPECT_EQ(std::count_if(recs.begin(), recs.end(), [](const vol_sample &r) { return r.i == 2 && r.j == 2; }), 1);
}

// Every node swept polls for a break: a break stops the sampling.  Only the face's plan box (11 x 11 nodes) is swept,
// even at a height of 1e17, whose round-off tolerance is 1e4.
TEST(Sampler, StopsOnBreakAndSweepsOnlyThePlanBox)
{
    vt::AddonSession s;
    for (double z : {0.0, 1e17}) {
        WorkFile w;
        const double a[3] = {0, 0, z}, b[3] = {10, 0, z}, c[3] = {0, 10, z};
        s.set_user_break_after(z == 0 ? 5 : 11 * 11);
        EXPECT_EQ(sample(a, b, c), z == 0 ? 1 : 0);
        EXPECT_EQ(s.take_output(), z == 0 ? "*Cancel*" : "");
        if (z == 0) {
            EXPECT_LE(vol_sample_count, 5u);
        } else {
            EXPECT_TRUE(vol_imax == 10 && vol_jmax == 10);
        }
        s.set_user_break(false);
    }
}

TEST(Integration, IntervalRulesNodeWeightsAndTheFastPathAgainstThePlainOne)
{
    vt::AddonSession s;
    for (bool plain : {false, true}) {
    {
        // 0, 1, 3 at one node: 0-1 and 1-3.  4.000000 and 4.000005 are one crossing.
        WorkFile w(plain);
        w.put(0, 0, 3); w.put(0, 0, 0); w.put(0, 0, 1);
        w.put(5, 5, 4.000005f); w.put(5, 5, 4.0f); w.put(5, 5, 6.0f);
        ASSERT_EQ(vol_integrate(), 0);
        EXPECT_NEAR(vol_sum_dz, 3 + 2, 1e-5);
        EXPECT_NEAR(vol_volume, 3 + 2, 1e-5);   // isolated nodes carry whole cells
        EXPECT_EQ(vol_bin, nullptr);
    }
    {
        WorkFile w(plain);
        w.put(7, 7, 4.0f); w.put(7, 7, 4.000005f);
        s.take_output();
        EXPECT_EQ(vol_integrate(), 1);
        EXPECT_EQ(s.take_output(), "... Wait for sorting 2 elements\n*** VOLUME or COLF Error - Can't calculate volume !\n");
    }
    {
        WorkFile w(plain);
        w.put(1, 1, 2);
        EXPECT_EQ(vol_integrate(), 1);
    }
    {
        // A 3 x 3 block: corners carry a quarter cell, borders a half, the middle a whole.
        WorkFile w(plain);
        for (int j = 0; j < 3; j++)
            for (int i = 0; i < 3; i++)
                w.put(i, j, 0), w.put(i, j, 1);
        w.put(9, 0, 0);
        ASSERT_EQ(vol_integrate(), 0);
        ASSERT_EQ(vol_build_map(), 0);
        const int weight[][3] = {{0, 0, 1}, {2, 2, 1}, {1, 0, 2}, {0, 1, 2}, {1, 1, 4}, {9, 0, 4}};   // (9,0) isolated
        for (const auto &w : weight)
            EXPECT_EQ(vol_node_weight(w[0], w[1]), w[2]) << w[0] << "," << w[1];
        EXPECT_EQ(vol_node_present(3, 0), 0);
        EXPECT_EQ(vol_node_present(-1, 0), 0);
        EXPECT_NEAR(vol_volume, 4.0, 1e-12);      // 2 x 2 cells, height 1
    }
    {
        // A break during the sort cancels the run.
        WorkFile w(plain);
        for (int k = 0; k < 3000; k++)
            w.put(k % 50, k / 50, (float)(k % 7));
        s.set_user_break_after(0);
        s.take_output();
        EXPECT_EQ(vol_integrate(), 1);
        EXPECT_NE(s.take_output().find("*Cancel*"), std::string::npos);
        s.set_user_break(false);
    }
    }

    // The fast path (memory, radix sort) against the plain one (file, qsort): the same records in order, also when the
    // budget runs out halfway, over index ranges beyond 16 bits and negative heights.
    for (int span : {70000, 300}) {
        auto fill = [span](WorkFile &w) {
            std::uint32_t h = 12345;
            for (int k = 0; k < 300000; k++) {
                h = h * 1103515245u + 12345u;
                int32_t i = (int32_t)((h >> 8) % span) - span / 2;
                h = h * 1103515245u + 12345u;
                int32_t j = (int32_t)(h % 7) - 3;
                h = h * 1103515245u + 12345u;
                float z = k % 11 == 0 ? 0.0f : (float)((int32_t)(h >> 12) % 2000 - 1000) / 8.0f;
                w.put(i, j, k % 13 == 0 ? -z : z);
            }
        };
        WorkFile plain(true);
        fill(plain);
        std::vector<vol_sample> taken = plain.records();
        ASSERT_EQ(vol_integrate(), 0);
        std::vector<vol_sample> want(vol_samples, vol_samples + vol_sample_count);
        double volume = vol_volume, sx = vol_sum_x, sz = vol_sum_z;
        for (double budget : {VOL_MEMORY_BUDGET, 1e6}) {
            WorkFile fast;
            vol_memory_budget = budget;
            fill(fast);
            vol_memory_budget = VOL_MEMORY_BUDGET;
            EXPECT_EQ(vol_spill, budget < 2e6) << budget;
            std::vector<vol_sample> got = fast.records();
            ASSERT_EQ(got.size(), taken.size());
            EXPECT_EQ(std::memcmp(got.data(), taken.data(), got.size() * sizeof(vol_sample)), 0);
            ASSERT_EQ(vol_integrate(), 0);
            int other = 0;
            for (std::uint32_t k = 0; k < vol_sample_count; k++)
                other += vol_samples[k].i != want[k].i || vol_samples[k].j != want[k].j
                         || vol_samples[k].z != want[k].z;
            EXPECT_EQ(other, 0) << budget;
            EXPECT_EQ(vol_volume, volume);
            EXPECT_EQ(vol_sum_x, sx);
            EXPECT_EQ(vol_sum_z, sz);
        }
    }
}

TEST(Command, DefaultsOpenSurfacesAndBadIncrements)
{
    velmora::Entity mesh = vt::mesh(1, 2, {{0, 0, 1}, {1, 0, 1}});
    struct Case { std::vector<velmora::Entity> ents; const char *script; std::vector<const char *> said; } cases[] = {
        // 2000 x 2000 extents offer 1.000000; one open surface gives no volume and no POINT.
        {{vt::face({0, 0, 1}, {2000, 0, 1}, {2000, 2000, 1}, {0, 2000, 1})}, "volume\n\nall\n\n",
         {"volume increment <1.000000> : ", "Can't calculate volume !"}},
        // An empty drawing offers 0: Enter must not start a run.
        {{}, "vol\n\n", {"<0.000000>", "Can't calculate volume: the increment must be a positive number!"}},
        // Far from the origin, an increment too fine for 32-bit node numbers.
        {{vt::face({500000, 5000000, 300}, {500010, 5000000, 300}, {500010, 5000010, 310}, {500000, 5000010, 310})},
         "vol\n0.0001\nall\n\n", {"the increment is too small for these coordinates!"}},
        // A mesh no grid can be made of, in the command's own words.
        {{mesh}, "vol\n1\nall\n\n", {"mesh vertex counts 1 by 2 (2 to 32767 each)"}},
    };
    for (const Case &c : cases) {
        vt::AddonSession s;
        for (const auto &e : c.ents)
            s.drawing().add(e);
        std::string out = vt::run_script(s, c.script).out;
        for (const char *said : c.said)
            EXPECT_NE(out.find(said), std::string::npos) << out;
        EXPECT_TRUE(vt::live(s, "POINT").empty()) << c.script;
        EXPECT_FALSE(vt::file_exists(s.dir.file("vol.bin"))) << c.script;
    }
}

}  // namespace
