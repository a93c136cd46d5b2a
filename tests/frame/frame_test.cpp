// The add-on's frame: registration, messages, the DXF group reader and the
// fixed-path helper, through the in-process host.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "addon_session.h"
#include "session_impl.h"

namespace {

TEST(Registration, TenNamesWithTheirCodesAndUnknownCodesIgnored)
{
    vt::AddonSession s;
    const auto &f = s.functions();
    const std::pair<const char *, int> expected[] = {
        {"c:velmora", 1}, {"c:vol", 4}, {"c:volume", 5}, {"dovrp", 6}, {"ass", 7},
        {"set_lim", 8}, {"e_intre_lim", 9}, {"app_tri", 10}, {"inters_ltri", 11}, {"colfe", 12}};
    EXPECT_EQ(f.size(), 10u);
    for (const auto &[name, code] : expected) {
        auto it = f.find(name);
        ASSERT_NE(it, f.end()) << name;
        EXPECT_EQ(it->second, code) << name;
    }
    s.take_output();
    EXPECT_EQ(frame_call_handler(0), 0);
    EXPECT_EQ(frame_call_handler(13), 0);
    EXPECT_EQ(frame_call_handler(2), 0);
    EXPECT_EQ(s.take_output(), "");
}

TEST(Messages, HeadsAndTextsPrintAsTheyStand)
{
    vt::AddonSession s;
    s.take_output();
    vc_error(16, "");
    EXPECT_EQ(s.take_output(), "\n*** VOLUME or COLF Error - Can't calculate volume!\n");
    lib_error(" np < 3");
    EXPECT_EQ(s.take_output(), "\n*** LIBVELMORA Error -  np < 3");
    // A '%' in a text is printed, not taken for a conversion.
    tri_error(" c:/50%s/%n.dxf");
    EXPECT_EQ(s.take_output(), "\n*** VELMORA Error -  c:/50%s/%n.dxf\n");
}

TEST(Registration, AFailingDefunStopsTheTableThere)
{
    vt::AddonSession s;
    velmora::Session fresh;               // registers nothing by itself
    fresh.fail_defun("c:vol");
    EXPECT_EQ(register_functions(), 0);
    ASSERT_EQ(fresh.defun_log().size(), 1u);
    EXPECT_EQ(fresh.defun_log()[0].first, "c:velmora");
    EXPECT_EQ(fresh.functions().count("c:volume"), 0u);
}

// The loop answers the load request, serves function requests and ends the
// process with status 1 when the host says so; after a failed registration
// the host is told (RSERR) and the names registered before it still work.
TEST(RequestLoopDeathTest, ServesRequestsThenEndsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto run = [](bool fail) {
        velmora::Session s;
        s.set_output(stderr);
        if (fail)
            s.fail_defun("dovrp");
        s.input("(dovrp '(0 0 0) '(1 0 0) '(0 0 0) '(0 1 0))\n(set_lim '(0 0 0) '(1 1 1) 0)\n");
        SDS_EntryPoint(nullptr);
    };
    EXPECT_EXIT(run(false), ::testing::ExitedWithCode(1), "\\(0\\.0 0\\.0 1\\.0\\)");
    EXPECT_EXIT(run(true), ::testing::ExitedWithCode(1), "could not register");
}

class PairReader : public ::testing::Test {
protected:
    vt::AddonSession s;
    char value[256] = "";
    int code = -7;
    void open(const std::string &text)
    {
        vt::write_file(s.dir.file("t.dxf"), text);
        dxf_file = std::fopen(s.dir.file("t.dxf").c_str(), "rt");
        ASSERT_NE(dxf_file, nullptr);
        dxf_line_no = 1;
        s.take_output();
    }
    void TearDown() override
    {
        if (dxf_file)
            std::fclose(dxf_file);
        dxf_file = nullptr;
    }
};

TEST_F(PairReader, CodesWithBlanksCrLfAndALastLineWithoutLineEnd)
{
    open("  8\r\nTRIANG\r\n 10\n12.5\n0\nEOF");
    ASSERT_EQ(read_dxf_pair(&code, value), 1);
    EXPECT_EQ(code, 8);
    EXPECT_STREQ(value, "TRIANG");
    ASSERT_EQ(read_dxf_pair(&code, value), 1);
    EXPECT_EQ(code, 10);
    EXPECT_STREQ(value, "12.5");
    ASSERT_EQ(read_dxf_pair(&code, value), 1);
    EXPECT_STREQ(value, "EOF");
    EXPECT_EQ(dxf_line_no, 7);
    EXPECT_EQ(read_dxf_pair(&code, value), 0);
}

// Only a line end is removed: a LF, and a CR before it.  A CR that ends the
// file without a LF after it is no line end and stays.
TEST_F(PairReader, ACrWithoutALineFeedAfterItStays)
{
    open("0\r\nEOF\r");
    ASSERT_EQ(read_dxf_pair(&code, value), 1);
    EXPECT_EQ(code, 0);
    EXPECT_STREQ(dxf_code_line, "0");
    EXPECT_STREQ(value, "EOF\r");
}

// A code line that is no integer stops the reading: taking the lines after
// it as pairs could pair values with the wrong codes.
TEST_F(PairReader, ANonNumericCodeIsReportedWithItsLineAndStopsTheReading)
{
    for (const char *bad : {"abc", "10x", "99999999999"}) {
        open(std::string("0\nPOINT\n") + bad + "\nXYZ\n 30\n");
        ASSERT_EQ(read_dxf_pair(&code, value), 1);
        EXPECT_EQ(read_dxf_pair(&code, value), -1) << bad;
        EXPECT_STREQ(value, "POINT");
        EXPECT_EQ(s.take_output(),
                  std::string("\n*** VOLUME or COLF Error - Can't read VOL.DXF at article4!\nPOINT\n") + bad);
        EXPECT_TRUE(s.impl().call_failed);
        s.impl().call_failed = false;
        std::fclose(dxf_file);
    }
    // The file ends after a code line: no group, but the line is counted.
    open("0\nPOINT\n 30\n");
    ASSERT_EQ(read_dxf_pair(&code, value), 1);
    EXPECT_EQ(read_dxf_pair(&code, value), 0);
    EXPECT_EQ(dxf_line_no, 4);
}

// A line longer than the buffers is cut there and its rest skipped: a 300
// character layer name must not shift codes against values.
TEST_F(PairReader, LongLinesKeepCodesAndValuesPaired)
{
    std::string layer(300, 'L');
    open("  8\n" + layer + "\n" + std::string(200, ' ') + "10" + std::string(200, ' ') + "\n1.5\n0\nEOF\n");
    ASSERT_EQ(read_dxf_pair(&code, value), 1);
    EXPECT_EQ(code, 8);
    EXPECT_EQ(std::string(value), layer.substr(0, 255));
    ASSERT_EQ(read_dxf_pair(&code, value), 1);
    EXPECT_EQ(code, 10);
    EXPECT_STREQ(value, "1.5");
    ASSERT_EQ(read_dxf_pair(&code, value), 1);
    EXPECT_STREQ(value, "EOF");
    EXPECT_EQ(dxf_line_no, 7);
    EXPECT_EQ(s.take_output(), "");
}

TEST(Paths, DriveLettersAndBackslashes)
{
    vt::AddonSession s;
    char out[600];
    ASSERT_EQ(frame_native_path("c:/haldorin/0.scr", out, sizeof(out)), 0);
    EXPECT_EQ(std::string(out), s.dir.path() + "/haldorin/0.scr");
    ASSERT_EQ(frame_native_path("c:\\haldorin\\ass.dat", out, sizeof(out)), 0);
    EXPECT_EQ(std::string(out), s.dir.path() + "/haldorin/ass.dat");
    ASSERT_EQ(frame_native_path("vol.dxf", out, sizeof(out)), 0);
    EXPECT_STREQ(out, "vol.dxf");
    // A result that does not fit is refused, never cut or overrun.
    char small[8];
    std::memset(small, 'x', sizeof(small));
    EXPECT_EQ(frame_native_path("c:/haldorin/0.scr", small, sizeof(small)), 1);
}

TEST(Version, PrefixIsTheFirstTwoCharacters)
{
    vt::AddonSession s;
    read_acadver();
    EXPECT_LE(std::strlen(acadver_prefix), 2u);
    EXPECT_STRNE(acadver_prefix, "14");     // our host is no release 14
    // A longer version text leaves "14"; a one-character text stays whole.
    s.impl().vars["ACADVER"] = "14.01c";
    read_acadver();
    EXPECT_STREQ(acadver_prefix, "14");
    s.impl().vars["ACADVER"] = "9";
    read_acadver();
    EXPECT_STREQ(acadver_prefix, "9");
}

}  // namespace
