// ReplaceFile: writes a file so that readers, and a crash, see either its
// old contents or the new ones whole, never a mix.
//
// The new contents go to a temporary file in the same directory
// ("<path>.tmp-<pid>-<n>"), which is flushed to disk (fsync) and renamed over
// `path`; the directory is flushed as well, so that the rename survives a
// crash. When any step fails the temporary file is removed and `path` is
// left as it was. The new file keeps the permission bits of the regular file
// it replaces (and its owner and group, where the process may set them); a
// new file gets `new_mode` less the process umask. A `path` that is a
// symbolic link is followed: the file it names is replaced, the link stays.
//
// ScopedWriteFault is the seam tests use to make the n-th write or the
// rename fail as a full disk or a failing device would.
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

#include "kvl/runtime/export.h"

namespace kvl {

// Writes all of `data` to `fd` in pieces of at most 1 MiB, retrying short
// writes and interruptions; false with errno set on failure.
KVL_EXPORT bool WriteAll(int fd, std::string_view data);

// Replaces the contents of `path` by what `write` writes to the descriptor
// it is given (false from `write`, with errno set, abandons the
// replacement). 0 on success, else the errno value of the step that failed
// (EIO when `write` failed without setting errno).
KVL_EXPORT int ReplaceFile(const std::string& path,
                           const std::function<bool(int fd)>& write,
                           mode_t new_mode);

// While alive, makes this thread's writes fail: the `nth_write`-th call of
// write(2) made by WriteAll from now on (1-based; 0 for none) fails with
// ENOSPC, and with `fail_rename` every rename of ReplaceFile fails with EIO.
class KVL_EXPORT ScopedWriteFault {
 public:
  ScopedWriteFault(int nth_write, bool fail_rename);
  ~ScopedWriteFault();
  ScopedWriteFault(const ScopedWriteFault&) = delete;
  ScopedWriteFault& operator=(const ScopedWriteFault&) = delete;
};

}  // namespace kvl

#endif  // KVL_RUNTIME_REPLACE_FILE_H_
