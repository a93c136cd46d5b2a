// The add-on's frame: registration, messages, the DXF group reader and the
// fixed-path helper, through the in-process host.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>
#include <cstdio>
#include <cstring>
#include <string>

#include "addon_session.h"
#include "session_access.h"

namespace {

// The loop answers the load request, serves function requests and exits with 1 when the host says so; a failed
// registration stops the table there, the host is told (RSERR) and the names registered before it still work.
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
    int code = -7;
    void open(const std::string &text)
    {
        vt::write_file(s.dir.file("t.dxf"), text);
        ASSERT_EQ(dxf_open(s.dir.file("t.dxf").c_str()), 0);
        s.take_output();
    }
    void TearDown() override { dxf_close(); }
};

// Codes with blanks, CR LF, a last line without a line end; long lines read whole (a 300 character layer name must not
// shift codes); only a LF and a CR before it removed; a file ending after a code line gives no group, but counts it.
TEST_F(PairReader, PairsLineEndsLongLinesAndANonNumericCodeThatStopsTheReading)
{
    std::string layer(300, 'L');
    struct Case { std::string text; std::vector<std::pair<int, std::string>> pairs; int lines; } cases[] = {
        {"  8\r\nTRIANG\r\n 10\n12.5\n0\nEOF", {{8, "TRIANG"}, {10, "12.5"}, {0, "EOF"}}, 6},
        {"0\r\nEOF\r", {{0, "EOF\r"}}, 2},
        {"  8\n" + layer + "\n" + std::string(200, ' ') + "10" + std::string(200, ' ') + "\n1.5\n0\nEOF\n",
         {{8, layer}, {10, "1.5"}, {0, "EOF"}}, 6},
        {"0\nPOINT\n 30\n", {{0, "POINT"}}, 3},
    };
    std::vector<Case> all(std::begin(cases), std::end(cases));
    // Read 1 MiB at a time: lines cut by a block's end or ending right at it,
    // and a line longer than a block, read whole.
    const std::size_t block = 1 << 20;
    for (std::size_t before : {0, 1, 2, 3, 4, 5, 7, 9, 12, 14, 15, 16, 17}) {
        std::string filler(block - 8 - before, 'F');
        all.push_back({"999\n" + filler + "\n 10\n12.25\n 20\n-3.5\r\n0\nEOF\n",
                       {{999, filler}, {10, "12.25"}, {20, "-3.5"}, {0, "EOF"}}, 8});
    }
    all.push_back({"  8\n" + std::string(block + 10, 'L') + "\n 10\n1.5\n",
                   {{8, std::string(block + 10, 'L')}, {10, "1.5"}}, 4});
    for (const Case &c : all) {
        open(c.text);
        for (const auto &[want_code, want_value] : c.pairs) {
            ASSERT_EQ(read_dxf_pair(&code), 1) << c.text.substr(0, 40);
            EXPECT_EQ(code, want_code);
            EXPECT_EQ(std::string(dxf_value), want_value);
        }
        EXPECT_EQ(read_dxf_pair(&code), 0) << c.text.substr(0, 40);
        EXPECT_EQ(dxf_line_no, c.lines + 1) << c.text.substr(0, 40);
        EXPECT_EQ(s.take_output(), "");
        dxf_close();
    }

    // A code line that is no integer stops the reading: taking the lines after it as pairs could pair values with the
    // wrong codes. An empty or blank code line is no group 0 either.
    for (const char *bad : {"abc", "10x", "99999999999", "", "  "}) {
        open(std::string("0\nPOINT\n") + bad + "\nXYZ\n 30\n");
        ASSERT_EQ(read_dxf_pair(&code), 1);
        EXPECT_EQ(read_dxf_pair(&code), -1) << bad;
        EXPECT_STREQ(dxf_value, "POINT");
        EXPECT_EQ(s.take_output(),
                  std::string("\n*** VOLUME or COLF Error - Can't read VOL.DXF at article4!\nPOINT\n") + bad);
        EXPECT_TRUE(velmora::SessionAccess::call_failed(s));
        velmora::SessionAccess::forget_call_failure(s);
        dxf_close();
    }
    // The value before the bad line is still there when that line begins the file's next block of 1 MiB.
    open("999\n" + std::string((1 << 20) - 13, 'F') + "\n0\nPOINT\nabc\n" + std::string(1 << 20, 'G') + "\n");
    ASSERT_EQ(read_dxf_pair(&code), 1);
    ASSERT_EQ(read_dxf_pair(&code), 1);
    EXPECT_EQ(read_dxf_pair(&code), -1);
    EXPECT_STREQ(dxf_value, "POINT");
    EXPECT_EQ(s.take_output(), "\n*** VOLUME or COLF Error - Can't read VOL.DXF at article6!\nPOINT\nabc");
    velmora::SessionAccess::forget_call_failure(s);
}

