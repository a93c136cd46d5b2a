// files.h -- how the host writes a file the user named (-o, --png, dxfout):
// never in place, never through a symbolic link onto something else, never
// onto a device.
#pragma once

#include <string>

namespace velmora {

// The file a save of `path` replaces: symbolic links followed to the file
// they name (which need not exist yet).  Throws DxfError when that is not a
// regular file (a folder, a FIFO, a device, a socket): renaming over it would
// replace the node itself.
std::string save_target(const std::string &path);

// A save in two steps, so that several files can be made ready and then put
// in place together: prepare_file writes `data` to a temporary file beside the
// target and syncs it (throws DxfError, leaving nothing behind); commit_file
// renames it over the target (throws DxfError); discard_file removes it.
// The new file takes the old one's permissions and, where allowed, owner.
struct PreparedFile {
    std::string target, tmp;
};
PreparedFile prepare_file(const std::string &path, const std::string &data);
void commit_file(PreparedFile &f);
void discard_file(PreparedFile &f);

// Both steps at once: the target is either the old file or the complete new one.
void write_file_atomically(const std::string &path, const std::string &data);

}  // namespace velmora
