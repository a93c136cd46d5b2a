#include "addon_session.h"

#include <cstdio>
#include <cstdlib>
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

void host_addon(velmora::Session &s, const std::string &dir)
{
    s.set_dispatch([](int code) { frame_call_handler(code); });
    s.set_drive_c(dir);
    std::snprintf(app_path, sizeof(app_path), "%s/velmora.sds", dir.c_str());
    std::snprintf(app_name, sizeof(app_name), "%s", app_path);
    register_functions();
}

AddonSession::AddonSession()
{
    host_addon(*this, dir.path());
}

velmora::Entity point(double x, double y, double z)
{
    velmora::Entity e;
    e.type = "POINT";
    e.pts = {{x, y, z}};
    return e;
}

velmora::Entity line(velmora::Vec3 a, velmora::Vec3 b, int colour)
{
    velmora::Entity e;
    e.type = "LINE";
    e.colour = colour;
    e.pts = {a, b};
    return e;
}

velmora::Entity face(velmora::Vec3 a, velmora::Vec3 b, velmora::Vec3 c, velmora::Vec3 d)
{
    velmora::Entity e;
    e.type = "3DFACE";
    e.pts = {a, b, c, d};
    return e;
}

velmora::Entity poly3d(const std::string &layer, const std::vector<velmora::Vec3> &pts, bool closed)
{
    velmora::Entity e;
    e.type = "POLYLINE";
    e.layer = layer;
    e.poly_flags = 8 | (closed ? 1 : 0);
    e.pts = pts;
    return e;
}

velmora::Entity mesh(int m, int n, const std::vector<velmora::Vec3> &pts, const std::string &layer)
{
    velmora::Entity e;
    e.type = "POLYLINE";
    e.layer = layer;
    e.poly_flags = 16;
    e.mesh_m = m;
    e.mesh_n = n;
    e.pts = pts;
    return e;
}

std::vector<velmora::Entity> box(velmora::Vec3 lo, velmora::Vec3 hi)
{
    double x0 = lo.x, y0 = lo.y, z0 = lo.z, x1 = hi.x, y1 = hi.y, z1 = hi.z;
    return {face({x0, y0, z0}, {x1, y0, z0}, {x1, y1, z0}, {x0, y1, z0}),
            face({x0, y0, z1}, {x1, y0, z1}, {x1, y1, z1}, {x0, y1, z1}),
            face({x0, y0, z0}, {x1, y0, z0}, {x1, y0, z1}, {x0, y0, z1}),
            face({x0, y1, z0}, {x1, y1, z0}, {x1, y1, z1}, {x0, y1, z1}),
            face({x0, y0, z0}, {x0, y1, z0}, {x0, y1, z1}, {x0, y0, z1}),
            face({x1, y0, z0}, {x1, y1, z0}, {x1, y1, z1}, {x1, y0, z1})};
}

std::vector<const velmora::Entity *> live(velmora::Session &s, const std::string &type)
{
    std::vector<const velmora::Entity *> r;
    for (const auto &e : s.drawing().entities)
        if (!e.erased && (type.empty() || e.type == type))
            r.push_back(&e);
    return r;
}

Outcome run_script(velmora::Session &s, const std::string &script)
{
    s.reset_failure();
    s.input(script);
    return {s.run(), s.failure_reason(), s.take_output()};   // in this order
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
