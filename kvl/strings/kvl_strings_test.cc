#include "kvl/strings/kvl_strings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "kvl/frame/catalogue.h"
#include "kvl/frame/library.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

Variant Call(std::string_view member, std::vector<Variant>& args) {
  return Strings().Invoke(member, CallKind::kMethod, args);
}

TEST(KVLStringsTest, MemberTableInPublishedOrder) {
  const ClassInfo& info = KVLStrings::StaticClass();
  EXPECT_EQ(info.kind(), ClassKind::kGlobal);
  std::string names;
  for (const MemberInfo& m : info.members()) {
    names += m.name + " ";
    // Everything is by reference except lo, pos and the word to swap.
    for (const ParamInfo& p : m.params)
      EXPECT_EQ(p.by_ref,
                p.name != "lo" && p.name != "pos" && m.name != "SwapWordBytes")
          << m.name << "." << p.name;
  }
  EXPECT_EQ(names,
            "ExtractKeyAndValue ReplaceEscapes HexValue StripQuotes "
            "EnquoteIfNeeded NeedsQuotes IsQuoted Enquote EnquoteWith "
            "AddEscapes IsPrint MakeHexEscape FindDelim FindWhite GetNextWord "
            "SkipWord SkipWhite CStrToVariant CVariantToStr StrZToStr "
            "WordsToStr BytesToStr SwapWordBytes II_CStrToVariant "
            "II_CVariantToStr ");
}

TEST(KVLStringsTest, SharedInstanceAndGlobalObject) {
  StartLibrary();
  EXPECT_EQ(&Strings(), &InternalInstance<KVLStrings>());
  Ref<Object> global = GlobalObject("KVLCommon.KVLStrings");
  EXPECT_NE(global.get(), &Strings());
  EXPECT_EQ(CallByName(*global, "enquoteifneeded", CallKind::kMethod, "a b"),
            Variant("'a b'"));
}

// Late-bound calls go through the typed functions; by-reference outputs
// are written back to the caller's arguments.
TEST(KVLStringsTest, ExtractKeyAndValue) {
  struct {
    const char* s;
    bool found;
    const char* k;
    const char* v;
  } const kCases[] = {
      {"k='a b'", true, "k", "a b"}, {"a = b", true, "a ", " b"},
      {"a==b", true, "a", "=b"},     {"k=\"x\\ty\"", true, "k", "x\ty"},
      {"k=''", true, "k", "''"},     {"=v", false, "old", "old"},
      {"k=", false, "old", "old"},   {"k", false, "old", "old"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.s);
    std::vector<Variant> args = {Variant(c.s), Variant("old"), Variant("old")};
    EXPECT_EQ(Call("ExtractKeyAndValue", args), Variant(c.found));
    EXPECT_EQ(args[1], Variant(c.k));
    EXPECT_EQ(args[2], Variant(c.v));
  }
}

TEST(KVLStringsTest, ReplaceEscapes) {
  // clang-format off
  const std::pair<std::string, std::string> kCases[] = {
      {"\\x41\\x42", "AB"}, {"\\N\\T\\r", "\n\t\r"}, {"\\q", "\\q"},
      {"ab\\", "ab\\"}, {"\\x", std::string(1, '\0')}, {"\\x4G", "\x04G"},
      {"\\x414", "A4"}, {"\\\\n", "\\n"}, {"\\'\\\"\\b\\a\\F", "'\"\b\a\f"},
  };
  // clang-format on
  for (const auto& [in, out] : kCases)
    EXPECT_EQ(Strings().ReplaceEscapes(in), out) << in;
}

TEST(KVLStringsTest, QuotingRules) {
  struct {
    const char* s;
    bool quoted, needs;
    const char* stripped;
    const char* if_needed;
  } const kCases[] = {
      {"''", true, false, "''", "''"},
      {"'a b'", true, false, "a b", "'a b'"},
      {"\"x\"", true, false, "x", "\"x\""},
      {"'a\"", false, true, "'a\"", "\"'a\"\""},
      {"", false, true, "", "''"},
      {"  ", false, true, "  ", "'  '"},
      {"it's", false, true, "it's", "\"it's\""},
      {"a\"b,[c]", false, false, "a\"b,[c]", "a\"b,[c]"},
      {"a=b", false, true, "a=b", "'a=b'"},
      {"x\ty\x7F", false, true, "x\ty\x7F", "'x\\ty\\x7F'"},
      {"caf\xC3\xA9", false, false, "caf\xC3\xA9", "caf\xC3\xA9"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.s);
    EXPECT_EQ(Strings().IsQuoted(c.s), c.quoted);
    EXPECT_EQ(Strings().NeedsQuotes(c.s), c.needs);
    EXPECT_EQ(Strings().StripQuotes(c.s), c.stripped);
    EXPECT_EQ(Strings().EnquoteIfNeeded(c.s), c.if_needed);
  }
  EXPECT_EQ(Strings().EnquoteWith("a\nb", "[]"), "[a\\nb]");
  EXPECT_EQ(Strings().EnquoteWith("x", "\xE2\x80\x9C\xE2\x80\x9D"),
            "\xE2\x80\x9Cx\xE2\x80\x9D");
}

