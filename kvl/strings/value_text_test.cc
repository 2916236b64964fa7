// The value text form through KVLStrings, in both generations, and the
// conversions of arrays of NUL-terminated data.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "kvl/runtime/date_time.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/strings/kvl_strings.h"

namespace kvl {
namespace {

// A list with the spare trailing slot.
Variant List(std::vector<Variant> items, VarType element = VarType::kVariant) {
  Variant list =
      Variant::MakeArray(element, 0, static_cast<int32_t>(items.size()));
  for (size_t i = 0; i < items.size(); ++i)
    list.Array().Put(static_cast<int32_t>(i), items[i]);
  return list;
}

Decimal DecimalOf(const char* text) {
  Decimal d;
  EXPECT_TRUE(DecimalFromText(text, &d));
  return d;
}

TEST(ValueTextTest, ReadsScalarsInBothGenerations) {
  struct {
    const char* text;
    Variant first, second;
  } const kCases[] = {
      {"-32768", int16_t{-32768}, int16_t{-32768}},
      {"32768", int32_t{32768}, int32_t{32768}},
      {"2147483647", int32_t{2147483647}, int32_t{2147483647}},
      {"9999999999", DecimalOf("9999999999"), DecimalOf("9999999999")},
      {" 1e3 ", int16_t{1000}, int16_t{1000}},
      {"&HFFFF", int16_t{-1}, int16_t{-1}},
      {"2.5", 2.5f, 2.5f},
      {"3.5E+38", 3.5e38, 3.5e38},
      {"#TRUE#", true, true},
      {"1true2", "1true2", "1true2"},
      {"'x y'", "x y", "'x y'"},
      {"'12'", "12", "12"},
      {"'a,b'", "'a,b'", "'a,b'"},
      {"'", "'", "'"},
      {"1e30", "1e30", "1e30"},  // beyond the decimal type: the text
      {"!!EMPTY!!", "!!EMPTY!!", "!!EMPTY!!"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Strings().CStrToVariant(c.text, false), c.first);
    EXPECT_EQ(Strings().II_CStrToVariant(c.text, false), c.second);
  }
}

TEST(ValueTextTest, ReadsListsAndByteStrings) {
  const Variant expected = List({int16_t{1}, "x y", 2.5f});
  EXPECT_EQ(Strings().CStrToVariant("  [1, 'x y', 2.5] ", false), expected);
  std::vector<Variant> args = {Variant("[1,'x y',2.5]"), Variant(false)};
  EXPECT_EQ(Strings().Invoke("II_CStrToVariant", CallKind::kMethod, args),
            expected);  // elements use the first-generation rules
  EXPECT_EQ(Strings().CStrToVariant("[\t'a\\'b' ,'',\"q\"]", false),
            List({"a\\'b", "", "\"q\""}));
  // The "]" after the 2 ends the list: brackets do not nest when read.
  EXPECT_EQ(Strings().CStrToVariant("[[1,2],3]", false),
            List({"[1", int16_t{2}}));
  for (const char* bad :
       {"[]", "[ ]", "[1,,2]", "[1,]", "['a' b]", "['a]", "[1,'a\\']"})
    EXPECT_TRUE(Strings().CStrToVariant(bad, false).is_empty()) << bad;

  EXPECT_EQ(Strings().CStrToVariant("0A 1 FF", true),
            List({uint8_t{10}, uint8_t{1}, uint8_t{255}}, VarType::kByte));
  EXPECT_EQ(
      Strings().II_CStrToVariant(" 0a1FF ", true),
      List({uint8_t{0x0A}, uint8_t{0x1F}, uint8_t{0x0F}}, VarType::kByte));
  EXPECT_EQ(Strings().CStrToVariant("7", true), Variant(uint8_t{7}));
  EXPECT_EQ(Strings().CStrToVariant("  ", true), Variant(uint8_t{0}));
  EXPECT_TRUE(Strings().CStrToVariant("G1", true).is_empty());
  EXPECT_TRUE(Strings().CStrToVariant("0A\t1", true).is_empty());
}

TEST(ValueTextTest, WritesScalarsInBothGenerations) {
  struct {
    Variant value;
    const char* first;
    const char* second;
  } const kCases[] = {
      {"12", "'12'", "'12'"},
      {int32_t{12}, "12", "12"},
      {"a,b", "'a,b'", "a,b"},
      {"'a,b'", "'a,b'", "'a,b'"},
      {"a ", "'a '", "a "},
      {Variant(), "!!EMPTY!!", "!!EMPTY!!"},
      {uint8_t{5}, "05", "05"},
      {true, "True", "True"},
      {0.1 + 0.2, "0.3", "0.3"},
      {MakeDate(2004, 2, 3, 12, 30), "2004-02-03 12:30:00",
       "2004-02-03 12:30:00"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.first);
    EXPECT_EQ(Strings().CVariantToStr(c.value), c.first);
    EXPECT_EQ(Strings().II_CVariantToStr(c.value), c.second);
  }
  EXPECT_EQ(RaisedNumber([] { Strings().CVariantToStr(Variant::Null()); }),
            kErrInvalidUseOfNull);
}

TEST(ValueTextTest, WritesListsAndReadsThemBack) {
  Strings();  // the library's own objects are made before counting
  LiveObjectCheck leaks;
  const Variant list = List({int16_t{1}, "x y", 2.5f, true, "12"});
  EXPECT_EQ(Strings().CVariantToStr(list), "[1,x y,2.5,True,'12']");
  EXPECT_EQ(Strings().II_CVariantToStr(list), "[1,x y,2.5,True,'12']");
  EXPECT_EQ(Strings().CStrToVariant(Strings().CVariantToStr(list), false),
            list);
  EXPECT_EQ(Strings().CVariantToStr(
                List({List({int16_t{1}, int16_t{2}}), int16_t{3}})),
            "[[1,2],3]");
  const Variant bytes =
      List({uint8_t{10}, uint8_t{1}, uint8_t{255}}, VarType::kByte);
  EXPECT_EQ(Strings().CVariantToStr(bytes), "0A 01 FF");
  EXPECT_EQ(Strings().CStrToVariant("0A 01 FF", true), bytes);
  // A date is written as text and reads back as that text.
  EXPECT_EQ(Strings().CStrToVariant(
                Strings().CVariantToStr(List({MakeDate(2004, 2, 3)})), false),
            List({"2004-02-03"}));
  EXPECT_EQ(Strings().CVariantToStr(List({})), "[]");
  EXPECT_EQ(leaks.Delta(), 0);

  std::vector<Variant> from_one = {Variant::MakeArray(VarType::kVariant, 1, 3)};
  EXPECT_EQ(RaisedNumber([&] {
              Strings().Invoke("CVariantToStr", CallKind::kMethod, from_one);
            }),
            kErrSubscriptOutOfRange);
}

// Integers in a list take a shorter road than other elements; each must
// still read as the same text would read alone.
TEST(ValueTextTest, ListElementsReadAsTheirScalars) {
  for (const char* element :
       {"0",          "-0",          "+7",         "007",         "32767",
        "32768",      "-32768",      "-32769",     "999999999",   "-999999999",
        "2147483647", "-2147483648", "2147483648", "12345678901", "1 2",
        "1e3",        "12x",         "+",          "-",           "1.5",
        "&H10"}) {
    SCOPED_TRACE(element);
    const Variant alone = Strings().CStrToVariant(element, false);
    for (const char* around : {"[%]", "[ % ]", "[%  ,1]", "[\t%]"}) {
      std::string text = around;
      text.replace(text.find('%'), 1, element);
      const Variant list = Strings().CStrToVariant(text, false);
      ASSERT_TRUE(list.is_array()) << text;
      EXPECT_EQ(list.Array().At(0), alone) << text;
    }
  }
}

TEST(ValueTextTest, IntegerListsRoundTrip) {
  const Variant list =
      List({int16_t{-32768}, int16_t{32767}, int32_t{INT32_MIN},
            int32_t{INT32_MAX}, int32_t{40000}, int16_t{0}, "x y", Variant()});
  const std::string text = Strings().CVariantToStr(list);
  EXPECT_EQ(text,
            "[-32768,32767,-2147483648,2147483647,40000,0,x y,!!EMPTY!!]");
  Variant back = Strings().CStrToVariant(text, false);
  // Only Empty does not come back: it reads as its marker text.
  EXPECT_EQ(back.Array().At(7), Variant("!!EMPTY!!"));
  back.Array().At(7) = Variant();
  EXPECT_EQ(back, list);
}

TEST(ValueTextTest, NulTerminatedData) {
  EXPECT_EQ(Strings().SwapWordBytes(0x1234), 0x3412);
  EXPECT_EQ(Strings().StrZToStr(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(
      Strings().BytesToStr(List(
          {uint8_t{65}, uint8_t{66}, uint8_t{0}, uint8_t{67}}, VarType::kByte)),
      "AB");
  // Words high byte first; the spare slot is not read.
  std::vector<Variant> words = {
      List({int16_t{0x4142}, int16_t{0x4344}, int16_t{0x4500}}, VarType::kI2)};
  words[0].Array().Put(3, Variant(int16_t{0x4647}));
  EXPECT_EQ(Strings().Invoke("WordsToStr", CallKind::kMethod, words),
            Variant("ABCDE"));
  EXPECT_EQ(Strings().WordsToStr(Variant::MakeArray(VarType::kI2, 0, -1)), "");
  EXPECT_EQ(RaisedNumber([] { Strings().BytesToStr(Variant("AB")); }),
            kErrTypeMismatch);
  EXPECT_EQ(RaisedNumber([] {
              Strings().WordsToStr(Variant::MakeArray(VarType::kI2, 1, 2));
            }),
            kErrSubscriptOutOfRange);
}

}  // namespace
}  // namespace kvl
