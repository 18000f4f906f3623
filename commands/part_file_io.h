#pragma once
// Part files on disk: read whole, and written so that the target is either
// the old file or the whole new one, never a cut-off mix.

#include <string>
#include <string_view>

namespace commands {

// The file's bytes; false with "cannot read 'path': why" in `error`.
bool readWholeFile(const std::string& path, std::string& bytes, std::string& error);

// Writes `bytes` to a fresh file beside `path`, flushes it to the device and
// renames it over `path` (files::AtomicFile: a link is followed, a target
// that is not a regular file is refused). On any failure the fresh file is
// removed, `path` is left as it was and `error` says what failed.
bool replaceFile(const std::string& path, std::string_view bytes, std::string& error);

}  // namespace commands
