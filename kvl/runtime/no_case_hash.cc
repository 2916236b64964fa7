// NoCaseHash: a word-at-a-time hash of text folded to small ASCII letters,
// keyed with a per-process random seed.
#include "kvl/runtime/no_case_hash.h"

#include <sys/random.h>
#include <time.h>

#include <cstring>

namespace kvl {
namespace {

inline uint64_t Mix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  return h;
}

uint64_t DrawSeed() {
  uint64_t seed = 0;
  if (getrandom(&seed, sizeof seed, GRND_NONBLOCK) == sizeof seed) return seed;
  // No entropy yet (very early boot): the clock and where this process's
  // code and stack were placed still differ between runs.
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const auto here = reinterpret_cast<uintptr_t>(&seed);
  const auto code = reinterpret_cast<uintptr_t>(&DrawSeed);
  return Mix(static_cast<uint64_t>(now.tv_nsec) ^
             (static_cast<uint64_t>(now.tv_sec) << 30) ^ here ^ (code << 17));
}

const uint64_t& Seed() {
  static const uint64_t seed = DrawSeed();
  return seed;
}

}  // namespace

uint64_t HashNoCase(std::string_view text, uint64_t seed) noexcept {
  uint64_t h = (0x9e3779b97f4a7c15ull ^ seed) ^ text.size();
  const char* p = text.data();
  size_t n = text.size();
  for (; n >= 8; p += 8, n -= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    h = (h ^ AsciiToLowerEightBytes(w)) * 0x100000001b3ull;
    h ^= h >> 29;
  }
  if (n > 0) {
    // The tail byte by byte: a short variable-length copy would be a call.
    uint64_t w = 0;
    for (size_t i = 0; i < n; ++i)
      w |= uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
    h = (h ^ AsciiToLowerEightBytes(w)) * 0x100000001b3ull;
  }
  return Mix(h ^ seed);
}

uint64_t ProcessHashSeed() noexcept {
  return Seed();
}

size_t NoCaseHash::operator()(std::string_view text) const noexcept {
  return static_cast<size_t>(HashNoCase(text, Seed()));
}

}  // namespace kvl
