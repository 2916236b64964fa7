// ReplaceFile: writes a file so that readers, and a crash, see either its
// old contents or the new ones whole, never a mix.
//
// The new contents go to a temporary file in the same directory
// ("<path>.tmp-<pid>-<n>"), which is flushed to disk (fsync) and renamed over
// `path`; the directory is flushed as well, so that the rename survives a
// crash. When any step fails the temporary file is removed and `path` is
// left as it was. The new file keeps the permission bits of the regular file
// it replaces; a new file gets `new_mode` less the process umask.
//
// Threading: any thread. Concurrent replacements of one path each use their
// own temporary file; the last rename wins.
//
//   int error = ReplaceFile(path, [&](int fd) { return WriteAll(fd, text); },
//                           0666);
//   if (error != 0) ... std::strerror(error) ...
#ifndef KVL_RUNTIME_REPLACE_FILE_H_
#define KVL_RUNTIME_REPLACE_FILE_H_

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

namespace kvl {

// Writes all of `data` to `fd`, retrying short writes and interruptions;
// false with errno set on failure.
bool WriteAll(int fd, std::string_view data);

// Replaces the contents of `path` by what `write` writes to the descriptor
// it is given (false from `write`, with errno set, abandons the
// replacement). 0 on success, else the errno value of the step that failed
// (EIO when `write` failed without setting errno).
int ReplaceFile(const std::string& path,
                const std::function<bool(int fd)>& write, mode_t new_mode);

}  // namespace kvl

#endif  // KVL_RUNTIME_REPLACE_FILE_H_
