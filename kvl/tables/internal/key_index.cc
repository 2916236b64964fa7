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

int KeyIndex::Compare(const Probe& p, const IndexEntry& e) const {
  if (p.prefix != e.prefix) return p.prefix < e.prefix ? -1 : 1;
  return CompareTails(p.text, Key(e.key));
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

KeyIndex KeyIndex::Build(int32_t n,
                         const std::function<std::string(int32_t)>& key_of) {
  std::vector<IndexEntry> entries;
  entries.reserve(static_cast<size_t>(n) + 1);
  std::vector<char> by_row;
  bool long_keys = false;
  for (int32_t row = 0; row < n; ++row) {
    const std::string key = key_of(row);
    long_keys = long_keys || key.size() > 0x7fff;
    entries.push_back(
        IndexEntry{FoldedPrefix(key), AddRecord(by_row, 0, key, row), row});
  }
  // Ties on the key go by row, so equal keys stay in row order whatever
  // the sort does.
  auto key = [&by_row](const IndexEntry& e) {
    return RecordKey(by_row.data() + e.key);
  };
  std::sort(entries.begin(), entries.end(),
            [&key](const IndexEntry& a, const IndexEntry& b) {
              if (a.prefix != b.prefix) return a.prefix < b.prefix;
              const int c = CompareTails(key(a), key(b));
              return c != 0 ? c < 0 : a.row < b.row;
            });
  // The records again, in entry order.
  KeyIndex index;
  index.own_.reserve(by_row.size());
  for (IndexEntry& e : entries) e.key = AddRecord(index.own_, 0, key(e), e.row);
  index.entries_ = std::move(entries);
  if (!long_keys) index.block_ = {index.own_.data(), index.own_.size()};
  return index;
}

KeyIndex KeyIndex::Loaded(std::shared_ptr<const char[]> bytes, uint32_t size,
                          std::vector<IndexEntry> entries) {
  KeyIndex index;
  index.shared_ = std::move(bytes);
  index.shared_size_ = size;
  index.entries_ = std::move(entries);
  if (!index.entries_.empty()) {
    // The entries were read one after the other from the file.
    const uint32_t first = index.entries_.front().key;
    const uint32_t last = index.entries_.back().key;
    const size_t last_size = 2 + index.Key(last).size() + 4;
    index.block_ = {index.shared_.get() + first, last - first + last_size};
  }
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
  if (entries_.size() >=
      static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    Raise(kErrOverflow);
  const IndexEntry entry{FoldedPrefix(key),
                         AddRecord(own_, shared_size_, key, row), row};
  entries_.insert(entries_.begin() + position, entry);
  block_ = {};
}

}  // namespace kvl::tables_internal
