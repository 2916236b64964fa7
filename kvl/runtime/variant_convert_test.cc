#include "kvl/runtime/variant_convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/date_time.h"

namespace kvl {
namespace {

// What a conversion gives, as text: ToText of the result, or "#n" when it
// raises error n.
std::string Outcome(const std::function<Variant()>& f) {
  try {
    return ToText(f());
  } catch (const KVLError& e) {
    return "#" + std::to_string(e.number());
  }
}

struct Case {
  Variant in;
  const char* want;  // as Outcome writes it
};

template <class F>
void Check(const std::vector<Case>& cases, F convert) {
  for (const Case& c : cases) {
    EXPECT_EQ(Outcome([&] { return Variant(convert(c.in)); }), c.want)
        << TypeName(c.in) << " " << Outcome([&] { return c.in; });
  }
}

Decimal Dec(std::string_view text) {
  Decimal d;
  EXPECT_TRUE(DecimalFromText(text, &d)) << text;
  return d;
}

class Widget : public Object {
 public:
  const ClassInfo& Class() const override {
    static const ClassInfo info("Widget", ClassKind::kPrivate, {});
    return info;
  }
};

TEST(IntegerConversion, RoundsHalfToEvenFromEveryNumericKind) {
  const struct {
    double in;
    int32_t want;
  } kCases[] = {{2.5, 2}, {3.5, 4},  {-2.5, -2},  {-3.5, -4},  {0.5, 0},
                {1.5, 2}, {-0.5, 0}, {2.4999, 2}, {2.5001, 3}, {-1.5, -2}};
  for (const auto& c : kCases) {
    EXPECT_EQ(ToI2(Variant(c.in)), c.want) << c.in;
    EXPECT_EQ(ToI4(Variant(c.in)), c.want) << c.in;
    EXPECT_EQ(ToI4(Variant(FormatDouble(c.in))), c.want) << "text " << c.in;
    EXPECT_EQ(ToI4(Variant(ToCurrency(Variant(c.in)))), c.want) << c.in;
    EXPECT_EQ(ToI4(Variant(DecimalFromDouble(c.in))), c.want) << c.in;
  }
}

TEST(IntegerConversion, RangeBoundaries) {
  // clang-format off
  Check({{32767.0, "32767"}, {-32768.0, "-32768"}, {32767.4, "32767"},
         {32767.5, "#6"}, {-32768.5, "-32768"}, {32768.0, "#6"},
         {-32769.0, "#6"}, {"32768", "#6"}, {"&H7FFF", "32767"},
         {"&H8000", "-32768"}, {"&HFFFF", "-1"}, {"&H10000", "#6"},
         {int32_t{40000}, "#6"}},
        ToI2);
  Check({{2147483647.0, "2147483647"}, {2147483647.5, "#6"},
         {2147483648.0, "#6"}, {-2147483648.5, "-2147483648"},
         {-2147483649.0, "#6"}, {"2147483647.5", "#6"}, {"&HFFFFFFFF", "-1"},
         {"&H80000000", "-2147483648"}, {"&H100000000", "#6"},
         {"&O177777", "-1"}, {"&o17", "15"}, {" -2147483648 ", "-2147483648"},
         {"1e3", "1000"}},
        ToI4);
  Check({{255.0, "255"}, {254.5, "254"}, {255.5, "#6"}, {256.0, "#6"},
         {-0.5, "0"}, {-1.0, "#6"}, {true, "255"}, {" true", "255"}, {"256", "#6"},
         {int16_t{-1}, "#6"}},
        ToByte);
  // clang-format on
}

TEST(Conversion, EveryTargetReadsEmptyAndRejectsNullObjectsAndArrays) {
  const struct {
    std::function<Variant(const Variant&)> convert;
    const char* from_empty;
  } kTargets[] = {
      {[](const Variant& v) { return Variant(ToI2(v)); }, "0"},
      {[](const Variant& v) { return Variant(ToI4(v)); }, "0"},
      {[](const Variant& v) { return Variant(ToR4(v)); }, "0"},
      {[](const Variant& v) { return Variant(ToR8(v)); }, "0"},
      {[](const Variant& v) { return Variant(ToBool(v)); }, "False"},
      {[](const Variant& v) { return Variant(ToByte(v)); }, "0"},
      {[](const Variant& v) { return Variant(ToText(v)); }, ""},
      {[](const Variant& v) { return Variant(ToDate(v)); }, "00:00:00"},
      {[](const Variant& v) { return Variant(ToCurrency(v)); }, "0"},
      {[](const Variant& v) { return Variant(ToDecimal(v)); }, "0"},
  };
  Variant widget(MakeRef<Widget>());
  for (const auto& t : kTargets) {
    Check({{Variant(), t.from_empty},
           {Variant::Null(), "#94"},
           {widget, "#13"},
           {Variant::Nothing(), "#13"},
           {Variant::MakeArray(VarType::kI4, 0, 1), "#13"}},
          t.convert);
  }
}

TEST(TextToNumber, ReadsNumbersAndBooleans) {
  // clang-format off
  Check({{" 12 ", "12"}, {"+.5", "0.5"}, {"-1.5e3", "-1500"}, {"1D2", "100"},
         {"1.E-2", "0.01"}, {"TRUE", "-1"}, {" false ", "0"}, {"&H10", "16"},
         {"1e-400", "0"}, {"1e400", "#6"}, {"&H100000000", "#6"},
         {"abc", "#13"}, {"", "#13"}, {"1,000", "#13"}, {"- 1", "#13"}},
        ToR8);
  Check({{"True", "True"}, {" false ", "False"}, {"0.0", "False"},
         {"-1", "True"}, {"0.5", "True"}, {"&H0", "False"}, {"yes", "#13"},
         {"", "#13"}, {1e-300, "True"}, {Currency{1}, "True"},
         {Dec("0.000"), "False"}},
        ToBool);
  // clang-format on
}

TEST(NumericTest, TextForms) {
  const char* kNumeric[] = {"+.5", " 12 ", "1e5",  "1E-5",  "1d5",    "-.5D+2",
                            "5.",  "&HFF", "&hff", "&O777", "\t7\r\n"};
  const char* kNotNumeric[] = {
      "",    " ",   "1e",  "&H",    "1.2.3", "-",     ".",    "1e+",
      "&O8", "1 2", "++1", "12abc", "True",  "1e400", "-&H1", "&H123456789"};
  for (const char* text : kNumeric) {
    EXPECT_TRUE(IsNumericText(text)) << '"' << text << '"';
    EXPECT_TRUE(IsNumeric(Variant(text))) << text;
  }
  for (const char* text : kNotNumeric) {
    double unused;
    EXPECT_FALSE(IsNumericText(text)) << '"' << text << '"';
    EXPECT_FALSE(ParseDouble(text, &unused)) << text;
  }
}

TEST(NumericTest, Kinds) {
  for (const Variant& v : {Variant(), Variant(true), Variant(Date{1}),
                           Variant(Currency{1}), Variant(uint8_t{1})}) {
    EXPECT_TRUE(IsNumeric(v)) << TypeName(v);
  }
  for (const Variant& v :
       {Variant::Null(), Variant::Error(5), Variant::Nothing(),
        Variant::MakeArray(VarType::kI4, 0, 0)}) {
    EXPECT_FALSE(IsNumeric(v)) << TypeName(v);
  }
}

TEST(NumberToText, Thresholds) {
  // clang-format off
  const struct { double value; const char* text; } kDoubles[] = {
      {0, "0"}, {-0.0, "0"}, {-1.5, "-1.5"}, {0.1 + 0.2, "0.3"},
      {0.00001, "0.00001"}, {0.000012345, "0.000012345"}, {1e-6, "1E-06"},
      {-1.5e-7, "-1.5E-07"}, {123456789012345, "123456789012345"},
      {123456789012345.6, "123456789012346"}, {1e14, "100000000000000"},
      {999999999999999.6, "1E+15"}, {1234567890123456, "1.23456789012346E+15"},
      {1e20, "1E+20"}, {2.0 / 3, "0.666666666666667"},
      {1.7976931348623157e308, "1.79769313486232E+308"},
      {-2.5e-300, "-2.5E-300"}};
  const struct { float value; const char* text; } kSingles[] = {
      {0.1f, "0.1"}, {1.0f / 3, "0.3333333"}, {1234567.0f, "1234567"},
      {12345678.0f, "1.234568E+07"}, {0.00001f, "0.00001"},
      {1.5e-6f, "1.5E-06"}, {3.4028235e38f, "3.402823E+38"}};
  // clang-format on
  for (const auto& c : kDoubles) EXPECT_EQ(FormatDouble(c.value), c.text);
  for (const auto& c : kSingles) {
    EXPECT_EQ(FormatSingle(c.value), c.text);
    EXPECT_EQ(ToText(Variant(c.value)), c.text);
  }
}

TEST(NumberToText, RoundTripsThroughDouble) {
  for (const char* text :
       {"0.1", "123.456", "-0.00001", "1E-06", "1E+20", "-1.5E-07",
        "999999999999999", "1.23456789012346E+15", "4.94065645841247E-324"}) {
    double value;
    ASSERT_TRUE(ParseDouble(text, &value)) << text;
    EXPECT_EQ(FormatDouble(value), text);
  }
  for (double value : {0.1, 1.0 / 7, 6.02214076e23, -1e-5, 2.5e-5, 1e15}) {
    double back;
    ASSERT_TRUE(ParseDouble(FormatDouble(value), &back));
    EXPECT_EQ(FormatDouble(back), FormatDouble(value));
    EXPECT_NEAR(back, value, std::fabs(value) * 1e-14);
  }
}

TEST(ToText, EveryKind) {
  // clang-format off
  Check({{true, "True"}, {false, "False"}, {int16_t{-5}, "-5"},
         {INT32_MAX, "2147483647"}, {uint8_t{255}, "255"},
         {MakeDate(2004, 2, 3, 14, 5, 9), "2004-02-03 14:05:09"},
         {Currency{15000}, "1.5"}, {Dec("-0.00010"), "-0.0001"},
         {Variant::Error(5), "Error 5"}, {"as is ", "as is "}},
        ToText);
  // clang-format on
}

TEST(CurrencyConversion, RoundsToFourPlacesAndChecksRange) {
  // clang-format off
  Check({{1.00005, "1"}, {1.00015, "1.0002"}, {-1.00005, "-1"},
         {2.00025, "2.0002"}, {true, "-1"}, {"&HFFFF", "-1"},
         {"0.00005", "0"}, {"0.00015", "0.0002"},
         {"922337203685477.5807", "922337203685477.5807"},
         {"-922337203685477.5808", "-922337203685477.5808"},
         {"922337203685477.5808", "#6"}, {1e15, "#6"}, {"x", "#13"}},
        ToCurrency);
  // clang-format on
  EXPECT_EQ(ToCurrency(Variant(1.5)).scaled, 15000);
  EXPECT_EQ(CurrencyToText(Currency{-1}), "-0.0001");
  EXPECT_EQ(CurrencyToText(Currency{30000}), "3");
  EXPECT_EQ(CurrencyToText(Currency{12345}), "1.2345");
}

TEST(DecimalText, LimitsAndRounding) {
  const struct {
    const char* text;
    const char* want;  // null: the text is rejected
  } kCases[] = {
      {"-0", "0"},
      {"  -12.3400 ", "-12.34"},
      {".5", "0.5"},
      {"79228162514264337593543950335", "79228162514264337593543950335"},
      {"-79228162514264337593543950335", "-79228162514264337593543950335"},
      {"79228162514264337593543950336", nullptr},
      {"0.1234567890123456789012345678", "0.1234567890123456789012345678"},
      {"7.9228162514264337593543950335", "7.9228162514264337593543950335"},
      // Digits that do not fit are rounded off, here carrying over.
      {"9.99999999999999999999999999999", "10"},
      {"0.00000000000000000000000000005", "0"},
      {"0.00000000000000000000000000015", "0.0000000000000000000000000002"},
      {"1e5", nullptr},
      {"&H10", nullptr},
      {"", nullptr},
      {".", nullptr},
      {"1.2.3", nullptr},
  };
  for (const auto& c : kCases) {
    Decimal d;
    bool ok = DecimalFromText(c.text, &d);
    EXPECT_EQ(ok, c.want != nullptr) << c.text;
    if (ok && c.want) {
      EXPECT_EQ(DecimalToText(d), c.want) << c.text;
    }
  }
  Decimal max = Dec("79228162514264337593543950335");
  EXPECT_EQ(max.hi, 0xFFFFFFFFu);
  EXPECT_EQ(max.lo, UINT64_MAX);
  EXPECT_EQ(Dec("1.50").scale, 2);
  Check({{"1e29", "#6"}, {"1.5e3", "1500"}}, ToDecimal);
}

TEST(DecimalDouble, FifteenSignificantDigitsAndLimits) {
  // clang-format off
  Check({{0.1, "0.1"}, {1.0 / 3, "0.333333333333333"},
         {-2.5e-10, "-0.00000000025"}, {7.9e28, "79000000000000000000000000000"},
         {1e-30, "0"}, {0x1p96, "#6"}, {-0x1p96, "#6"}, {std::nan(""), "#6"},
         {HUGE_VAL, "#6"}, {0.1f, "0.1"}},
        ToDecimal);
  // clang-format on
  EXPECT_EQ(DecimalToDouble(Dec("0.1")), 0.1);
  EXPECT_EQ(DecimalToDouble(Dec("-1234.5")), -1234.5);
  EXPECT_EQ(DecimalToDouble(Dec("79228162514264337593543950335")), 0x1p96);
}

TEST(DecimalCompare, OrdersBySignAndScaledValue) {
  // clang-format off
  const struct { const char* a; const char* b; int want; } kCases[] = {
      {"1.5", "1.50", 0}, {"-1", "0", -1}, {"0", "-0.000", 0}, {"-2", "-1", -1},
      {"12.3", "12.29999", 1},
      {"0.0000000000000000000000000001", "0", 1},
      {"79228162514264337593543950335", "7.9228162514264337593543950335", 1},
      {"1", "1.0000000000000000000000000001", -1},
      {"-1.0000000000000000000000000001", "-1", -1}};
  // clang-format on
  for (const auto& c : kCases) {
    EXPECT_EQ(CompareDecimal(Dec(c.a), Dec(c.b)), c.want) << c.a << " " << c.b;
    EXPECT_EQ(CompareDecimal(Dec(c.b), Dec(c.a)), -c.want) << c.b << " " << c.a;
  }
}

TEST(ChangeType, ScalarKinds) {
  // clang-format off
  const struct { Variant in; VarType to; Variant want; } kCases[] = {
      {2.5, VarType::kI2, int16_t{2}}, {"12", VarType::kByte, uint8_t{12}},
      {1.5, VarType::kCurrency, Currency{15000}},
      {"2004/02/03 14:05", VarType::kDate, MakeDate(2004, 2, 3, 14, 5)},
      {"-1.25", VarType::kDate, Date{-1.25}},
      {"1.5", VarType::kDecimal, Dec("1.5")}, {true, VarType::kI4, int32_t{-1}},
      {"0", VarType::kBool, false}, {"text", VarType::kVariant, "text"},
      {Variant::Null(), VarType::kVariant, Variant::Null()},
      {Variant(), VarType::kObject, Variant::Nothing()}};
  const struct { Variant in; VarType to; const char* error; } kErrors[] = {
      {Variant::Null(), VarType::kI4, "#94"}, {"x", VarType::kR8, "#13"},
      {Variant::MakeArray(VarType::kI4, 0, 0), VarType::kI4, "#13"},
      {1e10, VarType::kDate, "#6"}, {-657435.0, VarType::kDate, "#6"},
      {"12:00x", VarType::kDate, "#13"},
      {int32_t{1}, VarType::kArray | VarType::kI4, "#13"},
      {int32_t{1}, VarType::kObject, "#13"}};
  // clang-format on
  for (const auto& c : kCases) {
    EXPECT_EQ(ChangeType(c.in, c.to), c.want)
        << TypeName(c.in) << " -> " << TypeName(c.want);
  }
  for (const auto& e : kErrors) {
    EXPECT_EQ(Outcome([&] { return ChangeType(e.in, e.to); }), e.error)
        << TypeName(e.in) << " to kind " << static_cast<int>(e.to);
  }
}

TEST(ChangeType, ArraysConvertElementWise) {
  Variant source = Variant::MakeArray(VarType::kVariant, 1, 3);
  source.Array().At(1) = int32_t{1};
  source.Array().At(2) = "2";
  source.Array().At(3) = 3.5;
  Variant shorts = ChangeType(source, VarType::kArray | VarType::kI2);
  ASSERT_EQ(shorts.type(), VarType::kArray | VarType::kI2);
  EXPECT_EQ(shorts.Array().lower(), 1);
  EXPECT_EQ(shorts.Array().At(2), Variant(int16_t{2}));
  EXPECT_EQ(shorts.Array().At(3), Variant(int16_t{4}));

  Variant back = ChangeType(shorts, VarType::kArray | VarType::kVariant);
  EXPECT_EQ(back.type(), VarType::kArray | VarType::kVariant);
  EXPECT_EQ(back.Array().At(3), Variant(int16_t{4}));

  source.Array().At(2) = "two";
  EXPECT_EQ(Outcome([&] {
              return ChangeType(source, VarType::kArray | VarType::kI2);
            }),
            "#13");
}

TEST(SafeArrayPut, ConvertsToElementKind) {
  SafeArray bytes(VarType::kByte, 0, 2);
  bytes.Put(1, "12");
  bytes.Put(2, 2.5);
  EXPECT_EQ(bytes.At(1), Variant(uint8_t{12}));
  EXPECT_EQ(bytes.At(2), Variant(uint8_t{2}));
  Check({{int32_t{300}, "#6"}, {"x", "#13"}}, [&](const Variant& v) {
    bytes.Put(0, v);
    return bytes.At(0);
  });
  EXPECT_EQ(bytes.At(0), Variant(uint8_t{0}));
  EXPECT_EQ(Outcome([&] {
              bytes.Put(3, 1.0);
              return Variant();
            }),
            "#9");
  EXPECT_EQ(Outcome([&] {
              bytes.Put(-1, 1.0);
              return Variant();
            }),
            "#9");

  SafeArray any(VarType::kVariant, 0, 0);
  any.Put(0, "kept");
  EXPECT_EQ(any.At(0), Variant("kept"));
}

TEST(TypeName, KindsArraysAndObjects) {
  // clang-format off
  const struct { Variant value; const char* name; } kCases[] = {
      {int16_t{1}, "Integer"}, {int32_t{1}, "Long"}, {false, "Boolean"},
      {Variant::Nothing(), "Nothing"}, {MakeRef<Widget>(), "Widget"},
      {Variant::MakeArray(VarType::kVariant, 0, 0), "Variant()"},
      {Variant::MakeArray(VarType::kByte, 0, -1), "Byte()"}};
  // clang-format on
  for (const auto& c : kCases) EXPECT_EQ(TypeName(c.value), c.name);
}

TEST(CompareTextNoCase, FoldsAsciiOnlyAndComparesBytesUnsigned) {
  // clang-format off
  const struct { const char* a; const char* b; int want; } kCases[] = {
      {"abc", "ABC", 0}, {"a", "B", -1}, {"B", "a", 1}, {"", "", 0},
      {"", "a", -1}, {"abc", "ab", 1},
      {"_", "A", -1},  // letters fold to lower case, which sorts after '_'
      {"\xC3\xA9", "z", 1},
      {"\xC3\xA9", "\xC3\x89", 1}};  // no folding beyond ASCII
  // clang-format on
  for (const auto& c : kCases) {
    int got = CompareTextNoCase(c.a, c.b);
    EXPECT_EQ((got > 0) - (got < 0), c.want) << c.a << " " << c.b;
    EXPECT_EQ(EqualsNoCase(c.a, c.b), c.want == 0) << c.a << " " << c.b;
  }
}

}  // namespace
}  // namespace kvl
