#include "kvl/tables/key_index.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "kvl/runtime/error.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl::tables_internal {
namespace {

// Compares two keys whose folded prefixes are equal: when both are at least
// eight bytes long, their first eight bytes are equal without case.
int CompareTails(std::string_view a, std::string_view b) {
  if (a.size() >= 8 && b.size() >= 8)
    return CompareTextNoCase(a.substr(8), b.substr(8));
  return CompareTextNoCase(a, b);
}

}  // namespace

int KeyIndex::Compare(const Probe& p, std::string_view k) {
  const uint64_t prefix = FoldedPrefix(k);
  if (p.prefix != prefix) return p.prefix < prefix ? -1 : 1;
  return CompareTails(p.text, k);
}

int32_t KeyIndex::ChunkOf(int32_t position, int32_t first, int32_t last) const {
  if (uniform_) return position / kChunk;
  // The last chunk among first .. last that starts at or before `position`.
  const auto begin = starts_.begin();
  return static_cast<int32_t>(
      std::upper_bound(begin + first + 1, begin + last + 1, position) - begin -
      1);
}

uint32_t KeyIndex::AddRecord(std::vector<char>& store, uint64_t base,
                             std::string_view key, int32_t row) {
  const size_t header = key.size() <= 0x7fff ? 2 : 6;
  const uint64_t offset = base + store.size();
  if (offset + header + key.size() + 4 > std::numeric_limits<uint32_t>::max())
    Raise(kErrOverflow);
  const size_t at = store.size();
  store.resize(at + header + key.size() + 4);
  char* p = store.data() + at;
  if (header == 2) {
    StoreLE16(p, static_cast<uint16_t>(key.size()));
  } else {
    StoreLE16(p, 0xffff);
    StoreLE32(p + 2, static_cast<uint32_t>(key.size()));
  }
  std::memcpy(p + header, key.data(), key.size());
  StoreLE32(p + header + key.size(), static_cast<uint32_t>(row));
  return static_cast<uint32_t>(offset);
}

void KeyIndex::SetChunks(std::vector<Chunk> chunks) {
  chunks_ = std::move(chunks);
  starts_.assign(chunks_.size() + 1, 0);
  for (size_t c = 0; c < chunks_.size(); ++c)
    starts_[c + 1] = starts_[c] + chunks_[c].size;
  uniform_ = true;
}

KeyIndex KeyIndex::Build(int32_t n,
                         const std::function<std::string(int32_t)>& key_of) {
  struct Sortable {
    uint64_t prefix;  // FoldedPrefix(key)
    uint32_t key;     // offset of the key's record in `by_row`
    int32_t row;
  };
  std::vector<Sortable> entries;
  entries.reserve(static_cast<size_t>(n));
  std::vector<char> by_row;
  bool long_keys = false;
  for (int32_t row = 0; row < n; ++row) {
    const std::string key = key_of(row);
    long_keys = long_keys || key.size() > 0x7fff;
    entries.push_back(
        Sortable{FoldedPrefix(key), AddRecord(by_row, 0, key, row), row});
  }
  // Ties on the key go by row, so equal keys stay in row order whatever
  // the sort does.
  auto key = [&by_row](const Sortable& e) {
    return RecordKey(by_row.data() + e.key);
  };
  std::sort(entries.begin(), entries.end(),
            [&key](const Sortable& a, const Sortable& b) {
              if (a.prefix != b.prefix) return a.prefix < b.prefix;
              const int c = CompareTails(key(a), key(b));
              return c != 0 ? c < 0 : a.row < b.row;
            });
  // The records again, in entry order.
  KeyIndex index;
  index.own_.reserve(by_row.size());
  std::vector<Chunk> chunks;
  for (const Sortable& e : entries) {
    if (chunks.empty() || chunks.back().size == kChunk) {
      const size_t left = entries.size() - chunks.size() * size_t{kChunk};
      chunks.push_back(Chunk::WithRoom(
          static_cast<int32_t>(std::min<size_t>(left, kChunk))));
    }
    Chunk& chunk = chunks.back();
    chunk.offsets[chunk.size++] = AddRecord(index.own_, 0, key(e), e.row);
  }
  index.SetChunks(std::move(chunks));
  if (!long_keys) index.block_ = {index.own_.data(), index.own_.size()};
  return index;
}

