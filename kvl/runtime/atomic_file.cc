#include "kvl/runtime/atomic_file.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>

namespace kvl {
namespace {

constexpr size_t kPiece = 64 * 1024;
// Symbolic links followed before giving up, as the kernel does.
constexpr int kMaxLinks = 40;

struct Faults {
  int writes_left = 0;  // the write that fails when this reaches 1
  bool fail_rename = false;
};
thread_local Faults* active_faults = nullptr;

bool Fail(std::string* error, int number) {
  if (error) *error = strerror(number);
  return false;
}

std::string DirOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The file that writing `path` should replace: `path` with every symbolic
// link along the last name followed. Sets errno and returns "" on a loop.
std::string FollowLinks(std::string path) {
  for (int i = 0; i < kMaxLinks; ++i) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char target[PATH_MAX];
    ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    if (n < 0) return path;
    std::string next(target, static_cast<size_t>(n));
    path = next.front() == '/' ? next : DirOf(path) + "/" + next;
  }
  errno = ELOOP;
  return {};
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    if (active_faults && active_faults->writes_left > 0 &&
        --active_faults->writes_left == 0) {
      errno = ENOSPC;
      return false;
    }
    ssize_t n = write(fd, bytes.data(), std::min(bytes.size(), kPiece));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// A fresh file next to `target`, opened for writing; -1 with errno set.
int MakeTemp(const std::string& target, mode_t mode, std::string& name) {
  static std::atomic<uint32_t> counter{0};
  std::string dir = DirOf(target);
  std::string base = target.substr(target.rfind('/') + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[48];
    snprintf(suffix, sizeof suffix, ".tmp%d.%u", static_cast<int>(getpid()),
             counter.fetch_add(1));
    name = dir + "/." + base + suffix;
    int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

ScopedWriteFault::ScopedWriteFault(int nth_write, bool fail_rename) {
  active_faults = new Faults{nth_write, fail_rename};
}

ScopedWriteFault::~ScopedWriteFault() {
  delete active_faults;
  active_faults = nullptr;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         std::string* error, mode_t new_file_mode) {
  if (path.empty()) return Fail(error, ENOENT);
  std::string target = FollowLinks(path);
  if (target.empty()) return Fail(error, errno);
  struct stat old;
  bool replacing = stat(target.c_str(), &old) == 0;
  if (replacing && S_ISDIR(old.st_mode)) return Fail(error, EISDIR);

  std::string temp;
  int fd = MakeTemp(target, new_file_mode, temp);
  if (fd < 0) return Fail(error, errno);
  if (replacing) {
    fchmod(fd, old.st_mode & 07777);
    // Only a privileged process may give the file away; others keep theirs.
    [[maybe_unused]] int ignored = fchown(fd, old.st_uid, old.st_gid);
  }
  if (!WriteAll(fd, bytes) || fsync(fd) != 0) {
    int number = errno;
    close(fd);
    unlink(temp.c_str());
    return Fail(error, number);
  }
  if (close(fd) != 0) {
    int number = errno;
    unlink(temp.c_str());
    return Fail(error, number);
  }
  int renamed = active_faults && active_faults->fail_rename
                    ? (errno = EIO, -1)
                    : rename(temp.c_str(), target.c_str());
  if (renamed != 0) {
    int number = errno;
    unlink(temp.c_str());
    return Fail(error, number);
  }
  // Make the rename itself durable.
  int dir_fd = open(DirOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) {
    fsync(dir_fd);
    close(dir_fd);
  }
  return true;
}

}  // namespace kvl