// Numbers read through the fast path must be exactly what "%lf" reads:
// the same bits and the same characters taken, the odd forms included.
TEST(Numbers, ReadAsScanfReadsThem)
{
    std::vector<std::string> words = {
        "0", "-0", "  12.5e3", "\t7\n", "1e", "1e+", "1.5x", "+7", "0x1p3", "-0X10", "inf", "-Infinity",
        "nan", "1e400", "-1e-400", "4.9e-324", ".5", "-.5e-3", "5.", "", "  ", "-", "abc", "1,5", "--1",
        "123456789012345678901234567890", "2.2250738585072011e-308", "0.1e-0", "1E5 9",
        "0." + std::string(600, '0') + "17", std::string(700, '9'), "9007199254740993", "-0.000",
        "9007199254740992.000", "1234567890123456789", "12345678901234567891", "0.0000000000000000000001",
        "7.00000000000000000000003", "-4031002.3215810000"};
    std::uint64_t h = 1;
    for (int k = 0; k < 6000; k++) {
        h = h * 6364136223846793005ull + 1442695040888963407ull;
        double d;
        std::memcpy(&d, &h, sizeof d);
        d = k % 6 == 2 ? std::ldexp((double)(h >> 11), -(int)(h % 60))
            : k % 6 == 3 ? (h & 2 ? 5e5 : 4e6) * (1 + std::ldexp((double)(h >> 11), -60))   // the export's coordinates
            : std::isfinite(d) ? d : 1.0 / (k + 3);
        char buf[64];
        std::snprintf(buf, sizeof buf, k % 6 == 0 ? "%.17g" : k % 6 == 1 ? "%.6f" : "%.10f", d);
        std::string w = buf;
        if (k % 6 == 4) {   // 15 to 19 digits, the point anywhere after the first
            w = std::to_string(h | 1ull << 63).substr(0, 15 + k % 5);
            w.insert(1 + h % w.size(), ".");
        } else if (k % 6 == 5) {    // half-way between two doubles (an odd 54-bit number / 2^4), or a few units of the
            // 19th digit off it: above 2^63, where only the division's remainder tells such a number from the tie
            std::uint64_t m = ((15000000000000000ull + (h >> 14) % 1000000000000000ull) | 1) * 625;
            w = std::to_string(h & 16 ? m + (h >> 62) : m - (h >> 62)).insert(15, ".");
        }
        words.push_back((h & 8) && k % 6 > 2 ? "-" + w : w);
    }
    auto check = [](const std::string &w, const char *text) {
        double want = -1, got = -2;
        int used = -1;
        int read = std::sscanf(w.c_str(), "%lf%n", &want, &used);
        const char *end = frame_real(text, &got);
        EXPECT_EQ(end != nullptr, read == 1) << w;
        if (end == nullptr || read != 1)
            return;
        EXPECT_EQ(end - text, used) << w;
        EXPECT_TRUE(std::memcmp(&want, &got, sizeof got) == 0 || (std::isnan(want) && std::isnan(got))) << w;
    };
    for (const auto &w : words)
        check(w, w.c_str());
    // The same words as the value lines of a file, read where the reader left them, with the length it knows.
    vt::AddonSession s;
    std::string file;
    for (const auto &w : words)
        if (w.find('\n') == std::string::npos)
            file += "1\n" + w + "\n";
    vt::write_file(s.dir.file("n.dxf"), file);
    ASSERT_EQ(dxf_open(s.dir.file("n.dxf").c_str()), 0);
    for (const auto &w : words) {
        int code = -1;
        if (w.find('\n') != std::string::npos)
            continue;
        ASSERT_EQ(read_dxf_pair(&code), 1) << w;
        check(w, dxf_value);
    }
    dxf_close();
}

TEST(Paths, DriveLettersAndBackslashesAndTextsThatHoldPercentSigns)
{
    vt::AddonSession s;
    s.take_output();
    tri_error(" c:/50%s/%n.dxf");     // a '%' in a text is printed, not taken for a conversion
    EXPECT_EQ(s.take_output(), "\n*** VELMORA Error -  c:/50%s/%n.dxf\n");
    char out[600];
    ASSERT_EQ(frame_native_path("c:/haldorin/0.scr", out, sizeof(out)), 0);
    EXPECT_EQ(std::string(out), s.dir.path() + "/haldorin/0.scr");
    ASSERT_EQ(frame_native_path("c:\\haldorin\\ass.dat", out, sizeof(out)), 0);
    EXPECT_EQ(std::string(out), s.dir.path() + "/haldorin/ass.dat");
    ASSERT_EQ(frame_native_path("vol.dxf", out, sizeof(out)), 0);
    EXPECT_STREQ(out, "vol.dxf");
    // A result that does not fit is refused, never cut or overrun: a path
    // that fills the buffer exactly leaves no room for its terminator.
    char small[16];
    std::memset(small, 'x', sizeof(small));
    EXPECT_EQ(frame_native_path("vol.dxf", small, 7), 1);
    EXPECT_EQ(small[7], 'x');
    EXPECT_EQ(frame_native_path("vol.dxf", small, 8), 0);
    EXPECT_STREQ(small, "vol.dxf");
    EXPECT_EQ(frame_native_path("c:/haldorin/0.scr", small, sizeof(small)), 1);
}

}  // namespace
