// KeyIndex: one sorted key index of KVLTableUtils: (key, row) entries in
// ascending case-insensitive key order, addressed by 0-based position.
//
// The keys and rows live in records in a byte store: the bytes of a loaded
// index file, shared by both indexes and never copied, then the records
// added since. A record is laid out as an entry of the index file: a
// little-endian 16-bit key length, the key's bytes, the 32-bit row (keys
// longer than 32767 bytes, which the file cannot hold, have -1 and a 32-bit
// length instead). The index itself is the sequence of the records'
// offsets, kept in chunks of at most kChunk offsets with the position where
// each chunk starts, so that an insertion moves at most one chunk's
// offsets and renumbers the chunk starts after it, whatever the index's
// size. A loaded chunk whose records have one size holds just the first
// offset and the step until an insertion reaches it. After a build or a
// load every chunk but the last is full and a position's chunk is found by
// a shift; after insertions, by a search of the chunk starts that narrows
// with the binary search it serves.
//
// After a build or a load the records lie in entry order, so that saving
// writes them out in one piece (Block).
//
// Threading: no locking; used by its owner's thread.
#ifndef KVL_TABLES_KEY_INDEX_H_
#define KVL_TABLES_KEY_INDEX_H_

#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kvl/runtime/ascii.h"
#include "kvl/runtime/export.h"

namespace kvl::tables_internal {

inline uint16_t LoadLE16(const char* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  if constexpr (std::endian::native == std::endian::big)
    v = __builtin_bswap16(v);
  return v;
}
inline uint32_t LoadLE32(const char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::big)
    v = __builtin_bswap32(v);
  return v;
}
inline void StoreLE16(char* p, uint16_t v) {
  if constexpr (std::endian::native == std::endian::big)
    v = __builtin_bswap16(v);
  std::memcpy(p, &v, 2);
}
inline void StoreLE32(char* p, uint32_t v) {
  if constexpr (std::endian::native == std::endian::big)
    v = __builtin_bswap32(v);
  std::memcpy(p, &v, 4);
}

// The first eight bytes of `key`, ASCII letters folded to lower case,
// zero-padded, most significant first: a < b for two such numbers means the
// keys compare the same way without case.
inline uint64_t FoldedPrefix(std::string_view key) {
  uint64_t x = 0;
  if (key.size() >= 8) {
    std::memcpy(&x, key.data(), 8);
  } else if (!key.empty()) {
    std::memcpy(&x, key.data(), key.size());
  }
  x = AsciiToLowerEightBytes(x);
  if constexpr (std::endian::native == std::endian::little)
    x = __builtin_bswap64(x);
  return x;
}

class KVL_EXPORT KeyIndex {
 public:
  static constexpr int32_t kChunk = 4096;  // offsets per full chunk

  // Offsets of records, in entry order: held one by one, or, for a run of
  // records of one size that lie one after the other (as loaded from a
  // file whose keys have one length), as the first offset and the step.
  struct Chunk {
    std::unique_ptr<uint32_t[]> offsets;  // null for a run
    int32_t size = 0;
    int32_t capacity = 0;
    uint32_t first = 0;  // a run's first offset and step
    uint32_t step = 0;

    uint32_t At(int32_t i) const {
      return offsets ? offsets[i] : first + static_cast<uint32_t>(i) * step;
    }
    // A chunk with room for `capacity` offsets (at most kChunk).
    static Chunk WithRoom(int32_t capacity) {
      return Chunk{std::unique_ptr<uint32_t[]>(new uint32_t[capacity]), 0,
                   capacity};
    }
    // An empty run starting at `first`, that may take up to `capacity`
    // records of `step` bytes.
    static Chunk Run(uint32_t first, uint32_t step, int32_t capacity) {
      return Chunk{nullptr, 0, capacity, first, step};
    }
    // Holds the offsets one by one from now on.
    void Materialize() {
      if (offsets) return;
      offsets.reset(new uint32_t[capacity]);
      for (int32_t i = 0; i < size; ++i)
        offsets[i] = first + static_cast<uint32_t>(i) * step;
    }
  };

  KeyIndex() = default;
  KeyIndex(KeyIndex&&) noexcept = default;
  KeyIndex& operator=(KeyIndex&&) noexcept = default;

  // An index of the keys of rows 0 .. n - 1 (`key_of(row)`), sorted; rows
  // with equal keys stay in row order.
  static KeyIndex Build(int32_t n,
                        const std::function<std::string(int32_t)>& key_of);

