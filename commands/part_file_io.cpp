#include "commands/part_file_io.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "files/atomic_file.h"

namespace commands {

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
    files::AtomicFile file(path);
    if (file.write(bytes.data(), bytes.size()) && file.commit())
        return true;
    const std::string& reason = file.reason();
    switch (file.failedStep()) {
    case files::AtomicStep::NotRegular:
        error = "cannot replace '" + path + "': " + reason;
        break;
    case files::AtomicStep::Create:
        error = "cannot create a file in '" + file.folder() + "': " + reason;
        break;
    case files::AtomicStep::Write:
    case files::AtomicStep::None:
        error = "cannot write '" + file.fresh() + "': " + reason;
        break;
    case files::AtomicStep::Sync:
        error = "cannot flush '" + file.fresh() + "': " + reason;
        break;
    case files::AtomicStep::Close:
        error = "cannot close '" + file.fresh() + "': " + reason;
        break;
    case files::AtomicStep::Rename:
        error = "cannot rename '" + file.fresh() + "' to '" + file.target() + "': " + reason;
        break;
    }
    return false;
}

}  // namespace commands
