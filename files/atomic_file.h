#pragma once
// Files replaced whole or not at all. The new contents go to a fresh hidden
// file in the target's folder, are flushed to the device and renamed over
// the target, so that a full disk, a file size limit or a kill midway leaves
// the old file as it was and a reader never sees a cut-off mix. A symbolic
// link is followed: the file it names gets the new contents and the link
// stays. A target that is not a regular file (a folder, a FIFO, a device) is
// refused before anything is made.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace files {

// The step of a replacement that failed.
enum class AtomicStep {
    None,        // nothing failed
    NotRegular,  // the target exists and is not a regular file
    Create,      // the fresh file could not be made beside the target
    Write,       // a write to the fresh file failed
    Sync,        // flushing the fresh file to the device failed
    Close,       // closing the fresh file failed
    Rename,      // the fresh file could not take the target's place
};

// One replacement: write() the new contents, then commit() puts them in
// place; a file never committed leaves the target as it was.
class AtomicFile {
  public:
    // Resolves `path`, checks the target and makes the fresh file. The fresh
    // file has the old file's permission bits, or those a new file gets.
    explicit AtomicFile(const std::string& path);
    // Removes the fresh file unless commit() put it in place.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    // true when every byte went out; after a failure the file is given up
    // and every later call fails.
    bool write(const void* data, size_t size);
    bool write(std::span<const uint8_t> bytes) { return write(bytes.data(), bytes.size()); }
    // Flushes, closes and renames the fresh file over the target, then
    // flushes the folder so that the rename lasts too. false when any step
    // fails; the fresh file is then gone and the target untouched.
    bool commit();

    AtomicStep failedStep() const { return step_; }
    // The system's reason for the failure ("No space left on device").
    const std::string& reason() const { return reason_; }
    // The file that is replaced: `path` with its links followed.
    const std::string& target() const { return target_; }
    const std::string& folder() const { return folder_; }
    // The fresh file's name, also after it is removed.
    const std::string& fresh() const { return fresh_; }

  private:
    bool fail(AtomicStep step, int error);
    void discard();

    std::string target_;
    std::string folder_;
    std::string fresh_;
    std::string reason_;
    AtomicStep step_ = AtomicStep::None;
    int fd_ = -1;
    bool freshExists_ = false;
};

// Replaces the file at `path` with `bytes` as above. false with
// "cannot write 'path': reason" in `error`.
bool writeFileAtomically(const std::string& path, std::span<const uint8_t> bytes, std::string& error);

}  // namespace files
