#include "kvl/runtime/replace_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

namespace kvl {
namespace {

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
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

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

int ReplaceFile(const std::string& path,
                const std::function<bool(int fd)>& write, mode_t new_mode) {
  std::string temp;
  const int fd = OpenTemporary(path, new_mode, &temp);
  if (fd < 0) return errno;
  struct stat old;
  bool ok = true;
  if (stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode))
    ok = fchmod(fd, old.st_mode & 07777) == 0;
  errno = 0;
  ok = ok && write(fd) && fsync(fd) == 0;
  int error = ok ? 0 : (errno != 0 ? errno : EIO);
  if (close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && rename(temp.c_str(), path.c_str()) != 0) {
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
