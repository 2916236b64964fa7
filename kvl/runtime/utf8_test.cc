#include "kvl/runtime/utf8.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "kvl/runtime/testing/random_text.h"

namespace kvl {
namespace {

TEST(Utf8Test, EveryCodePointDecodesFromItsShortestForm) {
  for (char32_t code = 0; code <= 0x10FFFF; ++code) {
    if (code >= 0xD800 && code <= 0xDFFF) continue;
    const std::string bytes = EncodeUtf8(code);
    size_t length = 0;
    ASSERT_EQ(DecodeUtf8(bytes, 0, &length), code);
    ASSERT_EQ(length, bytes.size());
    ASSERT_EQ(Utf8WordCharLength(bytes, 0), code < 0x80 ? 0 : bytes.size());
  }
}

// Every 1- to 3-byte string that starts beyond ASCII, read as a sequence:
// exactly the shortest forms of U+0080..U+FFFF without the surrogates are
// accepted, and nothing else.
TEST(Utf8Test, AcceptsExactlyTheWellFormedShortSequences) {
  size_t two = 0, three = 0;
  std::string s(3, '\0');
  for (unsigned a = 0x80; a < 0x100; ++a) {
    s.resize(1);
    s[0] = static_cast<char>(a);
    ASSERT_EQ(Utf8SequenceLength(s, 0), 0u);
    for (unsigned b = 0; b < 0x100; ++b) {
      s.resize(3);
      s[1] = static_cast<char>(b);
      for (unsigned c = 0; c < 0x100; ++c) {
        s[2] = static_cast<char>(c);
        const size_t n = Utf8SequenceLength(s, 0);
        if (n == 0) continue;
        ASSERT_TRUE(n == 2 || n == 3) << a << " " << b << " " << c;
        size_t length;
        const char32_t code = DecodeUtf8(s, 0, &length);
        ASSERT_EQ(EncodeUtf8(code), s.substr(0, n));
        (n == 2 ? two : three) += 1;
      }
    }
  }
  EXPECT_EQ(two, (0x800u - 0x80) * 256);           // any third byte
  EXPECT_EQ(three, 0x10000u - 0x800 - 0x800);      // without surrogates
}

TEST(Utf8Test, MalformedBytesAreCharactersOfTheirOwn) {
  const char* const malformed[] = {
      "\x80",              // stray continuation
      "\xBF" "a",          // stray continuation before ASCII
      "\xC3",              // truncated at the end
      "\xE2\x82",          // truncated three-byte form
      "\xE2\x82" "A",      // interrupted
      "\xC3\xC3\xA9",      // a lead where a continuation belongs
      "\xC0\x80",          // overlong NUL
      "\xC1\xBF",          // overlong
      "\xE0\x9F\xBF",      // overlong three-byte form
      "\xF0\x8F\xBF\xBF",  // overlong four-byte form
      "\xED\xA0\x80",      // surrogate U+D800
      "\xED\xBF\xBF",      // surrogate U+DFFF
      "\xF4\x90\x80\x80",  // beyond U+10FFFF
      "\xF5\x80\x80\x80",  // lead byte never used
      "\xFF",
  };
  for (const std::string s : malformed) {
    SCOPED_TRACE(testing::PrintToString(s));
    EXPECT_EQ(Utf8SequenceLength(s, 0), 0u);
    EXPECT_EQ(Utf8CharLength(s, 0), 1u);
    EXPECT_EQ(Utf8WordCharLength(s, 0), 0u);
    size_t length;
    EXPECT_EQ(DecodeUtf8(s, 0, &length),
              kUtf8StrayByteBase + static_cast<unsigned char>(s[0]));
    EXPECT_EQ(length, 1u);
  }
  // The edges next to the malformed ranges are characters.
  for (const std::string s : {"\xED\x9F\xBF", "\xEE\x80\x80", "\xF4\x8F\xBF\xBF",
                              "\xF0\x90\x80\x80", "\xC2\x80"})
    EXPECT_EQ(Utf8SequenceLength(s, 0), s.size()) << testing::PrintToString(s);
}

// Random mixtures of characters and broken pieces: stepping back from the
// end finds the same character boundaries as reading forward, from any
// floor that is a boundary.
TEST(Utf8Test, SteppingBackAgreesWithReadingForward) {
  const char* const pieces[] = {"a",    "\xC3\xA9", "\xE2\x82\xAC",
                                "\xF0\x9F\x98\x80", "\x80", "\xC3",
                                "\xE2\x82",         "\xED\xA0\x80",
                                "\xC0\xAF",         "\xF4\x90"};
  std::mt19937 rng(12);
  for (int round = 0; round < 2000; ++round) {
    std::string s;
    const int n = static_cast<int>(rng() % 8);
    for (int k = 0; k < n; ++k) s += pieces[rng() % std::size(pieces)];
    std::vector<size_t> starts;
    for (size_t i = 0; i < s.size(); i += Utf8CharLength(s, i))
      starts.push_back(i);
    for (size_t f = 0; f < starts.size(); ++f) {
      std::vector<size_t> back;
      for (size_t end = s.size(); end > starts[f];)
        back.insert(back.begin(), end = Utf8CharStartBefore(s, end, starts[f]));
      ASSERT_EQ(back, std::vector<size_t>(starts.begin() + f, starts.end()))
          << testing::PrintToString(s);
    }
  }
  EXPECT_EQ(LastUtf8Char("x\xF0\x9F\x98\x80"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(LastUtf8Char("x\x9F\x98\x80"), "\x80");
  EXPECT_EQ(FirstUtf8Char("\xC3\xA9t"), "\xC3\xA9");
  EXPECT_EQ(FirstUtf8Char(""), "");
}

}  // namespace
}  // namespace kvl
