#include "files/file_output.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace files {

OutputFile::OutputFile(const std::string& path)
{
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

OutputFile::~OutputFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool OutputFile::write(const void* data, size_t size)
{
    if (fd_ < 0)
        return false;
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool OutputFile::close()
{
    if (fd_ < 0)
        return false;
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
}

}  // namespace files
