#include "kvl/params/tokens.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvl/frame/catalogue.h"
#include "kvl/frame/kvl_types.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

// The tokens of `text` as "kind:value" words, through the Lexxer object.
std::vector<std::string> Scan(const std::string& text) {
  Ref<Lexxer> lex = MakeRef<Lexxer>();
  lex->SetInputString(text);
  lex->Scan();
  std::vector<std::string> out;
  const auto& tokens = lex->Tokens()->slots().elements();
  for (const Ref<Token>& t : tokens)
    out.push_back(TokenTypeName(t->TokenType()).substr(1) + ":" +
                  ToText(t->Value()));
  return out;
}

using Words = std::vector<std::string>;

struct ScanCase {
  const char* text;
  Words tokens;
};

TEST(LexxerTest, TokenLists) {
  const ScanCase cases[] = {
      {"a, b", {"Identifier:a", "Identifier:b"}},
      {"a b", {"Identifier:a", "Identifier:b"}},
      {"Foo/Bar K=12",
       {"Identifier:Foo", "Slash:/", "Identifier:Bar", "Identifier:K",
        "Equals:=", "Integer:12"}},
      {"x=-3.5e-2", {"Identifier:x", "Equals:=", "Float:-0.035"}},
      {"99999999999", {"String:99999999999"}},
      {"-2147483648 2147483648", {"Integer:-2147483648", "String:2147483648"}},
      {"TRUE False trueish",
       {"Boolean:True", "Boolean:False", "Identifier:trueish"}},
      {"12abc 12.5.3", {"Identifier:12abc", "Float:12.5", "Float:0.3"}},
      {"'It''s'", {"String:'It'", "String:'s'"}},
      {"'say \"hi\"'", {"String:'say \"hi\"'"}},
      {"a 'open", {"Identifier:a"}},
      {"1e+5 b", {}},
      {"a 1e b", {"Identifier:a"}},
      {"a 1e-x b", {"Identifier:a"}},
      {"1ex 2E3 1.5e1", {"Identifier:1ex", "Float:2000", "Float:15"}},
      {"a\tb", {"Identifier:a", "SingleChar:\t", "Identifier:b"}},
      {"a:b.c(1) a+b",
       {"Identifier:a:b.c(1)", "Identifier:a", "SingleChar:+", "Identifier:b"}},
      {"-.x", {"SingleChar:-", "SingleChar:.", "Identifier:x"}},
      {"-5 -a 12. .5",
       {"Integer:-5", "SingleChar:-", "Identifier:a", "Float:12", "Float:0.5"}},
      {"[{}]",
       {"LeftBracket:[", "LeftBrace:{", "RightBrace:}", "RightBracket:]"}},
      {"\\path _x", {"Identifier:\\path", "Identifier:_x"}},
      // A well-formed UTF-8 character is a letter wherever it stands.
      {"\xC3\xA9t\xC3\xA9 caf\xC3\xA9 \xE2\x82\xAC"
       "5 \xF0\x9F\x98\x80",
       {"Identifier:\xC3\xA9t\xC3\xA9", "Identifier:caf\xC3\xA9",
        "Identifier:\xE2\x82\xAC"
        "5",
        "Identifier:\xF0\x9F\x98\x80"}},
      {"12\xC3\xA9 1e\xC3\xA9 -\xC3\xA9",
       {"Identifier:12\xC3\xA9", "Identifier:1e\xC3\xA9", "SingleChar:-",
        "Identifier:\xC3\xA9"}},
      // Malformed bytes are characters of their own that end a word: a
      // stray continuation, a truncated sequence, an overlong form, a
      // surrogate.
      {"a\x80"
       "b caf\xC3",
       {"Identifier:a", "SingleChar:\x80", "Identifier:b", "Identifier:caf",
        "SingleChar:\xC3"}},
      {"\xE2\x82 x\xC0\xAF"
       "y \xED\xA0\x80",
       {"SingleChar:\xE2", "SingleChar:\x82", "Identifier:x", "SingleChar:\xC0",
        "SingleChar:\xAF", "Identifier:y", "SingleChar:\xED", "SingleChar:\xA0",
        "SingleChar:\x80"}},
      {"   ", {}},
      {"", {}},
  };
  for (const ScanCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Scan(c.text), c.tokens);
  }
}

TEST(LexxerTest, PositionsValuesAndKinds) {
  Ref<Lexxer> lex = MakeRef<Lexxer>();
  lex->SetInputString("  Ab = 'x y' 7");
  lex->Scan();
  Ref<CVToken> tokens = lex->Tokens();
  ASSERT_EQ(tokens->Count(), Variant(int32_t{4}));
  struct Expect {
    int16_t kind, start, end, length;
    VarType value;
  } expected[] = {{Token::kIdentifier, 3, 4, 1, VarType::kString},
                  {Token::kEquals, 6, 6, 0, VarType::kString},
                  {Token::kString, 8, 12, 4, VarType::kString},
                  {Token::kInteger, 14, 14, 0, VarType::kI4}};
  for (int32_t i = 1; i <= 4; ++i) {
    Ref<Token> t = tokens->Item(i);
    const Expect& e = expected[i - 1];
    EXPECT_EQ(t->TokenType(), e.kind);
    EXPECT_EQ(t->StartPos(), e.start);
    EXPECT_EQ(t->EndPos(), e.end);
    EXPECT_EQ(t->Length(), e.length);
    EXPECT_EQ(t->Value().type(), e.value);
  }
  EXPECT_EQ(tokens->Item(3)->Dump(), "<kString> : <'x y'>");
  lex->Terminate();
  EXPECT_EQ(lex->Tokens(), nullptr);
  lex->Scan();  // a terminated Lexxer can scan again
  EXPECT_EQ(lex->Tokens()->Count(), Variant(int32_t{4}));
}

