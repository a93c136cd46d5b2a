// addon_session.h -- in-process test bed: a host session with the add-on's handlers linked in, working in a fresh
// temporary folder that is also the current directory and drive C: for the length of a test.
#pragma once

#include <string>
#include <vector>

#include "frame.h"
#include "session.h"

namespace vt {

class TempDir {
public:
    TempDir();                      // makes the folder and changes into it
    ~TempDir();                     // changes back and removes it
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_, old_cwd_;
};

// Hosts the add-on in `s`: handlers dispatched, functions registered, app_path <dir>/velmora.sds, drive C: <dir>.
void host_addon(velmora::Session &s, const std::string &dir);

// A session hosting the add-on in a fresh temporary folder.
class AddonSession : public velmora::Session {
public:
    AddonSession();
    TempDir dir;
};

// Entities for a test drawing.
velmora::Entity point(double x, double y, double z);
velmora::Entity line(velmora::Vec3 a, velmora::Vec3 b, int colour);
velmora::Entity face(velmora::Vec3 a, velmora::Vec3 b, velmora::Vec3 c, velmora::Vec3 d);
// A 3D polyline through `pts`, closed when asked.
velmora::Entity poly3d(const std::string &layer, const std::vector<velmora::Vec3> &pts, bool closed = false);
// An m x n polygon mesh of `pts`, row by row.
velmora::Entity mesh(int m, int n, const std::vector<velmora::Vec3> &pts, const std::string &layer = "0");
// The six faces of the box from `lo` to `hi`.
std::vector<velmora::Entity> box(velmora::Vec3 lo, velmora::Vec3 hi);

// The entities of the drawing not erased, of `type` if one is given.
std::vector<const velmora::Entity *> live(velmora::Session &s, const std::string &type = "");

// Runs script text through the session to its end (or its first failure).
struct Outcome {
    bool ok;                  // the session's run() result
    std::string reason;       // why it failed, empty when it did not
    std::string out;          // everything printed
};
Outcome run_script(velmora::Session &s, const std::string &script);

void write_file(const std::string &path, const std::string &content);
std::string read_file(const std::string &path);
bool file_exists(const std::string &path);

}  // namespace vt