  // An index over loaded bytes: the offsets in `chunks` address records in
  // `bytes`; every chunk but the last holds kChunk of them.
  static KeyIndex Loaded(std::shared_ptr<const char[]> bytes, uint32_t size,
                         std::vector<Chunk> chunks);

  int32_t size() const { return starts_.empty() ? 0 : starts_.back(); }
  int32_t RowAt(int32_t position) const {
    return RecordRow(Record(OffsetAt(position)));
  }
  std::string_view KeyAt(int32_t position) const {
    return RecordKey(Record(OffsetAt(position)));
  }
  // Calls f(key, row) for every entry in order until f returns false;
  // false when f did.
  template <class F>
  bool ForEach(F&& f) const {
    for (const Chunk& chunk : chunks_) {
      for (int32_t i = 0; i < chunk.size; ++i) {
        const char* record = Record(chunk.At(i));
        if (!f(RecordKey(record), RecordRow(record))) return false;
      }
    }
    return true;
  }
  // The records of all entries in entry order, as the index file holds
  // them, while they lie so in memory (from a build without long keys, or
  // a load, until the next insertion); empty otherwise.
  std::string_view Block() const { return block_; }

  // Binary search of `key` over the first `limit` entries, halving the
  // range [lo, hi] at (lo + hi) / 2 and stopping at the first equal key:
  // that entry's row, or -1.
  int32_t Find(std::string_view key, int32_t limit) const;
  // The first of the first `limit` positions whose key is greater than
  // `key`; `limit` when none is.
  int32_t InsertionPoint(std::string_view key, int32_t limit) const;
  // Puts (key, row) at `position`; the entries from there on move up one.
  // Raises 6 when the index holds 2^31 - 1 entries or the byte store would
  // pass 4 GiB.
  void Insert(int32_t position, std::string_view key, int32_t row);

 private:
  struct Probe {
    uint64_t prefix;
    std::string_view text;
  };
  static Probe ProbeOf(std::string_view key) {
    return Probe{FoldedPrefix(key), key};
  }
  // <0, 0, >0 as `p` sorts before, with or after the key `k`.
  static int Compare(const Probe& p, std::string_view k);

  // The chunk holding `position`, known to lie in chunks first .. last.
  int32_t ChunkOf(int32_t position, int32_t first, int32_t last) const;
  uint32_t OffsetAt(int32_t position) const {
    const int32_t c =
        ChunkOf(position, 0, static_cast<int32_t>(chunks_.size()) - 1);
    return chunks_[c].At(position - starts_[c]);
  }
  // Starts loading the offset of `position` (any value) of a uniform index.
  void PrefetchOffset(int32_t position) const {
    const size_t c = static_cast<size_t>(position) / kChunk;
    if (c < chunks_.size() && chunks_[c].offsets)
      __builtin_prefetch(chunks_[c].offsets.get() + position % kChunk);
  }
  const char* Record(uint32_t offset) const {
    return offset < shared_size_ ? shared_.get() + offset
                                 : own_.data() + (offset - shared_size_);
  }
  static std::string_view RecordKey(const char* record) {
    const int16_t length = static_cast<int16_t>(LoadLE16(record));
    if (length >= 0) return {record + 2, static_cast<size_t>(length)};
    return {record + 6, LoadLE32(record + 2)};
  }
  static int32_t RecordRow(const char* record) {
    const std::string_view key = RecordKey(record);
    return static_cast<int32_t>(LoadLE32(key.data() + key.size()));
  }
  // Adds the record of (key, row) to `store`, whose first byte is at
  // offset `base`; the record's offset. Raises 6 past 4 GiB.
  static uint32_t AddRecord(std::vector<char>& store, uint64_t base,
                            std::string_view key, int32_t row);
  // Takes `chunks` (all full but the last) as the index's offsets.
  void SetChunks(std::vector<Chunk> chunks);

  std::vector<Chunk> chunks_;
  // starts_[c]: the position of chunk c's first entry; one more value at
  // the end, the entry count.
  std::vector<int32_t> starts_ = {0};
  // Every chunk but the last is full: chunk c starts at c * kChunk.
  bool uniform_ = true;
  std::shared_ptr<const char[]> shared_;  // loaded file bytes
  uint32_t shared_size_ = 0;
  std::vector<char> own_;  // records added here
  std::string_view block_;
};

}  // namespace kvl::tables_internal

#endif  // KVL_TABLES_KEY_INDEX_H_
