// Test helpers: UTF-8 text written independently of the runtime's decoder,
// and random words made of letters from all over Unicode.
//
//   std::mt19937 rng(7);
//   std::string w = RandomUtf8Word(rng);   // e.g. "\xC3\xA9t\xE2\x82\xAC_2"
#ifndef KVL_RUNTIME_TESTING_RANDOM_TEXT_H_
#define KVL_RUNTIME_TESTING_RANDOM_TEXT_H_

#include <random>
#include <string>

#include "kvl/runtime/ascii.h"

namespace kvl {

// The shortest UTF-8 form of `code` (not a surrogate, at most U+10FFFF).
inline std::string EncodeUtf8(char32_t code) {
  std::string out;
  auto put = [&](char32_t bits) { out += static_cast<char>(bits); };
  if (code < 0x80) {
    put(code);
  } else if (code < 0x800) {
    put(0xC0 | (code >> 6));
    put(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    put(0xE0 | (code >> 12));
    put(0x80 | ((code >> 6) & 0x3F));
    put(0x80 | (code & 0x3F));
  } else {
    put(0xF0 | (code >> 18));
    put(0x80 | ((code >> 12) & 0x3F));
    put(0x80 | ((code >> 6) & 0x3F));
    put(0x80 | (code & 0x3F));
  }
  return out;
}

// A word of 1 to `max_chars` characters: the first an ASCII letter or any
// non-ASCII character, the others also digits and "_". Non-ASCII
// characters are drawn from the 2-, 3- and 4-byte ranges alike, assigned or
// not; never "true" or "false".
inline std::string RandomUtf8Word(std::mt19937& rng, int max_chars = 8) {
  auto any_non_ascii = [&]() -> char32_t {
    switch (rng() % 3) {
      case 0: return 0x80 + rng() % (0x800 - 0x80);
      case 1: {
        char32_t c = 0x800 + rng() % (0x10000 - 0x800 - 0x800);
        return c >= 0xD800 ? c + 0x800 : c;  // skip the surrogates
      }
      default: return 0x10000 + rng() % (0x110000 - 0x10000);
    }
  };
  constexpr char kAscii[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
  const int n = 1 + static_cast<int>(rng() % static_cast<unsigned>(max_chars));
  std::string word;
  for (int i = 0; i < n; ++i) {
    if (rng() % 2) {
      word += EncodeUtf8(any_non_ascii());
    } else {
      // Letters only first: a leading digit or "_" would make another token.
      word += kAscii[rng() % (i == 0 ? 52 : 63)];
    }
  }
  if (EqualsNoCase(word, "true") || EqualsNoCase(word, "false"))
    word += "\xC3\xA9";
  return word;
}

}  // namespace kvl

#endif  // KVL_RUNTIME_TESTING_RANDOM_TEXT_H_
