// The LISP building blocks' refusals and the record sorter, called as LISP
// through the in-process host.  Their values: test_lisp_script.py.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "addon_session.h"
#include "session_access.h"

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
    // A product that overflows is no vector.
    EXPECT_EQ(s.call_lisp("(dovrp '(0 0 0) '(0 1e308 0) '(0 0 0) '(0 0 1e308))"), "nil");
    EXPECT_NE(s.take_output().find(" dovrp: the vector product is not a finite number"), std::string::npos);
    EXPECT_EQ(s.call_lisp("(dovrp '(0 0 0) '(0 4 0) '(0 0 0) '(0 0 1e300))"), "(4.0e+300 0.0 0.0)");
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
    EXPECT_EQ(sort("0 5\n"), "");
    // CR LF line ends: the CR belongs to the line end, not to the record.
    EXPECT_EQ(sort("2 5\r\nlemon\r\napple\r\n"), "apple\nlemon\n");
    // The last record needs no line end.
    EXPECT_EQ(sort("2 5\nlemon\napple"), "apple\nlemon\n");
    EXPECT_FALSE(vt::file_exists(path + ".sorting"));
    EXPECT_FALSE(velmora::SessionAccess::call_failed(s));
}

// A record shorter than the record length is kept as it is, without a
// second line end after it.
TEST_F(Sorter, ShortRecordsKeepTheirTextAndOneLineEnd)
{
    EXPECT_EQ(sort("2 4\nabcd\nab\n"), "ab\nabcd\n");
    EXPECT_EQ(sort("3 31\nb\na\nc\n"), "a\nb\nc\n");
}

// Whatever is wrong, the file stays byte for byte and the call fails: no
// record is wiped, dropped, doubled, cut or made out of a head line.
TEST_F(Sorter, AFileItsHeadLineDoesNotDescribeIsLeftAsItWas)
{
    const std::string nul("2 5\nle\0on\napple\n", 16);
    const std::pair<std::string, const char *> bad[] = {
        {"3 0\nabc\nabd\nabe\n", " *ASS lu_art<1*"},
        {"2 3\nabc\nabd\nabe\n", " *ASS 3 record lines, the head line says 2*"},
        {"5 5\nlemon\napple\n", " *ASS 2 record lines, the head line says 5*"},
        {"2000000000 5\nlemon\napple\n", " *ASS 2 record lines, the head line says 2000000000*"},
        {"3 5\nlemon\napple\ngrape\n\n", " *ASS 4 record lines"},
        {"2 3\nzebra\nant\n", " *ASS record 1 is longer than lu_art*"},
        {"2 3\nbbb\n" + std::string(43, 'y') + "\n", " *ASS record 2 is longer than lu_art*"},
        {nul, " *ASS record 1 holds a NUL byte*"},
        {"2 5" + std::string(40, ' ') + "9\nlemon\napple\n", " *ASS head line*"},
        {"2 5 x\nlemon\napple\n", " *ASS head line*"},
        {"3 32\na\nb\nc\n", " *ASS lu_art>=32\n"},
        {"-1 5\nlemon\n", " *ASS head line*"},
        {"2 -4\nlemon\napple\n", " *ASS lu_art<1*"},
        {"x y\nlemon\n", " *ASS head line*"},
        {"", " *ASS head line*"},
    };
    for (const auto &[text, message] : bad) {
        velmora::SessionAccess::forget_call_failure(s);
        EXPECT_EQ(sort(text), text) << message;
        std::string out = s.take_output();
        EXPECT_NE(out.find(std::string("*** VELMORA Error - ") + message), std::string::npos) << out;
        EXPECT_TRUE(velmora::SessionAccess::call_failed(s)) << message;
        EXPECT_FALSE(vt::file_exists(path + ".sorting"));
    }
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
