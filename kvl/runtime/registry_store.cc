#include "kvl/runtime/registry_store.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "kvl/runtime/ascii.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/replace_file.h"

namespace kvl {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

[[noreturn]] void Fail(const char* action, const std::string& path, int error) {
  Raise(kE_FAIL, {},
        std::string("cannot ") + action + " registry file '" + path +
            "': " + std::strerror(error));
}

std::string Getenv(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string DirName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// mkdir -p; false with errno set on failure.
bool MakeDirs(const std::string& dir) {
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    errno = ENOTDIR;
    return false;
  }
  std::string parent = DirName(dir);
  if (parent != dir && !MakeDirs(parent)) return false;
  return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace

std::string ClassSectionName(const Guid& clsid) {
  return "CLSID\\" + clsid.ToString();
}

std::string TypeLibSectionName(const Guid& libid, std::string_view version) {
  return "TypeLib\\" + libid.ToString() + "\\" + std::string(version);
}

const std::string* RegistrySection::Get(std::string_view key) const {
  for (const auto& [k, v] : values)
    if (EqualsNoCase(k, key)) return &v;
  return nullptr;
}

void RegistrySection::Set(std::string_view key, std::string value) {
  for (auto& [k, v] : values) {
    if (EqualsNoCase(k, key)) {
      v = std::move(value);
      return;
    }
  }
  values.emplace_back(std::string(key), std::move(value));
}

std::string RegistryStore::DefaultPath() {
  std::string path = Getenv("KVL_REGISTRY");
  if (!path.empty()) return path;
  std::string config = Getenv("XDG_CONFIG_HOME");
  if (!config.empty() && config.front() == '/')
    return config + "/kvlcommon/registry";
  std::string home = Getenv("HOME");
  if (home.empty()) {
    struct passwd pw;
    struct passwd* found = nullptr;
    char buf[4096];
    if (getpwuid_r(getuid(), &pw, buf, sizeof buf, &found) == 0 && found &&
        found->pw_dir)
      home = found->pw_dir;
  }
  if (home.empty()) return "";
  return home + "/.config/kvlcommon/registry";
}

RegistryStore RegistryStore::Load(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return RegistryStore();
    Fail("read", path, errno);
  }
  std::string text;
  char buf[8192];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      close(fd);
      Fail("read", path, error);
    }
    if (n == 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return Parse(text);
}

RegistryStore RegistryStore::Parse(std::string_view text) {
  RegistryStore store;
  RegistrySection* current = nullptr;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line =
        Trim(text.substr(0, end == std::string_view::npos ? text.size() : end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      current = &store.Section(line.substr(1, line.size() - 2));
      continue;
    }
    // Lines before the first section are kept in an unnamed one.
    if (!current) current = &store.Section("");
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      current->Set(line, "");
    } else {
      current->Set(Trim(line.substr(0, eq)), std::string(line.substr(eq + 1)));
    }
  }
  return store;
}

std::string RegistryStore::ToText() const {
  std::string out = "# KVLCommon class registry\n";
  for (const RegistrySection& s : sections_) {
    out += '\n';
    if (!s.name.empty()) out += "[" + s.name + "]\n";
    for (const auto& [k, v] : s.values) out += k + "=" + v + "\n";
  }
  return out;
}

void RegistryStore::Save(const std::string& path) const {
  std::string dir = DirName(path);
  if (!MakeDirs(dir)) Fail("create the directory of", path, errno);
  const std::string text = ToText();
  const int error = ReplaceFile(
      path, [&](int fd) { return WriteAll(fd, text); }, 0600);
  if (error != 0) Fail("write", path, error);
}

void RegistryStore::Update(const std::string& path,
                           const std::function<void(RegistryStore&)>& edit) {
  if (!MakeDirs(DirName(path))) Fail("create the directory of", path, errno);
  std::string lock_path = path + ".lock";
  int lock_fd = open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lock_fd < 0) Fail("lock", path, errno);
  while (flock(lock_fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      int error = errno;
      close(lock_fd);
      Fail("lock", path, error);
    }
  }
  struct Unlock {
    int fd;
    ~Unlock() { close(fd); }  // also drops the lock
  } unlock{lock_fd};
  RegistryStore store = Load(path);
  edit(store);
  store.Save(path);
}

const RegistrySection* RegistryStore::Find(std::string_view name) const {
  for (const RegistrySection& s : sections_)
    if (EqualsNoCase(s.name, name)) return &s;
  return nullptr;
}

RegistrySection& RegistryStore::Section(std::string_view name) {
  for (RegistrySection& s : sections_)
    if (EqualsNoCase(s.name, name)) return s;
  sections_.push_back(RegistrySection{std::string(name), {}});
  return sections_.back();
}

bool RegistryStore::Remove(std::string_view name) {
  for (auto it = sections_.begin(); it != sections_.end(); ++it) {
    if (EqualsNoCase(it->name, name)) {
      sections_.erase(it);
      return true;
    }
  }
  return false;
}

}  // namespace kvl
