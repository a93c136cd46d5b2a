// The LISP building blocks' refusals and the record sorter, called as LISP
// through the in-process host.  Their values: test_lisp_script.py.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "addon_session.h"

namespace {

TEST(Arguments, MissingOrWrongArgumentsGiveNilAndAMessage)
{
    vt::AddonSession s;
    s.take_output();
    EXPECT_EQ(s.call_lisp("(dovrp '(0 0 0) '(1 0 0) '(0 0 0))"), "nil");
    EXPECT_EQ(s.call_lisp("(dovrp)"), "nil");
    EXPECT_EQ(s.call_lisp("(e_intre_lim \"a\" '(1 0 0) '(0 1 0))"), "nil");
    EXPECT_EQ(s.call_lisp("(app_tri '(0 0 0) 5)"), "nil");
    EXPECT_EQ(s.call_lisp("(set_lim '(0 0 0) '(1 1 1))"), "nil");
    std::string out = s.take_output();
    EXPECT_NE(out.find("*** VELMORA Error -  dovrp: 4 points expected"), std::string::npos) << out;
    EXPECT_NE(out.find(" set_lim: two points and a number expected"), std::string::npos);
    // A refused set_lim leaves the box as it was: still the origin.
    EXPECT_EQ(s.call_lisp("(e_intre_lim '(0 0 0) '(1 0 0) '(0 1 0))"), "T");
}

class Sorter : public ::testing::Test {
protected:
    vt::AddonSession s;
    std::string path;
    void SetUp() override
    {
        std::filesystem::create_directories(s.dir.file("haldorin"));
        path = s.dir.file("haldorin/ass.dat");
    }
    std::string sort(const std::string &content)
    {
        vt::write_file(path, content);
        s.take_output();
        s.call_lisp("(ass)");
        return vt::read_file(path);
    }
};

TEST_F(Sorter, SortsRecordsByteByByte)
{
    EXPECT_EQ(sort("3 5\nlemon\napple\ngrape\n"), "apple\ngrape\nlemon\n");
    EXPECT_EQ(sort("4 5\nbeta \nBeta \n beta\nalpha\n"), " beta\nBeta \nalpha\nbeta \n");
    EXPECT_EQ(sort("0 5\nlemon\n"), "");
    EXPECT_FALSE(vt::file_exists(path + ".sorting"));
}

TEST_F(Sorter, LongRecordsAreCutShortOnesKeepTheirLineEnd)
{
    EXPECT_EQ(sort("2 3\nzebra\nant\n"), "ant\nzeb\n");
    // "ab" is shorter than the record length: its line end stays in the record.
    EXPECT_EQ(sort("2 4\nabcd\nab\n"), "ab\n\nabcd\n");
    // A line longer than a slot is one record, not two.
    EXPECT_EQ(sort("2 3\nyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy\nbbb\n"), "bbb\nyyy\n");
}

TEST_F(Sorter, BrokenHeadLinesAreRefusedAndTheFileKept)
{
    for (const char *bad : {"3 32\na\nb\nc\n", "-1 5\nlemon\n", "2 -4\nlemon\napple\n", "x y\nlemon\n", ""}) {
        EXPECT_EQ(sort(bad), bad);
        std::string out = s.take_output();
        EXPECT_NE(out.find("*** VELMORA Error - "), std::string::npos) << bad;
        if (std::string(bad).rfind("3 32", 0) == 0) {
            EXPECT_NE(out.find("Error -  *ASS lu_art>=32\n"), std::string::npos) << out;
        }
    }
}

TEST_F(Sorter, FewerRecordsThanCountedSortsOnlyThoseRead)
{
    EXPECT_EQ(sort("5 5\nlemon\napple\n"), "apple\nlemon\n");
    EXPECT_NE(s.take_output().find("fewer records"), std::string::npos);
    // A count far beyond the file takes no memory for records that are not there.
    EXPECT_EQ(sort("2000000000 5\nlemon\napple\n"), "apple\nlemon\n");
    EXPECT_NE(s.take_output().find("fewer records"), std::string::npos);
}

TEST_F(Sorter, MissingFileNamesThePath)
{
    std::filesystem::remove(path);
    s.take_output();
    s.call_lisp("(ass)");
    // Named as the LISP programs name it, not as the folder standing for drive C.
    EXPECT_NE(s.take_output().find("Error -  c:\\haldorin\\ass.dat\n"), std::string::npos);
}

}  // namespace