TEST(LexxerTest, PositionsStopAt32767) {
  std::string text(32760, ' ');
  text += "abc defghij";  // "abc" ends at 32763, "defghij" at 32771
  Ref<Lexxer> lex = MakeRef<Lexxer>();
  lex->SetInputString(text);
  lex->Scan();
  ASSERT_EQ(lex->Tokens()->Count(), Variant(int32_t{1}));
  EXPECT_EQ(lex->Tokens()->Item(1)->EndPos(), 32763);
  Ref<H2Lexxer> scanner = MakeRef<H2Lexxer>();
  scanner->SetInputString(text);
  Ref<Token> token;
  int32_t next = 0;
  scanner->Tokenize(32764, 0, token, next);
  EXPECT_EQ(next, -1);
  ASSERT_NE(token, nullptr);
  EXPECT_EQ(token->TokenType(), Token::kRoot);
}

TEST(H2LexxerTest, TokenizeLateBound) {
  Ref<Object> scanner = MakeRef<H2Lexxer>();
  CallByName(*scanner, "InputString", CallKind::kLet, "ab cd");
  Variant args[] = {Variant(3), Variant(5), Variant(), Variant()};
  scanner->Invoke("Tokenize", CallKind::kMethod, args);
  EXPECT_EQ(ToI4(args[3]), 6);
  auto* token = dynamic_cast<Token*>(args[2].AsObject());
  ASSERT_NE(token, nullptr);
  EXPECT_EQ(token->Value(), Variant("cd"));
  EXPECT_EQ(ToI2(CallByName(*token, "StartPos", CallKind::kGet)), 4);
  CallByName(*token, "TokenType", CallKind::kLet, int16_t{9});
  EXPECT_EQ(token->TokenType(), 9);
}

TEST(TokenFunctionsTest, TypeNamesAndSuffixes) {
  EXPECT_EQ(TokenTypeName(1), "kInteger");
  EXPECT_EQ(TokenTypeName(7), "kSeperator");
  EXPECT_EQ(TokenTypeName(14), "kRightBrace");
  EXPECT_EQ(TokenTypeName(6), "Unknown Token Type: 6");
  EXPECT_EQ(TokenTypeName(15), "Unknown Token Type: 15");
  EXPECT_EQ(TokenTypeName(-1), "Unknown Token Type: -1");

  const char* suffixes[] = {"L",  "A",  "B",  "I1", "I2", "I4", "I8",
                            "U1", "U2", "U4", "U8", "F4", "F8", "BOOLEAN"};
  const int16_t flags[] = {ST_List, ST_Ascii, ST_B,  ST_I1,     ST_I2,
                           ST_I4,   ST_I8,    ST_U1, ST_U2,     ST_U4,
                           ST_U8,   ST_F4,    ST_F8, ST_BOOLEAN};
  for (size_t i = 0; i < std::size(flags); ++i) {
    EXPECT_EQ(TypeSuffixToFlag(suffixes[i]), flags[i]);
    EXPECT_EQ(TypeFlagToSuffix(flags[i]), suffixes[i]);
  }
  EXPECT_EQ(TypeSuffixToFlag("i4"), ST_I4);
  EXPECT_EQ(TypeSuffixToFlag("Boolean"), ST_BOOLEAN);
  EXPECT_EQ(TypeSuffixToFlag("V"), ST_None);
  EXPECT_EQ(TypeSuffixToFlag(""), ST_None);
  for (int16_t other :
       {int16_t{0}, int16_t{4}, int16_t{-32768}, int16_t{3}, int16_t{96}})
    EXPECT_EQ(TypeFlagToSuffix(other), "V");
}

TEST(TokenFunctionsTest, QuotesAndBooleanWords) {
  EXPECT_TRUE(IsBooleanWord("TRUE"));
  EXPECT_TRUE(IsBooleanWord("fAlse"));
  EXPECT_FALSE(IsBooleanWord("trueish"));
  EXPECT_TRUE(IsQuoteChar("'"));
  EXPECT_TRUE(IsQuoteChar("\""));
  EXPECT_FALSE(IsQuoteChar("''"));
  EXPECT_FALSE(IsQuoteChar(""));
  EXPECT_FALSE(IsQuoteChar("`"));
  EXPECT_EQ(StripEnclosingQuotes("'abc'"), "abc");
  EXPECT_EQ(StripEnclosingQuotes("'abc\""), "abc");
  EXPECT_EQ(StripEnclosingQuotes("'abc"), "abc");
  EXPECT_EQ(StripEnclosingQuotes("abc'"), "abc");
  EXPECT_EQ(StripEnclosingQuotes("'"), "");
  EXPECT_EQ(StripEnclosingQuotes("''"), "");
  EXPECT_EQ(StripEnclosingQuotes("a'b"), "a'b");
}

TEST(TokenTest, LengthOverflowRaises) {
  Ref<Token> t = MakeRef<Token>();
  t->SetStartPos(-32768);
  t->SetEndPos(32767);
  EXPECT_EQ(RaisedNumber([&] { t->Length(); }), kErrOverflow);
}

}  // namespace
}  // namespace kvl
