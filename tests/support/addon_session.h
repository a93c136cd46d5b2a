// addon_session.h -- in-process test bed: a host session with the add-on's
// handlers linked in, working in a fresh temporary folder that is also the
// current directory and drive C: for the length of a test.
#pragma once

#include <string>

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

// The add-on registered with the session, app_path set to <dir>/velmora.sds,
// drive C: mapped to <dir>.
class AddonSession : public velmora::Session {
public:
    AddonSession();
    TempDir dir;
};

void write_file(const std::string &path, const std::string &content);
std::string read_file(const std::string &path);
bool file_exists(const std::string &path);

}  // namespace vt
