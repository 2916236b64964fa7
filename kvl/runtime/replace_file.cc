#include "kvl/runtime/replace_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <limits.h>

#include <algorithm>
#include <atomic>
#include <cstdint>

namespace kvl {
namespace {

constexpr size_t kPiece = 1024 * 1024;
// Symbolic links followed before giving up, as the kernel does.
constexpr int kMaxLinks = 40;

struct Faults {
  int writes_left = 0;  // the write that fails when this reaches 1
  bool fail_rename = false;
};
thread_local Faults* active_faults = nullptr;

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// `path` with every symbolic link along its last name followed; "" with
// errno set to ELOOP for a loop.
std::string FollowLinks(std::string path) {
  for (int i = 0; i < kMaxLinks; ++i) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char target[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    if (n <= 0) return path;
    std::string next(target, static_cast<size_t>(n));
    path = next.front() == '/' ? next : DirectoryOf(path) + "/" + next;
  }
  errno = ELOOP;
  return {};
}

// Opens a new temporary file beside `path`; -1 with errno set on failure.
int OpenTemporary(const std::string& path, mode_t mode, std::string* temp) {
  static std::atomic<uint32_t> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temp = path + ".tmp-" + std::to_string(getpid()) + "-" +
            std::to_string(counter.fetch_add(1, std::memory_order_relaxed));
    const int fd =
        open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

ScopedWriteFault::ScopedWriteFault(int nth_write, bool fail_rename) {
  delete active_faults;
  active_faults = new Faults{nth_write, fail_rename};
}

ScopedWriteFault::~ScopedWriteFault() {
  delete active_faults;
  active_faults = nullptr;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    if (active_faults && active_faults->writes_left > 0 &&
        --active_faults->writes_left == 0) {
      errno = ENOSPC;
      return false;
    }
    const ssize_t n = write(fd, data.data(), std::min(data.size(), kPiece));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

int ReplaceFile(const std::string& name,
                const std::function<bool(int fd)>& write, mode_t new_mode) {
  const std::string path = FollowLinks(name);
  if (path.empty()) return errno;
  std::string temp;
  const int fd = OpenTemporary(path, new_mode, &temp);
  if (fd < 0) return errno;
  struct stat old;
  bool ok = true;
  if (stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ok = fchmod(fd, old.st_mode & 07777) == 0;
    // Only a privileged process may give the file away; others keep theirs.
    [[maybe_unused]] const int ignored = fchown(fd, old.st_uid, old.st_gid);
  }
  errno = 0;
  ok = ok && write(fd) && fsync(fd) == 0;
  int error = ok ? 0 : (errno != 0 ? errno : EIO);
  if (close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && active_faults && active_faults->fail_rename) {
    ok = false;
    error = EIO;
  } else if (ok && rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    unlink(temp.c_str());
    return error;
  }
  const int dir_fd =
      open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) {
    fsync(dir_fd);
    close(dir_fd);
  }
  return 0;
}

}  // namespace kvl
