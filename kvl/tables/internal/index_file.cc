#include "kvl/tables/internal/index_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
// Files are read in pieces of this size and each piece parsed at once.
constexpr size_t kReadPiece = size_t{64} << 10;

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
  return index.ForEach([&out](std::string_view key, int32_t row) {
    if (key.size() > 0x7fff) {  // the length field cannot hold it
      errno = EOVERFLOW;
      return false;
    }
    return out.Entry(key, row);
  });
}

// Reads the two blocks from bytes that may arrive in pieces (Advance after
// each piece), so that each piece is parsed while it is still in the cache.
// `size` is the most the file can hold: counts beyond what it could hold
// are refused before anything is reserved for them.
class BlockParser {
 public:
  BlockParser(const char* data, size_t size) : data_(data), size_(size) {}

  // Parses the records that lie wholly in the first `available` bytes.
  // False when the bytes cannot start a good file.
  bool Advance(size_t available) {
    while (block_ < 2) {
      if (left_ < 0 && !StartBlock(available)) return ok_;
      ParseEntries(available);
      if (!ok_ || left_ > 0) return ok_;
      left_ = -1;
      ++block_;
    }
    return true;
  }
  bool done() const { return ok_ && block_ == 2; }
  std::vector<KeyIndex::Chunk>& chunks(int block) { return chunks_[block]; }

 private:
  using Chunk = KeyIndex::Chunk;

  // Reads a block's count (and entry size); false when they are not all
  // there yet or are bad (ok_ then false).
  bool StartBlock(size_t available) {
    if (available - at_ < 4) return false;
    const int32_t count = static_cast<int32_t>(LoadLE32(data_ + at_));
    if (count < 0) return ok_ = false;
    if (count > 0) {
      if (available - at_ < 8) return false;
      if (static_cast<size_t>(count) > (size_ - at_ - 8) / kMinEntryBytes)
        return ok_ = false;
      at_ += 4;  // the entry size is not needed
      chunks_[block_].reserve(
          static_cast<size_t>(count - 1) / KeyIndex::kChunk + 1);
    }
    at_ += 4;
    left_ = count;
    return true;
  }
  // Records the offsets of the records that lie wholly before `available`,
  // straight into the index's chunks. A chunk starts as a run and holds
  // its offsets one by one only from the first record of another size on.
  void ParseEntries(size_t available) {
    std::vector<Chunk>& chunks = chunks_[block_];
    const char* p = data_ + at_;
    const char* const end = data_ + available;
    while (left_ > 0 && end - p >= 2) {
      const uint16_t run = static_cast<uint16_t>(run_);  // not reloaded
      const uint32_t step = uint32_t{run} + 2 + 4;
      auto offset = static_cast<uint32_t>(p - data_);
      if (chunks.empty() || chunks.back().size == chunks.back().capacity) {
        chunks.push_back(
            Chunk::Run(offset, step, std::min(left_, KeyIndex::kChunk)));
      }
      Chunk& chunk = chunks.back();
      // Records of the same key length as the last one. The step to the
      // next record is known before its length is read, so that records
      // are not visited one load after the other; a record of another
      // length ends the run.
      const int32_t n = static_cast<int32_t>(
          std::min({static_cast<size_t>(left_),
                    static_cast<size_t>(chunk.capacity - chunk.size),
                    static_cast<size_t>(end - p) / step}));
      int32_t i = 0;
      if (!chunk.offsets && chunk.step != step) chunk.Materialize();
      if (!chunk.offsets) {
        for (; i < n && LoadLE16(p) == run; ++i) p += step;
      } else {
        uint32_t* const out = chunk.offsets.get() + chunk.size;
        for (; i < n && LoadLE16(p) == run; ++i) {
          out[i] = offset;
          offset += step;
          p += step;
        }
      }
      chunk.size += i;
      left_ -= i;
      if (left_ == 0 || chunk.size == chunk.capacity) continue;
      // The next record, of another length (or the bytes end in it).
      if (end - p < 2) break;
      const int16_t length = static_cast<int16_t>(LoadLE16(p));
      if (length < 0) {
        ok_ = false;
        break;
      }
      if (end - p - 2 < length + 4) break;
      const auto at = static_cast<uint32_t>(p - data_);
      if (chunk.size == 0) {  // an empty run takes any step
        chunk.first = at;
        chunk.step = static_cast<uint32_t>(length) + 2 + 4;
        ++chunk.size;
      } else {
        chunk.Materialize();
        chunk.offsets[chunk.size++] = at;
      }
      --left_;
      p += 2 + length + 4;
      run_ = length;
    }
    at_ = static_cast<size_t>(p - data_);
  }

  const char* data_;
  size_t size_;
  size_t at_ = 0;
  int block_ = 0;
  int32_t left_ = -1;  // entries still to read; -1 before a block's count
  int32_t run_ = 0;    // the key length of the last record read
  bool ok_ = true;
  std::vector<Chunk> chunks_[2];
};

// Hands the parsed indexes out, sharing `bytes`.
bool Finish(BlockParser& parser, std::shared_ptr<const char[]> bytes,
            size_t size, KeyIndex* first, KeyIndex* second) {
  if (!parser.done()) return false;
  const auto stored = static_cast<uint32_t>(size);
  *first = KeyIndex::Loaded(bytes, stored, std::move(parser.chunks(0)));
  *second =
      KeyIndex::Loaded(std::move(bytes), stored, std::move(parser.chunks(1)));
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
  BlockParser parser(bytes.get(), size);
  parser.Advance(size);
  return Finish(parser, std::move(bytes), size, first, second);
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
  BlockParser parser(bytes.get(), size);
  size_t got = 0;
  bool read_error = false;
  while (got < size) {
    const ssize_t n =
        read(fd, bytes.get() + got, std::min(size - got, kReadPiece));
    if (n < 0 && errno == EINTR) continue;
    read_error = n < 0;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
    if (!parser.Advance(got) || parser.done()) break;
  }
  close(fd);
  return !read_error && Finish(parser, std::move(bytes), got, first, second);
}

}  // namespace kvl::tables_internal
