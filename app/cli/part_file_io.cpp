#include "part_file_io.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string why() { return std::strerror(errno); }

}  // namespace

bool readWholeFile(const std::string& path, std::string& bytes, std::string& error)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot read '" + path + "': " + why();
        return false;
    }
    bytes.clear();
    char buffer[1 << 16];
    while (true) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = "cannot read '" + path + "': " + why();
            close(fd);
            return false;
        }
        if (n == 0)
            break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

bool replaceFile(const std::string& path, std::string_view bytes, std::string& error)
{
    namespace fs = std::filesystem;
    // A file-size limit should fail the write, not kill the process with
    // the half-written file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    const fs::path target(path);
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    // A hidden name beside the target ("." + name + ".tmp-XXXXXX"), built
    // piece by piece: g++ 12 warns falsely about "." + std::string.
    std::string hidden(1, '.');
    hidden += target.filename().string();
    hidden += ".tmp-XXXXXX";
    std::string fresh = (folder / hidden).string();
    const int fd = mkstemp(fresh.data());
    if (fd < 0) {
        error = "cannot create a file in '" + folder.string() + "': " + why();
        return false;
    }
    auto fail = [&](const std::string& what) {
        error = what + " '" + fresh + "': " + why();
        close(fd);
        unlink(fresh.c_str());
        return false;
    };
    // mkstemp makes the file private; a part is as readable as any other file made here.
    const mode_t mask = umask(0);
    umask(mask);
    if (fchmod(fd, 0666 & ~mask) != 0)
        return fail("cannot set the permissions of");
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail("cannot write");
        done += static_cast<size_t>(n);
    }
    if (fsync(fd) != 0)
        return fail("cannot flush");
    if (close(fd) != 0) {
        error = "cannot close '" + fresh + "': " + why();
        unlink(fresh.c_str());
        return false;
    }
    if (rename(fresh.c_str(), path.c_str()) != 0) {
        error = "cannot rename '" + fresh + "' to '" + path + "': " + why();
        unlink(fresh.c_str());
        return false;
    }
    // The rename itself reaches the device with the folder.
    if (const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}
