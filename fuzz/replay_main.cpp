// replay_main.cpp -- runs a fuzz target's entry on given files, without
// libFuzzer: the ordinary build (gcc or clang, release or sanitized) links
// each target with this main, and ctest replays the seed corpus through it.
// That keeps the targets compiling with the host and the add-on they test,
// and every seed passing its target's checks, between fuzzing runs.
//
//   fuzz_replay_<name> FILE_OR_FOLDER...
//
// A finding aborts as under libFuzzer; a file that cannot be read is a
// failure too, so that a moved corpus is not mistaken for a passing one.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

static bool replay(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
    return true;
}

int main(int argc, char **argv)
{
    namespace fs = std::filesystem;
    int inputs = 0;
    for (int i = 1; i < argc; i++) {
        std::error_code ec;
        if (!fs::is_directory(argv[i], ec)) {
            if (!replay(argv[i]))
                return 1;
            inputs++;
            continue;
        }
        // Sorted, so that a failure names the same file on every run.
        std::vector<fs::path> files;
        for (const auto &entry : fs::directory_iterator(argv[i]))
            if (entry.is_regular_file())
                files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const auto &f : files) {
            if (!replay(f))
                return 1;
            inputs++;
        }
    }
    if (inputs == 0) {
        std::fprintf(stderr, "no inputs replayed\n");
        return 1;
    }
    std::printf("%d inputs replayed\n", inputs);
    return 0;
}