KeyIndex KeyIndex::Loaded(std::shared_ptr<const char[]> bytes, uint32_t size,
                          std::vector<Chunk> chunks) {
  KeyIndex index;
  index.shared_ = std::move(bytes);
  index.shared_size_ = size;
  index.SetChunks(std::move(chunks));
  if (index.size() > 0) {
    // The records were read one after the other from the file.
    const uint32_t first = index.OffsetAt(0);
    const uint32_t last = index.OffsetAt(index.size() - 1);
    const size_t last_size = 2 + index.KeyAt(index.size() - 1).size() + 4;
    index.block_ = {index.shared_.get() + first, last - first + last_size};
  }
  return index;
}

int32_t KeyIndex::Find(std::string_view key, int32_t limit) const {
  const Probe probe = ProbeOf(key);
  int64_t lo = 0;
  int64_t hi = static_cast<int64_t>(limit) - 1;
  // The chunks that can hold lo and hi.
  int32_t first = 0;
  int32_t last = static_cast<int32_t>(chunks_.size()) - 1;
  while (lo <= hi) {
    const int64_t mid = (lo + hi) / 2;
    const int32_t c = ChunkOf(static_cast<int32_t>(mid), first, last);
    const char* record =
        Record(chunks_[c].At(static_cast<int32_t>(mid) - starts_[c]));
    if (uniform_) {
      // The offsets of both possible next steps start loading while this
      // step's record does.
      PrefetchOffset(static_cast<int32_t>((lo + mid - 1) / 2));
      PrefetchOffset(static_cast<int32_t>((mid + 1 + hi) / 2));
    }
    const int order = Compare(probe, RecordKey(record));
    if (order == 0) return RecordRow(record);
    if (order > 0) {
      lo = mid + 1;
      first = c;
    } else {
      hi = mid - 1;
      last = c;
    }
  }
  return -1;
}

int32_t KeyIndex::InsertionPoint(std::string_view key, int32_t limit) const {
  const Probe probe = ProbeOf(key);
  int32_t lo = 0;
  int32_t n = limit;
  int32_t first = 0;
  int32_t last = static_cast<int32_t>(chunks_.size()) - 1;
  while (n > 0) {
    const int32_t half = n / 2;
    const int32_t mid = lo + half;
    const int32_t c = ChunkOf(mid, first, last);
    const char* record = Record(chunks_[c].At(mid - starts_[c]));
    if (Compare(probe, RecordKey(record)) < 0) {
      n = half;
      last = c;
    } else {
      lo = mid + 1;
      n -= half + 1;
      first = c;
    }
  }
  return lo;
}

void KeyIndex::Insert(int32_t position, std::string_view key, int32_t row) {
  if (size() == std::numeric_limits<int32_t>::max()) Raise(kErrOverflow);
  const uint32_t offset = AddRecord(own_, shared_size_, key, row);
  block_ = {};
  if (starts_.empty()) starts_ = {0};
  const int32_t count = static_cast<int32_t>(chunks_.size());
  int32_t c;
  if (count == 0 || (position == size() && chunks_.back().size == kChunk)) {
    // Appending to a full last chunk starts a new one, so that an index
    // that grows at its end keeps full chunks.
    chunks_.push_back(Chunk::WithRoom(count == 0 ? 8 : kChunk));
    starts_.push_back(starts_.back());
    c = count;
  } else {
    c = position == size() ? count - 1 : ChunkOf(position, 0, count - 1);
  }
  int32_t at = position - starts_[c];
  chunks_[c].Materialize();
  if (chunks_[c].size == chunks_[c].capacity) {
    Chunk& full = chunks_[c];
    if (full.capacity < kChunk) {
      Chunk grown = Chunk::WithRoom(std::min(full.capacity * 2, kChunk));
      std::copy_n(full.offsets.get(), full.size, grown.offsets.get());
      grown.size = full.size;
      full = std::move(grown);
    } else {
      // Splits the chunk in halves; the entry goes into the half that
      // holds its position.
      constexpr int32_t kHalf = kChunk / 2;
      Chunk upper = Chunk::WithRoom(kChunk);
      std::copy_n(full.offsets.get() + kHalf, kHalf, upper.offsets.get());
      upper.size = kHalf;
      full.size = kHalf;
      chunks_.insert(chunks_.begin() + c + 1, std::move(upper));
      starts_.insert(starts_.begin() + c + 1, starts_[c] + kHalf);
      uniform_ = false;
      if (at > kHalf) {
        ++c;
        at -= kHalf;
      }
    }
  }
  Chunk& chunk = chunks_[c];
  uint32_t* const offsets = chunk.offsets.get();
  std::copy_backward(offsets + at, offsets + chunk.size,
                     offsets + chunk.size + 1);
  offsets[at] = offset;
  ++chunk.size;
  for (size_t i = static_cast<size_t>(c) + 1; i < starts_.size(); ++i)
    ++starts_[i];
}

}  // namespace kvl::tables_internal
