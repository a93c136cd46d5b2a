#include "addon_session.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace vt {

TempDir::TempDir()
{
    char tmpl[] = "/tmp/velmora-test-XXXXXX";
    if (!mkdtemp(tmpl))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
    old_cwd_ = fs::current_path().string();
    fs::current_path(path_);
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::current_path(old_cwd_, ec);
    fs::remove_all(path_, ec);
}

AddonSession::AddonSession()
{
    set_dispatch([](int code) { frame_call_handler(code); });
    set_drive_c(dir.path());
    std::snprintf(app_path, sizeof(app_path), "%s/velmora.sds", dir.path().c_str());
    std::snprintf(app_name, sizeof(app_name), "%s", app_path);
    register_functions();
}

void write_file(const std::string &path, const std::string &content)
{
    std::ofstream f(path, std::ios::binary);
    f << content;
}

std::string read_file(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

bool file_exists(const std::string &path)
{
    return fs::exists(path);
}

}  // namespace vt
