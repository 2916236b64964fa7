#include "kvl/tables/internal/key_index.h"

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

uint64_t FoldedPrefix(std::string_view key) {
  uint64_t x = 0;
  if (!key.empty())
    std::memcpy(&x, key.data(), std::min<size_t>(key.size(), 8));
  // Folds the bytes 'A'..'Z' to lower case, eight at a time: a byte's high
  // bit in `ge_a` says its low seven bits are >= 'A', in `gt_z` > 'Z'; no
  // sum carries into the next byte.
  constexpr uint64_t kOnes = 0x0101010101010101ULL;
  constexpr uint64_t kHigh = 0x8080808080808080ULL;
  const uint64_t low7 = x & ~kHigh;
  const uint64_t ge_a = low7 + (0x80 - 'A') * kOnes;
  const uint64_t gt_z = low7 + (0x7f - 'Z') * kOnes;
  const uint64_t upper = ge_a & ~gt_z & ~x & kHigh;
  x |= upper >> 2;
  if constexpr (std::endian::native == std::endian::little)
    x = __builtin_bswap64(x);
  return x;
}

int KeyIndex::Compare(const Probe& p, const IndexEntry& e) const {
  if (p.prefix != e.prefix) return p.prefix < e.prefix ? -1 : 1;
  return CompareTails(p.text, Key(e.key));
}

uint32_t KeyIndex::AddKey(std::string_view key) {
  const size_t header = key.size() <= 0x7fff ? 2 : 6;
  const uint64_t offset = uint64_t{shared_size_} + own_.size();
  if (offset + header + key.size() > std::numeric_limits<uint32_t>::max())
    Raise(kErrOverflow);
  char head[6];
  if (header == 2) {
    StoreLE16(head, static_cast<uint16_t>(key.size()));
  } else {
    StoreLE16(head, 0xffff);
    StoreLE32(head + 2, static_cast<uint32_t>(key.size()));
  }
  own_.insert(own_.end(), head, head + header);
  own_.insert(own_.end(), key.begin(), key.end());
  return static_cast<uint32_t>(offset);
}

KeyIndex KeyIndex::Build(int32_t n,
                         const std::function<std::string(int32_t)>& key_of) {
  KeyIndex index;
  index.entries_.reserve(static_cast<size_t>(n) + 1);
  for (int32_t row = 0; row < n; ++row) {
    const std::string key = key_of(row);
    index.entries_.push_back(
        IndexEntry{FoldedPrefix(key), index.AddKey(key), row});
  }
  // Ties on the key go by row, so equal keys stay in row order whatever
  // the sort does.
  std::sort(index.entries_.begin(), index.entries_.end(),
            [&index](const IndexEntry& a, const IndexEntry& b) {
              if (a.prefix != b.prefix) return a.prefix < b.prefix;
              const int c = CompareTails(index.Key(a.key), index.Key(b.key));
              return c != 0 ? c < 0 : a.row < b.row;
            });
  return index;
}

KeyIndex KeyIndex::Loaded(std::shared_ptr<const char[]> bytes, uint32_t size,
                          std::vector<IndexEntry> entries) {
  KeyIndex index;
  index.shared_ = std::move(bytes);
  index.shared_size_ = size;
  index.entries_ = std::move(entries);
  return index;
}

void KeyIndex::Reserve(int32_t entries) {
  if (entries > 0) entries_.reserve(static_cast<size_t>(entries));
}

int32_t KeyIndex::Find(std::string_view key, int32_t limit) const {
  const Probe probe = ProbeOf(key);
  int64_t lo = 0;
  int64_t hi = static_cast<int64_t>(limit) - 1;
  while (lo <= hi) {
    const int64_t mid = (lo + hi) / 2;
    const IndexEntry& e = entries_[static_cast<size_t>(mid)];
    const int c = Compare(probe, e);
    if (c == 0) return e.row;
    if (c > 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  }
  return -1;
}

int32_t KeyIndex::InsertionPoint(std::string_view key, int32_t limit) const {
  const Probe probe = ProbeOf(key);
  auto end = entries_.begin() + limit;
  auto at = std::upper_bound(entries_.begin(), end, probe,
                             [this](const Probe& p, const IndexEntry& e) {
                               return Compare(p, e) < 0;
                             });
  return static_cast<int32_t>(at - entries_.begin());
}

void KeyIndex::Insert(int32_t position, std::string_view key, int32_t row) {
  if (entries_.size() >= static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    Raise(kErrOverflow);
  const IndexEntry entry{FoldedPrefix(key), AddKey(key), row};
  entries_.insert(entries_.begin() + position, entry);
}

}  // namespace kvl::tables_internal
