// fuzz_ass.cpp -- (ass) over c:\haldorin\ass.dat.
//
// The input is the file.  A refused file must stay byte for byte as it was;
// a sorted one must hold exactly the record lines that followed the head
// line, as many as it announced, sorted byte by byte, one per line.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz_support.h"

// The record lines of the file as the sorter is to read them: lines end at
// LF, a CR before the LF belongs to the line end.
static std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> out;
    std::size_t p = 0;
    while (p < text.size()) {
        std::size_t nl = text.find('\n', p);
        if (nl == std::string::npos) {
            out.push_back(text.substr(p));
            break;
        }
        std::string line = text.substr(p, nl - p);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        out.push_back(line);
        p = nl + 1;
    }
    return out;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fz::Input input;
    fz::AddonSession s;
    std::string dir = fz::path_of("haldorin"), path = dir + "/ass.dat";
    std::filesystem::create_directory(dir);
    std::string before((const char *)data, size);
    vt::write_file(path, before);

    bool ok = fz::run_script(s, "(ass)\n");
    std::string after = vt::read_file(path);
    if (!ok) {
        if (after != before)
            fz::fail("a refused ass.dat was changed: " + s.failure_reason());
        return 0;
    }
    std::vector<std::string> lines = lines_of(before);
    if (lines.empty())
        fz::fail("an empty ass.dat was sorted");
    long announced = std::strtol(lines[0].c_str(), nullptr, 10);
    std::vector<std::string> records(lines.begin() + 1, lines.end());
    if ((long)records.size() != announced)
        fz::fail("sorted " + std::to_string(records.size()) + " records, the head line says " +
                 lines[0]);
    std::sort(records.begin(), records.end(), [](const std::string &a, const std::string &b) {
        return std::strcmp(a.c_str(), b.c_str()) < 0;
    });
    std::string expected;
    for (const auto &r : records)
        expected += r + "\n";
    if (after != expected)
        fz::fail("ass.dat does not hold its records sorted");
    for (const auto &entry : std::filesystem::directory_iterator(dir))
        if (entry.path().filename() != "ass.dat")
            fz::fail("a file stayed behind: " + entry.path().string());
    return 0;
}
