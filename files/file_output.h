#pragma once
// A file written with unbuffered writes, so that a full disk or a failing
// device shows at the write that hit it and each step can say which part of
// the file was lost.

#include <cstddef>
#include <string>

namespace files {

class OutputFile {
  public:
    // Creates the file anew (an existing one is truncated).
    explicit OutputFile(const std::string& path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    // true when every byte went out.
    bool write(const void* data, size_t size);
    // true when the file closed cleanly; the file counts as closed either way.
    bool close();

  private:
    int fd_ = -1;
};

}  // namespace files
