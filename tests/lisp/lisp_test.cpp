// The LISP building blocks (dovrp, set_lim, e_intre_lim, app_tri, the sorter ass) in-process: their values, refusals
// and files.  (A missing sort file: tests/frame/outcome_test.cpp.)
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "addon_session.h"
#include "session_access.h"

namespace {

TEST(Geometry, ValuesInTheOrderAProgramCallsThem)
{
    vt::AddonSession s;
    const char *key = "\"       1234.5000\"";
    const std::pair<std::string, std::string> calls[] = {
        {"(dovrp '(0 0 0) '(1 0 0) '(0 0 0) '(0 1 0))", "(0.0 0.0 1.0)"},
        {"(dovrp '(0 0 0) '(0 1 0) '(0 0 0) '(1 0 0))", "(0.0 0.0 -1.0)"},
        // (2,0,0) x (0,0,3): segments that do not start at the origin.
        {"(dovrp '(1 1 1) '(3 1 1) '(5 5 5) '(5 5 8))", "(0.0 -6.0 0.0)"},
        // Before any set_lim the box is the single point at the origin.
        {"(e_intre_lim '(0 0 0) '(1 0 0) '(0 1 0))", "T"},
        {"(e_intre_lim '(1 1 1) '(2 1 1) '(1 2 1))", "nil"},
        {"(set_lim '(0 0 0) '(10 10 10) 0)", ""},
        {"(e_intre_lim '(10 5 5) '(20 5 5) '(20 6 5))", "T"},         // touching the box counts
        {"(e_intre_lim '(10.001 5 5) '(20 5 5) '(20 6 5))", "nil"},
        // A side shorter than 1e-6, whichever two corners make it.
        {"(e_intre_lim '(1 1 1) '(1.0000001 1 1) '(2 2 1))", "nil"},
        {"(e_intre_lim '(1 1 1) '(2 2 1) '(2 2 1.0000001))", "nil"},
        {"(e_intre_lim '(1 1 1) '(2 2 1) '(1 1 1))", "nil"},
        {"(e_intre_lim '(1 1 1) '(2 1 1) '(1 2 11))", "T"},
        {"(e_intre_lim '(1 1 11) '(2 1 11) '(1 2 12))", "nil"},
        {"(app_tri '(1300 1 0) '(1234.5 0 0) '(1250 0 1))",
         std::string("(1234.5 1300.0 (1300.0 1.0 0.0) (1234.5 0.0 0.0) (1250.0 0.0 1.0) ") + key +
             " 0.0 1.0 0.0 1.0)"},
        // The key is min x less the reference value.
        {"(set_lim '(0 0 0) '(1 1 1) 1000.25)", ""},
        {"(app_tri '(1300 1 0) '(1234.5 0 0) '(1250 0 1))",
         "(1234.5 1300.0 (1300.0 1.0 0.0) (1234.5 0.0 0.0) (1250.0 0.0 1.0) \"        234.2500\" 0.0 1.0 0.0 1.0)"},
    };
    for (const auto &[expr, value] : calls) {
        std::string got = s.call_lisp(expr);
        if (!value.empty()) {
            EXPECT_EQ(got, value) << expr;
        }
        EXPECT_FALSE(velmora::SessionAccess::call_failed(s)) << expr;
    }
    // The longest text a double gives still fits in the key.
    std::string huge = s.call_lisp("(app_tri '(1e308 0 0) '(1e308 1 0) '(1e308 0 1))");
    std::size_t quote = huge.find('"'), dot = huge.find(".0000\"");
    ASSERT_NE(quote, std::string::npos) << huge;
    EXPECT_EQ(huge.find_first_not_of("0123456789", quote + 1), dot) << huge;
    EXPECT_GE(dot - quote, 300u) << huge;
}

TEST(Geometry, MissingOrWrongArgumentsGiveNilAndAMessage)
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
    EXPECT_TRUE(velmora::SessionAccess::call_failed(s));
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

TEST_F(Sorter, SortsRecordsByteByByteAndLeavesAFileItsHeadLineDoesNotDescribe)
{
    EXPECT_EQ(sort("3 5\nlemon\napple\ngrape\n"), "apple\ngrape\nlemon\n");
    EXPECT_EQ(sort("4 5\nbeta \nBeta \n beta\nalpha\n"), " beta\nBeta \nalpha\nbeta \n");
    EXPECT_EQ(sort("0 5\n"), "");
    // CR LF line ends: the CR belongs to the line end, not to the record.
    EXPECT_EQ(sort("2 5\r\nlemon\r\napple\r\n"), "apple\nlemon\n");
    // The last record needs no line end.
    EXPECT_EQ(sort("2 5\nlemon\napple"), "apple\nlemon\n");
    // A record shorter than the record length is kept as it is, without a second line end after it.
    EXPECT_EQ(sort("2 4\nabcd\nab\n"), "ab\nabcd\n");
    EXPECT_EQ(sort("3 31\nb\na\nc\n"), "a\nb\nc\n");
    EXPECT_FALSE(vt::file_exists(path + ".sorting"));
    EXPECT_FALSE(velmora::SessionAccess::call_failed(s));

    // Whatever is wrong, the file stays byte for byte and the call fails: no
    // record is wiped, dropped, doubled, cut or made out of a head line.
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

}  // namespace
