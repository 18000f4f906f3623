#include "files/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace files {

namespace {

namespace fs = std::filesystem;

// Links followed before the name is given up as a loop, as the kernel does.
constexpr int kMaxLinkHops = 40;
// Room kept in a file name for the fresh file's prefix and suffix.
constexpr size_t kMaxNameKept = 200;

// A file size limit makes the kernel send SIGXFSZ, whose default ends the
// process; ignored, the write fails with EFBIG and is reported like a full
// disk. A handler someone installed is left alone.
void ignoreFileSizeSignal()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
            std::signal(SIGXFSZ, SIG_IGN);
    });
}

// `path` with every symbolic link of its last component followed; a link
// that points nowhere gives the name it points to. false after too many hops.
bool followLinks(const std::string& path, std::string& resolved)
{
    fs::path p(path);
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            resolved = p.string();
            return true;
        }
        std::error_code error;
        const fs::path to = fs::read_symlink(p, error);
        if (error) {
            resolved = p.string();
            return true;
        }
        p = to.is_absolute() ? to : p.parent_path() / to;
    }
    return false;
}

}  // namespace

AtomicFile::AtomicFile(const std::string& path)
{
    ignoreFileSizeSignal();
    if (!followLinks(path, target_)) {
        target_ = path;
        fail(AtomicStep::Create, ELOOP);
        return;
    }
    const fs::path target(target_);
    folder_ = target.parent_path().empty() ? std::string(".") : target.parent_path().string();

    // Never opened: a FIFO would block the open, a device would take the bytes.
    struct stat old {};
    const bool replacing = ::stat(target_.c_str(), &old) == 0;
    if (replacing && !S_ISREG(old.st_mode)) {
        step_ = AtomicStep::NotRegular;
        reason_ = S_ISDIR(old.st_mode) ? std::strerror(EISDIR) : "Not a regular file";
        return;
    }

    // A hidden name beside the target, unique among writers in this and
    // other processes; O_EXCL never reuses a file that is there.
    static std::atomic<unsigned> serial{0};
    std::string name = target.filename().string().substr(0, kMaxNameKept);
    int error = 0;
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        std::string hidden(1, '.');
        hidden += name;
        hidden += ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
        fresh_ = (fs::path(folder_) / hidden).string();
        fd_ = ::open(fresh_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        error = errno;
        if (fd_ < 0 && error != EEXIST)
            break;
    }
    if (fd_ < 0) {
        fail(AtomicStep::Create, error);
        return;
    }
    freshExists_ = true;
    if (replacing) {
        // The new file takes the old one's place with its permissions and,
        // where allowed, its owner; neither failing stops the write.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            (void)::fchown(fd_, old.st_uid, old.st_gid);
        (void)::fchmod(fd_, old.st_mode & 07777);
    }
}

AtomicFile::~AtomicFile() { discard(); }

bool AtomicFile::fail(AtomicStep step, int error)
{
    step_ = step;
    reason_ = std::strerror(error);
    discard();
    return false;
}

void AtomicFile::discard()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (freshExists_) {
        ::unlink(fresh_.c_str());
        freshExists_ = false;
    }
}

bool AtomicFile::write(const void* data, size_t size)
{
    if (fd_ < 0)
        return false;
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(AtomicStep::Write, errno);
        if (n == 0)
            return fail(AtomicStep::Write, EIO);
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool AtomicFile::commit()
{
    if (fd_ < 0)
        return false;
    if (::fsync(fd_) != 0)
        return fail(AtomicStep::Sync, errno);
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0)
        return fail(AtomicStep::Close, errno);
    if (::rename(fresh_.c_str(), target_.c_str()) != 0)
        return fail(AtomicStep::Rename, errno);
    freshExists_ = false;
    // The rename itself reaches the device with the folder; a folder that
    // cannot be flushed still holds the new file.
    if (const int dir = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool writeFileAtomically(const std::string& path, std::span<const uint8_t> bytes, std::string& error)
{
    AtomicFile file(path);
    if (!file.write(bytes) || !file.commit()) {
        error = "cannot write '" + path + "': " + file.reason();
        return false;
    }
    return true;
}

}  // namespace files
