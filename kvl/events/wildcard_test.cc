#include "kvl/events/wildcard.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>
#include <vector>

namespace kvl {
namespace {

TEST(WildcardTest, Rules) {
  struct Case {
    const char* text;
    const char* pattern;
    bool match;
  };
  const Case cases[] = {
      {"foo/bar", "Foo/*", true},
      {"FOO/", "Foo/*", true},
      {"Foo", "Foo/*", false},
      {"Foo/Bar", "foo/ba", false},
      {"", "", true},
      {"", "*", true},
      {"Job/To/Printer", "*/to/*r", true},
      {"Job/To/Printe", "*/to/*r", false},
      {"aaa", "a*a*a*a", false},
      {"K12", "K##", true},
      {"K1x", "K##", false},
      {"ac", "a?c", false},
      {"caf\xC3\xA9", "caf?", true},  // one UTF-8 character
      {"caf\xC3\xA9", "caf??", false},
      {"B", "[abc]", true},
      {"Q", "[a-z]", true},
      {"m", "[!a-z]", false},
      {"-", "[a-]", true},
      {"]", "[]]", true},
      {"]", "[!]]", false},
      {"m", "[z-a]", false},
      {"*", "[*]", true},
      {"\xC3\xA9", "[\xC3\xA0-\xC3\xBF]", true},
      {"[ab", "[ab", true},      // an unclosed «[» is itself
      {"\xFF\xFE", "??", true},  // stray bytes are characters
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " ~ " + c.pattern);
    EXPECT_EQ(WildcardMatch(c.text, c.pattern), c.match);
    EXPECT_EQ(WildcardPattern(c.pattern).Matches(c.text), c.match);
  }
}

// A plain dynamic-programming matcher over the ASCII atoms used below.
bool ReferenceMatch(const std::string& text, const std::string& pattern) {
  std::vector<std::string> atoms;  // "*", "?", "#", a literal, or a [list]
  for (size_t i = 0; i < pattern.size(); ++i) {
    const size_t end = pattern[i] == '[' ? pattern.find(']', i) : i;
    atoms.push_back(pattern.substr(i, end - i + 1));
    i = end;
  }
  auto fold = [](char c) { return static_cast<char>(std::tolower(c)); };
  auto accepts = [&](const std::string& a, char c) {
    if (a == "?") return true;
    if (a == "#") return c >= '0' && c <= '9';
    if (a.size() == 1) return fold(a[0]) == fold(c);
    const bool negated = a[1] == '!';
    bool in = false;
    for (size_t k = negated ? 2 : 1; k + 1 < a.size(); ++k) {
      if (a[k + 1] == '-' && k + 2 < a.size() - 1) {
        in = in || (c >= a[k] && c <= a[k + 2]);
        k += 2;
      } else {
        in = in || fold(a[k]) == fold(c);
      }
    }
    return in != negated;
  };
  const size_t n = text.size(), m = atoms.size();
  std::vector<std::vector<char>> ok(m + 1, std::vector<char>(n + 1, 0));
  ok[m][n] = 1;
  for (size_t j = m; j-- > 0;) {
    for (size_t i = n + 1; i-- > 0;) {
      ok[j][i] = atoms[j] == "*"
                     ? ok[j + 1][i] || (i < n && ok[j][i + 1])
                     : i < n && accepts(atoms[j], text[i]) && ok[j + 1][i + 1];
    }
  }
  return ok[0][0];
}

TEST(WildcardTest, AgreesWithReferenceOnRandomCases) {
  std::mt19937 rng(20240305);
  const std::string alphabet = "abAB1";
  const std::vector<std::string> atoms = {"a", "b", "B",    "1",    "?",
                                          "#", "*", "[ab]", "[!a]", "[0-9]"};
  // A text made from the pattern (each atom replaced by a character it
  // accepts), then often damaged, gives matches and near misses alike.
  auto instance = [&](const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& atom : parts) {
      if (atom == "*") {
        for (int k = static_cast<int>(rng() % 5); k > 0; --k)
          text += alphabet[rng() % alphabet.size()];
      } else if (atom == "?" || atom == "[!a]") {
        text += "b1B"[rng() % 3];
      } else if (atom == "#" || atom == "[0-9]") {
        text += '1';
      } else if (atom == "[ab]") {
        text += "aAbB"[rng() % 4];
      } else {
        text += atom;
      }
    }
    if (rng() % 2 == 0 && !text.empty())
      text[rng() % text.size()] = alphabet[rng() % alphabet.size()];
    if (rng() % 4 == 0) text.insert(rng() % (text.size() + 1), "a");
    return text;
  };
  int matches = 0;
  for (int round = 0; round < 20000; ++round) {
    std::vector<std::string> parts;
    std::string pattern;
    const int atoms_len = static_cast<int>(rng() % 24);
    for (int i = 0; i < atoms_len; ++i) {
      // Long runs without stars reach the bit-parallel search.
      std::string atom = atoms[rng() % atoms.size()];
      if (atom == "*" && rng() % 3 != 0) atom = "?";
      parts.push_back(atom);
      pattern += atom;
    }
    const std::string text = instance(parts);
    SCOPED_TRACE(text + " ~ " + pattern);
    const bool expected = ReferenceMatch(text, pattern);
    matches += expected;
    ASSERT_EQ(WildcardPattern(pattern).Matches(text), expected);
  }
  EXPECT_GT(matches, 500);
}

TEST(WildcardTest, PathologicalPatternsTakeLinearSteps) {
  const std::string as(8192, 'a');
  std::string stars_a;  // «*a*a*a…*b», 2 KB
  while (stars_a.size() < 2046) stars_a += "*a";
  stars_a += "*b";
  std::string long_segment = "*" + std::string(2046, 'a') + "b*";
  std::string questions = "*" + std::string(2046, '?') + "b";
  std::string classes = "*";
  while (classes.size() < 2040) classes += "[a-c]";
  classes += "x*";
  std::string e_acute;
  for (int i = 0; i < 4096; ++i) e_acute += "\xC3\xA9";
  std::string stars_e;
  while (stars_e.size() < 2040) stars_e += "*\xC3\xA9";
  stars_e += "*b";

  struct Case {
    const std::string& text;
    std::string pattern;
    bool match;
  };
  const std::string as_b = as + "b";
  const Case cases[] = {
      {as, stars_a, false},      {as_b, stars_a, true},
      {as, long_segment, false}, {as_b, long_segment, true},
      {as, questions, false},    {as, classes, false},
      {e_acute, stars_e, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern.substr(0, 12));
    uint64_t steps = 0;
    EXPECT_EQ(WildcardPattern(c.pattern).Matches(c.text, &steps), c.match);
    // A backtracking matcher needs millions of steps here.
    EXPECT_LE(steps, 64 * (c.text.size() + c.pattern.size()));
  }
}

}  // namespace
}  // namespace kvl
