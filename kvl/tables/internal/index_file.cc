#include "kvl/tables/internal/index_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "kvl/runtime/replace_file.h"

namespace kvl::tables_internal {
namespace {

constexpr int32_t kEntrySize = 8;
// The smallest entry: a length, no key bytes, a row.
constexpr size_t kMinEntryBytes = 2 + 4;

// Collects output in a buffer and writes it out in large pieces. Every
// piece put is at most one entry (a key is at most 32767 bytes), so the
// buffer never overflows between flushes.
class BlockWriter {
 public:
  explicit BlockWriter(int fd)
      : fd_(fd), buffer_(new char[kFlushAt + kSlack]) {}

  void Put32(int32_t v) {
    StoreLE32(buffer_.get() + used_, static_cast<uint32_t>(v));
    used_ += 4;
  }
  bool Entry(std::string_view key, int32_t row) {
    char* p = buffer_.get() + used_;
    StoreLE16(p, static_cast<uint16_t>(key.size()));
    std::memcpy(p + 2, key.data(), key.size());
    StoreLE32(p + 2 + key.size(), static_cast<uint32_t>(row));
    used_ += 2 + key.size() + 4;
    return used_ < kFlushAt || Flush();
  }
  int fd() const { return fd_; }
  bool Flush() {
    const bool ok = WriteAll(fd_, std::string_view(buffer_.get(), used_));
    used_ = 0;
    return ok;
  }

 private:
  static constexpr size_t kFlushAt = size_t{1} << 20;
  static constexpr size_t kSlack = size_t{1} << 16;
  int fd_;
  std::unique_ptr<char[]> buffer_;
  size_t used_ = 0;
};

bool WriteBlock(BlockWriter& out, const KeyIndex& index) {
  const int32_t count = index.size();
  out.Put32(count);
  if (count == 0) return true;
  out.Put32(kEntrySize);
  // Records that lie in entry order already go out as they are.
  if (const std::string_view block = index.Block(); !block.empty())
    return out.Flush() && WriteAll(out.fd(), block);
  for (int32_t i = 0; i < count; ++i) {
    const std::string_view key = index.KeyAt(i);
    if (key.size() > 0x7fff) {  // the length field cannot hold it
      errno = EOVERFLOW;
      return false;
    }
    if (!out.Entry(key, index.RowAt(i))) return false;
  }
  return true;
}

// Reads one block at `*pos`; its entries refer to records in `data`.
bool ParseBlock(const char* data, size_t size, size_t* pos,
                std::vector<IndexEntry>* entries) {
  size_t at = *pos;
  if (size - at < 4) return false;
  const int32_t count = static_cast<int32_t>(LoadLE32(data + at));
  at += 4;
  if (count < 0) return false;
  if (count > 0) {
    if (size - at < 4) return false;
    at += 4;  // the entry size
    if (static_cast<size_t>(count) > (size - at) / kMinEntryBytes) return false;
  }
  std::vector<IndexEntry> read;
  read.reserve(static_cast<size_t>(count));
  const char* p = data + at;
  const char* const end = data + size;
  for (int32_t i = 0; i < count; ++i) {
    if (end - p < 2) return false;
    const int16_t length = static_cast<int16_t>(LoadLE16(p));
    if (length < 0 || end - p - 2 < length + 4) return false;
    const std::string_view key(p + 2, static_cast<size_t>(length));
    read.push_back(IndexEntry{FoldedPrefix(key),
                              static_cast<uint32_t>(p - data),
                              static_cast<int32_t>(LoadLE32(p + 2 + length))});
    p += 2 + length + 4;
  }
  at = static_cast<size_t>(p - data);
  *entries = std::move(read);
  *pos = at;
  return true;
}

}  // namespace

bool WriteIndexFile(int fd, const KeyIndex& first, const KeyIndex& second) {
  BlockWriter out(fd);
  return WriteBlock(out, first) && WriteBlock(out, second) && out.Flush();
}

bool ParseIndexFile(std::shared_ptr<const char[]> bytes, size_t size,
                    KeyIndex* first, KeyIndex* second) {
  // Entries address the bytes with 32-bit offsets.
  if (size > std::numeric_limits<uint32_t>::max()) return false;
  size_t pos = 0;
  std::vector<IndexEntry> entries0;
  std::vector<IndexEntry> entries1;
  if (!ParseBlock(bytes.get(), size, &pos, &entries0) ||
      !ParseBlock(bytes.get(), size, &pos, &entries1))
    return false;
  const auto stored = static_cast<uint32_t>(size);
  *first = KeyIndex::Loaded(bytes, stored, std::move(entries0));
  *second = KeyIndex::Loaded(std::move(bytes), stored, std::move(entries1));
  return true;
}

bool ReadIndexFile(const std::string& path, KeyIndex* first, KeyIndex* second) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<uint64_t>(st.st_size) >
          std::numeric_limits<uint32_t>::max()) {
    close(fd);
    return false;
  }
  // Exactly the size the file has now; a file that shrinks meanwhile is
  // read as far as it goes.
  const size_t size = static_cast<size_t>(st.st_size);
  std::shared_ptr<char[]> bytes(new char[size > 0 ? size : 1]);
  size_t got = 0;
  while (got < size) {
    const ssize_t n = read(fd, bytes.get() + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return false;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  return ParseIndexFile(std::move(bytes), got, first, second);
}

}  // namespace kvl::tables_internal
