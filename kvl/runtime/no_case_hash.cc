// NoCaseHash: a word-at-a-time hash of text folded to small ASCII letters.
#include <cstdint>
#include <cstring>

#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighBits = 0x8080808080808080ull;

// Eight bytes with the ASCII capitals turned into small letters; other bytes
// (including those of multi-byte UTF-8 sequences) are kept.
inline uint64_t FoldWord(uint64_t x) {
  const uint64_t low7 = x & ~kHighBits;
  // Per byte, the high bit says low7 >= 'A' and low7 > 'Z'; no carry leaves
  // a byte because low7 + 0x3f < 0x100.
  const uint64_t at_least_a = low7 + (0x80 - 'A') * kOnes;
  const uint64_t beyond_z = low7 + (0x7f - 'Z') * kOnes;
  const uint64_t capital = at_least_a & ~beyond_z & ~x & kHighBits;
  return x | (capital >> 2);  // 0x80 >> 2 is the case bit 0x20
}

inline uint64_t Mix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  return h;
}

}  // namespace

size_t NoCaseHash::operator()(std::string_view key) const noexcept {
  uint64_t h = 0x9e3779b97f4a7c15ull ^ key.size();
  const char* p = key.data();
  size_t n = key.size();
  for (; n >= 8; p += 8, n -= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    h = (h ^ FoldWord(w)) * 0x100000001b3ull;
    h ^= h >> 29;
  }
  if (n > 0) {
    // The tail byte by byte: a short variable-length copy would be a call.
    uint64_t w = 0;
    for (size_t i = 0; i < n; ++i)
      w |= uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
    h = (h ^ FoldWord(w)) * 0x100000001b3ull;
  }
  return static_cast<size_t>(Mix(h));
}

}  // namespace kvl
