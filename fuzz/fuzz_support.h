// fuzz_support.h -- what the fuzz targets share: a private work folder for
// the process, input written to files there, an in-process session with the
// add-on's handlers, a drawing comparison, and the stop on a finding.
//
// The add-on's readers and the host's DXF reader take file paths, so every
// target writes its input to a file first.  The folder lies in /dev/shm when
// there is one (saves sync their files; on tmpfs that costs nothing) and is
// emptied before each input, so one input never sees another's files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "addon_session.h"
#include "drawing.h"
#include "session.h"

namespace fz {

// The process's work folder (made on first use, removed at exit).  No
// trailing slash.
const std::string &work_dir();

// While one input runs: the work folder emptied and made the current
// directory (the add-on and the session write files there by relative
// names); afterwards the directory libFuzzer runs in is current again, so
// that its corpus and artifact paths keep their meaning.
class Input {
public:
    Input();
    ~Input();
    Input(const Input &) = delete;
    Input &operator=(const Input &) = delete;

private:
    std::string back_;
};
// work_dir() + "/" + name.
std::string path_of(const std::string &name);

// Writes the input to a file (the files themselves: vt::read_file and
// vt::file_exists of tests/support).
void write_file(const std::string &path, const void *data, std::size_t size);

// A session with the add-on registered: its module path is
// <work>/velmora.sds, drive C: is the work folder.
class AddonSession : public velmora::Session {
public:
    AddonSession();
};

// Runs script text to its end or its first failure; true when nothing failed.
bool run_script(velmora::Session &s, const std::string &script);

// A finding: prints what broke and aborts, so that libFuzzer keeps the input.
[[noreturn]] void fail(const std::string &what);

// "" when the two drawings hold the same entities (modelled fields, and with
// `raw` also the groups as read), layers, current layer and colour, version
// and kept sections; otherwise the first difference.
std::string compare_drawings(const velmora::Drawing &a, const velmora::Drawing &b, bool raw);

// Reads the bytes as little pieces: the targets that build their input from
// numbers (the triangulation, the triangle files) take them from here, and
// get zeros once the input runs out.
class Bytes {
public:
    Bytes(const std::uint8_t *data, std::size_t size) : p_(data), end_(data + size) {}
    bool empty() const { return p_ >= end_; }
    std::uint8_t byte() { return p_ < end_ ? *p_++ : 0; }
    std::uint16_t u16() { return (std::uint16_t)(byte() | byte() << 8); }

private:
    const std::uint8_t *p_, *end_;
};

}  // namespace fz
