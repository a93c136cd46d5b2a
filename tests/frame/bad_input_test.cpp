// Exports with lines longer than the readers' buffers: a layer name of 300
// characters used to shift codes against values, so vol failed and colfe
// failed while answering T.  Both readers now keep the pairing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "addon_session.h"

namespace {

using velmora::Entity;

std::vector<Entity> on_layer(std::vector<Entity> ents, const std::string &layer)
{
    for (auto &e : ents)
        e.layer = layer;
    return ents;
}

TEST(LongLines, ALongLayerNameKeepsVolAndColfeReading)
{
    const std::string layer(300, 'L');
    {
        vt::AddonSession s;
        s.drawing().make_layer(layer);
        for (const auto &e : on_layer(vt::box({0, 0, 0}, {10, 10, 10}), layer))
            s.drawing().add(e);
        vt::Outcome o = vt::run_script(s, "vol\n1\nall\n\n");
        EXPECT_TRUE(o.ok) << o.out;
        EXPECT_NE(o.out.find("Volume:  1000.000000"), std::string::npos) << o.out;
    }
    {
        vt::AddonSession s;
        s.drawing().make_layer(layer);
        for (const auto &e : on_layer({vt::face({0, 0, 1}, {10, 0, 2}, {0, 10, 3}, {0, 10, 3})}, layer))
            s.drawing().add(e);
        vt::Outcome o = vt::run_script(
            s, "(colfe '(0.0 15.0) '(1 2 3) '(4 5 6) '(7 8 9) '(10 11 12) '(13 14 15))\nall\n\n");
        EXPECT_TRUE(o.ok) << o.out;
        EXPECT_NE(o.out.find("\nT\n"), std::string::npos) << o.out;
        int pieces = 0;
        for (const auto &e : s.drawing().entities)
            pieces += !e.erased && e.type == "3DFACE";
        EXPECT_GT(pieces, 1);
    }
}

}  // namespace