TEST(KVLStringsTest, EscapesAreLosslessForEveryByte) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  const std::string escaped = Strings().AddEscapes(all, "'");
  for (char c : escaped) EXPECT_TRUE(c >= 32 && c < 127);
  EXPECT_EQ(Strings().ReplaceEscapes(escaped), all);

  EXPECT_EQ(Strings().AddEscapes("\x01\t\\", ""), "\\x1\\t\\");
  EXPECT_EQ(Strings().MakeHexEscape("\x1B"), "\\x1B");
  EXPECT_EQ(Strings().MakeHexEscape("\xC3\xA9z"), "\\xC3\\xA9");
  EXPECT_TRUE(Strings().IsPrint("~x"));
  EXPECT_FALSE(Strings().IsPrint("\xC3\xA9"));
  const std::pair<const char*, int16_t> kHex[] = {
      {"9", 9}, {"a", 10}, {"F", 15}, {"g", -1}, {"12", -1}, {"", -1}};
  for (const auto& [ch, value] : kHex)
    EXPECT_EQ(Strings().HexValue(ch), Variant(value)) << ch;

  EXPECT_EQ(RaisedNumber([] { Strings().MakeHexEscape(""); }),
            kErrInvalidArgument);
  std::vector<Variant> args = {Variant("")};
  EXPECT_EQ(RaisedNumber([&] { Call("IsPrint", args); }), kErrInvalidArgument);
}

TEST(KVLStringsTest, Scanning) {
  struct {
    const char* member;
    std::vector<Variant> args;
    int32_t result;
  } const kCases[] = {
      {"FindDelim", {"a,b", ",", 1, 3}, 2},
      {"FindDelim", {"aXb", "x", 1, 3}, 2},     // any case
      {"FindDelim", {"abcdef", ",", 2, 4}, 5},  // none in lo..hi
      {"FindDelim", {"abc", ",", 2, 10}, 4},    // past the end is a delimiter
      {"FindDelim", {"a,b", ",", 3, 2}, 3},     // empty range
      // "é" is found as a whole character, not by the lead byte of "ï".
      {"FindDelim", {"na\xC3\xAFve caf\xC3\xA9", "\xC3\xA9", 1, 20}, 11},
      {"FindWhite", {"a\tb c", 1, 5}, 4},  // a tab is not white
      {"SkipWord", {"ab cd", 1, 5}, 3},
      {"SkipWhite", {"   x", 1, 4}, 4},
      {"SkipWhite", {"   ", 1, 10}, 4},  // past the end is not blank
      {"SkipWhite", {"   ", 1, 2}, 3},
  };
  for (const auto& c : kCases) {
    std::vector<Variant> args = c.args;
    EXPECT_EQ(Call(c.member, args), Variant(c.result))
        << c.member << " " << ToText(c.args[0]);
  }
  EXPECT_EQ(RaisedNumber([] { Strings().SkipWhite("abc", 0, 3); }),
            kErrInvalidArgument);
  std::vector<Variant> huge = {Variant("abc"), Variant(3e9), Variant(3)};
  EXPECT_EQ(RaisedNumber([&] { Call("FindWhite", huge); }), kErrOverflow);

  struct {
    const char* line;
    int32_t pos, hi;
    const char* word;
    int32_t result;
  } const kWords[] = {
      {"  abc=1", 1, 7, "abc", 6},
      {"(x", 1, 2, "", 1},
      {"a b", 2, 3, "b", 4},
      {"   ", 1, 3, "", 4},
      {"ab", 1, 5, "ab", 3},
      {"ab", 3, 5, "", 3},
      // UTF-8 letters and malformed bytes alike stay inside a word.
      {" caf\xC3\xA9=1", 1, 8, "caf\xC3\xA9", 7},
      {"\xE6\x97\xA5\xC3(", 1, 5, "\xE6\x97\xA5\xC3", 5},
  };
  for (const auto& c : kWords) {
    std::vector<Variant> args = {Variant(c.line), Variant(c.pos), Variant(c.hi),
                                 Variant()};
    EXPECT_EQ(Call("GetNextWord", args), Variant(c.result)) << c.line;
    EXPECT_EQ(args[3], Variant(c.word)) << c.line;
  }
}

}  // namespace
}  // namespace kvl
