// files.cpp -- writing a user's file without ever leaving it half written.
//
//   OUT.dxf -> (symbolic link) -> real/OUT.dxf      the link is followed
//   real/OUT.dxf.tmp-PID-XXXXXX                      written, synced
//   rename(tmp, real/OUT.dxf)                        the only change the user sees
//
// The temporary file carries the writer's pid: a writer killed part-way
// leaves one behind, and the next save into that folder removes the
// leftovers whose writer is gone (a writer still running keeps its own).
#include "files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "drawing.h"

namespace velmora {

namespace {

const char TMP_MARK[] = ".tmp-";

std::string folder_of(const std::string &path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

const char *kind_of(mode_t m)
{
    if (S_ISDIR(m))
        return "a folder";
    if (S_ISFIFO(m))
        return "a FIFO";
    if (S_ISCHR(m) || S_ISBLK(m))
        return "a device";
    if (S_ISSOCK(m))
        return "a socket";
    return "not a regular file";
}

// "NAME.tmp-PID-XXXXXX" -> PID, or 0 when the name is not one of ours.
long writer_pid(const char *name)
{
    const char *mark = std::strstr(name, TMP_MARK);
    while (mark) {
        const char *p = mark + sizeof TMP_MARK - 1;
        char *end = nullptr;
        long pid = std::strtol(p, &end, 10);
        if (end != p && *end == '-' && std::strlen(end + 1) == 6 && pid > 0)
            return pid;
        mark = std::strstr(mark + 1, TMP_MARK);
    }
    return 0;
}

// Removes the temporary files of writers that are gone from `folder`: ours
// by name, owned by us, regular, and their pid no longer running.
void remove_stale_temporaries(const std::string &folder)
{
    std::string dir = folder.empty() ? "." : folder;
    DIR *d = opendir(dir.c_str());
    if (!d)
        return;
    while (struct dirent *e = readdir(d)) {
        long pid = writer_pid(e->d_name);
        if (pid == 0 || pid == (long)getpid())
            continue;
        if (kill((pid_t)pid, 0) == 0 || errno != ESRCH)
            continue;
        std::string path = dir + "/" + e->d_name;
        struct stat st;
        if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid())
            unlink(path.c_str());
    }
    closedir(d);
}

}  // namespace

std::string save_target(const std::string &path)
{
    std::string p = path;
    for (int hops = 0;; hops++) {
        struct stat st;
        if (lstat(p.c_str(), &st) != 0)
            return p;   // a new file; a missing folder is reported by the write
        if (S_ISREG(st.st_mode))
            return p;
        if (!S_ISLNK(st.st_mode))
            throw DxfError{path + ": " + kind_of(st.st_mode) + ", not a regular file; nothing was written"};
        if (hops == 40)
            throw DxfError{path + ": too many symbolic links; nothing was written"};
        char buf[4096];
        ssize_t n = readlink(p.c_str(), buf, sizeof buf - 1);
        if (n < 0)
            throw DxfError{path + ": cannot read the link: " + std::strerror(errno)};
        std::string to(buf, (std::size_t)n);
        p = to[0] == '/' ? to : folder_of(p) + to;
    }
}

PreparedFile prepare_file(const std::string &path, const std::string &data)
{
    PreparedFile f;
    f.target = save_target(path);
    remove_stale_temporaries(folder_of(f.target));
    f.tmp = f.target + TMP_MARK + std::to_string(getpid()) + "-XXXXXX";
    int fd = mkstemp(&f.tmp[0]);
    if (fd < 0)
        throw DxfError{path + ": cannot write: " + std::strerror(errno)};
    auto fail = [&](int err) {
        if (fd >= 0)
            close(fd);
        unlink(f.tmp.c_str());
        throw DxfError{path + ": cannot write: " + std::strerror(err)};
    };
    struct stat st;
    if (stat(f.target.c_str(), &st) == 0) {
        // The owner first: a change of owner clears the set-id bits of the mode.
        if (fchown(fd, st.st_uid, st.st_gid) != 0 && fchown(fd, (uid_t)-1, st.st_gid) != 0) {
            // Not allowed (another user's file): the new file is ours.
        }
        fchmod(fd, st.st_mode & 07777);
    } else {
        mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
    }
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        done += (std::size_t)n;
    }
    if (fsync(fd) != 0)
        fail(errno);
    int r = close(fd);
    fd = -1;
    if (r != 0)
        fail(errno);
    return f;
}

void commit_file(PreparedFile &f)
{
    if (f.tmp.empty())
        return;
    if (rename(f.tmp.c_str(), f.target.c_str()) != 0) {
        int err = errno;
        discard_file(f);
        throw DxfError{f.target + ": cannot write: " + std::strerror(err)};
    }
    f.tmp.clear();
    std::string dir = folder_of(f.target);
    int dfd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        fsync(dfd);
        close(dfd);
    }
}

void discard_file(PreparedFile &f)
{
    if (!f.tmp.empty())
        unlink(f.tmp.c_str());
    f.tmp.clear();
}

void write_file_atomically(const std::string &path, const std::string &data)
{
    PreparedFile f = prepare_file(path, data);
    commit_file(f);
}

}  // namespace velmora
