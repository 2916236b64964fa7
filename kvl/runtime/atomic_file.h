// WriteFileAtomically: replaces a file's contents so that a crash, a full
// disk or a refused write leaves either the old file or the new one, never
// a mixture and never nothing.
//
// The bytes go to a new file in the same directory as the target, which is
// flushed to disk (fsync), then renamed over the target; the directory is
// flushed after the rename. A target that is a symbolic link is resolved
// first, so the link stays and the file it names is replaced. A replaced
// file keeps its permission bits (and its owner, when the process may set
// it); a new file is made with `new_file_mode` less the umask. On failure
// the target is untouched and the temporary file is removed.
//
// ScopedWriteFault is the seam tests use to make the n-th write or the
// rename fail as a full disk would.
//
// Threading: safe to call from any thread; a ScopedWriteFault applies to
// the thread that made it.
//
//   std::string error;
//   if (!WriteFileAtomically("/etc/app/main.cfg", text, &error))
//     Report("can't save: " + error);
#ifndef KVL_RUNTIME_ATOMIC_FILE_H_
#define KVL_RUNTIME_ATOMIC_FILE_H_

#include <sys/types.h>

#include <string>
#include <string_view>

namespace kvl {

// Writes `bytes` as the new contents of `path`. Returns false and sets
// `*error` (when given) to the system's text for the failure.
bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         std::string* error = nullptr,
                         mode_t new_file_mode = 0666);

// While alive, makes this thread's atomic writes fail: the `nth_write`-th
// write call from now on (1-based; 0 for none) fails with ENOSPC, and with
// `fail_rename` every rename fails with EIO. Writes are made in pieces of
// at most 64 KiB.
class ScopedWriteFault {
 public:
  ScopedWriteFault(int nth_write, bool fail_rename);
  ~ScopedWriteFault();
  ScopedWriteFault(const ScopedWriteFault&) = delete;
  ScopedWriteFault& operator=(const ScopedWriteFault&) = delete;
};

}  // namespace kvl

#endif  // KVL_RUNTIME_ATOMIC_FILE_H_
